#include "dockvane_cli.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/text.h"
#include "remote/protocol.h"

namespace dv::cli {
namespace {

using remote::TDriveState;
using remote::TDriveStatus;
using remote::TErrorCode;
using remote::TMessage;
using remote::TStatus;

struct Outcome {
    int code;
    std::string out, err;
    std::optional<TMessage> asked;
};

TStatus SampleStatus() {
    TStatus status;
    status.Drives = {
        TDriveStatus{TDriveLetter(u'E'), TDriveState::Shared, u"Backup", u"14.9 GB", u"BACKUP", u"dockvane"},
        TDriveStatus{TDriveLetter(u'F'), TDriveState::Plugged, u"", u"7.5 GB", u"", u""}};
    status.Accounts = {u"dockvane", u"extdisk_backup"};
    status.Shares = {u"BACKUP"};
    status.DefaultAccount = u"dockvane";
    return status;
}

TAnswer Replied(remote::TBody body) {
    return {TAnswer::TOutcome::Replied, TMessage{1, std::move(body)}, {}};
}

// `password`: what the standard input (or the face's pipe) holds; nothing when it is empty.
Outcome Cli(std::vector<std::u16string> args, const TAnswer& answer,
            std::optional<std::u16string> password = std::nullopt) {
    std::ostringstream out, err;
    std::optional<TMessage> asked;
    const int code = RunCli(
        args,
        [&](const TMessage& request) {
            asked = request;
            return answer;
        },
        out, err, [&](const TArguments&) { return password; });
    return {code, out.str(), err.str(), asked};
}

TEST(DockvaneCli, ExitCodesFollowTheEnginesAnswer) {
    const TAnswer status = Replied(SampleStatus());
    const TAnswer ok = Replied(remote::TOk{});
    struct Case {
        const char* name;
        std::vector<std::u16string> args;
        TAnswer answer;
        int code;
    };
    const Case cases[] = {
        {"status", {u"status"}, status, kExitOk},
        {"status as JSON", {u"status", u"--json"}, status, kExitOk},
        {"eject", {u"eject", u"e:"}, ok, kExitOk},
        {"no arguments", {}, status, kExitUsage},
        {"an unknown command", {u"attach", u"E:"}, ok, kExitUsage},
        {"eject without a drive", {u"eject"}, ok, kExitUsage},
        {"eject of no drive letter", {u"eject", u"EE:"}, ok, kExitUsage},
        {"eject as JSON", {u"eject", u"E:", u"--json"}, ok, kExitUsage},
        {"status of a drive", {u"status", u"E:"}, status, kExitUsage},
        {"--pipe without a name", {u"status", u"--pipe"}, status, kExitUsage},
        {"the engine absent", {u"status"}, TAnswer{TAnswer::TOutcome::NoEngine, {}, u"not running"}, kExitNoEngine},
        {"refused", {u"eject", u"E:"}, Replied(remote::TError{TErrorCode::Refused, u"not allowed"}), kExitRefused},
        {"not attached",
         {u"eject", u"E:"},
         Replied(remote::TError{TErrorCode::NotAttached, u"no E:"}),
         kExitEngineError},
        {"failed", {u"eject", u"E:"}, Replied(remote::TError{TErrorCode::Failed, u"in use"}), kExitEngineError},
        {"a reply that does not decode", {u"status"}, TAnswer{TAnswer::TOutcome::BadReply, {}, u"?"}, kExitBadReply},
        {"status answered with ok", {u"status"}, ok, kExitBadReply},
        {"eject answered with a status", {u"eject", u"E:"}, status, kExitBadReply},
        {"disable", {u"disable", u"F:"}, ok, kExitOk},
        {"disable of two drives", {u"disable", u"F:", u"G:"}, ok, kExitUsage},
        {"drive settings", {u"drive-settings", u"E:", u"--share-name", u"BACKUP"}, ok, kExitOk},
        {"drive settings without a share name", {u"drive-settings", u"E:", u"--description", u"x"}, ok, kExitUsage},
        {"drive settings with a share name twice",
         {u"drive-settings", u"E:", u"--share-name", u"A", u"--share-name", u"B"},
         ok,
         kExitUsage},
        {"drive settings with a flag twice",
         {u"drive-settings", u"E:", u"--share-name", u"A", u"--encrypt", u"--encrypt"},
         ok,
         kExitUsage},
        {"drive settings with an option cut off", {u"drive-settings", u"E:", u"--share-name"}, ok, kExitUsage},
        {"drive settings with an unknown option",
         {u"drive-settings", u"E:", u"--share-name", u"A", u"--force"},
         ok,
         kExitUsage},
        {"drive settings with a share name the engine refuses",
         {u"drive-settings", u"E:", u"--share-name", u"MY BACKUP"},
         ok,
         kExitBadValue},
        {"drive settings answered with a status",
         {u"drive-settings", u"E:", u"--share-name", u"A"},
         status,
         kExitBadReply},
        {"an eject with a share name", {u"eject", u"E:", u"--share-name", u"A"}, ok, kExitUsage},
        {"renew-password", {u"renew-password"}, ok, kExitOk},
        {"renew-password refused",
         {u"renew-password"},
         Replied(remote::TError{TErrorCode::Refused, u"no"}),
         kExitRefused},
        {"renew-password of a drive", {u"renew-password", u"E:"}, ok, kExitUsage},
        {"autoplay", {u"autoplay", u"1"}, ok, kExitOk},
        {"autoplay 3", {u"autoplay", u"3"}, ok, kExitUsage},
        {"autoplay in words", {u"autoplay", u"always"}, ok, kExitUsage},
        {"face-autostart", {u"face-autostart", u"off"}, ok, kExitOk},
        {"face-autostart yes", {u"face-autostart", u"yes"}, ok, kExitUsage},
        {"status with a pipe and as JSON", {u"--pipe", u"P", u"status", u"--json"}, status, kExitOk},
    };
    for (const Case& c : cases) {
        const Outcome run = Cli(c.args, c.answer);
        EXPECT_EQ(run.code, c.code) << c.name << "\n" << run.err;
        // Usage errors and values the engine would refuse ask nothing.
        EXPECT_EQ(run.asked.has_value(), c.code != kExitUsage && c.code != kExitBadValue) << c.name;
        EXPECT_EQ(run.err.empty(), c.code == kExitOk) << c.name;
    }
}

TEST(DockvaneCli, AsksForWhatTheCommandNames) {
    EXPECT_EQ(Cli({u"status"}, Replied(SampleStatus())).asked, (TMessage{0, remote::TGetStatus{}}));
    const TDriveLetter f(u'F');
    const struct {
        std::vector<std::u16string> args;
        remote::TBody request;
        std::string printed;
    } cases[] = {
        {{u"eject", u"f"}, remote::TEjectDrive{f}, "F: ejected.\n"},
        {{u"disable", u"F:\\"}, remote::TDisableDrive{f}, "F: disabled.\n"},
        {{u"drive-settings", u"F", u"--share-name", u"Photos"},
         remote::TChangeDriveSettings{f, u"Photos", u"", u"", false, false, u""},
         "F: settings changed.\n"},
        // Options in any order; a value may begin with what looks like an option.
        {{u"drive-settings", u"--encrypt", u"F", u"--volume-label", u"MY DISK", u"--description", u"--auto-remove",
          u"--account", u"OFFICE\\backup", u"--share-name", u"Photos", u"--auto-remove"},
         remote::TChangeDriveSettings{f, u"Photos", u"--auto-remove", u"OFFICE\\backup", true, true, u"MY DISK"},
         "F: settings changed.\n"},
        {{u"renew-password"}, remote::TRenewPassword{}, "Master password renewed.\n"},
        {{u"autoplay", u"0"}, remote::TSetAutoPlay{0}, "AutoPlay set.\n"},
        {{u"autoplay", u"2"}, remote::TSetAutoPlay{2}, "AutoPlay set.\n"},
        {{u"face-autostart", u"on"}, remote::TSetFaceAutostart{true}, "Start at sign-in set.\n"},
        {{u"face-autostart", u"off"}, remote::TSetFaceAutostart{false}, "Start at sign-in set.\n"},
    };
    for (const auto& c : cases) {
        const Outcome run = Cli(c.args, Replied(remote::TOk{}));
        EXPECT_EQ(run.asked, (TMessage{0, c.request})) << ToUtf8(c.args[0]) << "\n" << run.err;
        EXPECT_EQ(run.out, c.printed) << ToUtf8(c.args[0]);
    }
    const auto parsed = ParseArguments({u"--pipe", u"\\\\.\\pipe\\Other", u"status"});
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->PipeName, u"\\\\.\\pipe\\Other");
}

TEST(DockvaneCli, TheDomainUsersPasswordComesFromTheInputNeverFromTheArguments) {
    const std::vector<std::u16string> args{u"domain-user", u"OFFICE\\backup"};
    const struct {
        const char* what;
        std::optional<std::u16string> input;
        int code;
    } cases[] = {
        {"a password", u"p\u00E4ss word", kExitOk},
        {"no input", std::nullopt, kExitBadValue},
        {"an empty line", u"", kExitBadValue},
        // The settings keep one byte of each character: the engine would refuse it.
        {"a character the settings cannot keep", u"\u0416", kExitBadValue},
    };
    for (const auto& c : cases) {
        const Outcome run = Cli(args, Replied(remote::TOk{}), c.input);
        EXPECT_EQ(run.code, c.code) << c.what << "\n" << run.err;
        if (c.code == kExitOk) {
            EXPECT_EQ(run.asked, (TMessage{0, remote::TSetDomainUser{u"OFFICE\\backup", *c.input}})) << c.what;
        } else {
            EXPECT_FALSE(run.asked) << c.what;
        }
    }
    EXPECT_EQ(Cli({u"domain-user", u"OFFICE\\backup", u"secret"}, Replied(remote::TOk{}), u"pw").code, kExitUsage);
    const auto parsed = ParseArguments({u"domain-user", u"bob", u"--password-pipe", u"\\\\.\\pipe\\x"});
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->PasswordPipe, u"\\\\.\\pipe\\x");
}

