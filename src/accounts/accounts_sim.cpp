#include "accounts/accounts_sim.h"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <utility>

#include "platform/files.h"
#include "platform/text.h"

namespace dv {

namespace {

// What the server service refuses in a share record's name and remark: 0 when it takes them.
std::uint32_t ShareRecordError(const TShareInfo502& info) {
    if (info.NetName.empty()) return kErrorInvalidParameter;
    if (info.NetName.size() > kMaxShareNetNameLength) return kErrorInvalidName;
    for (char16_t c : info.NetName) {
        if (c < 0x20 || c == 0x7F || std::u16string_view(u"\"/\\[]:|<>+=;,*?").find(c) != std::u16string_view::npos) {
            return kErrorInvalidName;
        }
    }
    if (info.Remark.size() > kMaxShareRemarkLength) return kErrorInvalidParameter;
    return 0;
}

// The machine part of the simulated computer's account SIDs.
TSid LocalSid(std::uint32_t rid) {
    return TSid::Make(5, {21, 1111111111, 2222222222, 3333333333, rid});
}

}  // namespace

TSimAccounts::TSimAccounts() {
    AddAccount(u"Administrator", LocalSid(500), TSidNameUse::User);
    AddAccount(u"Guest", LocalSid(kGuestRid), TSidNameUse::User);
    AddAccount(u"Everyone", EveryoneSid(), TSidNameUse::WellKnownGroup);
    AddAccount(u"Users", TSid::Make(5, {32, 545}), TSidNameUse::Alias);
    AddAccount(u"Administrators", AdministratorsSid(), TSidNameUse::Alias);
}

std::optional<TOsStatus> TSimAccounts::Fail(const char* operation) {
    ++Calls[operation];
    auto failure = Failures.find(operation);
    if (failure == Failures.end()) return std::nullopt;
    return failure->second;
}

const TSimAccounts::Account* TSimAccounts::FindAccount(std::u16string_view name) const {
    auto account = std::find_if(Accounts.begin(), Accounts.end(),
                                [&](const Account& a) { return EqualsIgnoreCase(a.Info.Name, name); });
    return account == Accounts.end() ? nullptr : &*account;
}

void TSimAccounts::AddFolder(const std::u16string& path, std::optional<TAcl> dacl) {
    TSecurityDescriptor descriptor;
    descriptor.DaclPresent = dacl.has_value();
    descriptor.Dacl = std::move(dacl);
    Folders[UpperCase(path)] = std::move(descriptor);
}

void TSimAccounts::AddAccount(const std::u16string& name, const TSid& sid, TSidNameUse use) {
    Account account;
    account.Info.Name = name;
    account.Sid = sid;
    account.Use = use;
    Accounts.push_back(std::move(account));
}

TJoinInformation TSimAccounts::GetJoinInformation() {
    if (auto failure = Fail("GetJoinInformation")) return {*failure, 0};
    return {TOsStatus{}, JoinStatus};
}

TOsStatus TSimAccounts::ShareGetInfo0(const std::u16string& name) {
    if (auto failure = Fail("ShareGetInfo0")) return *failure;
    return Shares.contains(UpperCase(name)) ? TOsStatus{} : TOsStatus::Net(kNerrNetNameNotFound);
}

TShareGetInfo TSimAccounts::ShareGetInfo502(const std::u16string& name) {
    if (auto failure = Fail("ShareGetInfo502")) return {*failure, {}};
    auto share = Shares.find(UpperCase(name));
    if (share == Shares.end()) return {TOsStatus::Net(kNerrNetNameNotFound), {}};
    return {TOsStatus{}, share->second};
}

TOsStatus TSimAccounts::ShareAdd502(const TShareInfo502& info) {
    if (auto failure = Fail("ShareAdd502")) return *failure;
    if (const std::uint32_t refused = ShareRecordError(info)) return TOsStatus::Net(refused);
    if (info.Path.empty()) return TOsStatus::Net(kErrorInvalidParameter);
    if (info.Type != kStypeDisktree) return TOsStatus::Net(kErrorNotSupported);
    auto [share, added] = Shares.try_emplace(UpperCase(info.NetName), info);
    if (!added) return TOsStatus::Net(kNerrShareExists);
    ShareFlags.erase(share->first);
    return {};
}

TOsStatus TSimAccounts::ShareSetInfo502(const TShareInfo502& info) {
    if (auto failure = Fail("ShareSetInfo502")) return *failure;
    if (const std::uint32_t refused = ShareRecordError(info)) return TOsStatus::Net(refused);
    auto share = Shares.find(UpperCase(info.NetName));
    if (share == Shares.end()) return TOsStatus::Net(kNerrNetNameNotFound);
    share->second = info;
    return {};
}

TShareFlags TSimAccounts::ShareGetInfo1005(const std::u16string& name) {
    if (auto failure = Fail("ShareGetInfo1005")) return {*failure, 0};
    const std::u16string key = UpperCase(name);
    if (!Shares.contains(key)) return {TOsStatus::Net(kNerrNetNameNotFound), 0};
    const auto flags = ShareFlags.find(key);
    return {TOsStatus{}, flags == ShareFlags.end() ? 0 : flags->second};
}

TOsStatus TSimAccounts::ShareSetInfo1005(const std::u16string& name, std::uint32_t flags) {
    if (auto failure = Fail("ShareSetInfo1005")) return *failure;
    const std::u16string key = UpperCase(name);
    if (!Shares.contains(key)) return TOsStatus::Net(kNerrNetNameNotFound);
    if (flags & UnknownShareFlags) return TOsStatus::Net(kErrorInvalidParameter);
    if (flags == 0) {
        ShareFlags.erase(key);
    } else {
        ShareFlags[key] = flags;
    }
    return {};
}

TOsStatus TSimAccounts::ShareDel(const std::u16string& name) {
    if (auto failure = Fail("ShareDel")) return *failure;
    const std::u16string key = UpperCase(name);
    ShareFlags.erase(key);
    return Shares.erase(key) ? TOsStatus{} : TOsStatus::Net(kNerrNetNameNotFound);
}

void TSimAccounts::NotifyShareChanged(const std::u16string& path) {
    ++Calls["NotifyShareChanged"];
    ShellNotifications.push_back(path);
}

TAccountLookup TSimAccounts::LookupAccount(const std::u16string& name) {
    TAccountLookup lookup;
    if (auto failure = Fail("LookupAccount")) {
        lookup.SizeQueryError = failure->Code;
        return lookup;
    }
    const Account* account = FindAccount(name);
    if (!account || name.empty()) {
        lookup.SizeQueryError = kErrorNoneMapped;
        return lookup;
    }
    lookup.Sid = account->Sid;
    lookup.Use = account->Use;
    return lookup;
}

TFileSecurity TSimAccounts::GetFileDacl(const std::u16string& path) {
    if (auto failure = Fail("GetFileDacl")) return {*failure, {}};
    auto folder = Folders.find(UpperCase(path));
    if (folder == Folders.end()) return {TOsStatus::Last(fs::kFileNotFound), {}};
    return {TOsStatus{}, folder->second};
}

TOsStatus TSimAccounts::SetFileDacl(const std::u16string& path, const TAcl& dacl) {
    if (auto failure = Fail("SetFileDacl")) return *failure;
    auto folder = Folders.find(UpperCase(path));
    if (folder == Folders.end()) return TOsStatus::Last(fs::kFileNotFound);
    folder->second = {true, dacl};
    return {};
}

TOsStatus TSimAccounts::UserGetInfo0(const std::u16string& name) {
    if (auto failure = Fail("UserGetInfo0")) return *failure;
    const Account* account = FindAccount(name);
    return account && account->Use == TSidNameUse::User ? TOsStatus{} : TOsStatus::Net(kNerrUserNotFound);
}

TUserComment TSimAccounts::UserGetInfo1(const std::u16string& name) {
    if (auto failure = Fail("UserGetInfo1")) return {*failure, {}};
    const Account* account = FindAccount(name);
    if (!account || account->Use != TSidNameUse::User) return {TOsStatus::Net(kNerrUserNotFound), {}};
    return {TOsStatus{}, account->Info.Comment};
}

TOsStatus TSimAccounts::UserAdd1(const TUserInfo1& info) {
    if (auto failure = Fail("UserAdd1")) return *failure;
    if (info.Name.empty()) return TOsStatus::Net(kErrorInvalidParameter);
    if (FindAccount(info.Name)) return TOsStatus::Net(kNerrUserExists);
    if (info.Password.size() < MinPasswordLength) return TOsStatus::Net(kNerrPasswordTooShort);
    Account account;
    account.Info = info;
    account.Sid = LocalSid(nextRid_++);
    Accounts.push_back(std::move(account));
    return {};
}

TOsStatus TSimAccounts::UserChangePassword(const std::u16string& name, const std::u16string& oldPassword,
                                           const std::u16string& newPassword) {
    if (auto failure = Fail("UserChangePassword")) return *failure;
    auto* account = const_cast<Account*>(FindAccount(name));
    if (!account || account->Use != TSidNameUse::User) return TOsStatus::Net(kNerrUserNotFound);
    if (account->Info.Password != oldPassword) return TOsStatus::Net(kErrorInvalidPassword);
    if (newPassword.size() < MinPasswordLength) return TOsStatus::Net(kNerrPasswordTooShort);
    account->Info.Password = newPassword;
    return {};
}

TOsStatus TSimAccounts::UserSetPassword1003(const std::u16string& name, const std::u16string& password) {
    if (auto failure = Fail("UserSetPassword1003")) return *failure;
    auto* account = const_cast<Account*>(FindAccount(name));
    if (!account || account->Use != TSidNameUse::User) return TOsStatus::Net(kNerrUserNotFound);
    if (password.size() < MinPasswordLength) return TOsStatus::Net(kNerrPasswordTooShort);
    account->Info.Password = password;
    return {};
}

TOsStatus TSimAccounts::HideFromSignIn(const std::u16string& name) {
    if (auto failure = Fail("HideFromSignIn")) return *failure;
    HiddenFromSignIn.insert(name);
    return {};
}

TOsStatus TSimAccounts::ShowOnSignIn(const std::u16string& name) {
    if (auto failure = Fail("ShowOnSignIn")) return *failure;
    HiddenFromSignIn.erase(name);
    return {};
}

TOsStatus TSimAccounts::UserDel(const std::u16string& name) {
    if (auto failure = Fail("UserDel")) return *failure;
    auto account = std::find_if(Accounts.begin(), Accounts.end(), [&](const Account& a) {
        return a.Use == TSidNameUse::User && EqualsIgnoreCase(a.Info.Name, name);
    });
    if (account == Accounts.end()) return TOsStatus::Net(kNerrUserNotFound);
    Accounts.erase(account);
    return {};
}

TUserEnumBatch TSimAccounts::UserEnum1(std::uint32_t& resumeHandle) {
    TUserEnumBatch batch;
    if (auto failure = Fail("UserEnum1")) {
        batch.Status = *failure;
        return batch;
    }
    const std::size_t begin = std::min<std::size_t>(resumeHandle, Accounts.size());
    const std::size_t end = std::min(Accounts.size(), begin + std::max<std::size_t>(EnumBatchSize, 1));
    for (std::size_t i = begin; i < end; ++i) {
        if (Accounts[i].Use == TSidNameUse::User) batch.Names.push_back(Accounts[i].Info.Name);
    }
    resumeHandle = static_cast<std::uint32_t>(end);
    batch.Status = end < Accounts.size() ? TOsStatus::Net(kErrorMoreData) : TOsStatus{};
    return batch;
}

}  // namespace dv
