#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include "platform/text.h"
#include "settings/ini_file_test_cases.h"

namespace dv {
namespace {

TEST(IniFileRead, BehavesLikeTheProfileFunctions) {
    for (const auto& c : kReadCases) {
        EXPECT_EQ(IniFile(c.lines).ReadString(c.section, c.key, c.defaultValue), c.expected) << ToUtf8(c.name);
    }
}

TEST(IniFileRead, ValuesStopAt2047Characters) {
    const std::u16string longValue(3000, u'v');
    const IniFile file({u"[S]", u"k=" + longValue});
    EXPECT_EQ(file.ReadString(u"S", u"k", u""), longValue.substr(0, 2047));
}

TEST(IniFileRead, ValueEndsAtANul) {
    // What the system would take the value for, wherever it is handed on.
    const IniFile file({u"[S]", std::u16string(u"k=A\0B", 5), std::u16string(u"q=\"x\0y\"", 7)});
    EXPECT_EQ(file.ReadString(u"S", u"k", u""), u"A");
    EXPECT_EQ(file.ReadString(u"S", u"q", u""), u"x");
}

TEST(IniFileWrite, LineThatReadsAsTheValueStaysWhole) {
    // Writing back what was read loses nothing a read does not return.
    const std::u16string longValue(3000, u'v');
    const std::vector<std::u16string> lines = {u"[S]", u"long=" + longValue, u"quoted = \"a b\"",
                                               std::u16string(u"nul=A\0B", 7)};
    IniFile file(lines);
    for (const std::u16string key : {u"long", u"quoted", u"nul"}) {
        file.WriteString(u"S", key, file.ReadString(u"S", key, u""));
    }
    EXPECT_EQ(file.Lines(), lines);
    // Another value replaces the whole of the old one.
    file.WriteString(u"S", u"long", u"short");
    file.WriteString(u"S", u"nul", u"A");
    file.WriteString(u"S", u"nul", u"C");
    EXPECT_EQ(file.Lines()[1], u"long=short");
    EXPECT_EQ(file.Lines()[3], u"nul=C");
}

TEST(IniFileWrite, WhatWasWrittenReadsBack) {
    // A value is stored as the profile function that takes it as a NUL-terminated string would
    // store it: up to its first NUL, so that the file holds nothing a read does not give back.
    struct WriteCase {
        const char16_t* name;
        std::u16string value, line, read;
    };
    const WriteCase cases[] = {
        {u"plain", u"True", u"k=True", u"True"},
        {u"holding =", u"a=b", u"k=a=b", u"a=b"},
        {u"empty", u"", u"k=", u""},
        {u"NUL inside", std::u16string(u"a\0b", 3), u"k=a", u"a"},
        {u"NUL first", std::u16string(u"\0b", 2), u"k=", u""},
        {u"NUL inside quotes", std::u16string(u"\"x\0y\"", 5), u"k=\"x", u"\"x"},
    };
    for (const auto& c : cases) {
        for (const bool existing : {false, true}) {
            IniFile file(existing ? std::vector<std::u16string>{u"[S]", u"k=old"} : std::vector<std::u16string>{});
            file.WriteString(u"S", u"k", c.value);
            EXPECT_EQ(file.Lines(), (std::vector<std::u16string>{u"[S]", c.line})) << ToUtf8(c.name) << existing;
            EXPECT_EQ(file.ReadString(u"S", u"k", u"-"), c.read) << ToUtf8(c.name) << existing;
        }
    }
}

TEST(IniFileWrite, KeepsEveryOtherLineWhereItStands) {
    IniFile file(
        {u"#=== header", u"[General]", u"; comment", u"AutoStart=True", u"Unmapped=7", u"", u"[Sounds]", u"Done=x"});
    file.WriteString(u"general", u"autostart", u"False");        // updated in place, the key as it stood
    file.WriteString(u"General", u" RegistrationCode", u"123");  // appended to its section, before the blank line
    file.WriteString(u"Sounds", u"Available", u"y");
    file.WriteString(u"New", u"k", u"v");  // a new section at the end
    const std::vector<std::u16string> expected = {
        u"#=== header", u"[General]", u"; comment",   u"AutoStart=False", u"Unmapped=7", u" RegistrationCode=123", u"",
        u"[Sounds]",    u"Done=x",    u"Available=y", u"[New]",           u"k=v",
    };
    EXPECT_EQ(file.Lines(), expected);
}

TEST(IniFileWrite, UpdateChangesOnlyTheValue) {
    IniFile file({u"[S]", u"  Key =  old", u"Bare"});
    file.WriteString(u"S", u"key", u"new");
    file.WriteString(u"S", u"bare", u"1");
    EXPECT_EQ(file.Lines(), (std::vector<std::u16string>{u"[S]", u"  Key =  new", u"Bare=1"}));
    EXPECT_EQ(file.ReadString(u"S", u"Key", u""), u"new");
}

TEST(IniFileWrite, CreatesFromNothingInWritingOrder) {
    IniFile file;
    file.WriteString(u"General", u"a", u"1");
    file.WriteString(u"Sounds", u"b", u"2");
    file.WriteString(u"General", u"c", u"3");
    EXPECT_EQ(file.Lines(), (std::vector<std::u16string>{u"[General]", u"a=1", u"c=3", u"[Sounds]", u"b=2"}));
}

TEST(IniFileWrite, EmptySectionGetsItsFirstKeyRightBelowIt) {
    IniFile file({u"[A]", u"", u"[B]"});
    file.WriteString(u"A", u"k", u"v");
    EXPECT_EQ(file.Lines(), (std::vector<std::u16string>{u"[A]", u"k=v", u"", u"[B]"}));
}

}  // namespace
}  // namespace dv
