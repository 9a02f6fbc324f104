// The checks that decide whether this process may run at all, before any window exists.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "shell/main_view.h"

namespace dv {

inline constexpr std::u16string_view kInstanceMutexName = u"VelmoraMutex";
inline constexpr std::u16string_view kLsaKey = u"SYSTEM\\CurrentControlSet\\Control\\Lsa";
inline constexpr std::u16string_view kForceGuestValue = u"forceguest";

class IEntryHost {
public:
    virtual ~IEntryHost() = default;
    // Creates the named mutex (kept for the life of the process); false when it existed already.
    virtual bool CreateInstanceMutex() = 0;
    // "forceguest" under HKLM\...\Lsa; nothing when it cannot be read.
    virtual std::optional<std::uint32_t> ReadForceGuest() = 0;
    [[nodiscard]] virtual bool WriteForceGuest(std::uint32_t value) = 0;
    virtual std::u16string ExecutablePath() = 0;
    // GetDriveTypeW of the drive part exactly as given.
    virtual std::uint32_t DriveType(std::u16string_view drivePart) = 0;
    virtual void ShowMessage(std::u16string_view text, TMessageIcon icon) = 0;
    // A warning with Yes and No; true for Yes.
    virtual bool AskYesNoWarning(std::u16string_view text) = 0;
};

// Single instance, sharing mode, network drive, in this order; false when the process is to end (with
// exit code 0).
bool RunStartupChecks(IEntryHost& host);

bool IsSimpleSharingOn(IEntryHost& host);
bool SwitchToFullSharing(IEntryHost& host);
bool IsNetworkDrive(IEntryHost& host, std::u16string_view drivePart);
// "E:" of "E:\dir\file", "\\server\share" of a UNC path; empty otherwise.
std::u16string ExtractFileDrive(std::u16string_view path);

}  // namespace dv
