#include "remote/protocol.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "platform/text.h"
#include "remote/frames.h"

namespace dv::remote {

// A failed comparison shows the messages in their wire form.
static void PrintTo(const TMessage& message, std::ostream* out) {
    *out << Encode(message).value_or("(a message that does not encode)");
}

namespace {

TDriveLetter Drive(char16_t letter) {
    return TDriveLetter(letter);
}

// One message of every kind, with fields at the edges of what they take: the longest names, characters
// beyond the first plane, line breaks where a text may have them.
std::vector<TMessage> Samples() {
    const std::u16string twelve = u"Backup-Offic";  // the longest share name
    const std::u16string clef = u"Noten \U0001D11E";
    return {
        {1, TGetStatus{}},
        {2, TSubscribe{}},
        {3, TChangeDriveSettings{Drive(u'E'), u"Backup", u"Nightly backup of the office", u"extdisk_backup", true,
                                 false, u"MY BACKUP"}},
        {4, TChangeDriveSettings{Drive(u'Z'), twelve, clef + std::u16string(kMaxDescriptionLength - 8, u'd'),
                                 u"OFFICE-DOMAIN15\\abcdefghijklmnopqrst", false, true,
                                 std::u16string(kMaxVolumeLabelLength, u'L')}},
        {5, TChangeDriveSettings{Drive(u'A'), u"\u00C9t\u00E9", u"", u"", false, false, u""}},
        {6, TDisableDrive{Drive(u'F')}},
        {7, TEjectDrive{Drive(u'E')}},
        {8, TRenewPassword{}},
        {9, TGetPassword{u"dockvane"}},
        {10, TSetDomainUser{u"OFFICE\\backup", u"p\u00E4ss word ~!\"\\"}},
        {11, TSetAutoPlay{2}},
        {12, TSetAutoPlay{0}},
        {13, TSetFaceAutostart{true}},
        {14, TStatus{{{Drive(u'E'), TDriveState::Shared, u"BACKUP", u"14.9 GB", u"Backup", u"extdisk_backup"},
                      {Drive(u'F'), TDriveState::Unshared, u"", u"1.9 TB", u"Photos", u"dockvane"},
                      {Drive(u'G'), TDriveState::Plugged, clef, u"64 GB", u"", u""}},
                     {u"dockvane", u"extdisk_backup"},
                     {u"Backup", u"Photos"},
                     false,
                     u"dockvane",
                     1,
                     true}},
        {15, TStatus{}},
        {16, TOk{}},
        {17, TError{TErrorCode::NotAttached, u"G: is not attached.\r\n\tTry again."}},
        {18, TPassword{u"dockvane", u"ODdDRDczRDhE"}},
        {0, TDriveAttached{Drive(u'E'), u"Backup"}},
        {0, TDriveRemoved{Drive(u'E')}},
        {0, TBalloon{TBalloonIcon::Warning,
                     u"E: is in use by dllhost.exe (process 9176). Close it, then choose Eject "
                     u"again."}},
        {0, TMessageBox{TBoxIcon::Error,
                        u"The share name \"Users\" is already in use.\n\rChoose another share name "
                        u"for this drive in its drive settings."}},
        {0, TMessageBox{TBoxIcon::Information, std::u16string(kMaxBoxTextLength, u'x')}},
        {0, TTrayIcon{TTrayImage::Activity}},
        {0, TMenuChanged{}},
        {0, TEngineStopping{}},
        {0, TSound{TSoundEvent::Done}},
        {0, TSound{TSoundEvent::Available}},
        {0, TAutoPlay{Drive(u'G'), u"BACKUP (G:)"}},
        {0, TAutoPlay{Drive(u'H'), u" (H:)"}},
        {0, TDomainUser{}},
        {19, TGetDriveSettings{Drive(u'E')}},
        {20, TDriveSettings{Drive(u'E'), true, u"MY BACKUP", u"Backup", u"Nightly backup of the office",
                            u"extdisk_backup", true, false}},
        // What a hostile drive file held, fitted by the engine: longer than a person could type.
        {21, TDriveSettings{Drive(u'Z'), false, std::u16string(kMaxVolumeLabelLength, u'L'),
                            u"Backup of " + clef + u" [old]", clef + std::u16string(kMaxDescriptionLength - 8, u'd'),
                            std::u16string(kMaxListedNameLength, u'a'), false, true}},
        {22, TDriveSettings{Drive(u'A'), true, u"", u"", u"", u"", false, false}},
        {4294967295u, TOk{}},
    };
}

TReader ReaderOf(TKind kind) {
    return DirectionOf(kind) == TDirection::Request ? TReader::Engine : TReader::Face;
}

TEST(PipeMessages, EveryKindComesBackAsItWasSentAndEncodesToTheSameBytes) {
    std::set<TKind> kinds;
    for (const TMessage& message : Samples()) {
        kinds.insert(message.Kind());
        const std::optional<std::string> payload = Encode(message);
        ASSERT_TRUE(payload) << KindName(message.Kind()) << ": " << ToUtf8(FieldProblem(message.Body).value_or(u""));
        const TDecoded decoded = Decode(*payload, ReaderOf(message.Kind()));
        ASSERT_TRUE(decoded.Message) << *payload << ": " << ToUtf8(decoded.Error.Text);
        EXPECT_EQ(*decoded.Message, message);
        EXPECT_EQ(Encode(*decoded.Message), payload);
    }
    EXPECT_EQ(kinds.size(), kKindCount) << "a kind without a sample";
}

TEST(PipeMessages, TheWireFormIsCompactJsonWithSortedKeys) {
    EXPECT_EQ(Encode({7, TEjectDrive{Drive(u'E')}}), R"({"id":7,"kind":"eject-drive","letter":"E","version":1})");
    EXPECT_EQ(Encode({0, TBalloon{TBalloonIcon::Information, u"Caf\u00E9\r\n"}}),
              "{\"icon\":\"information\",\"id\":0,\"kind\":\"balloon\",\"text\":\"Caf\xC3\xA9\\r\\n\",\"version\":1}");
}

TEST(PipeMessages, EachSideTakesOnlyWhatTheOtherSends) {
    for (const TMessage& message : Samples()) {
        const std::string payload = Encode(message).value();
        const TReader other = ReaderOf(message.Kind()) == TReader::Engine ? TReader::Face : TReader::Engine;
        const TDecoded decoded = Decode(payload, other);
        EXPECT_FALSE(decoded.Message) << payload;
        EXPECT_EQ(decoded.Error.Code, TErrorCode::UnknownKind) << payload;
        EXPECT_EQ(decoded.Id, message.Id) << payload;
    }
}

std::string Repeat(std::string_view text, std::size_t times) {
    std::string result;
    for (std::size_t i = 0; i < times; ++i) result += text;
    return result;
}

// A request to change drive E:'s settings with one field replaced by the JSON text given.
std::string DriveSettings(std::string_view key, std::string_view json) {
    std::string message = R"({"version":1,"kind":"change-drive-settings","id":5)";
    for (const auto& [field, value] :
         std::vector<std::pair<std::string, std::string>>{{"letter", R"("E")"},
                                                          {"shareName", R"("Backup")"},
                                                          {"description", R"("")"},
                                                          {"account", R"("")"},
                                                          {"autoRemove", "true"},
                                                          {"encrypt", "false"},
                                                          {"volumeLabel", R"("BACKUP")"}}) {
        if (field == key && json.empty()) continue;  // the field left out
        message += ",\"" + field + "\":" + (field == key ? std::string(json) : value);
    }
    return message + "}";
}

std::string DomainUser(std::string_view userName, std::string_view password) {
    return R"({"version":1,"kind":"set-domain-user","id":5,"userName":)" + std::string(userName) + R"(,"password":)" +
           std::string(password) + "}";
}

std::string FaceMessage(std::string_view kind, std::string_view fields) {
    return R"({"version":1,"id":5,"kind":")" + std::string(kind) + "\"" + std::string(fields) + "}";
}

std::string StatusWithDrives(std::string_view drives) {
    return FaceMessage("status", R"(,"drives":)" + std::string(drives) +
                                     R"(,"accounts":[],"shares":[],"inDomain":false,"defaultAccount":"dockvane",)"
                                     R"("autoPlay":1,"faceAutostart":true)");
}

// The fields of a drive-settings reply for drive E:, one replaced by the JSON text given.
std::string DriveSettingsReply(std::string_view key, std::string_view json) {
    std::string fields;
    for (const auto& [field, value] : std::vector<std::pair<std::string, std::string>>{{"letter", R"("E")"},
                                                                                       {"removable", "true"},
                                                                                       {"volumeLabel", R"("BACKUP")"},
                                                                                       {"shareName", R"("Backup")"},
                                                                                       {"description", R"("")"},
                                                                                       {"account", R"("dockvane")"},
                                                                                       {"autoRemove", "true"},
                                                                                       {"encrypt", "false"}}) {
        if (field == key && json.empty()) continue;
        fields += ",\"" + field + "\":" + (field == key ? std::string(json) : value);
    }
    return fields;
}

const std::string kDrive =
    R"({"letter":"E","state":"shared","volumeLabel":"","capacity":"","shareName":"B","account":"a"})";

TEST(PipeMessages, TheDriveSettingsTemplateIsAValidRequest) {
    const TDecoded decoded = Decode(DriveSettings("", ""), TReader::Engine);
    ASSERT_TRUE(decoded.Message) << ToUtf8(decoded.Error.Text);
    EXPECT_TRUE(Decode(StatusWithDrives("[" + kDrive + "]"), TReader::Face).Message);
    EXPECT_TRUE(Decode(DomainUser(R"("OFFICE\\backup")", R"("secret")"), TReader::Engine).Message);
    EXPECT_TRUE(Decode(FaceMessage("drive-settings", DriveSettingsReply("", "")), TReader::Face).Message);
}

TEST(PipeMessages, WhatIsNotAWholeValidMessageIsRefusedWithItsReason) {
    constexpr TReader engine = TReader::Engine;
    constexpr TReader face = TReader::Face;
    const struct {
        const char* what;
        std::string payload;
        TReader reader;
        TErrorCode code;
        std::uint32_t id;  // what the error reply answers
    } cases[] = {
        // Not JSON, or not an object
        {"nothing", "", engine, TErrorCode::Malformed, 0},
        {"text", "eject E", engine, TErrorCode::Malformed, 0},
        {"an array", R"([{"version":1,"kind":"get-status","id":1}])", engine, TErrorCode::Malformed, 0},
        {"a string", R"("get-status")", engine, TErrorCode::Malformed, 0},
        {"cut short", R"({"version":1,"kind":"get-status","id":1)", engine, TErrorCode::Malformed, 0},
        {"something after it", R"({"version":1,"kind":"get-status","id":1} {})", engine, TErrorCode::Malformed, 0},
        {"a comment", R"({"version":1,"kind":"get-status","id":1 /* */})", engine, TErrorCode::Malformed, 0},
        {"single quotes", R"({'version':1,'kind':'get-status','id':1})", engine, TErrorCode::Malformed, 0},
        {"a key twice", R"({"version":1,"kind":"eject-drive","id":1,"letter":"E","letter":"C"})", engine,
         TErrorCode::Malformed, 0},
        {"a key twice in a drive", StatusWithDrives("[" + kDrive.substr(0, kDrive.size() - 1) + R"(,"account":"b"}])"),
         face, TErrorCode::Malformed, 0},
        {"nested deeper than a message", StatusWithDrives(R"([{"letter":["E"]}])"), face, TErrorCode::Malformed, 0},
        // Within a frame's bound, in a message that is whole otherwise: the depth is what refuses them.
        {"a depth bomb",
         R"({"version":1,"kind":"get-status","id":1,"x":)" + Repeat("[", 30000) + Repeat("]", 30000) + "}", engine,
         TErrorCode::Malformed, 0},
        {"an object bomb",
         R"({"version":1,"kind":"get-status","id":1,"x":)" + Repeat(R"({"a":)", 10000) + "1" + Repeat("}", 10001),
         engine, TErrorCode::Malformed, 0},
        {"longer than a frame", DriveSettings("description", "\"" + std::string(kMaxPayloadBytes, 'd') + "\""), engine,
         TErrorCode::Malformed, 0},
        // Text that is no UTF-8, or no Unicode
        {"a stray continuation byte", DriveSettings("shareName", "\"B\x80\""), engine, TErrorCode::Malformed, 0},
        {"a cut sequence", DriveSettings("shareName", "\"B\xC3\""), engine, TErrorCode::Malformed, 0},
        {"an overlong slash", DriveSettings("shareName", "\"B\xC0\xAF\""), engine, TErrorCode::Malformed, 0},
        {"an encoded surrogate", DriveSettings("shareName", "\"B\xED\xA0\x80\""), engine, TErrorCode::Malformed, 0},
        {"a lone escaped surrogate", DriveSettings("shareName", R"("B\ud800")"), engine, TErrorCode::Malformed, 0},
        {"a raw line break in a string", DriveSettings("shareName", "\"B\nx\""), engine, TErrorCode::Malformed, 0},
        {"a control byte before it", "\x01" + DriveSettings("", ""), engine, TErrorCode::Malformed, 0},
        // The envelope
        {"no version", R"({"kind":"get-status","id":3})", engine, TErrorCode::Malformed, 3},
        {"a version in quotes", R"({"version":"1","kind":"get-status","id":3})", engine, TErrorCode::Malformed, 3},
        {"a negative version", R"({"version":-1,"kind":"get-status","id":3})", engine, TErrorCode::Malformed, 3},
        {"a version with a fraction", R"({"version":1.0,"kind":"get-status","id":3})", engine, TErrorCode::Malformed,
         3},
        {"another version", R"({"version":2,"kind":"get-status","id":3})", engine, TErrorCode::Version, 3},
        {"a version past every integer", R"({"version":123456789012345678901234567890,"kind":"get-status","id":3})",
         engine, TErrorCode::Malformed, 3},
        {"no kind", R"({"version":1,"id":3})", engine, TErrorCode::Malformed, 3},
        {"a kind that is a number", R"({"version":1,"kind":4,"id":3})", engine, TErrorCode::Malformed, 3},
        {"an unknown kind", R"({"version":1,"kind":"run-program","id":3,"path":"C:\\x.exe"})", engine,
         TErrorCode::UnknownKind, 3},
        {"a kind in capitals", R"({"version":1,"kind":"GET-STATUS","id":3})", engine, TErrorCode::UnknownKind, 3},
        {"a kind with a NUL", R"({"version":1,"kind":"get-status\u0000","id":3})", engine, TErrorCode::UnknownKind, 3},
        {"no id", R"({"version":1,"kind":"get-status"})", engine, TErrorCode::Malformed, 0},
        {"a negative id", R"({"version":1,"kind":"get-status","id":-1})", engine, TErrorCode::Malformed, 0},
        {"an id with a fraction", R"({"version":1,"kind":"get-status","id":1.5})", engine, TErrorCode::Malformed, 0},
        {"an id past 32 bits", R"({"version":1,"kind":"get-status","id":4294967296})", engine, TErrorCode::Malformed,
         0},
        {"an id past every number", R"({"version":1,"kind":"get-status","id":1e400})", engine, TErrorCode::Malformed,
         0},
        {"an id in quotes", R"({"version":1,"kind":"get-status","id":"3"})", engine, TErrorCode::Malformed, 0},
        // Fields: missing, unknown, of another type, out of range
        {"a field too many", R"({"version":1,"kind":"get-status","id":3,"verbose":true})", engine, TErrorCode::BadField,
         3},
        {"a field too many in a drive", StatusWithDrives("[" + kDrive.substr(0, kDrive.size() - 1) + R"(,"x":1}])"),
         face, TErrorCode::BadField, 5},
        {"no letter", R"({"version":1,"kind":"eject-drive","id":3})", engine, TErrorCode::BadField, 3},
        {"a misspelt field", R"({"version":1,"kind":"eject-drive","id":3,"Letter":"E"})", engine, TErrorCode::BadField,
         3},
        {"a field left out", DriveSettings("encrypt", ""), engine, TErrorCode::BadField, 5},
        {"a letter that is a number", DriveSettings("letter", "5"), engine, TErrorCode::BadField, 5},
        {"a letter that is null", DriveSettings("letter", "null"), engine, TErrorCode::BadField, 5},
        {"a lower-case letter", DriveSettings("letter", R"("a")"), engine, TErrorCode::BadField, 5},
        {"a digit for a letter", DriveSettings("letter", R"("1")"), engine, TErrorCode::BadField, 5},
        {"two letters", DriveSettings("letter", R"("AB")"), engine, TErrorCode::BadField, 5},
        {"a letter with a colon", DriveSettings("letter", R"("E:")"), engine, TErrorCode::BadField, 5},
        {"no letter at all", DriveSettings("letter", R"("")"), engine, TErrorCode::BadField, 5},
        {"a letter past Z", DriveSettings("letter", "\"\xC3\x89\""), engine, TErrorCode::BadField, 5},
        {"a letter and a NUL", DriveSettings("letter", R"("E\u0000")"), engine, TErrorCode::BadField, 5},
        {"a flag in quotes", DriveSettings("autoRemove", R"("true")"), engine, TErrorCode::BadField, 5},
        {"a flag as a number", DriveSettings("encrypt", "1"), engine, TErrorCode::BadField, 5},
        {"a text as a list", DriveSettings("description", R"(["a"])"), engine, TErrorCode::BadField, 5},
        {"a text as an object", DriveSettings("description", R"({"a":1})"), engine, TErrorCode::BadField, 5},
        {"an AutoPlay mode of 3", R"({"version":1,"kind":"set-autoplay","id":3,"mode":3})", engine,
         TErrorCode::BadField, 3},
        {"a negative AutoPlay mode", R"({"version":1,"kind":"set-autoplay","id":3,"mode":-1})", engine,
         TErrorCode::BadField, 3},
        {"an AutoPlay mode with a fraction", R"({"version":1,"kind":"set-autoplay","id":3,"mode":1.0})", engine,
         TErrorCode::BadField, 3},
        {"an AutoPlay mode past every integer",
         R"({"version":1,"kind":"set-autoplay","id":3,"mode":1234567890123456789012345678901234567890})", engine,
         TErrorCode::BadField, 3},
        {"an AutoPlay mode past 64 bits", R"({"version":1,"kind":"set-autoplay","id":3,"mode":18446744073709551618})",
         engine, TErrorCode::BadField, 3},
        {"an AutoPlay mode 2^32 + 1", R"({"version":1,"kind":"set-autoplay","id":3,"mode":4294967297})", engine,
         TErrorCode::BadField, 3},
        {"a null flag", R"({"version":1,"kind":"set-face-autostart","id":3,"enabled":null})", engine,
         TErrorCode::BadField, 3},
        // Share names
        {"an empty share name", DriveSettings("shareName", R"("")"), engine, TErrorCode::BadField, 5},
        {"a share name of 13", DriveSettings("shareName", R"("ABCDEFGHIJKLM")"), engine, TErrorCode::BadField, 5},
        {"a share name with a blank", DriveSettings("shareName", R"("My Backup")"), engine, TErrorCode::BadField, 5},
        {"a share name with a star", DriveSettings("shareName", R"("Back*")"), engine, TErrorCode::BadField, 5},
        {"a share name with a backslash", DriveSettings("shareName", R"("C\\x")"), engine, TErrorCode::BadField, 5},
        {"a share name with a bracket", DriveSettings("shareName", R"("[x]")"), engine, TErrorCode::BadField, 5},
        {"a share name with a NUL", DriveSettings("shareName", R"("Users\u0000x")"), engine, TErrorCode::BadField, 5},
        {"a share name with a line", DriveSettings("shareName", R"("B\r\nName=C$")"), engine, TErrorCode::BadField, 5},
        {"a share name with a tab", DriveSettings("shareName", R"("B\tx")"), engine, TErrorCode::BadField, 5},
        {"a share name with a bell", DriveSettings("shareName", R"("B\u0007")"), engine, TErrorCode::BadField, 5},
        {"a share name with DEL", DriveSettings("shareName", R"("B\u007f")"), engine, TErrorCode::BadField, 5},
        {"a share name with a C1 control", DriveSettings("shareName", R"("B\u0085")"), engine, TErrorCode::BadField, 5},
        {"a share name with a line separator", DriveSettings("shareName", R"("B\u2028")"), engine, TErrorCode::BadField,
         5},
        {"a share name turned around", DriveSettings("shareName", R"("\u202Epukcab")"), engine, TErrorCode::BadField,
         5},
        // Other names and texts of a request
        {"a volume label with a slash", DriveSettings("volumeLabel", R"("A/B")"), engine, TErrorCode::BadField, 5},
        {"a volume label of 33", DriveSettings("volumeLabel", "\"" + std::string(33, 'L') + "\""), engine,
         TErrorCode::BadField, 5},
        {"a description with a line", DriveSettings("description", R"("a\nShareUserName=Administrator")"), engine,
         TErrorCode::BadField, 5},
        {"a description of 257", DriveSettings("description", "\"" + std::string(257, 'd') + "\""), engine,
         TErrorCode::BadField, 5},
        {"an account of 21", DriveSettings("account", R"("abcdefghijklmnopqrstu")"), engine, TErrorCode::BadField, 5},
        {"an account with two backslashes", DriveSettings("account", R"("A\\B\\c")"), engine, TErrorCode::BadField, 5},
        {"an account with an empty domain", DriveSettings("account", R"("\\user")"), engine, TErrorCode::BadField, 5},
        {"an account with a domain of 16", DriveSettings("account", R"("ABCDEFGHIJKLMNOP\\user")"), engine,
         TErrorCode::BadField, 5},
        {"an account of dots", DriveSettings("account", R"("...")"), engine, TErrorCode::BadField, 5},
        {"an account with a blank before", DriveSettings("account", R"(" john")"), engine, TErrorCode::BadField, 5},
        {"an account with an at", DriveSettings("account", R"("john@office")"), engine, TErrorCode::BadField, 5},
        {"an account with a comma", DriveSettings("account", R"("john,Everyone")"), engine, TErrorCode::BadField, 5},
        {"an account with a NUL", DriveSettings("account", R"("john\u0000")"), engine, TErrorCode::BadField, 5},
        {"an empty domain user", DomainUser(R"("")", R"("secret")"), engine, TErrorCode::BadField, 5},
        {"an empty password", DomainUser(R"("john")", R"("")"), engine, TErrorCode::BadField, 5},
        {"a password that would be stored as a line break", DomainUser(R"("john")", R"("a\u010Cb")"), engine,
         TErrorCode::BadField, 5},
        {"a password with a control", DomainUser(R"("john")", R"("a\u000Bb")"), engine, TErrorCode::BadField, 5},
        {"a password of 257", DomainUser(R"("john")", "\"" + std::string(257, 'p') + "\""), engine,
         TErrorCode::BadField, 5},
        {"a password request for no account", R"({"version":1,"kind":"get-password","id":3,"account":""})", engine,
         TErrorCode::BadField, 3},
        // What a face reads
        {"a status with a drive twice", StatusWithDrives("[" + kDrive + "," + kDrive + "]"), face, TErrorCode::BadField,
         5},
        {"a status with 27 drives", StatusWithDrives("[" + Repeat(kDrive + ",", 26) + kDrive + "]"), face,
         TErrorCode::BadField, 5},
        {"a status with a drive that is a text", StatusWithDrives(R"(["E"])"), face, TErrorCode::BadField, 5},
        {"a status with an unknown state",
         StatusWithDrives(R"([{"letter":"E","state":"lost","volumeLabel":"",)"
                          R"("capacity":"","shareName":"","account":""}])"),
         face, TErrorCode::BadField, 5},
        {"a status with a number for an account",
         FaceMessage("status", R"(,"drives":[],"accounts":[1],"shares":[],"inDomain":false,)"
                               R"("defaultAccount":"dockvane","autoPlay":1,"faceAutostart":true)"),
         face, TErrorCode::BadField, 5},
        {"a status with an empty account",
         FaceMessage("status", R"(,"drives":[],"accounts":[""],"shares":[],"inDomain":false,)"
                               R"("defaultAccount":"dockvane","autoPlay":1,"faceAutostart":true)"),
         face, TErrorCode::BadField, 5},
        {"a status with 257 shares",
         FaceMessage("status", R"(,"drives":[],"accounts":[],"shares":[)" + Repeat(R"("s",)", 256) +
                                   R"("s"],"inDomain":false,"defaultAccount":"dockvane","autoPlay":1,)"
                                   R"("faceAutostart":true)"),
         face, TErrorCode::BadField, 5},
        {"an error of an unknown code", FaceMessage("error", R"(,"code":"boom","text":"")"), face, TErrorCode::BadField,
         5},
        {"a balloon with a bell", FaceMessage("balloon", R"(,"icon":"warning","text":"a\u0007")"), face,
         TErrorCode::BadField, 5},
        {"a balloon with a NUL", FaceMessage("balloon", R"(,"icon":"warning","text":"a\u0000b")"), face,
         TErrorCode::BadField, 5},
        {"a balloon of 1025", FaceMessage("balloon", R"(,"icon":"warning","text":")" + std::string(1025, 'b') + "\""),
         face, TErrorCode::BadField, 5},
        {"a box with an unknown icon", FaceMessage("message-box", R"(,"icon":"shield","text":"a")"), face,
         TErrorCode::BadField, 5},
        {"a box icon in capitals", FaceMessage("message-box", R"(,"icon":"Error","text":"a")"), face,
         TErrorCode::BadField, 5},
        {"an attached drive without a share", FaceMessage("drive-attached", R"(,"letter":"E","shareName":"")"), face,
         TErrorCode::BadField, 5},
        {"a tray icon of another colour", FaceMessage("tray-icon", R"(,"image":"blue")"), face, TErrorCode::BadField,
         5},
        {"a sound of no event", FaceMessage("sound", R"(,"event":"ring")"), face, TErrorCode::BadField, 5},
        {"a sound without its event", FaceMessage("sound", ""), face, TErrorCode::BadField, 5},
        {"an AutoPlay dialog without a drive", FaceMessage("auto-play", R"x(,"caption":"X (E:)")x"), face,
         TErrorCode::BadField, 5},
        {"an AutoPlay caption with a line", FaceMessage("auto-play", R"x(,"letter":"E","caption":"X\r\n(E:)")x"), face,
         TErrorCode::BadField, 5},
        {"an AutoPlay caption turned around", FaceMessage("auto-play", R"x(,"letter":"E","caption":"\u202EX (E:)")x"),
         face, TErrorCode::BadField, 5},
        {"an AutoPlay caption of 257",
         FaceMessage("auto-play", R"(,"letter":"E","caption":")" + std::string(257, 'c') + "\""), face,
         TErrorCode::BadField, 5},
        {"a domain user request with a field", FaceMessage("domain-user", R"(,"userName":"x")"), face,
         TErrorCode::BadField, 5},
        {"drive settings asked without a drive", R"({"version":1,"kind":"get-drive-settings","id":3})", engine,
         TErrorCode::BadField, 3},
        {"drive settings asked with a path", R"({"version":1,"kind":"get-drive-settings","id":3,"letter":"E:\\x"})",
         engine, TErrorCode::BadField, 3},
        {"drive settings asked with a file",
         R"({"version":1,"kind":"get-drive-settings","id":3,"letter":"E","file":"x"})", engine, TErrorCode::BadField,
         3},
        {"drive settings without encrypt", FaceMessage("drive-settings", DriveSettingsReply("encrypt", "")), face,
         TErrorCode::BadField, 5},
        {"drive settings with a removable text",
         FaceMessage("drive-settings", DriveSettingsReply("removable", R"("yes")")), face, TErrorCode::BadField, 5},
        {"drive settings with a line in the description",
         FaceMessage("drive-settings", DriveSettingsReply("description", R"("a\r\nb")")), face, TErrorCode::BadField,
         5},
        {"drive settings with a share name turned around",
         FaceMessage("drive-settings", DriveSettingsReply("shareName", R"("\u202Epukcab")")), face,
         TErrorCode::BadField, 5},
        {"drive settings with an account of 257",
         FaceMessage("drive-settings", DriveSettingsReply("account", "\"" + std::string(257, 'a') + "\"")), face,
         TErrorCode::BadField, 5},
        {"drive settings with a label of 33",
         FaceMessage("drive-settings", DriveSettingsReply("volumeLabel", "\"" + std::string(33, 'L') + "\"")), face,
         TErrorCode::BadField, 5},
        {"drive settings with a description of 257",
         FaceMessage("drive-settings", DriveSettingsReply("description", "\"" + std::string(257, 'd') + "\"")), face,
         TErrorCode::BadField, 5},
    };
    for (const auto& c : cases) {
        const TDecoded decoded = Decode(c.payload, c.reader);
        EXPECT_FALSE(decoded.Message) << c.what;
        EXPECT_EQ(decoded.Error.Code, c.code) << c.what << ": " << ToUtf8(decoded.Error.Text);
        EXPECT_EQ(decoded.Id, c.id) << c.what;
        // The connection stays: every refusal can be answered.
        const std::optional<std::string> reply = Encode(ErrorReply(decoded));
        ASSERT_TRUE(reply) << c.what;
        EXPECT_TRUE(Decode(*reply, TReader::Face).Message) << c.what;
    }
}

