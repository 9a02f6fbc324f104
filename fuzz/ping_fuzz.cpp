// The notification pings against a server that answers anything: the answer's bytes become text,
// its first line is cut for the log, and the worker logs each outcome for its drive. The address
// requested is the configured one or that one with "http://" in front; a kept answer holds no line
// end and at most 69 characters; a failure reads as one of the failure results.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "logging/logs.h"
#include "platform/errors.h"
#include "sharing/ping_to_web.h"

namespace dv {
namespace {

constexpr char16_t kDrive = u'P';

// Answers each request with what the input says next.
class ScriptedClient : public IHttpClient {
public:
    explicit ScriptedClient(FuzzedDataProvider& input) : input_(input) {}

    HttpOutcome Get(std::u16string_view url) override {
        requested = std::u16string(url);
        HttpOutcome outcome;
        outcome.kind = static_cast<HttpOutcome::Kind>(input_.ConsumeIntegralInRange<int>(0, 5));
        outcome.status = input_.ConsumeIntegralInRange<int>(300, 599);
        outcome.message = FromUtf8(input_.ConsumeRandomLengthString(64));
        if (outcome.kind == HttpOutcome::Kind::Body) outcome.body = AnswerText(input_.ConsumeRandomLengthString(300));
        return outcome;
    }

    std::u16string requested;

private:
    FuzzedDataProvider& input_;
};

void CheckHostOf(std::u16string_view url) {
    const std::u16string_view host = HostOfUrl(url);
    if (host.empty()) return;
    FUZZ_CHECK(host.data() >= url.data() && host.data() + host.size() <= url.data() + url.size());
    FUZZ_CHECK(host.find_first_of(u"/?#@") == std::u16string_view::npos);
}

void RemoveLogs() {
    (void)fs::RemoveFile(fuzz::WorkFolder() + std::u16string(kDriveActivityLogName));
    (void)fs::RemoveFile(AppLogPath());
}

}  // namespace
}  // namespace dv

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    using namespace dv;
    // The application log goes to this process's own work folder.
    SetAppLogFolder(fuzz::WorkFolder());
    fs::MapDrive(kDrive, fuzz::WorkFolder());
    SetLogClock([] { return LocalDateTime{2014, 7, 14, 10, 5, 33}; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dv;
    FuzzedDataProvider input(data, size);
    ScriptedClient client(input);

    const std::u16string url = FromUtf8(input.ConsumeRandomLengthString(100));
    CheckHostOf(url);
    try {
        const std::optional<std::u16string> result = DoPingToSrvUrl(client, url);
        if (!url.empty()) FUZZ_CHECK(client.requested == url || client.requested == u"http://" + url);
        if (result && !IsPingFailure(*result)) {
            FUZZ_CHECK(result->size() <= 69);
            FUZZ_CHECK(result->find_first_of(u"\r\n") == std::u16string::npos);
        }
    } catch (const Exception&) {
        // An outcome the pings do not handle ends the worker.
    }

    TShareSettings settings(u"unused");
    for (std::size_t slot = 0; slot < kPingUrlSlots && input.remaining_bytes() > 0; ++slot) {
        settings.FPingUrls[slot] =
            input.ConsumeBool() ? std::u16string() : FromUtf8(input.ConsumeRandomLengthString(40));
    }
    try {
        TPingToWebTh::Execute(settings, std::u16string(1, kDrive), client);
    } catch (const Exception&) {
    }
    RemoveLogs();
    return 0;
}
