// Start at logon, the AutoRun policy, the Windows Search service, and what the computer is called.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "system/system_host.h"

namespace dv {

inline constexpr std::u16string_view kRunKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr std::u16string_view kExplorerPolicyKey =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
inline constexpr std::u16string_view kAutostartName = u"Dockvane";
inline constexpr std::u16string_view kAutoRunValueName = u"NoDriveTypeAutoRun";
// The program that opens the System page of the control panel, in the system folder, and its
// parameters.
inline constexpr std::u16string_view kControlPanelProgram = u"control.exe";
inline constexpr std::u16string_view kSystemPageParameters = u"/name Microsoft.System";
// How long a scheduled-task command may take before it is given up.
inline constexpr std::uint32_t kSchedulerTimeoutMs = 30000;
inline constexpr int kCsidlSystem = 0x25;  // CSIDL_SYSTEM

class TWinServiceMgmt {
public:
    TWinServiceMgmt(ISystemHost& host, IServiceControl& services) : host_(host), services_(services) {}

    // The service's current state; 1 (stopped) when it cannot be read.
    std::uint32_t vtServiceGetStatus(std::u16string_view p_strMachine, std::u16string_view p_strService);
    // Stop and start "WSearch" on "localhost" and wait for it; meant to run on a thread of their own.
    bool WinSerchStop();
    bool WinSerchStart();
    // Starts the application at logon, or no longer.
    void SetAutostartProgram(bool StartF);
    // Writes the AutoRun policy of an AutoPlay mode (0, 1: 255; 2: 145; others: nothing).
    void USBAutoPalyStartStop(int mode);
    // "NAME (\\1.2.3.4)"; the name alone when something fails on the way.
    std::u16string getHostname();
    // Opens the system properties with the system's own programs, named by their full path.
    void ShowSystemProperties();
    // One notification ping with the platform's HTTP client (see DoPingToSrvUrl): nothing for a
    // refused address. Raises when the build has no client.
    std::optional<std::u16string> doPingToSrvUrl(std::u16string_view url);

    bool ServiceStartAndWait(std::u16string_view machine, std::u16string_view service);
    bool ServiceStopAndWait(std::u16string_view machine, std::u16string_view service);

private:
    bool IsVistaOrLater() { return host_.IsVistaOrLater(); }
    bool WaitForState(IServiceSession& session, TServiceStatus& status, std::uint32_t wanted, std::uint32_t resting);

    ISystemHost& host_;
    IServiceControl& services_;
};

// The folder of a path, with its trailing backslash ("C:\Program Files\Dockvane\").
std::u16string FolderOfPath(std::u16string_view path);
// The arguments of the two scheduled-task commands.
std::u16string DeleteTaskArguments();
std::u16string CreateTaskArguments(std::u16string_view executableFolder);

}  // namespace dv
