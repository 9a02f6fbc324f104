// dvtool: the maintainers' command-line companion.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace dv::tool {

// Runs one command; `args` are the command line's arguments after the program name, in UTF-8.
// Writes UTF-8 to `out`, errors to `err`; returns the exit code (0, or 1 on any error).
int RunDvtool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace dv::tool
