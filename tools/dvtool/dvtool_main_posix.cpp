#include <iostream>
#include <string>
#include <vector>

#include "dvtool.h"

int main(int argc, char** argv) {
    return dv::tool::RunDvtool(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
