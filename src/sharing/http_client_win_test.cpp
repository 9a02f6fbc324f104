// The WinHTTP client against a real HTTP server on 127.0.0.1, run by the test itself.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "sharing/http_client.h"
#include "sharing/ping_to_web.h"

namespace dv {
namespace {

// A small HTTP/1.1 server, answers chosen by path. Each connection has a thread of its own, so that
// misbehaving answers (a trickle, silence) can go on side by side; Stop ends them all.
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
        Stop();
        WSACleanup();
    }

    // Ends the trickles and silences, which closes their connections, and joins every thread.
    void Stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
            stopping_ = true;
        }
        stop_.notify_all();
        closesocket(listener_);  // ends the accept loop
        thread_.join();
        for (auto& connection : connections_) connection.join();  // no more are added now
    }

    std::u16string Url(std::u16string_view path) const {
        return u"http://127.0.0.1:" + IntToStr(port_) + std::u16string(path);
    }

private:
    void Serve() {
        for (;;) {
            const SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET) return;
            connections_.emplace_back([this, client] {
                Converse(client);
                closesocket(client);
            });
        }
    }

    void Converse(SOCKET client) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const int got = recv(client, buffer, sizeof buffer, 0);
            if (got <= 0) return;
            request.append(buffer, got);
        }
        const std::size_t start = request.find(' ') + 1;
        const std::string path = request.substr(start, request.find(' ', start) - start);
        if (path == "/hang") return Trickle(client, "", "");  // accepted, never answered
        if (path == "/trickle-headers") return Trickle(client, "HTTP/1.1 200 OK\r\nX-Slow: ", "a");
        const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n";
        if (path == "/trickle-body") return Trickle(client, head, "b");
        if (path == "/silent-body") return Trickle(client, head, "");
        const std::string answer = Answer(path);
        send(client, answer.data(), static_cast<int>(answer.size()), 0);
        shutdown(client, SD_SEND);
    }

    // Sends `first`, then `each` every 2 s until the server stops or the client goes away.
    void Trickle(SOCKET client, const std::string& first, const std::string& each) {
        if (!first.empty()) send(client, first.data(), static_cast<int>(first.size()), 0);
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                if (stop_.wait_for(lock, std::chrono::seconds(2), [this] { return stopping_; })) return;
            }
            if (!each.empty() && send(client, each.data(), static_cast<int>(each.size()), 0) <= 0) return;
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
    std::mutex mutex_;
    std::condition_variable stop_;
    bool stopping_ = false;
    std::thread thread_;
    std::vector<std::thread> connections_;  // added by the accept loop only, joined after it ended
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

// A server that never finishes its answer, whether silent or sending a byte now and then, costs a
// request no more than the product's whole-request limit: each case waits out that limit, side by
// side with the others.
TEST_F(WinHttpTest, MisbehavingServerEndsTheRequestWithinItsLimit) {
    const std::u16string paths[] = {u"/hang", u"/trickle-headers", u"/silent-body", u"/trickle-body"};
    constexpr auto kBound = std::chrono::seconds(35);  // the 30 s limit and room for a loaded machine
    struct Run {
        std::promise<void> done;
        HttpOutcome outcome;
        std::chrono::steady_clock::duration took{};
    };
    std::vector<Run> runs(std::size(paths));
    std::vector<std::thread> threads;
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < runs.size(); ++i) {
        threads.emplace_back([&run = runs[i], url = server.Url(paths[i]), start] {
            run.outcome = CreateHttpClient()->Get(url);  // the product's own limits
            run.took = std::chrono::steady_clock::now() - start;
            run.done.set_value();
        });
    }
    // A request still running at the bound is let go by stopping the server, so that the test ends.
    for (auto& run : runs) run.done.get_future().wait_until(start + kBound);
    server.Stop();
    for (auto& thread : threads) thread.join();

    for (std::size_t i = 0; i < runs.size(); ++i) {
        const auto seconds = std::chrono::duration<double>(runs[i].took).count();
        SCOPED_TRACE(ToUtf8(paths[i]) + " took " + std::to_string(seconds) + " s");
        EXPECT_LT(runs[i].took, kBound);
        EXPECT_EQ(runs[i].outcome.kind, HttpOutcome::Kind::SocketError);
        EXPECT_EQ(runs[i].outcome.message, u"Socket Error # 10060 Connection timed out.");
    }
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
