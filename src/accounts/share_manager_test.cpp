#include "accounts/share_manager.h"

#include <vector>

#include <gtest/gtest.h>

#include "accounts/accounts_sim.h"
#include "platform/text.h"

namespace dv {
namespace {

struct LogLine {
    std::u16string title;
    std::u16string text;
    bool operator==(const LogLine&) const = default;
};

class ShareManagerTest : public ::testing::Test {
protected:
    ShareManagerTest() {
        TUserInfo1 user;
        user.Name = u"extdisk_photos";
        user.Password = u"secret";
        EXPECT_TRUE(sim.UserAdd1(user).ok());
        account = sim.FindAccount(u"extdisk_photos")->Sid;
        // A drive root as NTFS gives it: inherited entries only.
        TAcl root;
        root.Aces = {TAce::Allowed(AdministratorsSid(), 0x1F01FF, kInheritedAce | 0x03),
                     TAce::Allowed(TSid::Make(5, {32, 545}), 0x1200A9, kInheritedAce | 0x03)};
        sim.AddFolder(u"E:\\", root);
        sim.Calls.clear();
    }

    TSimAccounts sim;
    std::vector<LogLine> log;
    TShareManager manager{sim,
                          {[this](std::u16string_view text) {
                               log.push_back({u"ERROR ", std::u16string(text)});
                           },
                           [this](std::u16string_view title, std::u16string_view text) {
                               log.push_back({std::u16string(title), std::u16string(text)});
                           }}};
    TSid account;

    int SystemCalls() const {
        int calls = 0;
        for (const auto& [name, count] : sim.Calls) calls += count;
        return calls;
    }
    const TShareInfo502& Share(const std::u16string& name) { return sim.Shares.at(UpperCase(name)); }
};

TEST_F(ShareManagerTest, CreatesAPermanentDiskShareThatGrantsNothing) {
    manager.ShareCreate(u"Photos", u"Holiday photos", u"E:\\", true);
    TShareInfo502 expected;
    expected.NetName = u"Photos";
    expected.Type = 0;
    expected.Remark = u"Holiday photos";
    expected.Permissions = 2;
    expected.MaxUses = 4;
    expected.CurrentUses = 0;
    expected.Path = u"E:\\";
    expected.Passwd = std::nullopt;
    expected.Reserved = 0;
    expected.SecurityDescriptor = ShareCreationDescriptor();
    EXPECT_EQ(Share(u"Photos"), expected);
    EXPECT_TRUE(manager.ShareExists(u"Photos"));
    EXPECT_TRUE(manager.ShareExists(u"PHOTOS"));
    EXPECT_EQ(sim.ShellNotifications, std::vector<std::u16string>{u"E:\\"});
    EXPECT_TRUE(log.empty());
}

TEST_F(ShareManagerTest, CreatingAnExistingShareReplacesItOnlyForTheSameFolder) {
    // Left by an earlier attach of the same drive: replaced, its rights gone with it.
    manager.ShareCreate(u"Photos", u"old", u"E:\\", false);
    ASSERT_TRUE(manager.ShareAddAccesRights(u"Photos", u"extdisk_photos", kGenericAll));
    manager.ShareCreate(u"PHOTOS", u"new", u"e:\\", false);
    EXPECT_EQ(Share(u"Photos").Remark, u"new");
    EXPECT_EQ(Share(u"Photos").Path, u"e:\\");
    EXPECT_EQ(Share(u"Photos").SecurityDescriptor, ShareCreationDescriptor());
    EXPECT_EQ(sim.Calls["ShareDel"], 1);
    EXPECT_TRUE(log.empty());

    // Someone else's share of that name: left as it is, and nothing is created.
    const TShareInfo502 foreign = Share(u"Photos");
    manager.ShareCreate(u"Photos", u"mine", u"F:\\", false);
    EXPECT_EQ(Share(u"Photos"), foreign);
    EXPECT_EQ(sim.Calls["ShareDel"], 1);
    EXPECT_EQ(sim.Calls["ShareAdd502"], 2);
    EXPECT_EQ(log, (std::vector<LogLine>{{u"ERROR ",
                                          u"Class:TShareManager Method:ShareCreate  The share name "
                                          u"\"Photos\" is in use for e:\\; not replaced by one for F:\\"}}));
}

TEST_F(ShareManagerTest, UnsharingRemovesAShareOnlyWhileItPointsAtTheFolder) {
    manager.ShareCreate(u"Photos", u"d", u"E:\\", false);
    EXPECT_EQ(manager.SharePath(u"photos"), u"E:\\");
    EXPECT_EQ(manager.SharePath(u"Nothing"), std::nullopt);
    manager.ShareDeleteAt(u"Photos", u"F:\\");
    EXPECT_TRUE(manager.ShareExists(u"Photos"));
    manager.ShareDeleteAt(u"Photos", u"e:\\");
    EXPECT_FALSE(manager.ShareExists(u"Photos"));
    manager.ShareDeleteAt(u"Photos", u"E:\\");  // gone already: nothing to say
    manager.ShareDeleteAt(u"", u"E:\\");
    EXPECT_TRUE(log.empty());

    // A share whose record cannot be read points nowhere Dockvane knows: it stays.
    manager.ShareCreate(u"Photos", u"d", u"E:\\", false);
    sim.Failures["ShareGetInfo502"] = TOsStatus::Net(5);
    EXPECT_EQ(manager.SharePath(u"Photos"), u"");
    manager.ShareDeleteAt(u"Photos", u"E:\\");
    EXPECT_TRUE(manager.ShareExists(u"Photos"));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].text,
              u"Class:TShareManager Method:SharePath  Type:EOSErrorSystem Error.  Code: 5.\r\nAccess is denied");
}

