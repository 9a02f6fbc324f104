#include "logging/logs.h"
#include "logging/log_records_test.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/product.h"
#include "platform/text.h"
#include "testing/scoped_env.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::ToFsPath;
using testing::WriteBytes;

using Lines = std::vector<std::u16string>;

constexpr LocalDateTime kJuly14 = {2014, 7, 14, 10, 5, 33};
const std::u16string kTime = u"2014/07/14 10:05:33 ";

std::u16string HeaderLine() {
    return u"[" + kTime + u"]Error> " + GeneratedFileHeader() + u"> -";
}

class LogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogClock([] { return kJuly14; });
        fs::MapDrive(u'E', drive.Path());
    }
    void TearDown() override {
        SetLogClock(nullptr);
        SetPendingMessagesHook(nullptr);
        fs::MapDrive(u'E', u"");
    }
    Lines LogLines() { return *fs::ReadTextLines(log); }
    void WriteLog(const Lines& lines) { WriteBytes(ToFsPath(log), fs::EncodeTextLines(lines)); }

    TempFolder drive;
    std::u16string log = drive.File(u"velmora-activity.log");
};

TEST_F(LogsTest, FirstCallWritesTheHeaderAndTheRecord) {
    LogDriveActivity(u"OK, Started sharing ", u"PC1 BACKUP", u"E");
    EXPECT_EQ(ReadBytes(ToFsPath(log)), ToAnsi(HeaderLine() + u"\r\n[2014/07/14 10:05:33 ]Error> OK, Started sharing "
                                                              u"> PC1 BACKUP\r\n"));
}

TEST_F(LogsTest, RecordsAreAddedAtTheEnd) {
    LogDriveActivity(u"a", u"1", u"E");
    LogDriveActivity(u"b>c", u"2 > 3", u"E");
    EXPECT_EQ(LogLines(), (Lines{HeaderLine(), u"[" + kTime + u"]Error> a> 1", u"[" + kTime + u"]Error> b>>c> 2 > 3"}));
}

TEST_F(LogsTest, RemovedDriveGetsNothingAndNoError) {
    fs::MapDrive(u'E', u"");
    EXPECT_NO_THROW(LogDriveActivity(u"OK, Stopped sharing ", u"x", u"E"));
    EXPECT_NO_THROW(LogDriveActivity(u"OK, Stopped sharing ", u"x", u"Y"));
    EXPECT_FALSE(std::filesystem::exists(ToFsPath(log)));
}

