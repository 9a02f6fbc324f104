#include "accounts/accounts_store_sim.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <thread>
#include <utility>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"

namespace dv {
namespace {

constexpr std::string_view kNextRidKey = "#next-rid\t";
// The local password policy, written only when one is set (a computer without one has no line).
constexpr std::string_view kMinPasswordLengthKey = "#min-password-length\t";
// The share flags the server refuses, written only when there are any.
constexpr std::string_view kUnknownShareFlagsKey = "#unknown-share-flags\t";
constexpr std::string_view kAbsent = "\\N";

// --- Fields ---

std::string Escape(std::u16string_view text) {
    return ToUtf8(EscapedSimField(text));
}

std::string EscapeOptional(const std::optional<std::u16string>& text) {
    return text ? Escape(*text) : std::string(kAbsent);
}

// Where a record could not be read, for the error's message.
struct Place {
    std::u16string_view file;
    std::size_t line = 0;

    [[noreturn]] void Fail(std::u16string_view what) const {
        throw EConvertError(u"Simulation state " + std::u16string(file) + u", line " +
                            IntToStr(static_cast<std::int64_t>(line)) + u": " + std::u16string(what));
    }
};

std::u16string Unescape(std::string_view field, const Place& place) {
    std::optional<std::u16string> text = UnescapedSimField(FromUtf8(field));
    if (!text) place.Fail(u"a field ends in a lone backslash or holds an unknown escape");
    return std::move(*text);
}

std::optional<std::u16string> UnescapeOptional(std::string_view field, const Place& place) {
    if (field == kAbsent) return std::nullopt;
    return Unescape(field, place);
}

template <typename Number>
Number ParseNumber(std::string_view field, const Place& place, int base = 10) {
    Number value{};
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value, base);
    if (error != std::errc() || end != field.data() + field.size() || field.empty()) {
        place.Fail(u"not a number: " + FromUtf8(field));
    }
    return value;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t begin = 0;
    while (true) {
        const std::size_t end = text.find(separator, begin);
        parts.push_back(text.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin));
        if (end == std::string_view::npos) return parts;
        begin = end + 1;
    }
}

// Calls `record` with the fields of every record line; comment lines go to `comment`. A record has
// `fieldCount` fields, and may have up to `optionalFields` more.
void ForEachRecord(std::string_view text, std::u16string_view file, std::size_t fieldCount,
                   const std::function<void(const std::vector<std::string_view>&, const Place&)>& record,
                   const std::function<void(std::string_view)>& comment = {}, std::size_t optionalFields = 0) {
    Place place{file, 0};
    for (std::string_view line : Split(text, '\n')) {
        ++place.line;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        if (line.front() == '#') {
            if (comment) comment(line);
            continue;
        }
        const std::vector<std::string_view> fields = Split(line, '\t');
        if (fields.size() < fieldCount || fields.size() > fieldCount + optionalFields) {
            place.Fail(u"wrong number of fields");
        }
        record(fields, place);
    }
}

// --- SIDs and DACLs ---

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0xF];
    }
    return out;
}

std::vector<std::uint8_t> FromHex(std::string_view text, const Place& place) {
    if (text.size() % 2 != 0) place.Fail(u"odd number of hex digits");
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2)
        bytes.push_back(ParseNumber<std::uint8_t>(text.substr(i, 2), place, 16));
    return bytes;
}

std::string EncodeSid(const TSid& sid) {
    return ToUtf8(sid.ToString());
}

TSid DecodeSid(std::string_view text, const Place& place) {
    // S-1-AUTHORITY-SUB-SUB...
    const std::vector<std::string_view> parts = Split(text, '-');
    if (parts.size() < 3 || parts[0] != "S" || parts[1] != "1") place.Fail(u"not a SID: " + FromUtf8(text));
    std::vector<std::uint32_t> subAuthorities;
    for (std::size_t i = 3; i < parts.size(); ++i)
        subAuthorities.push_back(ParseNumber<std::uint32_t>(parts[i], place));
    if (subAuthorities.size() > kMaxSubAuthorities) place.Fail(u"too many sub-authorities");
    return TSid::Make(ParseNumber<std::uint64_t>(parts[2], place), std::move(subAuthorities));
}

