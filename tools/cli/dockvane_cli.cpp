#include "dockvane_cli.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <set>
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
    "       dockvane-cli eject E:\n"
    "       dockvane-cli disable E:\n"
    "       dockvane-cli drive-settings E: --share-name NAME [--description TEXT] [--account NAME]\n"
    "                                      [--volume-label LABEL] [--auto-remove] [--encrypt]\n"
    "       dockvane-cli renew-password\n"
    "       dockvane-cli domain-user [DOMAIN\\]USER [--password-pipe PIPE]   (the password on the input)\n"
    "       dockvane-cli autoplay 0|1|2\n"
    "       dockvane-cli face-autostart on|off\n";

// The options that take a value, and the flags.
constexpr std::array<std::u16string_view, 6> kValueOptions = {u"--pipe",    u"--share-name",   u"--description",
                                                              u"--account", u"--volume-label", u"--password-pipe"};
constexpr std::array<std::u16string_view, 3> kFlags = {u"--json", u"--auto-remove", u"--encrypt"};

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
    std::map<std::u16string_view, std::u16string> values;
    std::set<std::u16string_view> flags;
    std::vector<std::u16string_view> words;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::u16string& arg = args[i];
        if (std::find(kValueOptions.begin(), kValueOptions.end(), arg) != kValueOptions.end()) {
            // Each once, and with its value: whatever follows is the value, also a text that begins with
            // "--" (a description may).
            if (i + 1 >= args.size() || values.count(arg) != 0) return std::nullopt;
            values[*std::find(kValueOptions.begin(), kValueOptions.end(), arg)] = args[++i];
        } else if (std::find(kFlags.begin(), kFlags.end(), arg) != kFlags.end()) {
            if (!flags.insert(*std::find(kFlags.begin(), kFlags.end(), arg)).second) return std::nullopt;
        } else if (arg.starts_with(u"--")) {
            return std::nullopt;
        } else {
            words.push_back(arg);
        }
    }
    TArguments parsed;
    if (const auto pipe = values.find(u"--pipe"); pipe != values.end()) {
        if (pipe->second.empty()) return std::nullopt;
        parsed.PipeName = pipe->second;
        values.erase(pipe);
    }
    // What a command takes besides its words: every other option is wrong for it.
    const auto only = [&](std::initializer_list<std::u16string_view> options,
                          std::initializer_list<std::u16string_view> allowedFlags) {
        for (const auto& [option, value] : values) {
            if (std::find(options.begin(), options.end(), option) == options.end()) return false;
        }
        for (const auto flag : flags) {
            if (std::find(allowedFlags.begin(), allowedFlags.end(), flag) == allowedFlags.end()) return false;
        }
        return true;
    };
    const auto value = [&](std::u16string_view option) {
        const auto found = values.find(option);
        return found == values.end() ? std::u16string() : found->second;
    };
    if (words.empty()) return std::nullopt;
    const std::u16string_view command = words[0];
    parsed.Command = TArguments::TCommand::Change;
    if (command == u"status" && words.size() == 1 && only({}, {u"--json"})) {
        parsed.Command = TArguments::TCommand::Status;
        parsed.Json = flags.count(u"--json") != 0;
        return parsed;
    }
    if ((command == u"eject" || command == u"disable" || command == u"drive-settings") && words.size() == 2) {
        const std::optional<TDriveLetter> letter = TDriveLetter::Parse(words[1]);
        if (!letter) return std::nullopt;
        if (command == u"eject" && only({}, {})) {
            parsed.Request = remote::TEjectDrive{*letter};
        } else if (command == u"disable" && only({}, {})) {
            parsed.Request = remote::TDisableDrive{*letter};
        } else if (command == u"drive-settings" && values.count(u"--share-name") != 0 &&
                   only({u"--share-name", u"--description", u"--account", u"--volume-label"},
                        {u"--auto-remove", u"--encrypt"})) {
            parsed.Request = remote::TChangeDriveSettings{*letter,
                                                          value(u"--share-name"),
                                                          value(u"--description"),
                                                          value(u"--account"),
                                                          flags.count(u"--auto-remove") != 0,
                                                          flags.count(u"--encrypt") != 0,
                                                          value(u"--volume-label")};
        }
    } else if (command == u"renew-password" && words.size() == 1 && only({}, {})) {
        parsed.Request = remote::TRenewPassword{};
    } else if (command == u"domain-user" && words.size() == 2 && only({u"--password-pipe"}, {})) {
        parsed.Request = remote::TSetDomainUser{std::u16string(words[1]), {}};
        parsed.PasswordPipe = value(u"--password-pipe");
    } else if (command == u"autoplay" && words.size() == 2 && only({}, {})) {
        for (std::int32_t mode = 0; mode <= 2; ++mode) {
            if (words[1] == std::u16string(1, static_cast<char16_t>(u'0' + mode)))
                parsed.Request = remote::TSetAutoPlay{mode};
        }
    } else if (command == u"face-autostart" && words.size() == 2 && only({}, {})) {
        if (words[1] == u"on" || words[1] == u"off") parsed.Request = remote::TSetFaceAutostart{words[1] == u"on"};
    }
    if (!parsed.Request) return std::nullopt;
    return parsed;
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

namespace {

// What a change prints once the engine took it.
std::string DoneText(const remote::TBody& request) {
    if (const auto* eject = std::get_if<remote::TEjectDrive>(&request))
        return ToUtf8(eject->Letter.Device()) + " ejected.";
    if (const auto* disable = std::get_if<remote::TDisableDrive>(&request)) {
        return ToUtf8(disable->Letter.Device()) + " disabled.";
    }
    if (const auto* settings = std::get_if<remote::TChangeDriveSettings>(&request)) {
        return ToUtf8(settings->Letter.Device()) + " settings changed.";
    }
    if (std::holds_alternative<remote::TRenewPassword>(request)) return "Master password renewed.";
    if (std::holds_alternative<remote::TSetDomainUser>(request)) return "Domain user set.";
    if (std::holds_alternative<remote::TSetAutoPlay>(request)) return "AutoPlay set.";
    return "Start at sign-in set.";
}

}  // namespace

int RunCli(const std::vector<std::u16string>& args, const TAsk& ask, std::ostream& out, std::ostream& err,
           const TReadPassword& readPassword) {
    auto parsed = ParseArguments(args);
    if (!parsed) {
        err << kUsage;
        return kExitUsage;
    }
    TMessage request{0, remote::TGetStatus{}};
    if (parsed->Command == TArguments::TCommand::Change) {
        if (auto* user = std::get_if<remote::TSetDomainUser>(&*parsed->Request)) {
            // Never on the command line, where every process could read it.
            std::optional<std::u16string> password = readPassword ? readPassword(*parsed) : std::nullopt;
            if (!password || password->empty()) {
                PrintError(err, u"no password was given on the standard input");
                return kExitBadValue;
            }
            user->Password = std::move(*password);
        }
        // Checked here as the engine checks it, so that the reason names the value given.
        if (const std::optional<std::u16string> problem = remote::FieldProblem(*parsed->Request)) {
            PrintError(err, *problem);
            return kExitBadValue;
        }
        request.Body = *parsed->Request;
    }
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
        PrintError(err, u"the engine answered the change with another message");
        return kExitBadReply;
    }
    out << DoneText(request.Body) << '\n';
    return kExitOk;
}

}  // namespace dv::cli
