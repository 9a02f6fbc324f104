// The HTTP client on WinHTTP: no proxy, TLS, redirections followed by hand, and never a connection
// to this computer or its link.
#include "platform/windows_include.h"

// Before WinHTTP's header, which declares its connection information only with them.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "sharing/http_client.h"

namespace dv {
namespace {

void CloseInternetHandle(HINTERNET handle) {
    if (handle) ::WinHttpCloseHandle(handle);
}
using InternetHandle = std::unique_ptr<void, decltype(&CloseInternetHandle)>;

InternetHandle Own(HINTERNET handle) {
    return InternetHandle(handle, &CloseInternetHandle);
}

// Errors of the connection itself, as opposed to a malformed address.
bool IsSocketLevel(DWORD error) {
    switch (error) {
        case ERROR_WINHTTP_TIMEOUT:
        case ERROR_WINHTTP_NAME_NOT_RESOLVED:
        case ERROR_WINHTTP_CANNOT_CONNECT:
        case ERROR_WINHTTP_CONNECTION_ERROR:
        case ERROR_WINHTTP_OPERATION_CANCELLED:
        case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
        case ERROR_WINHTTP_SECURE_FAILURE:
        case WSAETIMEDOUT:
        case WSAECONNREFUSED:
        case WSAECONNRESET: return true;
        default: return false;
    }
}

std::u16string ErrorText(DWORD error) {
    wchar_t* buffer = nullptr;
    const HMODULE winhttp = ::GetModuleHandleW(L"winhttp.dll");
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                                              FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                          winhttp, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::u16string text = FromWide(std::wstring_view(buffer ? buffer : L"", length));
    ::LocalFree(buffer);
    for (auto& c : text) {
        if (c == u'\r' || c == u'\n') c = u' ';
    }
    while (!text.empty() && text.back() == u' ') text.pop_back();
    return u"Socket Error # " + IntToStr(error) + (text.empty() ? u"" : u" " + text);
}

// Every time-out reads alike, whether WinHTTP or the deadline of the whole request ended the wait.
HttpOutcome Failed(DWORD error) {
    if (error == ERROR_WINHTTP_TIMEOUT || error == WSAETIMEDOUT) {
        return {HttpOutcome::Kind::SocketError, {}, 0, u"Socket Error # 10060 Connection timed out."};
    }
    return {
        IsSocketLevel(error) ? HttpOutcome::Kind::SocketError : HttpOutcome::Kind::Failure, {}, 0, ErrorText(error)};
}

HttpOutcome Refused(std::u16string message) {
    return {HttpOutcome::Kind::Refused, {}, 0, std::move(message)};
}

std::wstring QueryText(HINTERNET request, DWORD info) {
    DWORD size = 0;
    ::WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size, WINHTTP_NO_HEADER_INDEX);
    if (size == 0) return {};
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (!::WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &size,
                               WINHTTP_NO_HEADER_INDEX)) {
        return {};
    }
    text.resize(size / sizeof(wchar_t));
    return text;
}

