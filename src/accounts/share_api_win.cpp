#include <cstring>

#include "accounts/accounts_win.h"

#include <lm.h>
#include <shlobj.h>

namespace dv {
namespace {

struct NetApiBufferDeleter {
    void operator()(void* buffer) const noexcept { ::NetApiBufferFree(buffer); }
};
using NetApiBuffer = std::unique_ptr<void, NetApiBufferDeleter>;

struct SidDeleter {
    void operator()(void* sid) const noexcept { ::FreeSid(sid); }
};
using AllocatedSid = std::unique_ptr<void, SidDeleter>;

TOsStatus LastError() {
    return TOsStatus::Last(::GetLastError());
}

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

std::u16string Text(LPCWSTR text) {
    return text ? FromWide(text) : std::u16string();
}

// The Win32 record points into `value` and `descriptor`; both must outlive it.
SHARE_INFO_502 NativeShareInfo(const TShareInfo502& value, std::wstring (&texts)[4], TNativeDescriptor& descriptor) {
    texts[0] = ToWide(value.NetName);
    texts[1] = ToWide(value.Remark);
    texts[2] = ToWide(value.Path);
    texts[3] = ToWide(value.Passwd.value_or(u""));
    SHARE_INFO_502 info{};
    info.shi502_netname = texts[0].data();
    info.shi502_type = value.Type;
    info.shi502_remark = texts[1].data();
    info.shi502_permissions = value.Permissions;
    info.shi502_max_uses = value.MaxUses;
    info.shi502_current_uses = value.CurrentUses;
    info.shi502_path = texts[2].data();
    info.shi502_passwd = value.Passwd ? texts[3].data() : nullptr;
    info.shi502_reserved = value.Reserved;
    info.shi502_security_descriptor = descriptor.get();
    return info;
}

class WinShareApi final : public IShareApi {
public:
    TJoinInformation GetJoinInformation() override {
        LPWSTR name = nullptr;
        NETSETUP_JOIN_STATUS status = NetSetupUnknownStatus;
        const NET_API_STATUS result = ::NetGetJoinInformation(nullptr, &name, &status);
        NetApiBuffer owner(name);
        return {TOsStatus::Net(result), static_cast<std::uint32_t>(status)};
    }

    TOsStatus ShareGetInfo0(const std::u16string& name) override {
        std::wstring wide = ToWide(name);
        LPBYTE buffer = nullptr;
        const NET_API_STATUS result = ::NetShareGetInfo(nullptr, wide.data(), 0, &buffer);
        NetApiBuffer owner(buffer);
        return TOsStatus::Net(result);
    }

    TShareGetInfo ShareGetInfo502(const std::u16string& name) override {
        std::wstring wide = ToWide(name);
        LPBYTE buffer = nullptr;
        const NET_API_STATUS result = ::NetShareGetInfo(nullptr, wide.data(), 502, &buffer);
        NetApiBuffer owner(buffer);
        TShareGetInfo share;
        share.Status = TOsStatus::Net(result);
        if (result != NERR_Success || !buffer) return share;
        const auto* info = reinterpret_cast<const SHARE_INFO_502*>(buffer);
        share.Info.NetName = Text(info->shi502_netname);
        share.Info.Type = info->shi502_type;
        share.Info.Remark = Text(info->shi502_remark);
        share.Info.Permissions = info->shi502_permissions;
        share.Info.MaxUses = info->shi502_max_uses;
        share.Info.CurrentUses = info->shi502_current_uses;
        share.Info.Path = Text(info->shi502_path);
        if (info->shi502_passwd) share.Info.Passwd = Text(info->shi502_passwd);
        share.Info.Reserved = info->shi502_reserved;
        const PSECURITY_DESCRIPTOR descriptor = info->shi502_security_descriptor;
        // A share without a descriptor has no DACL to merge into: it counts as invalid.
        share.Status = CheckSecurityDescriptor(descriptor);
        if (!share.Status.ok()) return share;
        share.Status = ReadNativeDescriptor(descriptor, share.Info.SecurityDescriptor);
        return share;
    }

