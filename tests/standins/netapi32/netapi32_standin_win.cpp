// A network-management library for test machines: the share and account calls Dockvane makes,
// answered as Windows answers them, with the shares and accounts kept in the simulation folder
// (DOCKVANE_SIMULATION) in the files dvsim reads. Wine has no file sharing and only part of the
// account calls; with this library beside a program and WINEDLLOVERRIDES="netapi32=n,b", the
// program's own Win32 code runs against it. Never shipped.
//
// Every buffer it hands out is counted, and so is every release; the counts of each process are kept
// in "netapi32-buffers-PID.txt" in the folder, replaced whole at each change, so that what a process
// left unreleased when it ended is there to see (a program may end without running any library's exit
// code, as Dockvane does), and a process killed at any moment leaves counts that can be read.
#include "platform/windows_include.h"

#include <lm.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <exception>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/accounts_store_sim.h"
#include "accounts/accounts_win.h"
#include "drives/plugged_drives_sim_win.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace dv {
namespace {

constexpr DWORD kNerrInternalError = 2140;      // NERR_InternalError
constexpr DWORD kNerrUnknownDevDir = 2116;      // NERR_UnknownDevDir
constexpr DWORD kNerrBadUsername = 2202;        // NERR_BadUsername
constexpr DWORD kMaxCommentLength = 256;        // MAXCOMMENTSZ
constexpr DWORD kMaxUserNameLength = 20;        // LM20_UNLEN
constexpr std::uint32_t kShareRead = 0x1200A9;  // what a share without a descriptor grants Everyone

// --- Buffers ---

class TBuffers {
public:
    void* Hand(std::size_t bytes) {
        void* buffer = ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, bytes ? bytes : 1);
        if (!buffer) return nullptr;
        std::lock_guard lock(mutex_);
        live_.insert(buffer);
        ++handed_;
        WriteCounts();
        return buffer;
    }

    NET_API_STATUS Free(void* buffer) {
        if (!buffer) return NERR_Success;
        std::lock_guard lock(mutex_);
        if (live_.erase(buffer) == 0) {
            // Not a buffer of this library (or released twice): Windows' heap would be corrupted.
            ++foreign_;
            WriteCounts();
            return ERROR_INVALID_PARAMETER;
        }
        ::HeapFree(::GetProcessHeap(), 0, buffer);
        ++freed_;
        WriteCounts();
        return NERR_Success;
    }

private:
    void WriteCounts() {
        const DWORD size = ::GetEnvironmentVariableW(L"DOCKVANE_SIMULATION", nullptr, 0);
        if (size <= 1) return;
        std::wstring folder(size, L'\0');
        folder.resize(::GetEnvironmentVariableW(L"DOCKVANE_SIMULATION", folder.data(), size));
        while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
        wchar_t program[MAX_PATH] = {};
        const DWORD length = ::GetModuleFileNameW(nullptr, program, MAX_PATH);
        std::wstring name(program, length);
        name = name.substr(name.find_last_of(L"\\/") + 1);
        const std::wstring path = folder + L"\\netapi32-buffers-" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
        const std::string text = "program\t" + ToUtf8(FromWide(name)) + "\nhanded\t" + std::to_string(handed_) +
                                 "\nfreed\t" + std::to_string(freed_) + "\nforeign\t" + std::to_string(foreign_) +
                                 "\nunreleased\t" + std::to_string(live_.size()) + "\n";
        // Replaced whole, as the simulation's state files are: a process killed while it rewrote its
        // counts leaves the ones before, never an empty or half-written file.
        try {
            ReplaceSimStateFile(FromWide(path), text);
        } catch (const std::exception&) {
            // The counts before stay: they are the test's concern, not the caller's.
        }
    }

    std::mutex mutex_;
    std::set<void*> live_;
    std::uint64_t handed_ = 0;
    std::uint64_t freed_ = 0;
    std::uint64_t foreign_ = 0;
};

TBuffers& Buffers() {
    static TBuffers* buffers = new TBuffers;  // never destroyed: released buffers may come late
    return *buffers;
}

