#include "accounts/user_manager.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <memory>
#include <set>
#include <tuple>

#include "accounts/accounts_sim.h"
#include "accounts/password_vectors_test.h"
#include "logging/log_records_test.h"
#include "logging/logs.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "settings/settings_migration.h"
#include "settings/share_settings.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

using dv::testing::TempFolder;

TEST(Passwords, Md5FollowsRfc1321) {
    for (const auto& c : dv::testing::kRfc1321Suite) EXPECT_EQ(HashMD5(c.input), c.md5) << ToUtf8(c.input);
}

TEST(Passwords, DerivedPasswordsAreStable) {
    TempFolder folder;
    TApplicationSettings settings(folder.File(u"Settings.ini"));
    TSimAccounts sim;
    TUserManager users(sim, settings);
    for (const auto& c : dv::testing::kDerivedPasswords) {
        EXPECT_EQ(DerivePassword(c.salt), c.password) << ToUtf8(c.salt);
        EXPECT_EQ(users.MakePassword(std::u16string(c.salt)), c.password) << ToUtf8(c.salt);
    }
}

TEST(Passwords, SettingsTakenOverFromAnEarlierVersionKeepEveryPassword) {
    // A person's file of an earlier version, with the seed under the current key or the older one.
    struct Case {
        const char* name;
        std::string file;
        std::u16string salt;
    };
    const Case cases[] = {
        {"current key",
         "#=== header ====\r\n[General]\r\n RegistrationCode=Qx7pL2mZ9aB4cD8eF1gH3iJ5kL6mN0oP\r\n"
         " RegistrationName=dockvane\r\nAutoStart=False\r\nAutoPlay=1\r\nIsInDomain=0\r\n"
         "[Sounds]\r\nAvailable=C:\\Media\\a.wav\r\nDone=Silent (no sound)\r\n",
         u"Qx7pL2mZ9aB4cD8eF1gH3iJ5kL6mN0oP"},
        {"older key", "[General]\r\nAppIcon=31337\r\nAutoPlay=0\r\n", u"31337"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder appData;
        TempFolder machine;
        TempFolder logs;
        dv::testing::ScopedAppLogFolder appLog{logs.Path()};
        std::filesystem::create_directory(appData.path() / "Velmora");
        dv::testing::WriteBytes(appData.path() / "Velmora" / "Settings.ini", c.file);
        TApplicationSettings before(appData.File(u"Velmora\\Settings.ini"));
        before.Load();
        ASSERT_EQ(before.FPasswordSalt, c.salt);

        TApplicationSettings after(GetSettingsFileName(machine.Path(), UserSettingsFiles({appData.Path()})));
        after.Load();
        TSimAccounts sim;
        TUserManager users(sim, after);
        EXPECT_EQ(users.MakePassword(after.FPasswordSalt), users.MakePassword(c.salt));
        const auto values = [](const TApplicationSettings& settings) {
            return std::tuple(settings.FPasswordSalt, settings.FDefaultShareUserName, settings.FAutoStart,
                              settings.FAutoPlay, settings.FIsInDomain, settings.FSoundBackupAvailable,
                              settings.FSoundBackupDone);
        };
        EXPECT_EQ(values(after), values(before));
        // Every key, also those this version does not read, byte for byte.
        EXPECT_EQ(dv::testing::ReadBytes(machine.path() / "Settings.ini"), c.file);
        EXPECT_EQ(dv::testing::LogRecords(logs.File(u"Velmora.log")),
                  (std::vector<std::u16string>{u" Settings| taken over from " + appData.Path() +
                                               u"\\Velmora\\Settings.ini"}));
    }
}

TEST(Passwords, Base64FollowsRfc2045) {
    const struct {
        std::u16string_view in;
        std::u16string_view out;
    } cases[] = {{u"", u""},        {u"f", u"Zg=="},          {u"fo", u"Zm8="},
                 {u"foo", u"Zm9v"}, {u"foobar", u"Zm9vYmFy"}, {u"\u00FF\u00FE\u00FD", u"//79"}};
    for (const auto& c : cases) EXPECT_EQ(Base64Encode(c.in), c.out) << ToUtf8(c.in);
    // 57 bytes fill one 76-character line exactly; one more starts a second line.
    EXPECT_EQ(Base64Encode(std::u16string(57, u'a')).find(u'\n'), std::u16string::npos);
    const std::u16string twoLines = Base64Encode(std::u16string(58, u'a'));
    EXPECT_EQ(twoLines.substr(76, 2), u"\r\n");
    EXPECT_EQ(twoLines.size(), 76u + 2 + 4);
}

TEST(Passwords, DerivedPasswordsAreTwelveBase64Characters) {
    const std::u16string alphabet = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::u16string salt;
    for (int i = 0; i < 200; ++i) {
        const std::u16string password = DerivePassword(salt);
        ASSERT_EQ(password.size(), 12u) << i;
        EXPECT_EQ(password.find_first_not_of(alphabet), std::u16string::npos) << i;
        salt.push_back(static_cast<char16_t>(u'0' + i % 10));
    }
}

TEST(Passwords, ScramblingFlipsTheLowBitOfTheLowByte) {
    EXPECT_EQ(EncodePassword(u"abc"), u"\u0060cb");
    EXPECT_EQ(EncodePassword(u"\u0141x"), u"\u0040y");  // the high byte is lost
    EXPECT_EQ(EncodePassword(u""), u"");
    std::u16string every;
    for (char16_t c = 0; c <= 0xFF; ++c) every.push_back(c);
    EXPECT_EQ(DecodePassword(EncodePassword(every)), every);
}

TEST(AccountNames, PerDriveNamesFromShareNames) {
    const struct {
        std::u16string_view share;
        std::u16string_view user;
    } cases[] = {
        {u"", u"extdisk_"},
        {u"MyBackupDrive2014Archive", u"extdisk_mybackupdriv"},
        {u"Photos", u"extdisk_photos"},
        {u"AZaz09_-", u"extdisk_azaz09_-"},
        {u"\u00C4RGER", u"extdisk_\u00C4rger"},  // only A-Z change case
        // A character outside the basic plane is kept whole or not at all.
        {u"ABCDEFGHIJK\U0001F4BE", u"extdisk_abcdefghijk"},
        {u"ABCDEFGHIJ\U0001F4BEZ", u"extdisk_abcdefghij\U0001F4BE"},
    };
    for (const auto& c : cases) EXPECT_EQ(GenerateUserNameByShareName(c.share), c.user) << ToUtf8(c.share);
}

class UserManagerTest : public ::testing::Test {
protected:
    UserManagerTest() : settings(folder.File(u"Settings.ini")), users(sim, settings) {
        settings.FDefaultShareUserName = u"dockvane";
        settings.FPasswordSalt = u"01234567890123456789012345678901";
    }
    ~UserManagerTest() override {
        for (char16_t letter : mapped) fs::MapDrive(letter, u"");
    }

    // A plugged-in drive whose configuration names the account (no file for nothing).
    void PlugDrive(char16_t letter, std::optional<std::u16string> account) {
        drives.push_back(std::make_unique<TempFolder>());
        fs::MapDrive(letter, drives.back()->Path());
        mapped.push_back(letter);
        if (!account) return;
        TShareSettings config(std::u16string(1, letter) + u":\\velmora.conf");
        config.FShareName = u"Share" + std::u16string(1, letter);
        config.FShareUserName = *account;
        config.Save();
    }
    // An account as Dockvane makes them, or, with another comment, as someone else made it.
    void AddUser(const std::u16string& name, const std::u16string& comment = u"Velmora User") {
        TUserInfo1 info;
        info.Name = name;
        info.Password = u"pw";
        info.Comment = comment;
        ASSERT_TRUE(sim.UserAdd1(info).ok());
    }
    bool Exists(const std::u16string& name) const { return sim.FindAccount(name) != nullptr; }

    TempFolder folder;
    TApplicationSettings settings;
    TSimAccounts sim;
    TUserManager users;
    std::vector<std::unique_ptr<TempFolder>> drives;
    std::vector<char16_t> mapped;
};

TEST_F(UserManagerTest, RandomStrGivesEvenlyDrawnDigits) {
    EXPECT_EQ(users.RandomStr(0), u"");
    const std::u16string salt = users.RandomStr(32);
    ASSERT_EQ(salt.size(), 32u);
    EXPECT_EQ(salt.find_first_not_of(u"0123456789"), std::u16string::npos);
    EXPECT_NE(users.RandomStr(32), salt);

    // 20000 digits: each should come about 2000 times; 1700..2300 is over six standard deviations.
    std::array<int, 10> counts{};
    for (char16_t digit : users.RandomStr(20000)) ++counts[digit - u'0'];
    for (int d = 0; d < 10; ++d) {
        EXPECT_GT(counts[d], 1700) << d;
        EXPECT_LT(counts[d], 2300) << d;
    }
}

TEST_F(UserManagerTest, AddsLocalAccountsWithTheFixedRecord) {
    users.UserAdd(u"dockvane", u"Pw123456789a", u"Velmora User");
    TUserInfo1 expected;
    expected.Name = u"dockvane";
    expected.Password = u"Pw123456789a";
    expected.PasswordAge = 0;
    expected.Priv = 1;
    expected.HomeDir = std::nullopt;
    expected.Comment = u"Velmora User";
    expected.Flags = 0x10001;
    expected.ScriptPath = std::nullopt;
    EXPECT_EQ(sim.FindAccount(u"dockvane")->Info, expected);

    sim.MinPasswordLength = 14;  // the local policy refuses the derived password
    try {
        users.UserAdd(u"extdisk_x", u"short", u"Velmora User");
        FAIL();
    } catch (const EOSError& error) {
        EXPECT_EQ(error.ErrorCode(), 2245u);
    }
}

TEST_F(UserManagerTest, ExistsAndDeleteTreatUnknownAccountsAsNoError) {
    EXPECT_FALSE(users.UserExists(u"nobody"));
    EXPECT_NO_THROW(users.UserDelete(u"nobody"));
    AddUser(u"dockvane");
    EXPECT_TRUE(users.UserExists(u"dockvane"));
    users.UserDelete(u"dockvane");
    EXPECT_FALSE(Exists(u"dockvane"));

    sim.Failures["UserGetInfo0"] = TOsStatus::Net(5);
    sim.Failures["UserDel"] = TOsStatus::Net(5);
    EXPECT_THROW((void)users.UserExists(u"dockvane"), EOSError);
    EXPECT_THROW(users.UserDelete(u"dockvane"), EOSError);
}

TEST_F(UserManagerTest, OnlyOwnAccountsAreKeptOffTheSignInScreen) {
    // Made by Dockvane: hidden on creation, shown again only after their deletion.
    users.UserAdd(u"dockvane", u"pw-long-enough", u"Velmora User");
    users.UserAdd(u"extdisk_backup", u"pw-long-enough", u"Velmora User");
    // Someone else's accounts and an entry someone else wrote keep what they have.
    users.UserAdd(u"alice", u"pw-long-enough", u"Velmora User");
    users.UserAdd(u"extdisk_foreign", u"pw-long-enough", u"Someone");
    sim.HiddenFromSignIn.insert(u"alice2");
    EXPECT_EQ(sim.HiddenFromSignIn, (std::set<std::u16string>{u"dockvane", u"extdisk_backup", u"alice2"}));

    users.UserDelete(u"extdisk_backup");
    users.UserDelete(u"alice2");  // no such account: nothing deleted, nothing shown
    EXPECT_EQ(sim.HiddenFromSignIn, (std::set<std::u16string>{u"dockvane", u"alice2"}));

    // A refused entry leaves the account usable and says so in the application log; a refused
    // deletion keeps the entry.
    TempFolder temp;
    testing::ScopedAppLogFolder appLog{temp.Path()};
    sim.Failures["HideFromSignIn"] = TOsStatus::Net(5);
    EXPECT_NO_THROW(users.UserAdd(u"extdisk_other", u"pw-long-enough", u"Velmora User"));
    EXPECT_TRUE(Exists(u"extdisk_other"));
    sim.Failures.erase("HideFromSignIn");
    sim.Failures["ShowOnSignIn"] = TOsStatus::Net(5);
    EXPECT_NO_THROW(users.UserDelete(u"extdisk_other"));
    sim.Failures.erase("ShowOnSignIn");
    sim.Failures["UserDel"] = TOsStatus::Net(5);
    EXPECT_THROW(users.UserDelete(u"dockvane"), EOSError);
    EXPECT_TRUE(sim.HiddenFromSignIn.contains(u"dockvane"));

    std::vector<std::u16string> errors;
    const auto lines = fs::ReadTextLines(temp.File(kAppLogName));
    ASSERT_TRUE(lines);
    for (const std::u16string& line : *lines) {
        const auto record = ParseLogLine(line);
        if (record && record->Title.find(u"ERROR") != std::u16string::npos) errors.push_back(record->Description);
    }
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[0].find(u"Account extdisk_other: not kept off the sign-in screen: "), std::u16string::npos)
        << ToUtf8(errors[0]);
    EXPECT_NE(errors[1].find(u"Account extdisk_other: sign-in screen entry not removed: "), std::u16string::npos)
        << ToUtf8(errors[1]);
}

