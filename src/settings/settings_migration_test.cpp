#include "settings/settings_migration.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "logging/log_records_test.h"
#include "logging/logs.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

TEST(SettingsTakeOver, ChoosesTheNewestFileWithASalt) {
    struct Case {
        const char* name;
        std::vector<TSettingsCandidate> candidates;
        std::optional<std::size_t> chosen;
    };
    const Case cases[] = {
        {"none", {}, std::nullopt},
        {"one with a salt", {{u"a", true, u"s", 5}}, 0},
        {"the newest wins", {{u"a", true, u"s", 5}, {u"b", true, u"t", 9}, {u"c", true, u"u", 7}}, 1},
        {"a newer file without a salt does not count", {{u"a", true, u"s", 5}, {u"b", true, u"", 9}}, 0},
        {"an unreadable file does not count, whatever it claims", {{u"a", true, u"s", 5}, {u"b", false, u"t", 9}}, 0},
        {"of two written at the same moment the first",
         {{u"a", true, u"", 9}, {u"b", true, u"s", 5}, {u"c", true, u"t", 5}},
         1},
        {"no salt anywhere", {{u"a", true, u"", 5}, {u"b", false, u"", 9}}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ChooseSettingsToTakeOver(c.candidates), c.chosen);
    }
}

TEST(SettingsTakeOver, EachUserFolderGivesTheCurrentFileThenTheOlderOneOnce) {
    EXPECT_EQ(UserSettingsFiles({u"C:\\Users\\a\\AppData\\Local", u"", u"c:\\users\\A\\appdata\\local",
                                 u"C:\\Users\\b\\AppData\\Local"}),
              (std::vector<std::u16string>{
                  u"C:\\Users\\a\\AppData\\Local\\dockvane\\Settings.ini",
                  u"C:\\Users\\a\\AppData\\Local\\Velmora\\Settings.ini",
                  u"C:\\Users\\b\\AppData\\Local\\dockvane\\Settings.ini",
                  u"C:\\Users\\b\\AppData\\Local\\Velmora\\Settings.ini",
              }));
}

TEST(SettingsTakeOver, FilesThatAreNoPlainSettingsFileOfTheirOwnAreRefused) {
    // Each case puts a file with the salt "planted" in the way; the genuine older file has "genuine".
    struct Case {
        const char* name;
        void (*plant)(const std::filesystem::path& file, const std::filesystem::path& elsewhere);
        bool logged;
    };
    const Case cases[] = {
        {"a link to someone else's file",
         [](const std::filesystem::path& file, const std::filesystem::path& elsewhere) {
             std::filesystem::create_symlink(elsewhere, file);
         },
         true},
        {"a link on a folder of the way",
         [](const std::filesystem::path& file, const std::filesystem::path& elsewhere) {
             std::filesystem::remove(file.parent_path());
             std::filesystem::create_directory_symlink(elsewhere.parent_path(), file.parent_path());
         },
         true},
        {"a hard link to someone else's file",
         [](const std::filesystem::path& file, const std::filesystem::path& elsewhere) {
             std::filesystem::create_hard_link(elsewhere, file);
         },
         true},
        {"larger than any settings file",
         [](const std::filesystem::path& file, const std::filesystem::path&) {
             WriteBytes(file, "[General]\r\n RegistrationCode=planted\r\n" + std::string(64 * 1024, ';'));
         },
         true},
        {"a folder",
         [](const std::filesystem::path& file, const std::filesystem::path&) {
             std::filesystem::create_directory(file);
         },
         true},
        {"a value that is no number",
         [](const std::filesystem::path& file, const std::filesystem::path&) {
             WriteBytes(file, "[General]\r\n RegistrationCode=planted\r\nAutoPlay=x\r\n");
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder machine;
        TempFolder appData;
        TempFolder other;
        TempFolder logs;
        testing::ScopedAppLogFolder appLog{logs.Path()};
        WriteBytes(other.path() / "Settings.ini", "[General]\r\n RegistrationCode=planted\r\n");
        std::filesystem::create_directory(appData.path() / "dockvane");
        std::filesystem::create_directory(appData.path() / "Velmora");
        WriteBytes(appData.path() / "Velmora" / "Settings.ini", "[General]\r\n RegistrationCode=genuine\r\n");
        // The planted one is the newer.
        std::filesystem::last_write_time(appData.path() / "Velmora" / "Settings.ini",
                                         std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
        c.plant(appData.path() / "dockvane" / "Settings.ini", other.path() / "Settings.ini");

        const auto files = UserSettingsFiles({appData.Path()});
        EXPECT_EQ(TakeOverUserSettings(machine.File(u"Settings.ini"), files), files[1]);
        EXPECT_EQ(ReadBytes(machine.path() / "Settings.ini"), "[General]\r\n RegistrationCode=genuine\r\n");
        const auto records = testing::LogRecords(logs.File(u"Velmora.log"));
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records.back(), u" Settings| taken over from " + files[1]);
        EXPECT_EQ(records.size(), c.logged ? 2u : 1u);
        if (c.logged) {
            EXPECT_TRUE(records.front().starts_with(u" ERROR | Settings not taken over from " + files[0]));
        }
    }
}

}  // namespace
}  // namespace dv
