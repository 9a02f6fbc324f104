// The HTTP client on WinHTTP: the system's proxy settings and TLS, redirections followed.
#include "platform/windows_include.h"

#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "platform/text.h"
#include "sharing/http_client.h"

#ifndef WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY
#define WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY 4
#endif

namespace dv {
namespace {

void CloseInternetHandle(HINTERNET handle) {
    if (handle) ::WinHttpCloseHandle(handle);
}
using InternetHandle = std::unique_ptr<void, decltype(&CloseInternetHandle)>;

InternetHandle Own(HINTERNET handle) {
    return InternetHandle(handle, &CloseInternetHandle);
}

// Errors of the connection itself, as opposed to a malformed address or a redirection loop.
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

class WinHttpClient : public IHttpClient {
public:
    explicit WinHttpClient(const HttpLimits& limits) : limits_(limits) {}

    HttpOutcome Get(std::u16string_view url) override {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limits_.requestTimeoutMs);
        if (HostOfUrl(url).empty()) return {HttpOutcome::Kind::HostRequired, {}, 0, u"Host is required."};

        const std::wstring wideUrl = ToWide(url);
        URL_COMPONENTS parts{};
        parts.dwStructSize = sizeof parts;
        parts.dwHostNameLength = static_cast<DWORD>(-1);
        parts.dwUrlPathLength = static_cast<DWORD>(-1);
        parts.dwExtraInfoLength = static_cast<DWORD>(-1);
        if (!::WinHttpCrackUrl(wideUrl.c_str(), 0, 0, &parts)) return Failed(::GetLastError());
        const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
        std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
        path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
        if (path.empty()) path = L"/";

        InternetHandle session = Own(::WinHttpOpen(L"Dockvane", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                                   WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
        if (!session) {
            // Systems before Windows 8.1 know only the proxy configured for WinHTTP itself.
            session = Own(::WinHttpOpen(L"Dockvane", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                        WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
        }
        if (!session) return Failed(::GetLastError());
        // WinHTTP's own time-outs end what the deadline gave up on, so that it does not linger.
        ::WinHttpSetTimeouts(session.get(), limits_.connectTimeoutMs, limits_.connectTimeoutMs,
                             limits_.requestTimeoutMs, limits_.requestTimeoutMs);
        DWORD redirections = kMaxRedirections;
        ::WinHttpSetOption(session.get(), WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirections,
                           sizeof redirections);

        const InternetHandle connection = Own(::WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
        if (!connection) return Failed(::GetLastError());
        const DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
        const HINTERNET handle = ::WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr,
                                                      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
        if (!handle) return Failed(::GetLastError());
        Request request(handle, deadline);
        // Wine's send already waits for the answer and heeds only these two.
        DWORD wait = static_cast<DWORD>(limits_.requestTimeoutMs);
        ::WinHttpSetOption(handle, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &wait, sizeof wait);
        ::WinHttpSetOption(handle, WINHTTP_OPTION_RECEIVE_TIMEOUT, &wait, sizeof wait);
        if (const DWORD error = request.Attach()) return Failed(error);
        return Run(request);
    }

private:
    static HttpOutcome Run(Request& request) {
        Request::Step step = request.Send();
        if (step.error) return Failed(step.error);
        step = request.ReceiveResponse();
        if (step.error) return Failed(step.error);
        const HINTERNET handle = request.handle();
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
};

}  // namespace

std::unique_ptr<IHttpClient> CreateHttpClient(const HttpLimits& limits) {
    return std::make_unique<WinHttpClient>(limits);
}

}  // namespace dv