TEST_F(ShareManagerTest, EmptyShareNamesTouchNothing) {
    manager.ShareCreate(u"", u"d", u"E:\\", false);
    manager.ShareDelete(u"");
    EXPECT_FALSE(manager.ShareExists(u""));
    EXPECT_FALSE(manager.SetAccesRights(u"E:\\", u"", u"extdisk_photos"));
    EXPECT_FALSE(manager.ShareAddAccesRights(u"", u"extdisk_photos", kGenericAll));
    EXPECT_FALSE(manager.ShareAddAccesRights(u"Photos", u"", kGenericAll));
    EXPECT_EQ(SystemCalls(), 0);
    EXPECT_TRUE(sim.ShellNotifications.empty());
    EXPECT_TRUE(log.empty());
}

TEST_F(ShareManagerTest, AFailedCreationIsLoggedAndStillNotifiesTheShell) {
    sim.Failures["ShareAdd502"] = TOsStatus::Net(50);
    manager.ShareCreate(u"Photos", u"d", u"E:\\", false);
    EXPECT_FALSE(manager.ShareExists(u"Photos"));
    ASSERT_EQ(log.size(), 1u);  // the unknown share is no error of its own
    EXPECT_EQ(log[0], (LogLine{u"ERROR ",
                               u"Class:TShareManager Method:ShareCreate  Type:EOSError"
                               u"System Error.  Code: 50.\r\nThe request is not supported"}));
    EXPECT_EQ(sim.ShellNotifications.size(), 1u);
}

TEST_F(ShareManagerTest, AFailedDescriptorIsALastError) {
    sim.Failures["ShareAdd502"] = TOsStatus::Last(1337);
    manager.ShareCreate(u"Photos", u"d", u"E:\\", false);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text,
              u"Class:TShareManager Method:ShareCreate  Type:EOSError"
              u"System Error.  Code: 1337.\r\nThe security ID structure is invalid");
}

TEST_F(ShareManagerTest, ExistsAndDeleteLogOnlyRealFailures) {
    EXPECT_FALSE(manager.ShareExists(u"Nothing"));
    manager.ShareDelete(u"Nothing");
    EXPECT_TRUE(log.empty());

    sim.Failures["ShareGetInfo0"] = TOsStatus::Net(5);
    sim.Failures["ShareDel"] = TOsStatus::Net(5);
    EXPECT_FALSE(manager.ShareExists(u"Photos"));
    manager.ShareDelete(u"Photos");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].text,
              u"Class:TShareManager Method:ShareExists Type:EOSErrorSystem Error.  Code: 5.\r\nAccess is denied");
    EXPECT_EQ(log[1].text,
              u"Class:TShareManager Method:ShareDelete  Type:EOSErrorSystem Error.  Code: 5.\r\nAccess is denied");
}

