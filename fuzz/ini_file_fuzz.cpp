// The INI reader and writer on a hostile file: a read never returns more than the profile functions
// would, a write changes at most the one line of its key (or adds the key, or its section and key),
// and what was written (up to its first NUL) reads back.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "settings/ini_file.h"

namespace dv {
namespace {

bool IsProfileBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' || c == 0x1A;
}

// Names and values that a write can store and a read give back unchanged: nothing the reader trims
// or unquotes, no line end, and no key that would read as a section line.
bool Storable(std::u16string_view text) {
    if (text.empty() || IsProfileBlank(text.front()) || IsProfileBlank(text.back())) return false;
    return text.find_first_of(u"\r\n") == std::u16string_view::npos;
}
bool StorableValue(std::u16string_view value) {
    if (value.empty()) return true;
    if (!Storable(value) || value.size() > IniFile::kMaxValueLength) return false;
    return !(value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front());
}
bool StorableKey(std::u16string_view key) {
    return Storable(key) && key.front() != u'[' && key.find(u'=') == std::u16string_view::npos;
}

// The lines after a write: the same, except one line changed, one inserted, or two appended.
void CheckOnlyOneKeyChanged(const std::vector<std::u16string>& before, const std::vector<std::u16string>& after) {
    FUZZ_CHECK(after.size() >= before.size() && after.size() <= before.size() + 2);
    if (after.size() == before.size()) {
        std::size_t changed = 0;
        for (std::size_t i = 0; i < before.size(); ++i) changed += before[i] != after[i];
        FUZZ_CHECK(changed <= 1);
    } else if (after.size() == before.size() + 1) {
        const auto mismatch = std::mismatch(before.begin(), before.end(), after.begin());
        FUZZ_CHECK(std::equal(mismatch.first, before.end(), mismatch.second + 1));
    } else {
        FUZZ_CHECK(std::equal(before.begin(), before.end(), after.begin()));
    }
}

}  // namespace
}  // namespace dv

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dv;
    FuzzedDataProvider input(data, size);
    const std::u16string section = FromUtf8(input.ConsumeRandomLengthString(64));
    const std::u16string key = FromUtf8(input.ConsumeRandomLengthString(64));
    const std::u16string value = FromUtf8(input.ConsumeRandomLengthString(3000));
    const std::string bytes = input.ConsumeRemainingBytesAsString();

    IniFile file(SplitLines(DecodeFileText(bytes)));
    const std::u16string read = file.ReadString(section, key, value);
    FUZZ_CHECK(read.size() <= IniFile::kMaxValueLength);

    const std::vector<std::u16string> before = file.Lines();
    file.WriteString(section, key, value);
    CheckOnlyOneKeyChanged(before, file.Lines());

    // A value is stored up to its first NUL, as the profile function that takes it as a NUL-terminated
    // string stores it.
    const std::u16string stored = value.substr(0, value.find(u'\0'));
    if (Storable(section) && section.find(u']') == std::u16string::npos && StorableKey(key) && StorableValue(stored)) {
        FUZZ_CHECK(file.ReadString(section, key, u"-") == stored);
        // The file as written and read again holds the same lines, wherever the code page can hold them.
        // (A first line that begins like a byte-order mark in the code page is left out: the files the
        // application writes begin with the header line.)
        const std::vector<std::u16string>& lines = file.Lines();
        const bool markLike =
            !lines.empty() && (lines[0].starts_with(u"\u00EF\u00BB\u00BF") || lines[0].starts_with(u"\u00FF\u00FE") ||
                               lines[0].starts_with(u"\u00FE\u00FF"));
        if (!markLike && std::all_of(lines.begin(), lines.end(), [](const std::u16string& line) {
                return FromAnsi(ToAnsi(line)) == line && line.find_first_of(u"\r\n") == std::u16string::npos;
            })) {
            FUZZ_CHECK(SplitLines(DecodeFileText(fs::EncodeTextLines(lines))) == lines);
        }
    }
    return 0;
}
