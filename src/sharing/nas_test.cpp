#include "sharing/nas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "accounts/accounts_sim.h"
#include "accounts/share_manager.h"
#include "accounts/user_manager.h"
#include "logging/log_records_test.h"
#include "logging/logs.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::ToFsPath;
using testing::WriteBytes;
using Lines = std::vector<std::u16string>;

// The controller as the registry sees it, recording what the registry asks of it.
class RecordingHost : public INasHost {
public:
    RecordingHost(TShareManager& shares, TUserManager& users, TApplicationSettings& settings)
        : shares_(shares), users_(users), settings_(settings) {}

    TShareManager& ShareManager() override { return shares_; }
    TUserManager& UserManager() override { return users_; }
    TApplicationSettings& ApplicationSettings() override { return settings_; }
    void AttachedNasDriveLettersChange(TNasManager& sender) override { changes.push_back(sender.NasCount()); }
    void ShowErrorMessage(std::u16string_view text) override { errors.emplace_back(text); }
    void ShowWarningBalloon(std::u16string_view text) override { warnings.emplace_back(text); }
    void ProcessPendingMessages() override { ++pumped; }
    TPingToWebTh::ClientFactory PingClientFactory() override {
        return [] { return std::unique_ptr<IHttpClient>(); };  // no network in these tests
    }

    std::vector<int> changes;  // the count at each change
    Lines errors;
    Lines warnings;
    int pumped = 0;

private:
    TShareManager& shares_;
    TUserManager& users_;
    TApplicationSettings& settings_;
};

class NasTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.FDefaultShareUserName = u"dockvane";
        settings.FPasswordSalt = u"12345678901234567890123456789012";
        users.UserAdd(u"dockvane", users.MakePassword(settings.FPasswordSalt), u"Velmora User");
        PlugIn(u'E', driveE);
    }
    void TearDown() override {
        SetPendingMessagesHook(nullptr);
        fs::MapDrive(u'E', u"");
        fs::MapDrive(u'F', u"");
    }

    void PlugIn(char16_t letter, const TempFolder& root) {
        fs::MapDrive(letter, root.Path());
        sim.AddFolder(std::u16string(1, letter) + u":\\", TAcl{});
    }
    static void WriteConfig(const TempFolder& root, const std::string& text) {
        WriteBytes(root.path() / "velmora.conf", text);
    }
    // The configuration can be read but not replaced, as a read-only or locked file on Windows: the
    // first file of its replacement cannot be made.
    static void BlockReplacement(const TempFolder& root) {
        std::filesystem::create_directory(root.path() / "velmora.conf.dvpart");
    }
    bool Granted(const std::u16string& root, const std::u16string& account) {
        const auto* found = sim.FindAccount(account);
        const auto& folder = sim.Folders[UpperCase(root)];
        if (!found || !folder.Dacl) return false;
        for (const auto& ace : folder.Dacl->Aces) {
            if (ace.Sid() == found->Sid) return true;
        }
        return false;
    }
    Lines AppLog() { return testing::LogRecords(temp.File(kAppLogName)); }

    TempFolder temp;
    testing::ScopedAppLogFolder appLog{temp.Path()};
    TempFolder driveE;
    TSimAccounts sim;
    TApplicationSettings settings{temp.File(u"Settings.ini")};
    TShareManager shares{sim};
    TShareManager& manager() { return shares; }
    TUserManager users{sim, settings};
    RecordingHost host{shares, users, settings};
    TNasManager registry{host};
};