// What one request shares with WinHTTP's status callback: the outcome of the step in progress, and
// the buffer a read fills. WinHTTP may still complete a step after the caller gave up on it (Wine
// finishes a read on a trickling connection only when the server lets go), so WinHTTP holds a share
// of its own until it reports the request handle closing.
struct Exchange {
    std::mutex mutex;
    std::condition_variable changed;
    bool completed = false;
    DWORD error = 0;  // of the step that completed; 0 when it went well
    DWORD bytes = 0;  // that a read brought
    char buffer[8192];
};
using ExchangeShare = std::shared_ptr<Exchange>;

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, void* information, DWORD length) {
    auto* share = reinterpret_cast<ExchangeShare*>(context);
    if (!share) return;
    if (status == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {  // the last call for the request
        delete share;
        return;
    }
    Exchange& exchange = **share;
    {
        std::lock_guard<std::mutex> lock(exchange.mutex);
        switch (status) {
            case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
            case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE: break;
            case WINHTTP_CALLBACK_STATUS_READ_COMPLETE: exchange.bytes = length; break;
            case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
                exchange.error = static_cast<const WINHTTP_ASYNC_RESULT*>(information)->dwError;
                break;
            default: return;
        }
        exchange.completed = true;
    }
    exchange.changed.notify_all();
}

// A request in WinHTTP's asynchronous mode, each step awaited until the deadline of the whole. WinHTTP's
// own time-outs cover each step, not the whole, and a blocking call cannot be ended from outside:
// closing the handle of a synchronous request neither ends a read under Wine nor is allowed on Windows.
class Request {
public:
    Request(HINTERNET handle, std::chrono::steady_clock::time_point deadline)
        : handle_(handle), exchange_(std::make_shared<Exchange>()), deadline_(deadline) {}
    ~Request() { ::WinHttpCloseHandle(handle_); }  // ends what still runs; WinHTTP lets go of its share later
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    // Hands WinHTTP its share of the exchange; the error when it cannot be reached.
    DWORD Attach() {
        auto* share = new ExchangeShare(exchange_);
        DWORD_PTR context = reinterpret_cast<DWORD_PTR>(share);
        if (!::WinHttpSetOption(handle_, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context)) {
            delete share;
            return ::GetLastError();
        }
        const WINHTTP_STATUS_CALLBACK previous = ::WinHttpSetStatusCallback(
            handle_, &OnStatus, WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES, 0);
        if (previous == WINHTTP_INVALID_STATUS_CALLBACK) {
            const DWORD error = ::GetLastError();
            // Without the callback, closing the handle does not release the share.
            context = 0;
            ::WinHttpSetOption(handle_, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);
            delete share;
            return error;
        }
        return ERROR_SUCCESS;
    }

    HINTERNET handle() const { return handle_; }
    const char* buffer() const { return exchange_->buffer; }

    struct Step {
        DWORD error = ERROR_SUCCESS;  // WSAETIMEDOUT when the deadline passed first
        DWORD bytes = 0;
    };

    Step Send() {
        Begin();
        return Await(::WinHttpSendRequest(handle_, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0));
    }
    Step ReceiveResponse() {
        Begin();
        return Await(::WinHttpReceiveResponse(handle_, nullptr));
    }
    Step Read(DWORD want) {
        Begin();
        return Await(
            ::WinHttpReadData(handle_, exchange_->buffer, std::min<DWORD>(want, sizeof exchange_->buffer), nullptr));
    }

private:
    void Begin() {
        std::lock_guard<std::mutex> lock(exchange_->mutex);
        exchange_->completed = false;
        exchange_->error = ERROR_SUCCESS;
        exchange_->bytes = 0;
    }

    // The step's outcome once the callback told it, which may happen before the starting call returns.
    Step Await(BOOL started) {
        if (!started) return {::GetLastError(), 0};
        std::unique_lock<std::mutex> lock(exchange_->mutex);
        if (!exchange_->changed.wait_until(lock, deadline_, [this] { return exchange_->completed; })) {
            return {WSAETIMEDOUT, 0};
        }
        return {exchange_->error, exchange_->bytes};
    }

    HINTERNET handle_;
    ExchangeShare exchange_;
    std::chrono::steady_clock::time_point deadline_;
};

// A host's addresses, looked up on a thread of its own: a name server that does not answer costs the
// request no more than its deadline. The thread owns what it uses and ends by itself.
struct Lookup {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::vector<IpAddress> addresses;
};

void LookUp(const std::shared_ptr<Lookup>& lookup, const std::wstring& host) {
    std::vector<IpAddress> addresses;
    WSADATA data{};
    if (::WSAStartup(MAKEWORD(2, 2), &data) == 0) {
        ADDRINFOW hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        ADDRINFOW* found = nullptr;
        if (::GetAddrInfoW(host.c_str(), nullptr, &hints, &found) == 0) {
            for (const ADDRINFOW* entry = found; entry; entry = entry->ai_next) {
                IpAddress address;
                if (entry->ai_family == AF_INET && entry->ai_addrlen >= sizeof(sockaddr_in)) {
                    address.size = 4;
                    std::memcpy(address.bytes.data(), &reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr,
                                4);
                } else if (entry->ai_family == AF_INET6 && entry->ai_addrlen >= sizeof(sockaddr_in6)) {
                    address.size = 16;
                    std::memcpy(address.bytes.data(), &reinterpret_cast<const sockaddr_in6*>(entry->ai_addr)->sin6_addr,
                                16);
                } else {
                    continue;
                }
                addresses.push_back(address);
            }
            ::FreeAddrInfoW(found);
        }
        ::WSACleanup();
    }
    {
        std::lock_guard<std::mutex> lock(lookup->mutex);
        lookup->addresses = std::move(addresses);
        lookup->done = true;
    }
    lookup->finished.notify_all();
}

// The addresses of `host` (a name or an address, IPv6 without brackets); an error when it has none
// or the deadline passed first.
DWORD Resolve(const std::wstring& host, std::chrono::steady_clock::time_point deadline,
              std::vector<IpAddress>& addresses) {
    if (const std::optional<IpAddress> literal = ParseIpAddress(FromWide(host))) {
        addresses = {*literal};
        return ERROR_SUCCESS;
    }
    const auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, host] { LookUp(lookup, host); }).detach();
    } catch (const std::system_error&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    std::unique_lock<std::mutex> lock(lookup->mutex);
    if (!lookup->finished.wait_until(lock, deadline, [&lookup] { return lookup->done; })) return ERROR_WINHTTP_TIMEOUT;
    addresses = lookup->addresses;
    return addresses.empty() ? ERROR_WINHTTP_NAME_NOT_RESOLVED : ERROR_SUCCESS;
}

