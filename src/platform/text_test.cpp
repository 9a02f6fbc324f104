#include "platform/text.h"

#include <limits>

#include <gtest/gtest.h>

namespace dv {
namespace {

TEST(Utf8, RoundTripsEveryPlane) {
    const std::u16string text = u"a\u00E9\u2122\U0001F600z";
    EXPECT_EQ(ToUtf8(text), "a\xC3\xA9\xE2\x84\xA2\xF0\x9F\x98\x80z");
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
}

TEST(Utf8, IllFormedInputBecomesReplacementCharacters) {
    EXPECT_EQ(FromUtf8("a\xFFz"), u"a\uFFFDz");
    EXPECT_EQ(FromUtf8("a\xC3"), u"a\uFFFD");        // truncated sequence
    EXPECT_EQ(FromUtf8("\xC0\xAF"), u"\uFFFD");      // overlong form of '/'
    EXPECT_EQ(ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");  // lone surrogate
}

TEST(SystemCodePage, Windows1252BothWays) {
    EXPECT_EQ(FromAnsi("\x80\x99\xE9\x81"), u"\u20AC\u2122\u00E9\u0081");
    EXPECT_EQ(ToAnsi(u"\u20AC\u2122\u00E9\u0081"), "\x80\x99\xE9\x81");
    // Characters the code page lacks become one '?' each, also outside the basic plane.
    EXPECT_EQ(ToAnsi(u"\u0416\U0001F600x"), "??x");
    std::string everyByte;
    for (int b = 0; b < 256; ++b) everyByte.push_back(static_cast<char>(b));
    EXPECT_EQ(ToAnsi(FromAnsi(everyByte)), everyByte);
}

TEST(DecodeFileText, FollowsTheByteOrderMark) {
    struct Case {
        std::string bytes;
        std::u16string text;
    };
    const Case cases[] = {
        {"plain \xE9", u"plain \u00E9"},
        {"\xEF\xBB\xBFutf8 \xC3\xA9", u"utf8 \u00E9"},
        {std::string("\xFF\xFEh\0\x22\x21", 6), u"h\u2122"},
        {std::string("\xFE\xFF\0h\x21\x22", 6), u"h\u2122"},
        {"", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeFileText(c.bytes), c.text) << c.bytes;
}

TEST(TextFiles, WrittenBackInTheEncodingTheyWereReadIn) {
    struct Case {
        const char* name;
        std::string bytes;
        TextEncoding encoding;
        std::u16string text;
        bool whole = true;
    };
    const Case cases[] = {
        {"system code page", "Caf\xE9 \x80", TextEncoding::SystemCodePage, u"Caf\u00E9 \u20AC"},
        {"UTF-8",
         "\xEF\xBB\xBF"
         "Caf\xC3\xA9 \xE6\xBC\xA2\xE5\xAD\x97 \xE2\x82\xAC",
         TextEncoding::Utf8Bom, u"Caf\u00E9 \u6F22\u5B57 \u20AC"},
        {"UTF-16 LE",
         std::string("\xFF\xFE"
                     "C\0\xE9\0\x22\x6F\x3D\xD8\x00\xDE",
                     12),
         TextEncoding::Utf16LeBom, u"C\u00E9\u6F22\U0001F600"},
        {"UTF-16 BE", std::string("\xFE\xFF\0C\x6F\x22", 6), TextEncoding::Utf16BeBom, u"C\u6F22"},
        {"mark alone", "\xEF\xBB\xBF", TextEncoding::Utf8Bom, u""},
        {"UTF-16 mark alone", "\xFF\xFE", TextEncoding::Utf16LeBom, u""},
        {"empty", "", TextEncoding::SystemCodePage, u""},
        {"NUL bytes", std::string("a\0b", 3), TextEncoding::SystemCodePage, std::u16string(u"a\0b", 3)},
        // Bytes that are no UTF-8 stand for themselves and are written back as they were.
        {"invalid UTF-8",
         "\xEF\xBB\xBF"
         "a\xFF\xC3(\xED\xA0\x80\xF4\x90\x80\x80\xC0\xAF\xE2\x82",
         TextEncoding::Utf8Bom, u"a\xDCFF\xDCC3(\xDCED\xDCA0\xDC80\xDCF4\xDC90\xDC80\xDC80\xDCC0\xDCAF\xDCE2\xDC82"},
        {"unpaired surrogates in UTF-16", std::string("\xFF\xFE\x00\xD8x\0\x80\xDC", 8), TextEncoding::Utf16LeBom,
         u"\xD800x\xDC80"},
        {"UTF-16 of an odd length", std::string("\xFF\xFEh\0i", 5), TextEncoding::Utf16LeBom, u"h", false},
    };
    for (const auto& c : cases) {
        const FileText file = DecodeTextFile(c.bytes);
        EXPECT_EQ(file.text, c.text) << c.name;
        EXPECT_EQ(file.encoding, c.encoding) << c.name;
        EXPECT_EQ(file.whole, c.whole) << c.name;
        if (c.whole) {
            EXPECT_EQ(EncodeTextFile(file.text, file.encoding), c.bytes) << c.name;
        }
    }
    // Text that does not come from a file: unpaired surrogates other than the byte escapes become
    // U+FFFD in UTF-8; characters the code page lacks become '?'.
    EXPECT_EQ(EncodeTextFile(u"\xD800\xDC80", TextEncoding::Utf8Bom), "\xEF\xBB\xBF\xF0\x90\x82\x80");
    EXPECT_EQ(EncodeTextFile(u"\xDC00", TextEncoding::Utf8Bom), "\xEF\xBB\xBF\xEF\xBF\xBD");
    EXPECT_EQ(EncodeTextFile(u"\u6F22", TextEncoding::SystemCodePage), "?");
}

TEST(VisibleText, SpellsEveryControlCharacter) {
    struct Case {
        std::u16string text, visible;
    };
    const Case cases[] = {
        {u"plain text > \\ [x]", u"plain text > \\ [x]"},
        {u"a\r\nb", u"a\\r\\nb"},
        {u"tab\there", u"tab\\there"},
        {std::u16string(u"nul\0", 4), u"nul\\x00"},
        {u"\x01\x1B\x1F\x7F", u"\\x01\\x1B\\x1F\\x7F"},
        {u"\x80\x85\x9F", u"\\x80\\x85\\x9F"},  // C1, NEL among them
        {u"\u00A0\u00E9\u20AC\u2122\U0001F600", u"\u00A0\u00E9\u20AC\u2122\U0001F600"},
        {u"", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(VisibleText(c.text), c.visible) << ToUtf8(c.visible);
}

TEST(SplitLines, EveryLineEndCounts) {
    struct Case {
        std::u16string text;
        std::vector<std::u16string> lines;
    };
    const Case cases[] = {
        {u"", {}},
        {u"a", {u"a"}},
        {u"a\r\n", {u"a"}},
        {u"a\r\nb", {u"a", u"b"}},
        {u"a\nb\rc\r\n\r\nd", {u"a", u"b", u"c", u"", u"d"}},
        {u"\r\n\r\n", {u"", u""}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitLines(c.text), c.lines) << ToUtf8(c.text);
    }
    EXPECT_EQ(JoinLines({u"a", u"", u"b"}), u"a\r\n\r\nb\r\n");
}

TEST(TryStrToInt, AcceptsExactlyThe32BitDecimals) {
    struct Case {
        std::u16string text;
        std::optional<std::int32_t> value;
    };
    const Case cases[] = {
        {u"0", 0},
        {u"-17", -17},
        {u"+5", 5},
        {u"2147483647", 2147483647},
        {u"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {u"2147483648", std::nullopt},
        {u"-2147483649", std::nullopt},
        {u"99999999999999999999", std::nullopt},
        {u"", std::nullopt},
        {u"-", std::nullopt},
        {u"12a", std::nullopt},
        {u"1.5", std::nullopt},
        {u"True", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(TryStrToInt(c.text), c.value) << ToUtf8(c.text);
}

TEST(ReplaceAll, ReplacesEveryOccurrenceOnce) {
    struct Case {
        std::u16string text, pattern, replacement, result;
        bool found;
    };
    const Case cases[] = {
        {u"PingURL=a", u"PingURL=", u"PingURL1=", u"PingURL1=a", true},
        {u"x=1 x=2", u"x=", u"y=", u"y=1 y=2", true},
        {u"aa", u"a", u"aa", u"aaaa", true},  // the inserted text is not searched again
        {u"pingurl=a", u"PingURL=", u"PingURL1=", u"pingurl=a", false},
        {u"abc", u"", u"x", u"abc", false},
        {u"", u"a", u"b", u"", false},
    };
    for (const auto& c : cases) {
        bool found = !c.found;
        EXPECT_EQ(ReplaceAll(c.text, c.pattern, c.replacement, found), c.result) << ToUtf8(c.text);
        EXPECT_EQ(found, c.found) << ToUtf8(c.text);
    }
}

TEST(LetterCase, IgnoresCaseOfLatinLetters) {
    EXPECT_TRUE(EqualsIgnoreCase(u"General", u"GENERAL"));
    EXPECT_TRUE(EqualsIgnoreCase(u"\u00E9t\u00E9", u"\u00C9T\u00C9"));
    EXPECT_FALSE(EqualsIgnoreCase(u"General", u"Genera1"));
    EXPECT_FALSE(EqualsIgnoreCase(u"a", u"ab"));
    EXPECT_TRUE(StartsWithIgnoreCase(u"HTTPS://host", u"https://"));
    EXPECT_TRUE(StartsWithIgnoreCase(u"x", u""));
    EXPECT_FALSE(StartsWithIgnoreCase(u"http:/", u"http://"));
    EXPECT_FALSE(StartsWithIgnoreCase(u" http://", u"http://"));
}

}  // namespace
}  // namespace dv