std::string EncodeDescriptor(const TSecurityDescriptor& descriptor) {
    if (!descriptor.DaclPresent) return "none";
    if (!descriptor.Dacl) return "null";
    const TAcl& acl = *descriptor.Dacl;
    std::string out = "acl " + std::to_string(acl.Revision) + " " + std::to_string(acl.Capacity);
    for (const TAce& ace : acl.Aces) {
        out += " " + std::to_string(ace.Type) + " " + std::to_string(ace.Flags) + " " + std::to_string(ace.Mask) + " " +
               (ace.Body.empty() ? std::string("-") : Hex(ace.Body));
    }
    return out;
}

TSecurityDescriptor DecodeDescriptor(std::string_view text, const Place& place) {
    TSecurityDescriptor descriptor;
    if (text == "none") return descriptor;
    descriptor.DaclPresent = true;
    if (text == "null") return descriptor;
    const std::vector<std::string_view> parts = Split(text, ' ');
    if (parts.size() < 3 || parts[0] != "acl" || (parts.size() - 3) % 4 != 0) place.Fail(u"not a DACL");
    TAcl acl;
    acl.Revision = ParseNumber<std::uint8_t>(parts[1], place);
    acl.Capacity = ParseNumber<std::uint32_t>(parts[2], place);
    for (std::size_t i = 3; i < parts.size(); i += 4) {
        TAce ace;
        ace.Type = ParseNumber<std::uint8_t>(parts[i], place);
        ace.Flags = ParseNumber<std::uint8_t>(parts[i + 1], place);
        ace.Mask = ParseNumber<std::uint32_t>(parts[i + 2], place);
        if (parts[i + 3] != "-") ace.Body = FromHex(parts[i + 3], place);
        acl.Aces.push_back(std::move(ace));
    }
    descriptor.Dacl = std::move(acl);
    return descriptor;
}

std::string Join(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += '\t';
        line += fields[i];
    }
    return line + "\n";
}

std::u16string HexText(std::uint32_t value) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string text;
    do {
        text.insert(text.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return text;
}

std::u16string AccountNameOf(const TSimAccounts& state, const TAce& ace) {
    const std::optional<TSid> sid = ace.Sid();
    if (!sid) return u"?";
    for (const TSimAccounts::Account& account : state.Accounts) {
        if (account.Sid == *sid) return account.Info.Name;
    }
    return sid->ToString();
}

}  // namespace

// --- The files ---

std::string EncodeSimAccounts(const TSimAccounts& state) {
    std::string text = "# Simulated local accounts: NAME PASSWORD COMMENT SID USE PRIV FLAGS HOMEDIR SCRIPTPATH\n";
    text += std::string(kNextRidKey) + std::to_string(state.NextRid()) + "\n";
    if (state.MinPasswordLength > 0) {
        text += std::string(kMinPasswordLengthKey) + std::to_string(state.MinPasswordLength) + "\n";
    }
    for (const TSimAccounts::Account& account : state.Accounts) {
        const TUserInfo1& info = account.Info;
        text += Join({Escape(info.Name), Escape(info.Password), Escape(info.Comment), EncodeSid(account.Sid),
                      std::to_string(static_cast<int>(account.Use)), std::to_string(info.Priv),
                      std::to_string(info.Flags), EscapeOptional(info.HomeDir), EscapeOptional(info.ScriptPath)});
    }
    return text;
}

