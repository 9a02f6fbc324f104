// The settings files through the real Windows file system and folders.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/text.h"
#include "platform/windows_include.h"

#include <shlobj.h>

#include "settings/app_settings.h"
#include "settings/share_settings.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::ToFsPath;
using testing::WriteBytes;

TEST(WinSettings, SettingsFileLivesInTheLocalApplicationDataFolder) {
    wchar_t base[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base)));
    const std::u16string expected = FromWide(base) + u"\\dockvane\\Settings.ini";
    EXPECT_EQ(GetSettingsFileName(), expected);
    EXPECT_TRUE(fs::DirectoryExists(FromWide(base) + u"\\dockvane"));
}

TEST(WinSettings, OlderFolderIsMovedOnce) {
    TempFolder base;
    std::filesystem::create_directory(base.path() / "Velmora");
    WriteBytes(base.path() / "Velmora" / "Settings.ini", "[General]\r\nAppIcon=31337\r\n");
    const std::u16string file = GetSettingsFileName(base.Path());
    EXPECT_FALSE(std::filesystem::exists(base.path() / "Velmora"));

    TApplicationSettings settings(file);
    settings.Load();
    EXPECT_EQ(settings.FPasswordSalt, u"31337");
    settings.Save();
    wchar_t value[64] = {};
    ::GetPrivateProfileStringW(L"General", L" RegistrationCode", L"", value, 64, ToWide(file).c_str());
    EXPECT_STREQ(value, L"31337");
}

TEST(WinSettings, DriveConfigurationRoundTripsInTheSystemCodePage) {
    TempFolder drive;
    const std::u16string file = drive.File(u"velmora.conf");
    TShareSettings settings(file);
    settings.Load();
    settings.FShareName = u"BACKUP";
    settings.FShareDescription = u"Caf\u00E9";
    settings.FPingUrls[0] = u"http://127.0.0.1:8080/done?disk=1";
    settings.Save();
    EXPECT_EQ(ReadBytes(ToFsPath(file)).find("PingURL1"), std::string::npos);

    TShareSettings loaded(file);
    loaded.Load();
    EXPECT_EQ(loaded.FShareName, u"BACKUP");
    EXPECT_EQ(loaded.FShareDescription, u"Caf\u00E9");
    EXPECT_EQ(loaded.PingUrl(0), u"http://127.0.0.1:8080/done?disk=1");
}

}  // namespace
}  // namespace dv
