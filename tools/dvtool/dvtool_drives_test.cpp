#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "dvtool.h"

namespace dv::tool {
namespace {

struct Outcome {
    int code;
    std::string out, err;
};

Outcome Dvtool(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int code = RunDvtool(args, out, err);
    return {code, out.str(), err.str()};
}

TEST(DvtoolByteSize, PrintsTheFormattedSize) {
    const struct {
        std::vector<std::string> args;
        int code;
        std::string out;
    } cases[] = {
        {{"bytesize", "GB", "16000000000"}, 0, "15 Gb\n"},
        {{"bytesize", "GB", "2684354560"}, 0, "2 Gb\n"},
        {{"bytesize", "", "1073741824"}, 0, "1,024 Mb\n"},
        {{"bytesize", "-1", "1.5e9"}, 0, "1,431 Mb\n"},
        {{"bytesize", "TB", "1"}, 0, "\n"},
        {{"bytesize", "GB", "lots"}, 1, ""},
        {{"bytesize", "GB", "12x"}, 1, ""},
        {{"bytesize", "GB"}, 1, ""},
    };
    for (const auto& c : cases) {
        const Outcome run = Dvtool(c.args);
        EXPECT_EQ(run.code, c.code) << c.args.back() << run.err;
        EXPECT_EQ(run.out, c.out) << c.args.back();
    }
    EXPECT_NE(Dvtool({"bytesize", "GB", "lots"}).err.find("'lots' is not a valid floating point value"),
              std::string::npos);
}

TEST(DvtoolDrives, NoDriveLettersAwayFromWindows) {
    const Outcome run = Dvtool({"drives"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Dvtool({"drives", "E"}).code, 1);
}

}  // namespace
}  // namespace dv::tool
