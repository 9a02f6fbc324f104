// Files and look-ups whose values the profile functions and IniFile must agree on.
#pragma once

#include <string>
#include <vector>

namespace dv {

struct ReadCase {
    const char16_t* name;
    std::vector<std::u16string> lines;
    std::u16string section, key, defaultValue, expected;
};

inline const ReadCase kReadCases[] = {
    {u"plain", {u"[General]", u"AutoStart=True"}, u"General", u"AutoStart", u"x", u"True"},
    {u"section and key in another case", {u"[general]", u"autostart=False"}, u"GENERAL", u"AUTOSTART", u"x", u"False"},
    {u"blanks around key and value", {u"[General]", u"  AutoPlay   =   1  "}, u"General", u"AutoPlay", u"x", u"1"},
    {u"key looked up with a leading blank",
     {u"[General]", u"RegistrationCode=42"},
     u"General",
     u" RegistrationCode",
     u"",
     u"42"},
    {u"key stored with a leading blank",
     {u"[General]", u" RegistrationName=dockvane"},
     u"General",
     u"RegistrationName",
     u"",
     u"dockvane"},
    {u"double quotes dropped", {u"[S]", u"k=\"quoted value\""}, u"S", u"k", u"", u"quoted value"},
    {u"single quotes dropped", {u"[S]", u"k='quoted'"}, u"S", u"k", u"", u"quoted"},
    {u"unmatched quote kept", {u"[S]", u"k=\"open"}, u"S", u"k", u"", u"\"open"},
    {u"lone quote kept", {u"[S]", u"k=\""}, u"S", u"k", u"", u"\""},
    {u"empty value is not the default", {u"[S]", u"k="}, u"S", u"k", u"dflt", u""},
    {u"missing key gives the default", {u"[S]", u"other=1"}, u"S", u"k", u"dflt", u"dflt"},
    {u"missing section gives the default", {u"[T]", u"k=1"}, u"S", u"k", u"dflt", u"dflt"},
    {u"default loses trailing blanks", {}, u"S", u"k", u"dflt  ", u"dflt"},
    {u"key of another section not found", {u"[A]", u"x=1", u"[B]", u"k=2"}, u"A", u"k", u"d", u"d"},
    {u"first of two keys wins", {u"[S]", u"k=1", u"k=2"}, u"S", u"k", u"", u"1"},
    {u"comment and blank lines between", {u"; note", u"[S]", u"", u"; k=0", u"k=1"}, u"S", u"k", u"", u"1"},
    {u"value holding =", {u"[S]", u"k=a=b"}, u"S", u"k", u"", u"a=b"},
    {u"value ends at a NUL", {u"[S]", std::u16string(u"k=a\0b", 5)}, u"S", u"k", u"", u"a"},
    {u"indented section", {u"   [S]", u"k=1"}, u"S", u"k", u"", u"1"},
    {u"section name looked up with blanks", {u"[S]", u"k=1"}, u" S ", u"k", u"", u"1"},
    {u"line without = is no value", {u"[S]", u"k"}, u"S", u"k", u"d", u"d"},
    {u"PingURL numbered keys",
     {u"[Share]", u"PingURL1=http://a", u"PingURL2=http://b"},
     u"Share",
     u"PingURL2",
     u"",
     u"http://b"},
};

}  // namespace dv
