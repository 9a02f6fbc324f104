#include "settings/app_settings.h"

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "settings/machine_folder.h"
#include "settings/settings_migration.h"

namespace dv {

TApplicationSettings::TApplicationSettings(std::u16string settingsFile)
    : TIniFileBase(settingsFile), SettingsFileName(std::move(settingsFile)) {}

std::vector<TPersistedProperty> TApplicationSettings::PersistedProperties() {
    return {
        PersistedMember(u"PasswordSaltOld", FPasswordSaltOld, u"General", u"AppIcon", u""),
        PersistedMember(u"PasswordSalt", FPasswordSalt, u"General", u" RegistrationCode", u""),
        PersistedMember(u"DefaultShareUserName", FDefaultShareUserName, u"General", u" RegistrationName",
                        std::u16string(kMasterAccountName)),
        PersistedMember(u"AutoStart", FAutoStart, u"General", u"AutoStart", u"True"),
        PersistedMember(u"SoundBackupAvailable", FSoundBackupAvailable, u"Sounds", u"Available",
                        std::u16string(kDefaultSoundBackupAvailable)),
        PersistedMember(u"SoundBackupDone", FSoundBackupDone, u"Sounds", u"Done",
                        std::u16string(kDefaultSoundBackupDone)),
        PersistedMember(u"AutoPlay", FAutoPlay, u"General", u"AutoPlay", u"2"),
        PersistedMember(u"IsInDomain", FIsInDomain, u"General", u"IsInDomain", u"0"),
    };
}

void TApplicationSettings::Load() {
    TIniFileBase::Load();
    if (!FPasswordSaltOld.empty()) {
        FPasswordSalt = FPasswordSaltOld;
        // The file is not deleted here: a crash before the next save would lose the seed.
        StartFreshFileOnNextSave();
    }
    FPasswordSaltOld = kSkipMarker;
}

std::u16string GetSettingsFileName(std::u16string_view machineFolder, const std::vector<std::u16string>& userFiles) {
    const std::u16string file = std::u16string(machineFolder) + u"\\Settings.ini";
    // Only before the machine has settings of its own: afterwards the users' files are history.
    if (!fs::ReplaceableFileExists(file)) (void)TakeOverUserSettings(file, userFiles);
    return file;
}

std::u16string GetSettingsFileName() {
    const std::optional<std::u16string> folder = PrepareMachineFolder();
    if (!folder) {
        throw EInOutError(u"The folder " + fs::GetCommonAppDataFolder() + u"\\" + std::u16string(kMachineFolderName) +
                          u" cannot be made Dockvane's own.");
    }
    return GetSettingsFileName(*folder, UserSettingsFiles(UserLocalAppDataFolders()));
}

}  // namespace dv