// One buffer laid out as Windows lays out its answers: the fixed records first, then the texts and
// descriptors they point to, all freed at once with NetApiBufferFree.
class TPacker {
public:
    explicit TPacker(std::size_t recordBytes) : records_(recordBytes) {}

    // Reserves room; the pointers are set once the buffer exists.
    void AddText(const std::u16string& text) { tail_ += Align((text.size() + 1) * sizeof(wchar_t)); }
    void AddBytes(std::size_t size) { tail_ += Align(size); }

    bool Allocate() {
        base_ = static_cast<BYTE*>(Buffers().Hand(Align(records_) + tail_));
        cursor_ = base_ ? base_ + Align(records_) : nullptr;
        return base_ != nullptr;
    }
    BYTE* Base() const { return base_; }
    LPWSTR Text(const std::u16string& text) {
        auto* out = reinterpret_cast<LPWSTR>(cursor_);
        std::memcpy(out, text.data(), text.size() * sizeof(wchar_t));
        out[text.size()] = L'\0';
        cursor_ += Align((text.size() + 1) * sizeof(wchar_t));
        return out;
    }
    BYTE* Bytes(const std::vector<BYTE>& bytes) {
        BYTE* out = cursor_;
        std::memcpy(out, bytes.data(), bytes.size());
        cursor_ += Align(bytes.size());
        return out;
    }

private:
    static std::size_t Align(std::size_t size) { return (size + 7) & ~std::size_t{7}; }
    std::size_t records_;
    std::size_t tail_ = 0;
    BYTE* base_ = nullptr;
    BYTE* cursor_ = nullptr;
};

// --- The state ---

