// The start-up checks' system side on Windows: the named mutex, the registry value "forceguest",
// the drive type of the executable's drive and the message boxes before any window exists.
#pragma once

#include "shell/program_entry.h"

namespace dv {

class TWinEntryHost : public IEntryHost {
public:
    bool CreateInstanceMutex() override;
    std::optional<std::uint32_t> ReadForceGuest() override;
    bool WriteForceGuest(std::uint32_t value) override;
    std::u16string ExecutablePath() override;
    std::uint32_t DriveType(std::u16string_view drivePart) override;
    void ShowMessage(std::u16string_view text, TMessageIcon icon) override;
    bool AskYesNoWarning(std::u16string_view text) override;
};

}  // namespace dv
