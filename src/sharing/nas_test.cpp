#include "sharing/nas.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "accounts/accounts_sim.h"
#include "accounts/share_manager.h"
#include "accounts/user_manager.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "sharing/logs.h"
#include "testing/scoped_env.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

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
    void ProcessPendingMessages() override { ++pumped; }
    TPingToWebTh::ClientFactory PingClientFactory() override {
        return [] { return std::unique_ptr<IHttpClient>(); };  // no network in these tests
    }

    std::vector<int> changes;  // the count at each change
    Lines errors;
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
    bool Granted(const std::u16string& root, const std::u16string& account) {
        const auto* found = sim.FindAccount(account);
        const auto& folder = sim.Folders[UpperCase(root)];
        if (!found || !folder.Dacl) return false;
        for (const auto& ace : folder.Dacl->Aces) {
            if (ace.Sid() == found->Sid) return true;
        }
        return false;
    }
    Lines AppLog() {
        Lines records;
        if (const auto lines = fs::ReadTextLines(temp.File(u"Velmora.log"))) {
            for (std::size_t i = 1; i < lines->size(); ++i) {
                const auto record = ParseLogLine((*lines)[i]);
                records.push_back(record->Title + u"|" + record->Description);
            }
        }
        return records;
    }

    TempFolder temp;
    testing::ScopedEnv tmpdir{"TMPDIR", ToUtf8(temp.Path())};
    TempFolder driveE;
    TSimAccounts sim;
    TApplicationSettings settings{temp.File(u"Settings.ini")};
    TShareManager shares{sim};
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
    };
    const Case cases[] = {
        {"no configuration", nullptr, true},
        {"no share name", "[Share]\r\nPingURL1=http://x\r\n", true},
        {"share not opened", "[Share]\r\nShareName=BACKUP\r\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder root;
        PlugIn(u'F', root);
        if (c.config) WriteConfig(root, c.config);
        const std::size_t logged = AppLog().size();
        EXPECT_FALSE(registry.addNas(u"F", c.openShare));
        EXPECT_EQ(registry.NasCount(), 0);
        EXPECT_TRUE(sim.Shares.empty());
        EXPECT_TRUE(host.errors.empty());
        EXPECT_EQ(AppLog().size(), logged + 1);  // the attach line is written all the same
        if (c.config) {
            // Re-saved into its written form: header on top, addresses unnumbered.
            const Lines config = *fs::ReadTextLines(root.File(u"velmora.conf"));
            EXPECT_EQ(config[0], GeneratedFileHeader());
            for (const auto& line : config) EXPECT_EQ(line.find(u"PingURL1"), std::u16string::npos);
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
    EXPECT_EQ(host.errors, (Lines{u"Access is not installed.\n\rPerhaps the current user does not have enough rights."}));
    EXPECT_EQ(registry.NasCount(), 0);
    EXPECT_TRUE(host.changes.empty());
}

TEST_F(NasTest, RightsThatCannotBeGrantedRollTheShareBack) {
    settings.FDefaultShareUserName = u"nobody";  // resolves to no account
    WriteConfig(driveE, "[Share]\r\nShareName=BACKUP\r\n");
    EXPECT_FALSE(registry.addNas(u"E", true));
    EXPECT_TRUE(sim.Shares.empty());
    EXPECT_EQ(host.errors,
              (Lines{u"Permissions for the user: nobody is not installed!\n\rPerhaps this user is not registered in system"}));
    EXPECT_EQ(registry.NasCount(), 0);
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
