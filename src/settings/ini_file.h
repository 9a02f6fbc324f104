// An INI file held as its lines, read and written with the behaviour of the Windows profile
// functions (GetPrivateProfileStringW, WritePrivateProfileStringW): sections and keys are found
// regardless of letter case and of blanks around them; an update keeps every other line as it is.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dv {

class IniFile {
public:
    // The longest value a read returns (the profile functions' 2048-character buffer).
    static constexpr std::size_t kMaxValueLength = 2047;

    IniFile() = default;
    explicit IniFile(std::vector<std::u16string> lines) : lines_(std::move(lines)) {}

    // The key's value: blanks around it and one pair of enclosing quotes dropped, at most
    // kMaxValueLength characters. `defaultValue` (trailing blanks dropped) when the section or key
    // is absent. Only the first section of a name is searched.
    std::u16string ReadString(std::u16string_view section, std::u16string_view key,
                              std::u16string_view defaultValue) const;

    // Sets the key's value: an existing key's line is rewritten where it stands; a new key goes after
    // the last line of its section that is not blank; a new section goes at the end of the file.
    void WriteString(std::u16string_view section, std::u16string_view key, std::u16string_view value);

    const std::vector<std::u16string>& Lines() const { return lines_; }
    std::vector<std::u16string>& Lines() { return lines_; }

private:
    struct Section {
        std::size_t header;  // index of the "[name]" line
        std::size_t end;     // index one past the section's last line
    };
    std::optional<Section> FindSection(std::u16string_view name) const;
    std::optional<std::size_t> FindKey(const Section& section, std::u16string_view key) const;

    std::vector<std::u16string> lines_;
};

}  // namespace dv
