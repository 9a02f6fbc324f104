// What the account manager needs from the local account database.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/os_error.h"

namespace dv {

inline constexpr std::uint32_t kErrorInvalidPassword = 86;     // ERROR_INVALID_PASSWORD
inline constexpr std::uint32_t kErrorMoreData = 234;           // ERROR_MORE_DATA
inline constexpr std::uint32_t kNerrUserNotFound = 2221;       // NERR_UserNotFound
inline constexpr std::uint32_t kUserPrivUser = 1;              // USER_PRIV_USER
inline constexpr std::uint32_t kUfScript = 0x0001;             // UF_SCRIPT
inline constexpr std::uint32_t kUfDontExpirePasswd = 0x10000;  // UF_DONT_EXPIRE_PASSWD
inline constexpr std::uint32_t kNerrUserExists = 2224;         // NERR_UserExists
inline constexpr std::uint32_t kNerrPasswordTooShort = 2245;   // NERR_PasswordTooShort

// USER_INFO_1, field by field.
struct TUserInfo1 {
    std::u16string Name;
    std::u16string Password;
    std::uint32_t PasswordAge = 0;
    std::uint32_t Priv = kUserPrivUser;
    std::optional<std::u16string> HomeDir;  // nothing: a null pointer
    std::u16string Comment;
    std::uint32_t Flags = kUfScript | kUfDontExpirePasswd;
    std::optional<std::u16string> ScriptPath;

    bool operator==(const TUserInfo1&) const = default;
};

// What NetUserGetInfo at level 1 tells of an account that the account manager uses: its comment.
struct TUserComment {
    TOsStatus Status;
    std::u16string Comment;
};

// One batch of NetUserEnum.
struct TUserEnumBatch {
    TOsStatus Status;  // 0, ERROR_MORE_DATA while more follow, or the failure
    std::vector<std::u16string> Names;
};

class IUserApi {
public:
    virtual ~IUserApi() = default;

    // NetUserGetInfo at level 0.
    [[nodiscard]] virtual TOsStatus UserGetInfo0(const std::u16string& name) = 0;
    // NetUserGetInfo at level 1: the account's comment.
    [[nodiscard]] virtual TUserComment UserGetInfo1(const std::u16string& name) = 0;
    // NetUserAdd at level 1.
    [[nodiscard]] virtual TOsStatus UserAdd1(const TUserInfo1& info) = 0;
    [[nodiscard]] virtual TOsStatus UserChangePassword(const std::u16string& name, const std::u16string& oldPassword,
                                                       const std::u16string& newPassword) = 0;
    // NetUserSetInfo at level 1003: the password alone.
    [[nodiscard]] virtual TOsStatus UserSetPassword1003(const std::u16string& name, const std::u16string& password) = 0;
    [[nodiscard]] virtual TOsStatus UserDel(const std::u16string& name) = 0;
    // NetUserEnum at level 1, every account type, one batch; `resumeHandle` carries on between calls.
    [[nodiscard]] virtual TUserEnumBatch UserEnum1(std::uint32_t& resumeHandle) = 0;
    // Writes the DWORD 0 named after the account under the key
    // HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon\SpecialAccounts\UserList, which keeps
    // the account off the sign-in screen.
    [[nodiscard]] virtual TOsStatus HideFromSignIn(const std::u16string& name) = 0;
    // Removes that value; a missing value or key is not an error.
    [[nodiscard]] virtual TOsStatus ShowOnSignIn(const std::u16string& name) = 0;
};

}  // namespace dv