// The encryption flag goes in beside the share's other flags; a refusal leaves the share as it was,
// with one line in the log.
TEST_F(ShareManagerTest, EncryptionKeepsTheOtherFlagsAndARefusalLeavesTheShare) {
    constexpr std::uint32_t kAccessBasedEnumeration = 0x0800;
    const struct {
        const char* name;
        std::uint32_t flags;    // the share's flags before
        std::uint32_t unknown;  // flags the server refuses
        const char* failing;    // an operation that fails with access denied, or none
        bool encrypted;
        std::uint32_t after;
        int sets;  // NetShareSetInfo calls at level 1005
        std::u16string logged;
    } cases[] = {
        {"no flags yet", 0, 0, nullptr, true, 0x8000, 1, u""},
        {"other flags kept", kAccessBasedEnumeration, 0, nullptr, true, 0x8800, 1, u""},
        {"already encrypted: nothing to change", 0x8800, 0, nullptr, true, 0x8800, 0, u""},
        {"a server before SMB 3 refuses the flag", kAccessBasedEnumeration, 0x8000, nullptr, false,
         kAccessBasedEnumeration, 1,
         u"Class:TShareManager Method:ShareSetEncryption  Type:EOSErrorSystem Error.  Code: 87.\r\n"
         u"The parameter is incorrect"},
        {"the flags cannot be read: nothing is set", kAccessBasedEnumeration, 0, "ShareGetInfo1005", false,
         kAccessBasedEnumeration, 0,
         u"Class:TShareManager Method:ShareSetEncryption  Type:EOSErrorSystem Error.  Code: 5.\r\nAccess is denied"},
        {"the change is refused", 0, 0, "ShareSetInfo1005", false, 0, 1,
         u"Class:TShareManager Method:ShareSetEncryption  Type:EOSErrorSystem Error.  Code: 5.\r\nAccess is denied"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim.Shares.clear();
        sim.Failures.clear();
        log.clear();
        manager.ShareCreate(u"Photos", u"d", u"E:\\", false);
        ASSERT_TRUE(sim.ShareSetInfo1005(u"Photos", c.flags).ok());
        sim.UnknownShareFlags = c.unknown;
        if (c.failing) sim.Failures[c.failing] = TOsStatus::Net(5);
        sim.Calls.clear();
        const TShareInfo502 before = Share(u"Photos");

        EXPECT_EQ(manager.ShareSetEncryption(u"photos"), c.encrypted);
        EXPECT_EQ(sim.ShareFlags[u"PHOTOS"], c.after);
        EXPECT_EQ(sim.Calls["ShareSetInfo1005"], c.sets);
        EXPECT_EQ(Share(u"Photos"), before);  // the share itself stays as it was
        if (c.logged.empty()) {
            EXPECT_TRUE(log.empty());
        } else {
            EXPECT_EQ(log, (std::vector<LogLine>{{u"ERROR ", c.logged}}));
        }
    }

    // No share name, no call; and a share made anew over an encrypted one starts without the flag.
    sim.Failures.clear();
    sim.Calls.clear();
    EXPECT_FALSE(manager.ShareSetEncryption(u""));
    EXPECT_EQ(SystemCalls(), 0);
    sim.UnknownShareFlags = 0;
    ASSERT_TRUE(manager.ShareSetEncryption(u"Photos"));
    manager.ShareCreate(u"Photos", u"d", u"E:\\", false);
    EXPECT_FALSE(sim.ShareFlags.contains(u"PHOTOS"));
}

TEST_F(ShareManagerTest, DomainMembershipIsTheDomainJoinStatusOnly) {
    const struct {
        std::uint32_t status;
        bool inDomain;
    } cases[] = {{0, false}, {1, false}, {2, false}, {3, true}};
    for (const auto& c : cases) {
        sim.JoinStatus = c.status;
        EXPECT_EQ(manager.IsComputerInDomain(), c.inDomain) << c.status;
    }
    sim.Failures["GetJoinInformation"] = TOsStatus::Net(5);
    EXPECT_FALSE(manager.IsComputerInDomain());
}

TEST_F(ShareManagerTest, GrantsTheAccountFullRightsOnShareAndFolder) {
    manager.ShareCreate(u"Photos", u"d", u"E:\\", false);
    ASSERT_TRUE(manager.SetAccesRights(u"E:\\", u"Photos", u"extdisk_photos"));

    std::vector<TAce> share = ShareCreationDescriptor().Dacl->Aces;
    share.push_back(TAce::Allowed(account, kGenericAll));
    EXPECT_EQ(Share(u"Photos").SecurityDescriptor.Dacl->Aces, share);

    // The second folder pass replaced the first pass's entry: one explicit entry, before the inherited.
    const std::vector<TAce>& folder = sim.Folders.at(u"E:\\").Dacl->Aces;
    ASSERT_EQ(folder.size(), 3u);
    EXPECT_EQ(folder[0], TAce::Allowed(account, kGenericAll));
    EXPECT_TRUE(folder[1].IsInherited());
    EXPECT_EQ(sim.Calls["SetFileDacl"], 2);
    EXPECT_TRUE(log.empty());
}

TEST_F(ShareManagerTest, OpensDrivesOnlyToOneAccountOrASmallGroup) {
    sim.AddAccount(u"CORP\\Backup Team", TSid::Make(5, {21, 4, 5, 6, 1200}), TSidNameUse::Group);
    sim.AddAccount(u"CORP\\Domain Users", TSid::Make(5, {21, 4, 5, 6, 513}), TSidNameUse::Group);
    sim.AddAccount(u"SYSTEM", TSid::Make(5, {18}), TSidNameUse::WellKnownGroup);
    manager.ShareCreate(u"Photos", u"d", u"E:\\", false);
    const TSecurityDescriptor shareBefore = Share(u"Photos").SecurityDescriptor;
    const TSecurityDescriptor folderBefore = sim.Folders.at(u"E:\\");
    // Names a drive's configuration file or the domain user dialog may carry.
    for (const char16_t* name : {u"nobody", u"", u"Everyone", u"Users", u"Administrators", u"Guest", u"GUEST",
                                 u"CORP\\Domain Users", u"SYSTEM"}) {
        EXPECT_FALSE(manager.SetAccesRights(u"E:\\", u"Photos", name)) << ToUtf8(name);
    }
    EXPECT_EQ(Share(u"Photos").SecurityDescriptor, shareBefore);
    EXPECT_EQ(sim.Folders.at(u"E:\\"), folderBefore);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(manager.SetAccesRights(u"E:\\", u"Photos", u"Administrator"));
    // A small domain group: the caller allows groups only in a domain.
    EXPECT_TRUE(manager.SetAccesRights(u"E:\\", u"Photos", u"CORP\\Backup Team"));
}

TEST_F(ShareManagerTest, RefusalsSayWhatIsWrongWithTheAccount) {
    sim.AddAccount(u"CORP\\Backup Team", TSid::Make(5, {21, 4, 5, 6, 1200}), TSidNameUse::Group);
    sim.AddAccount(u"CORP\\Domain Users", TSid::Make(5, {21, 4, 5, 6, 513}), TSidNameUse::Group);
    sim.AddAccount(u"CORP\\Guest", TSid::Make(5, {21, 4, 5, 6, 501}), TSidNameUse::User);
    sim.AddAccount(u"SYSTEM", TSid::Make(5, {18}), TSidNameUse::WellKnownGroup);
    const std::u16string onlyOne = u"; Dockvane opens a drive only to one account or a small group";
    const struct {
        const char16_t* name;
        bool domain;
        std::u16string refusal;  // empty: none
    } cases[] = {
        {u"extdisk_photos", false, u""},
        {u"Administrator", false, u""},
        {u"nobody", false, u""},  // not resolved: the grant itself fails and says so
        {u"Everyone", false, u"Everyone is a group that many people belong to" + onlyOne},
        {u"everyone", true, u"everyone is a group that many people belong to" + onlyOne},
        {u"Users", false, u"Users is a group that many people belong to" + onlyOne},
        {u"CORP\\Domain Users", true, u"CORP\\Domain Users is a group that many people belong to" + onlyOne},
        {u"Guest", false, u"Guest is the guest account, which anybody may use" + onlyOne},
        {u"CORP\\Guest", true, u"CORP\\Guest is the guest account, which anybody may use" + onlyOne},
        {u"Administrators", false,
         u"Administrators is a group; outside a domain Dockvane opens a drive only to one user account"},
        {u"CORP\\Backup Team", false,
         u"CORP\\Backup Team is a group; outside a domain Dockvane opens a drive only to one user account"},
        {u"CORP\\Backup Team", true, u""},
        {u"Administrators", true,
         u"Administrators is a group of this computer; in a domain Dockvane opens a drive only to one account or "
         u"one domain group"},
        {u"SYSTEM", false, u"SYSTEM is not the account of a person or a group of people" + onlyOne},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(manager.ShareAccountRefusal(c.name, c.domain).value_or(u""), c.refusal)
            << ToUtf8(c.name) << (c.domain ? " in a domain" : "");
    }
    EXPECT_TRUE(log.empty());
}

TEST_F(ShareManagerTest, AStepThatFailsIsLoggedAndTheOthersStillRun) {
    // No share of that name: the share step fails, both folder passes run.
    ASSERT_TRUE(manager.SetAccesRights(u"E:\\", u"Photos", u"extdisk_photos"));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], (LogLine{u"ERROR ",
                               u"Class:TShareManager Method:ShareAddAccesRights  Type:EOSError"
                               u"System Error.  Code: 2310.\r\nThis shared resource does not exist"}));
    EXPECT_EQ(sim.Folders.at(u"E:\\").Dacl->Aces[0], TAce::Allowed(account, kGenericAll));
}

