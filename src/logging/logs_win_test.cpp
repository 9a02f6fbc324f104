// The logs through the real file system, clock and regional settings.
#include <gtest/gtest.h>

#include <filesystem>

#include "logging/logs.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "platform/text.h"
#include "platform/windows_include.h"
#include "platform/wine_drives_win.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

TEST(WinLogs, ApplicationLogGoesToItsFolderAndNeverToGetTempPath) {
    testing::TempFolder temp;
    testing::TempFolder folder;
    wchar_t saved[MAX_PATH] = {};
    const DWORD savedLength = ::GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
    ASSERT_TRUE(::SetEnvironmentVariableW(L"TMP", ToWide(temp.Path()).c_str()));

    LogApp(u"Before", u"no folder yet");
    SetAppLogFolder(folder.Path());
    LogApp(u"Start", u"Dockvane\u2122");
    LogError(u"abc");
    SetAppLogFolder(u"");

    ::SetEnvironmentVariableW(L"TMP", savedLength ? saved : nullptr);
    EXPECT_FALSE(fs::FileExists(temp.File(u"Velmora.log")));
    const auto lines = fs::ReadTextLines(folder.File(u"Velmora.log"));
    ASSERT_TRUE(lines);
    ASSERT_EQ(lines->size(), 3u);
    EXPECT_TRUE((*lines)[1].ends_with(u"]Error> Start> Dockvane\u2122"));
    EXPECT_TRUE((*lines)[2].ends_with(u"]Error> ERROR > abc"));

    // The time text is the local time with the user's time separator, a dot shown as a slash.
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const auto record = ParseLogLine((*lines)[1]);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->Time.substr(0, 5), IntToStr(now.wYear) + u"/");
    EXPECT_EQ(record->Time.size(), 20u);
    const char16_t separator = TimeSeparator();
    EXPECT_EQ(record->Time[13], separator == u'.' ? u'/' : separator);
}

TEST(WinLogs, DriveLogOnADriveRootThatExists) {
    testing::TempFolder folder;
    const std::u16string log = folder.File(u"velmora-activity.log");
    EXPECT_TRUE(AddLogRecord({log, folder.Path(), true}, u"OK, Started sharing ", u"HOST BACKUP"));
    EXPECT_TRUE(AddLogRecord({log, folder.Path(), true}, u"OK, Stopped sharing ", u"HOST BACKUP"));
    const auto lines = fs::ReadTextLines(log);
    ASSERT_TRUE(lines);
    EXPECT_EQ(lines->size(), 3u);
    // No drive Q: here.
    EXPECT_NO_THROW(LogDriveActivity(u"t", u"x", u"Q"));
}

// A drive letter that Wine's mount manager removes, before a log call and in the middle of one.
TEST(WinLogs, DriveLetterRemovedGetsNothingAndNoError) {
    testing::TempFolder folder;
    const std::string host = WineHostPathOf(folder.Path());
    if (host.empty()) GTEST_SKIP() << "needs Wine's mount manager";
    char16_t letter = 0;
    const DWORD used = ::GetLogicalDrives();
    for (char16_t candidate = u'Y'; candidate >= u'P' && letter == 0; --candidate) {
        if ((used & (1u << (candidate - u'A'))) == 0) letter = candidate;
    }
    ASSERT_NE(letter, 0);
    const std::u16string drive(1, letter);
    const auto plug = [&] { return DefineWineDrive(letter, DRIVE_REMOVABLE, host); };
    const auto unplug = [&] { return DefineWineDrive(letter, DRIVE_NO_ROOT_DIR, ""); };
    const std::filesystem::path log = folder.path() / "velmora-activity.log";

    ASSERT_TRUE(plug());
    LogDriveActivity(u"OK, Started sharing ", u"HOST BACKUP", drive);
    const std::string before = testing::ReadBytes(log);
    EXPECT_NE(before.find("OK, Started sharing "), std::string::npos);

    ASSERT_TRUE(unplug());
    EXPECT_NO_THROW(LogDriveActivity(u"OK, Stopped sharing ", u"gone", drive));
    EXPECT_EQ(testing::ReadBytes(log), before);

    ASSERT_TRUE(plug());
    SetLogClock([&] {
        unplug();
        return LocalNow();
    });
    EXPECT_NO_THROW(LogDriveActivity(u"OK, Stopped sharing ", u"going", drive));
    SetLogClock(nullptr);
    EXPECT_EQ(testing::ReadBytes(log), before);
    unplug();
}

}  // namespace
}  // namespace dv
