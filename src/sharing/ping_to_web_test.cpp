#include "sharing/ping_to_web.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "logging/log_records_test.h"
#include "logging/logs.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"
#include "sharing/scripted_http_client_test.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

using testing::ScriptedClient;
using testing::TempFolder;
using Lines = std::vector<std::u16string>;

HttpOutcome Body(std::u16string body) {
    return {HttpOutcome::Kind::Body, std::move(body), 200, {}};
}

class PingTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogClock([] { return LocalDateTime{2014, 7, 14, 10, 5, 34}; });
        fs::MapDrive(u'E', drive.Path());
    }
    void TearDown() override {
        SetLogClock(nullptr);
        fs::MapDrive(u'E', u"");
    }

    Lines DriveLog() { return testing::LogRecords(drive.File(kDriveActivityLogName)); }
    Lines AppLogDescriptions() {
        Lines records;
        const auto lines = fs::ReadTextLines(temp.File(u"Velmora.log"));
        if (!lines) return records;
        for (std::size_t i = 1; i < lines->size(); ++i) records.push_back(ParseLogLine((*lines)[i])->Description);
        return records;
    }

    TempFolder drive;
    TempFolder temp;
    testing::ScopedAppLogFolder appLog{temp.Path()};
};

TEST_F(PingTest, ResultsFromTheAnswer) {
    struct Case {
        const char* name;
        HttpOutcome outcome;
        std::u16string result;
    };
    const std::u16string hundred(100, u'a');
    const Case cases[] = {
        {"first line", Body(std::u16string(30, u'x') + u"\r\nmore\r\nlines"), std::u16string(30, u'x')},
        {"no line break", Body(hundred), hundred.substr(0, 69)},
        {"begins with LF", Body(u"\nab\r\ncd"), u"abcd"},
        {"first line of 69", Body(std::u16string(69, u'y') + u"\nz"), std::u16string(69, u'y')},
        {"first line of 70", Body(std::u16string(70, u'y') + u"\nz"), std::u16string(69, u'y')},
        {"empty answer", Body(u""), u""},
        {"404", {HttpOutcome::Kind::HttpError, {}, 404, u"HTTP/1.1 404 Not Found"}, u"404, BAD URL "},
        {"410", {HttpOutcome::Kind::HttpError, {}, 410, u"HTTP/1.1 410 Gone"}, u"410, Server not available "},
        {"500", {HttpOutcome::Kind::HttpError, {}, 500, u"HTTP/1.1 500 Oops"}, u"410, Server not available "},
        {"refused", {HttpOutcome::Kind::SocketError, {}, 0, u"refused"}, u"410, Server not available "},
        {"no host", {HttpOutcome::Kind::HostRequired, {}, 0, u"Host is required."}, u"Wrong Host name "},
    };
    for (const auto& c : cases) {
        ScriptedClient client({c.outcome});
        EXPECT_EQ(DoPingToSrvUrl(client, u"srv/ping"), c.result) << c.name;
    }
}

TEST_F(PingTest, SchemeIsAddedOnlyWhereNoneIsGiven) {
    struct Case {
        std::u16string configured, requested;
    };
    const Case cases[] = {
        {u"srv/ping", u"http://srv/ping"},
        {u"http://srv/ping", u"http://srv/ping"},
        {u"HTTP://srv/ping", u"HTTP://srv/ping"},
        {u"https://srv/ping", u"https://srv/ping"},
        {u"HttpS://srv/ping", u"HttpS://srv/ping"},
        {u"srv/redirect?to=http://other", u"srv/redirect?to=http://other"},  // holds "http://" somewhere
        {u"ftp://srv/ping", u"http://ftp://srv/ping"},
    };
    for (const auto& c : cases) {
        ScriptedClient client({Body(u"x")});
        DoPingToSrvUrl(client, c.configured);
        ASSERT_EQ(client.requested.size(), 1u);
        EXPECT_EQ(client.requested[0], c.requested);
    }
    ScriptedClient client({});
    EXPECT_EQ(DoPingToSrvUrl(client, u""), u"");
    EXPECT_TRUE(client.requested.empty());
}

TEST_F(PingTest, HandledFailuresWriteOneErrorLine) {
    ScriptedClient client({{HttpOutcome::Kind::SocketError, {}, 0, u"Socket Error # 12029"},
                           {HttpOutcome::Kind::HostRequired, {}, 0, u"Host is required."},
                           {HttpOutcome::Kind::HttpError, {}, 404, u"HTTP/1.1 404 Not Found"}});
    DoPingToSrvUrl(client, u"a");
    DoPingToSrvUrl(client, u"b");
    DoPingToSrvUrl(client, u"c");
    EXPECT_EQ(
        AppLogDescriptions(),
        (Lines{u" Class:TWinServiceMgmt Method:doPingToSrv Type:EIdSocketError Socket Error # 12029",
               u" Class:TWinServiceMgmt Method:doPingToSrv Type:EIdHostRequiredHost is required.",
               u" Class:TWinServiceMgmt Method:doPingToSrv Type:EIdHTTPProtocolExceptionHTTP/1.1 404 Not Found"}));
}

