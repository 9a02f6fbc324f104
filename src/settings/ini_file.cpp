#include "settings/ini_file.h"

#include "platform/text.h"

namespace dv {
namespace {

// The profile functions treat these as blanks around names and values (0x1A is the old end-of-file
// mark).
bool IsProfileBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' || c == 0x1A;
}

std::u16string_view TrimProfileBlanks(std::u16string_view text) {
    while (!text.empty() && IsProfileBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsProfileBlank(text.back())) text.remove_suffix(1);
    return text;
}

// The name of a section line ("[name]", the last "]" closing it; blanks inside are part of the name).
std::optional<std::u16string_view> SectionNameOf(std::u16string_view line) {
    line = TrimProfileBlanks(line);
    if (line.empty() || line.front() != u'[') return std::nullopt;
    const std::size_t close = line.rfind(u']');
    if (close == std::u16string_view::npos) return std::nullopt;
    return line.substr(1, close - 1);
}

struct KeyLine {
    std::u16string_view key;
    std::optional<std::u16string_view> value;  // none for a line without "="
};

KeyLine KeyLineOf(std::u16string_view line) {
    line = TrimProfileBlanks(line);
    const std::size_t equals = line.find(u'=');
    if (equals == std::u16string_view::npos) return {line, std::nullopt};
    return {TrimProfileBlanks(line.substr(0, equals)), TrimProfileBlanks(line.substr(equals + 1))};
}

bool IsBlankLine(std::u16string_view line) {
    return TrimProfileBlanks(line).empty();
}

}  // namespace

std::optional<IniFile::Section> IniFile::FindSection(std::u16string_view name) const {
    name = TrimProfileBlanks(name);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const auto found = SectionNameOf(lines_[i]);
        if (!found || !EqualsIgnoreCase(*found, name)) continue;
        std::size_t end = i + 1;
        while (end < lines_.size() && !SectionNameOf(lines_[end])) ++end;
        return Section{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> IniFile::FindKey(const Section& section, std::u16string_view key) const {
    key = TrimProfileBlanks(key);
    for (std::size_t i = section.header + 1; i < section.end; ++i) {
        if (IsBlankLine(lines_[i])) continue;
        if (EqualsIgnoreCase(KeyLineOf(lines_[i]).key, key)) return i;
    }
    return std::nullopt;
}

std::optional<std::u16string_view> IniFile::ValueOf(std::u16string_view line) {
    const std::optional<std::u16string_view> value = KeyLineOf(line).value;
    if (!value) return std::nullopt;
    std::u16string_view text = *value;
    if (text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'') && text.back() == text.front()) {
        text = text.substr(1, text.size() - 2);
    }
    // The system takes every value it is handed up to its first NUL: a value that went on behind one
    // would name one thing here and another there.
    text = text.substr(0, text.find(u'\0'));
    return text.substr(0, kMaxValueLength);
}

std::u16string IniFile::ReadString(std::u16string_view section, std::u16string_view key,
                                   std::u16string_view defaultValue) const {
    if (const auto found = FindSection(section)) {
        if (const auto line = FindKey(*found, key)) {
            if (const auto value = ValueOf(lines_[*line])) return std::u16string(*value);
        }
    }
    // The profile functions drop trailing blanks of the default.
    while (!defaultValue.empty() && defaultValue.back() == u' ') defaultValue.remove_suffix(1);
    return std::u16string(defaultValue.substr(0, kMaxValueLength));
}

void IniFile::WriteString(std::u16string_view section, std::u16string_view key, std::u16string_view value) {
    // The profile function takes the value as a NUL-terminated string, so it stores the value up to
    // its first NUL; so does this. Stored whole, the rest would be a part of the file that no read
    // gives back, and a quoted value would read as another text than its own beginning.
    value = value.substr(0, value.find(u'\0'));
    const auto found = FindSection(section);
    if (!found) {
        lines_.push_back(u"[" + std::u16string(section) + u"]");
        lines_.push_back(std::u16string(key) + u"=" + std::u16string(value));
        return;
    }
    if (const auto line = FindKey(*found, key)) {
        // A line that already reads as the value stays as it stands, so that nothing a read does not
        // return (the part of a value past kMaxValueLength, enclosing quotes) is lost by writing
        // back what was read.
        if (ValueOf(lines_[*line]) == value) return;
        // Only the value changes: the key and the blanks around "=" stay as they stood.
        std::u16string& text = lines_[*line];
        std::size_t valueStart = text.find(u'=');
        if (valueStart == std::u16string::npos) {
            text = std::u16string(KeyLineOf(text).key) + u"=" + std::u16string(value);
            return;
        }
        ++valueStart;
        while (valueStart < text.size() && (text[valueStart] == u' ' || text[valueStart] == u'\t')) ++valueStart;
        text.replace(valueStart, std::u16string::npos, value);
        return;
    }
    std::size_t insertAt = found->end;
    while (insertAt > found->header + 1 && IsBlankLine(lines_[insertAt - 1])) --insertAt;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                  std::u16string(key) + u"=" + std::u16string(value));
}

}  // namespace dv
