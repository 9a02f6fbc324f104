#include <iostream>
#include <string>
#include <vector>

#include "dvtool.h"
#include "logging/logs.h"
#include "platform/files.h"

int main(int argc, char** argv) {
    // A maintainer's tool that runs as its user: what it logs goes to that user's temporary folder.
    dv::SetAppLogFolder(dv::fs::GetTempDir());
    return dv::tool::RunDvtool(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
