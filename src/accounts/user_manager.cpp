#include "accounts/user_manager.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <utility>

#include "accounts/crypto.h"
#include "logging/logs.h"
#include "platform/drive_letter.h"
#include "platform/files.h"
#include "platform/os_error.h"
#include "platform/text.h"
#include "settings/share_settings.h"

namespace dv {

namespace {

bool ContainsIgnoreCase(const std::vector<std::u16string>& list, std::u16string_view name) {
    return std::any_of(list.begin(), list.end(),
                       [&](const std::u16string& entry) { return EqualsIgnoreCase(entry, name); });
}

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool IsMasterAccountName(std::u16string_view name) {
    return EqualsIgnoreCase(name, kMasterAccountName);
}

}  // namespace

std::u16string HashMD5(std::u16string_view s) {
    std::string bytes;
    bytes.reserve(s.size());
    for (char16_t c : s) bytes.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string hex;
    for (std::uint8_t b : Md5Digest(bytes)) {
        hex.push_back(kHex[b >> 4]);
        hex.push_back(kHex[b & 0x0F]);
    }
    return hex;
}

std::u16string Base64Encode(std::u16string_view s) {
    static constexpr char16_t kAlphabet[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::u16string out;
    std::size_t lineLength = 0;
    auto put = [&](char16_t c) {
        if (lineLength == 76) {
            out += u"\r\n";
            lineLength = 0;
        }
        out.push_back(c);
        ++lineLength;
    };
    for (std::size_t i = 0; i < s.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, s.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            group = group << 8 | (k < n ? static_cast<std::uint8_t>(s[i + k] & 0xFF) : 0);
        }
        for (std::size_t k = 0; k < 4; ++k) {
            put(k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : u'=');
        }
    }
    return out;
}

std::u16string DerivePassword(std::u16string_view salt) {
    return Base64Encode(HashMD5(salt)).substr(0, kPasswordLength);
}

std::u16string EncodePassword(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out) c = static_cast<char16_t>((c & 0xFF) ^ 1);
    return out;
}

std::u16string DecodePassword(std::u16string_view s) {
    return EncodePassword(s);
}

std::u16string GenerateUserNameByShareName(std::u16string_view ShareName) {
    const std::u16string full = std::u16string(kPerDriveUserPrefix) + std::u16string(ShareName);
    std::u16string name = full.substr(0, kMaxUserNameLength);
    // The cut never keeps half of a character outside the basic plane (a surrogate pair).
    if (full.size() > name.size() && name.back() >= 0xD800 && name.back() <= 0xDBFF && full[name.size()] >= 0xDC00 &&
        full[name.size()] <= 0xDFFF) {
        name.pop_back();
    }
    for (char16_t& c : name) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    }
    return name;
}

namespace {

bool IsOwnAccountName(std::u16string_view name, std::u16string_view comment) {
    if (!EqualsIgnoreCase(comment, kShareUserComment)) return false;
    return IsMasterAccountName(name) ||
           EqualsIgnoreCase(name.substr(0, kPerDriveUserPrefix.size()), kPerDriveUserPrefix);
}

constexpr std::u16string_view kNotHidden = u"not kept off the sign-in screen";

// The account works all the same when its entry cannot be written or removed; the administrator
// learns of it from the application log.
void LogSignInEntryFailure(TOsStatus status, const std::u16string& name, std::u16string_view what) {
    if (status.ok()) return;
    LogError(u"Account " + name + u": " + std::u16string(what) + u": " + OSStatusMessage(status));
}

}  // namespace

TUserManager::TUserManager(IUserApi& api, TApplicationSettings& settings) : api_(api), settings_(settings) {}

bool TUserManager::UserExists(const std::u16string& Name) {
    // An unplugged drive's configuration names no account; asking the system about "" would only
    // produce an error that the removal of the drive cannot use.
    if (Name.empty()) return false;
    const TOsStatus status = api_.UserGetInfo0(Name);
    if (status.ok()) return true;
    if (status.Code == kNerrUserNotFound) return false;
    RaiseIfFailed(status);
    return false;
}

