#include "remote/protocol.h"

#include <array>
#include <cstddef>
#include <exception>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <utility>

#include "accounts/user_manager.h"
#include "platform/text.h"
#include "remote/frames.h"
#include "settings/share_settings.h"

namespace dv::remote {
namespace {

using Json = nlohmann::json;

// The deepest a message nests: the status, its list of drives, one drive.
constexpr std::size_t kMaxDepth = 3;

struct TKindInfo {
    std::string_view Name;
    TDirection Direction;
};
// In the order of TKind.
constexpr std::array<TKindInfo, kKindCount> kKinds = {{
    {"get-status", TDirection::Request},
    {"subscribe", TDirection::Request},
    {"change-drive-settings", TDirection::Request},
    {"disable-drive", TDirection::Request},
    {"eject-drive", TDirection::Request},
    {"renew-password", TDirection::Request},
    {"get-password", TDirection::Request},
    {"set-domain-user", TDirection::Request},
    {"set-autoplay", TDirection::Request},
    {"set-face-autostart", TDirection::Request},
    {"status", TDirection::Reply},
    {"ok", TDirection::Reply},
    {"error", TDirection::Reply},
    {"password", TDirection::Reply},
    {"drive-attached", TDirection::Report},
    {"drive-removed", TDirection::Report},
    {"balloon", TDirection::Report},
    {"message-box", TDirection::Report},
    {"tray-icon", TDirection::Report},
    {"menu-changed", TDirection::Report},
    {"engine-stopping", TDirection::Report},
    {"sound", TDirection::Report},
    {"auto-play", TDirection::Report},
    {"domain-user", TDirection::Report},
    {"get-drive-settings", TDirection::Request},
    {"drive-settings", TDirection::Reply},
}};

// The spellings of each enumeration, in its order.
constexpr std::array<std::string_view, 3> kDriveStates = {"plugged", "unshared", "shared"};
constexpr std::array<std::string_view, 7> kErrorCodes = {"malformed", "version",      "unknown-kind", "bad-field",
                                                         "refused",   "not-attached", "failed"};
constexpr std::array<std::string_view, 2> kBalloonIcons = {"information", "warning"};
constexpr std::array<std::string_view, 3> kBoxIcons = {"error", "warning", "information"};
constexpr std::array<std::string_view, 3> kTrayImages = {"idle", "available", "activity"};
constexpr std::array<std::string_view, 2> kSoundEvents = {"available", "done"};

// --- What a text may hold ---

bool IsWellFormed(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

bool IsControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// A name goes into a file, a share, an account or a menu: no control character (NUL would end it early
// for the system, a line break would begin another line of the drive's file), no line or paragraph
// separator, and nothing that turns the direction of the text around it.
bool IsPlainName(std::u16string_view text, std::size_t maxLength) {
    if (text.size() > maxLength || !IsWellFormed(text)) return false;
    for (const char16_t c : text) {
        if (IsControl(c) || c == 0x2028 || c == 0x2029 || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
            (c >= 0x2066 && c <= 0x2069)) {
            return false;
        }
    }
    return true;
}

// A message for a person: its lines and tabs stay, no other control character.
bool IsPlainText(std::u16string_view text, std::size_t maxLength) {
    if (text.size() > maxLength || !IsWellFormed(text)) return false;
    for (const char16_t c : text) {
        if (IsControl(c) && c != u'\t' && c != u'\r' && c != u'\n') return false;
    }
    return true;
}

// What the drive settings dialog lets a person type as a share name.
bool IsShareName(std::u16string_view text) {
    return !text.empty() && IsPlainName(text, kMaxShareNameLength) &&
           text.find_first_of(kRefusedNameCharacters) == std::u16string_view::npos;
}

// A volume label may hold blanks (the dialog hands back a label as the drive carries it), but none of
// the characters a file name cannot hold.
bool IsVolumeLabel(std::u16string_view text) {
    return IsPlainName(text, kMaxVolumeLabelLength) && text.find_first_of(u"\"*/:<>?\\|") == std::u16string_view::npos;
}

bool IsAccountPart(std::u16string_view part, std::size_t maxLength) {
    if (part.empty() || !IsPlainName(part, maxLength)) return false;
    if (part.find_first_of(u"\"/\\[]:;|=,+*?<>@") != std::u16string_view::npos) return false;
    if (part.front() == u' ' || part.back() == u' ') return false;
    return part.find_first_not_of(u". ") != std::u16string_view::npos;
}

// "user" or "DOMAIN\user", as Windows takes an account name: the user part at most 20 characters, a
// NetBIOS domain at most 15, neither holding a character that account names cannot hold.
bool IsAccountName(std::u16string_view text) {
    const std::size_t slash = text.find(u'\\');
    if (slash == std::u16string_view::npos) return IsAccountPart(text, kMaxUserNameLength);
    return IsAccountPart(text.substr(0, slash), kMaxDomainLength) &&
           IsAccountPart(text.substr(slash + 1), kMaxUserNameLength);
}

// The stored form of a domain password keeps the low byte of each character (XOR 1): only printable
// Latin-1 survives it, and no character that would come back as a line break in the settings file.
bool IsPassword(std::u16string_view text) {
    if (text.empty() || text.size() > kMaxPasswordLength) return false;
    for (const char16_t c : text) {
        if (!((c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF))) return false;
    }
    return true;
}

std::u16string FieldText(std::string_view key, std::u16string_view what) {
    return u"The field \"" + FromUtf8(key) + u"\" " + std::u16string(what);
}

// --- The fields of each kind: checks, reading, writing ---

class TCheck {
public:
    TCheck& That(bool ok, std::string_view key, std::u16string_view what) {
        if (!ok && !problem_) problem_ = FieldText(key, what);
        return *this;
    }
    std::optional<std::u16string> Problem() { return std::move(problem_); }

private:
    std::optional<std::u16string> problem_;
};

constexpr std::u16string_view kBadName = u"is not a name this field takes";
constexpr std::u16string_view kBadText = u"is too long or holds a character it may not";

void Check(TCheck&, const TGetStatus&) {}
void Check(TCheck&, const TSubscribe&) {}
void Check(TCheck& check, const TChangeDriveSettings& m) {
    check.That(IsShareName(m.ShareName), "shareName", kBadName)
        .That(IsPlainName(m.Description, kMaxDescriptionLength), "description", kBadText)
        .That(m.Account.empty() || IsAccountName(m.Account), "account", kBadName)
        .That(IsVolumeLabel(m.VolumeLabel), "volumeLabel", kBadName);
}
void Check(TCheck&, const TDisableDrive&) {}
void Check(TCheck&, const TEjectDrive&) {}
void Check(TCheck&, const TRenewPassword&) {}
void Check(TCheck& check, const TGetPassword& m) {
    check.That(IsAccountName(m.Account), "account", kBadName);
}
void Check(TCheck& check, const TSetDomainUser& m) {
    check.That(IsAccountName(m.UserName), "userName", kBadName).That(IsPassword(m.Password), "password", kBadText);
}
void Check(TCheck& check, const TSetAutoPlay& m) {
    check.That(m.Mode >= 0 && m.Mode <= 2, "mode", u"is not 0, 1 or 2");
}
void Check(TCheck&, const TSetFaceAutostart&) {}
void Check(TCheck& check, const TStatus& m) {
    std::set<char16_t> letters;
    for (const TDriveStatus& drive : m.Drives) {
        check.That(letters.insert(drive.Letter.Letter()).second, "drives", u"names a drive twice")
            .That(IsPlainName(drive.VolumeLabel, kMaxVolumeLabelLength), "drives/volumeLabel", kBadText)
            .That(IsPlainName(drive.Capacity, kMaxCapacityLength), "drives/capacity", kBadText)
            .That(IsPlainName(drive.ShareName, kMaxListedNameLength), "drives/shareName", kBadText)
            .That(IsPlainName(drive.Account, kMaxListedNameLength), "drives/account", kBadText);
    }
    for (const auto& [key, names] : {std::pair{"accounts", &m.Accounts}, std::pair{"shares", &m.Shares}}) {
        check.That(names->size() <= kMaxListedNames, key, u"has too many entries");
        for (const std::u16string& name : *names) {
            check.That(!name.empty() && IsPlainName(name, kMaxListedNameLength), key, kBadText);
        }
    }
    check.That(IsPlainName(m.DefaultAccount, kMaxListedNameLength), "defaultAccount", kBadText)
        .That(m.AutoPlay >= 0 && m.AutoPlay <= 2, "autoPlay", u"is not 0, 1 or 2");
}
void Check(TCheck&, const TOk&) {}
void Check(TCheck& check, const TError& m) {
    check.That(IsPlainText(m.Text, kMaxErrorTextLength), "text", kBadText);
}
void Check(TCheck& check, const TPassword& m) {
    check.That(IsAccountName(m.Account), "account", kBadName).That(IsPassword(m.Password), "password", kBadText);
}
void Check(TCheck& check, const TDriveAttached& m) {
    check.That(!m.ShareName.empty() && IsPlainName(m.ShareName, kMaxListedNameLength), "shareName", kBadText);
}
void Check(TCheck&, const TDriveRemoved&) {}
void Check(TCheck& check, const TBalloon& m) {
    check.That(IsPlainText(m.Text, kMaxBalloonTextLength), "text", kBadText);
}
void Check(TCheck& check, const TMessageBox& m) {
    check.That(IsPlainText(m.Text, kMaxBoxTextLength), "text", kBadText);
}
void Check(TCheck&, const TTrayIcon&) {}
void Check(TCheck&, const TMenuChanged&) {}
void Check(TCheck&, const TEngineStopping&) {}
void Check(TCheck&, const TSound&) {}
void Check(TCheck& check, const TAutoPlay& m) {
    check.That(IsPlainName(m.Caption, kMaxCaptionLength), "caption", kBadText);
}
void Check(TCheck&, const TDomainUser&) {}
void Check(TCheck&, const TGetDriveSettings&) {}
void Check(TCheck& check, const TDriveSettings& m) {
    check.That(IsPlainName(m.VolumeLabel, kMaxVolumeLabelLength), "volumeLabel", kBadText)
        .That(IsPlainName(m.ShareName, kMaxListedNameLength), "shareName", kBadText)
        .That(IsPlainName(m.Description, kMaxDescriptionLength), "description", kBadText)
        .That(IsPlainName(m.Account, kMaxListedNameLength), "account", kBadText);
}

// Reads the fields of one JSON object; the first field that is missing, of another type or out of
// range is the problem, and the rest of the reading returns harmless defaults.
class TFieldReader {
public:
    // An object inside the message names the list it stands in (`path`) before its keys: "drives/letter".
    explicit TFieldReader(const Json& object, std::string path = {}) : object_(object), path_(std::move(path)) {}

    std::u16string Text(std::string_view key) {
        const Json* value = Get(key, &Json::is_string, u"is not a text");
        return value ? FromUtf8(value->get_ref<const std::string&>()) : std::u16string();
    }
    bool Flag(std::string_view key) {
        const Json* value = Get(key, &Json::is_boolean, u"is not true or false");
        return value && value->get<bool>();
    }
    std::uint64_t Number(std::string_view key, std::uint64_t max) {
        const Json* value = Get(key, &Json::is_number_unsigned, u"is not a whole number of 0 or more");
        if (!value) return 0;
        const auto number = value->get<std::uint64_t>();
        if (number <= max) return number;
        Fail(key, u"is out of range");
        return 0;
    }
    TDriveLetter Letter(std::string_view key) {
        const Json* value = Get(key, &Json::is_string, u"is not a text");
        if (!value) return TDriveLetter(u'C');
        const std::string& text = value->get_ref<const std::string&>();
        if (text.size() == 1 && text[0] >= 'A' && text[0] <= 'Z') return TDriveLetter(static_cast<char16_t>(text[0]));
        Fail(key, u"is not a drive letter A to Z");
        return TDriveLetter(u'C');
    }
    template <typename E, std::size_t N>
    E Choice(std::string_view key, const std::array<std::string_view, N>& names) {
        const Json* value = Get(key, &Json::is_string, u"is not a text");
        if (!value) return E{};
        const std::string& text = value->get_ref<const std::string&>();
        for (std::size_t i = 0; i < N; ++i) {
            if (names[i] == text) return static_cast<E>(i);
        }
        Fail(key, u"is none of the values it takes");
        return E{};
    }
    const Json* List(std::string_view key, std::size_t maxEntries) {
        const Json* value = Get(key, &Json::is_array, u"is not a list");
        if (value && value->size() > maxEntries) {
            Fail(key, u"has too many entries");
            return nullptr;
        }
        return value;
    }
    std::vector<std::u16string> Texts(std::string_view key) {
        std::vector<std::u16string> texts;
        const Json* list = List(key, kMaxListedNames);
        if (!list) return texts;
        for (const Json& entry : *list) {
            if (!entry.is_string()) {
                Fail(key, u"holds an entry that is not a text");
                return {};
            }
            texts.push_back(FromUtf8(entry.get_ref<const std::string&>()));
        }
        return texts;
    }

    // After the last field: keys were never twice in an object (the first pass refused that), so an
    // object with more keys than were read has one that this kind does not know.
    std::optional<std::u16string> Problem() {
        if (!problem_ && read_ != object_.size()) {
            problem_ = path_.empty() ? u"The message has a field that its kind does not have"
                                     : u"An entry of \"" + FromUtf8(path_) + u"\" has a field that it does not have";
        }
        return std::move(problem_);
    }
    void Fail(std::string_view key, std::u16string_view what) {
        if (!problem_) problem_ = FieldText(path_.empty() ? std::string(key) : path_ + "/" + std::string(key), what);
    }
    void Fail(std::u16string problem) {
        if (!problem_) problem_ = std::move(problem);
    }

private:
    const Json* Get(std::string_view key, bool (Json::*is)() const noexcept, std::u16string_view what) {
        const auto it = object_.find(key);
        if (it == object_.end()) {
            Fail(key, u"is missing");
            return nullptr;
        }
        ++read_;
        if (!((*it).*is)()) {
            Fail(key, what);
            return nullptr;
        }
        return &*it;
    }

    const Json& object_;
    std::string path_;
    std::size_t read_ = 0;
    std::optional<std::u16string> problem_;
};

TDriveStatus ReadDrive(const Json& object, TFieldReader& outer) {
    if (!object.is_object()) {
        outer.Fail("drives", u"holds an entry that is not an object");
        return {};
    }
    TFieldReader fields(object, "drives");
    TDriveStatus drive{fields.Letter("letter"),    fields.Choice<TDriveState>("state", kDriveStates),
                       fields.Text("volumeLabel"), fields.Text("capacity"),
                       fields.Text("shareName"),   fields.Text("account")};
    if (std::optional<std::u16string> problem = fields.Problem()) outer.Fail(std::move(*problem));
    return drive;
}

// The body of a kind, read from the message's object (whose envelope fields were read already).
TBody ReadBody(TKind kind, TFieldReader& f) {
    switch (kind) {
        case TKind::GetStatus: return TGetStatus{};
        case TKind::Subscribe: return TSubscribe{};
        case TKind::ChangeDriveSettings:
            return TChangeDriveSettings{f.Letter("letter"),   f.Text("shareName"),  f.Text("description"),
                                        f.Text("account"),    f.Flag("autoRemove"), f.Flag("encrypt"),
                                        f.Text("volumeLabel")};
        case TKind::DisableDrive: return TDisableDrive{f.Letter("letter")};
        case TKind::EjectDrive: return TEjectDrive{f.Letter("letter")};
        case TKind::RenewPassword: return TRenewPassword{};
        case TKind::GetPassword: return TGetPassword{f.Text("account")};
        case TKind::SetDomainUser: return TSetDomainUser{f.Text("userName"), f.Text("password")};
        case TKind::SetAutoPlay: return TSetAutoPlay{static_cast<std::int32_t>(f.Number("mode", 2))};
        case TKind::SetFaceAutostart: return TSetFaceAutostart{f.Flag("enabled")};
        case TKind::Status: {
            TStatus status;
            if (const Json* drives = f.List("drives", 26)) {
                for (const Json& drive : *drives) status.Drives.push_back(ReadDrive(drive, f));
            }
            status.Accounts = f.Texts("accounts");
            status.Shares = f.Texts("shares");
            status.InDomain = f.Flag("inDomain");
            status.DefaultAccount = f.Text("defaultAccount");
            status.AutoPlay = static_cast<std::int32_t>(f.Number("autoPlay", 2));
            status.FaceAutostart = f.Flag("faceAutostart");
            return status;
        }
        case TKind::Ok: return TOk{};
        case TKind::Error: return TError{f.Choice<TErrorCode>("code", kErrorCodes), f.Text("text")};
        case TKind::Password: return TPassword{f.Text("account"), f.Text("password")};
        case TKind::DriveAttached: return TDriveAttached{f.Letter("letter"), f.Text("shareName")};
        case TKind::DriveRemoved: return TDriveRemoved{f.Letter("letter")};
        case TKind::Balloon: return TBalloon{f.Choice<TBalloonIcon>("icon", kBalloonIcons), f.Text("text")};
        case TKind::Box: return TMessageBox{f.Choice<TBoxIcon>("icon", kBoxIcons), f.Text("text")};
        case TKind::TrayIcon: return TTrayIcon{f.Choice<TTrayImage>("image", kTrayImages)};
        case TKind::MenuChanged: return TMenuChanged{};
        case TKind::EngineStopping: return TEngineStopping{};
        case TKind::Sound: return TSound{f.Choice<TSoundEvent>("event", kSoundEvents)};
        case TKind::AutoPlay: return TAutoPlay{f.Letter("letter"), f.Text("caption")};
        case TKind::DomainUser: return TDomainUser{};
        case TKind::GetDriveSettings: return TGetDriveSettings{f.Letter("letter")};
        case TKind::DriveSettings:
            return TDriveSettings{f.Letter("letter"),   f.Flag("removable"),   f.Text("volumeLabel"),
                                  f.Text("shareName"),  f.Text("description"), f.Text("account"),
                                  f.Flag("autoRemove"), f.Flag("encrypt")};
    }
    return TGetStatus{};
}

std::string Utf8(std::u16string_view text) {
    return ToUtf8(text);
}
std::string LetterText(const TDriveLetter& letter) {
    return std::string(1, static_cast<char>(letter.Letter()));
}
template <std::size_t N, typename E>
std::string NameOf(const std::array<std::string_view, N>& names, E value) {
    return std::string(names.at(static_cast<std::size_t>(value)));
}

void Write(Json&, const TGetStatus&) {}
void Write(Json&, const TSubscribe&) {}
void Write(Json& j, const TChangeDriveSettings& m) {
    j["letter"] = LetterText(m.Letter);
    j["shareName"] = Utf8(m.ShareName);
    j["description"] = Utf8(m.Description);
    j["account"] = Utf8(m.Account);
    j["autoRemove"] = m.AutoRemove;
    j["encrypt"] = m.Encrypt;
    j["volumeLabel"] = Utf8(m.VolumeLabel);
}
void Write(Json& j, const TDisableDrive& m) {
    j["letter"] = LetterText(m.Letter);
}
void Write(Json& j, const TEjectDrive& m) {
    j["letter"] = LetterText(m.Letter);
}
void Write(Json&, const TRenewPassword&) {}
void Write(Json& j, const TGetPassword& m) {
    j["account"] = Utf8(m.Account);
}
void Write(Json& j, const TSetDomainUser& m) {
    j["userName"] = Utf8(m.UserName);
    j["password"] = Utf8(m.Password);
}
void Write(Json& j, const TSetAutoPlay& m) {
    j["mode"] = static_cast<std::uint64_t>(m.Mode);
}
void Write(Json& j, const TSetFaceAutostart& m) {
    j["enabled"] = m.Enabled;
}
void Write(Json& j, const TStatus& m) {
    Json drives = Json::array();
    for (const TDriveStatus& drive : m.Drives) {
        drives.push_back({{"letter", LetterText(drive.Letter)},
                          {"state", NameOf(kDriveStates, drive.State)},
                          {"volumeLabel", Utf8(drive.VolumeLabel)},
                          {"capacity", Utf8(drive.Capacity)},
                          {"shareName", Utf8(drive.ShareName)},
                          {"account", Utf8(drive.Account)}});
    }
    j["drives"] = std::move(drives);
    for (const auto& [key, names] : {std::pair{"accounts", &m.Accounts}, std::pair{"shares", &m.Shares}}) {
        Json list = Json::array();
        for (const std::u16string& name : *names) list.push_back(Utf8(name));
        j[key] = std::move(list);
    }
    j["inDomain"] = m.InDomain;
    j["defaultAccount"] = Utf8(m.DefaultAccount);
    j["autoPlay"] = static_cast<std::uint64_t>(m.AutoPlay);
    j["faceAutostart"] = m.FaceAutostart;
}
void Write(Json&, const TOk&) {}
void Write(Json& j, const TError& m) {
    j["code"] = NameOf(kErrorCodes, m.Code);
    j["text"] = Utf8(m.Text);
}
void Write(Json& j, const TPassword& m) {
    j["account"] = Utf8(m.Account);
    j["password"] = Utf8(m.Password);
}
void Write(Json& j, const TDriveAttached& m) {
    j["letter"] = LetterText(m.Letter);
    j["shareName"] = Utf8(m.ShareName);
}
void Write(Json& j, const TDriveRemoved& m) {
    j["letter"] = LetterText(m.Letter);
}
void Write(Json& j, const TBalloon& m) {
    j["icon"] = NameOf(kBalloonIcons, m.Icon);
    j["text"] = Utf8(m.Text);
}
void Write(Json& j, const TMessageBox& m) {
    j["icon"] = NameOf(kBoxIcons, m.Icon);
    j["text"] = Utf8(m.Text);
}
void Write(Json& j, const TTrayIcon& m) {
    j["image"] = NameOf(kTrayImages, m.Image);
}
void Write(Json&, const TMenuChanged&) {}
void Write(Json&, const TEngineStopping&) {}
void Write(Json& j, const TSound& m) {
    j["event"] = NameOf(kSoundEvents, m.Event);
}
void Write(Json& j, const TAutoPlay& m) {
    j["letter"] = LetterText(m.Letter);
    j["caption"] = Utf8(m.Caption);
}
void Write(Json&, const TDomainUser&) {}
void Write(Json& j, const TGetDriveSettings& m) {
    j["letter"] = LetterText(m.Letter);
}
void Write(Json& j, const TDriveSettings& m) {
    j["letter"] = LetterText(m.Letter);
    j["removable"] = m.Removable;
    j["volumeLabel"] = Utf8(m.VolumeLabel);
    j["shareName"] = Utf8(m.ShareName);
    j["description"] = Utf8(m.Description);
    j["account"] = Utf8(m.Account);
    j["autoRemove"] = m.AutoRemove;
    j["encrypt"] = m.Encrypt;
}

// The first pass over a payload: well-formed JSON (RFC 8259, UTF-8 checked), nested no deeper than a
// message, no key twice in one object (a reader that took the first of two would see another
// message than this one, which takes the last). Builds nothing.
class TShapeCheck : public nlohmann::json_sax<Json> {
public:
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return false; }
    bool start_object(std::size_t) override { return Open(true); }
    bool key(string_t& key) override { return keys_.back().insert(key).second; }
    bool end_object() override { return Close(); }
    bool start_array(std::size_t) override { return Open(false); }
    bool end_array() override { return Close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    bool Open(bool) {
        if (keys_.size() == kMaxDepth) return false;
        keys_.emplace_back();
        return true;
    }
    bool Close() {
        keys_.pop_back();
        return true;
    }

    // The keys of every open object or array (an array's stay empty).
    std::vector<std::set<std::string>> keys_;
};

TDecoded Refuse(TDecoded decoded, TErrorCode code, std::u16string text) {
    decoded.Error = {code, std::move(text)};
    return decoded;
}

}  // namespace

std::string_view KindName(TKind kind) {
    return kKinds.at(static_cast<std::size_t>(kind)).Name;
}

TDirection DirectionOf(TKind kind) {
    return kKinds.at(static_cast<std::size_t>(kind)).Direction;
}

std::optional<std::u16string> FieldProblem(const TBody& body) {
    TCheck check;
    std::visit([&](const auto& fields) { Check(check, fields); }, body);
    return check.Problem();
}

TDecoded Decode(std::string_view payload, TReader reader) {
    TDecoded decoded;
    if (payload.size() > kMaxPayloadBytes) return Refuse(decoded, TErrorCode::Malformed, u"The message is too long");
    try {
        TShapeCheck shape;
        if (!Json::sax_parse(payload, &shape)) {
            return Refuse(decoded, TErrorCode::Malformed, u"The message is no JSON object of the form messages have");
        }
        const Json json = Json::parse(payload, nullptr, false);
        if (!json.is_object()) return Refuse(decoded, TErrorCode::Malformed, u"The message is no JSON object");

        // The id first, so that an error reply answers the request it refuses.
        const auto id = json.find("id");
        const bool hasId = id != json.end() && id->is_number_unsigned() &&
                           id->get<std::uint64_t>() <= std::numeric_limits<std::uint32_t>::max();
        if (hasId) decoded.Id = static_cast<std::uint32_t>(id->get<std::uint64_t>());
        const auto version = json.find("version");
        if (version == json.end() || !version->is_number_unsigned()) {
            return Refuse(decoded, TErrorCode::Malformed, u"The message has no version");
        }
        if (version->get<std::uint64_t>() != kProtocolVersion) {
            return Refuse(decoded, TErrorCode::Version, u"The message is of another version");
        }
        const auto kindName = json.find("kind");
        if (kindName == json.end() || !kindName->is_string()) {
            return Refuse(decoded, TErrorCode::Malformed, u"The message has no kind");
        }
        std::optional<TKind> kind;
        for (std::size_t i = 0; i < kKinds.size(); ++i) {
            if (kKinds[i].Name == kindName->get_ref<const std::string&>()) kind = static_cast<TKind>(i);
        }
        if (!kind || (DirectionOf(*kind) == TDirection::Request) != (reader == TReader::Engine)) {
            return Refuse(decoded, TErrorCode::UnknownKind, u"The message is of a kind that is not taken here");
        }
        if (!hasId) return Refuse(decoded, TErrorCode::Malformed, u"The message has no id");

        TFieldReader fields(json);
        fields.Number("version", kProtocolVersion);
        fields.Text("kind");
        fields.Number("id", std::numeric_limits<std::uint32_t>::max());
        TBody body = ReadBody(*kind, fields);
        std::optional<std::u16string> problem = fields.Problem();
        if (!problem) problem = FieldProblem(body);
        if (problem) return Refuse(decoded, TErrorCode::BadField, std::move(*problem));
        decoded.Message = TMessage{decoded.Id, std::move(body)};
        return decoded;
    } catch (const std::exception&) {
        // Every field's type is asked before it is read; this is the last guard, not a way in.
        decoded.Message.reset();
        return Refuse(decoded, TErrorCode::Malformed, u"The message could not be read");
    }
}

std::optional<std::string> Encode(const TMessage& message) {
    if (FieldProblem(message.Body)) return std::nullopt;
    try {
        Json json = Json::object();
        json["version"] = kProtocolVersion;
        json["kind"] = std::string(KindName(message.Kind()));
        json["id"] = message.Id;
        std::visit([&](const auto& fields) { Write(json, fields); }, message.Body);
        std::string payload = json.dump();
        if (payload.size() > kMaxPayloadBytes) return std::nullopt;
        return payload;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

TMessage ErrorReply(const TDecoded& decoded) {
    return TMessage{decoded.Id, decoded.Error};
}

}  // namespace dv::remote
