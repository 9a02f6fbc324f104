// The Windows side of shares and accounts against the system's own libraries: passwords through
// BCrypt and the system's random generator, the texts of network error codes, an account made,
// changed and deleted through Wine's netapi32 (no stand-in lies beside this program), account lookup,
// security descriptors built and read back, rights granted on a real folder, and how a share the
// system refuses is logged. Wine has no file-sharing service, answers every account with an empty
// comment, aborts the process in NetUserSetInfo and lacks NetUserEnum at level 1: what Windows
// answers there, and each refusal Dockvane must handle, is tested against the stand-in library
// (tests/standins/netapi32: StandinTest, StandinDriveTest). The sign-in screen's list of hidden
// accounts is the real registry of the prefix.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/accounts_win.h"
#include "accounts/crypto.h"
#include "accounts/password_vectors_test.h"
#include "accounts/share_manager.h"
#include "accounts/user_manager.h"
#include "platform/text.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

using dv::testing::TempFolder;

std::u16string CurrentUser() {
    wchar_t name[256] = {};
    DWORD size = 256;
    EXPECT_TRUE(::GetUserNameW(name, &size));
    return FromWide(name);
}

struct Captured {
    std::vector<std::u16string> lines;
    TShareManagerLog Log() {
        return {[this](std::u16string_view text) { lines.push_back(u"ERROR |" + std::u16string(text)); },
                [this](std::u16string_view title, std::u16string_view text) {
                    lines.push_back(std::u16string(title) + u"|" + std::u16string(text));
                }};
    }
};

TEST(WinPasswords, BCryptDigestMatchesTheNativeOne) {
    for (const auto& c : dv::testing::kRfc1321Suite) EXPECT_EQ(HashMD5(c.input), c.md5) << ToUtf8(c.input);
    for (const auto& c : dv::testing::kDerivedPasswords) EXPECT_EQ(DerivePassword(c.salt), c.password);
}

TEST(WinPasswords, RandomDigitsFromTheSystemGenerator) {
    TempFolder folder;
    TApplicationSettings settings(folder.File(u"Settings.ini"));
    auto api = CreateWinUserApi();
    TUserManager users(*api, settings);
    const std::u16string salt = users.RandomStr(32);
    ASSERT_EQ(salt.size(), 32u);
    EXPECT_EQ(salt.find_first_not_of(u"0123456789"), std::u16string::npos);
    EXPECT_NE(users.RandomStr(32), salt);
}

TEST(WinOSError, NetworkMessagesAreTrimmed) {
    // Wine has no netmsg.dll and its system table no text for 2310: the text may be empty here.
    const std::u16string text = OSErrorText(2310);
    if (!text.empty()) {
        EXPECT_GE(text.back(), u'!');
        EXPECT_NE(text.back(), u'.');
    }
    EXPECT_EQ(text, TrimOSErrorText(FormatOSMessage(2310, true)));
    try {
        RaiseOSError(2310);
        FAIL();
    } catch (const EOSError& error) {
        EXPECT_EQ(error.Message(), u"System Error.  Code: 2310.\r\n" + text);
        EXPECT_EQ(error.ErrorCode(), 2310u);
    }
    // A system code has its text in every table, without the full stop and line end it ends with.
    const std::u16string denied = OSErrorText(5);
    ASSERT_FALSE(denied.empty());
    EXPECT_NE(denied.back(), u'.');
    EXPECT_EQ(FormatOSMessage(5, true).rfind(denied, 0), 0u);
    try {
        RaiseOSError(0);
        FAIL();
    } catch (const EOSError& error) {
        EXPECT_EQ(error.Message(), u"A call to an OS function failed");
        EXPECT_EQ(error.ErrorCode(), 0u);
    }
}