TEST_F(UserManagerTest, StartUpHidesExistingOwnAccountsOnly) {
    AddUser(u"dockvane");
    AddUser(u"extdisk_old");
    AddUser(u"extdisk_foreign", u"Someone");
    AddUser(u"bob");
    users.HideOwnAccountsFromSignIn();
    EXPECT_EQ(sim.HiddenFromSignIn, (std::set<std::u16string>{u"dockvane", u"extdisk_old"}));
}

TEST_F(UserManagerTest, StartUpGoesOnWhenAnAccountCannotBeAskedAbout) {
    TempFolder temp;
    testing::ScopedAppLogFolder appLog{temp.Path()};
    AddUser(u"dockvane");
    AddUser(u"extdisk_old");
    // Whose account it is cannot be read: it is left alone, and the start-up goes on.
    sim.Failures["UserGetInfo1"] = TOsStatus::Net(5);
    EXPECT_NO_THROW(users.HideOwnAccountsFromSignIn());
    EXPECT_EQ(sim.HiddenFromSignIn, (std::set<std::u16string>{u"dockvane"}));
    const auto lines = fs::ReadTextLines(temp.File(kAppLogName));
    ASSERT_TRUE(lines);
    ASSERT_EQ(lines->size(), 2u);  // the header and one error
    EXPECT_NE(lines->back().find(u"Account extdisk_old: not kept off the sign-in screen: "), std::u16string::npos)
        << ToUtf8(lines->back());
}

