// The messages between the engine (the service that shares drives) and a face (the tray of one
// signed-in person): requests a face sends, the engine's replies, and the reports the engine sends on
// its own. On the pipe each message is one frame (frames.h) whose payload is a UTF-8 JSON object:
//
//   {"version":1,"kind":"eject-drive","id":7,"letter":"E"}
//
// The pipe is a trust boundary in both directions: the engine reads what any local process sent, and
// a face reads whatever process holds the pipe's name. Every message is checked whole before it is
// acted on: each field present, of its type and within its bounds, no field besides them, no key
// twice, no deeper nesting than a message has. A field that is not known is refused rather than
// skipped: both ends ship together and say their version, so an unknown field is a fault or a forgery,
// and one skipped by mistake (a misspelt "autoRemove") would silently reset a setting.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/drive_letter.h"

namespace dv::remote {

inline constexpr std::uint64_t kProtocolVersion = 1;

// Bounds of the texts a message carries, in UTF-16 code units.
inline constexpr std::size_t kMaxDescriptionLength = 256;   // a share's remark (MAXCOMMENTSZ)
inline constexpr std::size_t kMaxVolumeLabelLength = 32;    // NTFS; FAT takes 11
inline constexpr std::size_t kMaxDomainLength = 15;         // a NetBIOS domain name
inline constexpr std::size_t kMaxPasswordLength = 256;      // PWLEN
inline constexpr std::size_t kMaxListedNameLength = 256;    // a name the engine lists (share, account)
inline constexpr std::size_t kMaxCapacityLength = 32;       // "14.9 GB"
inline constexpr std::size_t kMaxBalloonTextLength = 1024;  // the shell shows 255 of them
inline constexpr std::size_t kMaxBoxTextLength = 4096;
inline constexpr std::size_t kMaxErrorTextLength = 1024;
inline constexpr std::size_t kMaxListedNames = 256;  // accounts, shares
inline constexpr std::size_t kMaxCaptionLength = 256;

// --- Requests (face to engine) ---

struct TGetStatus {
    bool operator==(const TGetStatus&) const = default;
};
// From now on the engine sends this connection its reports.
struct TSubscribe {
    bool operator==(const TSubscribe&) const = default;
};
// The drive settings dialog's OK: the engine writes the drive's configuration file, shares the drive
// again with it and sets the volume label. For a drive not yet in the pool it is the Add command.
struct TChangeDriveSettings {
    TDriveLetter Letter{u'C'};
    std::u16string ShareName;    // 1 to 12 characters a person can type there
    std::u16string Description;  // may be empty
    std::u16string Account;      // empty: the default account
    bool AutoRemove = false;
    bool Encrypt = false;
    std::u16string VolumeLabel;  // may be empty
    bool operator==(const TChangeDriveSettings&) const = default;
};
// The dialog's Disable: the drive leaves the pool and stays plugged in.
struct TDisableDrive {
    TDriveLetter Letter{u'C'};
    bool operator==(const TDisableDrive&) const = default;
};
// The Eject menu and the dialog's Disable and remove.
struct TEjectDrive {
    TDriveLetter Letter{u'C'};
    bool operator==(const TEjectDrive&) const = default;
};
struct TRenewPassword {
    bool operator==(const TRenewPassword&) const = default;
};
// The password of one of Dockvane's accounts, for the dialogs that show and copy it.
struct TGetPassword {
    std::u16string Account;
    bool operator==(const TGetPassword&) const = default;
};
struct TSetDomainUser {
    std::u16string UserName;  // "user" or "DOMAIN\user"
    std::u16string Password;  // Latin-1 only: the stored form keeps one byte of each character
    bool operator==(const TSetDomainUser&) const = default;
};
struct TSetAutoPlay {
    std::int32_t Mode = 0;  // 0 "Always disabled", 1 "Disable for Dockvane disks", 2 "Always enabled"
    bool operator==(const TSetAutoPlay&) const = default;
};
// Whether the face starts at every person's sign-in.
struct TSetFaceAutostart {
    bool Enabled = false;
    bool operator==(const TSetFaceAutostart&) const = default;
};

// What the drive settings dialog shows of one drive before a person changes it: the engine reads the
// drive's configuration as the dialog would (its defaults for a drive that has none).
struct TGetDriveSettings {
    TDriveLetter Letter{u'C'};
    bool operator==(const TGetDriveSettings&) const = default;
};

// --- Replies (engine to face, carrying the request's id) ---

enum class TDriveState {
    Plugged,   // a USB drive that is not in the pool: one the Add command offers
    Unshared,  // in the pool, not shared
    Shared,
};
struct TDriveStatus {
    TDriveLetter Letter{u'C'};
    TDriveState State = TDriveState::Plugged;
    std::u16string VolumeLabel;
    std::u16string Capacity;
    std::u16string ShareName;  // empty for a plugged drive
    std::u16string Account;
    bool operator==(const TDriveStatus&) const = default;
};
struct TStatus {
    std::vector<TDriveStatus> Drives;  // each letter once
    std::vector<std::u16string> Accounts;
    std::vector<std::u16string> Shares;
    bool InDomain = false;
    std::u16string DefaultAccount;  // "dockvane", or the domain user
    std::int32_t AutoPlay = 0;
    bool FaceAutostart = false;
    bool operator==(const TStatus&) const = default;
};
struct TOk {
    bool operator==(const TOk&) const = default;
};
enum class TErrorCode {
    Malformed,    // not a message: no JSON object, no version or kind, too deep, a key twice
    Version,      // another version of the protocol
    UnknownKind,  // no such kind, or one that this side does not take
    BadField,     // a field missing, of another type, out of its bounds, or not known
    Refused,      // the caller may not ask this
    NotAttached,  // the drive is not there
    Failed,       // the engine could not do it; the text says why
};
struct TError {
    TErrorCode Code = TErrorCode::Failed;
    std::u16string Text;
    bool operator==(const TError&) const = default;
};
struct TPassword {
    std::u16string Account;
    std::u16string Password;
    bool operator==(const TPassword&) const = default;
};

// The answer to get-drive-settings. Names come from a file on the drive and are only fitted to their
// bounds, not checked as a person's input is.
struct TDriveSettings {
    TDriveLetter Letter{u'C'};
    bool Removable = true;       // a removable drive; a fixed one shows its label in the drive list
    std::u16string VolumeLabel;  // in upper case, as the dialog shows it
    std::u16string ShareName;
    std::u16string Description;
    std::u16string Account;
    bool AutoRemove = false;
    bool Encrypt = false;
    bool operator==(const TDriveSettings&) const = default;
};

// --- Reports (engine to every subscribed face, id 0) ---

struct TDriveAttached {
    TDriveLetter Letter{u'C'};
    std::u16string ShareName;
    bool operator==(const TDriveAttached&) const = default;
};
struct TDriveRemoved {
    TDriveLetter Letter{u'C'};
    bool operator==(const TDriveRemoved&) const = default;
};
enum class TBalloonIcon { Information, Warning };
struct TBalloon {
    TBalloonIcon Icon = TBalloonIcon::Information;
    std::u16string Text;
    bool operator==(const TBalloon&) const = default;
};
enum class TBoxIcon { Error, Warning, Information };
struct TMessageBox {
    TBoxIcon Icon = TBoxIcon::Error;
    std::u16string Text;
    bool operator==(const TMessageBox&) const = default;
};
// The tray icon's picture: idle, a drive shared, files being written.
enum class TTrayImage { Idle, Available, Activity };
struct TTrayIcon {
    TTrayImage Image = TTrayImage::Idle;
    bool operator==(const TTrayIcon&) const = default;
};
// The pool changed: a face asks for the status again to rebuild its menus.
struct TMenuChanged {
    bool operator==(const TMenuChanged&) const = default;
};
struct TEngineStopping {
    bool operator==(const TEngineStopping&) const = default;
};
// One of the two notification sounds: each face plays the one its person chose.
enum class TSoundEvent { Available, Done };
struct TSound {
    TSoundEvent Event = TSoundEvent::Available;
    bool operator==(const TSound&) const = default;
};
// A drive without a configuration arrived while the AutoPlay mode is "Disable for Dockvane disks": the
// face of the session in front of the screen shows its own AutoPlay dialog for it.
struct TAutoPlay {
    TDriveLetter Letter{u'C'};
    std::u16string Caption;  // "BACKUP (E:)"
    bool operator==(const TAutoPlay&) const = default;
};
// The computer is in a domain and its account for the shares is to be entered: the face of the session
// in front of the screen shows the domain user dialog, whose OK sends set-domain-user.
struct TDomainUser {
    bool operator==(const TDomainUser&) const = default;
};

// The alternatives in the order of TKind.
using TBody = std::variant<TGetStatus, TSubscribe, TChangeDriveSettings, TDisableDrive, TEjectDrive, TRenewPassword,
                           TGetPassword, TSetDomainUser, TSetAutoPlay, TSetFaceAutostart, TStatus, TOk, TError,
                           TPassword, TDriveAttached, TDriveRemoved, TBalloon, TMessageBox, TTrayIcon, TMenuChanged,
                           TEngineStopping, TSound, TAutoPlay, TDomainUser, TGetDriveSettings, TDriveSettings>;

enum class TKind {
    GetStatus,
    Subscribe,
    ChangeDriveSettings,
    DisableDrive,
    EjectDrive,
    RenewPassword,
    GetPassword,
    SetDomainUser,
    SetAutoPlay,
    SetFaceAutostart,
    Status,
    Ok,
    Error,
    Password,
    DriveAttached,
    DriveRemoved,
    Balloon,
    Box,  // not MessageBox, which windows.h takes for a macro
    TrayIcon,
    MenuChanged,
    EngineStopping,
    Sound,
    AutoPlay,
    DomainUser,
    GetDriveSettings,
    DriveSettings,
};
inline constexpr std::size_t kKindCount = std::variant_size_v<TBody>;

// Requests come from a face; replies and reports from the engine.
enum class TDirection { Request, Reply, Report };
// Who reads a payload: the engine takes requests only, a face replies and reports only.
enum class TReader { Engine, Face };

std::string_view KindName(TKind kind);  // the wire's "kind"
TDirection DirectionOf(TKind kind);

struct TMessage {
    // A request's own number, which its reply carries back; 0 in reports.
    std::uint32_t Id = 0;
    TBody Body;

    TKind Kind() const { return static_cast<TKind>(Body.index()); }
    bool operator==(const TMessage&) const = default;
};

// Why a message would not be taken: nothing when every field is within its bounds. Decode runs it on
// what it read, Encode on what it is given.
std::optional<std::u16string> FieldProblem(const TBody& body);

struct TDecoded {
    std::optional<TMessage> Message;  // the whole message, when it is one
    // What was wrong otherwise (Malformed, Version, UnknownKind or BadField) and a text for the reply,
    // which repeats nothing of the payload but field names and kinds the protocol knows.
    TError Error;
    // The payload's id where it could be read, so that an error reply still answers its request.
    std::uint32_t Id = 0;
};

// One payload, as untrusted bytes; a kind that the reader does not take is UnknownKind. Never raises.
TDecoded Decode(std::string_view payload, TReader reader);
// The payload of a message: compact JSON, keys in a fixed order, so that a decoded message encodes
// to the same bytes again. Nothing when a field breaks its bounds (FieldProblem): such a message
// would be refused by the other side.
std::optional<std::string> Encode(const TMessage& message);

// An error reply to a payload that did not decode.
TMessage ErrorReply(const TDecoded& decoded);

}  // namespace dv::remote
