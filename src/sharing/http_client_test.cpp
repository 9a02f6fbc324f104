#include "sharing/http_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace dv {
namespace {

constexpr std::u16string_view kLoopback = u"a loopback address";
constexpr std::u16string_view kUnspecified = u"an unspecified address";
constexpr std::u16string_view kLinkLocal = u"a link-local address";
constexpr std::u16string_view kNoAddress = u"not an IP address";
constexpr std::u16string_view kAllowed = u"";

TEST(AddressRefusal, ThisComputerAndItsLinkAreRefusedInEveryWritingOtherAddressesAllowed) {
    const struct {
        std::u16string address;
        std::u16string_view refusal;
    } cases[] = {
        // IPv4 loopback, 127.0.0.0/8, and its neighbours
        {u"127.0.0.1", kLoopback},
        {u"127.0.0.0", kLoopback},
        {u"127.255.255.255", kLoopback},
        {u"127.1.2.3", kLoopback},
        {u"126.255.255.255", kAllowed},
        {u"128.0.0.0", kAllowed},
        // "this network", 0.0.0.0/8, which reaches this computer
        {u"0.0.0.0", kUnspecified},
        {u"0.255.255.255", kUnspecified},
        {u"1.0.0.0", kAllowed},
        // IPv4 link-local, 169.254.0.0/16
        {u"169.254.0.0", kLinkLocal},
        {u"169.254.169.254", kLinkLocal},
        {u"169.254.255.255", kLinkLocal},
        {u"169.253.255.255", kAllowed},
        {u"169.255.0.0", kAllowed},
        {u"168.254.0.1", kAllowed},
        // The private ranges, where backup servers live, and public addresses
        {u"10.0.0.0", kAllowed},
        {u"10.255.255.255", kAllowed},
        {u"172.16.0.1", kAllowed},
        {u"172.31.255.255", kAllowed},
        {u"192.168.0.1", kAllowed},
        {u"192.168.255.255", kAllowed},
        {u"8.8.8.8", kAllowed},
        {u"255.255.255.255", kAllowed},
        // IPv6 loopback and unspecified, in every writing
        {u"::1", kLoopback},
        {u"[::1]", kLoopback},
        {u"0:0:0:0:0:0:0:1", kLoopback},
        {u"0000:0000:0000:0000:0000:0000:0000:0001", kLoopback},
        {u"::1%1", kLoopback},
        {u"::", kUnspecified},
        {u"[::]", kUnspecified},
        {u"0:0:0:0:0:0:0:0", kUnspecified},
        {u"::2", kUnspecified},  // IPv4-compatible 0.0.0.2
        {u"0:0:0:0:0:1:0:1", kAllowed},
        {u"1::1", kAllowed},
        // IPv4-mapped and IPv4-compatible forms of refused IPv4 addresses
        {u"::ffff:127.0.0.1", kLoopback},
        {u"[::ffff:127.0.0.1]", kLoopback},
        {u"::FFFF:7f00:1", kLoopback},
        {u"0:0:0:0:0:ffff:127.255.255.255", kLoopback},
        {u"::ffff:0.0.0.0", kUnspecified},
        {u"::ffff:169.254.1.1", kLinkLocal},
        {u"::127.0.0.1", kLoopback},
        {u"::169.254.0.1", kLinkLocal},
        {u"::ffff:126.255.255.255", kAllowed},
        {u"::ffff:128.0.0.0", kAllowed},
        {u"::ffff:192.168.1.20", kAllowed},
        {u"::ffff:10.0.0.1", kAllowed},
        {u"::fffe:127.0.0.1", kAllowed},  // neither mapped nor compatible
        {u"::1:ffff:127.0.0.1", kAllowed},
        // IPv6 link-local, fe80::/10, and its neighbours
        {u"fe80::", kLinkLocal},
        {u"fe80::1%4", kLinkLocal},
        {u"[fe80::1%25eth0]", kLinkLocal},
        {u"FE80::1", kLinkLocal},
        {u"febf:ffff:ffff:ffff:ffff:ffff:ffff:ffff", kLinkLocal},
        {u"fe7f:ffff:ffff:ffff:ffff:ffff:ffff:ffff", kAllowed},
        {u"fec0::1", kAllowed},
        // Unique local addresses, IPv6's private ranges, and public ones
        {u"fc00::1", kAllowed},
        {u"fd12:3456:789a::1", kAllowed},
        {u"2001:db8::1", kAllowed},
        {u"1:2:3:4:5:6:7::", kAllowed},
        {u"::2:3:4:5:6:7:8", kAllowed},
        // Texts that are no IP address: refused, whatever they might stand for elsewhere
        {u"", kNoAddress},
        {u"localhost", kNoAddress},
        {u"127.0.0", kNoAddress},
        {u"127.0.0.1.5", kNoAddress},
        {u"127.0.0.256", kNoAddress},
        {u"0127.0.0.1", kNoAddress},  // octal to some resolvers
        {u"127.00.0.1", kNoAddress},
        {u"1270.0.0.1", kNoAddress},
        {u"0x7f.0.0.1", kNoAddress},
        {u"2130706433", kNoAddress},
        {u"127.1", kNoAddress},
        {u" 127.0.0.1", kNoAddress},
        {u"127.0.0.1 ", kNoAddress},
        {u"127.0.0.-1", kNoAddress},
        {u"[127.0.0.1]", kNoAddress},
        {u"[::1", kNoAddress},
        {u"::1]", kNoAddress},
        {u":::1", kNoAddress},
        {u"::1::", kNoAddress},
        {u"1::2::3", kNoAddress},
        {u"1:2:3:4:5:6:7", kNoAddress},
        {u"1:2:3:4:5:6:7:8:9", kNoAddress},
        {u"1:2:3:4:5:6:7:8::", kNoAddress},
        {u"1:", kNoAddress},
        {u":1", kNoAddress},
        {u"12345::1", kNoAddress},
        {u"g::1", kNoAddress},
        {u"fe80::1%", kNoAddress},
        {u"::ffff:127.0.0.1.1", kNoAddress},
        {u"::ffff:1.2.3", kNoAddress},
        {u"::127.0.0.1:1", kNoAddress},
        {u"1.2.3.4::", kNoAddress},
        {u"\uFF11\uFF12\uFF17.0.0.1", kNoAddress},  // full-width digits
    };
    for (const auto& c : cases) EXPECT_EQ(RefusalOf(c.address), c.refusal) << ToUtf8(c.address);
}

IpAddress Bytes(std::initializer_list<std::uint8_t> bytes) {
    IpAddress address;
    address.size = bytes.size();
    std::copy(bytes.begin(), bytes.end(), address.bytes.begin());
    return address;
}

TEST(AddressRefusal, AddressesAsBytesAreJudgedAsTheirTexts) {
    const struct {
        const char* name;
        IpAddress address;
        std::u16string_view refusal;
    } cases[] = {
        {"127.0.0.1", Bytes({127, 0, 0, 1}), kLoopback},
        {"0.0.0.0", Bytes({0, 0, 0, 0}), kUnspecified},
        {"169.254.0.1", Bytes({169, 254, 0, 1}), kLinkLocal},
        {"192.168.1.20", Bytes({192, 168, 1, 20}), kAllowed},
        {"::1", Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), kLoopback},
        {"::", Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), kUnspecified},
        {"::ffff:127.0.0.1", Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 127, 0, 0, 1}), kLoopback},
        {"fe80::1", Bytes({0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), kLinkLocal},
        {"febf::", Bytes({0xFE, 0xBF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), kLinkLocal},
        {"fec0::", Bytes({0xFE, 0xC0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), kAllowed},
        {"fd00::1", Bytes({0xFD, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), kAllowed},
        {"no bytes", Bytes({}), kNoAddress},
        {"six bytes", Bytes({192, 168, 1, 20, 0, 80}), kNoAddress},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RefusalOf(c.address), c.refusal) << c.name;
        if (const auto parsed = ParseIpAddress(FromUtf8(c.name))) {
            EXPECT_EQ(*parsed, c.address) << c.name;
        }
    }
}

TEST(HttpUrl, PartsOfAnAddressAndAddressesWithoutThem) {
    const struct {
        std::u16string url;
        bool secure;
        std::u16string host;
        int port;
        std::u16string target;
    } cases[] = {
        {u"http://srv/ping", false, u"srv", 80, u"/ping"},
        {u"HTTPS://srv", true, u"srv", 443, u"/"},
        {u"http://srv:8080/a?b=1#frag", false, u"srv", 8080, u"/a?b=1"},
        {u"http://srv?q=1", false, u"srv", 80, u"/?q=1"},
        {u"http://srv#frag", false, u"srv", 80, u"/"},
        {u"http://srv:/x", false, u"srv", 80, u"/x"},
        {u"https://srv:65535/", true, u"srv", 65535, u"/"},
        {u"http://user:pw@srv:81/x", false, u"srv", 81, u"/x"},
        {u"http://a@b@srv/x@y", false, u"srv", 80, u"/x@y"},
        {u"http://[::1]:40273/secret", false, u"[::1]", 40273, u"/secret"},
        {u"http://[::ffff:127.0.0.1]/", false, u"[::ffff:127.0.0.1]", 80, u"/"},
        {u"http://[fe80::1%25eth0]:8", false, u"[fe80::1%25eth0]", 8, u"/"},
        {u"http://192.168.1.20:8080/done?r=ejected", false, u"192.168.1.20", 8080, u"/done?r=ejected"},
    };
    for (const auto& c : cases) {
        const auto parts = SplitHttpUrl(c.url);
        ASSERT_TRUE(parts) << ToUtf8(c.url);
        EXPECT_EQ(parts->secure, c.secure) << ToUtf8(c.url);
        EXPECT_EQ(parts->host, c.host) << ToUtf8(c.url);
        EXPECT_EQ(parts->port, c.port) << ToUtf8(c.url);
        EXPECT_EQ(parts->target, c.target) << ToUtf8(c.url);
    }
    for (const std::u16string_view url :
         {u"ftp://srv/x", u"srv/ping", u"http:/srv", u"http://", u"http:///x", u"http://:80/", u"http://user@/x",
          u"http://srv:0/", u"http://srv:65536/", u"http://srv:123456/", u"http://srv:8o/", u"http://srv:-1/",
          u"http://srv:80:81/", u"http://[::1/", u"http://[::1]x/", u"http://[]/"}) {
        EXPECT_FALSE(SplitHttpUrl(url)) << ToUtf8(url);
    }
}

TEST(Redirection, LocationIsResolvedAgainstTheAddressItCameFrom) {
    const std::u16string_view base = u"http://srv:8080/a/b/c?x=1#top";
    const struct {
        std::u16string location, target;
    } cases[] = {
        {u"http://other/x", u"http://other/x"},
        {u"HTTPS://other:8443/x?y#z", u"HTTPS://other:8443/x?y"},
        {u"ftp://other/x", u"ftp://other/x"},
        {u"javascript:alert(1)", u"javascript:alert(1)"},
        {u"localhost:8080/x", u"localhost:8080/x"},  // a scheme "localhost", as RFC 3986 reads it
        {u"//127.0.0.1:9/x", u"http://127.0.0.1:9/x"},
        {u"/x?y=1", u"http://srv:8080/x?y=1"},
        {u"/x/../y/./z", u"http://srv:8080/y/z"},
        {u"/x/..", u"http://srv:8080/"},
        {u"d", u"http://srv:8080/a/b/d"},
        {u"./d/", u"http://srv:8080/a/b/d/"},
        {u"../d", u"http://srv:8080/a/d"},
        {u"../../../../d", u"http://srv:8080/d"},
        {u"127.0.0.1:8080/x", u"http://srv:8080/a/b/127.0.0.1:8080/x"},  // a path: a digit begins no scheme
        {u"a/b:c", u"http://srv:8080/a/b/a/b:c"},
        {u"?q=2", u"http://srv:8080/a/b/c?q=2"},
        {u"d#frag", u"http://srv:8080/a/b/d"},
        {u"", u"http://srv:8080/a/b/c?x=1"},
        {u"  /x  ", u"http://srv:8080/x"},
    };
    for (const auto& c : cases) EXPECT_EQ(ResolveRedirection(base, c.location), c.target) << ToUtf8(c.location);
    EXPECT_EQ(ResolveRedirection(u"http://srv", u"x"), u"http://srv/x");
    EXPECT_EQ(ResolveRedirection(u"https://srv?q", u"x"), u"https://srv/x");
    EXPECT_EQ(ResolveRedirection(u"http://srv?q", u"?r"), u"http://srv/?r");
}

TEST(Redirection, OnlyHttpAndHttpsAreFollowed) {
    for (const std::u16string_view url : {u"http://x/", u"HTTP://x", u"https://x", u"HttpS://x/y"}) {
        EXPECT_TRUE(IsHttpAddress(url)) << ToUtf8(url);
    }
    for (const std::u16string_view url : {u"ftp://x/", u"file:///c:/x", u"httpx://x", u"http:/x", u"//x", u""}) {
        EXPECT_FALSE(IsHttpAddress(url)) << ToUtf8(url);
    }
}

}  // namespace
}  // namespace dv
