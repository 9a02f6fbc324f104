// The WinHTTP client against a real HTTP server on 127.0.0.1, run by the test itself. The client refuses
// this computer's addresses: the tests let through only the address of the server they talk to.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "sharing/http_client.h"
#include "sharing/ping_to_web.h"

namespace dv {
namespace {

// A small HTTP/1.1 server on a loopback address, answers chosen by path; it counts the connections
// that reach it and notes the paths asked for. Each connection has a thread of its own, so that
// misbehaving answers (a trickle, silence) can go on side by side; Stop ends them all.
class TestServer {
public:
    explicit TestServer(const char* address = "127.0.0.1") : address_(address) {
        WSADATA data{};
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in bound{};
        bound.sin_family = AF_INET;
        inet_pton(AF_INET, address, &bound.sin_addr);
        bind(listener_, reinterpret_cast<sockaddr*>(&bound), sizeof bound);
        listen(listener_, 8);
        int length = sizeof bound;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&bound), &length);
        port_ = ntohs(bound.sin_port);
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
        return u"http://" + FromUtf8(address_) + u":" + IntToStr(port_) + std::u16string(path);
    }
    int Port() const { return port_; }
    int Connections() const { return connections_accepted_; }
    std::vector<std::string> Paths() {
        std::lock_guard<std::mutex> lock(mutex_);
        return paths_;
    }

private:
    void Serve() {
        for (;;) {
            const SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET) return;
            ++connections_accepted_;
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
        {
            std::lock_guard<std::mutex> lock(mutex_);
            paths_.push_back(path);
        }
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
        if (path == "/secret") return Reply("200 OK", "API_KEY=sk-live-0123 LOCALHOST-ONLY ADMIN PAGE");
        // /chain/N: N redirections in a row, then an answer.
        if (path.starts_with("/chain/")) {
            const int left = std::stoi(path.substr(7));
            if (left == 0) return Reply("200 OK", "END");
            return Reply("302 Found", "", "Location: /chain/" + std::to_string(left - 1) + "\r\n");
        }
        // /to?TARGET: a redirection to TARGET as written.
        if (path.starts_with("/to?")) return Reply("302 Found", "", "Location: " + path.substr(4) + "\r\n");
        // /moved/CODE: a redirection of that status to /body.
        if (path.starts_with("/moved/")) return Reply(path.substr(7) + " Moved", "", "Location: /body\r\n");
        if (path == "/dir/relative") return Reply("302 Found", "", "Location: ../body#top\r\n");
        if (path == "/large") return Reply("200 OK", std::string(200 * 1024, 'L'));
        if (path == "/utf8") return Reply("200 OK", "Caf\xC3\xA9 \xE2\x84\xA2");
        return Reply("400 Bad Request", "");
    }