TEST_F(NasTest, ConfiguredDriveIsSharedAndRegistered) {
    WriteConfig(driveE, "[Share]\r\nShareName=BACKUP\r\nDescription=Nightly\r\nPingURL=http://srv/a\r\n");
    ASSERT_TRUE(registry.addNas(u"e", true)) << (host.errors.empty() ? "" : ToUtf8(host.errors[0]));
    EXPECT_EQ(registry.NasCount(), 1);
    ASSERT_NE(registry.getNasByname(u"E"), nullptr);
    EXPECT_EQ(registry.getNasByname(u"e"), registry.getNasByname(u"E"));
    EXPECT_EQ(registry.getNasByname(u"E")->DriveName(), u"E");
    EXPECT_TRUE(registry.getNasByname(u"E")->IsShared());
    EXPECT_EQ(host.changes, (std::vector<int>{1}));
    EXPECT_TRUE(host.errors.empty());

    ASSERT_EQ(sim.Shares.count(u"BACKUP"), 1u);
    EXPECT_EQ(sim.Shares[u"BACKUP"].Path, u"E:\\");
    EXPECT_EQ(sim.Shares[u"BACKUP"].Remark, u"Nightly");
    EXPECT_TRUE(Granted(u"E:\\", u"dockvane"));

    EXPECT_EQ(AppLog(), (Lines{u" Attached | E:\\"}));
    // The write test left nothing; the configuration is in its written form.
    EXPECT_FALSE(std::filesystem::exists(driveE.path() / "Dockvane_IoTestFolder"));
    const Lines config = *fs::ReadTextLines(driveE.File(u"velmora.conf"));
    EXPECT_EQ(config[0], GeneratedFileHeader());
    EXPECT_NE(std::find(config.begin(), config.end(), u"PingURL=http://srv/a"), config.end());
    EXPECT_GE(host.pumped, 2);
}

TEST_F(NasTest, DriveAlreadyRegisteredIsLeftAlone) {
    WriteConfig(driveE, "[Share]\r\nShareName=BACKUP\r\n");
    ASSERT_TRUE(registry.addNas(u"E", true));
    const int shareAdds = sim.Calls["ShareAdd502"];
    EXPECT_FALSE(registry.addNas(u"e", true));
    EXPECT_EQ(sim.Calls["ShareAdd502"], shareAdds);
    EXPECT_EQ(registry.NasCount(), 1);
    EXPECT_EQ(AppLog().size(), 1u);  // not even the write test or the attach line
}

