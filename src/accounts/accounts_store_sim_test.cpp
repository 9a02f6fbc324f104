#include "accounts/accounts_store_sim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <utility>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

using dv::testing::ReadBytes;
using dv::testing::TempFolder;
using dv::testing::WriteBytes;
using Lines = std::vector<std::u16string>;

TSid UserSid(std::uint32_t rid) {
    return TSid::Make(5, {21, 7, 8, 9, rid});
}

TUserInfo1 User(std::u16string name, std::u16string password, std::u16string comment = u"") {
    TUserInfo1 info;
    info.Name = std::move(name);
    info.Password = std::move(password);
    info.Comment = std::move(comment);
    return info;
}

TSecurityDescriptor WithAcl(std::vector<TAce> aces, std::uint32_t capacity = 0) {
    TAcl acl;
    acl.Aces = std::move(aces);
    acl.Capacity = capacity;
    return {true, std::move(acl)};
}

// --- The files' text ---

TEST(SimStateFiles, EveryFieldSurvivesTheRoundTrip) {
    TSimAccounts state;
    state.SetNextRid(1234);
    state.MinPasswordLength = 14;
    TSimAccounts::Account odd;
    odd.Info.Name = u"tab\there";
    odd.Info.Password = u"back\\slash\r\nnew line \\N";
    odd.Info.Comment = u"Bj\u00F6rn \u2122";
    odd.Info.HomeDir = u"";  // empty, not absent
    odd.Info.ScriptPath = std::nullopt;
    odd.Info.Priv = 2;
    odd.Info.Flags = 0x10201;
    odd.Sid = UserSid(1100);
    state.Accounts.push_back(odd);

    TAce opaque;
    opaque.Type = 5;  // an object entry: its body passes through as it was read
    opaque.Flags = 3;
    opaque.Mask = 7;
    opaque.Body = {0x00, 0xFF, 0x10};
    const TSecurityDescriptor descriptors[] = {
        {},                    // no DACL
        {true, std::nullopt},  // a null DACL
        WithAcl({}),
        WithAcl({TAce::Denied(UserSid(1100), 1), TAce::Allowed(EveryoneSid(), 0, kInheritedAce), opaque}, 256),
    };
    int n = 0;
    for (const TSecurityDescriptor& descriptor : descriptors) {
        TShareInfo502 share;
        share.NetName = u"Share" + IntToStr(n);
        share.Path = u"E:\\";
        share.Remark = u"r\t" + IntToStr(n);
        share.Permissions = 2;
        share.MaxUses = 0xFFFFFFFF;
        share.Passwd = n % 2 ? std::optional<std::u16string>(u"pw") : std::nullopt;
        share.SecurityDescriptor = descriptor;
        state.Shares[UpperCase(share.NetName)] = share;
        state.Folders[u"F" + IntToStr(n) + u":\\"] = descriptor;
        ++n;
    }

    TSimAccounts back;
    DecodeSimAccounts(EncodeSimAccounts(state), back);
    DecodeSimShares(EncodeSimShares(state), back);
    DecodeSimFolders(EncodeSimFolders(state), back);
    ASSERT_EQ(back.Accounts.size(), state.Accounts.size());
    for (std::size_t i = 0; i < state.Accounts.size(); ++i) {
        EXPECT_EQ(back.Accounts[i].Info, state.Accounts[i].Info) << i;
        EXPECT_EQ(back.Accounts[i].Sid, state.Accounts[i].Sid) << i;
        EXPECT_EQ(back.Accounts[i].Use, state.Accounts[i].Use) << i;
    }
    EXPECT_EQ(back.NextRid(), 1234u);
    EXPECT_EQ(back.MinPasswordLength, 14u);
    // A computer without a policy keeps its file free of one, and a policy taken away is gone.
    EXPECT_EQ(EncodeSimAccounts(TSimAccounts()).find("min-password-length"), std::string::npos);
    DecodeSimAccounts(EncodeSimAccounts(TSimAccounts()), back);
    EXPECT_EQ(back.MinPasswordLength, 0u);
    EXPECT_EQ(back.Shares, state.Shares);
    EXPECT_EQ(back.Folders, state.Folders);
    EXPECT_EQ(back.Shares.at(u"SHARE3").SecurityDescriptor.Dacl->Capacity, 256u);
    // Escaped fields keep every record on one line.
    const std::string shares = EncodeSimShares(state);
    EXPECT_EQ(std::count(shares.begin(), shares.end(), '\n'), 1 + 4);
}

