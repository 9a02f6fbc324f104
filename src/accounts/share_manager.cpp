#include "accounts/share_manager.h"

#include <utility>

#include "logging/logs.h"
#include "platform/text.h"

namespace dv {

namespace {

std::u16string RefusalText(TShareAccountVerdict verdict, std::u16string_view name) {
    // The name comes from a drive's file or the user's entry, and is shown and logged as it stands.
    const std::u16string account = VisibleText(name);
    constexpr std::u16string_view kOnlyOne = u"; Dockvane opens a drive only to one account or a small group";
    switch (verdict) {
        case TShareAccountVerdict::BroadGroup:
            return account + u" is a group that many people belong to" + std::u16string(kOnlyOne);
        case TShareAccountVerdict::GuestAccount:
            return account + u" is the guest account, which anybody may use" + std::u16string(kOnlyOne);
        case TShareAccountVerdict::GroupOutsideDomain:
            return account + u" is a group; outside a domain Dockvane opens a drive only to one user account";
        case TShareAccountVerdict::LocalGroupInDomain:
            return account +
                   u" is a group of this computer; in a domain Dockvane opens a drive only to one account or one "
                   u"domain group";
        case TShareAccountVerdict::NotAnAccount:
            return account + u" is not the account of a person or a group of people" + std::u16string(kOnlyOne);
        case TShareAccountVerdict::Allowed: break;
    }
    return {};
}

}  // namespace

TShareManagerLog ApplicationLog() {
    return {[](std::u16string_view text) { LogError(text); },
            [](std::u16string_view title, std::u16string_view text) { LogApp(title, text); }};
}

TShareManager::TShareManager(IShareApi& api, TShareManagerLog log) : api_(api), log_(std::move(log)) {}

bool TShareManager::IsComputerInDomain() {
    const TJoinInformation join = api_.GetJoinInformation();
    return join.Status.ok() && join.JoinStatus == kNetSetupDomainName;
}

bool TShareManager::ShareExists(const std::u16string& ShareName) {
    if (ShareName.empty()) return false;
    const TOsStatus status = api_.ShareGetInfo0(ShareName);
    if (status.ok()) return true;
    if (status.Code == kNerrNetNameNotFound) return false;
    log_.Error(std::u16string(kShareExistsErrorPrefix) + OSStatusMessage(status));
    return false;
}

void TShareManager::ShareDelete(const std::u16string& ShareName) {
    if (ShareName.empty()) return;
    const TOsStatus status = api_.ShareDel(ShareName);
    if (status.ok() || status.Code == kNerrNetNameNotFound) return;
    log_.Error(std::u16string(kShareDeleteErrorPrefix) + OSStatusMessage(status));
}

std::optional<std::u16string> TShareManager::SharePath(const std::u16string& ShareName) {
    if (ShareName.empty()) return std::nullopt;
    const TShareGetInfo share = api_.ShareGetInfo502(ShareName);
    if (share.Status.ok()) return share.Info.Path;
    if (share.Status.Code == kNerrNetNameNotFound && !share.Status.LastError) return std::nullopt;
    log_.Error(std::u16string(kSharePathErrorPrefix) + OSStatusMessage(share.Status));
    return std::u16string();
}

void TShareManager::ShareDeleteAt(const std::u16string& ShareName, const std::u16string& LocalPath) {
    const std::optional<std::u16string> path = SharePath(ShareName);
    if (path && EqualsIgnoreCase(*path, LocalPath)) ShareDelete(ShareName);
}

void TShareManager::ShareCreate(const std::u16string& ShareName, const std::u16string& ShareDescription,
                                const std::u16string& LocalPath, bool /*Temporary*/) {
    if (ShareName.empty()) return;
    if (ShareExists(ShareName)) {
        // Only Dockvane's own share of this folder is replaced (with whatever rights it carried); a
        // name in use elsewhere belongs to someone else.
        const std::optional<std::u16string> path = SharePath(ShareName);
        if (path && !EqualsIgnoreCase(*path, LocalPath)) {
            log_.Error(u"Class:TShareManager Method:ShareCreate  The share name \"" + ShareName + u"\" is in use for " +
                       *path + u"; not replaced by one for " + LocalPath);
            return;
        }
        ShareDelete(ShareName);
    }

    TShareInfo502 info;
    info.NetName = ShareName;
    info.Type = kStypeDisktree;
    info.Remark = ShareDescription;
    info.Permissions = kAccessWrite;
    info.MaxUses = kShareMaxUses;
    info.CurrentUses = 0;
    info.Path = LocalPath;
    info.Passwd = std::nullopt;
    info.Reserved = 0;
    info.SecurityDescriptor = ShareCreationDescriptor();
    TOsStatus added;
    try {
        added = api_.ShareAdd502(info);
    } catch (...) {
        api_.NotifyShareChanged(LocalPath);
        throw;
    }
    if (!added.ok()) log_.Error(std::u16string(kShareCreateErrorPrefix) + OSStatusMessage(added));
    // Explorer shows the folder's shared state only when told.
    api_.NotifyShareChanged(LocalPath);
}

bool TShareManager::ShareSetEncryption(const std::u16string& ShareName) {
    if (ShareName.empty()) return false;
    TShareFlags share = api_.ShareGetInfo1005(ShareName);
    TOsStatus status = share.Status;
    if (status.ok()) {
        if (share.Flags & kShi1005FlagsEncryptData) return true;
        status = api_.ShareSetInfo1005(ShareName, share.Flags | kShi1005FlagsEncryptData);
    }
    if (status.ok()) return true;
    log_.Error(std::u16string(kShareSetEncryptionErrorPrefix) + OSStatusMessage(status));
    return false;
}

bool TShareManager::SetAccesRights(const std::u16string& LocalPath, const std::u16string& ShareName,
                                   const std::u16string& ShareUserName) {
    if (ShareName.empty()) return false;
    // The account comes from a drive's configuration file, which whoever wrote the drive controls: a
    // broad group (Everyone, Users) or the built-in Guest would open the drive to anybody on the
    // network. Whether a group may have a drive at all is the caller's to decide (only in a domain);
    // here nothing broad ever gets one.
    const TAccountLookup account = api_.LookupAccount(ShareUserName);
    if (account.SizeQueryError != 0 || account.LookupError != 0) return false;
    if (ClassifyShareAccount(account.Sid, account.Use, true) != TShareAccountVerdict::Allowed) return false;
    try {
        (void)FileAddAccesRights(LocalPath, ShareUserName, kGenericAll);
        (void)ShareAddAccesRights(ShareName, ShareUserName, kGenericAll);
        // The second pass replaces the first pass's entry: the folder ends with one explicit entry.
        (void)FileAddAccesRights(LocalPath, ShareUserName, kGenericAll);
    } catch (const Exception&) {
        return false;
    }
    return true;
}

std::optional<std::u16string> TShareManager::ShareAccountRefusal(const std::u16string& UserName, bool DomainMode) {
    if (UserName.empty()) return std::nullopt;
    const TAccountLookup account = api_.LookupAccount(UserName);
    if (account.SizeQueryError != 0 || account.LookupError != 0) return std::nullopt;
    const TShareAccountVerdict verdict = ClassifyShareAccount(account.Sid, account.Use, DomainMode);
    if (verdict == TShareAccountVerdict::Allowed) return std::nullopt;
    return RefusalText(verdict, UserName);
}

TAccountLookup TShareManager::Lookup(const std::u16string& UserName) {
    TAccountLookup account = api_.LookupAccount(UserName);
    if (account.SizeQueryError != 0) RaiseLastOSError(account.SizeQueryError);
    return account;
}

bool TShareManager::ShareAddAccesRights(const std::u16string& ShareName, const std::u16string& UserName,
                                        std::uint32_t AccessMask) {
    if (ShareName.empty() || UserName.empty()) return false;
    const TAccountLookup account = Lookup(UserName);
    try {
        if (account.LookupError != 0) RaiseLastOSError(account.LookupError);
        TShareGetInfo share = api_.ShareGetInfo502(ShareName);
        RaiseIfFailed(share.Status);
        if (!share.Info.SecurityDescriptor.HasDacl()) return false;
        TAcl merged = ShareAddAce(*share.Info.SecurityDescriptor.Dacl, account.Sid, AccessMask);
        // The share record goes back as it was read, with only its descriptor replaced.
        TShareInfo502 info = std::move(share.Info);
        info.SecurityDescriptor = {true, std::move(merged)};
        RaiseIfFailed(api_.ShareSetInfo502(info));
        return true;
    } catch (const EOSError& error) {
        log_.Error(std::u16string(kShareAddAccesRightsErrorPrefix) + error.Message());
        return false;
    }
}

bool TShareManager::FileAddAccesRights(const std::u16string& FileName, const std::u16string& UserName,
                                       std::uint32_t AccessMask) {
    const TAccountLookup account = Lookup(UserName);
    try {
        if (account.LookupError != 0) RaiseLastOSError(account.LookupError);
        const TFileSecurity security = api_.GetFileDacl(FileName);
        RaiseIfFailed(security.Status);
        // A volume without access control (FAT) reports no DACL: nothing to change.
        if (!security.Descriptor.HasDacl()) return false;
        RaiseIfFailed(api_.SetFileDacl(FileName, FileAddAce(*security.Descriptor.Dacl, account.Sid, AccessMask)));
        return true;
    } catch (const EOSError& error) {
        log_.App(u"ERROR", std::u16string(kFileAddAccesRightsErrorPrefix) + error.Message());
        return false;
    }
}

}  // namespace dv