TEST(WinAccounts, AddChangeAndDeleteALocalAccount) {
    TempFolder folder;
    TApplicationSettings settings(folder.File(u"Settings.ini"));
    auto api = CreateWinUserApi();
    TUserManager users(*api, settings);
    const std::u16string name = u"extdisk_wine";
    users.UserDelete(name);
    EXPECT_FALSE(users.UserExists(name));
    EXPECT_FALSE(users.UserExists(u""));

    const std::u16string salt = users.RandomStr(32);
    EXPECT_FALSE(users.ChekToManualUserCreate(name, salt));  // created now
    EXPECT_TRUE(users.UserExists(name));
    EXPECT_TRUE(users.ChekToManualUserCreate(name, salt));

    // The password it was created with is accepted as the old one.
    const std::u16string password = users.MakePassword(salt + name);
    users.UserChangePassword(name, password, u"Another1Password");
    EXPECT_EQ(api->UserChangePassword(name, u"not it", u"x").Code, kErrorInvalidPassword);
    EXPECT_TRUE(api->UserChangePassword(name, u"Another1Password", u"Third1Password").ok());

    // Dockvane knows its own accounts by their comment. Wine 8 answers every account with an empty
    // comment: there no account is Dockvane's, and none may be deleted with a drive.
    const TUserComment own = api->UserGetInfo1(name);
    ASSERT_TRUE(own.Status.ok());
    const bool commentsKept = !own.Comment.empty();
    if (commentsKept) {
        EXPECT_EQ(own.Comment, u"Velmora User");
    }
    EXPECT_EQ(users.IsOwnAccount(name), commentsKept);
    EXPECT_TRUE(users.IsOwnAccount(u"DockVane"));
    const std::u16string foreign = u"extdisk_foreign";
    TUserInfo1 info;
    info.Name = foreign;
    info.Password = u"Foreign1Password";
    info.Comment = u"Made by someone else";
    ASSERT_TRUE(api->UserAdd1(info).ok());
    EXPECT_FALSE(users.IsOwnAccount(foreign));
    EXPECT_FALSE(users.ChekToManualUserDeleteByuserName(foreign, {}));
    EXPECT_TRUE(users.UserExists(foreign));
    users.UserDelete(foreign);
    EXPECT_EQ(api->UserGetInfo1(foreign).Status.Code, kNerrUserNotFound);

    EXPECT_EQ(users.ChekToManualUserDeleteByuserName(name, {}), commentsKept);
    EXPECT_EQ(users.UserExists(name), !commentsKept);
    users.UserDelete(name);
    EXPECT_FALSE(users.UserExists(name));
    EXPECT_NO_THROW(users.UserDelete(name));
    EXPECT_NO_THROW(users.UserChangePassword(name, u"a", u"b"));  // unknown account: silent
}

TEST(WinAccounts, UserListEndsWhenTheSystemRefusesTheLevel) {
    TempFolder folder;
    TApplicationSettings settings(folder.File(u"Settings.ini"));
    settings.FDefaultShareUserName = u"dockvane";
    auto api = CreateWinUserApi();
    std::uint32_t resume = 0;
    const TUserEnumBatch batch = api->UserEnum1(resume);
    if (batch.Status.Code != 124) GTEST_SKIP() << "this system enumerates at level 1";
    TUserManager users(*api, settings);
    EXPECT_TRUE(users.GetDockvaneUserList().empty());
}

// The sign-in screen's list of hidden accounts, read as Windows' logon reads it.
constexpr const wchar_t* kUserListKey =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\SpecialAccounts\\UserList";

