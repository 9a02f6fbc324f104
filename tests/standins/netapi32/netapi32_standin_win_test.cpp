// Dockvane's Win32 share and account code run against the stand-in network-management library that
// lies beside this program (ctest sets WINEDLLOVERRIDES="netapi32=n,b"): every answer of Windows
// that the code must handle, and what the user and the logs see of it. Account lookup and folder
// rights come from the simulated state, as in the simulation mode: Wine cannot resolve the accounts
// the library makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "accounts/accounts_sim.h"
#include "accounts/accounts_store_sim.h"
#include "accounts/accounts_win.h"
#include "accounts/share_manager.h"
#include "accounts/user_manager.h"
#include "drives/plugged_drives_sim_win.h"
#include "logging/log_records_test.h"
#include "logging/logs.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "sharing/nas.h"
#include "testing/temp_folder.h"

#include <lm.h>

namespace dv {
namespace {

using dv::testing::TempFolder;
using Lines = std::vector<std::u16string>;

constexpr std::uint32_t kDuplicateShare = 2118;    // NERR_DuplicateShare
constexpr std::uint32_t kUnknownDevDir = 2116;     // NERR_UnknownDevDir
constexpr std::uint32_t kUserExists = 2224;        // NERR_UserExists
constexpr std::uint32_t kPasswordTooShort = 2245;  // NERR_PasswordTooShort

std::u16string ModuleFolder(HMODULE module) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
    std::u16string text = FromWide(std::wstring_view(path, length));
    return UpperCase(text.substr(0, text.find_last_of(u'\\')));
}

class ScopedWinEnv {
public:
    ScopedWinEnv(const wchar_t* name, const std::u16string& value) : name_(name) {
        wchar_t previous[4096];
        const DWORD length = ::GetEnvironmentVariableW(name, previous, 4096);
        if (length > 0 && length < 4096) previous_ = std::wstring(previous, length);
        ::SetEnvironmentVariableW(name, ToWide(value).c_str());
    }
    ~ScopedWinEnv() { ::SetEnvironmentVariableW(name_, previous_ ? previous_->c_str() : nullptr); }

private:
    const wchar_t* name_;
    std::optional<std::wstring> previous_;
};

// A new ordinary account's record; the other fields keep their defaults.
TUserInfo1 NewUser(std::u16string name, std::u16string password, std::u16string comment = u"") {
    TUserInfo1 info;
    info.Name = std::move(name);
    info.Password = std::move(password);
    info.Comment = std::move(comment);
    return info;
}

// The buffer counts the library keeps for this process.
std::map<std::string, std::string> BufferCounts(const TempFolder& state) {
    std::map<std::string, std::string> counts;
    const auto text =
        fs::ReadReplaceableFile(state.File(u"netapi32-buffers-" + IntToStr(::GetCurrentProcessId()) + u".txt"));
    if (!text) return counts;
    std::size_t begin = 0;
    while (begin < text->size()) {
        const std::size_t end = std::min(text->find('\n', begin), text->size());
        const std::string line = text->substr(begin, end - begin);
        const std::size_t tab = line.find('\t');
        if (tab != std::string::npos) counts[line.substr(0, tab)] = line.substr(tab + 1);
        begin = end + 1;
    }
    return counts;
}

class RecordingHost : public INasHost {
public:
    RecordingHost(TShareManager& shares, TUserManager& users, TApplicationSettings& settings)
        : shares_(shares), users_(users), settings_(settings) {}
    TShareManager& ShareManager() override { return shares_; }
    TUserManager& UserManager() override { return users_; }
    TApplicationSettings& ApplicationSettings() override { return settings_; }
    void AttachedNasDriveLettersChange(TNasManager&) override {}
    void ShowErrorMessage(std::u16string_view text) override { errors.emplace_back(text); }
    void ShowWarningBalloon(std::u16string_view text) override { warnings.emplace_back(text); }
    void ProcessPendingMessages() override {}
    TPingToWebTh::ClientFactory PingClientFactory() override {
        return [] { return std::unique_ptr<IHttpClient>(); };
    }
    Lines errors;
    Lines warnings;

private:
    TShareManager& shares_;
    TUserManager& users_;
    TApplicationSettings& settings_;
};

class StandinTest : public ::testing::Test {
protected:
    void SetUp() override {
        const HMODULE library = ::GetModuleHandleW(L"netapi32.dll");
        ASSERT_NE(library, nullptr);
        ASSERT_EQ(ModuleFolder(library), ModuleFolder(nullptr))
            << "Wine's own netapi32 was loaded: run with WINEDLLOVERRIDES=netapi32=n,b";
        foreignBefore_ = BufferCounts(state)["foreign"];
        settings.FDefaultShareUserName = u"dockvane";
        settings.FPasswordSalt = u"12345678901234567890123456789012";
    }
    void TearDown() override {
        // Whatever the code asked for, it gave back.
        const auto counts = BufferCounts(state);
        if (!counts.empty()) {
            EXPECT_EQ(counts.at("unreleased"), "0");
            EXPECT_EQ(counts.at("foreign"), foreignBefore_.empty() ? "0" : foreignBefore_);
        }
    }

