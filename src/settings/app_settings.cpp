#include "settings/app_settings.h"

#include <string_view>
#include <utility>
#include <vector>

#include "logging/logs.h"
#include "platform/errors.h"
#include "platform/files.h"

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

std::u16string GetSettingsFileName(std::u16string_view base) {
    const std::u16string folder = std::u16string(base) + u"\\dockvane";
    const std::u16string current = folder + u"\\Settings.ini";
    const std::u16string older = std::u16string(base) + u"\\Velmora\\Settings.ini";

    if (!fs::DirectoryExists(folder)) (void)fs::MakeDirectory(folder);
    try {
        if (fs::FileExists(older)) {
            // When the current file exists already, the move fails and both files stay.
            (void)fs::MoveFileTo(older, current);
            (void)fs::RemoveEmptyDirectory(std::u16string(base) + u"\\Velmora");
        }
    } catch (const Exception&) {
        LogError(u"Filed copy " + older + u" to " + current);
    }
    return current;
}

std::u16string GetSettingsFileName() {
    return GetSettingsFileName(fs::GetLocalAppDataFolder());
}

}  // namespace dv
