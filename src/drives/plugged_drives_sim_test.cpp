#include "drives/plugged_drives_sim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/text.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

using dv::testing::TempFolder;

TEST(SimPluggedDrives, ListRoundTripAndDamage) {
    const TPluggedDrives drives{{u'E', u"/tmp/a b"}, {u'Z', u"C:\\\u00E9t\u00E9"}};
    EXPECT_EQ(DecodePluggedDrives(EncodePluggedDrives(drives)), drives);
    EXPECT_EQ(DecodePluggedDrives("# c\r\n\r\ne\t/x\r\n"), (TPluggedDrives{{u'E', u"/x"}}));
    for (const char* bad : {"E /x\n", "E\t\n", "1\t/x\n", "EE\t/x\n"}) {
        EXPECT_THROW(DecodePluggedDrives(bad), EConvertError) << bad;
    }

    TempFolder folder;
    EXPECT_TRUE(LoadPluggedDrives(folder.Path()).empty());
    SavePluggedDrives(folder.Path(), drives);
    EXPECT_EQ(LoadPluggedDrives(folder.Path()), drives);
}

TEST(SimPluggedDrives, EjectBlocksRoundTripAndDamage) {
    const TSimEjectBlocks blocks{{u'E', {u"dllhost.exe", 9176, 3}}, {u'F', {u"a\tb\r\nc\\d\\t \u00E9.exe", 0, 1}}};
    const std::string text = EncodeEjectBlocks(blocks);
    EXPECT_EQ(DecodeEjectBlocks(text), blocks);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);  // the header and one line each
    EXPECT_EQ(DecodeEjectBlocks("# c\r\n\r\ne\tx.exe\t1\t2\r\n"), (TSimEjectBlocks{{u'E', {u"x.exe", 1, 2}}}));
    for (const char* bad : {"E\tx.exe\t1\n", "E\tx.exe\t1\t2\t3\n", "1\tx.exe\t1\t2\n", "E\tx.exe\tone\t2\n",
                            "E\tx.exe\t-1\t2\n", "E\tx.exe\t1\t-2\n", "E\tx\\q.exe\t1\t2\n", "E\tx\\\t1\t2\n"}) {
        EXPECT_THROW(DecodeEjectBlocks(bad), EConvertError) << bad;
    }

    TempFolder folder;
    EXPECT_TRUE(LoadEjectBlocks(folder.Path()).empty());
    SaveEjectBlocks(folder.Path(), blocks);
    EXPECT_EQ(LoadEjectBlocks(folder.Path()), blocks);
}

TEST(SimPluggedDrives, EventLogKeepsTheNewestOnePerLine) {
    TempFolder folder;
    EXPECT_TRUE(LoadSimEvents(folder.Path()).empty());
    std::vector<std::u16string> newestFirst;
    for (std::size_t i = 0; i < kSimEventsKept + 3; ++i) {
        const std::u16string event = u"<Event n='" + IntToStr(static_cast<std::int64_t>(i)) + u"'>\r\n</Event>";
        AppendSimEvent(folder.Path(), event);
        newestFirst.insert(newestFirst.begin(), u"<Event n='" + IntToStr(static_cast<std::int64_t>(i)) + u"'></Event>");
    }
    newestFirst.resize(kSimEventsKept);
    EXPECT_EQ(LoadSimEvents(folder.Path()), newestFirst);
}

TEST(SimPluggedDrives, DriveLetterSpellings) {
    const struct {
        std::u16string_view text;
        char16_t letter;
    } cases[] = {{u"E", u'E'}, {u"e", u'E'}, {u"E:", u'E'}, {u"e:\\", u'E'}, {u"", 0},
                 {u"EF", 0},   {u"E:/", 0},  {u"1", 0},     {u"\u00E9", 0}};
    for (const auto& c : cases) EXPECT_EQ(DriveLetterOf(c.text), c.letter) << ToUtf8(c.text);
}

}  // namespace
}  // namespace dv
