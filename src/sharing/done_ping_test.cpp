#include "sharing/done_ping.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "logging/log_records_test.h"
#include "logging/logs.h"
#include "platform/files.h"
#include "platform/text.h"
#include "sharing/scripted_http_client_test.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

using testing::ScriptedClient;
using testing::TempFolder;
using Lines = std::vector<std::u16string>;

TEST(DonePingUrl, EncodesUtf8BytesAndKeepsOnlyTheUnreservedCharacters) {
    const struct {
        std::u16string text, encoded;
    } cases[] = {
        {u"", u""},
        {u"AZaz09-._~", u"AZaz09-._~"},
        {u"a b+c", u"a%20b%2Bc"},
        {u"&=?#%/:@;,", u"%26%3D%3F%23%25%2F%3A%40%3B%2C"},
        {u"{share}", u"%7Bshare%7D"},
        {u"\\\"'<>", u"%5C%22%27%3C%3E"},
        {u"\r\n\t", u"%0D%0A%09"},
        {u"Caf\u00E9", u"Caf%C3%A9"},
        {u"\u6F22\u5B57", u"%E6%BC%A2%E5%AD%97"},
        {u"\U0001F600", u"%F0%9F%98%80"},
        {u"x\xD800y", u"x%EF%BF%BDy"},  // an unpaired surrogate is no character: U+FFFD
    };
    for (const auto& c : cases) EXPECT_EQ(UrlEncode(c.text), c.encoded) << ToUtf8(c.text);
}

TEST(DonePingUrl, PlaceholdersTakeTheirEncodedValuesAndNothingElseChanges) {
    const TBackupEnd plain{u"ejected", u"BACKUP", u"E", u"OFFICE", u""};
    const TBackupEnd hostile{u"eject-refused", u"a&b=c#d%e f", u"F", u"B\u00FCro-PC", u"{drive} dllhost.exe"};
    const struct {
        const char* name;
        std::u16string address;
        const TBackupEnd& end;
        std::u16string expanded;
    } cases[] = {
        {"every placeholder", u"http://m/done?r={result}&s={share}&d={drive}&h={host}&b={blocker}", plain,
         u"http://m/done?r=ejected&s=BACKUP&d=E&h=OFFICE&b="},
        {"hostile values", u"http://m/{drive}?s={share}&h={host}&b={blocker}&r={result}", hostile,
         u"http://m/F?s=a%26b%3Dc%23d%25e%20f&h=B%C3%BCro-PC&b=%7Bdrive%7D%20dllhost.exe&r=eject-refused"},
        {"no placeholder", u"http://m/plain?x=1", plain, u"http://m/plain?x=1"},
        {"the address itself is not encoded", u"http://m/B\u00FCro {x}?a=%41", plain, u"http://m/B\u00FCro {x}?a=%41"},
        {"unknown and unfinished placeholders stay", u"{unknown}{RESULT}{ result}{result", plain,
         u"{unknown}{RESULT}{ result}{result"},
        {"repeated and nested", u"{drive}{drive}/{{result}}/{{{share}", plain, u"EE/{ejected}/{{BACKUP"},
        {"a value made of a placeholder is not expanded again", u"{share}", TBackupEnd{u"", u"{host}", u"", u"H", u""},
         u"%7Bhost%7D"},
        {"empty", u"", plain, u""},
    };
    for (const auto& c : cases) EXPECT_EQ(ExpandDoneUrl(c.address, c.end), c.expanded) << c.name;
}

class DonePingTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogClock([] { return LocalDateTime{2026, 12, 10, 22, 0, 0}; });
        fs::MapDrive(u'E', drive.Path());
    }
    void TearDown() override {
        SetLogClock(nullptr);
        fs::MapDrive(u'E', u"");
    }

    Lines AppLog() { return testing::LogRecords(temp.File(kAppLogName)); }
    Lines WaitForAppLog(std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (AppLog().size() < count && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return AppLog();
    }

    TempFolder drive;
    TempFolder temp;
    testing::ScopedAppLogFolder appLog{temp.Path()};
    const TBackupEnd ejected{u"ejected", u"BACKUP", u"E", u"OFFICE", u""};
};

