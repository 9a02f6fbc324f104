#include "platform/text.h"

#include <charconv>
#include <cstddef>
#include <limits>

namespace dv {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

std::u16string FromUtf16Bytes(std::string_view bytes, bool bigEndian) {
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
        out.push_back(static_cast<char16_t>(bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0)));
    }
    return out;
}

std::string ToUtf16Bytes(std::u16string_view text, bool bigEndian) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        out.push_back(bigEndian ? high : low);
        out.push_back(bigEndian ? low : high);
    }
    return out;
}

// A byte that begins no well-formed UTF-8 sequence stands for itself as an unpaired low surrogate;
// ASCII is always well-formed, so only bytes 0x80-0xFF need this.
constexpr char16_t kByteEscape = 0xDC00;

bool IsByteEscape(char16_t unit) {
    return unit >= kByteEscape + 0x80 && unit <= kByteEscape + 0xFF;
}

// `keepBytes`: each byte that begins no well-formed sequence becomes its escape, and decoding goes on
// with the next byte; otherwise such bytes become U+FFFD.
std::u16string DecodeUtf8(std::string_view utf8, bool keepBytes) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        int extra = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if ((lead & 0xE0) == 0xC0) {
            extra = 1, cp = lead & 0x1F, min = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, cp = lead & 0x0F, min = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, cp = lead & 0x07, min = 0x10000;
        } else {
            out.push_back(keepBytes ? static_cast<char16_t>(kByteEscape + lead) : kReplacement);
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        for (; j <= i + extra && j < utf8.size(); ++j) {
            const auto cont = static_cast<unsigned char>(utf8[j]);
            if ((cont & 0xC0) != 0x80) break;
            cp = cp << 6 | (cont & 0x3F);
        }
        if (j != i + extra + 1 || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            if (keepBytes) {
                out.push_back(static_cast<char16_t>(kByteEscape + lead));
                ++i;
            } else {
                out.push_back(kReplacement);
                i = j > i + 1 ? j : i + 1;
            }
            continue;
        }
        AppendUtf16(out, cp);
        i = j;
    }
    return out;
}

// `keepBytes`: an unpaired escape is written as the byte it stands for; other unpaired surrogates
// become U+FFFD.
std::string EncodeUtf8(std::u16string_view text, bool keepBytes) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (keepBytes && IsByteEscape(text[i])) {
            out.push_back(static_cast<char>(text[i] - kByteEscape));
            continue;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | cp >> 6));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | cp >> 12));
            out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | cp >> 18));
            out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

}  // namespace

std::u16string FromUtf8(std::string_view utf8) {
    return DecodeUtf8(utf8, false);
}

std::string ToUtf8(std::u16string_view text) {
    return EncodeUtf8(text, false);
}

FileText DecodeTextFile(std::string_view bytes) {
    FileText file;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        file.encoding = TextEncoding::Utf8Bom;
        file.text = DecodeUtf8(bytes.substr(3), true);
    } else if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
        const bool bigEndian = bytes[0] == '\xFE';
        file.encoding = bigEndian ? TextEncoding::Utf16BeBom : TextEncoding::Utf16LeBom;
        file.text = FromUtf16Bytes(bytes.substr(2), bigEndian);
        file.whole = bytes.size() % 2 == 0;
    } else {
        file.text = FromAnsi(bytes);
    }
    return file;
}

std::u16string DecodeFileText(std::string_view bytes) {
    return DecodeTextFile(bytes).text;
}

std::string EncodeTextFile(std::u16string_view text, TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8Bom: return "\xEF\xBB\xBF" + EncodeUtf8(text, true);
        case TextEncoding::Utf16LeBom: return "\xFF\xFE" + ToUtf16Bytes(text, false);
        case TextEncoding::Utf16BeBom: return "\xFE\xFF" + ToUtf16Bytes(text, true);
        case TextEncoding::SystemCodePage: break;
    }
    return ToAnsi(text);
}

std::vector<std::u16string> SplitLines(std::u16string_view text) {
    std::vector<std::u16string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r' && text[i] != u'\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::u16string JoinLines(const std::vector<std::u16string>& lines) {
    std::size_t size = 0;
    for (const auto& line : lines) size += line.size() + 2;
    std::u16string text;
    text.reserve(size);
    for (const auto& line : lines) {
        text += line;
        text += u"\r\n";
    }
    return text;
}

std::u16string VisibleText(std::u16string_view text) {
    constexpr char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string out;
    out.reserve(text.size());
    for (const char16_t c : text) {
        const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
        if (!control) {
            out.push_back(c);
        } else if (c == u'\r') {
            out += u"\\r";
        } else if (c == u'\n') {
            out += u"\\n";
        } else if (c == u'\t') {
            out += u"\\t";
        } else {
            out += u"\\x";
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0xF]);
        }
    }
    return out;
}

char16_t FoldCase(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
    // Latin-1 lower-case letters, except U+00F7 (division sign) and U+00DF/U+00FF, which have no
    // single upper-case form in this range.
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    return c;
}

std::u16string UpperCase(std::u16string_view text) {
    std::u16string out(text);
    for (auto& c : out) c = FoldCase(c);
    return out;
}

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return true;
}

bool StartsWithIgnoreCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

std::u16string_view TrimBlanks(std::u16string_view text) {
    const auto isBlank = [](char16_t c) { return c == u' ' || c == u'\t'; };
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::u16string IntToStr(std::int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::u16string(buffer, result.ptr);
}

std::optional<std::int32_t> TryStrToInt(std::u16string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    if (i == text.size()) return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9') return std::nullopt;
        value = value * 10 + (text[i] - u'0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

}  // namespace dv

namespace dv {

std::u16string ReplaceAll(std::u16string_view text, std::u16string_view pattern, std::u16string_view replacement,
                          bool& found) {
    found = false;
    if (pattern.empty()) return std::u16string(text);
    std::u16string out;
    std::size_t start = 0;
    for (std::size_t at = text.find(pattern); at != std::u16string_view::npos; at = text.find(pattern, start)) {
        out.append(text.substr(start, at - start));
        out.append(replacement);
        start = at + pattern.size();
        found = true;
    }
    if (!found) return std::u16string(text);
    out.append(text.substr(start));
    return out;
}

}  // namespace dv