    TOsStatus ShareAdd502(const TShareInfo502& value) override {
        TNativeDescriptor descriptor;
        if (TOsStatus built = BuildNativeDescriptor(value.SecurityDescriptor, descriptor); !built.ok()) return built;
        std::wstring texts[4];
        SHARE_INFO_502 info = NativeShareInfo(value, texts, descriptor);
        DWORD parameterError = 0;
        return TOsStatus::Net(::NetShareAdd(nullptr, 502, reinterpret_cast<LPBYTE>(&info), &parameterError));
    }

    TOsStatus ShareSetInfo502(const TShareInfo502& value) override {
        TNativeDescriptor descriptor;
        if (TOsStatus built = BuildNativeDescriptor(value.SecurityDescriptor, descriptor); !built.ok()) return built;
        std::wstring texts[4];
        SHARE_INFO_502 info = NativeShareInfo(value, texts, descriptor);
        DWORD parameterError = 0;
        return TOsStatus::Net(
            ::NetShareSetInfo(nullptr, texts[0].data(), 502, reinterpret_cast<LPBYTE>(&info), &parameterError));
    }

    TOsStatus ShareDel(const std::u16string& name) override {
        std::wstring wide = ToWide(name);
        return TOsStatus::Net(::NetShareDel(nullptr, wide.data(), 0));
    }

    void NotifyShareChanged(const std::u16string& path) override {
        const std::wstring wide = ToWide(path);
        ::SHChangeNotify(SHCNE_NETSHARE, SHCNF_PATHW, wide.c_str(), nullptr);
    }

    TAccountLookup LookupAccount(const std::u16string& name) override {
        const std::wstring wide = ToWide(name);
        TAccountLookup lookup;
        DWORD sidSize = 0;
        DWORD domainSize = 0;
        SID_NAME_USE use = SidTypeUnknown;
        // The first call only learns the sizes: failing with ERROR_INSUFFICIENT_BUFFER is its success.
        if (::LookupAccountNameW(nullptr, wide.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use)) {
            lookup.SizeQueryError = ERROR_NONE_MAPPED;
            return lookup;
        }
        if (const DWORD error = ::GetLastError(); error != ERROR_INSUFFICIENT_BUFFER) {
            lookup.SizeQueryError = error;
            return lookup;
        }
        std::vector<BYTE> sid(sidSize);
        std::wstring domain(domainSize, L'\0');
        if (!::LookupAccountNameW(nullptr, wide.c_str(), sid.data(), &sidSize, domain.data(), &domainSize, &use)) {
            lookup.LookupError = ::GetLastError();
            return lookup;
        }
        std::optional<TSid> value = TSid::FromBytes(sid.data(), ::GetLengthSid(sid.data()));
        if (!value) {
            lookup.LookupError = ERROR_INVALID_SID;
            return lookup;
        }
        lookup.Sid = std::move(*value);
        lookup.Use = static_cast<TSidNameUse>(use);
        return lookup;
    }

    TFileSecurity GetFileDacl(const std::u16string& path) override {
        const std::wstring wide = ToWide(path);
        TFileSecurity security;
        DWORD needed = 0;
        if (!::GetFileSecurityW(wide.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed)) {
            if (const DWORD error = ::GetLastError(); error != ERROR_INSUFFICIENT_BUFFER) {
                security.Status = TOsStatus::Last(error);
                return security;
            }
        }
        if (needed == 0) return security;  // nothing to read: no DACL
        std::vector<DWORD> buffer((needed + sizeof(DWORD) - 1) / sizeof(DWORD));
        if (!::GetFileSecurityW(wide.c_str(), DACL_SECURITY_INFORMATION, buffer.data(), needed, &needed)) {
            security.Status = LastError();
            return security;
        }
        security.Status = ReadNativeDescriptor(buffer.data(), security.Descriptor);
        return security;
    }

    TOsStatus SetFileDacl(const std::u16string& path, const TAcl& dacl) override {
        TNativeDescriptor descriptor;
        if (TOsStatus built = BuildNativeDescriptor({true, dacl}, descriptor); !built.ok()) return built;
        const std::wstring wide = ToWide(path);
        if (!::SetFileSecurityW(wide.c_str(), DACL_SECURITY_INFORMATION, descriptor.get())) return LastError();
        return {};
    }
};

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
                if (!::AddAce(acl, dacl.Revision, MAXDWORD, raw.data(), static_cast<DWORD>(raw.size()))) return LastError();
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

std::unique_ptr<IShareApi> CreateWinShareApi() {
    return std::make_unique<WinShareApi>();
}

}  // namespace dv