void TUserManager::UserAdd(const std::u16string& Name, const std::u16string& Password, const std::u16string& Comment) {
    TUserInfo1 info;
    info.Name = Name;
    info.Password = Password;
    info.PasswordAge = 0;
    info.Priv = kUserPrivUser;
    info.HomeDir = std::nullopt;
    info.Comment = Comment;
    info.Flags = kUfScript | kUfDontExpirePasswd;
    info.ScriptPath = std::nullopt;
    RaiseIfFailed(api_.UserAdd1(info));
    // A tile on the sign-in screen would only invite people to try the account.
    if (IsOwnAccountName(Name, Comment)) {
        LogSignInEntryFailure(api_.HideFromSignIn(Name), Name, kNotHidden);
    }
}

void TUserManager::UserChangePassword(const std::u16string& Name, const std::u16string& OldPassword,
                                      const std::u16string& NewPassword) {
    TOsStatus status = api_.UserChangePassword(Name, OldPassword, NewPassword);
    if (status.Code == kErrorInvalidPassword) status = api_.UserSetPassword1003(Name, NewPassword);
    if (status.Code == kNerrUserNotFound) return;
    RaiseIfFailed(status);
}

void TUserManager::UserDelete(const std::u16string& Name) {
    const TOsStatus status = api_.UserDel(Name);
    if (status.Code == kNerrUserNotFound) return;
    RaiseIfFailed(status);
    // Only the value of an account Dockvane made and has just deleted is its own to remove.
    if (IsOwnAccountName(Name, kShareUserComment)) {
        LogSignInEntryFailure(api_.ShowOnSignIn(Name), Name, u"sign-in screen entry not removed");
    }
}

void TUserManager::HideOwnAccountsFromSignIn() {
    // Runs at start-up: an account that cannot be asked about is left alone rather than stopping it.
    for (const std::u16string& name : GetDockvaneUserList()) {
        TOsStatus hidden;
        try {
            if (!IsOwnAccount(name)) continue;
            hidden = api_.HideFromSignIn(name);
        } catch (const EOSError& error) {
            LogError(u"Account " + name + u": " + std::u16string(kNotHidden) + u": " + error.Message());
            continue;
        }
        LogSignInEntryFailure(hidden, name, kNotHidden);
    }
}

std::u16string TUserManager::RandomStr(std::uint32_t Len) {
    std::u16string digits;
    digits.reserve(Len);
    std::uint8_t pool[64];
    while (digits.size() < Len) {
        CryptoRandomBytes(pool, sizeof pool);
        for (std::uint8_t b : pool) {
            // 250 is the largest multiple of 10 a byte reaches: rejecting the rest keeps the digits even.
            if (b >= 250 || digits.size() == Len) continue;
            digits.push_back(static_cast<char16_t>(u'0' + b % 10));
        }
    }
    return digits;
}

std::u16string TUserManager::MakePassword(const std::u16string& Salt) {
    if (settings_.FIsInDomain == 1) return DecodePassword(Salt);
    return DerivePassword(Salt);
}

std::u16string TUserManager::SaltPassword(const std::u16string& Pass) {
    return EncodePassword(Pass);
}

std::u16string TUserManager::GenerateUserNameByShareName(const std::u16string& ShareName) {
    return dv::GenerateUserNameByShareName(ShareName);
}

std::vector<std::u16string> TUserManager::GetDockvaneUserList() {
    std::vector<std::u16string> list;
    std::uint32_t resume = 0;
    for (;;) {
        const std::uint32_t asked = resume;
        const TUserEnumBatch batch = api_.UserEnum1(resume);
        list.insert(list.end(), batch.Names.begin(), batch.Names.end());
        if (batch.Status.Code != kErrorMoreData) break;
        // "More data" may come with no entries and still move on; only a resume handle that stayed
        // where it was would bring the same answer for ever.
        if (resume == asked) break;
    }
    const std::u16string& defaultUser = settings_.FDefaultShareUserName;
    std::erase_if(list, [&](const std::u16string& name) {
        return name != defaultUser && name != kMasterAccountName && !StartsWith(name, kPerDriveUserPrefix);
    });
    if (settings_.FIsInDomain == 1 && !ContainsIgnoreCase(list, defaultUser)) list.push_back(defaultUser);
    auto entry = std::find_if(list.begin(), list.end(),
                              [&](const std::u16string& name) { return EqualsIgnoreCase(name, defaultUser); });
    if (entry != list.end()) std::rotate(list.begin(), entry, entry + 1);
    return list;
}