std::optional<IpAddress> AddressOf(const SOCKADDR_STORAGE& socketAddress) {
    IpAddress address;
    if (socketAddress.ss_family == AF_INET) {
        address.size = 4;
        std::memcpy(address.bytes.data(), &reinterpret_cast<const sockaddr_in&>(socketAddress).sin_addr, 4);
    } else if (socketAddress.ss_family == AF_INET6) {
        address.size = 16;
        std::memcpy(address.bytes.data(), &reinterpret_cast<const sockaddr_in6&>(socketAddress).sin6_addr, 16);
    } else {
        return std::nullopt;
    }
    return address;
}

std::wstring AddressText(const IpAddress& address) {
    wchar_t text[INET6_ADDRSTRLEN] = {};
    if (address.size == 4) {
        in_addr ipv4{};
        std::memcpy(&ipv4, address.bytes.data(), 4);
        ::InetNtopW(AF_INET, &ipv4, text, INET6_ADDRSTRLEN);
    } else {
        in6_addr ipv6{};
        std::memcpy(&ipv6, address.bytes.data(), 16);
        ::InetNtopW(AF_INET6, &ipv6, text, INET6_ADDRSTRLEN);
    }
    return text;
}

bool IsRedirection(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

class WinHttpClient : public IHttpClient {
public:
    explicit WinHttpClient(const HttpLimits& limits)
        : limits_(limits), exempt_(ParseIpAddress(limits.exemptAddressForTests)) {}

    // Each redirection is followed by hand, as a request of its own that is checked like the first.
    HttpOutcome Get(std::u16string_view url) override {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limits_.requestTimeoutMs);
        // No proxy: the address checked must be the one connected to, and a proxy would connect for
        // us, to whatever its own name server says.
        const InternetHandle session =
            Own(::WinHttpOpen(L"Dockvane", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS,
                              WINHTTP_FLAG_ASYNC));
        if (!session) return Failed(::GetLastError());
        // WinHTTP's own time-outs end what the deadline gave up on, so that it does not linger.
        ::WinHttpSetTimeouts(session.get(), limits_.connectTimeoutMs, limits_.connectTimeoutMs,
                             limits_.requestTimeoutMs, limits_.requestTimeoutMs);
        std::u16string current(url);
        for (int redirections = 0;; ++redirections) {
            std::optional<std::u16string> location;
            HttpOutcome outcome = Fetch(session.get(), current, deadline, location);
            if (!location) {
                // The address configured is the one to mend.
                if (outcome.kind == HttpOutcome::Kind::Refused && redirections > 0) {
                    outcome.message += u", reached by a redirection from " + std::u16string(url);
                }
                return outcome;
            }
            if (redirections == kMaxRedirections) {
                return Refused(u"Not followed: more than " + IntToStr(kMaxRedirections) +
                               u" redirections, the last from " + current);
            }
            std::u16string next = ResolveRedirection(current, *location);
            if (!IsHttpAddress(next)) {
                return Refused(u"Not followed: a redirection to " + next + u", which is neither http nor https");
            }
            current = std::move(next);
        }
    }

private:
    // Why the client may not connect to `address` for `url`; nothing when it may.
    std::optional<HttpOutcome> Refusal(const IpAddress& address, std::u16string_view url) const {
        const std::u16string_view reason = RefusalOf(address);
        if (reason.empty() || (exempt_ && *exempt_ == address)) return std::nullopt;
        return Refused(u"Not connected to " + FromWide(AddressText(address)) + u" (" + std::u16string(reason) +
                       u") for " + std::u16string(url));
    }

    // One request; a redirection's target in `location` instead of an outcome.
    HttpOutcome Fetch(HINTERNET session, std::u16string_view url, std::chrono::steady_clock::time_point deadline,
                      std::optional<std::u16string>& location) {
        if (HostOfUrl(url).empty()) return {HttpOutcome::Kind::HostRequired, {}, 0, u"Host is required."};
        // Not WinHttpCrackUrl: Wine's does not know IPv6 addresses in brackets.
        const std::optional<HttpUrlParts> parts = SplitHttpUrl(url);
        if (!parts) return Failed(ERROR_WINHTTP_INVALID_URL);
        std::wstring host = ToWide(parts->host);
        if (host.front() == L'[') host = host.substr(1, host.size() - 2);
        const bool secure = parts->secure;
        const auto port = static_cast<INTERNET_PORT>(parts->port);

        // Every address the name has is checked before any connection: WinHTTP may take any of them.
        std::vector<IpAddress> addresses;
        const auto lookupDeadline =
            std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(limits_.connectTimeoutMs));
        if (const DWORD error = Resolve(host, lookupDeadline, addresses)) return Failed(error);
        for (const IpAddress& address : addresses) {
            if (auto refusal = Refusal(address, url)) return *refusal;
        }
        // Plain HTTP goes to the very address checked, so that a name server that answers otherwise
        // the second time cannot lead WinHTTP elsewhere. TLS needs the name to check the
        // certificate: its connection is checked once it stands, before anything is read.
        std::wstring server = ToWide(parts->host);
        if (!secure) {
            server = AddressText(addresses.front());
            if (addresses.front().size == 16) server = L"[" + server + L"]";
        }
        const InternetHandle connection = Own(::WinHttpConnect(session, server.c_str(), port, 0));
        if (!connection) return Failed(::GetLastError());
        const HINTERNET handle =
            ::WinHttpOpenRequest(connection.get(), L"GET", ToWide(parts->target).c_str(), nullptr, WINHTTP_NO_REFERER,
                                 WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0);
        if (!handle) return Failed(::GetLastError());
        Request request(handle, deadline);
        if (!secure) {
            const std::wstring hostHeader = L"Host: " + ToWide(parts->host) +
                                            (port == INTERNET_DEFAULT_HTTP_PORT ? L"" : L":" + std::to_wstring(port));
            if (!::WinHttpAddRequestHeaders(handle, hostHeader.c_str(), static_cast<DWORD>(-1),
                                            WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
                return Failed(::GetLastError());
            }
        }
        DWORD noRedirections = WINHTTP_DISABLE_REDIRECTS;
        if (!::WinHttpSetOption(handle, WINHTTP_OPTION_DISABLE_FEATURE, &noRedirections, sizeof noRedirections)) {
            return Failed(::GetLastError());
        }
        // Wine's send already waits for the answer and heeds only these two.
        DWORD wait = static_cast<DWORD>(limits_.requestTimeoutMs);
        ::WinHttpSetOption(handle, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &wait, sizeof wait);
        ::WinHttpSetOption(handle, WINHTTP_OPTION_RECEIVE_TIMEOUT, &wait, sizeof wait);
        if (const DWORD error = request.Attach()) return Failed(error);
        return Run(request, url, location);
    }

    HttpOutcome Run(Request& request, std::u16string_view url, std::optional<std::u16string>& location) const {
        Request::Step step = request.Send();
        if (step.error) return Failed(step.error);
        step = request.ReceiveResponse();
        if (step.error) return Failed(step.error);
        const HINTERNET handle = request.handle();
        // The address of the connection that brought the answer, whichever it was (a kept-alive one
        // too): nothing of an answer from a refused address is read.
        WINHTTP_CONNECTION_INFO connectionInfo{};
        connectionInfo.cbSize = sizeof connectionInfo;
        DWORD infoSize = sizeof connectionInfo;
        if (::WinHttpQueryOption(handle, WINHTTP_OPTION_CONNECTION_INFO, &connectionInfo, &infoSize)) {
            const std::optional<IpAddress> remote = AddressOf(connectionInfo.RemoteAddress);
            if (!remote) {
                return Refused(u"Not connected: the address of the server is unknown (" + std::u16string(url) + u")");
            }
            if (auto refusal = Refusal(*remote, url)) return *refusal;
        }
        DWORD status = 0;
        DWORD size = sizeof status;
        if (!::WinHttpQueryHeaders(handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                   WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
            return Failed(::GetLastError());
        }
        if (status >= 400) {
            const std::wstring version = QueryText(handle, WINHTTP_QUERY_VERSION);
            const std::wstring reason = QueryText(handle, WINHTTP_QUERY_STATUS_TEXT);
            return {HttpOutcome::Kind::HttpError,
                    {},
                    static_cast<int>(status),
                    FromWide(version) + u" " + IntToStr(status) + u" " + FromWide(reason)};
        }
        if (status >= 300) {
            const std::wstring target = QueryText(handle, WINHTTP_QUERY_LOCATION);
            if (IsRedirection(status) && !target.empty()) {
                location = FromWide(target);
                return {};
            }
            return {HttpOutcome::Kind::Failure,
                    {},
                    static_cast<int>(status),
                    u"Redirection not followed: " + IntToStr(status)};
        }

        std::string body;
        while (body.size() < kMaxAnswerBody) {
            step = request.Read(static_cast<DWORD>(kMaxAnswerBody - body.size()));
            if (step.error) return Failed(step.error);
            if (step.bytes == 0) break;
            body.append(request.buffer(), step.bytes);
        }
        return {HttpOutcome::Kind::Body, AnswerText(body), static_cast<int>(status), {}};
    }

    HttpLimits limits_;
    std::optional<IpAddress> exempt_;
};

}  // namespace

std::unique_ptr<IHttpClient> CreateHttpClient(const HttpLimits& limits) {
    return std::make_unique<WinHttpClient>(limits);
}

}  // namespace dv
