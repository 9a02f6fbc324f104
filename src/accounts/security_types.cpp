#include "accounts/security_types.h"

#include <algorithm>
#include <utility>

#include "platform/text.h"

namespace dv {

namespace {

TAce MakeAce(std::uint8_t type, const TSid& sid, std::uint32_t mask, std::uint8_t flags) {
    TAce ace;
    ace.Type = type;
    ace.Flags = flags;
    ace.Mask = mask;
    ace.Body = sid.Bytes();
    return ace;
}

}  // namespace

TSid TSid::Make(std::uint64_t authority, std::vector<std::uint32_t> subAuthorities) {
    TSid sid;
    for (int i = 0; i < 6; ++i) sid.Authority[5 - i] = static_cast<std::uint8_t>(authority >> (8 * i));
    sid.SubAuthorities = std::move(subAuthorities);
    return sid;
}

std::optional<TSid> TSid::FromBytes(const std::uint8_t* bytes, std::size_t size) {
    if (size < 8 || bytes[0] != 1) return std::nullopt;
    const std::size_t count = bytes[1];
    if (count > kMaxSubAuthorities || size < 8 + 4 * count) return std::nullopt;
    TSid sid;
    std::copy(bytes + 2, bytes + 8, sid.Authority.begin());
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = bytes + 8 + 4 * i;  // sub-authorities are little-endian
        sid.SubAuthorities.push_back(static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                                     static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
    }
    return sid;
}

std::vector<std::uint8_t> TSid::Bytes() const {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(Length());
    bytes.push_back(1);
    bytes.push_back(static_cast<std::uint8_t>(SubAuthorities.size()));
    for (std::uint8_t b : Authority) bytes.push_back(b);
    for (std::uint32_t sub : SubAuthorities) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(sub >> (8 * i)));
    }
    return bytes;
}

std::u16string TSid::ToString() const {
    std::uint64_t authority = 0;
    for (std::uint8_t b : Authority) authority = authority << 8 | b;
    std::u16string text = u"S-1-";
    text.append(IntToStr(static_cast<std::int64_t>(authority)));
    for (std::uint32_t sub : SubAuthorities) {
        text.push_back(u'-');
        text.append(IntToStr(sub));
    }
    return text;
}

namespace {

constexpr std::uint64_t kAzureAdAuthority = 12;

std::uint64_t AuthorityOf(const TSid& sid) {
    std::uint64_t authority = 0;
    for (std::uint8_t b : sid.Authority) authority = authority << 8 | b;
    return authority;
}

bool IsAccountDomainSid(const TSid& sid) {
    return AuthorityOf(sid) == kNtAuthority && sid.SubAuthorities.size() >= 2 &&
           sid.SubAuthorities.front() == kNtNonUniqueRid;
}

// Where the accounts and groups of people live: a computer's or a domain's account database, or a
// cloud directory (S-1-12-1-...).
bool IsPeoplesAccountSid(const TSid& sid) {
    return IsAccountDomainSid(sid) ||
           (AuthorityOf(sid) == kAzureAdAuthority && !sid.SubAuthorities.empty() && sid.SubAuthorities.front() == 1);
}

// Groups that anybody, or everybody of a kind, belongs to.
bool IsBroadGroupSid(const TSid& sid) {
    const std::uint64_t authority = AuthorityOf(sid);
    const std::vector<std::uint32_t>& sub = sid.SubAuthorities;
    if (authority == kWorldAuthority) return true;  // Everyone
    if (authority == kLocalAuthority) return true;  // LOCAL, CONSOLE LOGON
    if (authority == kAppPackageAuthority) {
        // ALL APPLICATION PACKAGES, ALL RESTRICTED APPLICATION PACKAGES
        return sub.size() == 2 && sub[0] == 2 && (sub[1] == 1 || sub[1] == 2);
    }
    if (authority != kNtAuthority || sub.empty()) return false;
    if (sub.size() == 1) {
        switch (sub[0]) {
            case 1:     // DIALUP
            case 2:     // NETWORK
            case 3:     // BATCH
            case 4:     // INTERACTIVE
            case 6:     // SERVICE
            case 7:     // ANONYMOUS LOGON
            case 8:     // PROXY
            case 11:    // Authenticated Users
            case 13:    // TERMINAL SERVER USER
            case 14:    // REMOTE INTERACTIVE LOGON
            case 15:    // This Organization
            case 113:   // Local account
            case 114:   // Local account and member of Administrators group
            case 1000:  // Other Organization
                return true;
            default: return false;
        }
    }
    if (sub[0] == 64) return true;  // NTLM, SChannel and Digest Authentication
    if (sub[0] == kBuiltinDomainRid && sub.size() == 2) {
        switch (sub[1]) {
            case 545:  // Users
            case 546:  // Guests
            case 547:  // Power Users
            case 554:  // Pre-Windows 2000 Compatible Access
            case 555:  // Remote Desktop Users
            case 558:  // Performance Monitor Users
            case 559:  // Performance Log Users
            case 562:  // Distributed COM Users
            case 568:  // IIS_IUSRS
            case 573:  // Event Log Readers
            case 580:  // Remote Management Users
                return true;
            default: return false;
        }
    }
    if (IsAccountDomainSid(sid) && sub.size() >= 3) {
        switch (sid.Rid()) {
            case 513:  // Domain Users (None on a computer outside a domain)
            case 514:  // Domain Guests
            case 515:  // Domain Computers
                return true;
            default: return false;
        }
    }
    return false;
}

}  // namespace