TEST_F(ShareManagerTest, AShareReadThatFailedWithoutACodeIsLogged) {
    // An invalid share descriptor is reported by a check that sets no last error of its own.
    manager.ShareCreate(u"Photos", u"d", u"E:\\", false);
    sim.Failures["ShareGetInfo502"] = TOsStatus::Last(0);
    EXPECT_FALSE(manager.ShareAddAccesRights(u"Photos", u"extdisk_photos", kGenericAll));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], (LogLine{u"ERROR ",
                               u"Class:TShareManager Method:ShareAddAccesRights  Type:EOSError"
                               u"A call to an OS function failed"}));
}

TEST_F(ShareManagerTest, FolderFailuresGoToTheApplicationLogUnderTheirOwnTitle) {
    EXPECT_FALSE(manager.FileAddAccesRights(u"G:\\", u"extdisk_photos", kGenericAll));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], (LogLine{u"ERROR",
                               u"Class:TShareManager Method:FileAddAccesRights  Type:EOSError"
                               u"System Error.  Code: 2.\r\nThe system cannot find the file specified"}));
}

TEST_F(ShareManagerTest, WithoutADaclNothingChanges) {
    manager.ShareCreate(u"Photos", u"d", u"F:\\", false);
    sim.AddFolder(u"F:\\", std::nullopt);         // FAT: no DACL at all
    sim.Folders[u"N:\\"] = {true, std::nullopt};  // a null DACL
    sim.Shares.at(u"PHOTOS").SecurityDescriptor = {true, std::nullopt};
    EXPECT_FALSE(manager.FileAddAccesRights(u"F:\\", u"extdisk_photos", kGenericAll));
    EXPECT_FALSE(manager.FileAddAccesRights(u"N:\\", u"extdisk_photos", kGenericAll));
    EXPECT_FALSE(manager.ShareAddAccesRights(u"Photos", u"extdisk_photos", kGenericAll));
    EXPECT_TRUE(manager.SetAccesRights(u"F:\\", u"Photos", u"extdisk_photos"));
    EXPECT_EQ(sim.Calls["SetFileDacl"], 0);
    EXPECT_EQ(sim.Calls["ShareSetInfo502"], 0);
    EXPECT_FALSE(sim.Folders.at(u"F:\\").DaclPresent);
    EXPECT_TRUE(log.empty());
}

