// The WinHTTP client against a real HTTP server on 127.0.0.1, run by the test itself.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "sharing/http_client.h"
#include "sharing/ping_to_web.h"

namespace dv {
namespace {

// A small HTTP/1.1 server: one connection at a time, answers chosen by path.
class TestServer {
public:
    TestServer() {
        WSADATA data{};
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 8);
        int length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~TestServer() {
        closesocket(listener_);
        thread_.join();
        for (SOCKET s : hanging_) closesocket(s);
        WSACleanup();
    }

    std::u16string Url(std::u16string_view path) const {
        return u"http://127.0.0.1:" + IntToStr(port_) + std::u16string(path);
    }

private:
    void Serve() {
        for (;;) {
            const SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET) return;
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const int got = recv(client, buffer, sizeof buffer, 0);
                if (got <= 0) break;
                request.append(buffer, got);
            }
            const std::size_t start = request.find(' ') + 1;
            const std::string path = request.substr(start, request.find(' ', start) - start);
            if (path == "/hang") {
                hanging_.push_back(client);  // accepted, never answered
                continue;
            }
            const std::string answer = Answer(path);
            send(client, answer.data(), static_cast<int>(answer.size()), 0);
            shutdown(client, SD_SEND);
            closesocket(client);
        }
    }

    static std::string Reply(const std::string& status, const std::string& body, const std::string& extra = "") {
        return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\nConnection: close\r\n" + extra + "\r\n" + body;
    }

    static std::string Answer(const std::string& path) {
        if (path == "/body") return Reply("200 OK", "DONE\r\nsecond line\r\n");
        if (path == "/empty") return Reply("200 OK", "");
        if (path == "/404") return Reply("404 Not Found", "missing");
        if (path == "/410") return Reply("410 Gone", "");
        if (path == "/500") return Reply("500 Internal Server Error", "oops");
        if (path == "/redirect") return Reply("302 Found", "", "Location: /body\r\n");
        if (path == "/loop") return Reply("302 Found", "", "Location: /loop\r\n");
        if (path == "/large") return Reply("200 OK", std::string(200 * 1024, 'L'));
        if (path == "/utf8") return Reply("200 OK", "Caf\xC3\xA9 \xE2\x84\xA2");
        return Reply("400 Bad Request", "");
    }

    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::vector<SOCKET> hanging_;
    std::thread thread_;
};

int ClosedPort() {
    TestServer probe;  // a port that was just free
    const std::u16string url = probe.Url(u"");
    return std::stoi(ToUtf8(url.substr(url.rfind(u':') + 1)));
}

class WinHttpTest : public ::testing::Test {
protected:
    TestServer server;
    std::unique_ptr<IHttpClient> client = CreateHttpClient({2000, 3000});
};

TEST_F(WinHttpTest, OutcomesTheyTellApart) {
    struct Case {
        std::u16string path;
        HttpOutcome::Kind kind;
        int status;
        std::u16string body;
    };
    const Case cases[] = {
        {u"/body", HttpOutcome::Kind::Body, 200, u"DONE\r\nsecond line\r\n"},
        {u"/empty", HttpOutcome::Kind::Body, 200, u""},
        {u"/404", HttpOutcome::Kind::HttpError, 404, u""},
        {u"/410", HttpOutcome::Kind::HttpError, 410, u""},
        {u"/500", HttpOutcome::Kind::HttpError, 500, u""},
        {u"/redirect", HttpOutcome::Kind::Body, 200, u"DONE\r\nsecond line\r\n"},
        {u"/utf8", HttpOutcome::Kind::Body, 200, u"Caf\u00E9 \u2122"},
    };
    for (const auto& c : cases) {
        const HttpOutcome outcome = client->Get(server.Url(c.path));
        EXPECT_EQ(outcome.kind, c.kind) << ToUtf8(c.path) << ": " << ToUtf8(outcome.message);
        EXPECT_EQ(outcome.status, c.status) << ToUtf8(c.path);
        EXPECT_EQ(outcome.body, c.body) << ToUtf8(c.path);
    }
    EXPECT_EQ(client->Get(server.Url(u"/404")).message, u"HTTP/1.1 404 Not Found");
}

TEST_F(WinHttpTest, AnswerBodyIsReadUpTo64KiB) {
    const HttpOutcome outcome = client->Get(server.Url(u"/large"));
    ASSERT_EQ(outcome.kind, HttpOutcome::Kind::Body);
    EXPECT_EQ(outcome.body.size(), kMaxAnswerBody);
}

TEST_F(WinHttpTest, ConnectionFailuresAreSocketLevel) {
    const HttpOutcome refused = client->Get(u"http://127.0.0.1:" + IntToStr(ClosedPort()) + u"/body");
    EXPECT_EQ(refused.kind, HttpOutcome::Kind::SocketError) << ToUtf8(refused.message);
    EXPECT_FALSE(refused.message.empty());
}

TEST_F(WinHttpTest, ServerThatNeverAnswersTimesOut) {
    const auto start = std::chrono::steady_clock::now();
    const HttpOutcome outcome = client->Get(server.Url(u"/hang"));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(outcome.kind, HttpOutcome::Kind::SocketError) << ToUtf8(outcome.message);
    EXPECT_LT(waited, std::chrono::seconds(20));  // bounded, not a measurement
}

TEST_F(WinHttpTest, AddressWithoutHost) {
    for (const std::u16string url : {u"http://", u"http:///ping", u"http://:8080/x"}) {
        const HttpOutcome outcome = client->Get(url);
        EXPECT_EQ(outcome.kind, HttpOutcome::Kind::HostRequired) << ToUtf8(url);
    }
}

TEST_F(WinHttpTest, EndlessRedirectionIsAnotherFailure) {
    EXPECT_EQ(client->Get(server.Url(u"/loop")).kind, HttpOutcome::Kind::Failure);
}

TEST_F(WinHttpTest, PingResultsFromARealServer) {
    EXPECT_EQ(DoPingToSrvUrl(*client, server.Url(u"/body")), u"DONE");
    EXPECT_EQ(DoPingToSrvUrl(*client, server.Url(u"/empty")), u"");
    EXPECT_EQ(DoPingToSrvUrl(*client, server.Url(u"/404")), u"404, BAD URL ");
    EXPECT_EQ(DoPingToSrvUrl(*client, server.Url(u"/500")), u"410, Server not available ");
    EXPECT_EQ(DoPingToSrvUrl(*client, server.Url(u"/large")), std::u16string(69, u'L'));
    // Without a scheme the address gets one.
    EXPECT_EQ(DoPingToSrvUrl(*client, server.Url(u"/body").substr(7)), u"DONE");
}

}  // namespace
}  // namespace dv
