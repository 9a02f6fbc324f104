#include "settings/share_settings.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"

namespace dv {
namespace {

constexpr std::size_t kLongestPingUrlLine = 1024;

// A family of address keys as the file holds them: "PingURL=" lines, and "DonePingURL=" lines, whose
// "PingURL=" belongs to them and not to the pings.
struct UrlKeys {
    std::u16string_view name;
    std::u16string_view notAfter;  // an occurrence right behind this text is another family's
};
constexpr UrlKeys kPingKeys{u"PingURL", u"Done"};
constexpr UrlKeys kDonePingKeys{u"DonePingURL", u""};

std::u16string NumberedKey(const UrlKeys& keys, std::size_t slot) {
    return std::u16string(keys.name) + IntToStr(static_cast<std::int64_t>(slot)) + u"=";
}

// ReplaceAll for the family's own occurrences of `pattern`.
std::u16string ReplaceKey(std::u16string_view line, std::u16string_view pattern, std::u16string_view replacement,
                          std::u16string_view notAfter, bool& found) {
    found = false;
    std::u16string result;
    std::size_t copied = 0;
    for (std::size_t at = line.find(pattern); at != std::u16string_view::npos;
         at = line.find(pattern, at + pattern.size())) {
        if (!notAfter.empty() && line.substr(0, at).ends_with(notAfter)) continue;
        result.append(line.substr(copied, at - copied)).append(replacement);
        copied = at + pattern.size();
        found = true;
    }
    result.append(line.substr(copied));
    return result;
}

void NumberUrlLines(std::vector<std::u16string>& lines, const UrlKeys& keys) {
    const std::u16string unnumbered = std::u16string(keys.name) + u"=";
    std::size_t n = 1;
    for (std::u16string& line : lines) {
        if (line.find(keys.name) == std::u16string::npos) continue;  // spares copying every other line
        bool found = false;
        std::u16string numbered = ReplaceKey(line, unnumbered, NumberedKey(keys, n), keys.notAfter, found);
        if (!found) continue;
        if (n > kPingUrlSlots || numbered.size() > kLongestPingUrlLine) numbered.clear();
        line = std::move(numbered);
        ++n;
    }
}

void UnnumberUrlLines(std::vector<std::u16string>& lines, const UrlKeys& keys) {
    const std::u16string unnumbered = std::u16string(keys.name) + u"=";
    std::array<std::u16string, kPingUrlSlots> numbered;
    for (std::size_t slot = 1; slot <= kPingUrlSlots; ++slot) numbered[slot - 1] = NumberedKey(keys, slot);
    for (std::u16string& line : lines) {
        if (line.find(keys.name) == std::u16string::npos) continue;  // spares copying every other line
        for (const std::u16string& key : numbered) {
            bool found = false;
            std::u16string replaced = ReplaceKey(line, key, unnumbered, keys.notAfter, found);
            if (found) line = std::move(replaced);
        }
    }
    std::erase(lines, unnumbered);
}

}  // namespace

TShareSettings::TShareSettings(std::u16string settingsFile)
    : TIniFileBase(settingsFile), SettingsFileName(std::move(settingsFile)) {}

std::vector<TPersistedProperty> TShareSettings::PersistedProperties() {
    std::vector<TPersistedProperty> properties = {
        PersistedMember(u"OldShareName", FOldShareName, u"Share", u"Name", u""),
        PersistedMember(u"ShareName", FShareName, u"Share", u"ShareName", u""),
        PersistedMember(u"ShareUserName", FShareUserName, u"Share", u"ShareUserName", u""),
        PersistedMember(u"ShareDescription", FShareDescription, u"Share", u"Description", u""),
        PersistedMember(u"AutoRemove", FAutoRemove, u"Share", u"AutoRemove", u"False"),
    };
    for (std::size_t slot = 1; slot <= kPingUrlSlots; ++slot) {
        const std::u16string name = u"PingURL" + IntToStr(static_cast<std::int64_t>(slot));
        properties.push_back(PersistedMember(name, FPingUrls[slot - 1], u"Share", name, u""));
    }
    for (std::size_t slot = 1; slot <= kPingUrlSlots; ++slot) {
        const std::u16string name = u"DonePingURL" + IntToStr(static_cast<std::int64_t>(slot));
        properties.push_back(PersistedMember(name, FDonePingUrls[slot - 1], u"Share", name, u""));
    }
    // Read as text, so that an absent key (the skip marker as its default) tells apart from one
    // present with any value, the empty one included.
    properties.push_back(TPersistedProperty{
        u"Encrypt",
        {std::make_shared<IniValueAttribute>(u"Share", u"Encrypt", std::u16string(kSkipMarker))},
        [this] {
            std::u16string text = EncryptToWrite();
            // Once written, the file holds the key: a later save writes "False" rather than nothing.
            if (text != kSkipMarker) encryptKeyInFile_ = true;
            return TValue(std::move(text));
        },
        [this](const TValue& value) { ReadEncrypt(std::get<std::u16string>(value)); },
    });
    return properties;
}

void TShareSettings::Load() {
    TIniFileBase::Load();
    if (!FOldShareName.empty()) {
        FShareName = FOldShareName;
        // Not deleted here: callers that only read the file must not lose it.
        StartFreshFileOnNextSave();
    }
    FOldShareName = kSkipMarker;
}

void TShareSettings::ReadEncrypt(const std::u16string& text) {
    encryptKeyInFile_ = text != kSkipMarker;
    // The rule of every Boolean key: only "False", in any letter case, is false.
    FEncrypt = encryptKeyInFile_ && !EqualsIgnoreCase(text, u"False");
}

std::u16string TShareSettings::EncryptToWrite() const {
    if (!FEncrypt && !encryptKeyInFile_) return std::u16string(kSkipMarker);
    return FEncrypt ? u"True" : u"False";
}

void TShareSettings::ReplaceSettingsFile(const IniFile& file) {
    fs::ReplaceFileContents(SettingsFile(), fs::EncodeTextLines(file.Lines(), file.Encoding()));
}

void TShareSettings::NumberPingUrls(std::vector<std::u16string>& lines) {
    NumberUrlLines(lines, kPingKeys);
    NumberUrlLines(lines, kDonePingKeys);
}

void TShareSettings::UnnumberPingUrls(std::vector<std::u16string>& lines) {
    UnnumberUrlLines(lines, kPingKeys);
    UnnumberUrlLines(lines, kDonePingKeys);
}

}  // namespace dv
