#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "dvtool.h"

namespace dv::tool {
namespace {

TEST(DvtoolDialogs, ShareNameOfALabel) {
    const struct {
        std::vector<std::string> args;
        int code;
        std::string out;
    } cases[] = {
        {{"sharename", "MY DATA 2014"}, 0, "MYDATA2014\n"},
        {{"sharename", "[ARCHIVE]"}, 0, "[ARCHIVE]\n"},
        {{"sharename", "D\xC3\xA9j\xC3\xA0 vu: old/new backups"},
         0,
         "D\xC3\xA9j\xC3\xA0vuoldnew\n"},  // UTF-8 in and out
        {{"sharename", ""}, 0, "\n"},
        {{"sharename"}, 1, ""},
        {{"sharename", "a", "b"}, 1, ""},
    };
    for (const auto& c : cases) {
        std::ostringstream out, err;
        EXPECT_EQ(RunDvtool(c.args, out, err), c.code) << c.args.size();
        EXPECT_EQ(out.str(), c.out);
    }
}

}  // namespace
}  // namespace dv::tool
