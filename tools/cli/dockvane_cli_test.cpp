#include "dockvane_cli.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

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

Outcome Cli(std::vector<std::u16string> args, const TAnswer& answer) {
    std::ostringstream out, err;
    std::optional<TMessage> asked;
    const int code = RunCli(
        args,
        [&](const TMessage& request) {
            asked = request;
            return answer;
        },
        out, err);
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
    };
    for (const Case& c : cases) {
        const Outcome run = Cli(c.args, c.answer);
        EXPECT_EQ(run.code, c.code) << c.name << "\n" << run.err;
        // Usage errors ask nothing.
        EXPECT_EQ(run.asked.has_value(), c.code != kExitUsage) << c.name;
        EXPECT_EQ(run.err.empty(), c.code == kExitOk) << c.name;
    }
}

TEST(DockvaneCli, AsksForWhatTheCommandNames) {
    EXPECT_EQ(Cli({u"status"}, Replied(SampleStatus())).asked, (TMessage{0, remote::TGetStatus{}}));
    EXPECT_EQ(Cli({u"eject", u"f"}, Replied(remote::TOk{})).asked,
              (TMessage{0, remote::TEjectDrive{TDriveLetter(u'F')}}));
    const auto parsed = ParseArguments({u"--pipe", u"\\\\.\\pipe\\Other", u"status"});
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->PipeName, u"\\\\.\\pipe\\Other");
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
