#include "sharing/ping_to_web.h"

#include <exception>
#include <optional>
#include <thread>

#include "logging/logs.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "platform/thread_name.h"

namespace dv {
namespace {

constexpr std::u16string_view kErrorPrefix = u"Class:TWinServiceMgmt Method:doPingToSrv Type:";

// The address as it is requested: given a scheme of its own ("http://" or "https://" in any letter
// case) it is used as written; otherwise it gets "http://" in front unless it holds "http://" somewhere.
std::u16string RequestUrl(std::u16string_view url) {
    if (StartsWithIgnoreCase(url, u"http://") || StartsWithIgnoreCase(url, u"https://")) return std::u16string(url);
    if (url.find(u"http://") != std::u16string_view::npos) return std::u16string(url);
    return u"http://" + std::u16string(url);
}

// The first line of the answer, or its first 69 characters when the first line end comes first or
// late; line ends removed.
std::u16string FirstLineOf(std::u16string_view body) {
    const std::size_t lineFeed = body.find(u'\n');
    const std::size_t p = lineFeed == std::u16string_view::npos ? 0 : lineFeed + 1;  // counted from 1
    const std::u16string_view kept = (p < 2 || p > 70) ? body.substr(0, 69) : body.substr(0, p - 1);
    bool found = false;
    const std::u16string withoutLineFeeds = ReplaceAll(kept, u"\n", u"", found);
    return ReplaceAll(withoutLineFeeds, u"\r", u"", found);
}

}  // namespace

bool IsPingFailure(std::u16string_view result) {
    return result == kWrongUrl || result == kWrongHostName || result == kBadUrl || result == kServerNotAvailable;
}

std::optional<std::u16string> DoPingToSrvUrl(IHttpClient& client, std::u16string_view url) {
    if (url.empty()) return std::u16string();
    const HttpOutcome outcome = client.Get(RequestUrl(url));
    switch (outcome.kind) {
        case HttpOutcome::Kind::Body: return outcome.body.empty() ? std::u16string() : FirstLineOf(outcome.body);
        case HttpOutcome::Kind::SocketError:
            LogError(std::u16string(kErrorPrefix) + u"EIdSocketError " + outcome.message);
            return std::u16string(kServerNotAvailable);
        case HttpOutcome::Kind::HostRequired:
            LogError(std::u16string(kErrorPrefix) + u"EIdHostRequired" + outcome.message);
            return std::u16string(kWrongHostName);
        case HttpOutcome::Kind::HttpError:
            LogError(std::u16string(kErrorPrefix) + u"EIdHTTPProtocolException" + outcome.message);
            return std::u16string(outcome.status == 404 ? kBadUrl : kServerNotAvailable);
        case HttpOutcome::Kind::Refused:
            LogError(std::u16string(kErrorPrefix) + u"ERefusedAddress " + outcome.message);
            return std::nullopt;
        case HttpOutcome::Kind::Failure: break;
    }
    throw Exception(outcome.message);
}

TPingToWebTh::TPingToWebTh(ClientFactory clientFactory) : clientFactory_(std::move(clientFactory)) {}

void PingAndLog(IHttpClient& client, std::u16string_view address, const PingLog& log) {
    const std::optional<std::u16string> answered = DoPingToSrvUrl(client, address);
    if (!answered) return;
    const std::u16string& result = *answered;
    const std::u16string shown = u"(" + std::u16string(address) + u")";
    if (result.empty()) {
        log(u"TIMEOUT, Ping Url ", shown);
    } else if (IsPingFailure(result)) {
        log(result, shown);
    } else {
        log(u"OK, Ping Url ", shown);
        log(u"OK, server said: ", result);
    }
}

void TPingToWebTh::Execute(const TShareSettings& settings, std::u16string_view driveLetter, IHttpClient& client) {
    const PingLog log = [driveLetter](std::u16string_view title, std::u16string_view text) {
        LogDriveActivity(title, text, driveLetter);
    };
    for (std::size_t slot = 0; slot < kPingUrlSlots; ++slot) {
        const std::u16string& address = settings.PingUrl(slot);
        if (!address.empty()) PingAndLog(client, address, log);
    }
}

void TPingToWebTh::Start(std::shared_ptr<const TShareSettings> settings, std::u16string driveLetter) {
    if (started_ || !settings) return;
    started_ = true;
    // The thread owns what it reads: it may outlive the drive's entry and even the registry.
    std::thread([factory = clientFactory_, settings = std::move(settings), letter = std::move(driveLetter)] {
        SetCurrentThreadName(u"PingToWebThread");
        try {
            const std::unique_ptr<IHttpClient> client = factory();
            if (client) Execute(*settings, letter, *client);
        } catch (const std::exception&) {
            // An unexpected failure ends the worker; what it logged so far stays.
        }
    }).detach();
}

}  // namespace dv
