#include "dockvane_cli.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include "platform/text.h"

namespace dv::cli {
namespace {

using remote::TDriveState;
using remote::TErrorCode;
using remote::TMessage;

constexpr std::string_view kUsage =
    "usage: dockvane-cli status [--json]\n"
    "       dockvane-cli eject E:\n";

std::string_view StateText(TDriveState state) {
    switch (state) {
        case TDriveState::Plugged: return "plugged";
        case TDriveState::Unshared: return "unshared";
        case TDriveState::Shared: return "shared";
    }
    return "?";
}

// Names and labels come from drives and accounts: no control character reaches the terminal.
std::string Shown(std::u16string_view text) {
    return text.empty() ? std::string("-") : ToUtf8(VisibleText(text));
}

std::size_t Width(std::string_view utf8) {
    // Characters, not bytes: UTF-8 continuation bytes take no column.
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string JoinShown(const std::vector<std::u16string>& names) {
    if (names.empty()) return "-";
    std::string joined;
    for (const auto& name : names) {
        if (!joined.empty()) joined += ", ";
        joined += Shown(name);
    }
    return joined;
}

void PrintError(std::ostream& err, std::u16string_view text) {
    err << "dockvane-cli: " << ToUtf8(VisibleText(text)) << '\n';
}

// The exit code of an error reply, with its text on the error output.
int ReportError(const remote::TError& error, std::ostream& err) {
    PrintError(err, error.Text.empty() ? u"the engine answered an error" : std::u16string_view(error.Text));
    return error.Code == TErrorCode::Refused ? kExitRefused : kExitEngineError;
}

}  // namespace

std::optional<TArguments> ParseArguments(const std::vector<std::u16string>& args) {
    TArguments parsed;
    std::vector<std::u16string_view> words;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == u"--pipe") {
            if (i + 1 >= args.size() || !parsed.PipeName.empty()) return std::nullopt;
            parsed.PipeName = args[++i];
            if (parsed.PipeName.empty()) return std::nullopt;
        } else if (args[i] == u"--json") {
            if (parsed.Json) return std::nullopt;
            parsed.Json = true;
        } else {
            words.push_back(args[i]);
        }
    }
    if (words.size() == 1 && words[0] == u"status") {
        parsed.Command = TArguments::TCommand::Status;
        return parsed;
    }
    if (words.size() == 2 && words[0] == u"eject" && !parsed.Json) {
        parsed.Letter = TDriveLetter::Parse(words[1]);
        if (!parsed.Letter) return std::nullopt;
        parsed.Command = TArguments::TCommand::Eject;
        return parsed;
    }
    return std::nullopt;
}

std::string FormatStatus(const remote::TStatus& status) {
    std::vector<std::array<std::string, 6>> rows;
    rows.push_back({"Drive", "State", "Share", "Account", "Label", "Capacity"});
    for (const auto& drive : status.Drives) {
        rows.push_back({ToUtf8(drive.Letter.Device()), std::string(StateText(drive.State)), Shown(drive.ShareName),
                        Shown(drive.Account), Shown(drive.VolumeLabel), Shown(drive.Capacity)});
    }
    std::array<std::size_t, 6> widths{};
    for (const auto& row : rows) {
        for (std::size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], Width(row[column]));
        }
    }
    std::string text;
    if (status.Drives.empty()) {
        text += "No drive.\n";
    } else {
        for (const auto& row : rows) {
            std::string line;
            for (std::size_t column = 0; column < row.size(); ++column) {
                line += row[column];
                if (column + 1 < row.size()) line.append(widths[column] - Width(row[column]) + 2, ' ');
            }
            text += line + "\n";
        }
    }
    text += "Accounts: " + JoinShown(status.Accounts) + "\n";
    text += "Shares: " + JoinShown(status.Shares) + "\n";
    return text;
}

int RunCli(const std::vector<std::u16string>& args, const TAsk& ask, std::ostream& out, std::ostream& err) {
    const auto parsed = ParseArguments(args);
    if (!parsed) {
        err << kUsage;
        return kExitUsage;
    }
    const TMessage request = parsed->Command == TArguments::TCommand::Status
                                 ? TMessage{0, remote::TGetStatus{}}
                                 : TMessage{0, remote::TEjectDrive{*parsed->Letter}};
    TAnswer answer = ask(request);
    if (answer.Outcome == TAnswer::TOutcome::NoEngine) {
        PrintError(err, answer.Problem);
        return kExitNoEngine;
    }
    if (answer.Outcome == TAnswer::TOutcome::BadReply) {
        PrintError(err, answer.Problem);
        return kExitBadReply;
    }
    if (const auto* error = std::get_if<remote::TError>(&answer.Reply.Body)) return ReportError(*error, err);

    if (parsed->Command == TArguments::TCommand::Status) {
        const auto* status = std::get_if<remote::TStatus>(&answer.Reply.Body);
        if (!status) {
            PrintError(err, u"the engine answered the status with another message");
            return kExitBadReply;
        }
        if (parsed->Json) {
            // The status as the pipe carries it (README "Messages between the engine and a face"),
            // under id 0 so that the same status prints the same bytes.
            const auto json = remote::Encode(TMessage{0, *status});
            if (!json) {
                PrintError(err, u"the engine's status breaks the protocol's bounds");
                return kExitBadReply;
            }
            out << *json << '\n';
        } else {
            out << FormatStatus(*status);
        }
        return kExitOk;
    }
    if (!std::holds_alternative<remote::TOk>(answer.Reply.Body)) {
        PrintError(err, u"the engine answered the eject with another message");
        return kExitBadReply;
    }
    out << ToUtf8(parsed->Letter->Device()) << " ejected.\n";
    return kExitOk;
}

}  // namespace dv::cli