TEST_F(UserManagerTest, AnEmptyNameExistsNotAndAsksNothing) {
    sim.Failures["UserGetInfo0"] = TOsStatus::Net(87);
    EXPECT_FALSE(users.UserExists(u""));
    EXPECT_EQ(sim.Calls["UserGetInfo0"], 0);
}

TEST_F(UserManagerTest, ChangePasswordSetsItWhenTheOldOneIsRefused) {
    AddUser(u"dockvane");  // password "pw"
    users.UserChangePassword(u"dockvane", u"pw", u"new1");
    EXPECT_EQ(sim.FindAccount(u"dockvane")->Info.Password, u"new1");
    EXPECT_EQ(sim.Calls["UserSetPassword1003"], 0);

    users.UserChangePassword(u"dockvane", u"wrong", u"new2");
    EXPECT_EQ(sim.FindAccount(u"dockvane")->Info.Password, u"new2");
    EXPECT_EQ(sim.Calls["UserSetPassword1003"], 1);

    EXPECT_NO_THROW(users.UserChangePassword(u"nobody", u"a", u"b"));

    sim.MinPasswordLength = 10;  // the fallback's own failure is the one raised
    try {
        users.UserChangePassword(u"dockvane", u"wrong", u"new3");
        FAIL();
    } catch (const EOSError& error) {
        EXPECT_EQ(error.ErrorCode(), 2245u);
    }
}