    std::string address_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<int> connections_accepted_{0};
    std::vector<std::string> paths_;
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

// The product's limits, and the test server's address let through.
HttpLimits LettingThrough(std::u16string address, HttpLimits limits = {}) {
    limits.exemptAddressForTests = std::move(address);
    return limits;
}

class WinHttpTest : public ::testing::Test {
protected:
    TestServer server;
    std::unique_ptr<IHttpClient> client = CreateHttpClient(LettingThrough(u"127.0.0.1", {2000, 3000, {}}));
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
        {u"/dir/relative", HttpOutcome::Kind::Body, 200, u"DONE\r\nsecond line\r\n"},
        {u"/moved/301", HttpOutcome::Kind::Body, 200, u"DONE\r\nsecond line\r\n"},
        {u"/moved/303", HttpOutcome::Kind::Body, 200, u"DONE\r\nsecond line\r\n"},
        {u"/moved/307", HttpOutcome::Kind::Body, 200, u"DONE\r\nsecond line\r\n"},
        {u"/moved/308", HttpOutcome::Kind::Body, 200, u"DONE\r\nsecond line\r\n"},
        {u"/moved/300", HttpOutcome::Kind::Failure, 300, u""},
        {u"/moved/304", HttpOutcome::Kind::Failure, 304, u""},
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
            run.outcome = CreateHttpClient(LettingThrough(u"127.0.0.1"))->Get(url);  // the product's own limits
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

// This computer and its link are refused on every road: a request for it, a name that resolves to
// it, a redirection to it. Nothing connects: the server on 127.0.0.1 counts no connection at all. The
// redirecting server, on 127.0.0.2, is the only address the client lets through.
TEST(WinHttpRefusal, ThisComputerIsNeverConnectedTo) {
    TestServer secret;
    TestServer redirector("127.0.0.2");
    const std::unique_ptr<IHttpClient> product = CreateHttpClient({2000, 3000, {}});
    const std::unique_ptr<IHttpClient> throughRedirector =
        CreateHttpClient(LettingThrough(u"127.0.0.2", {2000, 3000, {}}));
    const std::u16string port = u":" + IntToStr(secret.Port());
    struct Case {
        std::u16string url;
        IHttpClient& client;
        std::u16string message;
    };
    const Case cases[] = {
        {secret.Url(u"/secret"), *product,
         u"Not connected to 127.0.0.1 (a loopback address) for " + secret.Url(u"/secret")},
        {u"http://localhost" + port + u"/secret", *product, {}},
        {u"http://127.1" + port + u"/secret", *product, {}},
        {u"http://2130706433" + port + u"/secret", *product, {}},
        {u"http://[::ffff:127.0.0.1]" + port + u"/secret", *product, {}},
        {u"http://[::1]" + port + u"/secret", *product,
         u"Not connected to ::1 (a loopback address) for http://[::1]" + port + u"/secret"},
        {u"http://0.0.0.0" + port + u"/secret", *product, {}},
        {u"http://169.254.169.254/latest/meta-data/", *product, {}},
        {u"http://[fe80::1]/", *product, {}},
        {redirector.Url(u"/to?") + secret.Url(u"/secret"), *throughRedirector,
         u"Not connected to 127.0.0.1 (a loopback address) for " + secret.Url(u"/secret") +
             u", reached by a redirection from " + redirector.Url(u"/to?") + secret.Url(u"/secret")},
        {redirector.Url(u"/to?//localhost") + port + u"/secret", *throughRedirector, {}},
        // The redirector itself, seen by a client that does not let it through.
        {redirector.Url(u"/to?") + secret.Url(u"/secret"), *product, {}},
    };
    for (const auto& c : cases) {
        const HttpOutcome outcome = c.client.Get(c.url);
        EXPECT_EQ(outcome.kind, HttpOutcome::Kind::Refused) << ToUtf8(c.url) << ": " << ToUtf8(outcome.message);
        if (!c.message.empty()) {
            EXPECT_EQ(outcome.message, c.message) << ToUtf8(c.url);
        }
        EXPECT_TRUE(outcome.body.empty()) << ToUtf8(c.url);
    }
    EXPECT_EQ(secret.Connections(), 0);
    EXPECT_EQ(redirector.Paths(), (std::vector<std::string>{"/to?" + ToUtf8(secret.Url(u"/secret")),
                                                            "/to?//localhost" + ToUtf8(port) + "/secret"}));
}

// Five redirections in a row are followed; the sixth is not, and its target is never asked for. Nor
// is a target of another scheme than http or https.
TEST_F(WinHttpTest, RedirectionsAreFollowedFiveTimesAndOnlyToHttp) {
    const HttpOutcome five = client->Get(server.Url(u"/chain/5"));
    EXPECT_EQ(five.kind, HttpOutcome::Kind::Body) << ToUtf8(five.message);
    EXPECT_EQ(five.body, u"END");
    const std::size_t asked = server.Paths().size();
    EXPECT_EQ(asked, 6u);

    const HttpOutcome six = client->Get(server.Url(u"/chain/6"));
    EXPECT_EQ(six.kind, HttpOutcome::Kind::Refused);
    EXPECT_EQ(six.message, u"Not followed: more than 5 redirections, the last from " + server.Url(u"/chain/1"));
    const std::vector<std::string> paths = server.Paths();
    EXPECT_EQ(std::vector<std::string>(paths.begin() + asked, paths.end()),
              (std::vector<std::string>{"/chain/6", "/chain/5", "/chain/4", "/chain/3", "/chain/2", "/chain/1"}));

    EXPECT_EQ(client->Get(server.Url(u"/loop")).kind, HttpOutcome::Kind::Refused);

    const struct {
        std::u16string target, message;
    } others[] = {
        {u"ftp://127.0.0.1/file",
         u"Not followed: a redirection to ftp://127.0.0.1/file, which is neither http nor https"},
        {u"file:///c:/windows/win.ini",
         u"Not followed: a redirection to file:///c:/windows/win.ini, which is neither "
         u"http nor https"},
    };
    for (const auto& other : others) {
        const int before = server.Connections();
        const HttpOutcome outcome = client->Get(server.Url(u"/to?") + other.target);
        EXPECT_EQ(outcome.kind, HttpOutcome::Kind::Refused) << ToUtf8(other.target);
        EXPECT_EQ(outcome.message, other.message);
        EXPECT_EQ(server.Connections(), before + 1) << "the redirection alone";
    }
}

TEST_F(WinHttpTest, PingResultsFromARealServer) {
    EXPECT_EQ(DoPingToSrvUrl(*client, server.Url(u"/body")), u"DONE");
    EXPECT_EQ(DoPingToSrvUrl(*client, server.Url(u"/empty")), u"");
    EXPECT_EQ(DoPingToSrvUrl(*client, server.Url(u"/404")), u"404, BAD URL ");
    EXPECT_EQ(DoPingToSrvUrl(*client, server.Url(u"/500")), u"410, Server not available ");
    EXPECT_EQ(DoPingToSrvUrl(*client, server.Url(u"/large")), std::u16string(69, u'L'));
    // Without a scheme the address gets one.
    EXPECT_EQ(DoPingToSrvUrl(*client, server.Url(u"/body").substr(7)), u"DONE");
    // A refused address has no result: the drive's log gets nothing for it.
    EXPECT_EQ(DoPingToSrvUrl(*CreateHttpClient({2000, 3000, {}}), server.Url(u"/body")), std::nullopt);
    EXPECT_EQ(DoPingToSrvUrl(*client, server.Url(u"/to?http://127.0.0.2:1/")), std::nullopt);
}

}  // namespace
}  // namespace dv
