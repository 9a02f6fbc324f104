// What the Windows integration asks of the system: the version, the registry of the current user,
// programs to run, names, folders, the shell, and the service control manager. Each operation
// answers with a result; none raises.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace dv {

enum class TShowMode { Hidden, Normal, Minimized };

// How a program run ended.
struct TProcessOutcome {
    bool started = false;
    bool finished = false;  // false: still running at the time limit, and ended by force
    std::uint32_t exitCode = 0;
};

class ISystemHost {
public:
    virtual ~ISystemHost() = default;

    // Windows Vista or later, by the true version (not the one shown to programs for compatibility).
    virtual bool IsVistaOrLater() = 0;
    // The running executable's full path.
    virtual std::u16string ExecutablePath() = 0;
    // Lets the user interface handle its pending messages.
    virtual void ProcessMessages() = 0;

    // Values under HKEY_CURRENT_USER; the key is created when missing. Whether the system took it.
    [[nodiscard]] virtual bool WriteUserString(std::u16string_view key, std::u16string_view name,
                                               std::u16string_view value) = 0;
    [[nodiscard]] virtual bool WriteUserDword(std::u16string_view key, std::u16string_view name,
                                              std::uint32_t value) = 0;
    [[nodiscard]] virtual bool DeleteUserValue(std::u16string_view key, std::u16string_view name) = 0;

    // Runs a program of the system folder ("schtasks.exe") with its window hidden and waits for it
    // at most `timeoutMs`; a program still running then is ended.
    virtual TProcessOutcome RunSystemProgram(std::u16string_view program, std::u16string_view arguments,
                                             std::uint32_t timeoutMs) = 0;

    // The computer's NetBIOS name; nothing when the system does not tell.
    virtual std::optional<std::u16string> ComputerName() = 0;
    // The first IPv4 address of the name as dotted text; empty when it does not resolve.
    virtual std::u16string ResolveIPv4(std::u16string_view name) = 0;

    // The user's temporary folder, ending with a backslash.
    virtual std::u16string TempFolder() = 0;
    // A shell folder by its CSIDL number; empty when unknown.
    virtual std::u16string SpecialFolder(int csidl) = 0;
    // Opens a file with the shell, a program with its parameters (empty: none); an empty verb is the
    // default one. The outcome is not examined.
    virtual void ShellOpen(std::u16string_view target, std::u16string_view parameters, std::u16string_view verb,
                           bool ownedByMainWindow, TShowMode show) = 0;

    // Whether every person's face starts at sign-in: the machine's own start entry for it, which the
    // engine's host owns. False when the system did not take it, or where there is no face to start.
    [[nodiscard]] virtual bool SetFaceStartsAtSignIn(bool enabled) {
        (void)enabled;
        return false;
    }
};

inline constexpr std::uint32_t kServiceStopped = 1;       // SERVICE_STOPPED
inline constexpr std::uint32_t kServiceStartPending = 2;  // SERVICE_START_PENDING
inline constexpr std::uint32_t kServiceStopPending = 3;   // SERVICE_STOP_PENDING
inline constexpr std::uint32_t kServiceRunning = 4;       // SERVICE_RUNNING

struct TServiceStatus {
    std::uint32_t currentState = 0;
    std::uint32_t checkPoint = 0;
    std::uint32_t waitHint = 0;  // milliseconds
};

enum class TServiceAccess { Query, StartAndQuery, StopAndQuery };

// One opened service; destroying it closes the service and its manager.
class IServiceSession {
public:
    virtual ~IServiceSession() = default;
    virtual std::optional<TServiceStatus> Query() = 0;
    [[nodiscard]] virtual bool Start() = 0;
    // Sends the stop request. `status` receives what the service control manager reports, which it
    // may do also when it refuses the request; otherwise `status` is left as it was.
    [[nodiscard]] virtual bool Stop(TServiceStatus& status) = 0;
};

// Whether a machine name means this computer, whose service control manager is then opened with no
// name at all: a host name, even "localhost", is reached the way a remote computer is.
// https://learn.microsoft.com/windows/win32/api/winsvc/nf-winsvc-openscmanagerw
inline bool NamesLocalComputer(std::u16string_view machine) {
    return machine.empty() || EqualsIgnoreCase(machine, u"localhost");
}

class IServiceControl {
public:
    virtual ~IServiceControl() = default;
    // Nothing when the manager of the machine or the service cannot be opened.
    virtual std::unique_ptr<IServiceSession> Open(std::u16string_view machine, std::u16string_view service,
                                                  TServiceAccess access) = 0;
    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

}  // namespace dv