TEST_F(UserManagerTest, UserListKeepsTheApplicationsAccountsDefaultFirst) {
    for (const char16_t* name : {u"extdisk_photos", u"dockvane", u"Extdisk_old", u"DOCKVANE2"}) AddUser(name);
    sim.EnumBatchSize = 2;  // several batches
    EXPECT_EQ(users.GetDockvaneUserList(), (std::vector<std::u16string>{u"dockvane", u"extdisk_photos"}));

    settings.FIsInDomain = 1;
    settings.FDefaultShareUserName = u"CORP\\backup";
    EXPECT_EQ(users.GetDockvaneUserList(),
              (std::vector<std::u16string>{u"CORP\\backup", u"extdisk_photos", u"dockvane"}));

    // A default account that exists locally under another case is moved, not added twice.
    settings.FDefaultShareUserName = u"EXTDISK_PHOTOS";
    EXPECT_EQ(users.GetDockvaneUserList(), (std::vector<std::u16string>{u"extdisk_photos", u"dockvane"}));
}

TEST_F(UserManagerTest, UserListIsTheSameHoweverTheSystemPagesIt) {
    // The built-in groups sit between the built-in users and these: small batches over the groups
    // alone bring "more data" with no entries, and the enumeration must go on past them.
    for (const char16_t* name : {u"extdisk_photos", u"dockvane", u"extdisk_music"}) AddUser(name);
    const std::vector<std::u16string> whole{u"dockvane", u"extdisk_photos", u"extdisk_music"};
    for (std::size_t size = 1; size <= sim.Accounts.size() + 1; ++size) {
        sim.EnumBatchSize = size;
        EXPECT_EQ(users.GetDockvaneUserList(), whole) << size;
    }
}