void DecodeSimAccounts(std::string_view text, TSimAccounts& state) {
    std::vector<TSimAccounts::Account> accounts;
    std::optional<std::uint32_t> nextRid;
    std::size_t minPasswordLength = 0;
    ForEachRecord(
        text, kSimAccountsFile, 9,
        [&](const std::vector<std::string_view>& f, const Place& place) {
            TSimAccounts::Account account;
            account.Info.Name = Unescape(f[0], place);
            account.Info.Password = Unescape(f[1], place);
            account.Info.Comment = Unescape(f[2], place);
            account.Sid = DecodeSid(f[3], place);
            const int use = ParseNumber<int>(f[4], place);
            if (use < static_cast<int>(TSidNameUse::User) || use > static_cast<int>(TSidNameUse::Label)) {
                place.Fail(u"unknown account kind");
            }
            account.Use = static_cast<TSidNameUse>(use);
            account.Info.Priv = ParseNumber<std::uint32_t>(f[5], place);
            account.Info.Flags = ParseNumber<std::uint32_t>(f[6], place);
            account.Info.HomeDir = UnescapeOptional(f[7], place);
            account.Info.ScriptPath = UnescapeOptional(f[8], place);
            accounts.push_back(std::move(account));
        },
        [&](std::string_view comment) {
            if (comment.starts_with(kNextRidKey)) {
                nextRid = ParseNumber<std::uint32_t>(comment.substr(kNextRidKey.size()), Place{kSimAccountsFile, 0});
            } else if (comment.starts_with(kMinPasswordLengthKey)) {
                minPasswordLength = ParseNumber<std::uint32_t>(comment.substr(kMinPasswordLengthKey.size()),
                                                               Place{kSimAccountsFile, 0});
            }
        });
    state.Accounts = std::move(accounts);
    if (nextRid) state.SetNextRid(*nextRid);
    state.MinPasswordLength = minPasswordLength;
}

std::string EncodeSimShares(const TSimAccounts& state) {
    std::string text =
        "# Simulated shares: NAME PATH REMARK TYPE PERMISSIONS MAXUSES CURRENTUSES PASSWD RESERVED DACL [FLAGS]\n";
    if (state.UnknownShareFlags != 0) {
        text += std::string(kUnknownShareFlagsKey) + std::to_string(state.UnknownShareFlags) + "\n";
    }
    for (const auto& [key, share] : state.Shares) {
        std::vector<std::string> fields = {Escape(share.NetName),
                                           Escape(share.Path),
                                           Escape(share.Remark),
                                           std::to_string(share.Type),
                                           std::to_string(share.Permissions),
                                           std::to_string(share.MaxUses),
                                           std::to_string(share.CurrentUses),
                                           EscapeOptional(share.Passwd),
                                           std::to_string(share.Reserved),
                                           EncodeDescriptor(share.SecurityDescriptor)};
        if (const auto flags = state.ShareFlags.find(key); flags != state.ShareFlags.end() && flags->second != 0) {
            fields.push_back(std::to_string(flags->second));
        }
        text += Join(fields);
    }
    return text;
}

void DecodeSimShares(std::string_view text, TSimAccounts& state) {
    std::map<std::u16string, TShareInfo502> shares;
    std::map<std::u16string, std::uint32_t> flags;
    std::uint32_t unknownFlags = 0;
    const auto record = [&](const std::vector<std::string_view>& f, const Place& place) {
        TShareInfo502 share;
        share.NetName = Unescape(f[0], place);
        share.Path = Unescape(f[1], place);
        share.Remark = Unescape(f[2], place);
        share.Type = ParseNumber<std::uint32_t>(f[3], place);
        share.Permissions = ParseNumber<std::uint32_t>(f[4], place);
        share.MaxUses = ParseNumber<std::uint32_t>(f[5], place);
        share.CurrentUses = ParseNumber<std::uint32_t>(f[6], place);
        share.Passwd = UnescapeOptional(f[7], place);
        share.Reserved = ParseNumber<std::uint32_t>(f[8], place);
        share.SecurityDescriptor = DecodeDescriptor(f[9], place);
        const std::u16string key = UpperCase(share.NetName);
        if (f.size() > 10) {
            if (const auto value = ParseNumber<std::uint32_t>(f[10], place); value != 0) flags[key] = value;
        }
        if (!shares.try_emplace(key, std::move(share)).second) place.Fail(u"a share twice");
    };
    const auto comment = [&](std::string_view line) {
        if (line.starts_with(kUnknownShareFlagsKey)) {
            unknownFlags =
                ParseNumber<std::uint32_t>(line.substr(kUnknownShareFlagsKey.size()), Place{kSimSharesFile, 0});
        }
    };
    ForEachRecord(text, kSimSharesFile, 10, record, comment, 1);
    state.Shares = std::move(shares);
    state.ShareFlags = std::move(flags);
    state.UnknownShareFlags = unknownFlags;
}

std::string EncodeSimFolders(const TSimAccounts& state) {
    std::string text = "# Simulated folder rights: PATH DACL\n";
    for (const auto& [path, descriptor] : state.Folders) text += Join({Escape(path), EncodeDescriptor(descriptor)});
    return text;
}