TEST_F(NasTest, DrivesThatAreNotSharedStayOutOfTheRegistry) {
    struct Case {
        const char* name;
        const char* config;  // nullptr: no configuration file
        bool openShare;
        bool resaved;
        const char16_t* warning;
    };
    const Case cases[] = {
        {"no configuration", nullptr, true, false, nullptr},
        {"no share name", "[Share]\r\nPingURL1=http://x\r\n", true, false,
         u"The configuration of drive F: names no share."},
        {"no share name, share not opened", "[Share]\r\nPingURL1=http://x\r\n", false, false, nullptr},
        {"share not opened", "[Share]\r\nShareName=BACKUP\r\nPingURL1=http://x\r\n", false, true, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder root;
        PlugIn(u'F', root);
        if (c.config) WriteConfig(root, c.config);
        const std::size_t logged = AppLog().size();
        host.warnings.clear();
        EXPECT_FALSE(registry.addNas(u"F", c.openShare));
        EXPECT_EQ(registry.NasCount(), 0);
        EXPECT_TRUE(sim.Shares.empty());
        EXPECT_TRUE(host.errors.empty());
        EXPECT_EQ(host.warnings, c.warning ? Lines{c.warning} : Lines{});
        EXPECT_EQ(AppLog().size(), logged + 1);  // the attach line is written all the same
        if (c.resaved) {
            // Re-saved into its written form: header on top, addresses unnumbered.
            const Lines config = *fs::ReadTextLines(root.File(u"velmora.conf"));
            EXPECT_EQ(config[0], GeneratedFileHeader());
            for (const auto& line : config) EXPECT_EQ(line.find(u"PingURL1"), std::u16string::npos);
        } else if (c.config) {
            EXPECT_EQ(testing::ReadBytes(root.path() / "velmora.conf"), c.config);  // left as it was
        }
    }
}

TEST_F(NasTest, ConfigurationThatCannotBeRewrittenStopsTheAttachQuietly) {
    const std::string config = "[Share]\r\nShareName=BACKUP\r\nPingURL1=http://x\r\n";
    for (const bool openShare : {true, false}) {
        SCOPED_TRACE(openShare ? "share opened" : "share not opened");
        TempFolder root;
        PlugIn(u'F', root);
        WriteConfig(root, config);
        BlockReplacement(root);
        const std::size_t logged = AppLog().size();
        host.warnings.clear();

        EXPECT_FALSE(registry.addNas(u"F", openShare));
        EXPECT_TRUE(host.errors.empty()) << ToUtf8(host.errors.front());
        EXPECT_TRUE(sim.Shares.empty());
        EXPECT_EQ(registry.NasCount(), 0);
        EXPECT_TRUE(host.changes.empty());
        EXPECT_EQ(testing::ReadBytes(root.path() / "velmora.conf"), config);

        // One error line that names the file and the reason.
        const Lines log = AppLog();
        ASSERT_EQ(log.size(), logged + 2);
        EXPECT_EQ(log[logged], u" Attached | F:\\");
        EXPECT_TRUE(log.back().starts_with(u" ERROR | Drive F: not shared: ")) << ToUtf8(log.back());
        EXPECT_NE(log.back().find(u"F:\\velmora.conf"), std::u16string::npos) << ToUtf8(log.back());
        if (openShare) {
            ASSERT_EQ(host.warnings.size(), 1u);
            const std::u16string& warning = host.warnings[0];
            EXPECT_TRUE(warning.starts_with(u"The configuration of drive F: cannot be written: ")) << ToUtf8(warning);
            EXPECT_NE(warning.find(u"F:\\velmora.conf"), std::u16string::npos) << ToUtf8(warning);
            EXPECT_TRUE(warning.ends_with(u".") && !warning.ends_with(u"..")) << ToUtf8(warning);
        } else {
            EXPECT_TRUE(host.warnings.empty());  // the eject's re-save tells nobody
        }
    }
}

TEST_F(NasTest, LeftoverTestFolderFailsOnceAndIsCleanedUp) {
    WriteConfig(driveE, "[Share]\r\nShareName=BACKUP\r\n");
    for (const bool withFile : {false, true}) {
        std::filesystem::create_directory(driveE.path() / "Dockvane_IoTestFolder");
        if (withFile) WriteBytes(driveE.path() / "Dockvane_IoTestFolder" / "Dockvane_IoTesFileName.tst", "x");
        TNas nas(host, u"E");
        EXPECT_FALSE(nas.CheckIO());
        EXPECT_FALSE(std::filesystem::exists(driveE.path() / "Dockvane_IoTestFolder"));
        EXPECT_TRUE(nas.CheckIO());
    }
    EXPECT_FALSE(registry.addNas(u"Q", true));  // no such drive: not writable
}

TEST_F(NasTest, AttachCutShortInItsWriteTestDoesNotKeepTheDriveFromBeingShared) {
    // What a drive pulled out, or a process ended, in the middle of the write test leaves behind.
    WriteConfig(driveE, "[Share]\r\nShareName=BACKUP\r\n");
    const auto folder = driveE.path() / "Dockvane_IoTestFolder";
    for (const bool withFile : {false, true}) {
        std::filesystem::create_directory(folder);
        if (withFile) WriteBytes(folder / "Dockvane_IoTesFileName.tst", "\\Dockvane_IoTesFileName.tst\r\n");
        ASSERT_TRUE(registry.addNas(u"E", true)) << "with the test file: " << withFile;
        EXPECT_FALSE(std::filesystem::exists(folder));
        ASSERT_TRUE(registry.removeNas(u"E"));
    }

    // A folder of that name that holds anything else is not the test's to remove: the drive stays
    // unshared and the folder keeps what it holds.
    std::filesystem::create_directory(folder);
    WriteBytes(folder / "notes.txt", "mine");
    EXPECT_FALSE(registry.addNas(u"E", true));
    EXPECT_EQ(testing::ReadBytes(folder / "notes.txt"), "mine");
    EXPECT_TRUE(sim.Shares.empty());
}

// What stands at the test folder's name when a drive comes back, and what the next attach does with
// it: only the test's own leftover goes, and nothing is reached through a link.
TEST_F(NasTest, NextAttachRemovesOnlyTheWriteTestsOwnLeftover) {
    namespace stdfs = std::filesystem;
    WriteConfig(driveE, "[Share]\r\nShareName=BACKUP\r\n");
    const stdfs::path folder = driveE.path() / "Dockvane_IoTestFolder";
    struct Case {
        const char* name;
        std::function<void(const stdfs::path& outside)> leave;
        bool shared;
        const char16_t* what;  // the reason the warning and the log line give; nullptr: none
    };
    const Case cases[] = {
        {"an empty folder", [&](const stdfs::path&) { stdfs::create_directory(folder); }, true, nullptr},
        // Cut short while writing: the file may hold less than the test wrote, or nothing.
        {"the folder with a half-written test file",
         [&](const stdfs::path&) {
             stdfs::create_directory(folder);
             WriteBytes(folder / "Dockvane_IoTesFileName.tst", "\\Dockvane_Io");
         },
         true, nullptr},
        {"a link to a folder elsewhere",
         [&](const stdfs::path& outside) { stdfs::create_directory_symlink(outside, folder); }, false, u"is a link"},
        {"a folder that holds a link named as the test file",
         [&](const stdfs::path& outside) {
             stdfs::create_directory(folder);
             stdfs::create_symlink(outside / "Dockvane_IoTesFileName.tst", folder / "Dockvane_IoTesFileName.tst");
         },
         false, u"holds files that Dockvane did not put there"},
        {"a folder with the test file and a file of somebody else's",
         [&](const stdfs::path&) {
             stdfs::create_directory(folder);
             WriteBytes(folder / "Dockvane_IoTesFileName.tst", "\\Dockvane_IoTesFileName.tst\r\n");
             WriteBytes(folder / "notes.txt", "mine");
         },
         false, u"holds files that Dockvane did not put there"},
        {"a folder in the test folder",
         [&](const stdfs::path&) { stdfs::create_directories(folder / "Dockvane_IoTesFileName.tst"); }, false,
         u"holds files that Dockvane did not put there"},
        {"a file of that name", [&](const stdfs::path&) { WriteBytes(folder, "mine"); }, false, u"is a file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Somewhere off the drive, with a file of the test file's name that a clean-up through the
        // link would take.
        TempFolder outside;
        WriteBytes(outside.path() / "Dockvane_IoTesFileName.tst", "elsewhere");
        WriteBytes(outside.path() / "notes.txt", "elsewhere");
        c.leave(outside.path());
        const auto before = [&] {
            std::vector<std::pair<std::string, std::string>> entries;
            if (stdfs::is_symlink(folder) || !stdfs::is_directory(folder)) return entries;
            for (const auto& entry : stdfs::directory_iterator(folder)) {
                entries.emplace_back(entry.path().filename().string(), entry.is_symlink()     ? "link"
                                                                       : entry.is_directory() ? "folder"
                                                                                              : ReadBytes(entry));
            }
            std::sort(entries.begin(), entries.end());
            return entries;
        };
        const auto leftBehind = before();
        const std::size_t logged = AppLog().size();
        host.warnings.clear();

        EXPECT_EQ(registry.addNas(u"E", true), c.shared);
        EXPECT_EQ(sim.Shares.count(u"BACKUP"), c.shared ? 1u : 0u);
        EXPECT_TRUE(host.errors.empty());
        // Nothing off the drive is touched.
        EXPECT_EQ(ReadBytes(outside.path() / "Dockvane_IoTesFileName.tst"), "elsewhere");
        EXPECT_EQ(ReadBytes(outside.path() / "notes.txt"), "elsewhere");
        if (c.shared) {
            EXPECT_FALSE(stdfs::exists(stdfs::symlink_status(folder)));
            EXPECT_TRUE(host.warnings.empty());
            ASSERT_TRUE(registry.removeNas(u"E"));
        } else {
            // Left exactly as it was, and the user learns why the drive is not shared.
            EXPECT_TRUE(stdfs::exists(stdfs::symlink_status(folder)));
            EXPECT_EQ(stdfs::is_symlink(folder), std::u16string_view(c.what) == u"is a link");
            EXPECT_EQ(before(), leftBehind);
            const std::u16string named = std::u16string(u"E:\\Dockvane_IoTestFolder ") + c.what;
            ASSERT_EQ(host.warnings.size(), 1u);
            EXPECT_EQ(host.warnings[0],
                      u"Drive E: is not shared: " + named + u". Remove it, or move it elsewhere, to share the drive.");
            const Lines log = AppLog();
            ASSERT_EQ(log.size(), logged + 1);  // the attach goes no further than the write test
            EXPECT_EQ(log.back(), u" ERROR | Drive E: not shared: " + named + u"; it is left as it is");
            // The eject's re-save of the configuration tells nobody.
            host.warnings.clear();
            EXPECT_FALSE(registry.addNas(u"E", false));
            EXPECT_TRUE(host.warnings.empty());
        }
        stdfs::remove_all(folder);
    }
}

TEST_F(NasTest, OwnAccountGetsTheRightsFromItsSecondAttachOn) {
    WriteConfig(driveE, "[Share]\r\nShareName=BACKUP\r\nShareUserName=extdisk_backup\r\n");
    ASSERT_TRUE(registry.addNas(u"E", true));
    ASSERT_NE(sim.FindAccount(u"extdisk_backup"), nullptr);  // created by the first attach
    EXPECT_TRUE(Granted(u"E:\\", u"dockvane"));
    EXPECT_FALSE(Granted(u"E:\\", u"extdisk_backup"));

    ASSERT_TRUE(registry.removeNas(u"E"));
    sim.Folders[u"E:\\"] = {true, TAcl{}};
    ASSERT_TRUE(registry.addNas(u"E", true));
    EXPECT_TRUE(Granted(u"E:\\", u"extdisk_backup"));
}

TEST_F(NasTest, DomainModeAlwaysUsesTheDomainAccount) {
    settings.FIsInDomain = 1;
    settings.FDefaultShareUserName = u"CORP\\backup";
    sim.AddAccount(u"CORP\\backup", TSid::Make(5, {21, 1, 2, 3, 1105}), TSidNameUse::User);
    WriteConfig(driveE, "[Share]\r\nShareName=BACKUP\r\nShareUserName=extdisk_backup\r\n");
    ASSERT_TRUE(registry.addNas(u"E", true));
    EXPECT_EQ(sim.FindAccount(u"extdisk_backup"), nullptr);  // no local account in domain mode
    EXPECT_TRUE(Granted(u"E:\\", u"CORP\\backup"));
}

TEST_F(NasTest, ShareThatCannotBeCreatedIsReported) {
    sim.Failures["ShareAdd502"] = TOsStatus::Net(5);
    WriteConfig(driveE, "[Share]\r\nShareName=BACKUP\r\n");
    EXPECT_FALSE(registry.addNas(u"E", true));
    EXPECT_EQ(host.errors,
              (Lines{u"Access is not installed.\n\rPerhaps the current user does not have enough rights."}));
    EXPECT_EQ(registry.NasCount(), 0);
    EXPECT_TRUE(host.changes.empty());
}

TEST_F(NasTest, DrivePulledOutWhileItsShareIsMadeEndsTheArrivalQuietly) {
    // Windows refuses a share of a folder that is gone; the user who pulled the drive needs no box.
    sim.Failures["ShareAdd502"] = TOsStatus::Net(2116);  // NERR_UnknownDevDir
    WriteConfig(driveE, "[Share]\r\nShareName=BACKUP\r\n");
    int logCalls = 0;
    SetPendingMessagesHook([&] {
        // The first log call is the "Attached " line; the second, the share manager's error line.
        if (++logCalls == 2) fs::MapDrive(u'E', u"");
    });
    EXPECT_FALSE(registry.addNas(u"E", true));
    EXPECT_TRUE(host.errors.empty());
    EXPECT_TRUE(sim.Shares.empty());
    EXPECT_EQ(registry.NasCount(), 0);
    const Lines log = AppLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), u" Detached | E:\\"), 1) << ToUtf8(log.back());
}