TEST_F(UserManagerTest, UserListEndsSilentlyWhenEnumerationFails) {
    AddUser(u"dockvane");
    // A refusal, and "more data" that never moves on, both end the list with what it holds.
    for (const std::uint32_t code : {124u, kErrorMoreData}) {
        sim.Failures["UserEnum1"] = TOsStatus::Net(code);
        settings.FIsInDomain = 0;
        settings.FDefaultShareUserName = u"dockvane";
        EXPECT_TRUE(users.GetDockvaneUserList().empty()) << code;
        settings.FIsInDomain = 1;
        settings.FDefaultShareUserName = u"CORP\\backup";
        EXPECT_EQ(users.GetDockvaneUserList(), std::vector<std::u16string>{u"CORP\\backup"}) << code;
    }
}

TEST_F(UserManagerTest, CreatesAMissingPerDriveAccountWithItsOwnPassword) {
    AddUser(u"extdisk_old");
    const struct {
        const char16_t* name;
        int domain;
        bool result;
        bool created;
    } cases[] = {
        {u"", 0, false, false},           {u"dockvane", 0, false, false},   {u"DOCKVANE", 0, false, false},
        {u"DockVane", 1, false, false},   {u"extdisk_old", 0, true, false}, {u"extdisk_new", 1, true, false},
        {u"extdisk_new", 2, true, false},  // any value but 0 counts as domain mode here
        {u"extdisk_new", 0, false, true},
    };
    for (const auto& c : cases) {
        settings.FIsInDomain = c.domain;
        const bool existed = Exists(c.name);
        EXPECT_EQ(users.ChekToManualUserCreate(c.name, settings.FPasswordSalt), c.result) << ToUtf8(c.name);
        EXPECT_EQ(!existed && Exists(c.name), c.created) << ToUtf8(c.name);
    }
    const auto* created = sim.FindAccount(u"extdisk_new");
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->Info.Password, DerivePassword(settings.FPasswordSalt + u"extdisk_new"));
    EXPECT_EQ(created->Info.Comment, u"Velmora User");
    EXPECT_FALSE(Exists(u"dockvane"));
}

TEST_F(UserManagerTest, ASharedPerDriveAccountStaysUntilItsLastDriveLeaves) {
    AddUser(u"extdisk_shared");
    PlugDrive(u'E', u"extdisk_shared");
    PlugDrive(u'F', u"EXTDISK_SHARED");
    EXPECT_EQ(users.GetAttachedUserList({u"E", u"F", u"Z"}),
              (std::vector<std::u16string>{u"extdisk_shared", u"EXTDISK_SHARED"}));

    EXPECT_FALSE(users.ChekToManualUserDelete(u"E", {u"E", u"F"}));
    EXPECT_TRUE(Exists(u"extdisk_shared"));
    EXPECT_TRUE(users.ChekToManualUserDelete(u"F", {u"F"}));
    EXPECT_FALSE(Exists(u"extdisk_shared"));
    EXPECT_FALSE(users.ChekToManualUserDelete(u"F", {}));  // already gone
}

TEST_F(UserManagerTest, TheMasterAccountIsNeverDeletedWithADrive) {
    AddUser(u"dockvane");
    PlugDrive(u'G', u"dockvane");
    EXPECT_FALSE(users.ChekToManualUserDelete(u"G", {u"G"}));
    // Even when the default account is another one (domain mode), the literal name is protected.
    settings.FDefaultShareUserName = u"CORP\\backup";
    EXPECT_FALSE(users.ChekToManualUserDelete(u"G", {}));
    EXPECT_TRUE(Exists(u"dockvane"));
}

