#include "settings/ini_persist.h"

#include <charconv>
#include <cstdlib>
#include <exception>
#include <string_view>
#include <utility>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "platform/text.h"
#include "settings/ini_file.h"

namespace dv {
namespace {

std::int32_t TextToInt32(std::u16string_view text) {
    const auto value = TryStrToInt(text);
    if (!value) throw EConvertError(u"'" + std::u16string(text) + u"' is not a valid integer value");
    return *value;
}

double TextToDouble(std::u16string_view text) {
    std::string ascii;
    for (const char16_t c : TrimBlanks(text)) {
        if (c == DecimalSeparator()) {
            ascii.push_back('.');
        } else if (c < 0x80 && c != u'.') {
            ascii.push_back(static_cast<char>(c));
        } else {
            ascii.clear();
            break;
        }
    }
    double value = 0;
    const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (ascii.empty() || result.ec != std::errc() || result.ptr != ascii.data() + ascii.size()) {
        throw EConvertError(u"'" + std::u16string(text) + u"' is not a valid floating point value");
    }
    return value;
}

std::u16string DoubleToText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::u16string text(buffer, result.ptr);
    for (auto& c : text) {
        if (c == u'.') c = DecimalSeparator();
    }
    return text;
}

int MemberOrdinal(const std::vector<std::u16string>& names, std::u16string_view name, std::u16string_view text) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (EqualsIgnoreCase(names[i], name)) return static_cast<int>(i);
    }
    throw EConvertError(u"'" + std::u16string(text) + u"' is not a valid enumeration value");
}

std::uint32_t TextToSet(const std::vector<std::u16string>& names, std::u16string_view text) {
    const std::u16string_view trimmed = TrimBlanks(text);
    if (trimmed.size() < 2 || trimmed.front() != u'[' || trimmed.back() != u']') {
        throw EConvertError(u"'" + std::u16string(text) + u"' is not a valid set value");
    }
    std::u16string_view members = TrimBlanks(trimmed.substr(1, trimmed.size() - 2));
    std::uint32_t set = 0;
    while (!members.empty()) {
        const std::size_t comma = members.find(u',');
        set |= 1u << MemberOrdinal(names, TrimBlanks(members.substr(0, comma)), text);
        members = comma == std::u16string_view::npos ? std::u16string_view() : members.substr(comma + 1);
    }
    return set;
}

std::u16string SetToText(const TSetValue& value) {
    std::u16string text = u"[";
    for (std::size_t i = 0; i < value.Names.size(); ++i) {
        if (!(value.Members & (1u << i))) continue;
        if (text.size() > 1) text += u',';
        text += value.Names[i];
    }
    return text + u"]";
}

}  // namespace

IniFile ReadIniFile(std::u16string_view fileName) {
    auto text = fs::ReadTextFile(fileName, kLargestIniFile);
    return text ? IniFile(std::move(text->lines), text->encoding) : IniFile();
}

const IniValueAttribute* TIniPersist::FindIniAttribute(const TPersistedProperty& property) {
    for (const auto& attribute : property.Attributes) {
        if (const auto* ini = dynamic_cast<const IniValueAttribute*>(attribute.get())) return ini;
    }
    return nullptr;
}

void TIniPersist::TextToValue(std::u16string_view text, TValue& value) {
    struct Convert {
        std::u16string_view text;
        void operator()(std::int32_t& v) const { v = TextToInt32(text); }
        // 64-bit properties are read with the 32-bit rule.
        void operator()(std::int64_t& v) const { v = TextToInt32(text); }
        // Only "False" (any letter case) is false.
        void operator()(bool& v) const { v = !EqualsIgnoreCase(text, u"False"); }
        void operator()(std::u16string& v) const { v = std::u16string(text); }
        void operator()(char16_t& v) const { v = text.empty() ? u'\0' : text.front(); }
        void operator()(double& v) const { v = TextToDouble(text); }
        void operator()(TEnumValue& v) const { v.Ordinal = MemberOrdinal(v.Names, TrimBlanks(text), text); }
        void operator()(TSetValue& v) const { v.Members = TextToSet(v.Names, text); }
        void operator()(TUnsupportedValue&) const { throw EIniPersist(u"Type not Supported"); }
    };
    std::visit(Convert{text}, value);
}

std::u16string TIniPersist::ValueToText(const TValue& value) {
    struct Format {
        std::u16string operator()(std::int32_t v) const { return IntToStr(v); }
        std::u16string operator()(std::int64_t v) const { return IntToStr(v); }
        std::u16string operator()(bool v) const { return v ? u"True" : u"False"; }
        std::u16string operator()(const std::u16string& v) const { return v; }
        std::u16string operator()(char16_t v) const { return std::u16string(1, v); }
        std::u16string operator()(double v) const { return DoubleToText(v); }
        std::u16string operator()(const TEnumValue& v) const {
            if (v.Ordinal < 0 || static_cast<std::size_t>(v.Ordinal) >= v.Names.size()) return IntToStr(v.Ordinal);
            return v.Names[static_cast<std::size_t>(v.Ordinal)];
        }
        std::u16string operator()(const TSetValue& v) const { return SetToText(v); }
        std::u16string operator()(const TUnsupportedValue&) const { throw EIniPersist(u"Type not Supported"); }
    };
    return std::visit(Format{}, value);
}

void TIniPersist::Load(const IniFile& file, TPersistable& obj) {
    for (const TPersistedProperty& property : obj.PersistedProperties()) {
        const IniValueAttribute* attribute = FindIniAttribute(property);
        if (!attribute) continue;
        const std::u16string text = file.ReadString(attribute->Section, attribute->Name, attribute->DefaultValue);
        TValue value = property.Read();
        TextToValue(text, value);
        property.Write(value);
    }
}

void TIniPersist::Save(IniFile& file, TPersistable& obj) {
    for (const TPersistedProperty& property : obj.PersistedProperties()) {
        const IniValueAttribute* attribute = FindIniAttribute(property);
        if (!attribute) continue;
        const std::u16string text = ValueToText(property.Read());
        if (text == kSkipMarker) continue;
        file.WriteString(attribute->Section, attribute->Name, text);
    }
}

void TIniPersist::Load(std::u16string_view fileName, TPersistable& obj) {
    Load(ReadIniFile(fileName), obj);
}

void TIniPersist::Save(std::u16string_view fileName, TPersistable& obj) {
    IniFile file = ReadIniFile(fileName);
    // Keys written before a property that cannot be converted stay written.
    std::exception_ptr failure;
    try {
        Save(file, obj);
    } catch (const Exception&) {
        failure = std::current_exception();
    }
    WriteIniFile(fileName, file);
    if (failure) std::rethrow_exception(failure);
}

void WriteIniFile(std::u16string_view fileName, const IniFile& file) {
    try {
        fs::ReplaceFileContents(fileName, fs::EncodeTextLines(file.Lines(), file.Encoding()));
    } catch (const EFCreateError&) {
        throw EIniFileException(u"Unable to write to " + std::u16string(fileName));
    }
}

}  // namespace dv
