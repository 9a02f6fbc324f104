// IniFile against the real profile functions.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/text.h"
#include "platform/windows_include.h"
#include "settings/ini_file.h"
#include "settings/ini_file_test_cases.h"
#include "settings/ini_persist.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

std::u16string ProfileString(const std::u16string& file, const std::u16string& section, const std::u16string& key,
                             const std::u16string& defaultValue) {
    wchar_t buffer[2048] = {};
    const DWORD length = ::GetPrivateProfileStringW(ToWide(section).c_str(), ToWide(key).c_str(),
                                                    ToWide(defaultValue).c_str(), buffer, 2048, ToWide(file).c_str());
    return FromWide(std::wstring_view(buffer, length));
}

TEST(WinIniFile, ReadsWhatGetPrivateProfileStringReads) {
    testing::TempFolder folder;
    int index = 0;
    for (const auto& c : kReadCases) {
        const std::u16string file = folder.File(u"case" + IntToStr(index++) + u".ini");
        fs::ReplaceFileContents(file, fs::EncodeTextLines(c.lines));
        const std::u16string fromIniFile = IniFile(c.lines).ReadString(c.section, c.key, c.defaultValue);
        EXPECT_EQ(ProfileString(file, c.section, c.key, c.defaultValue), fromIniFile) << ToUtf8(c.name);
    }
}

TEST(WinIniFile, LongValuesAndSystemCodePageAgree) {
    testing::TempFolder folder;
    const std::u16string file = folder.File(u"long.ini");
    const std::vector<std::u16string> lines = {u"[S]", u"long=" + std::u16string(3000, u'v'), u"ansi=Caf\u00E9 \u20AC"};
    fs::ReplaceFileContents(file, fs::EncodeTextLines(lines));
    const IniFile ini(*fs::ReadTextLines(file));
    for (const std::u16string key : {u"long", u"ansi"}) {
        EXPECT_EQ(ProfileString(file, u"S", key, u""), ini.ReadString(u"S", key, u"")) << ToUtf8(key);
    }
}

TEST(WinIniFile, FilesWithAByteOrderMarkReadAlike) {
    testing::TempFolder folder;
    const std::vector<std::u16string> lines = {u"[Share]", u"Description=Caf\u00E9 \u6F22\u5B57 \u20AC",
                                               u"PingURL1=http://h/\U0001F600"};
    for (const TextEncoding encoding : {TextEncoding::Utf8Bom, TextEncoding::Utf16LeBom, TextEncoding::Utf16BeBom}) {
        const std::u16string file = folder.File(u"encoding" + IntToStr(static_cast<int>(encoding)) + u".ini");
        fs::ReplaceFileContents(file, fs::EncodeTextLines(lines, encoding));
        const IniFile ini(*fs::ReadTextLines(file));
        for (const std::u16string key : {u"Description", u"PingURL1"}) {
            EXPECT_EQ(ProfileString(file, u"Share", key, u""), ini.ReadString(u"Share", key, u""))
                << static_cast<int>(encoding) << " " << ToUtf8(key);
        }
    }
}

TEST(WinIniFile, WhatWeWriteTheProfileFunctionsRead) {
    testing::TempFolder folder;
    const std::u16string file = folder.File(u"written.ini");
    IniFile ini({u"; kept", u"[General]", u"AutoStart=True"});
    ini.WriteString(u"General", u" RegistrationCode", u"12345");
    ini.WriteString(u"General", u"AutoStart", u"False");
    ini.WriteString(u"Sounds", u"Done", u"C:\\sounds\\done.wav");
    fs::ReplaceFileContents(file, fs::EncodeTextLines(ini.Lines()));
    EXPECT_EQ(ProfileString(file, u"General", u" RegistrationCode", u""), u"12345");
    EXPECT_EQ(ProfileString(file, u"General", u"AutoStart", u""), u"False");
    EXPECT_EQ(ProfileString(file, u"Sounds", u"Done", u""), u"C:\\sounds\\done.wav");
}

TEST(WinIniFile, AValueIsStoredUpToItsFirstNulAsTheProfileFunctionStoresIt) {
    testing::TempFolder folder;
    const std::u16string file = folder.File(u"cut.ini");  // not "nul.ini": that names the NUL device
    const std::u16string value(u"a\0b", 3);
    ASSERT_TRUE(::WritePrivateProfileStringW(L"S", L"k", ToWide(value).c_str(), ToWide(file).c_str()));
    ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, ToWide(file).c_str());
    IniFile ini;
    ini.WriteString(u"S", u"k", value);
    EXPECT_EQ(*fs::ReadTextLines(file), ini.Lines());
}

}  // namespace
}  // namespace dv
