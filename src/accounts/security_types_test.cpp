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
        {"two explicit entries of the account", {TAce::Allowed(kAccount, 1), other, TAce::Allowed(kAccount, 2)}, {other, added}},
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
