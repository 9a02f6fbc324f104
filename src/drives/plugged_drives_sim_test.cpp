#include "drives/plugged_drives_sim.h"

#include <gtest/gtest.h>

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
