// The HTTP client of the notification pings: one GET request, its outcome told apart as the pings
// need it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace dv {

struct HttpOutcome {
    enum class Kind {
        Body,          // a success status; `body` holds the answer (at most kMaxAnswerBody bytes of it)
        SocketError,   // name resolution, connect, reset or time-out
        HostRequired,  // the address names no host
        HttpError,     // an error status; `status` holds it
        // Not asked, or not followed further: the address is this computer or its link, or a
        // redirection leads there, to another scheme than http or https, or one step too far.
        Refused,
        Failure,  // anything else (a broken address, a redirection without a target, ...)
    };
    Kind kind = Kind::Failure;
    std::u16string body;
    int status = 0;
    std::u16string message;  // the client's own words for a failure, one line
};

class IHttpClient {
public:
    virtual ~IHttpClient() = default;
    virtual HttpOutcome Get(std::u16string_view url) = 0;
};

struct HttpLimits {
    int connectTimeoutMs = 10'000;  // to resolve and connect
    int requestTimeoutMs = 30'000;  // for the whole request
    // One address that is not refused although it is this computer's: the local server of a test, or
    // of the simulation mode ("127.0.0.1"). Set in code only, never from a drive's file; empty in
    // every client of the product proper.
    std::u16string exemptAddressForTests;
};
inline constexpr std::size_t kMaxAnswerBody = 64 * 1024;
inline constexpr int kMaxRedirections = 5;

// The platform's client; none where the build has no HTTP client.
std::unique_ptr<IHttpClient> CreateHttpClient(const HttpLimits& limits = {});

// The host part of an http or https address ("" when it names none); addresses of other forms have no
// host part either.
std::u16string_view HostOfUrl(std::u16string_view url);

// The parts of an http or https address that a request needs.
struct HttpUrlParts {
    bool secure = false;    // https
    std::u16string host;    // as written; an IPv6 address in its brackets
    int port = 0;           // 80 or 443 when none is written
    std::u16string target;  // the path and query, "/" at least; without the fragment
};
// Nothing for an address of another scheme, without a host, with a port that is no number from 1 to
// 65535, or with anything but a port after an IPv6 address. A user name and password are dropped.
std::optional<HttpUrlParts> SplitHttpUrl(std::u16string_view url);

// The address of an http or https address that a redirection's Location leads to: an absolute
// address as it is, one without a scheme ("//host/x") with the scheme of `base`, a path ("/x") on the
// host of `base`, a relative one ("x", "../x", "?q") beside the path of `base`; the fragment dropped.
std::u16string ResolveRedirection(std::u16string_view base, std::u16string_view location);

// Whether the address names the scheme http or https (in any letter case).
bool IsHttpAddress(std::u16string_view url);

// An IP address: 4 bytes (IPv4) or 16 (IPv6), in network order.
struct IpAddress {
    std::array<std::uint8_t, 16> bytes{};
    std::size_t size = 0;
    friend bool operator==(const IpAddress&, const IpAddress&) = default;
};

// The address written as four decimal numbers ("192.168.1.20", no leading zeros) or in IPv6 text
// (RFC 4291, an IPv4 tail included), also in brackets and with a zone ("fe80::1%4"); nothing for
// any other text.
std::optional<IpAddress> ParseIpAddress(std::u16string_view text);

// Why no ping may connect to the address, "" when it may. Refused is what reaches this computer or
// only its own link: loopback (127.0.0.0/8, ::1), unspecified (0.0.0.0/8, ::), link-local
// (169.254.0.0/16, fe80::/10), and these IPv4 addresses written as IPv6 (::ffff:127.0.0.1,
// ::127.0.0.1). The private ranges, where backup servers live, are allowed.
std::u16string_view RefusalOf(const IpAddress& address);
// The same for an address in text; a text that is no IP address is refused too.
std::u16string_view RefusalOf(std::u16string_view address);

// An answer's bytes as text: UTF-8 when they are valid UTF-8, the system code page otherwise.
std::u16string AnswerText(std::string_view bytes);

}  // namespace dv