TEST(DockvaneCli, PrintsOneLinePerDriveThenAccountsAndShares) {
    const Outcome run = Cli({u"status"}, Replied(SampleStatus()));
    EXPECT_EQ(run.out,
              "Drive  State    Share   Account   Label   Capacity\n"
              "E:     shared   BACKUP  dockvane  Backup  14.9 GB\n"
              "F:     plugged  -       -         -       7.5 GB\n"
              "Accounts: dockvane, extdisk_backup\n"
              "Shares: BACKUP\n");
    EXPECT_EQ(FormatStatus(TStatus{}), "No drive.\nAccounts: -\nShares: -\n");
}

TEST(DockvaneCli, ADrivesLabelCannotWriteToTheTerminal) {
    TStatus status = SampleStatus();
    status.Drives.resize(1);
    status.Drives[0].VolumeLabel = u"A\x1B]0;x\x07\nB";
    const std::string text = FormatStatus(status);
    EXPECT_EQ(text.find('\x1B'), std::string::npos) << text;
    EXPECT_NE(text.find("A\\x1B]0;x\\x07\\nB"), std::string::npos) << text;
}

TEST(DockvaneCli, JsonIsTheStatusAsThePipeCarriesIt) {
    const Outcome run = Cli({u"status", u"--json"}, Replied(SampleStatus()));
    ASSERT_EQ(run.code, kExitOk);
    ASSERT_FALSE(run.out.empty());
    EXPECT_EQ(run.out.back(), '\n');
    const auto decoded = remote::Decode(run.out.substr(0, run.out.size() - 1), remote::TReader::Face);
    ASSERT_TRUE(decoded.Message) << run.out;
    EXPECT_EQ(*decoded.Message, (TMessage{0, SampleStatus()}));
}

}  // namespace
}  // namespace dv::cli
