// An INI file held as its lines, read and written with the behaviour of the Windows profile
// functions (GetPrivateProfileStringW, WritePrivateProfileStringW): sections and keys are found
// regardless of letter case and of blanks around them; an update keeps every other line as it is.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace dv {

class IniFile {
public:
    // The longest value a read returns (the profile functions' 2048-character buffer).
    static constexpr std::size_t kMaxValueLength = 2047;

    IniFile() = default;
    explicit IniFile(std::vector<std::u16string> lines, TextEncoding encoding = TextEncoding::SystemCodePage)
        : lines_(std::move(lines)), encoding_(encoding) {}

    // The key's value: blanks around it and one pair of enclosing quotes dropped, at most
    // kMaxValueLength characters. `defaultValue` (trailing blanks dropped) when the section or key
    // is absent. Only the first section of a name is searched.
    std::u16string ReadString(std::u16string_view section, std::u16string_view key,
                              std::u16string_view defaultValue) const;

    // Sets the key's value, up to its first NUL: an existing key's line is rewritten where it stands
    // (unless it already reads as the value); a new key goes after the last line of its section that
    // is not blank; a new section goes at the end of the file.
    void WriteString(std::u16string_view section, std::u16string_view key, std::u16string_view value);

    const std::vector<std::u16string>& Lines() const { return lines_; }
    std::vector<std::u16string>& Lines() { return lines_; }
    // The encoding the file was read in, and is written back in.
    TextEncoding Encoding() const { return encoding_; }

private:
    struct Section {
        std::size_t header;  // index of the "[name]" line
        std::size_t end;     // index one past the section's last line
    };
    std::optional<Section> FindSection(std::u16string_view name) const;
    std::optional<std::size_t> FindKey(const Section& section, std::u16string_view key) const;
    // What a read of the key on this line returns; nothing for a line without "=".
    static std::optional<std::u16string_view> ValueOf(std::u16string_view line);

    std::vector<std::u16string> lines_;
    TextEncoding encoding_ = TextEncoding::SystemCodePage;
};

}  // namespace dv