TEST_F(ShareManagerTest, ShareRecordIsWrittenBackWithOnlyItsDaclChanged) {
    TShareInfo502 info;
    info.NetName = u"Backup";
    info.Remark = u"kept";
    info.Permissions = 2;
    info.MaxUses = 4;
    info.CurrentUses = 3;
    info.Path = u"E:\\";
    TAcl dacl;
    dacl.Aces = {TAce::Allowed(account, 0x1200A9), TAce::Denied(EveryoneSid(), 0x40000)};
    info.SecurityDescriptor = {true, dacl};
    sim.Shares[u"BACKUP"] = info;

    ASSERT_TRUE(manager.ShareAddAccesRights(u"Backup", u"extdisk_photos", kGenericAll));
    TShareInfo502 expected = info;
    expected.SecurityDescriptor = {true, ShareAddAce(dacl, account, kGenericAll)};
    EXPECT_EQ(Share(u"Backup"), expected);
    EXPECT_EQ(Share(u"Backup").SecurityDescriptor.Dacl->Aces.size(), 3u);  // the earlier entry stays
}

TEST_F(ShareManagerTest, AnAccountThatDoesNotResolveLeavesTheRightsOperations) {
    manager.ShareCreate(u"Photos", u"d", u"E:\\", false);
    EXPECT_THROW((void)manager.ShareAddAccesRights(u"Photos", u"nobody", kGenericAll), EOSError);
    EXPECT_THROW((void)manager.FileAddAccesRights(u"E:\\", u"nobody", kGenericAll), EOSError);
    EXPECT_TRUE(log.empty());
}

}  // namespace
}  // namespace dv