TEST_F(UserManagerTest, ADriveLeavingDeletesOnlyAccountsDockvaneMade) {
    AddUser(u"dockvane");
    AddUser(u"john", u"");
    AddUser(u"extdisk_admin", u"Made by the administrator");  // the prefix alone makes no account Dockvane's
    AddUser(u"EXTDISK_Photos", u"velmora user");              // Dockvane's, whatever the case
    AddUser(u"mallory");                                      // the comment alone neither
    const struct {
        const char16_t* named;  // what the leaving drive's file says
        const char16_t* account;
        bool deleted;
    } cases[] = {
        {u"john", u"john", false},
        {u"Administrator", u"Administrator", false},
        {u"DOCKVANE", u"dockvane", false},
        {u"Dockvane", u"dockvane", false},
        {u"extdisk_admin", u"extdisk_admin", false},
        {u"mallory", u"mallory", false},
        {u"extdisk_photos", u"EXTDISK_Photos", true},
    };
    char16_t letter = u'K';
    for (const auto& c : cases) {
        PlugDrive(letter, std::u16string(c.named));
        EXPECT_EQ(users.ChekToManualUserDelete(std::u16string(1, letter), {std::u16string(1, letter)}), c.deleted)
            << ToUtf8(c.named);
        EXPECT_EQ(Exists(c.account), !c.deleted) << ToUtf8(c.named);
        ++letter;
    }
    EXPECT_EQ(sim.FindAccount(u"john")->Info.Password, u"pw");

    // When the comment cannot be read, nothing is deleted.
    AddUser(u"extdisk_unread");
    PlugDrive(letter, std::u16string(u"extdisk_unread"));
    sim.Failures["UserGetInfo1"] = TOsStatus::Net(5);
    EXPECT_THROW((void)users.ChekToManualUserDelete(std::u16string(1, letter), {}), EOSError);
    EXPECT_TRUE(Exists(u"extdisk_unread"));
}

TEST_F(UserManagerTest, AnotherAccountForADriveDeletesOnlyAccountsDockvaneMade) {
    AddUser(u"dockvane");
    AddUser(u"john", u"");
    AddUser(u"extdisk_admin", u"");
    AddUser(u"extdisk_old");
    for (const char16_t* name : {u"john", u"DOCKVANE", u"Administrator", u"Guest", u"extdisk_admin", u"Everyone"}) {
        EXPECT_FALSE(users.ChekToManualUserDeleteByuserName(name, {})) << ToUtf8(name);
        EXPECT_TRUE(Exists(name)) << ToUtf8(name);
    }
    EXPECT_TRUE(users.ChekToManualUserDeleteByuserName(u"Extdisk_Old", {}));
    EXPECT_FALSE(Exists(u"extdisk_old"));
}

TEST_F(UserManagerTest, AnUnpluggedDriveDeletesNothingAndAsksNothing) {
    AddUser(u"extdisk_shared");
    PlugDrive(u'E', u"extdisk_shared");
    PlugDrive(u'H', std::nullopt);  // no configuration file
    EXPECT_FALSE(users.ChekToManualUserDelete(u"Q", {u"E", u"Q"}));
    EXPECT_FALSE(users.ChekToManualUserDelete(u"H", {u"E", u"H"}));
    EXPECT_EQ(sim.Calls["UserGetInfo0"], 0);
    EXPECT_TRUE(Exists(u"extdisk_shared"));
}

TEST_F(UserManagerTest, DeletingByNameSparesTheDefaultAndAccountsStillNamed) {
    AddUser(u"extdisk_shared");
    AddUser(u"extdisk_free");
    PlugDrive(u'E', u"extdisk_shared");
    EXPECT_FALSE(users.ChekToManualUserDeleteByuserName(u"extdisk_SHARED", {u"E"}));
    EXPECT_TRUE(users.ChekToManualUserDeleteByuserName(u"extdisk_free", {u"E"}));
    EXPECT_FALSE(Exists(u"extdisk_free"));
    EXPECT_FALSE(users.ChekToManualUserDeleteByuserName(u"nobody", {u"E"}));

    settings.FIsInDomain = 1;
    settings.FDefaultShareUserName = u"extdisk_shared";  // a domain account of that name
    EXPECT_FALSE(users.ChekToManualUserDeleteByuserName(u"extdisk_shared", {}));
    EXPECT_TRUE(Exists(u"extdisk_shared"));
}

TEST_F(UserManagerTest, DomainModePasswordsComeBackAsEntered) {
    settings.FIsInDomain = 1;
    for (const char16_t* password : {u"", u"S3cret!", u"caf\u00E9 \u00FF"}) {
        EXPECT_EQ(users.MakePassword(users.SaltPassword(password)), password) << ToUtf8(password);
    }
    // Beyond U+00FF the high byte is lost on the way.
    EXPECT_EQ(users.MakePassword(users.SaltPassword(u"\u20AC")), u"\u00AC");
}

}  // namespace
}  // namespace dv