bool TUserManager::IsOwnAccount(const std::u16string& Name) {
    return IsMasterAccountName(Name) || IsOwnPerDriveAccount(Name);
}

bool TUserManager::IsOwnPerDriveAccount(const std::u16string& Name) {
    if (!EqualsIgnoreCase(std::u16string_view(Name).substr(0, kPerDriveUserPrefix.size()), kPerDriveUserPrefix)) {
        return false;
    }
    const TUserComment account = api_.UserGetInfo1(Name);
    if (account.Status.Code == kNerrUserNotFound) return false;
    RaiseIfFailed(account.Status);
    return EqualsIgnoreCase(account.Comment, kShareUserComment);
}

bool TUserManager::ChekToManualUserCreate(const std::u16string& UserName, const std::u16string& Salt) {
    // Whatever case a drive's file writes it in, the master account is not a drive's own account.
    if (UserName.empty() || IsMasterAccountName(UserName)) return false;
    if (UserExists(UserName)) return true;
    if (settings_.FIsInDomain != 0) return true;
    UserAdd(UserName, MakePassword(Salt + UserName), std::u16string(kShareUserComment));
    return false;
}

bool TUserManager::ChekToManualUserDelete(const std::u16string& Drive,
                                          std::vector<std::u16string> AttachedNasDriveLetters) {
    const std::u16string name = GetDriveShareUser(Drive);
    if (IsMasterAccountName(name)) return false;
    // The leaving drive does not keep its own account alive.
    auto self = std::find_if(AttachedNasDriveLetters.begin(), AttachedNasDriveLetters.end(),
                             [&](const std::u16string& letter) { return EqualsIgnoreCase(letter, Drive); });
    if (self != AttachedNasDriveLetters.end()) AttachedNasDriveLetters.erase(self);
    const std::vector<std::u16string> users = GetAttachedUserList(AttachedNasDriveLetters);
    // The file may name any account; only one that Dockvane made goes with the drive.
    if (ContainsIgnoreCase(users, name) || !UserExists(name) || !IsOwnPerDriveAccount(name)) return false;
    UserDelete(name);
    return true;
}

bool TUserManager::ChekToManualUserDeleteByuserName(const std::u16string& UserName,
                                                    const std::vector<std::u16string>& AttachedNasDriveLetters) {
    if (EqualsIgnoreCase(UserName, settings_.FDefaultShareUserName) || IsMasterAccountName(UserName)) return false;
    const std::vector<std::u16string> users = GetAttachedUserList(AttachedNasDriveLetters);
    if (ContainsIgnoreCase(users, UserName) || !UserExists(UserName) || !IsOwnPerDriveAccount(UserName)) return false;
    UserDelete(UserName);
    return true;
}

std::u16string TUserManager::GetDriveShareUser(const std::u16string& Drive) {
    const std::optional<TDriveLetter> drive = TDriveLetter::Parse(Drive);
    if (!drive) return {};
    const std::u16string root = drive->Root();
    const std::u16string file = root + std::u16string(kDriveConfigFileName);
    if (!fs::DirectoryExists(root) || !fs::FileExists(file)) return {};
    TShareSettings settings(file);
    try {
        settings.Load();
    } catch (const EFOpenError&) {
        return {};  // an unreadable configuration names no account
    }
    return settings.FShareUserName;
}

std::vector<std::u16string> TUserManager::GetAttachedUserList(
    const std::vector<std::u16string>& AttachedNasDriveLetters) {
    std::vector<std::u16string> users;
    for (const std::u16string& drive : AttachedNasDriveLetters) {
        std::u16string user = GetDriveShareUser(drive);
        if (!user.empty()) users.push_back(std::move(user));
    }
    return users;
}

}  // namespace dv
