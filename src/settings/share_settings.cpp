#include "settings/share_settings.h"

#include <cstddef>
#include <cstdint>
#include <utility>

#include "platform/files.h"
#include "platform/text.h"

namespace dv {
namespace {

constexpr std::size_t kLongestPingUrlLine = 1024;

std::u16string NumberedPingKey(std::size_t slot) {
    return u"PingURL" + IntToStr(static_cast<std::int64_t>(slot)) + u"=";
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

void TShareSettings::ReplaceSettingsFile(const IniFile& file) {
    fs::ReplaceFileContents(SettingsFile(), fs::EncodeTextLines(file.Lines(), file.Encoding()));
}

void TShareSettings::NumberPingUrls(std::vector<std::u16string>& lines) {
    std::size_t n = 1;
    for (std::u16string& line : lines) {
        if (line.find(u"PingURL") == std::u16string::npos) continue;  // spares copying every other line
        bool found = false;
        std::u16string numbered = ReplaceAll(line, u"PingURL=", NumberedPingKey(n), found);
        if (!found) continue;
        if (n > kPingUrlSlots || numbered.size() > kLongestPingUrlLine) numbered.clear();
        line = std::move(numbered);
        ++n;
    }
}

void TShareSettings::UnnumberPingUrls(std::vector<std::u16string>& lines) {
    std::array<std::u16string, kPingUrlSlots> keys;
    for (std::size_t slot = 1; slot <= kPingUrlSlots; ++slot) keys[slot - 1] = NumberedPingKey(slot);
    for (std::u16string& line : lines) {
        if (line.find(u"PingURL") == std::u16string::npos) continue;  // spares copying every other line
        for (const std::u16string& key : keys) {
            bool found = false;
            std::u16string unnumbered = ReplaceAll(line, key, u"PingURL=", found);
            if (found) line = std::move(unnumbered);
        }
    }
    std::erase(lines, std::u16string(u"PingURL="));
}

}  // namespace dv