// A file that the system refuses to open with "no such device" (ENXIO), the answer of a drive that
// is going away.
class DeviceGoneFile {
public:
    explicit DeviceGoneFile(const std::u16string& path) : fd_(::socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string host = ToFsPath(path).string();
        std::strncpy(address.sun_path, host.c_str(), sizeof address.sun_path - 1);
        bound_ = fd_ >= 0 && host.size() < sizeof address.sun_path &&
                 ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~DeviceGoneFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool bound() const { return bound_; }

private:
    int fd_;
    bool bound_ = false;
};

TEST_F(LogsTest, DriveGoingAwayGetsNothingAndNoError) {
    int pumped = 0;
    SetPendingMessagesHook([&] { ++pumped; });
    const std::string before = fs::EncodeTextLines({HeaderLine()});

    // Each case adds a record as the drive log does, on a drive that goes away at some point, and
    // tells whether anything reached the log (whose host path is `log`).
    const struct {
        const char* name;
        bool (*add)(const std::u16string& log, const std::u16string& root, const std::string& before);
    } cases[] = {
        {"drive removed before the call",
         [](const std::u16string& log, const std::u16string&, const std::string&) {
             fs::MapDrive(u'E', u"");
             LogDriveActivity(u"t", u"x", u"E");
             return std::filesystem::exists(ToFsPath(log));
         }},
        {"drive removed while the call runs",
         [](const std::u16string& log, const std::u16string&, const std::string& before) {
             WriteBytes(ToFsPath(log), before);
             SetLogClock([] {
                 fs::MapDrive(u'E', u"");
                 return kJuly14;
             });
             LogDriveActivity(u"t", u"x", u"E");
             return ReadBytes(ToFsPath(log)) != before;
         }},
        {"log answers that its device is gone",
         [](const std::u16string& log, const std::u16string&, const std::string&) {
             const DeviceGoneFile socket(log);
             EXPECT_TRUE(socket.bound());
             LogDriveActivity(u"t", u"x", u"E");
             return std::filesystem::is_regular_file(ToFsPath(log));
         }},
        {"root gone, its log unreadable",
         [](const std::u16string& log, const std::u16string& root, const std::string&) {
             std::filesystem::create_directory(ToFsPath(log));
             return AddLogRecord({log, root + u"\\gone", true}, u"t", u"x");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(ToFsPath(log));
        fs::MapDrive(u'E', drive.Path());
        bool written = true;
        EXPECT_NO_THROW(written = c.add(log, drive.Path(), before));
        EXPECT_FALSE(written);
        SetLogClock([] { return kJuly14; });
    }
    EXPECT_EQ(pumped, 0);
}

TEST_F(LogsTest, UnwritableFileLosesTheLineQuietly) {
    const std::u16string blocked = drive.File(u"blocked\\velmora-activity.log");
    EXPECT_FALSE(AddLogRecord({blocked, drive.Path(), true}, u"t", u"x"));
}

TEST_F(LogsTest, UnreadableFileRaisesOpenError) {
    std::filesystem::create_directory(ToFsPath(log));
    EXPECT_THROW(LogDriveActivity(u"t", u"x", u"E"), EFOpenError);
}

TEST_F(LogsTest, ReadingBackNormalisesTheFile) {
    WriteLog({
        u"written by hand",                     // no "[": dropped
        u"[open bracket only",                  // no "]": dropped
        u"[t1]Warning> kept> as is",            // recognised severity
        u"[t2]Notice> odd> severity",           // unknown severity: Information
        u"junk before [t3]Error> x>>y> z > w",  // text before "[" goes
        u"[t4]Error> no description",           // title takes the rest
        u"[t5]Error",                           // no ">" at all
    });
    LogDriveActivity(u"new", u"line", u"E");
    EXPECT_EQ(LogLines(), (Lines{
                              u"[t1]Warning> kept> as is",
                              u"[t2]Information> odd> severity",
                              u"[t3]Error> x>>y> z > w",
                              u"[t4]Error> no description>",
                              u"[t5]Error>>",
                              u"[" + kTime + u"]Error> new> line",
                          }));
}

TEST_F(LogsTest, ControlCharactersFromOutsideAreWrittenVisibly) {
    // A server's answer, a volume label, a message: none of them may split a line or forge a record.
    LogDriveActivity(u"t", u"first\r\nsecond", u"E");
    LogDriveActivity(u"OK, server said: ", u"one\r\n[x]Warning>y>z", u"E");
    LogDriveActivity(u"ti\ntle>\x1B[2J", u"tab\t nul" + std::u16string(1, u'\0') + u" del\x7F c1\x85", u"E");
    EXPECT_EQ(LogLines(), (Lines{HeaderLine(), u"[" + kTime + u"]Error> t> first\\r\\nsecond",
                                 u"[" + kTime + u"]Error> OK, server said: > one\\r\\n[x]Warning>y>z",
                                 u"[" + kTime + u"]Error> ti\\ntle>>\\x1B[2J> tab\\t nul\\x00 del\\x7F c1\\x85"}));
    // A whole rewrite (the file lacks its final line end) reads them back as they are.
    const Lines before = LogLines();
    const std::string bytes = fs::EncodeTextLines(before);
    WriteBytes(ToFsPath(log), bytes.substr(0, bytes.size() - 2));
    LogDriveActivity(u"t", u"last", u"E");
    Lines expected = before;
    expected.push_back(u"[" + kTime + u"]Error> t> last");
    EXPECT_EQ(LogLines(), expected);
}

TEST_F(LogsTest, SystemErrorMessagesReadOnOneLine) {
    TempFolder temp;
    {
        testing::ScopedAppLogFolder appLog{temp.Path()};
        LogError(u"Class:TShareManager Method:ShareCreate Type:EOSError " +
                 EOSError(u"System Error.  Code: 5.\r\nAccess is denied.", 5).Message());
    }
    EXPECT_EQ(fs::ReadTextLines(temp.File(u"Velmora.log"))->back(),
              u"[" + kTime +
                  u"]Error> ERROR > Class:TShareManager Method:ShareCreate Type:EOSError System Error.  Code: 5.\\r\\n"
                  u"Access is denied.");
}

TEST_F(LogsTest, LineParsingAndFormattingAreInverse) {
    struct Case {
        std::u16string line;
        TLogRecord record;
    };
    const Case cases[] = {
        {u"[2014/07/14 10:05:33 ]Error> ERROR > abc",
         {u"2014/07/14 10:05:33 ", TLogSeverity::Error, u" ERROR ", u" abc"}},
        {u"[]Warning>>", {u"", TLogSeverity::Warning, u"", u""}},
        {u"[t]Information>a>>>b", {u"t", TLogSeverity::Information, u"a>", u"b"}},
        {u"[t]Error>>>>>>", {u"t", TLogSeverity::Error, u">>", u""}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseLogLine(c.line), c.record) << ToUtf8(c.line);
        EXPECT_EQ(FormatLogLine(c.record), c.line) << ToUtf8(c.line);
    }
    EXPECT_EQ(ParseLogLine(u"no record"), std::nullopt);
}

TEST_F(LogsTest, TimeTextUsesTheTimeSeparatorWithEveryDotTurnedIntoASlash) {
    struct Case {
        char16_t separator;
        const char16_t* text;
    };
    const Case cases[] = {
        {u':', u"2014/07/14 10:05:33 "}, {u'.', u"2014/07/14 10/05/33 "},
        {u'/', u"2014/07/14 10/05/33 "}, {u'-', u"2014/07/14 10-05-33 "},
        {u' ', u"2014/07/14 10 05 33 "}, {u'\uFF1A', u"2014/07/14 10\uFF1A05\uFF1A33 "},  // fullwidth colon
    };
    for (const auto& c : cases) EXPECT_EQ(LogTimeText(kJuly14, c.separator), c.text) << ToUtf8(c.text);
    // Midnight, one-digit fields and the last second of a year keep two digits each.
    EXPECT_EQ(LogTimeText({2026, 12, 1, 0, 0, 9}, u'.'), u"2026/12/01 00/00/09 ");
    EXPECT_EQ(LogTimeText({1999, 12, 31, 23, 59, 59}, u':'), u"1999/12/31 23:59:59 ");
}

TEST_F(LogsTest, BoundKeepsTheNewestLinesJustReachingIt) {
    // 1000-character lines: 1002 counted characters each, CR LF included.
    const std::u16string filler(1000 - 9, u'x');
    const std::size_t perLine = 1002;
    const std::size_t lineCount = kLogBound / perLine + 5;
    Lines lines;
    for (std::size_t i = 0; i < lineCount; ++i) {
        std::u16string number = IntToStr(static_cast<std::int64_t>(i));
        lines.push_back(u"[" + std::u16string(6 - number.size(), u'0') + number + u"]E>" + filler);
    }
    for (auto& line : lines) line = FormatLogLine(*ParseLogLine(line));
    WriteLog(lines);

    LogDriveActivity(u"t", u"x", u"E");
    const Lines kept = LogLines();
    std::size_t sum = 0;
    for (const auto& line : kept) sum += line.size() + 2;
    const std::size_t oldest = kept.front().size() + 2;
    EXPECT_GE(sum, kLogBound);
    EXPECT_LT(sum - oldest, kLogBound);  // one line fewer would fall short
    EXPECT_EQ(kept.back(), u"[" + kTime + u"]Error> t> x");
}

TEST_F(LogsTest, AppendingWritesWhatARewriteWould) {
    // A file in written form gets the line appended; one that needs normalising is rewritten. Both
    // must end up exactly as the specified rewrite makes them.
    struct Case {
        const char* name;
        std::string before;
    };
    const Case cases[] = {
        {"written form", "[a]Error> x> 1\r\n[b]Warning> y> 2\r\n"},
        {"no final line end", "[a]Error> x> 1\r\n[b]Warning> y> 2"},
        {"lone line feeds", "[a]Error> x> 1\n[b]Warning> y> 2\n"},
        {"byte-order mark", "\xEF\xBB\xBF[a]Error> x> 1\r\n"},
        {"unknown severity", "[a]Info> x> 1\r\n"},
        {"information spelled out", "[a]Information> x> 1\r\n"},
        {"title without its end", "[a]Error> x>>\r\n"},
        {"text before the record", "x[a]Error> x> 1\r\n"},
        {"not a record", "plain\r\n[a]Error> x> 1\r\n"},
        {"empty file", ""},
    };
    for (const auto& c : cases) {
        WriteBytes(ToFsPath(log), c.before);
        std::vector<std::u16string> expected;
        for (const auto& line : SplitLines(DecodeFileText(c.before))) {
            if (const auto record = ParseLogLine(line)) expected.push_back(FormatLogLine(*record));
        }
        expected.push_back(u"[" + kTime + u"]Error> t> x");
        LogDriveActivity(u"t", u"x", u"E");
        EXPECT_EQ(ReadBytes(ToFsPath(log)), fs::EncodeTextLines(expected)) << c.name;
    }
}

TEST_F(LogsTest, ChangesByOthersBetweenCallsAreReadBeforeTheNextRecord) {
    // The first call leaves the file in written form; whatever happens to it before the next call,
    // the next record must end up exactly where a rewrite of the changed file would put it.
    struct Case {
        const char* name;
        void (*change)(const std::filesystem::path& log);
    };
    const Case cases[] = {
        {"another writer appended a record",
         [](const std::filesystem::path& log) { WriteBytes(log, ReadBytes(log) + "[o]Warning> other> 1\r\n"); }},
        {"rewritten in place, same size, not in written form",
         [](const std::filesystem::path& log) {
             std::string bytes = ReadBytes(log);
             bytes[bytes.size() - 2] = ' ';  // "\r\n" becomes " \n"
             WriteBytes(log, bytes);
             // Timestamps may be coarser than the time between two writes: the change must show in
             // the time alone.
             std::filesystem::last_write_time(log, std::filesystem::last_write_time(log) + std::chrono::seconds(5));
         }},
        {"replaced by another file",
         [](const std::filesystem::path& log) {
             WriteBytes(log.string() + ".new", "[a]Info> x> 1\n");
             std::filesystem::rename(log.string() + ".new", log);
         }},
        {"emptied", [](const std::filesystem::path& log) { WriteBytes(log, ""); }},
        {"deleted", [](const std::filesystem::path& log) { std::filesystem::remove(log); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(ToFsPath(log));
        LogDriveActivity(u"first", u"1", u"E");
        c.change(ToFsPath(log));
        const bool exists = std::filesystem::exists(ToFsPath(log));
        const std::string before = exists ? ReadBytes(ToFsPath(log)) : std::string();
        Lines expected;
        if (!exists) expected.push_back(HeaderLine());
        for (const auto& line : SplitLines(DecodeFileText(before))) {
            if (const auto record = ParseLogLine(line)) expected.push_back(FormatLogLine(*record));
        }
        expected.push_back(u"[" + kTime + u"]Error> next> 2");
        LogDriveActivity(u"next", u"2", u"E");
        EXPECT_EQ(ReadBytes(ToFsPath(log)), fs::EncodeTextLines(expected));
    }
}

TEST_F(LogsTest, RecordsAddedOneByOneStartTrimmingWhenTheyMust) {
    // Just below the bound: the first calls append, and the one that would make the newer lines alone
    // reach the bound must drop the oldest instead, although nobody else touched the file.
    const std::size_t perLine = 1002;
    Lines lines;
    for (std::size_t i = 0; i < kLogBound / perLine - 2; ++i) {
        lines.push_back(FormatLogLine({u"000000", TLogSeverity::Error, std::u16string(1000 - 15, u'x'), u""}));
    }
    ASSERT_EQ(lines.front().size() + 2, perLine);
    WriteLog(lines);
    const std::u16string big(1000 - 30, u'y');
    for (int call = 0; call < 6; ++call) {
        LogDriveActivity(u"t", big, u"E");
        const Lines kept = LogLines();
        std::size_t sum = 0;
        for (const auto& line : kept) sum += line.size() + 2;
        EXPECT_LT(sum - (kept.front().size() + 2), kLogBound) << "after call " << call;
        EXPECT_EQ(kept.back(), u"[" + kTime + u"]Error> t> " + big);
    }
}

TEST_F(LogsTest, ApplicationLogLivesInTheFolderSetForItAndNowhereElse) {
    TempFolder folder;
    TempFolder temp;
    testing::ScopedEnv tmpdir("TMPDIR", ToUtf8(temp.Path()));
    int pumped = 0;
    SetPendingMessagesHook([&] { ++pumped; });
    LogApp(u"Before", u"no folder yet");
    {
        testing::ScopedAppLogFolder appLog{folder.Path()};
        EXPECT_EQ(AppLogPath(), folder.Path() + u"\\Velmora.log");
        LogError(u"abc");
        LogApp(u"Start", u"Dockvane\u2122");
    }
    LogApp(u"After", u"folder cleared");
    const Lines lines = *fs::ReadTextLines(folder.File(u"Velmora.log"));
    EXPECT_EQ(lines, (Lines{HeaderLine(), u"[" + kTime + u"]Error> ERROR > abc",
                            u"[" + kTime + u"]Error> Start> Dockvane\u2122"}));
    // Lines without a folder are dropped, not sent to the user's temporary folder.
    EXPECT_TRUE(std::filesystem::is_empty(temp.path()));
    EXPECT_EQ(AppLogPath(), u"");
    EXPECT_EQ(pumped, 4);
}

TEST_F(LogsTest, BothLogsKeepTheirNewestLinesUpToOneBound) {
    struct Case {
        const char* name;
        void (*write)(std::u16string_view title, std::u16string_view text);
        std::u16string file;
    };
    TempFolder folder;
    testing::ScopedAppLogFolder appLog{folder.Path()};
    const Case cases[] = {
        {"drive activity log", [](std::u16string_view t, std::u16string_view x) { LogDriveActivity(t, x, u"E"); }, log},
        {"application log", [](std::u16string_view t, std::u16string_view x) { LogApp(t, x); },
         folder.File(u"Velmora.log")},
    };
    const std::size_t perLine = 1002;
    Lines lines;
    for (std::size_t i = 0; i < kLogBound / perLine + 3; ++i) {
        lines.push_back(FormatLogLine({u"000000", TLogSeverity::Error, std::u16string(1000 - 15, u'x'), u""}));
    }
    ASSERT_EQ(lines.front().size() + 2, perLine);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(ToFsPath(c.file), fs::EncodeTextLines(lines));
        c.write(u"t", u"new");
        const Lines kept = *fs::ReadTextLines(c.file);
        std::size_t sum = 0;
        for (const auto& line : kept) sum += line.size() + 2;
        EXPECT_GE(sum, kLogBound);
        EXPECT_LT(sum - (kept.front().size() + 2), kLogBound);
        EXPECT_LT(kept.size(), lines.size());
        EXPECT_EQ(kept.back(), u"[" + kTime + u"]Error> t> new");
    }
}

TEST_F(LogsTest, PendingMessagesAreProcessedOnlyOnTheInstallingThread) {
    int pumped = 0;
    SetPendingMessagesHook([&] { ++pumped; });
    LogDriveActivity(u"t", u"x", u"E");
    std::thread([] { LogDriveActivity(u"t", u"from a worker", u"E"); }).join();
    EXPECT_EQ(pumped, 1);
    fs::MapDrive(u'E', u"");
    LogDriveActivity(u"t", u"drive gone", u"E");
    EXPECT_EQ(pumped, 1);
}

TEST_F(LogsTest, WritersOnSeveralThreadsLoseNoLine) {
    constexpr int kThreads = 4;
    constexpr int kLinesEach = 40;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < kLinesEach; ++i) {
                LogDriveActivity(u"worker" + IntToStr(t), u"line" + IntToStr(i), u"E");
            }
        });
    }
    for (auto& writer : writers) writer.join();
    const Lines lines = LogLines();
    ASSERT_EQ(lines.size(), 1u + kThreads * kLinesEach);
    for (int t = 0; t < kThreads; ++t) {
        int next = 0;
        for (const auto& line : lines) {
            const auto record = ParseLogLine(line);
            ASSERT_TRUE(record);
            if (record->Title != u" worker" + IntToStr(t)) continue;
            EXPECT_EQ(record->Description, u" line" + IntToStr(next++));  // in order, none missing
        }
        EXPECT_EQ(next, kLinesEach);
    }
}

}  // namespace
}  // namespace dv
