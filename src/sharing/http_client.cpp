#include "sharing/http_client.h"

#include <algorithm>
#include <vector>

#include "platform/text.h"

namespace dv {
namespace {

bool IsValidUtf8(std::string_view bytes) {
    return ToUtf8(FromUtf8(bytes)) == bytes;
}

bool IsAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Whether the reference begins with a scheme of its own (RFC 3986: a letter, then letters, digits,
// "+", "-" or ".", then ":").
bool HasScheme(std::u16string_view reference) {
    if (reference.empty() || !IsAsciiLetter(reference.front())) return false;
    for (const char16_t c : reference.substr(1)) {
        if (c == u':') return true;
        if (!IsAsciiLetter(c) && !IsDigit(c) && c != u'+' && c != u'-' && c != u'.') return false;
    }
    return false;
}

// A path without its "." and ".." segments (RFC 3986, 5.2.4); `path` begins with "/".
std::u16string RemoveDotSegments(std::u16string_view path) {
    std::vector<std::u16string_view> kept;
    std::size_t start = 1;
    for (;;) {
        const std::size_t slash = path.find(u'/', start);
        const bool last = slash == std::u16string_view::npos;
        const std::u16string_view segment = path.substr(start, last ? std::u16string_view::npos : slash - start);
        if (segment == u"..") {
            if (!kept.empty()) kept.pop_back();
            if (last) kept.emplace_back();
        } else if (segment == u".") {
            if (last) kept.emplace_back();
        } else {
            kept.push_back(segment);
        }
        if (last) break;
        start = slash + 1;
    }
    std::u16string result;
    for (const std::u16string_view segment : kept) result.append(u"/").append(segment);
    return result.empty() ? u"/" : result;
}

// The reference with its path (up to "?") freed of dot segments.
std::u16string WithCleanPath(std::u16string_view pathAndQuery) {
    const std::size_t query = pathAndQuery.find(u'?');
    const std::u16string_view path = pathAndQuery.substr(0, query);
    return RemoveDotSegments(path) +
           std::u16string(query == std::u16string_view::npos ? u"" : pathAndQuery.substr(query));
}

std::optional<std::array<std::uint8_t, 4>> ParseIpv4(std::u16string_view text) {
    std::array<std::uint8_t, 4> bytes{};
    std::size_t at = 0;
    for (std::size_t part = 0; part < bytes.size(); ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != u'.') return std::nullopt;
            ++at;
        }
        const std::size_t start = at;
        unsigned value = 0;
        while (at < text.size() && IsDigit(text[at]) && at - start < 3) value = value * 10 + (text[at++] - u'0');
        // A leading zero reads as octal to some resolvers: not an address here.
        if (at == start || value > 255 || (at - start > 1 && text[start] == u'0')) return std::nullopt;
        bytes[part] = static_cast<std::uint8_t>(value);
    }
    if (at != text.size()) return std::nullopt;
    return bytes;
}

int HexValue(char16_t c) {
    if (IsDigit(c)) return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// "g:g:...:g" into 16-bit groups, the last one possibly an IPv4 address (two groups); "" gives none.
bool ParseGroups(std::u16string_view text, bool mayEndInIpv4, std::vector<std::uint16_t>& groups) {
    if (text.empty()) return true;
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = text.find(u':', start);
        const std::u16string_view group =
            text.substr(start, colon == std::u16string_view::npos ? std::u16string_view::npos : colon - start);
        if (colon == std::u16string_view::npos && mayEndInIpv4 && group.find(u'.') != std::u16string_view::npos) {
            const auto ipv4 = ParseIpv4(group);
            if (!ipv4) return false;
            groups.push_back(static_cast<std::uint16_t>((*ipv4)[0] << 8 | (*ipv4)[1]));
            groups.push_back(static_cast<std::uint16_t>((*ipv4)[2] << 8 | (*ipv4)[3]));
            return true;
        }
        if (group.empty() || group.size() > 4) return false;
        unsigned value = 0;
        for (const char16_t c : group) {
            const int digit = HexValue(c);
            if (digit < 0) return false;
            value = value * 16 + static_cast<unsigned>(digit);
        }
        groups.push_back(static_cast<std::uint16_t>(value));
        if (colon == std::u16string_view::npos) return true;
        start = colon + 1;
    }
}

std::optional<IpAddress> ParseIpv6(std::u16string_view text) {
    if (const std::size_t zone = text.find(u'%'); zone != std::u16string_view::npos) {
        if (zone + 1 == text.size()) return std::nullopt;
        text = text.substr(0, zone);
    }
    std::vector<std::uint16_t> head;
    std::vector<std::uint16_t> tail;
    const std::size_t gap = text.find(u"::");
    if (gap == std::u16string_view::npos) {
        if (!ParseGroups(text, true, head) || head.size() != 8) return std::nullopt;
    } else {
        const std::u16string_view after = text.substr(gap + 2);
        if (after.find(u"::") != std::u16string_view::npos) return std::nullopt;
        if (!ParseGroups(text.substr(0, gap), false, head) || !ParseGroups(after, true, tail)) return std::nullopt;
        if (head.size() + tail.size() > 7) return std::nullopt;
    }
    IpAddress address;
    address.size = 16;
    for (std::size_t i = 0; i < head.size(); ++i) {
        address.bytes[2 * i] = static_cast<std::uint8_t>(head[i] >> 8);
        address.bytes[2 * i + 1] = static_cast<std::uint8_t>(head[i]);
    }
    for (std::size_t i = 0, at = 8 - tail.size(); i < tail.size(); ++i, ++at) {
        address.bytes[2 * at] = static_cast<std::uint8_t>(tail[i] >> 8);
        address.bytes[2 * at + 1] = static_cast<std::uint8_t>(tail[i]);
    }
    return address;
}

std::u16string_view RefusalOfIpv4(const std::uint8_t* bytes) {
    if (bytes[0] == 127) return u"a loopback address";
    if (bytes[0] == 0) return u"an unspecified address";
    if (bytes[0] == 169 && bytes[1] == 254) return u"a link-local address";
    return {};
}

constexpr std::u16string_view kNoAddress = u"not an IP address";

}  // namespace

