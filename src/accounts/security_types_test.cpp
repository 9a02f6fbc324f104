#include "accounts/security_types.h"

#include <gtest/gtest.h>

namespace dv {
namespace {

const TSid kAccount = TSid::Make(5, {21, 10, 20, 30, 1001});
const TSid kOther = TSid::Make(5, {21, 10, 20, 30, 1002});
const TSid kUsers = TSid::Make(5, {32, 545});

TEST(Sid, BinaryFormAndText) {
    const std::vector<std::uint8_t> admins = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
    EXPECT_EQ(AdministratorsSid().Bytes(), admins);
    EXPECT_EQ(AdministratorsSid().Length(), 16u);
    EXPECT_EQ(AdministratorsSid().ToString(), u"S-1-5-32-544");
    EXPECT_EQ(EveryoneSid().ToString(), u"S-1-1-0");
    EXPECT_EQ(kAccount.ToString(), u"S-1-5-21-10-20-30-1001");
    EXPECT_EQ(kAccount.Rid(), 1001u);

    const std::vector<std::uint8_t> bytes = kAccount.Bytes();
    EXPECT_EQ(TSid::FromBytes(bytes.data(), bytes.size()), kAccount);
}

TEST(Sid, BytesThatHoldNoCompleteSidAreRejected) {
    std::vector<std::uint8_t> bytes = kAccount.Bytes();
    EXPECT_FALSE(TSid::FromBytes(bytes.data(), bytes.size() - 1));  // cut short
    bytes[0] = 2;                                                   // unknown revision
    EXPECT_FALSE(TSid::FromBytes(bytes.data(), bytes.size()));
    std::vector<std::uint8_t> tooMany(8 + 4 * 16, 0);
    tooMany[0] = 1;
    tooMany[1] = 16;
    EXPECT_FALSE(TSid::FromBytes(tooMany.data(), tooMany.size()));
}

TEST(Acl, CreationDescriptorListsEveryoneAndAdministratorsWithNoRights) {
    const TSecurityDescriptor descriptor = ShareCreationDescriptor();
    ASSERT_TRUE(descriptor.HasDacl());
    const TAcl& dacl = *descriptor.Dacl;
    EXPECT_EQ(dacl.Revision, 2);
    EXPECT_EQ(dacl.AclSize(), 256u);
    ASSERT_EQ(dacl.Aces.size(), 2u);
    EXPECT_EQ(dacl.Aces[0], TAce::Allowed(EveryoneSid(), 0));
    EXPECT_EQ(dacl.Aces[1], TAce::Allowed(AdministratorsSid(), 0));
    EXPECT_EQ(dacl.BytesInUse(), 8u + (8 + 12) + (8 + 16));
}

TEST(Acl, FolderMergeReplacesTheAccountsExplicitEntriesOnly) {
    TAcl old;
    old.Aces = {TAce::Allowed(kUsers, 0x1200A9), TAce::Allowed(kAccount, 0x1200A9),
                TAce::Allowed(AdministratorsSid(), 0x1F01FF, kInheritedAce),
                TAce::Allowed(kAccount, 0x1200A9, kInheritedAce)};
    const TAcl merged = FileAddAce(old, kAccount, kGenericAll);
    TAcl expected;
    expected.Aces = {TAce::Allowed(kUsers, 0x1200A9), TAce::Allowed(kAccount, kGenericAll),
                     TAce::Allowed(AdministratorsSid(), 0x1F01FF, kInheritedAce),
                     TAce::Allowed(kAccount, 0x1200A9, kInheritedAce)};
    EXPECT_EQ(merged, expected);
    EXPECT_EQ(merged.Capacity, kAccount.Length() + old.BytesInUse() + 8);
    EXPECT_GE(merged.AclSize(), merged.BytesInUse());
}

TEST(Acl, FolderMergeCases) {
    const TAce denyAccount = TAce::Denied(kAccount, 0x10000);
    const TAce other = TAce::Allowed(kOther, 0x1200A9);
    const TAce inherited = TAce::Allowed(kUsers, 0x1200A9, kInheritedAce | 0x03);
    const TAce added = TAce::Allowed(kAccount, kGenericAll);
    // An entry of another layout (an object ACE) with no SID at byte 8 passes through.
    TAce object;
    object.Type = 5;
    object.Mask = 0x100;
    object.Body = {1, 0, 0, 0};
    struct Case {
        const char* name;
        std::vector<TAce> old;
        std::vector<TAce> merged;
    };
    const Case cases[] = {
        {"empty list", {}, {added}},
        {"only inherited entries: new one goes first", {inherited}, {added, inherited}},
        {"no inherited entries: new one goes last", {other}, {other, added}},
        {"the account's deny entry goes too", {denyAccount, other, inherited}, {other, added, inherited}},
        {"two explicit entries of the account",
         {TAce::Allowed(kAccount, 1), other, TAce::Allowed(kAccount, 2)},
         {other, added}},
        {"after the first inherited entry nothing is filtered",
         {inherited, TAce::Allowed(kAccount, 1)},
         {added, inherited, TAce::Allowed(kAccount, 1)}},
        {"foreign layouts are kept", {object, inherited}, {object, added, inherited}},
    };
    for (const Case& c : cases) {
        TAcl old;
        old.Aces = c.old;
        EXPECT_EQ(FileAddAce(old, kAccount, kGenericAll).Aces, c.merged) << c.name;
    }
}

TEST(Acl, FolderMergeTwiceLeavesOneExplicitEntry) {
    TAcl old;
    old.Aces = {TAce::Allowed(kOther, 1), TAce::Allowed(AdministratorsSid(), 2, kInheritedAce)};
    const TAcl once = FileAddAce(old, kAccount, kGenericAll);
    EXPECT_EQ(FileAddAce(once, kAccount, kGenericAll), once);
}

TEST(Acl, ShareMergeAppendsAfterEverything) {
    TAcl old;
    old.Aces = {TAce::Allowed(EveryoneSid(), 0), TAce::Allowed(kAccount, 0x1200A9), TAce::Denied(kOther, kGenericAll)};
    const TAcl merged = ShareAddAce(old, kAccount, kGenericAll);
    std::vector<TAce> expected = old.Aces;
    expected.push_back(TAce::Allowed(kAccount, kGenericAll));
    EXPECT_EQ(merged.Aces, expected);
    EXPECT_EQ(merged.Capacity, kAccount.Length() + old.BytesInUse() + 8);
    EXPECT_EQ(merged.BytesInUse(), merged.AclSize());  // nothing dropped: the list fills its buffer
}

}  // namespace
}  // namespace dv

