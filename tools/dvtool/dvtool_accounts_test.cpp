#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "dvtool.h"

namespace dv::tool {
namespace {

TEST(DvtoolAccounts, PasswordsAndAccountNames) {
    const struct {
        std::vector<std::string> args;
        int code;
        std::string out;
    } cases[] = {
        {{"password", "01234567890123456789012345678901"}, 0, "Mjk4QkYwMTk3\n"},
        {{"password", ""}, 0, "RDQxRDhDRDk4\n"},
        {{"password", "--domain", "`cb"}, 0, "abc\n"},
        {{"password", "--domain", "R2dbs0"}, 0, "S3ecr1\n"},
        {{"scramble", "abc"}, 0, "`cb\n"},
        {{"scramble", "caf\xC3\xA9"}, 0, "b`g\xC3\xA8\n"},  // UTF-8 in and out
        {{"username", "MyBackupDrive2014Archive"}, 0, "extdisk_mybackupdriv\n"},
        {{"username", ""}, 0, "extdisk_\n"},
        {{"password"}, 1, ""},
        {{"password", "--domain"}, 1, ""},
        {{"password", "a", "b"}, 1, ""},
        {{"scramble"}, 1, ""},
        {{"username", "a", "b"}, 1, ""},
    };
    for (const auto& c : cases) {
        std::ostringstream out, err;
        EXPECT_EQ(RunDvtool(c.args, out, err), c.code) << c.args[0];
        EXPECT_EQ(out.str(), c.out) << c.args[0];
        if (c.code != 0) {
            EXPECT_NE(err.str().find("dvtool " + c.args[0]), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace dv::tool
