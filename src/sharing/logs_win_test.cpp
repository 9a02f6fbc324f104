// The logs through the real temporary folder, clock and regional settings.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/locale.h"
#include "platform/text.h"
#include "platform/windows_include.h"
#include "sharing/logs.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

TEST(WinLogs, ApplicationLogGoesToGetTempPath) {
    testing::TempFolder temp;
    wchar_t saved[MAX_PATH] = {};
    const DWORD savedLength = ::GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
    ASSERT_TRUE(::SetEnvironmentVariableW(L"TMP", ToWide(temp.Path()).c_str()));

    LogApp(u"Start", u"Dockvane\u2122");
    LogError(u"abc");

    ::SetEnvironmentVariableW(L"TMP", savedLength ? saved : nullptr);
    const auto lines = fs::ReadTextLines(temp.File(u"Velmora.log"));
    ASSERT_TRUE(lines);
    ASSERT_EQ(lines->size(), 3u);
    EXPECT_TRUE((*lines)[1].ends_with(u"]Error> Start> Dockvane\u2122"));
    EXPECT_TRUE((*lines)[2].ends_with(u"]Error> ERROR > abc"));

    // The time text is the local time with the user's time separator.
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const auto record = ParseLogLine((*lines)[1]);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->Time.substr(0, 5), IntToStr(now.wYear) + u"/");
    EXPECT_EQ(record->Time.size(), 20u);
    EXPECT_EQ(record->Time[13], TimeSeparator());
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

}  // namespace
}  // namespace dv