TEST(SimStateFiles, UnreadableTextIsRefusedWithItsPlace) {
    const struct {
        const char* name;
        std::string text;
        void (*decode)(std::string_view, TSimAccounts&);
    } cases[] = {
        {"fields missing", "# header\nalice\tpw\n", DecodeSimAccounts},
        {"not a SID", "a\tp\tc\tX-1-5\t1\t1\t65537\t\\N\t\\N\n", DecodeSimAccounts},
        {"account kind", "a\tp\tc\tS-1-5-21-1\t0\t1\t65537\t\\N\t\\N\n", DecodeSimAccounts},
        {"lone backslash", "a\tp\\\tc\tS-1-5-21-1\t1\t1\t65537\t\\N\t\\N\n", DecodeSimAccounts},
        {"unknown escape", "a\tp\\x\tc\tS-1-5-21-1\t1\t1\t65537\t\\N\t\\N\n", DecodeSimAccounts},
        {"not a number", "S\tE:\\\\\tr\t0\tzero\t0\t0\t\\N\t0\tnone\n", DecodeSimShares},
        {"share twice", "S\tE:\\\\\tr\t0\t0\t0\t0\t\\N\t0\tnone\ns\tF:\\\\\tr\t0\t0\t0\t0\t\\N\t0\tnone\n",
         DecodeSimShares},
        {"flags not a number", "S\tE:\\\\\tr\t0\t0\t0\t0\t\\N\t0\tnone\tencrypted\n", DecodeSimShares},
        {"a field too many", "S\tE:\\\\\tr\t0\t0\t0\t0\t\\N\t0\tnone\t0\t0\n", DecodeSimShares},
        {"broken DACL", "E:\\\\\tacl 2 0 0 0\n", DecodeSimFolders},
        {"odd hex", "E:\\\\\tacl 2 0 0 0 1 abc\n", DecodeSimFolders},
    };
    for (const auto& c : cases) {
        TSimAccounts state;
        const std::size_t accounts = state.Accounts.size();
        try {
            c.decode(c.text, state);
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const EConvertError& error) {
            EXPECT_NE(error.Message().find(u"line "), std::u16string::npos) << c.name;
        }
        EXPECT_EQ(state.Accounts.size(), accounts) << c.name;
        EXPECT_TRUE(state.Shares.empty()) << c.name;
    }
}

TEST(SimStateFiles, ListingsShowWhatAClientSees) {
    TSimAccounts state;
    ASSERT_TRUE(state.UserAdd1(User(u"dockvane", u"secret", u"Velmora User")).ok());
    ASSERT_TRUE(state.UserAdd1(User(u"extdisk_b", u"pw2", u"Velmora User")).ok());
    TShareInfo502 share;
    share.NetName = u"Backup";
    share.Path = u"E:\\";
    share.Remark = u"Nightly";
    share.SecurityDescriptor =
        WithAcl({TAce::Allowed(EveryoneSid(), 0), TAce::Allowed(AdministratorsSid(), 0),
                 TAce::Allowed(state.FindAccount(u"dockvane")->Sid, kGenericAll), TAce::Denied(UserSid(4242), 1)});
    ASSERT_TRUE(state.ShareAdd502(share).ok());
    TShareInfo502 open = share;
    open.NetName = u"Alpha";
    open.SecurityDescriptor = {true, std::nullopt};
    ASSERT_TRUE(state.ShareAdd502(open).ok());

    EXPECT_EQ(SimShareLines(state),
              (Lines{u"Alpha\tE:\\\tNightly\t", u"Backup\tE:\\\tNightly\tdockvane:268435456,S-1-5-21-7-8-9-4242:1"}));
    EXPECT_EQ(SimAccountLines(state), (Lines{u"Administrator\t\t", u"Guest\t\t", u"dockvane\tsecret\tVelmora User",
                                             u"extdisk_b\tpw2\tVelmora User"}));
}