TEST_F(NasTest, RightsThatCannotBeGrantedRollTheShareBack) {
    struct Case {
        std::u16string account;  // resolves to no account
        std::u16string shown;
    };
    const Case cases[] = {
        {u"nobody", u"nobody"},
        {u"no\x1b[2Jbody\r\nOK", u"no\\x1B[2Jbody\\r\\nOK"},  // control characters never reach the box raw
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.shown));
        settings.FDefaultShareUserName = c.account;
        WriteConfig(driveE, "[Share]\r\nShareName=BACKUP\r\n");
        host.errors.clear();
        EXPECT_FALSE(registry.addNas(u"E", true));
        EXPECT_TRUE(sim.Shares.empty());
        EXPECT_EQ(host.errors, (Lines{u"Permissions for the user: " + c.shown +
                                      u" is not installed!\n\rPerhaps this user is not registered in system"}));
        EXPECT_EQ(registry.NasCount(), 0);
    }
}

TEST_F(NasTest, ControlCharactersInNamesFromTheDriveReachNoMessageRaw) {
    // Windows allows neither, but the names come from the drive's file and the system's answers.
    sim.AddAccount(u"Team\x01X", TSid::Make(5, {21, 4, 5, 6, 1200}), TSidNameUse::Group);
    TShareInfo502 foreign;
    foreign.NetName =
        u"A\x01"
        u"B";
    foreign.Path = u"C:\\X\x7fY";
    sim.Shares
        [u"A\x01"
         u"B"] = foreign;
    struct Case {
        const char* name;
        std::string config;
        std::u16string message;
    };
    const Case cases[] = {
        {"account that may not have a drive", "[Share]\r\nShareName=BACKUP\r\nShareUserName=Team\x01X\r\n",
         u"Team\\x01X is a group; outside a domain Dockvane opens a drive only to one user account"},
        {"share name in use",
         "[Share]\r\nShareName=a\x01"
         "b\r\n",
         u"The share name \"a\\x01b\" is already in use for C:\\X\\x7FY"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteConfig(driveE, c.config);
        host.errors.clear();
        EXPECT_FALSE(registry.addNas(u"E", true));
        ASSERT_EQ(host.errors.size(), 1u);
        EXPECT_TRUE(host.errors[0].starts_with(c.message + u".\n\r")) << ToUtf8(host.errors[0]);
        EXPECT_EQ(AppLog().back(), u" ERROR | Drive E: not shared: " + c.message);
    }
}

TEST_F(NasTest, ShareLeftByAnEarlierAttachIsReplaced) {
    manager().ShareCreate(u"BACKUP", u"old", u"e:\\", false);
    ASSERT_TRUE(manager().ShareAddAccesRights(u"BACKUP", u"Administrator", kGenericAll));
    WriteConfig(driveE, "[Share]\r\nShareName=Backup\r\nDescription=Nightly\r\n");
    ASSERT_TRUE(registry.addNas(u"E", true)) << (host.errors.empty() ? "" : ToUtf8(host.errors[0]));
    EXPECT_EQ(sim.Shares[u"BACKUP"].Path, u"E:\\");
    EXPECT_EQ(sim.Shares[u"BACKUP"].Remark, u"Nightly");
    ASSERT_EQ(sim.Shares[u"BACKUP"].SecurityDescriptor.Dacl->Aces.size(), 3u);  // the old rights went
    EXPECT_TRUE(host.errors.empty());
}

TEST_F(NasTest, ShareNameInUseElsewhereStopsTheAttachBeforeAnythingIsMade) {
    TShareInfo502 foreign;
    foreign.NetName = u"Users";
    foreign.Path = u"C:\\Users";
    sim.Shares[u"USERS"] = foreign;
    WriteConfig(driveE, "[Share]\r\nShareName=users\r\nShareUserName=extdisk_new\r\n");
    const TSecurityDescriptor folderBefore = sim.Folders[u"E:\\"];
    sim.Calls.clear();
    EXPECT_FALSE(registry.addNas(u"E", true));
    EXPECT_EQ(host.errors, (Lines{u"The share name \"users\" is already in use for C:\\Users.\n\r"
                                  u"Choose another share name for this drive in its drive settings."}));
    EXPECT_EQ(AppLog().back(),
              u" ERROR | Drive E: not shared: The share name \"users\" is already in use for C:\\Users");
    EXPECT_EQ(sim.Shares.size(), 1u);
    EXPECT_EQ(sim.Shares[u"USERS"], foreign);
    EXPECT_EQ(sim.Folders[u"E:\\"], folderBefore);
    EXPECT_EQ(sim.FindAccount(u"extdisk_new"), nullptr);
    EXPECT_EQ(sim.Calls["ShareAdd502"] + sim.Calls["ShareDel"] + sim.Calls["UserAdd1"], 0);
    EXPECT_EQ(registry.NasCount(), 0);
}

TEST_F(NasTest, AnAccountThatMayNotHaveADriveStopsTheAttachBeforeAnythingIsMade) {
    sim.AddAccount(u"CORP\\Backup Team", TSid::Make(5, {21, 4, 5, 6, 1200}), TSidNameUse::Group);
    sim.AddAccount(u"CORP\\Domain Users", TSid::Make(5, {21, 4, 5, 6, 513}), TSidNameUse::Group);
    const std::u16string drive = u".\n\rChoose another account for this drive in its drive settings.";
    const std::u16string domain = u".\n\rEnter another account with \"Set Domain User Name\" in the tray menu.";
    struct Case {
        const char* name;
        int inDomain;
        const char16_t* defaultAccount;
        const char16_t* driveAccount;
        std::u16string refusal;  // empty: shared
    };
    const Case cases[] = {
        {"a group outside a domain", 0, u"dockvane", u"CORP\\Backup Team",
         u"CORP\\Backup Team is a group; outside a domain Dockvane opens a drive only to one user account"},
        {"Everyone outside a domain", 0, u"dockvane", u"Everyone",
         u"Everyone is a group that many people belong to; Dockvane opens a drive only to one account or a small "
         u"group"},
        {"a domain group in a domain", 1, u"CORP\\Backup Team", u"Everyone", u""},
        {"Domain Users in a domain", 1, u"CORP\\Domain Users", u"",
         u"CORP\\Domain Users is a group that many people belong to; Dockvane opens a drive only to one account or a "
         u"small group"},
        {"Guest in a domain", 1, u"Guest", u"",
         u"Guest is the guest account, which anybody may use; Dockvane opens a drive only to one account or a small "
         u"group"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        settings.FIsInDomain = c.inDomain;
        settings.FDefaultShareUserName = c.defaultAccount;
        WriteConfig(driveE, "[Share]\r\nShareName=BACKUP\r\nShareUserName=" + ToUtf8(c.driveAccount) + "\r\n");
        sim.Folders[u"E:\\"] = {true, TAcl{}};
        host.errors.clear();
        sim.Calls.clear();
        const bool shared = registry.addNas(u"E", true);
        EXPECT_EQ(shared, c.refusal.empty());
        if (shared) {
            EXPECT_TRUE(host.errors.empty());
            EXPECT_TRUE(Granted(u"E:\\", c.defaultAccount));
            ASSERT_TRUE(registry.removeNas(u"E"));
            continue;
        }
        EXPECT_EQ(host.errors, (Lines{c.refusal + (c.inDomain ? domain : drive)}));
        EXPECT_EQ(AppLog().back(), u" ERROR | Drive E: not shared: " + c.refusal);
        EXPECT_EQ(sim.Calls["ShareAdd502"] + sim.Calls["UserAdd1"] + sim.Calls["SetFileDacl"], 0);
    }
    EXPECT_TRUE(sim.Shares.empty());
}

TEST_F(NasTest, AnErrorAfterTheShareWasMadeTakesTheShareAway) {
    sim.MinPasswordLength = 100;  // the local policy refuses the drive's new account
    WriteConfig(driveE, "[Share]\r\nShareName=BACKUP\r\nShareUserName=extdisk_new\r\n");
    EXPECT_THROW(registry.addNas(u"E", true), EOSError);
    EXPECT_EQ(sim.Calls["ShareAdd502"], 1);
    EXPECT_TRUE(sim.Shares.empty());
    EXPECT_EQ(registry.NasCount(), 0);
}

TEST_F(NasTest, UnsharingLeavesAShareThatNowPointsElsewhere) {
    WriteConfig(driveE, "[Share]\r\nShareName=BACKUP\r\n");
    ASSERT_TRUE(registry.addNas(u"E", true));
    sim.Shares[u"BACKUP"].Path = u"D:\\Data";  // someone re-pointed the name meanwhile
    ASSERT_TRUE(registry.removeNas(u"E"));
    ASSERT_EQ(sim.Shares.count(u"BACKUP"), 1u);
    EXPECT_EQ(sim.Shares[u"BACKUP"].Path, u"D:\\Data");
}

TEST_F(NasTest, RemovalUnsharesAndReportsTheLetterAsPassed) {
    TempFolder driveF;
    PlugIn(u'F', driveF);
    WriteConfig(driveE, "[Share]\r\nShareName=EAST\r\n");
    WriteConfig(driveF, "[Share]\r\nShareName=WEST\r\n");
    EXPECT_TRUE(registry.GetNasDriveNamesList().empty());
    EXPECT_TRUE(registry.GetNasShareNamesList().empty());
    ASSERT_TRUE(registry.addNas(u"F", true));
    ASSERT_TRUE(registry.addNas(u"E", true));
    EXPECT_EQ(registry.GetNasDriveNamesList(), (Lines{u"F", u"E"}));
    EXPECT_EQ(registry.GetNasShareNamesList(), (Lines{u"WEST", u"EAST"}));
    EXPECT_EQ(registry.GetNasByIndex(1)->DriveName(), u"E");
    EXPECT_EQ(registry.GetNasByIndex(2), nullptr);

    const std::size_t logged = AppLog().size();
    EXPECT_FALSE(registry.removeNas(u"G"));
    EXPECT_EQ(AppLog().size(), logged);

    EXPECT_TRUE(registry.removeNas(u"f"));
    EXPECT_EQ(AppLog().back(), u" Detached | f:\\");
    EXPECT_EQ(sim.Shares.count(u"WEST"), 0u);
    EXPECT_EQ(sim.Shares.count(u"EAST"), 1u);
    EXPECT_EQ(registry.NasCount(), 1);
    EXPECT_EQ(host.changes, (std::vector<int>{1, 2, 1}));
}

// --- Other handlers running inside the log calls, which let pending messages through ---

class NasReentryTest : public NasTest {
protected:
    // Runs `event` inside the next log call, once.
    void DuringNextLogLine(std::function<void()> event) {
        nested_ = std::move(event);
        SetPendingMessagesHook([this] {
            if (nested_) std::exchange(nested_, nullptr)();
        });
    }
    std::vector<std::u16string> ShareNames() {
        std::vector<std::u16string> names;
        for (const auto& [name, share] : sim.Shares) names.push_back(name);
        return names;
    }

private:
    std::function<void()> nested_;
};

TEST_F(NasReentryTest, NestedArrivalOfTheSameDriveLeavesOneEntryAndItsShare) {
    struct Case {
        const char* name;
        const char* changedConfig;  // what the file says once the nested arrival is done
    };
    const Case cases[] = {
        {"the same share for both", nullptr},
        {"a share of its own for the outer one", "[Share]\r\nShareName=TWO\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteConfig(driveE, "[Share]\r\nShareName=ONE\r\n");
        DuringNextLogLine([&] {
            EXPECT_TRUE(registry.addNas(u"E", true));
            if (c.changedConfig) WriteConfig(driveE, c.changedConfig);
        });
        EXPECT_FALSE(registry.addNas(u"E", true));
        EXPECT_EQ(registry.GetNasShareNamesList(), (Lines{u"ONE"}));
        EXPECT_EQ(ShareNames(), (Lines{u"ONE"}));
        EXPECT_EQ(sim.Shares[u"ONE"].Path, u"E:\\");
        ASSERT_TRUE(registry.removeNas(u"E"));
    }
}

TEST_F(NasReentryTest, DriveWhoseRemovalCameDuringItsAttachIsNeitherRegisteredNorShared) {
    WriteConfig(driveE, "[Share]\r\nShareName=EAST\r\n");
    DuringNextLogLine([&] { EXPECT_FALSE(registry.removeNas(u"E")); });  // not registered yet
    EXPECT_FALSE(registry.addNas(u"E", true));
    EXPECT_EQ(registry.NasCount(), 0);
    EXPECT_TRUE(sim.Shares.empty());
    EXPECT_TRUE(host.errors.empty());
    EXPECT_EQ(AppLog(), (Lines{u" Attached | E:\\", u" Detached | E:\\"}));

    // A later arrival is not affected by it.
    EXPECT_TRUE(registry.addNas(u"E", true));
}

TEST_F(NasReentryTest, RemovalInsideTheDetachLineRemovesTheDriveOnce) {
    WriteConfig(driveE, "[Share]\r\nShareName=EAST\r\n");
    ASSERT_TRUE(registry.addNas(u"E", true));
    DuringNextLogLine([&] { EXPECT_TRUE(registry.removeNas(u"E")); });
    EXPECT_FALSE(registry.removeNas(u"E"));  // the nested one did it
    EXPECT_EQ(registry.NasCount(), 0);
    EXPECT_TRUE(sim.Shares.empty());
    EXPECT_EQ(host.changes, (std::vector<int>{1, 0}));
}

}  // namespace
}  // namespace dv