void DecodeSimFolders(std::string_view text, TSimAccounts& state) {
    std::map<std::u16string, TSecurityDescriptor> folders;
    ForEachRecord(text, kSimFoldersFile, 2, [&](const std::vector<std::string_view>& f, const Place& place) {
        folders[UpperCase(Unescape(f[0], place))] = DecodeDescriptor(f[1], place);
    });
    state.Folders = std::move(folders);
}

std::vector<std::u16string> SimShareLines(const TSimAccounts& state) {
    std::vector<std::u16string> lines;
    for (const auto& [key, share] : state.Shares) {
        std::u16string rights;
        if (share.SecurityDescriptor.HasDacl()) {
            for (const TAce& ace : share.SecurityDescriptor.Dacl->Aces) {
                if (ace.Mask == 0) continue;
                if (!rights.empty()) rights += u',';
                rights += AccountNameOf(state, ace) + u":" + IntToStr(ace.Mask);
            }
        }
        std::u16string line = share.NetName + u"\t" + share.Path + u"\t" + share.Remark + u"\t" + rights;
        if (const auto flags = state.ShareFlags.find(key); flags != state.ShareFlags.end() && flags->second != 0) {
            line += u"\t0x" + HexText(flags->second);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<std::u16string> SimAccountLines(const TSimAccounts& state) {
    std::vector<std::u16string> lines;
    for (const TSimAccounts::Account& account : state.Accounts) {
        if (account.Use != TSidNameUse::User) continue;
        lines.push_back(account.Info.Name + u"\t" + account.Info.Password + u"\t" + account.Info.Comment);
    }
    return lines;
}

void ForgetFolderRights(TSimAccounts& state, char16_t letter) {
    const std::u16string prefix = UpperCase(std::u16string(1, letter)) + u":";
    std::erase_if(state.Folders, [&](const auto& folder) { return folder.first.starts_with(prefix); });
}

std::u16string EscapedSimField(std::u16string_view text) {
    std::u16string out;
    for (char16_t c : text) {
        switch (c) {
            case u'\\': out += u"\\\\"; break;
            case u'\t': out += u"\\t"; break;
            case u'\n': out += u"\\n"; break;
            case u'\r': out += u"\\r"; break;
            default: out += c;
        }
    }
    return out;
}

std::optional<std::u16string> UnescapedSimField(std::u16string_view field) {
    std::u16string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != u'\\') {
            out += field[i];
            continue;
        }
        if (++i == field.size()) return std::nullopt;
        switch (field[i]) {
            case u'\\': out += u'\\'; break;
            case u't': out += u'\t'; break;
            case u'n': out += u'\n'; break;
            case u'r': out += u'\r'; break;
            default: return std::nullopt;
        }
    }
    return out;
}

void ReplaceSimStateFile(std::u16string_view path, std::string_view bytes) {
    // A read holds a file for well under a millisecond; a second is far more than any reader needs.
    constexpr int kAttempts = 40;
    constexpr auto kPause = std::chrono::milliseconds(25);
    for (int attempt = 1;; ++attempt) {
        try {
            fs::ReplaceFileContents(path, bytes);
            return;
        } catch (const EFCreateError&) {
            if (attempt == kAttempts) throw;
        }
        std::this_thread::sleep_for(kPause);
    }
}

// --- The store ---

TSimAccountsStore::TSimAccountsStore(std::u16string folder, Guard guard)
    : folder_(std::move(folder)), guard_(std::move(guard)) {}

std::u16string TSimAccountsStore::FileOf(std::u16string_view name) const {
    return folder_ + u"\\" + std::u16string(name);
}

TSimAccounts TSimAccountsStore::Load() const {
    TSimAccounts state;
    if (auto text = fs::ReadReplaceableFile(FileOf(kSimAccountsFile))) DecodeSimAccounts(*text, state);
    if (auto text = fs::ReadReplaceableFile(FileOf(kSimSharesFile))) DecodeSimShares(*text, state);
    if (auto text = fs::ReadReplaceableFile(FileOf(kSimFoldersFile))) DecodeSimFolders(*text, state);
    return state;
}

void TSimAccountsStore::Change(const std::function<void(TSimAccounts& state)>& change) {
    const auto cycle = [&] {
        TSimAccounts state = Load();
        const std::string accounts = EncodeSimAccounts(state);
        const std::string shares = EncodeSimShares(state);
        const std::string folders = EncodeSimFolders(state);
        change(state);
        // Only what changed is written: a read-only call leaves the files (and their times) alone.
        if (const std::string now = EncodeSimAccounts(state); now != accounts) {
            ReplaceSimStateFile(FileOf(kSimAccountsFile), now);
        }
        if (const std::string now = EncodeSimShares(state); now != shares) {
            ReplaceSimStateFile(FileOf(kSimSharesFile), now);
        }
        if (const std::string now = EncodeSimFolders(state); now != folders) {
            ReplaceSimStateFile(FileOf(kSimFoldersFile), now);
        }
    };
    if (guard_) {
        guard_(cycle);
    } else {
        cycle();
    }
}

std::uint32_t TSimAccountsStore::Run(const std::function<void(TSimAccounts& state)>& work) {
    try {
        Change(work);
        return 0;
    } catch (const Exception& error) {
        if (OnError) OnError(error.Message());
        if (const auto* os = dynamic_cast<const EOSError*>(&error); os && os->ErrorCode() != 0) return os->ErrorCode();
        return dynamic_cast<const EFCreateError*>(&error) ? fs::kWriteFault : fs::kInvalidData;
    }
}

void TSimAccountsStore::KnowFolder(TSimAccounts& state, const std::u16string& path) {
    if (state.Folders.contains(UpperCase(path)) || !fs::DirectoryExists(path)) return;
    TAcl acl;
    // The rights of a freshly formatted drive root: administrators may do anything, users may read.
    acl.Aces = {TAce::Allowed(AdministratorsSid(), kFullControl),
                TAce::Allowed(TSid::Make(5, {32, 545}), kReadAndExecute)};
    state.AddFolder(path, acl);
}

TJoinInformation TSimAccountsStore::GetJoinInformation() {
    TJoinInformation result;
    if (const std::uint32_t failed = Run([&](TSimAccounts& s) { result = s.GetJoinInformation(); })) {
        return {TOsStatus::Net(failed), 0};
    }
    return result;
}

TOsStatus TSimAccountsStore::ShareGetInfo0(const std::u16string& name) {
    TOsStatus result;
    if (const std::uint32_t failed = Run([&](TSimAccounts& s) { result = s.ShareGetInfo0(name); })) {
        return TOsStatus::Net(failed);
    }
    return result;
}

TShareGetInfo TSimAccountsStore::ShareGetInfo502(const std::u16string& name) {
    TShareGetInfo result;
    if (const std::uint32_t failed = Run([&](TSimAccounts& s) { result = s.ShareGetInfo502(name); })) {
        return {TOsStatus::Net(failed), {}};
    }
    return result;
}

TOsStatus TSimAccountsStore::ShareAdd502(const TShareInfo502& info) {
    TOsStatus result;
    if (const std::uint32_t failed = Run([&](TSimAccounts& s) { result = s.ShareAdd502(info); })) {
        return TOsStatus::Net(failed);
    }
    return result;
}

TOsStatus TSimAccountsStore::ShareSetInfo502(const TShareInfo502& info) {
    TOsStatus result;
    if (const std::uint32_t failed = Run([&](TSimAccounts& s) { result = s.ShareSetInfo502(info); })) {
        return TOsStatus::Net(failed);
    }
    return result;
}

TShareFlags TSimAccountsStore::ShareGetInfo1005(const std::u16string& name) {
    TShareFlags result;
    if (const std::uint32_t failed = Run([&](TSimAccounts& s) { result = s.ShareGetInfo1005(name); })) {
        return {TOsStatus::Net(failed), 0};
    }
    return result;
}

TOsStatus TSimAccountsStore::ShareSetInfo1005(const std::u16string& name, std::uint32_t flags) {
    TOsStatus result;
    if (const std::uint32_t failed = Run([&](TSimAccounts& s) { result = s.ShareSetInfo1005(name, flags); })) {
        return TOsStatus::Net(failed);
    }
    return result;
}

TOsStatus TSimAccountsStore::ShareDel(const std::u16string& name) {
    TOsStatus result;
    if (const std::uint32_t failed = Run([&](TSimAccounts& s) { result = s.ShareDel(name); })) {
        return TOsStatus::Net(failed);
    }
    return result;
}

void TSimAccountsStore::NotifyShareChanged(const std::u16string& path) {
    if (OnShareChanged) OnShareChanged(path);
}

TAccountLookup TSimAccountsStore::LookupAccount(const std::u16string& name) {
    TAccountLookup result;
    if (const std::uint32_t failed = Run([&](TSimAccounts& s) { result = s.LookupAccount(name); })) {
        TAccountLookup failure;
        failure.SizeQueryError = failed;
        return failure;
    }
    return result;
}

TFileSecurity TSimAccountsStore::GetFileDacl(const std::u16string& path) {
    TFileSecurity result;
    if (const std::uint32_t failed = Run([&](TSimAccounts& s) {
            KnowFolder(s, path);
            result = s.GetFileDacl(path);
        })) {
        return {TOsStatus::Last(failed), {}};
    }
    return result;
}

TOsStatus TSimAccountsStore::SetFileDacl(const std::u16string& path, const TAcl& dacl) {
    TOsStatus result;
    if (const std::uint32_t failed = Run([&](TSimAccounts& s) {
            KnowFolder(s, path);
            result = s.SetFileDacl(path, dacl);
        })) {
        return TOsStatus::Last(failed);
    }
    return result;
}

TOsStatus TSimAccountsStore::UserGetInfo0(const std::u16string& name) {
    TOsStatus result;
    if (const std::uint32_t failed = Run([&](TSimAccounts& s) { result = s.UserGetInfo0(name); })) {
        return TOsStatus::Net(failed);
    }
    return result;
}

TUserComment TSimAccountsStore::UserGetInfo1(const std::u16string& name) {
    TUserComment result;
    if (const std::uint32_t failed = Run([&](TSimAccounts& s) { result = s.UserGetInfo1(name); })) {
        return {TOsStatus::Net(failed), {}};
    }
    return result;
}

TOsStatus TSimAccountsStore::UserAdd1(const TUserInfo1& info) {
    TOsStatus result;
    if (const std::uint32_t failed = Run([&](TSimAccounts& s) { result = s.UserAdd1(info); })) {
        return TOsStatus::Net(failed);
    }
    return result;
}

TOsStatus TSimAccountsStore::UserChangePassword(const std::u16string& name, const std::u16string& oldPassword,
                                                const std::u16string& newPassword) {
    TOsStatus result;
    if (const std::uint32_t failed =
            Run([&](TSimAccounts& s) { result = s.UserChangePassword(name, oldPassword, newPassword); })) {
        return TOsStatus::Net(failed);
    }
    return result;
}

TOsStatus TSimAccountsStore::UserSetPassword1003(const std::u16string& name, const std::u16string& password) {
    TOsStatus result;
    if (const std::uint32_t failed = Run([&](TSimAccounts& s) { result = s.UserSetPassword1003(name, password); })) {
        return TOsStatus::Net(failed);
    }
    return result;
}

TOsStatus TSimAccountsStore::UserDel(const std::u16string& name) {
    TOsStatus result;
    if (const std::uint32_t failed = Run([&](TSimAccounts& s) { result = s.UserDel(name); })) {
        return TOsStatus::Net(failed);
    }
    return result;
}

// The sign-in screen's list is not part of the stored computer: the real registry holds it there.
TOsStatus TSimAccountsStore::HideFromSignIn(const std::u16string&) {
    return {};
}

TOsStatus TSimAccountsStore::ShowOnSignIn(const std::u16string&) {
    return {};
}

TUserEnumBatch TSimAccountsStore::UserEnum1(std::uint32_t& resumeHandle) {
    TUserEnumBatch result;
    std::uint32_t handle = resumeHandle;
    if (const std::uint32_t failed = Run([&](TSimAccounts& s) { result = s.UserEnum1(handle); })) {
        TUserEnumBatch failure;
        failure.Status = TOsStatus::Net(failed);
        return failure;
    }
    resumeHandle = handle;
    return result;
}

}  // namespace dv
