#include "drives/eject_blocker.h"

#include <cstddef>
#include <utility>

#include "platform/text.h"

namespace dv {
namespace {

// A rendered event is a few kilobytes; anything far larger or deeper is not one.
constexpr std::size_t kEventTextLimit = 64 * 1024;
constexpr std::size_t kDepthLimit = 16;

bool IsNameChar(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' || c == u'-' ||
           c == u'.' || c == u':' || c >= 0x80;
}

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// The name without its namespace prefix ("ev:Data" is "Data").
std::u16string_view LocalName(std::u16string_view name) {
    const std::size_t colon = name.rfind(u':');
    return colon == std::u16string_view::npos ? name : name.substr(colon + 1);
}

std::optional<std::uint32_t> ParseDecimal(std::u16string_view text, std::uint64_t limit = 0xFFFFFFFFu) {
    text = TrimBlanks(text);
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::uint64_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - u'0');
    }
    if (value > limit) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

void AppendCodePoint(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

// Character data with its references replaced; nothing for an unknown or broken reference.
std::optional<std::u16string> Unescape(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'&') {
            out += text[i];
            continue;
        }
        const std::size_t end = text.find(u';', i);
        if (end == std::u16string_view::npos || end - i > 12) return std::nullopt;
        const std::u16string_view name = text.substr(i + 1, end - i - 1);
        if (name == u"amp") {
            out += u'&';
        } else if (name == u"lt") {
            out += u'<';
        } else if (name == u"gt") {
            out += u'>';
        } else if (name == u"quot") {
            out += u'"';
        } else if (name == u"apos") {
            out += u'\'';
        } else if (name.size() >= 2 && name[0] == u'#') {
            const bool hex = name[1] == u'x';
            const std::u16string_view digits = name.substr(hex ? 2 : 1);
            if (digits.empty() || digits.size() > 8) return std::nullopt;
            std::uint32_t value = 0;
            for (char16_t c : digits) {
                std::uint32_t digit = 0;
                if (c >= u'0' && c <= u'9') {
                    digit = c - u'0';
                } else if (hex && c >= u'a' && c <= u'f') {
                    digit = c - u'a' + 10;
                } else if (hex && c >= u'A' && c <= u'F') {
                    digit = c - u'A' + 10;
                } else {
                    return std::nullopt;
                }
                value = value * (hex ? 16 : 10) + digit;
                if (value > 0x10FFFF) return std::nullopt;
            }
            if (value == 0 || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
            AppendCodePoint(out, value);
        } else {
            return std::nullopt;
        }
        i = end;
    }
    return out;
}

struct Attribute {
    std::u16string_view name;
    std::u16string value;
};

// Sets `field` once; a second value for it makes the event unreadable.
template <typename T>
bool SetOnce(std::optional<T>& field, T value) {
    if (field) return false;
    field = std::move(value);
    return true;
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar (H. Hinnant's days_from_civil).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// 1601-01-01 to 1970-01-01.
constexpr std::int64_t kUnixEpochTicks = 116444736000000000;

// The characters of the general categories Cf (format), Zl and Zp (line and paragraph separators), as
// of Unicode 15: a name that holds one can read as another (a zero-width space inside "explorer.exe",
// a right-to-left override) or break a line of a log.
constexpr std::pair<char32_t, char32_t> kInvisibleRanges[] = {
    {0xAD, 0xAD},       {0x600, 0x605},     {0x61C, 0x61C},     {0x6DD, 0x6DD},     {0x70F, 0x70F},
    {0x890, 0x891},     {0x8E2, 0x8E2},     {0x180E, 0x180E},   {0x200B, 0x200F},   {0x2028, 0x202E},
    {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD},
    {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
    {0xE0020, 0xE007F},
};

// Control characters, the invisible ones above and the replacement character (what is left of a
// broken encoding); a lone surrogate is dropped by the caller.
bool IsUnsafeInName(char32_t c) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xFFFD) return true;
    for (const auto& [first, last] : kInvisibleRanges) {
        if (c >= first && c <= last) return true;
    }
    return false;
}

std::u16string XmlEscaped(std::u16string_view text) {
    std::u16string out;
    for (char16_t c : text) {
        switch (c) {
            case u'&': out += u"&amp;"; break;
            case u'<': out += u"&lt;"; break;
            case u'>': out += u"&gt;"; break;
            case u'\'': out += u"&apos;"; break;
            case u'"': out += u"&quot;"; break;
            default:
                // Written as references, so that an event stays on one line.
                if (c < 0x20 || c == 0x7F) {
                    out += u"&#" + IntToStr(c) + u";";
                } else {
                    out += c;
                }
        }
    }
    return out;
}

}  // namespace

std::optional<TPnpEvent> ParsePnpEvent(std::u16string_view xml) {
    if (xml.size() > kEventTextLimit) return std::nullopt;
    TPnpEvent event;
    std::vector<std::u16string_view> open;   // local names of the elements open now
    std::u16string text;                     // character data of the innermost element
    std::optional<std::u16string> dataName;  // the Name of the Data element open now
    bool sawRoot = false;
    bool sawProcessId = false;
    std::size_t i = 0;
    while (i < xml.size()) {
        if (xml[i] != u'<') {
            const std::size_t next = xml.find(u'<', i);
            const std::u16string_view chunk = xml.substr(i, next == std::u16string_view::npos ? xml.npos : next - i);
            if (open.empty()) {
                // Only blanks may stand outside the root element.
                for (char16_t c : chunk) {
                    if (!IsSpace(c)) return std::nullopt;
                }
            } else {
                text += chunk;
            }
            i += chunk.size();
            continue;
        }
        if (xml.substr(i).starts_with(u"<?")) {
            const std::size_t end = xml.find(u"?>", i);
            if (end == std::u16string_view::npos || !open.empty() || sawRoot) return std::nullopt;
            i = end + 2;
            continue;
        }
        if (xml.substr(i).starts_with(u"<!--")) {
            const std::size_t end = xml.find(u"-->", i + 4);
            if (end == std::u16string_view::npos) return std::nullopt;
            i = end + 3;
            continue;
        }
        if (xml.substr(i).starts_with(u"</")) {
            std::size_t j = i + 2;
            const std::size_t nameBegin = j;
            while (j < xml.size() && IsNameChar(xml[j])) ++j;
            const std::u16string_view name = xml.substr(nameBegin, j - nameBegin);
            while (j < xml.size() && IsSpace(xml[j])) ++j;
            if (j >= xml.size() || xml[j] != u'>' || open.empty() || LocalName(name) != open.back()) {
                return std::nullopt;
            }
            const std::optional<std::u16string> value = Unescape(text);
            if (!value) return std::nullopt;
            const std::u16string_view element = open.back();
            const std::u16string_view parent = open.size() >= 2 ? open[open.size() - 2] : std::u16string_view();
            bool ok = true;
            if (element == u"EventID" && parent == u"System") {
                const std::optional<std::uint32_t> id = ParseDecimal(*value, 0xFFFF);
                ok = id && SetOnce(event.EventId, *id);
            } else if (element == u"Data" && parent == u"EventData" && dataName) {
                if (*dataName == u"ProcessName") {
                    ok = SetOnce(event.ProcessName, *value);
                } else if (*dataName == u"ProcessCommandLine") {
                    ok = SetOnce(event.ProcessCommandLine, *value);
                } else if (*dataName == u"DeviceInstance") {
                    ok = SetOnce(event.DeviceInstance, *value);
                } else if (*dataName == u"ProcessId") {
                    // A number that is none leaves the field absent; given twice, it spoils the event.
                    ok = !sawProcessId;
                    sawProcessId = true;
                    event.ProcessId = ParseDecimal(*value);
                }
            }
            if (!ok) return std::nullopt;
            if (element == u"Data") dataName.reset();
            open.pop_back();
            text.clear();
            i = j + 1;
            continue;
        }
        // An opening (or empty) element with its attributes.
        std::size_t j = i + 1;
        const std::size_t nameBegin = j;
        while (j < xml.size() && IsNameChar(xml[j])) ++j;
        const std::u16string_view name = LocalName(xml.substr(nameBegin, j - nameBegin));
        if (name.empty()) return std::nullopt;
        std::vector<Attribute> attributes;
        bool empty = false;
        while (true) {
            while (j < xml.size() && IsSpace(xml[j])) ++j;
            if (j >= xml.size()) return std::nullopt;
            if (xml[j] == u'>') {
                ++j;
                break;
            }
            if (xml.substr(j).starts_with(u"/>")) {
                empty = true;
                j += 2;
                break;
            }
            const std::size_t attributeBegin = j;
            while (j < xml.size() && IsNameChar(xml[j])) ++j;
            const std::u16string_view attributeName = xml.substr(attributeBegin, j - attributeBegin);
            while (j < xml.size() && IsSpace(xml[j])) ++j;
            if (attributeName.empty() || j + 1 >= xml.size() || xml[j] != u'=') return std::nullopt;
            ++j;
            while (j < xml.size() && IsSpace(xml[j])) ++j;
            if (j >= xml.size() || (xml[j] != u'\'' && xml[j] != u'"')) return std::nullopt;
            const char16_t quote = xml[j];
            const std::size_t valueEnd = xml.find(quote, j + 1);
            if (valueEnd == std::u16string_view::npos) return std::nullopt;
            const std::u16string_view raw = xml.substr(j + 1, valueEnd - j - 1);
            if (raw.find(u'<') != std::u16string_view::npos) return std::nullopt;
            std::optional<std::u16string> value = Unescape(raw);
            if (!value) return std::nullopt;
            attributes.push_back({LocalName(attributeName), std::move(*value)});
            j = valueEnd + 1;
        }
        if (open.empty() && sawRoot) return std::nullopt;  // a second root
        sawRoot = true;
        if (open.size() >= kDepthLimit) return std::nullopt;
        const std::u16string_view parent = open.empty() ? std::u16string_view() : open.back();
        for (const Attribute& attribute : attributes) {
            if (parent == u"System" && name == u"Provider" && attribute.name == u"Name") {
                if (!SetOnce(event.Provider, attribute.value)) return std::nullopt;
            } else if (parent == u"System" && name == u"TimeCreated" && attribute.name == u"SystemTime") {
                const std::optional<std::int64_t> time = ParseSystemTime(attribute.value);
                if (!time || !SetOnce(event.SystemTime, *time)) return std::nullopt;
            } else if (name == u"Data" && attribute.name == u"Name") {
                dataName = attribute.value;
            }
        }
        if (empty) {
            if (name == u"Data") dataName.reset();
        } else {
            open.push_back(name);
            text.clear();
        }
        i = j;
    }
    if (!open.empty() || !sawRoot) return std::nullopt;
    return event;
}

std::optional<std::int64_t> ParseSystemTime(std::u16string_view text) {
    // yyyy-mm-ddThh:mm:ss[.f...]Z
    if (text.size() < 20 || text.size() > 40 || text.back() != u'Z') return std::nullopt;
    const auto number = [&](std::size_t at, std::size_t digits) -> std::optional<std::uint32_t> {
        return ParseDecimal(text.substr(at, digits));
    };
    if (text[4] != u'-' || text[7] != u'-' || text[10] != u'T' || text[13] != u':' || text[16] != u':') {
        return std::nullopt;
    }
    const auto year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const auto hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
    if (*year < 1601 || *month < 1 || *month > 12 || *day < 1 || *day > 31 || *hour > 23 || *minute > 59 ||
        *second > 60) {
        return std::nullopt;
    }
    std::int64_t fraction = 0;
    const std::u16string_view rest = text.substr(19, text.size() - 20);
    if (!rest.empty()) {
        if (rest[0] != u'.' || rest.size() < 2) return std::nullopt;
        std::int64_t scale = 1'000'000;  // the first digit counts 100 ms
        for (char16_t c : rest.substr(1)) {
            if (c < u'0' || c > u'9') return std::nullopt;
            fraction += (c - u'0') * scale;
            scale /= 10;
        }
    }
    const std::int64_t days = DaysFromCivil(*year, *month, *day);
    const std::int64_t seconds = days * 86400 + *hour * 3600 + *minute * 60 + *second;
    return kUnixEpochTicks + seconds * kTicksPerSecond + fraction;
}

std::u16string FormatSystemTime(std::int64_t ticks) {
    const std::int64_t sinceUnix = ticks - kUnixEpochTicks;
    std::int64_t seconds = sinceUnix / kTicksPerSecond;
    std::int64_t fraction = sinceUnix % kTicksPerSecond;
    if (fraction < 0) {
        fraction += kTicksPerSecond;
        --seconds;
    }
    std::int64_t days = seconds / 86400;
    std::int64_t secondOfDay = seconds % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        --days;
    }
    // H. Hinnant's civil_from_days.
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned day = doy - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0);
    const auto padded = [](std::int64_t value, std::size_t width) {
        std::u16string digits = IntToStr(value);
        while (digits.size() < width) digits.insert(digits.begin(), u'0');
        return digits;
    };
    return padded(year, 4) + u"-" + padded(month, 2) + u"-" + padded(day, 2) + u"T" + padded(secondOfDay / 3600, 2) +
           u":" + padded(secondOfDay / 60 % 60, 2) + u":" + padded(secondOfDay % 60, 2) + u"." + padded(fraction, 7) +
           u"Z";
}