TEST_F(PingTest, WorkerLogsEachOutcomeForItsDrive) {
    TShareSettings settings(drive.File(u"velmora.conf"));
    settings.FPingUrls[1] = u"srv/a";
    settings.FPingUrls[4] = u"http://srv/b";
    settings.FPingUrls[6] = u"srv/c";
    settings.FPingUrls[7] = u"srv/d";
    ScriptedClient client(
        {Body(u"DONE\r\n"), {HttpOutcome::Kind::SocketError, {}, 0, u"x"}, Body(u""), Body(u"Wrong Url \r\n")});
    TPingToWebTh::Execute(settings, u"E", client);
    EXPECT_EQ(client.requested, (Lines{u"http://srv/a", u"http://srv/b", u"http://srv/c", u"http://srv/d"}));
    EXPECT_EQ(DriveLog(), (Lines{
                              u" OK, Ping Url | (srv/a)",
                              u" OK, server said: | DONE",
                              u" 410, Server not available | (http://srv/b)",
                              u" TIMEOUT, Ping Url | (srv/c)",
                              u" Wrong Url | (srv/d)",
                          }));
}

// A refused address (this computer, its link, a redirection too many or to another scheme) was never
// asked: its one error line says why, the drive's log gets nothing for it, and the next address is
// called as usual.
TEST_F(PingTest, RefusedAddressWritesOneErrorLineAndNothingIntoTheDrivesLog) {
    TShareSettings settings(drive.File(u"velmora.conf"));
    settings.FPingUrls[0] = u"http://127.0.0.1:8080/internal-admin";
    settings.FPingUrls[1] = u"srv/ping";
    ScriptedClient client(
        {{HttpOutcome::Kind::Refused,
          {},
          0,
          u"Not connected to 127.0.0.1 (a loopback address) for http://127.0.0.1:8080/internal-admin"},
         Body(u"DONE")});
    TPingToWebTh::Execute(settings, u"E", client);
    EXPECT_EQ(client.requested.size(), 2u);
    EXPECT_EQ(DriveLog(), (Lines{u" OK, Ping Url | (srv/ping)", u" OK, server said: | DONE"}));
    EXPECT_EQ(AppLogDescriptions(),
              (Lines{u" Class:TWinServiceMgmt Method:doPingToSrv Type:ERefusedAddress Not connected to 127.0.0.1 (a "
                     u"loopback address) for http://127.0.0.1:8080/internal-admin"}));
    ScriptedClient refusing({{HttpOutcome::Kind::Refused, {}, 0, u"Not followed"}});
    EXPECT_EQ(DoPingToSrvUrl(refusing, u"srv/x"), std::nullopt);
}

TEST_F(PingTest, WorkerWithoutAddressesCallsAndWritesNothing) {
    TShareSettings settings(drive.File(u"velmora.conf"));
    ScriptedClient client({});
    TPingToWebTh::Execute(settings, u"E", client);
    EXPECT_TRUE(client.requested.empty());
    EXPECT_FALSE(fs::FileExists(drive.File(u"velmora-activity.log")));
}

TEST_F(PingTest, UnhandledFailureEndsTheWorkerThere) {
    TShareSettings settings(drive.File(u"velmora.conf"));
    settings.FPingUrls[0] = u"srv/a";
    settings.FPingUrls[1] = u"srv/b";
    settings.FPingUrls[2] = u"srv/c";
    ScriptedClient client({Body(u"one"), {HttpOutcome::Kind::Failure, {}, 0, u"redirection loop"}, Body(u"three")});
    EXPECT_THROW(TPingToWebTh::Execute(settings, u"E", client), Exception);
    EXPECT_EQ(client.requested.size(), 2u);
    EXPECT_EQ(DriveLog(), (Lines{u" OK, Ping Url | (srv/a)", u" OK, server said: | one"}));
}

TEST_F(PingTest, StartedWorkerRunsOnItsOwnAndKeepsItsRecordAlive) {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    // Completes when the worker asks for its second address.
    class SignallingClient : public IHttpClient {
    public:
        SignallingClient(std::mutex& m, std::condition_variable& c, bool& d) : m_(m), c_(c), d_(d) {}
        HttpOutcome Get(std::u16string_view url) override {
            if (url == u"http://srv/last") {
                std::lock_guard<std::mutex> lock(m_);
                d_ = true;
                c_.notify_all();
            }
            return Body(u"ok");
        }

    private:
        std::mutex& m_;
        std::condition_variable& c_;
        bool& d_;
    };

    TPingToWebTh worker([&] { return std::make_unique<SignallingClient>(mutex, finished, done); });
    {
        auto settings = std::make_shared<TShareSettings>(drive.File(u"velmora.conf"));
        settings->FPingUrls[0] = u"srv/first";
        settings->FPingUrls[1] = u"srv/last";
        worker.Start(settings, u"E");
    }  // the entry lets go of its record at once
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(finished.wait_for(lock, std::chrono::seconds(10), [&] { return done; }));
    }
    // Its last lines follow the last call.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (DriveLog().size() < 4 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(DriveLog(), (Lines{u" OK, Ping Url | (srv/first)", u" OK, server said: | ok",
                                 u" OK, Ping Url | (srv/last)", u" OK, server said: | ok"}));
}

}  // namespace
}  // namespace dv
