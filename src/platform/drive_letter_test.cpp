#include "platform/drive_letter.h"

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/text.h"

namespace dv {
namespace {

TEST(DriveLetter, ParsesTheSpellingsOfOneDriveOnly) {
    const struct {
        std::u16string_view text;
        char16_t letter;  // 0: no drive
    } cases[] = {
        {u"E", u'E'},       {u"e", u'E'},   {u"E:", u'E'},  {u"e:\\", u'E'},
        {u"A", u'A'},       {u"z:", u'Z'},  {u"", 0},       {u":", 0},
        {u":\\", 0},        {u"EF", 0},     {u"E:/", 0},    {u"E:\\x", 0},
        {u"E\\", 0},        {u"E::", 0},    {u"1", 0},      {u"@", 0},
        {u"[", 0},          {u"`", 0},      {u"{", 0},      {u" E", 0},
        {u"E ", 0},         {u"\u00E9", 0}, {u"\uFF25", 0}, {std::u16string_view(u"E\0", 2), 0},
        {u"\\\\server", 0},
    };
    for (const auto& c : cases) {
        const std::optional<TDriveLetter> drive = TDriveLetter::Parse(c.text);
        if (c.letter == 0) {
            EXPECT_FALSE(drive) << ToUtf8(VisibleText(c.text));
            EXPECT_THROW((void)TDriveLetter{c.text}, EConvertError) << ToUtf8(VisibleText(c.text));
        } else {
            ASSERT_TRUE(drive) << ToUtf8(c.text);
            EXPECT_EQ(drive->Letter(), c.letter) << ToUtf8(c.text);
            EXPECT_EQ(TDriveLetter{c.text}, *drive) << ToUtf8(c.text);
        }
    }
}

TEST(DriveLetter, SpellsTheDriveAsTheSystemTakesIt) {
    const TDriveLetter drive(u'e');
    EXPECT_EQ(drive.Text(), u"E");
    EXPECT_EQ(drive.Device(), u"E:");
    EXPECT_EQ(drive.Root(), u"E:\\");
    EXPECT_EQ(TDriveLetter::Parse(drive.Root()), drive);
    EXPECT_EQ(TDriveLetter::Of(u'E'), drive);
}

TEST(DriveLetter, AnyOtherCharacterIsRefused) {
    for (const char16_t c : {u'\0', u'0', u'@', u'[', u'`', u'{', u':', u'\u00C9', static_cast<char16_t>(0xD800)}) {
        EXPECT_FALSE(TDriveLetter::Of(c)) << static_cast<int>(c);
        EXPECT_THROW((void)TDriveLetter{c}, EConvertError) << static_cast<int>(c);
    }
}

}  // namespace
}  // namespace dv
