// Away from Windows there is one person: the user's own local application-data folder.
#include "settings/settings_migration.h"

#include "platform/files.h"

namespace dv {

std::vector<std::u16string> UserLocalAppDataFolders() {
    return {fs::GetLocalAppDataFolder()};
}

}  // namespace dv
