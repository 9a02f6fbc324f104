// dvtool's commands, grouped by the subsystem they serve (commands_*.cpp).
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace dv::tool {

using Args = std::vector<std::u16string>;

// Thrown by a command whose arguments do not fit; dvtool then prints the usage.
struct UsageError {};

struct Command {
    const char* name;
    const char* usage;  // the arguments, for the usage text
    std::function<int(const Args& args, std::ostream& out)> run;
};

// Each group adds its commands.
void AddSettingsCommands(std::vector<Command>& commands);
void AddDrivesCommands(std::vector<Command>& commands);
void AddSharingCommands(std::vector<Command>& commands);
void AddAccountsCommands(std::vector<Command>& commands);
void AddDialogsCommands(std::vector<Command>& commands);

// Writes "key=value" and a line end, in UTF-8.
void PrintValue(std::ostream& out, std::u16string_view key, std::u16string_view value);
// Writes the text and a line end, in UTF-8.
void PrintLine(std::ostream& out, std::u16string_view text);

}  // namespace dv::tool