std::u16string_view HostOfUrl(std::u16string_view url) {
    std::u16string_view rest;
    if (StartsWithIgnoreCase(url, u"http://")) {
        rest = url.substr(7);
    } else if (StartsWithIgnoreCase(url, u"https://")) {
        rest = url.substr(8);
    } else {
        return {};
    }
    rest = rest.substr(0, rest.find_first_of(u"/?#"));
    if (const std::size_t at = rest.rfind(u'@'); at != std::u16string_view::npos) rest.remove_prefix(at + 1);
    if (!rest.empty() && rest.front() == u'[') return rest.substr(0, rest.find(u']') + 1);  // IPv6 literal
    return rest.substr(0, rest.find(u':'));
}

std::optional<HttpUrlParts> SplitHttpUrl(std::u16string_view url) {
    HttpUrlParts parts;
    if (StartsWithIgnoreCase(url, u"http://")) {
        url.remove_prefix(7);
    } else if (StartsWithIgnoreCase(url, u"https://")) {
        url.remove_prefix(8);
        parts.secure = true;
    } else {
        return std::nullopt;
    }
    url = url.substr(0, url.find(u'#'));
    const std::size_t authorityEnd = url.find_first_of(u"/?");
    std::u16string_view authority = url.substr(0, authorityEnd);
    parts.target = authorityEnd == std::u16string_view::npos ? u"/" : std::u16string(url.substr(authorityEnd));
    if (parts.target.front() == u'?') parts.target.insert(0, u"/");
    if (const std::size_t at = authority.rfind(u'@'); at != std::u16string_view::npos) authority.remove_prefix(at + 1);
    std::u16string_view port;
    if (authority.starts_with(u'[')) {
        const std::size_t close = authority.find(u']');
        if (close == std::u16string_view::npos) return std::nullopt;
        const std::u16string_view after = authority.substr(close + 1);
        if (!after.empty() && after.front() != u':') return std::nullopt;
        parts.host = std::u16string(authority.substr(0, close + 1));
        port = after.empty() ? after : after.substr(1);
    } else {
        const std::size_t colon = authority.find(u':');
        parts.host = std::u16string(authority.substr(0, colon));
        port = colon == std::u16string_view::npos ? std::u16string_view() : authority.substr(colon + 1);
    }
    if (parts.host.empty() || parts.host == u"[]") return std::nullopt;
    parts.port = parts.secure ? 443 : 80;
    if (!port.empty()) {
        if (port.size() > 5 || !std::all_of(port.begin(), port.end(), IsDigit)) return std::nullopt;
        int value = 0;
        for (const char16_t c : port) value = value * 10 + (c - u'0');
        if (value < 1 || value > 65535) return std::nullopt;
        parts.port = value;
    }
    return parts;
}

