#include "platform/windows_include.h"

#include <shellapi.h>

#include <iostream>
#include <string>
#include <vector>

#include "dvtool.h"
#include "logging/logs.h"
#include "platform/files.h"
#include "platform/text.h"

int main() {
    // The arguments as the system has them (UTF-16), not in the console's code page.
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 1; argv && i < argc; ++i) args.push_back(dv::ToUtf8(dv::FromWide(argv[i])));
    ::LocalFree(argv);

    // A maintainer's tool that runs as its user: what it logs goes to that user's temporary folder.
    dv::SetAppLogFolder(dv::fs::GetTempDir());
    ::SetConsoleOutputCP(CP_UTF8);
    return dv::tool::RunDvtool(args, std::cout, std::cerr);
}
