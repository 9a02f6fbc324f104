// What a face gives the elevated cli reaches it whole: each change's arguments, split by the system as
// the cli's entry splits its command line, parse to the very request the face made.
#include "platform/windows_include.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "dockvane_cli.h"
#include "face/face_model.h"
#include "platform/text.h"
#include "remote/protocol.h"

namespace dv::cli {
namespace {

std::vector<std::u16string> SplitAsTheSystemDoes(const std::u16string& arguments) {
    const std::wstring line = L"\"C:\\Program Files\\Dockvane\\dockvane-cli.exe\" " + ToWide(arguments);
    int count = 0;
    wchar_t** split = ::CommandLineToArgvW(line.c_str(), &count);
    std::vector<std::u16string> args;
    for (int i = 1; split && i < count; ++i) args.push_back(FromWide(split[i]));
    ::LocalFree(split);
    return args;
}

TEST(WinCliArguments, EveryChangeOfAFaceSurvivesTheCommandLine) {
    const TDriveLetter e(u'E');
    const auto settings = [&](std::u16string description, std::u16string account, std::u16string label) {
        return remote::TChangeDriveSettings{e,    u"Backup", std::move(description), std::move(account),
                                            true, false,     std::move(label)};
    };
    const struct {
        const char* what;
        remote::TBody request;
    } cases[] = {
        {"an eject", remote::TEjectDrive{e}},
        {"a disable", remote::TDisableDrive{TDriveLetter(u'Z')}},
        {"settings without texts", settings(u"", u"", u"")},
        {"a description with blanks and quotes", settings(u"Nightly \"full\" backup", u"", u"MY DISK")},
        {"a description of quotes only", settings(u"\"\"", u"", u"")},
        {"a description ending in a backslash", settings(u"C:\\backups\\", u"", u"")},
        {"backslashes before a quote", settings(u"a\\\\\"b c", u"OFFICE\\backup", u"")},
        {"a description that looks like options", settings(u"--encrypt --pipe x", u"", u"")},
        {"a tab", settings(u"one\ttwo", u"", u"")},
        {"characters past the first plane", settings(u"Noten \U0001D11E \u00E9t\u00E9", u"", u"\u00C9T\u00C9")},
        {"the renewal", remote::TRenewPassword{}},
        {"a domain user", remote::TSetDomainUser{u"OFFICE\\back up", u""}},
        {"AutoPlay", remote::TSetAutoPlay{2}},
        {"the start at sign-in", remote::TSetFaceAutostart{false}},
    };
    for (const auto& c : cases) {
        const std::optional<std::u16string> arguments = face::ElevatedCliArguments(c.request);
        ASSERT_TRUE(arguments) << c.what;
        const std::optional<TArguments> parsed = ParseArguments(SplitAsTheSystemDoes(*arguments));
        ASSERT_TRUE(parsed) << c.what << ": " << ToUtf8(*arguments);
        ASSERT_TRUE(parsed->Request) << c.what;
        EXPECT_EQ(*parsed->Request, c.request) << c.what << ": " << ToUtf8(*arguments);
    }
}

}  // namespace
}  // namespace dv::cli
