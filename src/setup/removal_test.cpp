#include "setup/removal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "accounts/accounts_sim.h"
#include "accounts/security_types.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/machine_folder.h"
#include "settings/share_settings.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

using dv::testing::TempFolder;

TEST(RemovalDecisions, OnlyARunValueNamingDockvaneIsDockvanes) {
    const struct {
        const char16_t* data;
        bool own;
    } cases[] = {
        {u"\"C:\\Program Files\\Dockvane\\Dockvane.exe\"", true},
        {u"C:\\Program Files\\Dockvane\\Dockvane.exe", true},
        {u"\"D:\\Tools\\DOCKVANE.EXE\"", true},  // wherever it ran from
        {u"\"C:\\Program Files\\Dockvane\\Dockvane.exe\" /minimized", false},
        {u"\"C:\\Tools\\other.exe\" \"C:\\Program Files\\Dockvane\\Dockvane.exe\"", false},
        {u"\"C:\\Tools\\Dockvane.exe.bak\"", false},
        {u"\"C:\\Tools\\NotDockvane.exe\"", false},
        {u"Dockvane.exe", false},  // no folder: not a path Dockvane writes
        {u"\"", false},
        {u"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsOwnRunValue(c.data), c.own) << ToUtf8(c.data);
}

std::string Utf16Le(std::u16string_view text, bool byteOrderMark) {
    std::string bytes = byteOrderMark ? std::string("\xFF\xFE") : std::string();
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

TEST(RemovalDecisions, ReadsTheProgramATaskStartsFromItsDefinition) {
    const std::u16string task =
        u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Task><Actions Context=\"Author\"><Exec>\r\n"
        u"  <Command>&quot;C:\\Program Files\\Dockvane\\Dockvane.exe&quot;</Command>\r\n</Exec></Actions></Task>\r\n";
    const std::u16string path = u"\"C:\\Program Files\\Dockvane\\Dockvane.exe\"";
    EXPECT_EQ(TaskCommandFromXml(Utf16Le(task, true)), path);
    EXPECT_EQ(TaskCommandFromXml(Utf16Le(task, false)), path);
    EXPECT_EQ(TaskCommandFromXml(ToUtf8(task)), path);
    EXPECT_EQ(TaskCommandFromXml("<Exec><Command> D:\\R&amp;D\\Dockvane.exe </Command></Exec>"),
              u"D:\\R&D\\Dockvane.exe");
    // Nothing that names a program: no task, or a schtasks that answers its query with nothing.
    for (const char* nothing : {"", "\r\n", "<Command>unterminated", "</Command><Command>"}) {
        EXPECT_EQ(TaskCommandFromXml(nothing), u"") << nothing;
    }
    // What the task starts decides, as for the Run value.
    EXPECT_TRUE(IsOwnRunValue(TaskCommandFromXml(Utf16Le(task, true))));
}

TEST(RemovalDecisions, OnlyAccountsWithDockvanesNameAndCommentAreDockvanes) {
    const struct {
        const char16_t* name;
        const char16_t* comment;
        bool own;
    } cases[] = {
        {u"dockvane", u"Velmora User", true},
        {u"DOCKVANE", u"velmora user", true},
        {u"extdisk_photos", u"Velmora User", true},
        {u"Extdisk_Old", u"VELMORA USER", true},
        {u"extdisk_", u"Velmora User", true},  // the name proposed for a drive without a share name
        {u"dockvane", u"", false},             // someone's own account of that name
        {u"dockvane", u"Velmora User (copy)", false},
        {u"extdisk_admin", u"Made by the administrator", false},
        {u"extdisk", u"Velmora User", false},
        {u"john", u"Velmora User", false},  // the comment alone makes no account Dockvane's
        {u"Administrator", u"Built-in account for administering the computer/domain", false},
        {u"xextdisk_photos", u"Velmora User", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsOwnAccountRecord(c.name, c.comment), c.own) << ToUtf8(c.name);
}

class RemovalTest : public ::testing::Test {
protected:
    RemovalTest() : removal(sim, sim, [this](std::u16string_view line) { lines.emplace_back(line); }) {}
    ~RemovalTest() override {
        for (char16_t letter : mapped) fs::MapDrive(letter, u"");
    }

    void AddUser(const std::u16string& name, const std::u16string& comment) {
        TUserInfo1 info;
        info.Name = name;
        info.Password = u"his own password";
        info.Comment = comment;
        ASSERT_TRUE(sim.UserAdd1(info).ok());
    }
    void AddShare(const std::u16string& name, const std::u16string& path) {
        TShareInfo502 info;
        info.NetName = name;
        info.Path = path;
        info.SecurityDescriptor = ShareCreationDescriptor();
        ASSERT_TRUE(sim.ShareAdd502(info).ok());
    }
    // A plugged-in drive; its configuration names the share, or there is no configuration.
    void PlugDrive(char16_t letter, std::optional<std::u16string> shareName, std::string_view rawFile = {}) {
        drives.push_back(std::make_unique<TempFolder>());
        fs::MapDrive(letter, drives.back()->Path());
        mapped.push_back(letter);
        const std::u16string file = std::u16string(1, letter) + u":\\" + std::u16string(kDriveConfigFileName);
        if (!rawFile.empty()) {
            ASSERT_TRUE(fs::WriteNewFile(file, rawFile).ok());
            return;
        }
        if (!shareName) return;
        TShareSettings config(file);
        config.FShareName = *shareName;
        config.Save();
    }
    bool ShareExists(const std::u16string& name) { return sim.ShareGetInfo0(name).ok(); }
    bool AccountExists(const std::u16string& name) { return sim.FindAccount(name) != nullptr; }

    TSimAccounts sim;
    std::vector<std::u16string> lines;
    TRemoval removal;
    std::vector<std::unique_ptr<TempFolder>> drives;
    std::vector<char16_t> mapped;
};

TEST_F(RemovalTest, RemovesOwnAccountsAndKeepsEveryoneElses) {
    // More accounts than one enumeration batch holds, so that the removal pages through them.
    AddUser(u"dockvane", u"Velmora User");
    AddUser(u"john", u"");
    AddUser(u"extdisk_photos", u"Velmora User");
    AddUser(u"extdisk_admin", u"Made by the administrator");
    AddUser(u"EXTDISK_Old", u"velmora user");
    AddUser(u"mallory", u"Velmora User");
    const std::string before = ToUtf8(sim.FindAccount(u"john")->Info.Password);

    const std::vector<std::u16string> removed = removal.RemoveOwnAccounts();

    EXPECT_EQ(removed, (std::vector<std::u16string>{u"dockvane", u"extdisk_photos", u"EXTDISK_Old"}));
    for (const char16_t* kept : {u"john", u"extdisk_admin", u"mallory", u"Administrator", u"Guest"}) {
        EXPECT_TRUE(AccountExists(kept)) << ToUtf8(kept);
    }
    EXPECT_EQ(ToUtf8(sim.FindAccount(u"john")->Info.Password), before);
}

TEST_F(RemovalTest, AnAccountWhoseCommentCannotBeReadStaysAndTheFailureIsReported) {
    AddUser(u"extdisk_photos", u"Velmora User");
    sim.Failures["UserGetInfo1"] = TOsStatus::Net(5);
    EXPECT_TRUE(removal.RemoveOwnAccounts().empty());
    EXPECT_TRUE(AccountExists(u"extdisk_photos"));
    EXPECT_TRUE(removal.Failed());
}

TEST_F(RemovalTest, AFailedDeletionIsReportedAndTheRestGoOn) {
    AddUser(u"dockvane", u"Velmora User");
    AddUser(u"extdisk_photos", u"Velmora User");
    sim.Failures["UserDel"] = TOsStatus::Net(5);
    EXPECT_TRUE(removal.RemoveOwnAccounts().empty());
    EXPECT_TRUE(removal.Failed());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(u"Account kept: dockvane"), std::u16string::npos);
}

TEST_F(RemovalTest, FindsTheSharesTheDrivesConfigurationsName) {
    PlugDrive(u'E', u"Backup");
    PlugDrive(u'F', std::nullopt);                         // no configuration
    PlugDrive(u'G', std::u16string());                     // names no share
    PlugDrive(u'H', std::nullopt, "\xff\xfe\x00garbage");  // not a configuration at all
    EXPECT_EQ(FindDriveShares({u'D', u'E', u'F', u'G', u'H'}), (std::vector<TDriveShare>{{u"Backup", u"E:\\"}}));
}

TEST_F(RemovalTest, RemovesADrivesShareOnlyWhileItPointsAtThatDrive) {
    AddShare(u"Backup", u"E:\\");
    AddShare(u"Photos", u"D:\\Photos");  // a person's share of the name a drive names
    AddShare(u"Users", u"C:\\Users");    // a person's share no drive names
    const std::vector<std::u16string> removed = removal.RemoveDriveShares({
        {u"Backup", u"E:\\"}, {u"Photos", u"F:\\"}, {u"Gone", u"G:\\"},  // already unshared
    });
    EXPECT_EQ(removed, std::vector<std::u16string>{u"Backup"});
    EXPECT_FALSE(ShareExists(u"Backup"));
    EXPECT_TRUE(ShareExists(u"Photos"));
    EXPECT_TRUE(ShareExists(u"Users"));
    EXPECT_FALSE(removal.Failed());
}

TEST_F(RemovalTest, ASharePathThatCannotBeReadKeepsTheShare) {
    AddShare(u"Backup", u"E:\\");
    sim.Failures["ShareGetInfo502"] = TOsStatus::Net(5);
    EXPECT_TRUE(removal.RemoveDriveShares({{u"Backup", u"E:\\"}}).empty());
    EXPECT_TRUE(ShareExists(u"Backup"));
    EXPECT_TRUE(removal.Failed());
}

TEST_F(RemovalTest, TheSettingsFolderGoesOnlyWhenTheFileWasItsLast) {
    TempFolder appData;
    const std::u16string folder = appData.File(u"dockvane");
    ASSERT_TRUE(fs::MakeDirectory(folder).ok());
    const std::u16string settings = folder + u"\\Settings.ini";
    ASSERT_TRUE(fs::WriteNewFile(settings, "[General]\r\n").ok());
    ASSERT_TRUE(fs::WriteNewFile(folder + u"\\notes.txt", "mine").ok());
    EXPECT_TRUE(removal.RemoveSettingsFile(settings));
    EXPECT_FALSE(fs::FileExists(settings));
    EXPECT_TRUE(fs::FileExists(folder + u"\\notes.txt"));

    ASSERT_TRUE(fs::RemoveFile(folder + u"\\notes.txt").ok());
    ASSERT_TRUE(fs::WriteNewFile(settings, "[General]\r\n").ok());
    EXPECT_TRUE(removal.RemoveSettingsFile(settings));
    EXPECT_FALSE(fs::DirectoryExists(folder));
    EXPECT_TRUE(removal.RemoveSettingsFile(settings));  // nothing left to remove is no failure
    EXPECT_FALSE(removal.Failed());
}

TEST_F(RemovalTest, MachineSettingsGoOnlyFromAFolderOfDockvanesOwn) {
    TempFolder programData;
    TempFolder elsewhere;
    const std::u16string folder = programData.Path() + u"\\Dockvane";
    EXPECT_TRUE(removal.RemoveMachineSettings(folder));  // never made: nothing to do
    EXPECT_FALSE(removal.Failed());

    // Planted: a link to a folder elsewhere, whose Settings.ini is someone else's.
    ASSERT_TRUE(fs::WriteNewFile(elsewhere.Path() + u"\\Settings.ini", "theirs").ok());
    std::filesystem::create_directory_symlink(elsewhere.path(), programData.path() / "Dockvane");
    EXPECT_FALSE(removal.RemoveMachineSettings(folder));
    EXPECT_EQ(lines.back(), u"Settings kept: " + folder + u" is not Dockvane's own (a link)");
    EXPECT_TRUE(fs::FileExists(elsewhere.Path() + u"\\Settings.ini"));
    EXPECT_TRUE(removal.Failed());
    std::filesystem::remove(programData.path() / "Dockvane");

    // Dockvane's own: the settings go, the log beside them stays, and so does the folder.
    ASSERT_TRUE(MakeProtectedFolder(folder).ok());
    ASSERT_TRUE(fs::WriteNewFile(folder + u"\\Settings.ini", "[General]\r\n").ok());
    ASSERT_TRUE(fs::WriteNewFile(folder + u"\\Velmora.log", "log").ok());
    EXPECT_TRUE(removal.RemoveMachineSettings(folder));
    EXPECT_FALSE(fs::FileExists(folder + u"\\Settings.ini"));
    EXPECT_TRUE(fs::FileExists(folder + u"\\Velmora.log"));
    EXPECT_EQ(lines.back(), u"Settings removed: " + folder + u"\\Settings.ini");
}

}  // namespace
}  // namespace dv
