// What the share manager needs from the system: network shares, domain membership, account lookup
// and folder security. The Windows side makes the network-management and security calls; the
// simulated side keeps the same state in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "accounts/security_types.h"
#include "platform/os_error.h"

namespace dv {

inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;     // ERROR_INSUFFICIENT_BUFFER
inline constexpr std::uint32_t kErrorNoneMapped = 1332;            // ERROR_NONE_MAPPED
inline constexpr std::uint32_t kNerrNetNameNotFound = 2310;        // NERR_NetNameNotFound
inline constexpr std::uint32_t kStypeDisktree = 0;                 // STYPE_DISKTREE
inline constexpr std::uint32_t kAccessWrite = 2;                   // ACCESS_WRITE
inline constexpr std::uint32_t kNetSetupDomainName = 3;            // NETSETUP_JOIN_STATUS
inline constexpr std::uint32_t kErrorNotSupported = 50;            // ERROR_NOT_SUPPORTED
inline constexpr std::uint32_t kErrorInvalidParameter = 87;        // ERROR_INVALID_PARAMETER
inline constexpr std::uint32_t kErrorInvalidName = 123;            // ERROR_INVALID_NAME
inline constexpr std::uint32_t kNerrShareExists = 2118;            // NERR_DuplicateShare
inline constexpr std::uint32_t kShi1005FlagsEncryptData = 0x8000;  // SHI1005_FLAGS_ENCRYPT_DATA
inline constexpr std::size_t kMaxShareNetNameLength = 80;          // NNLEN
inline constexpr std::size_t kMaxShareRemarkLength = 256;          // MAXCOMMENTSZ

// SHARE_INFO_502, field by field.
struct TShareInfo502 {
    std::u16string NetName;
    std::uint32_t Type = kStypeDisktree;
    std::u16string Remark;
    std::uint32_t Permissions = 0;
    std::uint32_t MaxUses = 0;
    std::uint32_t CurrentUses = 0;
    std::u16string Path;
    std::optional<std::u16string> Passwd;  // nothing: a null pointer
    std::uint32_t Reserved = 0;
    TSecurityDescriptor SecurityDescriptor;

    bool operator==(const TShareInfo502&) const = default;
};

// An account name resolved to its SID.
struct TAccountLookup {
    // The first call (sizes only): success (0) when it answered ERROR_INSUFFICIENT_BUFFER as it
    // should, its error otherwise. The second call: its error, 0 when the account was resolved.
    std::uint32_t SizeQueryError = 0;
    std::uint32_t LookupError = 0;
    TSid Sid;
    TSidNameUse Use = TSidNameUse::None;
};

struct TShareGetInfo {
    TOsStatus Status;
    TShareInfo502 Info;
};

// SHARE_INFO_1005: the share's flags.
struct TShareFlags {
    TOsStatus Status;
    std::uint32_t Flags = 0;
};

struct TFileSecurity {
    TOsStatus Status;
    TSecurityDescriptor Descriptor;
};

struct TJoinInformation {
    TOsStatus Status;
    std::uint32_t JoinStatus = 0;  // NETSETUP_JOIN_STATUS
};

class IShareApi {
public:
    virtual ~IShareApi() = default;

    // NetGetJoinInformation for the local computer.
    [[nodiscard]] virtual TJoinInformation GetJoinInformation() = 0;
    // NetShareGetInfo at level 0: 0 when the share exists.
    [[nodiscard]] virtual TOsStatus ShareGetInfo0(const std::u16string& name) = 0;
    // NetShareGetInfo at level 502, the descriptor checked for validity.
    [[nodiscard]] virtual TShareGetInfo ShareGetInfo502(const std::u16string& name) = 0;
    // Builds the record's descriptor and adds the share with NetShareAdd at level 502. A failure to
    // build the descriptor is a last error.
    [[nodiscard]] virtual TOsStatus ShareAdd502(const TShareInfo502& info) = 0;
    // NetShareSetInfo at level 502 with the record, its descriptor holding the DACL alone.
    [[nodiscard]] virtual TOsStatus ShareSetInfo502(const TShareInfo502& info) = 0;
    // NetShareGetInfo and NetShareSetInfo at level 1005: the share's flags.
    [[nodiscard]] virtual TShareFlags ShareGetInfo1005(const std::u16string& name) = 0;
    [[nodiscard]] virtual TOsStatus ShareSetInfo1005(const std::u16string& name, std::uint32_t flags) = 0;
    // NetShareDel.
    [[nodiscard]] virtual TOsStatus ShareDel(const std::u16string& name) = 0;
    // Tells Explorer that the folder's shared state changed.
    virtual void NotifyShareChanged(const std::u16string& path) = 0;

    // LookupAccountNameW on the local system, sizes first.
    [[nodiscard]] virtual TAccountLookup LookupAccount(const std::u16string& name) = 0;
    // GetFileSecurityW with DACL_SECURITY_INFORMATION.
    [[nodiscard]] virtual TFileSecurity GetFileDacl(const std::u16string& path) = 0;
    // SetFileSecurityW with DACL_SECURITY_INFORMATION and a descriptor holding the DACL alone.
    [[nodiscard]] virtual TOsStatus SetFileDacl(const std::u16string& path, const TAcl& dacl) = 0;
};

}  // namespace dv
