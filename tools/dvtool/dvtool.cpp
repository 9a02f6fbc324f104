#include "dvtool.h"

#include <cstddef>
#include <string_view>

#include "commands.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace dv::tool {
namespace {

std::vector<Command> AllCommands() {
    std::vector<Command> commands;
    AddSettingsCommands(commands);
    AddDrivesCommands(commands);
    AddSharingCommands(commands);
    AddAccountsCommands(commands);
    AddDialogsCommands(commands);
    return commands;
}

void PrintUsage(const std::vector<Command>& commands, std::ostream& err) {
    const char* lead = "usage: ";
    for (const auto& command : commands) {
        err << lead << "dvtool " << command.name << ' ' << command.usage << '\n';
        lead = "       ";
    }
}

}  // namespace

void PrintValue(std::ostream& out, std::u16string_view key, std::u16string_view value) {
    out << ToUtf8(key) << '=' << ToUtf8(value) << '\n';
}

void PrintLine(std::ostream& out, std::u16string_view text) {
    out << ToUtf8(text) << '\n';
}

int RunDvtool(const std::vector<std::string>& rawArgs, std::ostream& out, std::ostream& err) {
    const std::vector<Command> commands = AllCommands();
    try {
        for (const auto& command : commands) {
            if (rawArgs.empty() || rawArgs[0] != command.name) continue;
            Args args;
            for (std::size_t i = 1; i < rawArgs.size(); ++i) args.push_back(FromUtf8(rawArgs[i]));
            return command.run(args, out);
        }
        throw UsageError();
    } catch (const UsageError&) {
        PrintUsage(commands, err);
    } catch (const Exception& error) {
        err << "dvtool: " << ToUtf8(error.KindName()) << ": " << ToUtf8(error.Message()) << '\n';
    }
    return 1;
}

}  // namespace dv::tool