// A share's flags travel as an eleventh field that only shares with flags have: records written
// before shares had flags read as they are, and a share without flags is written as it always was.
TEST(SimStateFiles, ShareFlagsTravelOnlyWithTheSharesThatHaveThem) {
    TSimAccounts state;
    TShareInfo502 share;
    share.NetName = u"Backup";
    share.Path = u"E:\\";
    share.MaxUses = 4;
    share.SecurityDescriptor = WithAcl({});
    ASSERT_TRUE(state.ShareAdd502(share).ok());
    share.NetName = u"Plain";
    ASSERT_TRUE(state.ShareAdd502(share).ok());
    const std::string plain = EncodeSimShares(state);
    EXPECT_NE(plain.find("\nPlain\tE:\\\\\t\t0\t0\t4\t0\t\\N\t0\tacl 2 0\n"), std::string::npos) << plain;
    EXPECT_EQ(plain.find("#unknown-share-flags"), std::string::npos);

    ASSERT_TRUE(state.ShareSetInfo1005(u"BACKUP", 0x8800).ok());
    state.UnknownShareFlags = 0x20000;
    const std::string flagged = EncodeSimShares(state);
    EXPECT_NE(flagged.find("\nBackup\tE:\\\\\t\t0\t0\t4\t0\t\\N\t0\tacl 2 0\t34816\n"), std::string::npos) << flagged;
    EXPECT_NE(flagged.find("\nPlain\tE:\\\\\t\t0\t0\t4\t0\t\\N\t0\tacl 2 0\n"), std::string::npos);

    TSimAccounts back;
    back.ShareFlags[u"STALE"] = 1;
    DecodeSimShares(flagged, back);
    EXPECT_EQ(back.Shares, state.Shares);
    EXPECT_EQ(back.ShareFlags, (std::map<std::u16string, std::uint32_t>{{u"BACKUP", 0x8800}}));
    EXPECT_EQ(back.UnknownShareFlags, 0x20000u);
    EXPECT_EQ(SimShareLines(back), (Lines{u"Backup\tE:\\\t\t\t0x8800", u"Plain\tE:\\\t\t"}));

    // What an earlier version wrote: no flags, nothing refused.
    DecodeSimShares(plain, back);
    EXPECT_TRUE(back.ShareFlags.empty());
    EXPECT_EQ(back.UnknownShareFlags, 0u);
    EXPECT_EQ(back.ShareGetInfo1005(u"Backup").Flags, 0u);
}

// --- The store ---

class SimStoreTest : public ::testing::Test {
protected:
    std::string Bytes(std::u16string_view name) { return ReadBytes(folder.path() / std::filesystem::path(name)); }
    bool Exists(std::u16string_view name) {
        return std::filesystem::exists(folder.path() / std::filesystem::path(name));
    }

    TempFolder folder;
    TSimAccountsStore store{folder.Path()};
};

