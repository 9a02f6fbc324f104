#include "accounts/accounts_win.h"

#include <memory>

#include <lm.h>

#include "platform/handles_win.h"

namespace dv {

// The portable side carries these system values as plain numbers.
static_assert(kErrorInvalidPassword == ERROR_INVALID_PASSWORD);
static_assert(kErrorMoreData == ERROR_MORE_DATA);
static_assert(kNerrUserNotFound == NERR_UserNotFound);
static_assert(kUserPrivUser == USER_PRIV_USER);
static_assert(kUfScript == UF_SCRIPT);
static_assert(kUfDontExpirePasswd == UF_DONT_EXPIRE_PASSWD);
static_assert(kNerrUserExists == NERR_UserExists);
static_assert(kNerrPasswordTooShort == NERR_PasswordTooShort);
namespace {

constexpr const wchar_t* kSignInUserListKey =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\SpecialAccounts\\UserList";

struct NetApiBufferDeleter {
    void operator()(void* buffer) const noexcept { ::NetApiBufferFree(buffer); }
};
using NetApiBuffer = std::unique_ptr<void, NetApiBufferDeleter>;

class WinUserApi final : public IUserApi {
public:
    TOsStatus UserGetInfo0(const std::u16string& name) override {
        const std::wstring wide = ToWide(name);
        LPBYTE buffer = nullptr;
        const NET_API_STATUS result = ::NetUserGetInfo(nullptr, wide.c_str(), 0, &buffer);
        NetApiBuffer owner(buffer);
        return TOsStatus::Net(result);
    }

    TUserComment UserGetInfo1(const std::u16string& name) override {
        const std::wstring wide = ToWide(name);
        LPBYTE buffer = nullptr;
        const NET_API_STATUS result = ::NetUserGetInfo(nullptr, wide.c_str(), 1, &buffer);
        NetApiBuffer owner(buffer);
        TUserComment answer;
        answer.Status = TOsStatus::Net(result);
        if (result == NERR_Success && buffer) {
            const auto* info = reinterpret_cast<const USER_INFO_1*>(buffer);
            if (info->usri1_comment) answer.Comment = FromWide(info->usri1_comment);
        }
        return answer;
    }

    TOsStatus UserAdd1(const TUserInfo1& value) override {
        std::wstring name = ToWide(value.Name);
        std::wstring password = ToWide(value.Password);
        std::wstring homeDir = ToWide(value.HomeDir.value_or(u""));
        std::wstring comment = ToWide(value.Comment);
        std::wstring scriptPath = ToWide(value.ScriptPath.value_or(u""));
        USER_INFO_1 info{};
        info.usri1_name = name.data();
        info.usri1_password = password.data();
        info.usri1_password_age = value.PasswordAge;
        info.usri1_priv = value.Priv;
        info.usri1_home_dir = value.HomeDir ? homeDir.data() : nullptr;
        info.usri1_comment = comment.data();
        info.usri1_flags = value.Flags;
        info.usri1_script_path = value.ScriptPath ? scriptPath.data() : nullptr;
        DWORD parameterError = 0;
        const NET_API_STATUS result = ::NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&info), &parameterError);
        SecureZeroMemory(password.data(), password.size() * sizeof(wchar_t));
        return TOsStatus::Net(result);
    }

    TOsStatus UserChangePassword(const std::u16string& name, const std::u16string& oldPassword,
                                 const std::u16string& newPassword) override {
        const std::wstring wideName = ToWide(name);
        const std::wstring wideOld = ToWide(oldPassword);
        const std::wstring wideNew = ToWide(newPassword);
        return TOsStatus::Net(::NetUserChangePassword(nullptr, wideName.c_str(), wideOld.c_str(), wideNew.c_str()));
    }

    TOsStatus UserSetPassword1003(const std::u16string& name, const std::u16string& password) override {
        const std::wstring wideName = ToWide(name);
        std::wstring widePassword = ToWide(password);
        USER_INFO_1003 info{};
        info.usri1003_password = widePassword.data();
        DWORD parameterError = 0;
        const NET_API_STATUS result =
            ::NetUserSetInfo(nullptr, wideName.c_str(), 1003, reinterpret_cast<LPBYTE>(&info), &parameterError);
        SecureZeroMemory(widePassword.data(), widePassword.size() * sizeof(wchar_t));
        return TOsStatus::Net(result);
    }

    TOsStatus HideFromSignIn(const std::u16string& name) override {
        HKEY raw = nullptr;
        LSTATUS result = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSignInUserListKey, 0, nullptr, 0,
                                           KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &raw, nullptr);
        if (result != ERROR_SUCCESS) return TOsStatus::Net(static_cast<std::uint32_t>(result));
        const UniqueRegistryKey key(raw);
        const std::wstring wide = ToWide(name);
        const DWORD hidden = 0;
        result = ::RegSetValueExW(key.get(), wide.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&hidden),
                                  sizeof(hidden));
        return TOsStatus::Net(static_cast<std::uint32_t>(result));
    }

    TOsStatus ShowOnSignIn(const std::u16string& name) override {
        HKEY raw = nullptr;
        LSTATUS result =
            ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSignInUserListKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &raw);
        if (result == ERROR_FILE_NOT_FOUND) return {};
        if (result != ERROR_SUCCESS) return TOsStatus::Net(static_cast<std::uint32_t>(result));
        const UniqueRegistryKey key(raw);
        const std::wstring wide = ToWide(name);
        result = ::RegDeleteValueW(key.get(), wide.c_str());
        if (result == ERROR_FILE_NOT_FOUND) return {};
        return TOsStatus::Net(static_cast<std::uint32_t>(result));
    }

    TOsStatus UserDel(const std::u16string& name) override {
        const std::wstring wide = ToWide(name);
        return TOsStatus::Net(::NetUserDel(nullptr, wide.c_str()));
    }

    TUserEnumBatch UserEnum1(std::uint32_t& resumeHandle) override {
        LPBYTE buffer = nullptr;
        DWORD read = 0;
        DWORD total = 0;
        DWORD resume = resumeHandle;
        // A preferred length of 0 may be answered with "more data" and no entries at all; the whole
        // list in one buffer is what the documentation advises.
        // https://learn.microsoft.com/windows/win32/api/lmaccess/nf-lmaccess-netuserenum
        const NET_API_STATUS result =
            ::NetUserEnum(nullptr, 1, 0, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &resume);
        NetApiBuffer owner(buffer);
        resumeHandle = resume;
        TUserEnumBatch batch;
        batch.Status = TOsStatus::Net(result);
        if ((result == NERR_Success || result == ERROR_MORE_DATA) && buffer) {
            const auto* entries = reinterpret_cast<const USER_INFO_1*>(buffer);
            for (DWORD i = 0; i < read; ++i) batch.Names.push_back(FromWide(entries[i].usri1_name));
        }
        return batch;
    }
};

}  // namespace

std::unique_ptr<IUserApi> CreateWinUserApi() {
    return std::make_unique<WinUserApi>();
}

}  // namespace dv
