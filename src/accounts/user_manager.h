// Share accounts: their names, the passwords derived for them, their life in the local account
// database, and the list offered for a drive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/user_api.h"
#include "settings/app_settings.h"

namespace dv {

inline constexpr std::u16string_view kShareUserComment = u"Velmora User";
inline constexpr std::u16string_view kPerDriveUserPrefix = u"extdisk_";
// The length limit of a Windows account name.
inline constexpr std::size_t kMaxUserNameLength = 20;
inline constexpr std::size_t kPasswordLength = 12;

// --- Password derivation, the same on every computer ---

// MD5 of the characters as US-ASCII bytes (others become "?"), as 32 upper-case hex digits.
std::u16string HashMD5(std::u16string_view s);
// RFC 2045 Base64 of the characters as single bytes, a line break after every 76 output characters.
std::u16string Base64Encode(std::u16string_view s);
// The first 12 characters of Base64(HashMD5(salt)): the password outside domain mode.
std::u16string DerivePassword(std::u16string_view salt);
// (code AND 0xFF) XOR 1 for every character; its own inverse.
std::u16string EncodePassword(std::u16string_view s);
std::u16string DecodePassword(std::u16string_view s);
// "extdisk_" and the share name, cut to 20 characters, A-Z in lower case.
std::u16string GenerateUserNameByShareName(std::u16string_view ShareName);

// Reads the application settings it is given (IsInDomain, PasswordSalt, DefaultShareUserName) and
// changes the accounts through the system side it is given.
class TUserManager {
public:
    TUserManager(IUserApi& api, TApplicationSettings& settings);

    // Raise EOSError for every failure other than those their descriptions name.
    // False for an unknown account and, without asking the system, for an empty name.
    bool UserExists(const std::u16string& Name);
    void UserAdd(const std::u16string& Name, const std::u16string& Password, const std::u16string& Comment);
    // Falls back to setting the password when the old one is not accepted; an unknown account is
    // not an error.
    void UserChangePassword(const std::u16string& Name, const std::u16string& OldPassword,
                            const std::u16string& NewPassword);
    // An unknown account is not an error.
    void UserDelete(const std::u16string& Name);

    // `Len` decimal digits from the system's cryptographic generator, each equally likely.
    std::u16string RandomStr(std::uint32_t Len);
    // Domain mode: the stored domain password unscrambled; otherwise derived from the salt.
    std::u16string MakePassword(const std::u16string& Salt);
    std::u16string SaltPassword(const std::u16string& Pass);
    std::u16string GenerateUserNameByShareName(const std::u16string& ShareName);

    // The default account (first), "dockvane" and the per-drive accounts among the local accounts.
    std::vector<std::u16string> GetDockvaneUserList();

    // Dockvane's own accounts, the only ones it ever gives a new password or deletes: the master
    // account, and the "extdisk_" accounts that carry the comment "Velmora User" (names and comment
    // without regard to case). A drive's file may name any other account to be used as it is.
    bool IsOwnAccount(const std::u16string& Name);
    // Keeps Dockvane's own existing accounts off the sign-in screen (UserAdd does so for new ones,
    // UserDelete takes the entry away again); other accounts' entries stay as they are.
    void HideOwnAccountsFromSignIn();

    // True when the named per-drive account exists already (or in domain mode). A missing one is
    // created outside domain mode, and the answer is then false. False for "" and "dockvane" (in
    // any case).
    bool ChekToManualUserCreate(const std::u16string& UserName, const std::u16string& Salt);
    // Deletes the account of the leaving drive's configuration when it is one of Dockvane's per-drive
    // accounts and no other attached drive names it. Never the master account.
    bool ChekToManualUserDelete(const std::u16string& Drive, std::vector<std::u16string> AttachedNasDriveLetters);
    // Deletes the account when it is one of Dockvane's per-drive accounts, no attached drive names it
    // and it is not the default account.
    bool ChekToManualUserDeleteByuserName(const std::u16string& UserName,
                                          const std::vector<std::u16string>& AttachedNasDriveLetters);

    // The account named by the configuration file in the drive's root; empty without one.
    std::u16string GetDriveShareUser(const std::u16string& Drive);
    // The accounts the drives' configurations name, in order, duplicates kept.
    std::vector<std::u16string> GetAttachedUserList(const std::vector<std::u16string>& AttachedNasDriveLetters);

private:
    // An "extdisk_" account with Dockvane's comment; raises as UserExists does.
    bool IsOwnPerDriveAccount(const std::u16string& Name);

    IUserApi& api_;
    TApplicationSettings& settings_;
};

}  // namespace dv