std::u16string ResolveRedirection(std::u16string_view base, std::u16string_view location) {
    location = TrimBlanks(location);
    location = location.substr(0, location.find(u'#'));
    if (HasScheme(location)) return std::u16string(location);
    const std::size_t schemeEnd = base.find(u"://");
    if (schemeEnd == std::u16string_view::npos) return std::u16string(location);
    const std::u16string_view scheme = base.substr(0, schemeEnd + 1);  // "http:"
    if (location.starts_with(u"//")) return std::u16string(scheme) + std::u16string(location);
    base = base.substr(0, base.find(u'#'));
    const std::size_t pathStart = base.find_first_of(u"/?", schemeEnd + 3);
    const std::u16string_view origin = base.substr(0, pathStart);
    std::u16string_view basePath = pathStart == std::u16string_view::npos ? u"" : base.substr(pathStart);
    basePath = basePath.substr(0, basePath.find(u'?'));
    if (basePath.empty()) basePath = u"/";
    if (location.empty()) return std::u16string(base);
    if (location.front() == u'/') return std::u16string(origin) + WithCleanPath(location);
    if (location.front() == u'?') return std::u16string(origin) + std::u16string(basePath) + std::u16string(location);
    const std::u16string_view folder = basePath.substr(0, basePath.rfind(u'/') + 1);
    return std::u16string(origin) + WithCleanPath(std::u16string(folder) + std::u16string(location));
}

bool IsHttpAddress(std::u16string_view url) {
    return StartsWithIgnoreCase(url, u"http://") || StartsWithIgnoreCase(url, u"https://");
}

std::optional<IpAddress> ParseIpAddress(std::u16string_view text) {
    if (text.starts_with(u'[')) {
        if (!text.ends_with(u']')) return std::nullopt;
        return ParseIpv6(text.substr(1, text.size() - 2));
    }
    if (text.find(u':') != std::u16string_view::npos) return ParseIpv6(text);
    const auto ipv4 = ParseIpv4(text);
    if (!ipv4) return std::nullopt;
    IpAddress address;
    address.size = 4;
    std::copy(ipv4->begin(), ipv4->end(), address.bytes.begin());
    return address;
}

std::u16string_view RefusalOf(const IpAddress& address) {
    const auto& b = address.bytes;
    if (address.size == 4) return RefusalOfIpv4(b.data());
    if (address.size != 16) return kNoAddress;
    const auto zeros = [&b](std::size_t from, std::size_t to) {
        return std::all_of(b.begin() + from, b.begin() + to, [](std::uint8_t x) { return x == 0; });
    };
    if (zeros(0, 10) && b[10] == 0xFF && b[11] == 0xFF) return RefusalOfIpv4(b.data() + 12);  // ::ffff:a.b.c.d
    if (zeros(0, 12)) {
        if (zeros(12, 16)) return u"an unspecified address";            // ::
        if (zeros(12, 15) && b[15] == 1) return u"a loopback address";  // ::1
        return RefusalOfIpv4(b.data() + 12);                            // ::a.b.c.d, the old IPv4-compatible form
    }
    if (b[0] == 0xFE && (b[1] & 0xC0) == 0x80) return u"a link-local address";  // fe80::/10
    return {};
}

std::u16string_view RefusalOf(std::u16string_view address) {
    const std::optional<IpAddress> parsed = ParseIpAddress(address);
    return parsed ? RefusalOf(*parsed) : kNoAddress;
}

std::u16string AnswerText(std::string_view bytes) {
    return IsValidUtf8(bytes) ? FromUtf8(bytes) : FromAnsi(bytes);
}

}  // namespace dv
