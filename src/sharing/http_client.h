// The HTTP client of the notification pings: one GET request, its outcome told apart as the pings
// need it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace dv {

struct HttpOutcome {
    enum class Kind {
        Body,          // a success status; `body` holds the answer (at most kMaxAnswerBody bytes of it)
        SocketError,   // name resolution, connect, reset or time-out
        HostRequired,  // the address names no host
        HttpError,     // an error status; `status` holds it
        Failure,       // anything else (a broken address, too many redirections, ...)
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
};
inline constexpr std::size_t kMaxAnswerBody = 64 * 1024;
inline constexpr int kMaxRedirections = 15;

// The platform's client; none where the build has no HTTP client.
std::unique_ptr<IHttpClient> CreateHttpClient(const HttpLimits& limits = {});

// The host part of an http or https address ("" when it names none); addresses of other forms have no
// host part either.
std::u16string_view HostOfUrl(std::u16string_view url);

// An answer's bytes as text: UTF-8 when they are valid UTF-8, the system code page otherwise.
std::u16string AnswerText(std::string_view bytes);

}  // namespace dv