std::optional<std::u16string> StateFolder() {
    const DWORD size = ::GetEnvironmentVariableW(L"DOCKVANE_SIMULATION", nullptr, 0);
    if (size <= 1) return std::nullopt;
    std::wstring value(size, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(L"DOCKVANE_SIMULATION", value.data(), size);
    if (length == 0 || length >= size) return std::nullopt;
    value.resize(length);
    while (value.size() > 3 && (value.back() == L'\\' || value.back() == L'/')) value.pop_back();
    return FromWide(value);
}

// Runs `work` on the state under the simulation's lock and saves what it changed. Without a folder
// the computer offers no network management, as Wine's own library offers no sharing.
template <typename Work>
NET_API_STATUS WithState(Work work) {
    const std::optional<std::u16string> folder = StateFolder();
    if (!folder) return ERROR_NOT_SUPPORTED;
    NET_API_STATUS status = NERR_Success;
    try {
        TSimAccountsStore(*folder, &WithSimulationLock).Change([&](TSimAccounts& state) { status = work(state); });
    } catch (const Exception&) {
        return kNerrInternalError;  // damaged or unreadable state: left as it is
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return status;
}

// Only the local computer is served.
bool Local(LPCWSTR server) {
    return server == nullptr || *server == L'\0';
}

std::u16string Text(LPCWSTR text) {
    return text ? FromWide(text) : std::u16string();
}

void SetParameterError(LPDWORD parameterError, DWORD field) {
    if (parameterError) *parameterError = field;
}

// --- Shares ---

// A share record's descriptor as the server service takes it: nothing gives the default rights.
std::optional<TSecurityDescriptor> DescriptorOf(PSECURITY_DESCRIPTOR descriptor) {
    if (!descriptor) {
        TAcl acl;
        acl.Aces = {TAce::Allowed(EveryoneSid(), kShareRead)};
        return TSecurityDescriptor{true, acl};
    }
    if (!CheckSecurityDescriptor(descriptor).ok()) return std::nullopt;
    TSecurityDescriptor value;
    if (!ReadNativeDescriptor(descriptor, value).ok()) return std::nullopt;
    return value;
}

// The descriptor in self-relative form, as NetShareGetInfo returns it.
std::optional<std::vector<BYTE>> SelfRelative(const TSecurityDescriptor& value) {
    TNativeDescriptor native;
    if (!BuildNativeDescriptor(value, native).ok()) return std::nullopt;
    DWORD size = 0;
    ::MakeSelfRelativeSD(native.get(), nullptr, &size);
    std::vector<BYTE> bytes(size);
    if (size == 0 || !::MakeSelfRelativeSD(native.get(), bytes.data(), &size)) return std::nullopt;
    return bytes;
}

bool IsDirectory(const std::u16string& path) {
    const DWORD attributes = ::GetFileAttributesW(ToWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

NET_API_STATUS PackShare(const TShareInfo502& share, DWORD level, LPBYTE* bufptr) {
    std::optional<std::vector<BYTE>> descriptor;
    std::size_t record = 0;
    switch (level) {
        case 0: record = sizeof(SHARE_INFO_0); break;
        case 1: record = sizeof(SHARE_INFO_1); break;
        case 2: record = sizeof(SHARE_INFO_2); break;
        case 502:
            record = sizeof(SHARE_INFO_502);
            descriptor = SelfRelative(share.SecurityDescriptor);
            if (!descriptor) return kNerrInternalError;
            break;
        default: return ERROR_INVALID_LEVEL;
    }
    TPacker packer(record);
    for (const std::u16string* text : {&share.NetName, &share.Remark, &share.Path}) packer.AddText(*text);
    if (share.Passwd) packer.AddText(*share.Passwd);
    if (descriptor) packer.AddBytes(descriptor->size());
    if (!packer.Allocate()) return ERROR_NOT_ENOUGH_MEMORY;
    LPWSTR name = packer.Text(share.NetName);
    LPWSTR remark = packer.Text(share.Remark);
    LPWSTR path = packer.Text(share.Path);
    LPWSTR passwd = share.Passwd ? packer.Text(*share.Passwd) : nullptr;
    if (level == 0) {
        reinterpret_cast<SHARE_INFO_0*>(packer.Base())->shi0_netname = name;
    } else if (level == 1) {
        auto* info = reinterpret_cast<SHARE_INFO_1*>(packer.Base());
        *info = {name, share.Type, remark};
    } else {
        // SHARE_INFO_2 is the first part of SHARE_INFO_502.
        auto* info = reinterpret_cast<SHARE_INFO_502*>(packer.Base());
        info->shi502_netname = name;
        info->shi502_type = share.Type;
        info->shi502_remark = remark;
        info->shi502_permissions = share.Permissions;
        info->shi502_max_uses = share.MaxUses;
        info->shi502_current_uses = share.CurrentUses;
        info->shi502_path = path;
        info->shi502_passwd = passwd;
        if (level == 502) {
            info->shi502_reserved = share.Reserved;
            info->shi502_security_descriptor = packer.Bytes(*descriptor);
        }
    }
    *bufptr = packer.Base();
    return NERR_Success;
}

// The fields of a share record that the server service checks, whether it adds or changes a share.
NET_API_STATUS CheckShareFields(LPCWSTR remark, DWORD maxUses, LPDWORD parameterError) {
    if (remark && std::wcslen(remark) > kMaxCommentLength) {
        SetParameterError(parameterError, SHARE_REMARK_PARMNUM);
        return ERROR_INVALID_PARAMETER;
    }
    if (maxUses == 0) {
        SetParameterError(parameterError, SHARE_MAX_USES_PARMNUM);
        return ERROR_INVALID_PARAMETER;
    }
    return NERR_Success;
}

// --- Accounts ---

bool ValidUserName(const std::u16string& name) {
    if (name.empty() || name.size() > kMaxUserNameLength) return false;
    if (name.find_first_not_of(u". ") == std::u16string::npos) return false;  // only dots and blanks
    for (char16_t c : name) {
        if (c < 0x20 || std::u16string_view(u"\"/\\[]:|<>+=;,?*@").find(c) != std::u16string_view::npos) {
            return false;
        }
    }
    return true;
}

std::vector<const TSimAccounts::Account*> Users(const TSimAccounts& state) {
    std::vector<const TSimAccounts::Account*> users;
    for (const TSimAccounts::Account& account : state.Accounts) {
        if (account.Use == TSidNameUse::User) users.push_back(&account);
    }
    return users;
}

std::size_t UserRecordSize(DWORD level) {
    return level == 0 ? sizeof(USER_INFO_0) : sizeof(USER_INFO_1);
}

void AddUserTexts(TPacker& packer, const TUserInfo1& info, DWORD level) {
    packer.AddText(info.Name);
    if (level == 1) {
        packer.AddText(info.HomeDir.value_or(u""));
        packer.AddText(info.Comment);
        packer.AddText(info.ScriptPath.value_or(u""));
    }
}

// Writes one record at `record`; the password is never handed out.
void FillUser(TPacker& packer, BYTE* record, const TUserInfo1& info, DWORD level) {
    if (level == 0) {
        reinterpret_cast<USER_INFO_0*>(record)->usri0_name = packer.Text(info.Name);
        return;
    }
    auto* out = reinterpret_cast<USER_INFO_1*>(record);
    out->usri1_name = packer.Text(info.Name);
    out->usri1_password = nullptr;
    out->usri1_password_age = info.PasswordAge;
    out->usri1_priv = info.Priv;
    out->usri1_home_dir = packer.Text(info.HomeDir.value_or(u""));
    out->usri1_comment = packer.Text(info.Comment);
    out->usri1_flags = info.Flags;
    out->usri1_script_path = packer.Text(info.ScriptPath.value_or(u""));
}

std::size_t UserBytes(const TUserInfo1& info, DWORD level) {
    std::size_t bytes = UserRecordSize(level) + (info.Name.size() + 1) * sizeof(wchar_t);
    if (level == 1) {
        bytes += (info.HomeDir.value_or(u"").size() + info.Comment.size() + info.ScriptPath.value_or(u"").size() + 3) *
                 sizeof(wchar_t);
    }
    return bytes;
}

}  // namespace
}  // namespace dv

using namespace dv;

extern "C" {

NET_API_STATUS WINAPI NetApiBufferFree(LPVOID buffer) {
    return Buffers().Free(buffer);
}

NET_API_STATUS WINAPI NetGetJoinInformation(LPCWSTR server, LPWSTR* nameBuffer, PNETSETUP_JOIN_STATUS bufferType) {
    if (!nameBuffer || !bufferType) return ERROR_INVALID_PARAMETER;
    *nameBuffer = nullptr;
    if (!Local(server)) return ERROR_BAD_NETPATH;
    std::uint32_t status = NetSetupUnknownStatus;
    const NET_API_STATUS result = WithState([&](TSimAccounts& state) {
        status = state.JoinStatus;
        return NERR_Success;
    });
    if (result != NERR_Success) return result;
    const std::u16string name = status == NetSetupDomainName ? u"DOMAIN" : u"WORKGROUP";
    TPacker packer(0);
    packer.AddText(name);
    if (!packer.Allocate()) return ERROR_NOT_ENOUGH_MEMORY;
    *nameBuffer = packer.Text(name);
    *bufferType = static_cast<NETSETUP_JOIN_STATUS>(status);
    return NERR_Success;
}

NET_API_STATUS WINAPI NetShareGetInfo(LMSTR server, LMSTR netname, DWORD level, LPBYTE* bufptr) {
    if (!bufptr) return ERROR_INVALID_PARAMETER;
    *bufptr = nullptr;
    if (!Local(server)) return ERROR_BAD_NETPATH;
    if (level != 0 && level != 1 && level != 2 && level != 502 && level != 1005) return ERROR_INVALID_LEVEL;
    if (!netname || !*netname) return ERROR_INVALID_PARAMETER;
    const std::u16string name = FromWide(netname);
    return WithState([&](TSimAccounts& state) -> NET_API_STATUS {
        const auto share = state.Shares.find(UpperCase(name));
        if (share == state.Shares.end()) return NERR_NetNameNotFound;
        if (level == 1005) {
            const TShareFlags flags = state.ShareGetInfo1005(name);
            if (!flags.Status.ok()) return flags.Status.Code;
            TPacker packer(sizeof(SHARE_INFO_1005));
            if (!packer.Allocate()) return ERROR_NOT_ENOUGH_MEMORY;
            reinterpret_cast<SHARE_INFO_1005*>(packer.Base())->shi1005_flags = flags.Flags;
            *bufptr = packer.Base();
            return NERR_Success;
        }
        return PackShare(share->second, level, bufptr);
    });
}

NET_API_STATUS WINAPI NetShareAdd(LMSTR server, DWORD level, LPBYTE buf, LPDWORD parameterError) {
    if (!Local(server)) return ERROR_BAD_NETPATH;
    if (level != 2 && level != 502) return ERROR_INVALID_LEVEL;
    if (!buf) return ERROR_INVALID_PARAMETER;
    // SHARE_INFO_2 is the first part of SHARE_INFO_502.
    const auto* info = reinterpret_cast<const SHARE_INFO_502*>(buf);
    if (!info->shi502_netname || !*info->shi502_netname) {
        SetParameterError(parameterError, SHARE_NETNAME_PARMNUM);
        return ERROR_INVALID_PARAMETER;
    }
    if ((info->shi502_type & ~(STYPE_SPECIAL | STYPE_TEMPORARY)) != STYPE_DISKTREE) {
        SetParameterError(parameterError, SHARE_TYPE_PARMNUM);
        return ERROR_INVALID_PARAMETER;
    }
    if (const NET_API_STATUS refused = CheckShareFields(info->shi502_remark, info->shi502_max_uses, parameterError)) {
        return refused;
    }
    if (!info->shi502_path || !*info->shi502_path) {
        SetParameterError(parameterError, SHARE_PATH_PARMNUM);
        return ERROR_INVALID_PARAMETER;
    }
    const std::optional<TSecurityDescriptor> descriptor =
        DescriptorOf(level == 502 ? info->shi502_security_descriptor : nullptr);
    if (!descriptor) {
        SetParameterError(parameterError, SHARE_FILE_SD_PARMNUM);
        return ERROR_INVALID_PARAMETER;
    }
    TShareInfo502 share;
    share.NetName = FromWide(info->shi502_netname);
    share.Type = info->shi502_type;
    share.Remark = Text(info->shi502_remark);
    share.Permissions = info->shi502_permissions;
    share.MaxUses = info->shi502_max_uses;
    share.Path = FromWide(info->shi502_path);
    // With user-level security (every Windows since NT) the share password is ignored.
    share.SecurityDescriptor = *descriptor;
    if (!IsDirectory(share.Path)) return kNerrUnknownDevDir;
    return WithState([&](TSimAccounts& state) -> NET_API_STATUS { return state.ShareAdd502(share).Code; });
}

NET_API_STATUS WINAPI NetShareSetInfo(LMSTR server, LMSTR netname, DWORD level, LPBYTE buf, LPDWORD parameterError) {
    if (!Local(server)) return ERROR_BAD_NETPATH;
    if (level != 502 && level != 1005 && level != 1501) return ERROR_INVALID_LEVEL;
    if (!buf || !netname || !*netname) return ERROR_INVALID_PARAMETER;
    if (level == 1005) {
        // The flags as given; a server refuses flags it does not know (ERROR_INVALID_PARAMETER), as
        // one before SMB 3 refuses SHI1005_FLAGS_ENCRYPT_DATA.
        const DWORD flags = reinterpret_cast<const SHARE_INFO_1005*>(buf)->shi1005_flags;
        const std::u16string name = FromWide(netname);
        return WithState(
            [&](TSimAccounts& state) -> NET_API_STATUS { return state.ShareSetInfo1005(name, flags).Code; });
    }
    std::optional<TSecurityDescriptor> descriptor;
    const SHARE_INFO_502* info = nullptr;
    if (level == 502) {
        info = reinterpret_cast<const SHARE_INFO_502*>(buf);
        if (const NET_API_STATUS refused =
                CheckShareFields(info->shi502_remark, info->shi502_max_uses, parameterError)) {
            return refused;
        }
        descriptor = DescriptorOf(info->shi502_security_descriptor);
    } else {
        const PSECURITY_DESCRIPTOR raw = reinterpret_cast<const SHARE_INFO_1501*>(buf)->shi1501_security_descriptor;
        if (raw) descriptor = DescriptorOf(raw);
    }
    if (!descriptor) {
        SetParameterError(parameterError, SHARE_FILE_SD_PARMNUM);
        return ERROR_INVALID_PARAMETER;
    }
    const std::u16string name = FromWide(netname);
    return WithState([&](TSimAccounts& state) -> NET_API_STATUS {
        const auto share = state.Shares.find(UpperCase(name));
        if (share == state.Shares.end()) return NERR_NetNameNotFound;
        // The name, the type and the folder of a share stay what they were.
        if (info) {
            share->second.Remark = Text(info->shi502_remark);
            share->second.Permissions = info->shi502_permissions;
            share->second.MaxUses = info->shi502_max_uses;
        }
        share->second.SecurityDescriptor = *descriptor;
        return NERR_Success;
    });
}

NET_API_STATUS WINAPI NetShareDel(LMSTR server, LMSTR netname, DWORD reserved) {
    if (!Local(server)) return ERROR_BAD_NETPATH;
    if (!netname || !*netname || reserved != 0) return ERROR_INVALID_PARAMETER;
    const std::u16string name = FromWide(netname);
    return WithState([&](TSimAccounts& state) -> NET_API_STATUS {
        return state.Shares.erase(UpperCase(name)) ? NERR_Success : NERR_NetNameNotFound;
    });
}

NET_API_STATUS WINAPI NetUserGetInfo(LPCWSTR server, LPCWSTR username, DWORD level, LPBYTE* bufptr) {
    if (!bufptr) return ERROR_INVALID_PARAMETER;
    *bufptr = nullptr;
    if (!Local(server)) return ERROR_BAD_NETPATH;
    if (level != 0 && level != 1) return ERROR_INVALID_LEVEL;
    if (!username) return ERROR_INVALID_PARAMETER;
    const std::u16string name = FromWide(username);
    return WithState([&](TSimAccounts& state) -> NET_API_STATUS {
        const TSimAccounts::Account* account = state.FindAccount(name);
        if (!account || account->Use != TSidNameUse::User || name.empty()) return NERR_UserNotFound;
        TPacker packer(UserRecordSize(level));
        AddUserTexts(packer, account->Info, level);
        if (!packer.Allocate()) return ERROR_NOT_ENOUGH_MEMORY;
        FillUser(packer, packer.Base(), account->Info, level);
        *bufptr = packer.Base();
        return NERR_Success;
    });
}

NET_API_STATUS WINAPI NetUserAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parameterError) {
    if (!Local(server)) return ERROR_BAD_NETPATH;
    if (level != 1) return ERROR_INVALID_LEVEL;
    if (!buf) return ERROR_INVALID_PARAMETER;
    const auto* info = reinterpret_cast<const USER_INFO_1*>(buf);
    if (!info->usri1_name) {
        SetParameterError(parameterError, USER_NAME_PARMNUM);
        return ERROR_INVALID_PARAMETER;
    }
    if (info->usri1_priv != USER_PRIV_USER) {
        SetParameterError(parameterError, USER_PRIV_PARMNUM);
        return ERROR_INVALID_PARAMETER;
    }
    TUserInfo1 user;
    user.Name = FromWide(info->usri1_name);
    if (!ValidUserName(user.Name)) return kNerrBadUsername;
    user.Password = Text(info->usri1_password);
    user.PasswordAge = 0;  // an output field
    user.Priv = info->usri1_priv;
    if (info->usri1_home_dir) user.HomeDir = FromWide(info->usri1_home_dir);
    user.Comment = Text(info->usri1_comment);
    user.Flags = info->usri1_flags;
    if (info->usri1_script_path) user.ScriptPath = FromWide(info->usri1_script_path);
    return WithState([&](TSimAccounts& state) -> NET_API_STATUS { return state.UserAdd1(user).Code; });
}

NET_API_STATUS WINAPI NetUserChangePassword(LPCWSTR domain, LPCWSTR username, LPCWSTR oldpassword,
                                            LPCWSTR newpassword) {
    if (!Local(domain)) return ERROR_BAD_NETPATH;
    if (!username || !oldpassword || !newpassword) return ERROR_INVALID_PARAMETER;
    const std::u16string name = FromWide(username);
    const std::u16string oldPassword = FromWide(oldpassword);
    const std::u16string newPassword = FromWide(newpassword);
    return WithState([&](TSimAccounts& state) -> NET_API_STATUS {
        return state.UserChangePassword(name, oldPassword, newPassword).Code;
    });
}

NET_API_STATUS WINAPI NetUserSetInfo(LPCWSTR server, LPCWSTR username, DWORD level, LPBYTE buf,
                                     LPDWORD parameterError) {
    if (!Local(server)) return ERROR_BAD_NETPATH;
    if (level != 1003) return ERROR_INVALID_LEVEL;
    if (!buf || !username) return ERROR_INVALID_PARAMETER;
    const LPCWSTR raw = reinterpret_cast<const USER_INFO_1003*>(buf)->usri1003_password;
    if (!raw) {
        SetParameterError(parameterError, USER_PASSWORD_PARMNUM);
        return ERROR_INVALID_PARAMETER;
    }
    const std::u16string name = FromWide(username);
    const std::u16string password = FromWide(raw);
    return WithState(
        [&](TSimAccounts& state) -> NET_API_STATUS { return state.UserSetPassword1003(name, password).Code; });
}

NET_API_STATUS WINAPI NetUserDel(LPCWSTR server, LPCWSTR username) {
    if (!Local(server)) return ERROR_BAD_NETPATH;
    if (!username) return ERROR_INVALID_PARAMETER;
    const std::u16string name = FromWide(username);
    return WithState([&](TSimAccounts& state) -> NET_API_STATUS { return state.UserDel(name).Code; });
}

NET_API_STATUS WINAPI NetUserEnum(LPCWSTR server, DWORD level, DWORD filter, LPBYTE* bufptr, DWORD prefmaxlen,
                                  LPDWORD entriesread, LPDWORD totalentries, LPDWORD resumeHandle) {
    if (!bufptr || !entriesread || !totalentries) return ERROR_INVALID_PARAMETER;
    *bufptr = nullptr;
    *entriesread = 0;
    *totalentries = 0;
    if (!Local(server)) return ERROR_BAD_NETPATH;
    if (level != 0 && level != 1) return ERROR_INVALID_LEVEL;
    return WithState([&](TSimAccounts& state) -> NET_API_STATUS {
        // Local accounts are all normal accounts: other filters find none.
        std::vector<const TSimAccounts::Account*> users;
        if (filter == 0 || (filter & FILTER_NORMAL_ACCOUNT)) users = Users(state);
        const std::size_t begin = std::min<std::size_t>(resumeHandle ? *resumeHandle : 0, users.size());
        // As many entries as fit the preferred length, at least one.
        std::size_t end = begin;
        std::size_t bytes = 0;
        while (end < users.size()) {
            const std::size_t next = UserBytes(users[end]->Info, level);
            if (end > begin && prefmaxlen != MAX_PREFERRED_LENGTH && bytes + next > prefmaxlen) break;
            bytes += next;
            ++end;
        }
        *totalentries = static_cast<DWORD>(users.size() - begin);
        if (end > begin) {
            TPacker packer(UserRecordSize(level) * (end - begin));
            for (std::size_t i = begin; i < end; ++i) AddUserTexts(packer, users[i]->Info, level);
            if (!packer.Allocate()) return ERROR_NOT_ENOUGH_MEMORY;
            for (std::size_t i = begin; i < end; ++i) {
                FillUser(packer, packer.Base() + UserRecordSize(level) * (i - begin), users[i]->Info, level);
            }
            *bufptr = packer.Base();
        }
        *entriesread = static_cast<DWORD>(end - begin);
        if (end < users.size()) {
            if (resumeHandle) *resumeHandle = static_cast<DWORD>(end);
            return ERROR_MORE_DATA;
        }
        if (resumeHandle) *resumeHandle = 0;
        return NERR_Success;
    });
}

}  // extern "C"