    void Seed(const std::function<void(TSimAccounts&)>& change) { store.Change(change); }
    TSimAccounts State() { return store.Load(); }
    Lines AppLog() {
        Lines records;
        if (const auto lines = fs::ReadTextLines(logs.File(u"Velmora.log"))) {
            for (std::size_t i = 1; i < lines->size(); ++i) {
                if (const auto record = ParseLogLine((*lines)[i]))
                    records.push_back(record->Title + u"|" + record->Description);
            }
        }
        return records;
    }
    void AddForeignShare(const std::u16string& name, const std::u16string& path) {
        Seed([&](TSimAccounts& s) {
            TShareInfo502 share;
            share.NetName = name;
            share.Path = path;
            share.MaxUses = 0xFFFFFFFF;
            share.SecurityDescriptor = {true, TAcl{}};
            s.Shares[UpperCase(name)] = share;
        });
    }

    TempFolder state;
    TempFolder logs;
    TempFolder folder;  // an existing local folder to share
    ScopedWinEnv simulation{L"DOCKVANE_SIMULATION", state.Path()};
    ScopedWinEnv temp{L"TMP", logs.Path()};
    ScopedWinEnv temp2{L"TEMP", logs.Path()};
    dv::testing::ScopedAppLogFolder appLog{logs.Path()};
    TSimAccountsStore store{state.Path(), &WithSimulationLock};
    std::unique_ptr<IShareApi> winShares = CreateWinShareApi();
    std::unique_ptr<IUserApi> winUsers = CreateWinUserApi();
    TSplitShareApi split{*winShares, store};
    TApplicationSettings settings{logs.File(u"Settings.ini")};
    TShareManager shares{split};
    TUserManager users{*winUsers, settings};
    std::string foreignBefore_;
};

// What the library answers, through the Win32 side's calls.
TEST_F(StandinTest, AnswersAsWindowsDoes) {
    AddForeignShare(u"Users", folder.Path());
    Seed([](TSimAccounts& s) { s.AddAccount(u"Staff", TSid::Make(5, {32, 999}), TSidNameUse::Alias); });
    ASSERT_EQ(winUsers->UserAdd1(NewUser(u"john", u"his password", u"John")).Code, 0u);

    TShareInfo502 share;
    share.NetName = u"BACKUP";
    share.Path = folder.Path();
    share.MaxUses = 4;
    share.SecurityDescriptor = {true, TAcl{}};
    struct Case {
        const char* what;
        std::function<TOsStatus()> call;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"a new share", [&] { return winShares->ShareAdd502(share); }, 0},
        {"the same name again, any case",
         [&] {
             TShareInfo502 again = share;
             again.NetName = u"backup";
             return winShares->ShareAdd502(again);
         },
         kDuplicateShare},
        {"a folder that does not exist",
         [&] {
             TShareInfo502 gone = share;
             gone.NetName = u"GONE";
             gone.Path = folder.File(u"no such folder");
             return winShares->ShareAdd502(gone);
         },
         kUnknownDevDir},
        {"a name with a character shares cannot hold",
         [&] {
             TShareInfo502 bad = share;
             bad.NetName = u"A:B";
             return winShares->ShareAdd502(bad);
         },
         123},
        {"an unknown share's record", [&] { return winShares->ShareGetInfo502(u"NOPE").Status; }, kNerrNetNameNotFound},
        {"an unknown share", [&] { return winShares->ShareGetInfo0(u"NOPE"); }, kNerrNetNameNotFound},
        {"changing an unknown share",
         [&] {
             TShareInfo502 unknown = share;
             unknown.NetName = u"NOPE";
             return winShares->ShareSetInfo502(unknown);
         },
         kNerrNetNameNotFound},
        {"deleting an unknown share", [&] { return winShares->ShareDel(u"NOPE"); }, kNerrNetNameNotFound},
        {"an existing account, any case", [&] { return winUsers->UserAdd1(NewUser(u"JOHN", u"another one")); },
         kUserExists},
        {"an account of a group's name", [&] { return winUsers->UserAdd1(NewUser(u"staff", u"another one")); },
         kUserExists},
        {"an unknown account", [&] { return winUsers->UserGetInfo0(u"nobody"); }, kNerrUserNotFound},
        {"a group is no user account", [&] { return winUsers->UserGetInfo1(u"Staff").Status; }, kNerrUserNotFound},
        {"deleting an unknown account", [&] { return winUsers->UserDel(u"nobody"); }, kNerrUserNotFound},
        {"a wrong old password", [&] { return winUsers->UserChangePassword(u"john", u"wrong", u"new one"); },
         kErrorInvalidPassword},
        {"a new password for an unknown account", [&] { return winUsers->UserSetPassword1003(u"nobody", u"x"); },
         kNerrUserNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TOsStatus status = c.call();
        EXPECT_EQ(status.Code, c.expected);
        EXPECT_FALSE(status.LastError);
    }
    // What was made reads back as it was given, descriptor included.
    const TShareGetInfo read = winShares->ShareGetInfo502(u"backup");
    ASSERT_TRUE(read.Status.ok());
    EXPECT_EQ(read.Info.NetName, u"BACKUP");
    EXPECT_EQ(UpperCase(read.Info.Path), UpperCase(folder.Path()));
    EXPECT_EQ(read.Info.MaxUses, 4u);
    EXPECT_EQ(read.Info.SecurityDescriptor, share.SecurityDescriptor);
    EXPECT_EQ(winUsers->UserGetInfo1(u"John").Comment, u"John");
    EXPECT_EQ(State().Shares.size(), 2u);
}

TEST_F(StandinTest, RecordsTheLevelsDoNotHoldAreRefused) {
    wchar_t name[] = L"X";
    LPBYTE buffer = nullptr;
    EXPECT_EQ(::NetShareGetInfo(nullptr, name, 503, &buffer), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(::NetUserGetInfo(nullptr, name, 4, &buffer), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    DWORD read = 0;
    DWORD total = 0;
    EXPECT_EQ(::NetUserEnum(nullptr, 3, 0, &buffer, MAX_PREFERRED_LENGTH, &read, &total, nullptr),
              static_cast<DWORD>(ERROR_INVALID_LEVEL));
    EXPECT_EQ(::NetUserAdd(nullptr, 1, nullptr, nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // A share record whose descriptor is no descriptor, and one that shares nothing.
    std::vector<BYTE> garbage(64, 0xEE);
    wchar_t share[] = L"BAD";
    std::wstring path = ToWide(folder.Path());
    SHARE_INFO_502 info{};
    info.shi502_netname = share;
    info.shi502_type = STYPE_DISKTREE;
    info.shi502_max_uses = 4;
    info.shi502_path = path.data();
    info.shi502_security_descriptor = garbage.data();
    DWORD parameter = 0;
    EXPECT_EQ(::NetShareAdd(nullptr, 502, reinterpret_cast<LPBYTE>(&info), &parameter),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(parameter, static_cast<DWORD>(SHARE_FILE_SD_PARMNUM));
    info.shi502_security_descriptor = nullptr;
    info.shi502_path = nullptr;
    EXPECT_EQ(::NetShareAdd(nullptr, 502, reinterpret_cast<LPBYTE>(&info), &parameter),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(parameter, static_cast<DWORD>(SHARE_PATH_PARMNUM));
    EXPECT_TRUE(State().Shares.empty());
    wchar_t remote[] = L"\\\\elsewhere";
    EXPECT_NE(::NetShareDel(remote, share, 0), static_cast<DWORD>(NERR_Success));
}

// A share's flags at level 1005 through the Win32 side's calls: set, read back, and a server that
// does not know the encryption flag.
TEST_F(StandinTest, ShareFlagsAtLevel1005) {
    constexpr std::uint32_t kAccessBasedEnumeration = 0x0800;
    TShareInfo502 share;
    share.NetName = u"BACKUP";
    share.Path = folder.Path();
    share.MaxUses = 4;
    share.SecurityDescriptor = {true, TAcl{}};
    ASSERT_EQ(winShares->ShareAdd502(share).Code, 0u);

    TShareFlags read = winShares->ShareGetInfo1005(u"backup");
    EXPECT_EQ(read.Status.Code, 0u);
    EXPECT_EQ(read.Flags, 0u);
    ASSERT_EQ(winShares->ShareSetInfo1005(u"backup", kAccessBasedEnumeration).Code, 0u);
    EXPECT_EQ(winShares->ShareGetInfo1005(u"BACKUP").Flags, kAccessBasedEnumeration);
    EXPECT_TRUE(shares.ShareSetEncryption(u"BACKUP"));
    read = winShares->ShareGetInfo1005(u"BACKUP");
    EXPECT_EQ(read.Status.Code, 0u);
    EXPECT_EQ(read.Flags, kAccessBasedEnumeration | kShi1005FlagsEncryptData);
    EXPECT_EQ(State().ShareFlags.at(u"BACKUP"), kAccessBasedEnumeration | kShi1005FlagsEncryptData);
    EXPECT_EQ(SimShareLines(State()).front().substr(SimShareLines(State()).front().rfind(u'\t')), u"\t0x8800");

    // An unknown share, and levels the calls do not have.
    EXPECT_EQ(winShares->ShareGetInfo1005(u"NOPE").Status.Code, kNerrNetNameNotFound);
    EXPECT_EQ(winShares->ShareSetInfo1005(u"NOPE", kShi1005FlagsEncryptData).Code, kNerrNetNameNotFound);
    wchar_t name[] = L"BACKUP";
    LPBYTE buffer = nullptr;
    EXPECT_EQ(::NetShareGetInfo(nullptr, name, 1006, &buffer), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    EXPECT_EQ(buffer, nullptr);
    SHARE_INFO_1005 flags{kShi1005FlagsEncryptData};
    EXPECT_EQ(::NetShareSetInfo(nullptr, name, 1006, reinterpret_cast<LPBYTE>(&flags), nullptr),
              static_cast<DWORD>(ERROR_INVALID_LEVEL));
    EXPECT_TRUE(AppLog().empty());

    // A server before SMB 3 refuses the flag: one line, and the share stays as it was.
    Seed([](TSimAccounts& s) {
        s.UnknownShareFlags = kShi1005FlagsEncryptData;
        s.ShareFlags.clear();
    });
    EXPECT_FALSE(shares.ShareSetEncryption(u"BACKUP"));
    EXPECT_EQ(winShares->ShareGetInfo1005(u"BACKUP").Flags, 0u);
    EXPECT_TRUE(shares.ShareExists(u"BACKUP"));
    const Lines log = AppLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find(std::u16string(kShareSetEncryptionErrorPrefix) + u"System Error.  Code: 87."),
              std::u16string::npos)
        << ToUtf8(log[0]);
}

TEST_F(StandinTest, LongEnumerationsComeInBatchesThatResume) {
    Seed([](TSimAccounts& s) {
        for (int i = 0; i < 40; ++i) {
            TSimAccounts::Account account;
            account.Info.Name = u"extdisk_" + IntToStr(i);
            account.Info.Comment = u"Velmora User";
            account.Sid = TSid::Make(5, {21, 1, 2, 3, static_cast<std::uint32_t>(2000 + i)});
            s.Accounts.push_back(account);
        }
    });
    const std::size_t accounts = SimAccountLines(State()).size();
    ASSERT_EQ(accounts, 42u);  // with Administrator and Guest

    Lines names;
    DWORD resume = 0;
    int batches = 0;
    NET_API_STATUS status = 0;
    do {
        LPBYTE buffer = nullptr;
        DWORD read = 0;
        DWORD total = 0;
        status = ::NetUserEnum(nullptr, 1, 0, &buffer, 512, &read, &total, &resume);
        ASSERT_TRUE(status == NERR_Success || status == ERROR_MORE_DATA) << status;
        ASSERT_GT(read, 0u);
        EXPECT_GE(total, read);
        const auto* entries = reinterpret_cast<const USER_INFO_1*>(buffer);
        for (DWORD i = 0; i < read; ++i) {
            names.push_back(FromWide(entries[i].usri1_name));
            EXPECT_EQ(entries[i].usri1_password, nullptr);  // never handed out
        }
        EXPECT_EQ(::NetApiBufferFree(buffer), static_cast<DWORD>(NERR_Success));
        ++batches;
    } while (status == ERROR_MORE_DATA && batches < 100);
    EXPECT_GT(batches, 1);
    EXPECT_EQ(names.size(), accounts);
    EXPECT_EQ(std::set<std::u16string>(names.begin(), names.end()).size(), accounts);

    // The account manager's own walk sees every one of them once.
    const Lines own = users.GetDockvaneUserList();
    EXPECT_EQ(own.size(), 40u);
}

TEST_F(StandinTest, BuffersThatAreNotGivenBackAreCountedAndForeignOnesRefused) {
    wchar_t name[] = L"C$";
    AddForeignShare(u"C$", u"C:\\");
    LPBYTE buffer = nullptr;
    ASSERT_EQ(::NetShareGetInfo(nullptr, name, 502, &buffer), static_cast<DWORD>(NERR_Success));
    EXPECT_EQ(BufferCounts(state)["unreleased"], "1");
    EXPECT_EQ(BufferCounts(state)["program"], "netapi32_standin_win_tests.exe");
    EXPECT_EQ(::NetApiBufferFree(buffer), static_cast<DWORD>(NERR_Success));
    EXPECT_EQ(BufferCounts(state)["unreleased"], "0");
    // Released twice, or memory the library never handed out.
    EXPECT_EQ(::NetApiBufferFree(buffer), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(BufferCounts(state)["foreign"],
              std::to_string(std::stoi(foreignBefore_.empty() ? "0" : foreignBefore_) + 1));
    foreignBefore_ = BufferCounts(state)["foreign"];
    EXPECT_EQ(::NetApiBufferFree(nullptr), static_cast<DWORD>(NERR_Success));
}

// What the share and account managers make of each answer: their log lines and results.
TEST_F(StandinTest, CountsAreNeverSeenHalfWritten) {
    // What a process killed at any moment leaves is what a reader sees at that moment: the reader
    // here looks every millisecond while the counts change. (A reader that never let go of the file
    // would keep the library from replacing it: it waits and tries again, as with the state files.)
    wchar_t name[] = L"C$";
    AddForeignShare(u"C$", u"C:\\");
    const std::wstring path = ToWide(state.File(u"netapi32-buffers-" + IntToStr(::GetCurrentProcessId()) + u".txt"));
    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::vector<std::string> damaged;
    std::thread reader([&] {
        while (!done) {
            ::Sleep(1);
            const HANDLE file =
                ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE) continue;
            char bytes[512];
            DWORD got = 0;
            const BOOL read = ::ReadFile(file, bytes, sizeof bytes, &got, nullptr);
            ::CloseHandle(file);
            const std::string text(bytes, read ? got : 0);
            ++reads;
            if (text.find("\nunreleased\t") == std::string::npos || !text.ends_with("\n")) {
                if (damaged.size() < 5) damaged.push_back(text);
            }
        }
    });
    for (int i = 0; i < 100; ++i) {
        LPBYTE buffer = nullptr;
        const DWORD status = ::NetShareGetInfo(nullptr, name, 502, &buffer);
        EXPECT_EQ(status, static_cast<DWORD>(NERR_Success));
        if (status != NERR_Success) break;
        EXPECT_EQ(::NetApiBufferFree(buffer), static_cast<DWORD>(NERR_Success));
    }
    done = true;
    reader.join();
    EXPECT_GT(reads, 0);
    EXPECT_EQ(damaged, std::vector<std::string>{});
}

TEST_F(StandinTest, TheManagersHandleEachAnswer) {
    Seed([](TSimAccounts& s) { s.MinPasswordLength = 14; });
    AddForeignShare(u"OLD", folder.Path());  // left by an earlier attach of the same folder

    // An unknown share: no error, no line.
    EXPECT_FALSE(shares.ShareExists(u"NOPE"));
    shares.ShareDelete(u"NOPE");
    EXPECT_FALSE(shares.SharePath(u"NOPE").has_value());
    // A share of a folder that is not there: one line with the code, and no share.
    shares.ShareCreate(u"GONE", u"", folder.File(u"gone"), false);
    EXPECT_FALSE(shares.ShareExists(u"GONE"));
    // A share of the same name is replaced, not refused as a duplicate.
    shares.ShareCreate(u"old", u"new remark", folder.Path(), false);
    EXPECT_EQ(State().Shares.at(u"OLD").Remark, u"new remark");
    EXPECT_EQ(State().Shares.at(u"OLD").SecurityDescriptor.Dacl->Aces.size(), 2u);  // Everyone, Administrators

    // Accounts: an unknown one is no error, a short password is.
    EXPECT_FALSE(users.UserExists(u"nobody"));
    users.UserDelete(u"nobody");
    users.UserChangePassword(u"nobody", u"a", u"b");
    try {
        users.UserAdd(u"extdisk_short", u"short", u"Velmora User");
        ADD_FAILURE() << "a password the policy refuses was taken";
    } catch (const EOSError& error) {
        EXPECT_EQ(error.ErrorCode(), kPasswordTooShort);
    }
    EXPECT_FALSE(users.UserExists(u"extdisk_short"));
    users.UserAdd(u"extdisk_long", u"a long enough password", u"Velmora User");
    try {
        users.UserAdd(u"EXTDISK_LONG", u"a long enough password", u"Velmora User");
        ADD_FAILURE() << "an account was made twice";
    } catch (const EOSError& error) {
        EXPECT_EQ(error.ErrorCode(), kUserExists);
    }
    // A wrong old password is set directly (NetUserSetInfo), within the policy.
    users.UserChangePassword(u"extdisk_long", u"forgotten", u"the new long password");
    EXPECT_EQ(State().FindAccount(u"extdisk_long")->Info.Password, u"the new long password");
    EXPECT_THROW(users.UserChangePassword(u"extdisk_long", u"the new long password", u"short"), EOSError);

    const Lines log = AppLog();
    ASSERT_EQ(log.size(), 1u) << (log.empty() ? "" : ToUtf8(log.back()));
    EXPECT_NE(log[0].find(std::u16string(kShareCreateErrorPrefix) + u"System Error.  Code: 2116."),
              std::u16string::npos)
        << ToUtf8(log[0]);
}

// A drive's attach through the real calls, for the answers that stop it.
class StandinDriveTest : public StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        if (WineHostPathOf(u"C:\\").empty()) GTEST_SKIP() << "not under Wine";
        for (char16_t c = u'Z'; c >= u'D' && letter == 0; --c) {
            if (::GetDriveTypeW(ToWide(std::u16string(1, c) + u":\\").c_str()) == DRIVE_NO_ROOT_DIR) letter = c;
        }
        ASSERT_NE(letter, 0);
        bay.Plug(letter, FromUtf8(WineHostPathOf(drive.Path())));
        users.UserAdd(u"dockvane", users.MakePassword(settings.FPasswordSalt), u"Velmora User");
    }
    void TearDown() override {
        if (letter != 0 && bay.IsPlugged(letter)) bay.Unplug(letter);
        StandinTest::TearDown();
    }
    std::u16string Root() const { return std::u16string(1, letter) + u":\\"; }
    void WriteConfig(const std::string& text) { dv::testing::WriteBytes(drive.path() / "velmora.conf", text); }

    TempFolder drive;
    TSimDriveBay bay{state.Path()};
    char16_t letter = 0;
    RecordingHost host{shares, users, settings};
    TNasManager registry{host};
};

TEST_F(StandinDriveTest, AttachOutcomes) {
    struct Case {
        const char* what;
        std::function<void()> prepare;
        std::string config;
        bool shared;
        bool throws;           // an error the central handler reports
        std::u16string box;    // the start of the one message box, or none
        std::u16string share;  // the share that stays afterwards
    };
    const std::u16string inUse = u"The share name \"users\" is already in use for ";
    const Case cases[] = {
        {"shared", [] {}, "[Share]\r\nShareName=BACKUP\r\n", true, false, u"", u"BACKUP"},
        {"a share name in use for another folder", [&] { AddForeignShare(u"Users", folder.Path()); },
         "[Share]\r\nShareName=users\r\n", false, false, inUse, u"USERS"},
        {"a per-drive account the password policy refuses: the share is rolled back",
         [&] { Seed([](TSimAccounts& s) { s.MinPasswordLength = 30; }); },
         "[Share]\r\nShareName=BACKUP\r\nShareUserName=extdisk_new\r\n", false, true, u"", u""},
        {"a per-drive account named like a group, which the account call would refuse as existing: stopped before",
         [&] {
             Seed([](TSimAccounts& s) { s.AddAccount(u"extdisk_team", TSid::Make(5, {32, 998}), TSidNameUse::Alias); });
         },
         "[Share]\r\nShareName=BACKUP\r\nShareUserName=extdisk_team\r\n", false, false, u"extdisk_team is a group",
         u""},
        {"an account nobody can resolve: the share is rolled back", [&] { settings.FDefaultShareUserName = u"ghost"; },
         "[Share]\r\nShareName=BACKUP\r\n", false, false, u"Permissions for the user: ghost is not installed!", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Each case starts from a computer with nothing shared.
        Seed([](TSimAccounts& s) {
            s.Shares.clear();
            s.MinPasswordLength = 0;
        });
        settings.FDefaultShareUserName = u"dockvane";
        host.errors.clear();
        c.prepare();
        WriteConfig(c.config);
        bool shared = false;
        bool threw = false;
        try {
            shared = registry.addNas(std::u16string(1, letter), true);
        } catch (const EOSError&) {
            threw = true;
        }
        EXPECT_EQ(shared, c.shared);
        EXPECT_EQ(threw, c.throws);
        if (c.box.empty()) {
            EXPECT_TRUE(host.errors.empty()) << ToUtf8(host.errors.front());
        } else {
            ASSERT_EQ(host.errors.size(), 1u);
            EXPECT_TRUE(host.errors[0].starts_with(c.box)) << ToUtf8(host.errors[0]);
        }
        const TSimAccounts after = State();
        if (c.share.empty()) {
            EXPECT_TRUE(after.Shares.empty());
        } else {
            ASSERT_EQ(after.Shares.size(), 1u);
            EXPECT_EQ(after.Shares.begin()->first, c.share);
        }
        if (shared) {
            EXPECT_EQ(after.Shares.at(u"BACKUP").Path, Root());
            // The account got the rights on the share.
            const auto& aces = after.Shares.at(u"BACKUP").SecurityDescriptor.Dacl->Aces;
            EXPECT_EQ(aces.back().Sid(), after.FindAccount(u"dockvane")->Sid);
            EXPECT_EQ(aces.back().Mask, kGenericAll);
            EXPECT_TRUE(registry.removeNas(std::u16string(1, letter)));
            EXPECT_TRUE(State().Shares.empty());
        }
        EXPECT_EQ(after.FindAccount(u"extdisk_new"), nullptr);
    }
}

// A drive whose file asks for encryption is shared with the flag; a server that refuses it does not
// get the drive: its share goes again, and no account has rights on it.
TEST_F(StandinDriveTest, EncryptedAttach) {
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "refused" : "taken");
        Seed([&](TSimAccounts& s) {
            s.Shares.clear();
            s.UnknownShareFlags = refused ? kShi1005FlagsEncryptData : 0;
        });
        WriteConfig("[Share]\r\nShareName=BACKUP\r\nEncrypt=True\r\n");
        EXPECT_EQ(registry.addNas(std::u16string(1, letter), true), !refused);
        EXPECT_TRUE(host.errors.empty());
        const TSimAccounts after = State();
        if (refused) {
            EXPECT_TRUE(after.Shares.empty());
            ASSERT_FALSE(host.warnings.empty());
            EXPECT_NE(host.warnings.back().find(u"Windows refused to encrypt it"), std::u16string::npos);
            EXPECT_EQ(registry.getNasByname(std::u16string(1, letter)), nullptr);
            continue;
        }
        ASSERT_EQ(after.Shares.count(u"BACKUP"), 1u);
        EXPECT_EQ(after.Shares.at(u"BACKUP").SecurityDescriptor.Dacl->Aces.back().Mask, kGenericAll);
        EXPECT_TRUE(after.ShareFlags.contains(u"BACKUP"));
        EXPECT_TRUE(registry.removeNas(std::u16string(1, letter)));
    }
}

}  // namespace
}  // namespace dv
