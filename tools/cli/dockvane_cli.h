// dockvane-cli: the engine's status, and every change a face can ask for, for administrators and
// scripts (and for a face whose person elevates each change). What it asks and prints is here,
// portable; the program entry brings the pipe and the password's way in.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/drive_letter.h"
#include "remote/protocol.h"

namespace dv::cli {

// The exit codes, as README "dockvane-cli" documents them.
enum TExitCode : int {
    kExitOk = 0,
    kExitUsage = 1,
    kExitNoEngine = 2,     // not running, not reachable, not answering, or not the service
    kExitRefused = 3,      // the engine refused: the caller may not ask this
    kExitEngineError = 4,  // the engine answered an error (not attached, failed, ...)
    kExitBadReply = 5,     // the engine answered what the request does not take
    kExitBadValue = 6,     // a value the engine would refuse (a share name with a blank, no password, ...)
};

struct TArguments {
    enum class TCommand { Status, Change };
    TCommand Command = TCommand::Status;
    bool Json = false;
    // A change's request; set-domain-user's password is still to be read (ReadPassword).
    std::optional<remote::TBody> Request;
    // domain-user's: a pipe to read the password from instead of the standard input.
    std::u16string PasswordPipe;
    std::u16string PipeName;  // empty: the engine's own
};

// Nothing for arguments that are not one of the usages.
std::optional<TArguments> ParseArguments(const std::vector<std::u16string>& args);

// What asking the engine gave.
struct TAnswer {
    enum class TOutcome { Replied, NoEngine, BadReply };
    TOutcome Outcome = TOutcome::NoEngine;
    remote::TMessage Reply;
    std::u16string Problem;  // for NoEngine and BadReply: what went wrong, for the error output
};
using TAsk = std::function<TAnswer(const remote::TMessage& request)>;
// domain-user's password, read as the arguments say; nothing when there was none to read.
using TReadPassword = std::function<std::optional<std::u16string>(const TArguments& arguments)>;

// Runs the command: the request goes to `ask`, the result to `out` (UTF-8), what went wrong to
// `err`. The exit code.
int RunCli(const std::vector<std::u16string>& args, const TAsk& ask, std::ostream& out, std::ostream& err,
           const TReadPassword& readPassword = {});

// The status as a person reads it: one line per drive, then the accounts and the shares.
std::string FormatStatus(const remote::TStatus& status);

}  // namespace dv::cli
