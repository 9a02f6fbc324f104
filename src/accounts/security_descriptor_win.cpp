// Security descriptors between their value form and the system's: what the share calls hand over
// and what the stand-in network-management library reads, so that both sides build them alike.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "accounts/accounts_win.h"

namespace dv {

// A SID_IDENTIFIER_AUTHORITY as the portable side counts it: six bytes, most significant first.
constexpr std::uint64_t AuthorityValue(SID_IDENTIFIER_AUTHORITY authority) {
    std::uint64_t value = 0;
    for (BYTE b : authority.Value) value = value << 8 | b;
    return value;
}

// The portable side carries these system values as plain numbers.
static_assert(kAclRevision == ACL_REVISION);
static_assert(kAccessAllowedAceType == ACCESS_ALLOWED_ACE_TYPE);
static_assert(kAccessDeniedAceType == ACCESS_DENIED_ACE_TYPE);
static_assert(kInheritedAce == INHERITED_ACE);
static_assert(kGenericAll == GENERIC_ALL);
static_assert(kFullControl == FILE_ALL_ACCESS);
static_assert(kReadAndExecute == (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE));
static_assert(kAclHeaderSize == sizeof(ACL));
static_assert(kAceSidOffset == offsetof(ACCESS_ALLOWED_ACE, SidStart));
static_assert(kGuestRid == DOMAIN_USER_RID_GUEST);
static_assert(kMaxSubAuthorities == SID_MAX_SUB_AUTHORITIES);
static_assert(kWorldAuthority == AuthorityValue(SECURITY_WORLD_SID_AUTHORITY));
static_assert(kLocalAuthority == AuthorityValue(SECURITY_LOCAL_SID_AUTHORITY));
static_assert(kNtAuthority == AuthorityValue(SECURITY_NT_AUTHORITY));
static_assert(kAppPackageAuthority == AuthorityValue(SECURITY_APP_PACKAGE_AUTHORITY));
static_assert(kNtNonUniqueRid == SECURITY_NT_NON_UNIQUE);
static_assert(kBuiltinDomainRid == SECURITY_BUILTIN_DOMAIN_RID);
namespace {

TOsStatus LastError() {
    return TOsStatus::Last(::GetLastError());
}

struct SidDeleter {
    void operator()(void* sid) const noexcept { ::FreeSid(sid); }
};
using AllocatedSid = std::unique_ptr<void, SidDeleter>;

// AllocateAndInitializeSid takes at most eight sub-authorities; every account and group SID the
// application meets has fewer.
AllocatedSid AllocateSid(const TSid& sid) {
    if (sid.SubAuthorities.size() > 8) {
        ::SetLastError(ERROR_INVALID_SID);
        return nullptr;
    }
    SID_IDENTIFIER_AUTHORITY authority{};
    std::memcpy(authority.Value, sid.Authority.data(), 6);
    DWORD sub[8] = {};
    for (std::size_t i = 0; i < sid.SubAuthorities.size(); ++i) sub[i] = sid.SubAuthorities[i];
    PSID raw = nullptr;
    if (!::AllocateAndInitializeSid(&authority, static_cast<BYTE>(sid.SubAuthorities.size()), sub[0], sub[1], sub[2],
                                    sub[3], sub[4], sub[5], sub[6], sub[7], &raw)) {
        return nullptr;
    }
    return AllocatedSid(raw);
}

std::vector<BYTE> RawAce(const TAce& ace) {
    std::vector<BYTE> bytes(ace.Size());
    bytes[0] = ace.Type;
    bytes[1] = ace.Flags;
    const WORD size = static_cast<WORD>(ace.Size());
    std::memcpy(&bytes[2], &size, 2);
    std::memcpy(&bytes[4], &ace.Mask, 4);
    std::memcpy(&bytes[8], ace.Body.data(), ace.Body.size());
    return bytes;
}

}  // namespace

TOsStatus BuildNativeDescriptor(const TSecurityDescriptor& value, TNativeDescriptor& native) {
    if (!::InitializeSecurityDescriptor(&native.descriptor_, SECURITY_DESCRIPTOR_REVISION)) return LastError();
    PACL acl = nullptr;
    if (value.Dacl) {
        const TAcl& dacl = *value.Dacl;
        native.acl_.assign((dacl.AclSize() + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
        acl = reinterpret_cast<PACL>(native.acl_.data());
        if (!::InitializeAcl(acl, dacl.AclSize(), dacl.Revision)) return LastError();
        for (const TAce& ace : dacl.Aces) {
            const std::optional<TSid> sid = ace.Sid();
            if (ace.Type == kAccessAllowedAceType && ace.Flags == 0 && sid && sid->Length() == ace.Body.size()) {
                AllocatedSid native = AllocateSid(*sid);
                if (!native || !::AddAccessAllowedAce(acl, dacl.Revision, ace.Mask, native.get())) return LastError();
            } else {
                // Copied as it was read: other kinds, inherited entries.
                std::vector<BYTE> raw = RawAce(ace);
                if (!::AddAce(acl, dacl.Revision, MAXDWORD, raw.data(), static_cast<DWORD>(raw.size())))
                    return LastError();
            }
        }
    }
    if (value.DaclPresent && !::SetSecurityDescriptorDacl(&native.descriptor_, TRUE, acl, FALSE)) return LastError();
    return {};
}

TOsStatus CheckSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor) {
    if (!descriptor || !::IsValidSecurityDescriptor(descriptor)) return TOsStatus::Last(ERROR_INVALID_SECURITY_DESCR);
    return {};
}

TOsStatus ReadNativeDescriptor(PSECURITY_DESCRIPTOR descriptor, TSecurityDescriptor& value) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL acl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted)) return LastError();
    value = {};
    value.DaclPresent = present != FALSE;
    if (!present || !acl) return {};
    ACL_SIZE_INFORMATION size{};
    if (!::GetAclInformation(acl, &size, sizeof size, AclSizeInformation)) return LastError();
    TAcl dacl;
    dacl.Revision = acl->AclRevision;
    dacl.Capacity = size.AclBytesInUse + size.AclBytesFree;
    for (DWORD i = 0; i < size.AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(acl, i, &entry)) return LastError();
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        const auto* bytes = static_cast<const BYTE*>(entry);
        TAce ace;
        ace.Type = header->AceType;
        ace.Flags = header->AceFlags;
        std::memcpy(&ace.Mask, bytes + 4, 4);
        if (header->AceSize > kAceSidOffset) ace.Body.assign(bytes + kAceSidOffset, bytes + header->AceSize);
        dacl.Aces.push_back(std::move(ace));
    }
    value.Dacl = std::move(dacl);
    return {};
}

}  // namespace dv
