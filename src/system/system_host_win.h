// The Windows side of the integration's system queries. Open classes: tests and the simulation mode
// may answer single operations their own way (an earlier Windows version, for example).
#pragma once

#include "platform/windows_include.h"
#include "system/system_host.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace dv {

class TWinSystemHost : public ISystemHost {
public:
    // The window that owns what the shell opens for the user (the main window); none by default.
    void SetMainWindow(HWND window) { mainWindow_ = window; }
    // The face that every person's sign-in starts (the service's host gives the Dockvane.exe beside it);
    // none by default, and then SetFaceStartsAtSignIn is refused.
    void SetFaceProgram(std::u16string path) { faceProgram_ = std::move(path); }

    bool IsVistaOrLater() override;
    std::u16string ExecutablePath() override;
    void ProcessMessages() override;
    bool WriteUserString(std::u16string_view key, std::u16string_view name, std::u16string_view value) override;
    bool WriteUserDword(std::u16string_view key, std::u16string_view name, std::uint32_t value) override;
    bool DeleteUserValue(std::u16string_view key, std::u16string_view name) override;
    // A bare file name is looked for in the system folder only, never in the current folder.
    TProcessOutcome RunSystemProgram(std::u16string_view program, std::u16string_view arguments,
                                     std::uint32_t timeoutMs) override;
    std::optional<std::u16string> ComputerName() override;
    std::u16string ResolveIPv4(std::u16string_view name) override;
    std::u16string TempFolder() override;
    std::u16string SpecialFolder(int csidl) override;
    void ShellOpen(std::u16string_view target, std::u16string_view parameters, std::u16string_view verb,
                   bool ownedByMainWindow, TShowMode show) override;
    // The machine's Run value "Dockvane" (HKLM, the 64-bit view), the one the installer writes: the
    // face's path in double quotes, or no value at all.
    bool SetFaceStartsAtSignIn(bool enabled) override;

private:
    HWND mainWindow_ = nullptr;
    std::u16string faceProgram_;
};

// Where the machine starts the face at every sign-in, as the installer writes it.
inline constexpr wchar_t kMachineRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kFaceRunValueName[] = L"Dockvane";

class TWinServiceControl : public IServiceControl {
public:
    std::unique_ptr<IServiceSession> Open(std::u16string_view machine, std::u16string_view service,
                                          TServiceAccess access) override;
    void Sleep(std::uint32_t milliseconds) override;
};

// A shell folder by its CSIDL number (created when missing); empty when the system does not tell.
std::u16string GetSpecialFolder(int csidl);

}  // namespace dv