std::optional<DWORD> UserListValue(const std::u16string& name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    const std::wstring wide = ToWide(name);
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kUserListKey, wide.c_str(), RRF_RT_REG_DWORD | RRF_SUBKEY_WOW6464KEY,
                       nullptr, &value, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

TEST(WinAccounts, OwnAccountsAreHiddenFromTheSignInScreenThroughTheRegistry) {
    TempFolder folder;
    TApplicationSettings settings(folder.File(u"Settings.ini"));
    auto api = CreateWinUserApi();
    TUserManager users(*api, settings);
    const std::u16string own = u"extdisk_signin";
    users.UserDelete(own);
    // Removing an entry that is not there, even before the key exists, is no failure.
    EXPECT_TRUE(api->ShowOnSignIn(own).ok());

    // Someone's own entry, and an account that only looks like one of ours.
    ASSERT_TRUE(api->HideFromSignIn(u"someone").ok());
    TUserInfo1 info;
    info.Name = u"extdisk_lookalike";
    info.Password = u"Foreign1Password";
    info.Comment = u"Made by someone else";
    users.UserDelete(info.Name);
    users.UserAdd(info.Name, info.Password, info.Comment);
    EXPECT_EQ(UserListValue(info.Name), std::nullopt);

    users.UserAdd(own, u"Own1Password", u"Velmora User");
    EXPECT_EQ(UserListValue(own), DWORD{0});
    users.UserDelete(own);
    EXPECT_EQ(UserListValue(own), std::nullopt);
    EXPECT_EQ(UserListValue(u"someone"), DWORD{0});
    users.UserDelete(info.Name);
    EXPECT_TRUE(api->ShowOnSignIn(u"someone").ok());
    EXPECT_EQ(UserListValue(u"someone"), std::nullopt);
}

TEST(WinSecurity, LookupResolvesGroupsAndTheCurrentUser) {
    auto api = CreateWinShareApi();
    const TAccountLookup admins = api->LookupAccount(u"Administrators");
    ASSERT_EQ(admins.SizeQueryError, 0u);
    ASSERT_EQ(admins.LookupError, 0u);
    EXPECT_EQ(admins.Sid, AdministratorsSid());
    EXPECT_EQ(admins.Use, TSidNameUse::Alias);

    const TAccountLookup everyone = api->LookupAccount(u"Everyone");
    EXPECT_EQ(everyone.Sid, EveryoneSid());
    EXPECT_EQ(everyone.Use, TSidNameUse::WellKnownGroup);

    const TAccountLookup user = api->LookupAccount(CurrentUser());
    ASSERT_EQ(user.SizeQueryError, 0u);
    EXPECT_EQ(user.Use, TSidNameUse::User);
    EXPECT_NE(user.Sid.Rid(), kGuestRid);

    EXPECT_EQ(api->LookupAccount(u"no such account here").SizeQueryError, kErrorNoneMapped);
}

TEST(WinSecurity, CreationDescriptorReadsBackWithTheApi) {
    TNativeDescriptor native;
    ASSERT_TRUE(BuildNativeDescriptor(ShareCreationDescriptor(), native).ok());
    ASSERT_TRUE(::IsValidSecurityDescriptor(native.get()));
    BOOL present = FALSE;
    BOOL defaulted = TRUE;
    PACL acl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(native.get(), &present, &acl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_FALSE(defaulted);
    ASSERT_NE(acl, nullptr);
    EXPECT_EQ(acl->AclRevision, ACL_REVISION);
    EXPECT_EQ(acl->AclSize, 256);
    PSID owner = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorOwner(native.get(), &owner, &defaulted));
    EXPECT_EQ(owner, nullptr);

    BYTE everyone[SECURITY_MAX_SID_SIZE];
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof everyone;
    ASSERT_TRUE(::CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size));
    size = sizeof admins;
    ASSERT_TRUE(::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size));
    PSID expected[] = {everyone, admins};
    ASSERT_EQ(acl->AceCount, 2);
    for (DWORD i = 0; i < 2; ++i) {
        void* entry = nullptr;
        ASSERT_TRUE(::GetAce(acl, i, &entry));
        const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE) << i;
        EXPECT_EQ(ace->Header.AceFlags, 0) << i;
        EXPECT_EQ(ace->Mask, 0u) << i;
        EXPECT_TRUE(::EqualSid(const_cast<DWORD*>(&ace->SidStart), expected[i])) << i;
    }

    TSecurityDescriptor back;
    ASSERT_TRUE(ReadNativeDescriptor(native.get(), back).ok());
    EXPECT_EQ(back, ShareCreationDescriptor());
    EXPECT_EQ(back.Dacl->AclSize(), 256u);
}

TEST(WinSecurity, AnInvalidDescriptorIsAFailureWithItsOwnCode) {
    // Revision 0: no descriptor IsValidSecurityDescriptor accepts. It sets no last error for it.
    alignas(8) BYTE invalid[SECURITY_DESCRIPTOR_MIN_LENGTH] = {};
    ::SetLastError(0);
    const TOsStatus status = CheckSecurityDescriptor(invalid);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.Code, static_cast<std::uint32_t>(ERROR_INVALID_SECURITY_DESCR));
    EXPECT_TRUE(status.LastError);
    EXPECT_EQ(CheckSecurityDescriptor(nullptr).Code, static_cast<std::uint32_t>(ERROR_INVALID_SECURITY_DESCR));

    TNativeDescriptor valid;
    ASSERT_TRUE(BuildNativeDescriptor(ShareCreationDescriptor(), valid).ok());
    EXPECT_TRUE(CheckSecurityDescriptor(valid.get()).ok());
}

TEST(WinSecurity, EntriesOfEveryKindSurviveTheRoundTrip) {
    TAcl dacl;
    TAce object;  // an object ACE: another layout, copied as read
    object.Type = ACCESS_ALLOWED_OBJECT_ACE_TYPE;
    object.Mask = 0x100;
    object.Body = {0, 0, 0, 0};
    const std::vector<std::uint8_t> sid = AdministratorsSid().Bytes();
    object.Body.insert(object.Body.end(), sid.begin(), sid.end());
    dacl.Aces = {TAce::Denied(EveryoneSid(), 0x40000), TAce::Allowed(AdministratorsSid(), kGenericAll),
                 TAce::Allowed(EveryoneSid(), 0x1200A9, kInheritedAce | 0x03), object};
    dacl.Revision = ACL_REVISION_DS;  // object entries need it
    TNativeDescriptor native;
    ASSERT_TRUE(BuildNativeDescriptor({true, dacl}, native).ok());
    TSecurityDescriptor back;
    ASSERT_TRUE(ReadNativeDescriptor(native.get(), back).ok());
    ASSERT_TRUE(back.HasDacl());
    EXPECT_EQ(*back.Dacl, dacl);

    // A null DACL and a missing one stay what they are.
    for (const TSecurityDescriptor& value : {TSecurityDescriptor{true, std::nullopt}, TSecurityDescriptor{}}) {
        TNativeDescriptor other;
        ASSERT_TRUE(BuildNativeDescriptor(value, other).ok());
        ASSERT_TRUE(ReadNativeDescriptor(other.get(), back).ok());
        EXPECT_EQ(back, value);
    }
}

