// The HTTP client on WinHTTP: the system's proxy settings and TLS, redirections followed.
#include "platform/windows_include.h"

#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

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

HttpOutcome Failed(DWORD error, bool timedOut) {
    if (timedOut) return {HttpOutcome::Kind::SocketError, {}, 0, u"Socket Error # 10060 Connection timed out."};
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

// Ends a request that takes longer than allowed by closing its handle, which makes the call that
// waits on it return. WinHTTP's own time-outs cover each step, not the whole.
class Deadline {
public:
    Deadline(HINTERNET request, int milliseconds)
        : watcher_([this, request, milliseconds] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!done_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return finished_; })) {
                  expired_ = true;
                  ::WinHttpCloseHandle(request);
              }
          }) {}
    ~Deadline() { Finish(); }

    // Stops the watch; true when the deadline had already closed the request.
    bool Finish() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        if (watcher_.joinable()) watcher_.join();
        return expired_;
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    bool expired_ = false;
    std::thread watcher_;
};

class WinHttpClient : public IHttpClient {
public:
    explicit WinHttpClient(const HttpLimits& limits) : limits_(limits) {}

    HttpOutcome Get(std::u16string_view url) override {
        if (HostOfUrl(url).empty()) return {HttpOutcome::Kind::HostRequired, {}, 0, u"Host is required."};

        const std::wstring wideUrl = ToWide(url);
        URL_COMPONENTS parts{};
        parts.dwStructSize = sizeof parts;
        parts.dwHostNameLength = static_cast<DWORD>(-1);
        parts.dwUrlPathLength = static_cast<DWORD>(-1);
        parts.dwExtraInfoLength = static_cast<DWORD>(-1);
        if (!::WinHttpCrackUrl(wideUrl.c_str(), 0, 0, &parts)) return Failed(::GetLastError(), false);
        const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
        std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
        path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
        if (path.empty()) path = L"/";

        InternetHandle session = Own(::WinHttpOpen(L"Dockvane", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                                   WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
        if (!session) {
            // Systems before Windows 8.1 know only the proxy configured for WinHTTP itself.
            session = Own(::WinHttpOpen(L"Dockvane", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                        WINHTTP_NO_PROXY_BYPASS, 0));
        }
        if (!session) return Failed(::GetLastError(), false);
        ::WinHttpSetTimeouts(session.get(), limits_.connectTimeoutMs, limits_.connectTimeoutMs,
                             limits_.requestTimeoutMs, limits_.requestTimeoutMs);
        DWORD redirections = kMaxRedirections;
        ::WinHttpSetOption(session.get(), WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirections,
                           sizeof redirections);

        const InternetHandle connection = Own(::WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
        if (!connection) return Failed(::GetLastError(), false);
        const DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
        HINTERNET request = ::WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                                 WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
        if (!request) return Failed(::GetLastError(), false);
        // Wine's send already waits for the answer and heeds only these two.
        DWORD wait = static_cast<DWORD>(limits_.requestTimeoutMs);
        ::WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &wait, sizeof wait);
        ::WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_TIMEOUT, &wait, sizeof wait);

        Deadline deadline(request, limits_.requestTimeoutMs);
        HttpOutcome outcome = Run(request);
        if (deadline.Finish()) {
            return Failed(ERROR_WINHTTP_TIMEOUT, true);  // the deadline closed the request already
        }
        ::WinHttpCloseHandle(request);
        return outcome;
    }

private:
    static HttpOutcome Run(HINTERNET request) {
        if (!::WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
            !::WinHttpReceiveResponse(request, nullptr)) {
            return Failed(::GetLastError(), false);
        }
        DWORD status = 0;
        DWORD size = sizeof status;
        if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                   WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
            return Failed(::GetLastError(), false);
        }
        if (status >= 400) {
            const std::wstring version = QueryText(request, WINHTTP_QUERY_VERSION);
            const std::wstring reason = QueryText(request, WINHTTP_QUERY_STATUS_TEXT);
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
        char buffer[8192];
        while (body.size() < kMaxAnswerBody) {
            DWORD got = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(sizeof buffer, kMaxAnswerBody - body.size()));
            if (!::WinHttpReadData(request, buffer, want, &got)) return Failed(::GetLastError(), false);
            if (got == 0) break;
            body.append(buffer, got);
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