TEST_F(SimStoreTest, AnotherStoreOnTheFolderSeesEveryChange) {
    ASSERT_TRUE(store.UserAdd1(User(u"dockvane", u"pw", u"Velmora User")).ok());
    TShareInfo502 share;
    share.NetName = u"BACKUP";
    share.Path = u"E:\\";
    ASSERT_TRUE(store.ShareAdd502(share).ok());

    TSimAccountsStore other(folder.Path());
    EXPECT_TRUE(other.UserGetInfo0(u"DOCKVANE").ok());
    EXPECT_TRUE(other.UserChangePassword(u"dockvane", u"pw", u"new").ok());
    EXPECT_EQ(store.UserChangePassword(u"dockvane", u"pw", u"x").Code, kErrorInvalidPassword);
    const TAccountLookup lookup = store.LookupAccount(u"dockvane");
    EXPECT_EQ(lookup.SizeQueryError, 0u);
    EXPECT_EQ(lookup.Sid, other.LookupAccount(u"dockvane").Sid);
    EXPECT_TRUE(other.ShareDel(u"backup").ok());
    EXPECT_EQ(store.ShareGetInfo0(u"BACKUP").Code, kNerrNetNameNotFound);

    // Paged enumeration carries on across loads.
    std::uint32_t resume = 0;
    std::vector<std::u16string> names;
    for (int batch = 0; batch < 5; ++batch) {
        const TUserEnumBatch got = store.UserEnum1(resume);
        names.insert(names.end(), got.Names.begin(), got.Names.end());
        if (got.Status.Code != kErrorMoreData) break;
    }
    EXPECT_EQ(names, (Lines{u"Administrator", u"Guest", u"dockvane"}));
}

TEST_F(SimStoreTest, ReadingNeverWrites) {
    (void)store.ShareGetInfo0(u"X");
    (void)store.LookupAccount(u"Guest");
    (void)store.GetJoinInformation();
    EXPECT_FALSE(Exists(kSimAccountsFile));
    EXPECT_FALSE(Exists(kSimSharesFile));
    EXPECT_FALSE(Exists(kSimFoldersFile));

    ASSERT_TRUE(store.UserAdd1(User(u"a", u"p")).ok());
    EXPECT_TRUE(Exists(kSimAccountsFile));
    EXPECT_FALSE(Exists(kSimSharesFile));
}

TEST_F(SimStoreTest, RelativeIdentifiersAreNeverGivenTwice) {
    ASSERT_TRUE(store.UserAdd1(User(u"first", u"p")).ok());
    const TSid first = store.LookupAccount(u"first").Sid;
    ASSERT_TRUE(store.UserDel(u"first").ok());
    ASSERT_TRUE(TSimAccountsStore(folder.Path()).UserAdd1(User(u"second", u"p")).ok());
    EXPECT_NE(store.LookupAccount(u"second").Sid, first);
}

TEST_F(SimStoreTest, ADamagedFileIsReportedAndKept) {
    const std::string damaged = "dockvane\tpw\n";
    WriteBytes(folder.path() / "accounts.tsv", damaged);
    std::vector<std::u16string> errors;
    store.OnError = [&](std::u16string_view message) { errors.emplace_back(message); };

    EXPECT_FALSE(store.UserAdd1(User(u"a", u"p")).ok());
    EXPECT_NE(store.LookupAccount(u"Guest").SizeQueryError, 0u);
    EXPECT_FALSE(store.ShareGetInfo502(u"X").Status.ok());
    std::uint32_t resume = 0;
    EXPECT_FALSE(store.UserEnum1(resume).Status.ok());
    EXPECT_EQ(errors.size(), 4u);
    EXPECT_NE(errors.front().find(u"accounts.tsv, line 1"), std::u16string::npos);
    EXPECT_EQ(Bytes(kSimAccountsFile), damaged);
}

TEST_F(SimStoreTest, EachCallRunsInsideTheGuardAndAGuardThatFailsFailsTheCall) {
    int cycles = 0;
    bool refuse = false;
    TSimAccountsStore guarded(folder.Path(), [&](const std::function<void()>& transaction) {
        if (refuse) throw EOSError(u"busy", 1460);
        ++cycles;
        transaction();
    });
    EXPECT_TRUE(guarded.UserAdd1(User(u"a", u"p")).ok());
    EXPECT_TRUE(guarded.UserGetInfo0(u"a").ok());
    EXPECT_EQ(cycles, 2);
    refuse = true;
    EXPECT_EQ(guarded.UserDel(u"a").Code, 1460u);
    refuse = false;
    EXPECT_TRUE(guarded.UserGetInfo0(u"a").ok());
}

