// Security identifiers, access-control entries and lists as plain values, and the two rules by which
// the share manager merges an account's rights into an existing list.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dv {

// Binary layout constants of the Windows security structures, for both sides.
inline constexpr std::uint8_t kAclRevision = 2;             // ACL_REVISION
inline constexpr std::uint8_t kAccessAllowedAceType = 0;    // ACCESS_ALLOWED_ACE_TYPE
inline constexpr std::uint8_t kAccessDeniedAceType = 1;     // ACCESS_DENIED_ACE_TYPE
inline constexpr std::uint8_t kInheritedAce = 0x10;         // INHERITED_ACE
inline constexpr std::uint32_t kGenericAll = 0x10000000;    // GENERIC_ALL
inline constexpr std::uint32_t kFullControl = 0x1F01FF;     // FILE_ALL_ACCESS
inline constexpr std::uint32_t kReadAndExecute = 0x1200A9;  // FILE_GENERIC_READ | FILE_GENERIC_EXECUTE
inline constexpr std::uint32_t kAclHeaderSize = 8;          // sizeof(ACL)
inline constexpr std::uint32_t kAceSidOffset = 8;           // header (4) + mask (4)
inline constexpr std::uint32_t kCreationAclBufferSize = 256;
inline constexpr std::uint32_t kGuestRid = 501;            // DOMAIN_USER_RID_GUEST
inline constexpr std::size_t kMaxSubAuthorities = 15;      // SID_MAX_SUB_AUTHORITIES
inline constexpr std::uint64_t kWorldAuthority = 1;        // SECURITY_WORLD_SID_AUTHORITY
inline constexpr std::uint64_t kLocalAuthority = 2;        // SECURITY_LOCAL_SID_AUTHORITY
inline constexpr std::uint64_t kNtAuthority = 5;           // SECURITY_NT_AUTHORITY
inline constexpr std::uint64_t kAppPackageAuthority = 15;  // SECURITY_APP_PACKAGE_AUTHORITY
inline constexpr std::uint32_t kNtNonUniqueRid = 21;       // SECURITY_NT_NON_UNIQUE: computer and domain accounts
inline constexpr std::uint32_t kBuiltinDomainRid = 32;     // SECURITY_BUILTIN_DOMAIN_RID

// A security identifier: revision 1, a 48-bit identifier authority, up to 15 sub-authorities.
struct TSid {
    std::array<std::uint8_t, 6> Authority{};
    std::vector<std::uint32_t> SubAuthorities;

    static TSid Make(std::uint64_t authority, std::vector<std::uint32_t> subAuthorities);
    // The binary form (as GetLengthSid counts it); nothing for bytes that hold no complete SID.
    static std::optional<TSid> FromBytes(const std::uint8_t* bytes, std::size_t size);
    std::vector<std::uint8_t> Bytes() const;
    std::uint32_t Length() const { return 8 + 4 * static_cast<std::uint32_t>(SubAuthorities.size()); }
    // "S-1-5-32-544".
    std::u16string ToString() const;
    // The relative identifier: the last sub-authority (0 when there is none).
    std::uint32_t Rid() const { return SubAuthorities.empty() ? 0 : SubAuthorities.back(); }

    bool operator==(const TSid&) const = default;
};

// S-1-1-0 and S-1-5-32-544.
TSid EveryoneSid();
TSid AdministratorsSid();

// What an account name resolves to (SID_NAME_USE).
enum class TSidNameUse : std::uint8_t {
    None = 0,
    User = 1,
    Group = 2,
    Domain = 3,
    Alias = 4,
    WellKnownGroup = 5,
    DeletedAccount = 6,
    Invalid = 7,
    Unknown = 8,
    Computer = 9,
    Label = 10,
};

// Whether an account may be given a drive, and if not, why. A drive is opened to one account or a
// small group only: never to a group meant for many people or to the guest account, never to a
// special identity of the system, and outside a domain only to a user account.
enum class TShareAccountVerdict : std::uint8_t {
    Allowed,
    BroadGroup,          // Everyone, Users, Guests, Authenticated Users, Domain Users, Anonymous, ...
    GuestAccount,        // the built-in Guest of the computer or of a domain
    GroupOutsideDomain,  // any group, while the computer is not in a domain
    LocalGroupInDomain,  // a group of this computer (an alias such as Administrators) in a domain
    NotAnAccount,        // a special identity (SYSTEM, CREATOR OWNER), a domain, a computer, ...
};

// The verdict on a resolved account. In domain mode a domain group (use Group) may be given a drive;
// otherwise only a user account may.
TShareAccountVerdict ClassifyShareAccount(const TSid& sid, TSidNameUse use, bool domainMode);

// One ACE. Access-allowed and access-denied entries carry the SID as their body; other kinds (object
// ACEs, callback ACEs, audit ACEs) keep their body as it was read so that they pass through a merge
// unchanged.
struct TAce {
    std::uint8_t Type = kAccessAllowedAceType;
    std::uint8_t Flags = 0;
    std::uint32_t Mask = 0;
    std::vector<std::uint8_t> Body;  // the bytes from offset 8 to the end of the entry

    static TAce Allowed(const TSid& sid, std::uint32_t mask, std::uint8_t flags = 0);
    static TAce Denied(const TSid& sid, std::uint32_t mask, std::uint8_t flags = 0);
    // The AceSize of the header.
    std::uint32_t Size() const { return kAceSidOffset + static_cast<std::uint32_t>(Body.size()); }
    // The SID read at byte 8, as the trustee comparison reads it; nothing when no SID fits there.
    std::optional<TSid> Sid() const;
    bool IsInherited() const { return (Flags & kInheritedAce) != 0; }

    bool operator==(const TAce&) const = default;
};

struct TAcl {
    std::uint8_t Revision = kAclRevision;
    std::vector<TAce> Aces;
    // The AclSize the list is created with; 0 means just large enough for its entries.
    std::uint32_t Capacity = 0;

    // AclBytesInUse: the header and every entry.
    std::uint32_t BytesInUse() const;
    std::uint32_t AclSize() const;

    bool operator==(const TAcl&) const;
};

// What a security descriptor says about its DACL: absent, present but null (everyone has every
// right), or a list.
struct TSecurityDescriptor {
    bool DaclPresent = false;
    std::optional<TAcl> Dacl;  // nothing with DaclPresent: a null DACL

    // Present and not null: the only case in which rights can be merged in.
    bool HasDacl() const { return DaclPresent && Dacl.has_value(); }

    bool operator==(const TSecurityDescriptor&) const = default;
};

// The descriptor a new share is created with: a DACL of Everyone and Administrators, both allowed
// nothing, in a 256-byte list.
TSecurityDescriptor ShareCreationDescriptor();

// A share's list with one access-allowed entry for `sid` appended after every existing entry (deny
// entries and earlier entries for the same account stay before it).
TAcl ShareAddAce(const TAcl& old, const TSid& sid, std::uint32_t mask);

// A folder's list: the account's explicit entries (before the first inherited one) dropped, the new
// entry put at the end of the explicit ones, the inherited entries kept in order. Explicit entries
// must come first for Windows to honour an explicit deny before an inherited allow.
TAcl FileAddAce(const TAcl& old, const TSid& sid, std::uint32_t mask);

}  // namespace dv
