// Server notification pings: each web address of a shared drive's configuration is called once, and
// the outcome is written to the drive's activity log.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "settings/share_settings.h"
#include "sharing/http_client.h"

namespace dv {

// Ping results that stand for a failure.
inline constexpr std::u16string_view kWrongUrl = u"Wrong Url ";
inline constexpr std::u16string_view kWrongHostName = u"Wrong Host name ";
inline constexpr std::u16string_view kBadUrl = u"404, BAD URL ";
inline constexpr std::u16string_view kServerNotAvailable = u"410, Server not available ";

bool IsPingFailure(std::u16string_view result);

// One ping: the first line of the server's answer (cut to 69 characters), empty for an empty answer,
// or one of the failure results; a handled failure also gets an error line in the application log.
// Nothing for an address the client refused: no request went there, and the one error line in the
// application log, which says why, is all that is written for it. Raises for a failure of any other
// kind.
std::optional<std::u16string> DoPingToSrvUrl(IHttpClient& client, std::u16string_view url);

// Where the lines of a ping's outcome go: a title and a text each.
using PingLog = std::function<void(std::u16string_view title, std::u16string_view text)>;
// One ping, its outcome written as the drive's pings write theirs ("OK, Ping Url " and "OK, server
// said: ", a failure result, or "TIMEOUT, Ping Url ", each with the address in brackets); nothing for
// a refused address. Raises as DoPingToSrvUrl does.
void PingAndLog(IHttpClient& client, std::u16string_view address, const PingLog& log);

// The drive's ping worker: created with the drive's entry, started at most once, and then on its own
// thread until it has called every address. Nobody waits for it; it keeps what it reads alive.
class TPingToWebTh {
public:
    using ClientFactory = std::function<std::unique_ptr<IHttpClient>()>;

    explicit TPingToWebTh(ClientFactory clientFactory = [] { return CreateHttpClient(); });

    // Calls the addresses on a thread of its own, which ends by itself.
    void Start(std::shared_ptr<const TShareSettings> settings, std::u16string driveLetter);

    // The thread's body: the addresses one after another, each outcome logged for the drive.
    static void Execute(const TShareSettings& settings, std::u16string_view driveLetter, IHttpClient& client);

private:
    ClientFactory clientFactory_;
    bool started_ = false;
};

}  // namespace dv