TShareAccountVerdict ClassifyShareAccount(const TSid& sid, TSidNameUse use, bool domainMode) {
    if (IsBroadGroupSid(sid)) return TShareAccountVerdict::BroadGroup;
    if (IsAccountDomainSid(sid) && sid.SubAuthorities.size() >= 3 && sid.Rid() == kGuestRid) {
        return TShareAccountVerdict::GuestAccount;
    }
    switch (use) {
        case TSidNameUse::User:
            // SYSTEM, LOCAL SERVICE and the like are no person's account, whatever a lookup calls them.
            return IsPeoplesAccountSid(sid) ? TShareAccountVerdict::Allowed : TShareAccountVerdict::NotAnAccount;
        case TSidNameUse::Group:
            if (!IsPeoplesAccountSid(sid)) return TShareAccountVerdict::NotAnAccount;
            return domainMode ? TShareAccountVerdict::Allowed : TShareAccountVerdict::GroupOutsideDomain;
        case TSidNameUse::Alias:
            return domainMode ? TShareAccountVerdict::LocalGroupInDomain : TShareAccountVerdict::GroupOutsideDomain;
        default: return TShareAccountVerdict::NotAnAccount;
    }
}

TSid EveryoneSid() {
    return TSid::Make(1, {0});  // SECURITY_WORLD_SID_AUTHORITY, SECURITY_WORLD_RID
}

TSid AdministratorsSid() {
    return TSid::Make(5, {32, 544});  // SECURITY_NT_AUTHORITY, BUILTIN, ADMINS
}

TAce TAce::Allowed(const TSid& sid, std::uint32_t mask, std::uint8_t flags) {
    return MakeAce(kAccessAllowedAceType, sid, mask, flags);
}

TAce TAce::Denied(const TSid& sid, std::uint32_t mask, std::uint8_t flags) {
    return MakeAce(kAccessDeniedAceType, sid, mask, flags);
}

std::optional<TSid> TAce::Sid() const {
    return TSid::FromBytes(Body.data(), Body.size());
}

std::uint32_t TAcl::BytesInUse() const {
    std::uint32_t bytes = kAclHeaderSize;
    for (const TAce& ace : Aces) bytes += ace.Size();
    return bytes;
}

std::uint32_t TAcl::AclSize() const {
    return std::max(Capacity, BytesInUse());
}

bool TAcl::operator==(const TAcl& other) const {
    return Revision == other.Revision && Aces == other.Aces;
}

TSecurityDescriptor ShareCreationDescriptor() {
    TAcl dacl;
    dacl.Capacity = kCreationAclBufferSize;
    dacl.Aces.push_back(TAce::Allowed(EveryoneSid(), 0));
    dacl.Aces.push_back(TAce::Allowed(AdministratorsSid(), 0));
    return {true, std::move(dacl)};
}

namespace {

// Room for the old list and one more access-allowed entry for the account.
TAcl EmptyMergeTarget(const TAcl& old, const TSid& sid) {
    TAcl merged;
    merged.Revision = kAclRevision;
    merged.Capacity = sid.Length() + old.BytesInUse() + 8;
    return merged;
}

}  // namespace

TAcl ShareAddAce(const TAcl& old, const TSid& sid, std::uint32_t mask) {
    TAcl merged = EmptyMergeTarget(old, sid);
    merged.Aces = old.Aces;
    merged.Aces.push_back(TAce::Allowed(sid, mask));
    return merged;
}

TAcl FileAddAce(const TAcl& old, const TSid& sid, std::uint32_t mask) {
    TAcl merged = EmptyMergeTarget(old, sid);
    auto firstInherited =
        std::find_if(old.Aces.begin(), old.Aces.end(), [](const TAce& ace) { return ace.IsInherited(); });
    for (auto ace = old.Aces.begin(); ace != firstInherited; ++ace) {
        if (ace->Sid() != sid) merged.Aces.push_back(*ace);
    }
    merged.Aces.push_back(TAce::Allowed(sid, mask));
    merged.Aces.insert(merged.Aces.end(), firstInherited, old.Aces.end());
    return merged;
}

}  // namespace dv