std::u16string SafeProcessName(std::u16string_view raw) {
    // "\Device\HarddiskVolume3\Windows\System32\dllhost.exe": the file name is what a user knows.
    const std::size_t separator = raw.find_last_of(u"\\/");
    if (separator != std::u16string_view::npos) raw = raw.substr(separator + 1);
    std::u16string name;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char16_t c = raw[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < raw.size() && raw[i + 1] >= 0xDC00 && raw[i + 1] <= 0xDFFF) {
            const char32_t point = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (raw[i + 1] - 0xDC00);
            if (!IsUnsafeInName(point)) name.append(raw.substr(i, 2));
            ++i;
        } else if (c < 0xD800 || c > 0xDFFF) {
            if (!IsUnsafeInName(c)) name += c;
        }
    }
    name = std::u16string(TrimBlanks(name));
    if (name.size() > kBlockerNameLimit) {
        std::size_t cut = kBlockerNameLimit;
        // Never half a character.
        if (name[cut - 1] >= 0xD800 && name[cut - 1] <= 0xDBFF) --cut;
        name.resize(cut);
    }
    return name;
}

std::optional<TEjectBlocker> FindEjectBlocker(IEjectBlockerSource& source,
                                              const std::vector<std::u16string>& deviceInstances, std::int64_t since) {
    if (deviceInstances.empty()) return std::nullopt;
    for (const std::u16string& rendered : source.RefusalEvents(since)) {
        const std::optional<TPnpEvent> event = ParsePnpEvent(rendered);
        if (!event || event->EventId != kRemovalVetoedEventId || !event->Provider ||
            !EqualsIgnoreCase(*event->Provider, kKernelPnpProvider)) {
            continue;
        }
        if (!event->SystemTime || *event->SystemTime < since || !event->DeviceInstance) continue;
        bool ours = false;
        for (const std::u16string& device : deviceInstances) {
            if (!device.empty() && EqualsIgnoreCase(device, *event->DeviceInstance)) ours = true;
        }
        if (!ours) continue;
        // The newest refusal of this device speaks; one that names no process leaves it unknown.
        if (!event->ProcessName || !event->ProcessId) return std::nullopt;
        std::u16string name = SafeProcessName(*event->ProcessName);
        if (name.empty()) return std::nullopt;
        return TEjectBlocker{std::move(name), *event->ProcessId};
    }
    return std::nullopt;
}

std::u16string RenderRefusalEvent(std::u16string_view deviceInstance, std::u16string_view processName,
                                  std::uint32_t processId, std::int64_t systemTime) {
    return u"<Event xmlns='http://schemas.microsoft.com/win/2004/08/events/event'><System><Provider Name='" +
           std::u16string(kKernelPnpProvider) +
           u"' Guid='{9c205a39-1250-487d-abd7-e831c6290539}'/><EventID>225</EventID><Version>0</Version>"
           u"<Level>3</Level><Task>223</Task><Opcode>0</Opcode><Keywords>0x4000000000000000</Keywords>"
           u"<TimeCreated SystemTime='" +
           FormatSystemTime(systemTime) +
           u"'/><Channel>System</Channel></System><EventData><Data Name='DeviceInstance'>" +
           XmlEscaped(deviceInstance) + u"</Data><Data Name='ProcessId'>" + IntToStr(processId) +
           u"</Data><Data Name='ProcessName'>" + XmlEscaped(processName) + u"</Data><Data Name='ProcessCommandLine'>" +
           XmlEscaped(processName) + u"</Data></EventData></Event>";
}

}  // namespace dv