TEST(PipeMessages, TheReasonNamesTheFieldAndNothingOfWhatWasSent) {
    const TDecoded decoded = Decode(DriveSettings("shareName", R"("B\r\nC\u0000\u202E")"), TReader::Engine);
    EXPECT_EQ(decoded.Error.Text, u"The field \"shareName\" is not a name this field takes");
    EXPECT_EQ(Decode(DriveSettings("encrypt", ""), TReader::Engine).Error.Text, u"The field \"encrypt\" is missing");
    EXPECT_EQ(Decode(StatusWithDrives(R"([{"letter":"e","state":"shared","volumeLabel":"","capacity":"",)"
                                      R"("shareName":"","account":""}])"),
                     TReader::Face)
                  .Error.Text,
              u"The field \"drives/letter\" is not a drive letter A to Z");
    EXPECT_EQ(
        Decode(StatusWithDrives("[" + kDrive.substr(0, kDrive.size() - 1) + R"(,"x":1}])"), TReader::Face).Error.Text,
        u"An entry of \"drives\" has a field that it does not have");
}

TEST(PipeMessages, AMessageOutsideItsBoundsIsNotEncoded) {
    TStatus twice;
    twice.Drives.resize(2);  // two drives C:
    TStatus crowded;
    crowded.Accounts.assign(kMaxListedNames, std::u16string(kMaxListedNameLength, u'a'));
    const struct {
        const char* what;
        TMessage message;
    } cases[] = {
        {"a share name of 13", {1, TChangeDriveSettings{Drive(u'E'), u"ABCDEFGHIJKLM", u"", u"", false, false, u""}}},
        {"an AutoPlay mode of 3", {1, TSetAutoPlay{3}}},
        {"a negative AutoPlay mode", {1, TSetAutoPlay{-1}}},
        {"half a character", {0, TBalloon{TBalloonIcon::Warning, u"E: \xD834"}}},
        {"a balloon of 1025", {0, TBalloon{TBalloonIcon::Warning, std::u16string(kMaxBalloonTextLength + 1, u'b')}}},
        {"a drive twice", {1, twice}},
        // Every field within its bounds, and still more than a frame takes.
        {"a status longer than a frame", {1, crowded}},
    };
    for (const auto& c : cases) EXPECT_FALSE(Encode(c.message)) << c.what;
}

}  // namespace
}  // namespace dv::remote