namespace dv {
namespace {

TEST(ShareAccounts, OnlyOneAccountOrASmallGroupMayHaveADrive) {
    using V = TShareAccountVerdict;
    using U = TSidNameUse;
    const TSid machine = TSid::Make(5, {21, 11, 22, 33});
    auto local = [&](std::uint32_t rid) {
        TSid sid = machine;
        sid.SubAuthorities.push_back(rid);
        return sid;
    };
    auto domain = [](std::uint32_t rid) { return TSid::Make(5, {21, 44, 55, 66, rid}); };
    auto builtin = [](std::uint32_t rid) { return TSid::Make(5, {32, rid}); };
    struct Case {
        const char* name;
        TSid sid;
        U use;
        V workgroup;
        V domain;
    };
    const Case cases[] = {
        {"a local user", local(1001), U::User, V::Allowed, V::Allowed},
        {"Administrator", local(500), U::User, V::Allowed, V::Allowed},
        {"a domain user", domain(1105), U::User, V::Allowed, V::Allowed},
        {"a cloud directory user", TSid::Make(12, {1, 2, 3, 4, 5}), U::User, V::Allowed, V::Allowed},
        {"Guest", local(501), U::User, V::GuestAccount, V::GuestAccount},
        {"the domain's Guest", domain(501), U::User, V::GuestAccount, V::GuestAccount},
        {"a domain group", domain(1200), U::Group, V::GroupOutsideDomain, V::Allowed},
        {"Domain Admins", domain(512), U::Group, V::GroupOutsideDomain, V::Allowed},
        {"Domain Users", domain(513), U::Group, V::BroadGroup, V::BroadGroup},
        {"None (all local users)", local(513), U::Group, V::BroadGroup, V::BroadGroup},
        {"Domain Guests", domain(514), U::Group, V::BroadGroup, V::BroadGroup},
        {"Domain Computers", domain(515), U::Group, V::BroadGroup, V::BroadGroup},
        {"a local group", local(1010), U::Alias, V::GroupOutsideDomain, V::LocalGroupInDomain},
        {"Administrators", builtin(544), U::Alias, V::GroupOutsideDomain, V::LocalGroupInDomain},
        {"Backup Operators", builtin(551), U::Alias, V::GroupOutsideDomain, V::LocalGroupInDomain},
        {"Users", builtin(545), U::Alias, V::BroadGroup, V::BroadGroup},
        {"Guests", builtin(546), U::Alias, V::BroadGroup, V::BroadGroup},
        {"Remote Desktop Users", builtin(555), U::Alias, V::BroadGroup, V::BroadGroup},
        {"Pre-Windows 2000 Compatible Access", builtin(554), U::Alias, V::BroadGroup, V::BroadGroup},
        {"Everyone", EveryoneSid(), U::WellKnownGroup, V::BroadGroup, V::BroadGroup},
        {"LOCAL", TSid::Make(2, {0}), U::WellKnownGroup, V::BroadGroup, V::BroadGroup},
        {"Authenticated Users", TSid::Make(5, {11}), U::WellKnownGroup, V::BroadGroup, V::BroadGroup},
        {"Anonymous", TSid::Make(5, {7}), U::WellKnownGroup, V::BroadGroup, V::BroadGroup},
        {"Interactive", TSid::Make(5, {4}), U::WellKnownGroup, V::BroadGroup, V::BroadGroup},
        {"Network", TSid::Make(5, {2}), U::WellKnownGroup, V::BroadGroup, V::BroadGroup},
        {"Local account", TSid::Make(5, {113}), U::WellKnownGroup, V::BroadGroup, V::BroadGroup},
        {"NTLM Authentication", TSid::Make(5, {64, 10}), U::WellKnownGroup, V::BroadGroup, V::BroadGroup},
        {"ALL APPLICATION PACKAGES", TSid::Make(15, {2, 1}), U::WellKnownGroup, V::BroadGroup, V::BroadGroup},
        // A broad group stays broad whatever the lookup calls it.
        {"Everyone as a user", EveryoneSid(), U::User, V::BroadGroup, V::BroadGroup},
        {"Domain Users as a user", domain(513), U::User, V::BroadGroup, V::BroadGroup},
        {"SYSTEM", TSid::Make(5, {18}), U::WellKnownGroup, V::NotAnAccount, V::NotAnAccount},
        {"SYSTEM as a user", TSid::Make(5, {18}), U::User, V::NotAnAccount, V::NotAnAccount},
        {"CREATOR OWNER", TSid::Make(3, {0}), U::WellKnownGroup, V::NotAnAccount, V::NotAnAccount},
        {"NULL SID as a group", TSid::Make(0, {0}), U::Group, V::NotAnAccount, V::NotAnAccount},
        {"a domain", TSid::Make(5, {21, 44, 55, 66}), U::Domain, V::NotAnAccount, V::NotAnAccount},
        {"a computer", domain(1300), U::Computer, V::NotAnAccount, V::NotAnAccount},
        {"a deleted account", domain(1301), U::DeletedAccount, V::NotAnAccount, V::NotAnAccount},
        {"an integrity label", TSid::Make(16, {12288}), U::Label, V::NotAnAccount, V::NotAnAccount},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClassifyShareAccount(c.sid, c.use, false), c.workgroup) << c.name;
        EXPECT_EQ(ClassifyShareAccount(c.sid, c.use, true), c.domain) << c.name;
    }
}

}  // namespace
}  // namespace dv
