// Settings records persisted through per-property INI attributes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

#include "platform/product.h"
#include "settings/ini_file.h"

namespace dv {

// A property holding this text is not written by a save; legacy properties hold it once loaded.
inline constexpr std::u16string_view kSkipMarker = u"This_value_should_not_be_written_to_the_file";

// Base of the attributes a persisted property may carry.
class TCustomAttribute {
public:
    virtual ~TCustomAttribute() = default;
};

// Section, key and default text of a persisted property. Keys are used exactly as declared, leading
// blanks included.
class IniValueAttribute : public TCustomAttribute {
public:
    IniValueAttribute(std::u16string aSection, std::u16string aName, std::u16string aDefaultValue)
        : Section(std::move(aSection)), Name(std::move(aName)), DefaultValue(std::move(aDefaultValue)) {}

    std::u16string Section;
    std::u16string Name;
    std::u16string DefaultValue;
};

// Value kinds a property may have.
struct TEnumValue {
    int Ordinal = 0;
    std::vector<std::u16string> Names;  // member names by ordinal
};
struct TSetValue {
    std::uint32_t Members = 0;          // bit n set: member n is in the set
    std::vector<std::u16string> Names;  // member names by bit
};
struct TUnsupportedValue {
    std::u16string TypeName;  // objects, records, arrays, ...
};
using TValue = std::variant<std::int32_t, std::int64_t, bool, std::u16string, char16_t, double, TEnumValue, TSetValue,
                            TUnsupportedValue>;

// A member of a settings record with its attributes and its accessor pair.
struct TPersistedProperty {
    std::u16string Name;
    std::vector<std::shared_ptr<const TCustomAttribute>> Attributes;
    std::function<TValue()> Read;
    std::function<void(const TValue&)> Write;
};

// Builds the property of a member that holds one of the value kinds directly.
template <typename T>
TPersistedProperty PersistedMember(std::u16string name, T& member, std::u16string section, std::u16string key,
                                   std::u16string defaultValue) {
    return TPersistedProperty{
        std::move(name),
        {std::make_shared<IniValueAttribute>(std::move(section), std::move(key), std::move(defaultValue))},
        [&member] { return TValue(member); },
        [&member](const TValue& value) { member = std::get<T>(value); },
    };
}

// Anything that exposes its persisted properties in declaration order.
class TPersistable {
public:
    virtual ~TPersistable() = default;
    virtual std::vector<TPersistedProperty> PersistedProperties() = 0;
};

// Far more than any settings file holds; a drive's file of more is refused rather than read into
// memory.
inline constexpr std::size_t kLargestIniFile = 8 * 1024 * 1024;

// Reads an INI file (absent: no lines; unreadable or larger than kLargestIniFile: EFOpenError) and
// replaces one with the lines of `file`, in the encoding it was read in (EIniFileException "Unable to
// write to <file>" when it cannot).
IniFile ReadIniFile(std::u16string_view fileName);
void WriteIniFile(std::u16string_view fileName, const IniFile& file);

class TIniPersist {
public:
    // Reads every persisted property of `obj` from the file (absent file: every default).
    static void Load(std::u16string_view fileName, TPersistable& obj);
    // Writes every persisted property of `obj` except those holding the skip marker.
    static void Save(std::u16string_view fileName, TPersistable& obj);

    // The same on a file already in memory.
    static void Load(const IniFile& file, TPersistable& obj);
    static void Save(IniFile& file, TPersistable& obj);

private:
    static const IniValueAttribute* FindIniAttribute(const TPersistedProperty& property);
    static void TextToValue(std::u16string_view text, TValue& value);
    static std::u16string ValueToText(const TValue& value);
};

}  // namespace dv
