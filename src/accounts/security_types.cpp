#include "accounts/security_types.h"

#include <algorithm>

#include "platform/text.h"

namespace dv {

namespace {

constexpr std::size_t kMaxSubAuthorities = 15;  // SID_MAX_SUB_AUTHORITIES

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
    auto firstInherited = std::find_if(old.Aces.begin(), old.Aces.end(), [](const TAce& ace) { return ace.IsInherited(); });
    for (auto ace = old.Aces.begin(); ace != firstInherited; ++ace) {
        if (ace->Sid() != sid) merged.Aces.push_back(*ace);
    }
    merged.Aces.push_back(TAce::Allowed(sid, mask));
    merged.Aces.insert(merged.Aces.end(), firstInherited, old.Aces.end());
    return merged;
}

}  // namespace dv