TEST_F(SimStoreTest, DriveRootsStartWithTheRightsOfAFreshVolume) {
    TempFolder root;
    fs::MapDrive(u'E', root.Path());
    const TFileSecurity fresh = store.GetFileDacl(u"E:\\");
    ASSERT_TRUE(fresh.Status.ok());
    ASSERT_TRUE(fresh.Descriptor.HasDacl());
    ASSERT_EQ(fresh.Descriptor.Dacl->Aces.size(), 2u);
    EXPECT_EQ(fresh.Descriptor.Dacl->Aces[0].Sid(), AdministratorsSid());

    TAcl granted = *fresh.Descriptor.Dacl;
    granted.Aces.push_back(TAce::Allowed(UserSid(1000), kGenericAll));
    ASSERT_TRUE(store.SetFileDacl(u"e:\\", granted).ok());
    EXPECT_EQ(TSimAccountsStore(folder.Path()).GetFileDacl(u"E:\\").Descriptor.Dacl, granted);

    // A drive plugged in under the letter later is another medium.
    store.Change([](TSimAccounts& state) { ForgetFolderRights(state, u'e'); });
    EXPECT_EQ(store.GetFileDacl(u"E:\\").Descriptor, fresh.Descriptor);

    // No folder, no rights.
    fs::MapDrive(u'E', u"");
    store.Change([](TSimAccounts& state) { ForgetFolderRights(state, u'E'); });
    EXPECT_EQ(store.GetFileDacl(u"E:\\").Status.Code, 2u);
}

// --- What the simulated system refuses, as Windows does ---

TEST(SimShares, NamesAndRemarksWindowsRefusesAreRefused) {
    struct Case {
        std::u16string name;
        std::u16string remark;
        std::uint32_t status;
    };
    const Case cases[] = {
        {u"Backup", u"", 0},
        {std::u16string(80, u'n'), std::u16string(256, u'r'), 0},
        {u"C$", u"", 0},
        {u"Back up.2", u"plain words; with [any] *chars*?", 0},
        {std::u16string(81, u'n'), u"", 123},
        {u"back\x01up", u"", 123},
        {u"tab\there", u"", 123},
        {u"del\x7F", u"", 123},
        {u"Backup", std::u16string(257, u'r'), 87},
        {u"", u"", 87},
    };
    for (const char16_t reserved : std::u16string_view(u"\"/\\[]:|<>+=;,*?")) {
        const Case c{u"back" + std::u16string(1, reserved) + u"up", u"", 123};
        TSimAccounts sim;
        TShareInfo502 info;
        info.NetName = c.name;
        info.Path = u"E:\\";
        EXPECT_EQ(sim.ShareAdd502(info).Code, c.status) << ToUtf8(c.name);
        EXPECT_TRUE(sim.Shares.empty());
    }
    for (const Case& c : cases) {
        TSimAccounts sim;
        TShareInfo502 info;
        info.NetName = c.name;
        info.Remark = c.remark;
        info.Path = u"E:\\";
        EXPECT_EQ(sim.ShareAdd502(info).Code, c.status) << ToUtf8(c.name) << " / " << ToUtf8(c.remark);
        EXPECT_EQ(sim.Shares.size(), c.status == 0 ? 1u : 0u);
        // Changing a share that exists is refused alike.
        TShareInfo502 existing;
        existing.NetName = u"Existing";
        existing.Path = u"F:\\";
        sim.Shares[UpperCase(c.name)] = existing;
        sim.Shares[UpperCase(c.name)].NetName = c.name;
        info.Remark = c.remark;
        EXPECT_EQ(sim.ShareSetInfo502(info).Code, c.status) << ToUtf8(c.name) << " / " << ToUtf8(c.remark);
        if (c.status != 0) {
            EXPECT_EQ(sim.Shares[UpperCase(c.name)].Path, u"F:\\");
        }
    }
}

}  // namespace
}  // namespace dv