TEST_F(DonePingTest, EachAddressIsCalledExpandedAndItsOutcomeGoesToTheApplicationLog) {
    ScriptedClient client({{HttpOutcome::Kind::Body, u"noted\r\nmore", 200, {}},
                           {HttpOutcome::Kind::HttpError, {}, 404, u"HTTP/1.1 404 Not Found"},
                           {HttpOutcome::Kind::Body, u"", 200, {}}});
    CallDoneAddresses({u"srv/a?r={result}", u"", u"http://srv/b/{drive}", u"srv/c?s={share}"}, ejected, client);
    EXPECT_EQ(client.requested, (Lines{u"http://srv/a?r=ejected", u"http://srv/b/E", u"http://srv/c?s=BACKUP"}));
    EXPECT_EQ(AppLog(), (Lines{
                            u" OK, Ping Url | (srv/a?r=ejected)",
                            u" OK, server said: | noted",
                            u" ERROR | Class:TWinServiceMgmt Method:doPingToSrv Type:EIdHTTPProtocolException"
                            u"HTTP/1.1 404 Not Found",
                            u" 404, BAD URL | (http://srv/b/E)",
                            u" TIMEOUT, Ping Url | (srv/c?s=BACKUP)",
                        }));
    // The drive (which may be gone by now) gets nothing.
    EXPECT_FALSE(fs::FileExists(drive.File(u"velmora-activity.log")));
}

TEST_F(DonePingTest, RefusedAddressGetsOnlyTheLineThatSaysWhy) {
    ScriptedClient client({{HttpOutcome::Kind::Refused,
                            {},
                            0,
                            u"Not followed: a redirection to ftp://srv/x, which is "
                            u"neither http nor https"},
                           {HttpOutcome::Kind::Body, u"noted", 200, {}}});
    CallDoneAddresses({u"srv/a?r={result}", u"srv/b"}, ejected, client);
    EXPECT_EQ(client.requested, (Lines{u"http://srv/a?r=ejected", u"http://srv/b"}));
    EXPECT_EQ(AppLog(), (Lines{
                            u" ERROR | Class:TWinServiceMgmt Method:doPingToSrv Type:ERefusedAddress Not followed: a "
                            u"redirection to ftp://srv/x, which is neither http nor https",
                            u" OK, Ping Url | (srv/b)",
                            u" OK, server said: | noted",
                        }));
}

TEST_F(DonePingTest, WorkerKeepsCopiesOfWhatItUses) {
    struct Calls {
        std::mutex mutex;
        Lines requested;
        std::atomic<int> clients{0};
    };
    const auto calls = std::make_shared<Calls>();
    class RecordingClient : public IHttpClient {
    public:
        explicit RecordingClient(std::shared_ptr<Calls> calls) : calls_(std::move(calls)) {}
        HttpOutcome Get(std::u16string_view url) override {
            const std::lock_guard<std::mutex> lock(calls_->mutex);
            calls_->requested.emplace_back(url);
            return {HttpOutcome::Kind::Body, u"DONE", 200, {}};
        }

    private:
        std::shared_ptr<Calls> calls_;
    };
    const TPingToWebTh::ClientFactory factory = [calls] {
        ++calls->clients;
        return std::make_unique<RecordingClient>(calls);
    };

    // A record without done addresses starts nothing.
    StartDonePings(TShareSettings(drive.File(u"velmora.conf")), ejected, factory);

    {
        auto settings = std::make_unique<TShareSettings>(drive.File(u"velmora.conf"));
        settings->FPingUrls[0] = u"srv/not-a-done-address";
        settings->FDonePingUrls[1] = u"srv/first/{result}";
        settings->FDonePingUrls[5] = u"srv/last/{host}";
        TBackupEnd end = ejected;
        StartDonePings(*settings, std::move(end), factory);
        settings->FDonePingUrls[5] = u"srv/changed";
    }  // the record goes at once, as a drive's does when it is ejected
    EXPECT_EQ(WaitForAppLog(4), (Lines{u" OK, Ping Url | (srv/first/ejected)", u" OK, server said: | DONE",
                                       u" OK, Ping Url | (srv/last/OFFICE)", u" OK, server said: | DONE"}));
    const std::lock_guard<std::mutex> lock(calls->mutex);
    EXPECT_EQ(calls->requested, (Lines{u"http://srv/first/ejected", u"http://srv/last/OFFICE"}));
    EXPECT_EQ(calls->clients, 1);
}

}  // namespace
}  // namespace dv
