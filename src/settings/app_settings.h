// The application settings file: what belongs to the user's installation rather than to a drive.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/ini_file_base.h"

namespace dv {

// The built-in sounds' names as the settings file holds them.
inline constexpr std::u16string_view kDefaultSoundBackupAvailable = u"Defaut backup available sound";
inline constexpr std::u16string_view kDefaultSoundBackupDone = u"Defaut backup done sound";
// The master account's name.
inline constexpr std::u16string_view kMasterAccountName = u"dockvane";

class TApplicationSettings : public TIniFileBase {
public:
    explicit TApplicationSettings(std::u16string settingsFile);

    // Reads the file; a seed under the older key "AppIcon" is taken over as the password seed, and
    // the next save writes a fresh file without that key.
    void Load() override;

    std::vector<TPersistedProperty> PersistedProperties() override;

    std::u16string SettingsFileName;

    std::u16string FSoundBackupAvailable;
    std::u16string FSoundBackupDone;
    std::u16string FPasswordSalt;
    std::u16string FPasswordSaltOld;
    std::u16string FDefaultShareUserName;
    bool FAutoStart = false;
    std::int32_t FAutoPlay = 0;
    std::int32_t FIsInDomain = 0;
};

// The settings file of the machine folder `machineFolder` (which must be ours): "<folder>\Settings.ini".
// While there is none, it is made once from the newest of `userFiles` that holds a salt (see
// TakeOverUserSettings).
std::u16string GetSettingsFileName(std::u16string_view machineFolder, const std::vector<std::u16string>& userFiles);
// The same for %ProgramData%\Dockvane, made ours first, from the settings files of every profile of
// the computer. Raises EInOutError when the folder cannot be made ours: nothing is read or written
// then.
std::u16string GetSettingsFileName();

}  // namespace dv