TEST(WinShares, FolderRightsForAnAccountTheSystemResolves) {
    TempFolder folder;
    const std::u16string path = folder.Path();
    const std::u16string user = CurrentUser();
    auto api = CreateWinShareApi();
    Captured log;
    TShareManager manager(*api, log.Log());
    ASSERT_TRUE(manager.FileAddAccesRights(path, user, kGenericAll));
    EXPECT_TRUE(log.lines.empty());

    const TFileSecurity security = api->GetFileDacl(path);
    ASSERT_TRUE(security.Status.ok());
    ASSERT_TRUE(security.Descriptor.HasDacl());
    const TSid sid = api->LookupAccount(user).Sid;
    int entries = 0;
    for (const TAce& ace : security.Descriptor.Dacl->Aces) {
        if (ace.Sid() == sid && ace.Type == kAccessAllowedAceType && !ace.IsInherited()) ++entries;
    }
    EXPECT_GE(entries, 1);

    // The whole grant: the share step meets no share and logs it; the folder steps still run.
    EXPECT_TRUE(manager.SetAccesRights(path, u"DockvaneNoShare", user));
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].rfind(u"ERROR |Class:TShareManager Method:ShareAddAccesRights  Type:EOSError"
                                 u"System Error.  Code: 2310.\r\n",
                                 0),
              0u)
        << ToUtf8(log.lines[0]);

    // Groups are refused before anything is touched, each for its own reason.
    EXPECT_FALSE(manager.SetAccesRights(path, u"DockvaneNoShare", u"Everyone"));
    EXPECT_FALSE(manager.SetAccesRights(path, u"DockvaneNoShare", u"Administrators"));
    EXPECT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(manager.ShareAccountRefusal(u"Everyone", false).value_or(u""),
              u"Everyone is a group that many people belong to; Dockvane opens a drive only to one account or a "
              u"small group");
    EXPECT_EQ(manager.ShareAccountRefusal(u"Administrators", false).value_or(u""),
              u"Administrators is a group; outside a domain Dockvane opens a drive only to one user account");
    EXPECT_FALSE(manager.ShareAccountRefusal(user, false).has_value());
}

TEST(WinShares, AFolderThatIsMissingIsLoggedUnderItsOwnTitle) {
    TempFolder folder;
    auto api = CreateWinShareApi();
    Captured log;
    TShareManager manager(*api, log.Log());
    EXPECT_FALSE(manager.FileAddAccesRights(folder.File(u"missing"), CurrentUser(), kGenericAll));
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].rfind(u"ERROR|Class:TShareManager Method:FileAddAccesRights  Type:EOSError"
                                 u"System Error.  Code: 2.\r\n",
                                 0),
              0u)
        << ToUtf8(log.lines[0]);
}

TEST(WinShares, ACreationTheSystemRefusesIsOneLogLine) {
    TempFolder folder;
    auto api = CreateWinShareApi();
    Captured log;
    TShareManager manager(*api, log.Log());
    EXPECT_FALSE(manager.IsComputerInDomain());
    manager.ShareCreate(u"DockvaneWine", u"Wine test", folder.Path() + u"\\", false);
    const bool created = manager.ShareExists(u"DockvaneWine");
    if (created) {  // a system with a Server service
        EXPECT_TRUE(log.lines.empty());
        manager.ShareDelete(u"DockvaneWine");
        EXPECT_FALSE(manager.ShareExists(u"DockvaneWine"));
        return;
    }
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0],
              u"ERROR |Class:TShareManager Method:ShareCreate  Type:EOSError"
              u"System Error.  Code: 50.\r\n" +
                  OSErrorText(50));
    manager.ShareDelete(u"DockvaneWine");
    EXPECT_EQ(log.lines.size(), 1u);
}

}  // namespace
}  // namespace dv
