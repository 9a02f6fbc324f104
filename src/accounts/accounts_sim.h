// A simulated system for shares and accounts: local accounts with their passwords, well-known
// accounts, shares with their descriptors, folder DACLs and domain membership, all in memory.
// Accounts it creates resolve through its own lookup, as they do on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/share_api.h"
#include "accounts/user_api.h"

namespace dv {

class TSimAccounts : public IShareApi, public IUserApi {
public:
    struct Account {
        TUserInfo1 Info;
        TSid Sid;
        TSidNameUse Use = TSidNameUse::User;
    };

    // A computer with the built-in accounts Administrator, Guest, the groups Everyone, Users and
    // Administrators, no shares, in a workgroup.
    TSimAccounts();

    // --- IShareApi ---
    TJoinInformation GetJoinInformation() override;
    TOsStatus ShareGetInfo0(const std::u16string& name) override;
    TShareGetInfo ShareGetInfo502(const std::u16string& name) override;
    TOsStatus ShareAdd502(const TShareInfo502& info) override;
    TOsStatus ShareSetInfo502(const TShareInfo502& info) override;
    TShareFlags ShareGetInfo1005(const std::u16string& name) override;
    TOsStatus ShareSetInfo1005(const std::u16string& name, std::uint32_t flags) override;
    TOsStatus ShareDel(const std::u16string& name) override;
    void NotifyShareChanged(const std::u16string& path) override;
    TAccountLookup LookupAccount(const std::u16string& name) override;
    TFileSecurity GetFileDacl(const std::u16string& path) override;
    TOsStatus SetFileDacl(const std::u16string& path, const TAcl& dacl) override;

    // --- IUserApi ---
    TOsStatus UserGetInfo0(const std::u16string& name) override;
    TUserComment UserGetInfo1(const std::u16string& name) override;
    TOsStatus UserAdd1(const TUserInfo1& info) override;
    TOsStatus UserChangePassword(const std::u16string& name, const std::u16string& oldPassword,
                                 const std::u16string& newPassword) override;
    TOsStatus UserSetPassword1003(const std::u16string& name, const std::u16string& password) override;
    TOsStatus UserDel(const std::u16string& name) override;
    TUserEnumBatch UserEnum1(std::uint32_t& resumeHandle) override;
    TOsStatus HideFromSignIn(const std::u16string& name) override;
    TOsStatus ShowOnSignIn(const std::u16string& name) override;

    // --- The simulated computer's state, for tests and the simulation mode ---
    std::uint32_t JoinStatus = 2;  // NetSetupWorkgroupName
    // Accounts in the order they were made; names compare without regard to case.
    std::vector<Account> Accounts;
    std::map<std::u16string, TShareInfo502> Shares;  // key: upper-cased share name
    // The shares' level-1005 flags (key as in Shares); a share without an entry has none. A share
    // made anew starts without.
    std::map<std::u16string, std::uint32_t> ShareFlags;
    // Flags the server does not know, as a server before SMB 3 knows no encryption: a change that
    // sets one of them is refused with ERROR_INVALID_PARAMETER.
    std::uint32_t UnknownShareFlags = 0;
    std::map<std::u16string, TSecurityDescriptor> Folders;  // key: upper-cased path
    std::vector<std::u16string> ShellNotifications;
    // The value names under the sign-in screen's UserList key, as written.
    std::set<std::u16string> HiddenFromSignIn;
    // Passwords shorter than this are refused by the password policy (NERR_PasswordTooShort).
    std::size_t MinPasswordLength = 0;
    // Entries of the account database that one NetUserEnum batch walks; it returns the user
    // accounts among them, so a batch over groups alone says "more data" with no entries.
    std::size_t EnumBatchSize = 3;
    // Operation name (as the IShareApi/IUserApi member is named) -> the status it answers instead.
    std::map<std::string, TOsStatus> Failures;
    // Every call, by operation name.
    std::map<std::string, int> Calls;

    const Account* FindAccount(std::u16string_view name) const;
    // A folder with the given DACL, or one without a DACL (a FAT volume) for nothing.
    void AddFolder(const std::u16string& path, std::optional<TAcl> dacl);
    // Adds an account of any kind (a group, a domain account) as it is found by the lookup.
    void AddAccount(const std::u16string& name, const TSid& sid, TSidNameUse use);
    // The relative identifier the next account gets; identifiers are never given out twice, so that
    // rights left behind by a deleted account never pass to a new one.
    std::uint32_t NextRid() const { return nextRid_; }
    void SetNextRid(std::uint32_t rid) { nextRid_ = rid; }

private:
    std::optional<TOsStatus> Fail(const char* operation);

    std::uint32_t nextRid_ = 1000;
};

// Shares through one side and account lookup with folder rights through another: the simulation
// mode under Wine makes its share calls for real (against a network-management library that keeps
// the simulation's state) but cannot resolve the accounts made there, nor keep rights on a drive it
// plugged in, so those come from the simulated state.
class TSplitShareApi : public IShareApi {
public:
    TSplitShareApi(IShareApi& network, IShareApi& security) : network_(network), security_(security) {}

    TJoinInformation GetJoinInformation() override { return network_.GetJoinInformation(); }
    TOsStatus ShareGetInfo0(const std::u16string& name) override { return network_.ShareGetInfo0(name); }
    TShareGetInfo ShareGetInfo502(const std::u16string& name) override { return network_.ShareGetInfo502(name); }
    TOsStatus ShareAdd502(const TShareInfo502& info) override { return network_.ShareAdd502(info); }
    TOsStatus ShareSetInfo502(const TShareInfo502& info) override { return network_.ShareSetInfo502(info); }
    TShareFlags ShareGetInfo1005(const std::u16string& name) override { return network_.ShareGetInfo1005(name); }
    TOsStatus ShareSetInfo1005(const std::u16string& name, std::uint32_t flags) override {
        return network_.ShareSetInfo1005(name, flags);
    }
    TOsStatus ShareDel(const std::u16string& name) override { return network_.ShareDel(name); }
    void NotifyShareChanged(const std::u16string& path) override { network_.NotifyShareChanged(path); }
    TAccountLookup LookupAccount(const std::u16string& name) override { return security_.LookupAccount(name); }
    TFileSecurity GetFileDacl(const std::u16string& path) override { return security_.GetFileDacl(path); }
    TOsStatus SetFileDacl(const std::u16string& path, const TAcl& dacl) override {
        return security_.SetFileDacl(path, dacl);
    }

private:
    IShareApi& network_;
    IShareApi& security_;
};

}  // namespace dv
