#include <cstring>
#include <utility>
#include <vector>

#include "accounts/accounts_win.h"

#include <lm.h>
#include <shlobj.h>

namespace dv {

// The portable side carries these system values as plain numbers.
static_assert(kErrorInsufficientBuffer == ERROR_INSUFFICIENT_BUFFER);
static_assert(kErrorNoneMapped == ERROR_NONE_MAPPED);
static_assert(kNerrNetNameNotFound == NERR_NetNameNotFound);
static_assert(kStypeDisktree == STYPE_DISKTREE);
static_assert(kAccessWrite == ACCESS_WRITE);
static_assert(kNetSetupDomainName == NetSetupDomainName);
static_assert(kErrorNotSupported == ERROR_NOT_SUPPORTED);
static_assert(kErrorInvalidParameter == ERROR_INVALID_PARAMETER);
static_assert(kErrorInvalidName == ERROR_INVALID_NAME);
static_assert(kNerrShareExists == NERR_DuplicateShare);
// MinGW-w64's lmshare.h ends before the SMB 3 flags; the Windows SDK's defines this one as 0x08000
// (https://learn.microsoft.com/windows/win32/api/lmshare/ns-lmshare-share_info_1005).
#ifdef SHI1005_FLAGS_ENCRYPT_DATA
static_assert(kShi1005FlagsEncryptData == SHI1005_FLAGS_ENCRYPT_DATA);
#endif
// Not one of the flags that servers before SMB 3 take: those refuse it.
static_assert((kShi1005FlagsEncryptData & SHI1005_VALID_FLAGS_SET) == 0);
static_assert(kMaxShareNetNameLength == NNLEN);
static_assert(kMaxShareRemarkLength == MAXCOMMENTSZ);
namespace {

struct NetApiBufferDeleter {
    void operator()(void* buffer) const noexcept { ::NetApiBufferFree(buffer); }
};
using NetApiBuffer = std::unique_ptr<void, NetApiBufferDeleter>;

TOsStatus LastError() {
    return TOsStatus::Last(::GetLastError());
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

    TShareFlags ShareGetInfo1005(const std::u16string& name) override {
        std::wstring wide = ToWide(name);
        LPBYTE buffer = nullptr;
        const NET_API_STATUS result = ::NetShareGetInfo(nullptr, wide.data(), 1005, &buffer);
        NetApiBuffer owner(buffer);
        TShareFlags flags;
        flags.Status = TOsStatus::Net(result);
        if (result == NERR_Success && buffer)
            flags.Flags = reinterpret_cast<const SHARE_INFO_1005*>(buffer)->shi1005_flags;
        return flags;
    }

    TOsStatus ShareSetInfo1005(const std::u16string& name, std::uint32_t flags) override {
        std::wstring wide = ToWide(name);
        SHARE_INFO_1005 info{};
        info.shi1005_flags = flags;
        DWORD parameterError = 0;
        return TOsStatus::Net(
            ::NetShareSetInfo(nullptr, wide.data(), 1005, reinterpret_cast<LPBYTE>(&info), &parameterError));
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

std::unique_ptr<IShareApi> CreateWinShareApi() {
    return std::make_unique<WinShareApi>();
}

}  // namespace dv
