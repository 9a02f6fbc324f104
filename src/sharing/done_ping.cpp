#include "sharing/done_ping.h"

#include <cstddef>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "logging/logs.h"
#include "platform/text.h"
#include "platform/thread_name.h"

namespace dv {
namespace {

bool IsUnreserved(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

}  // namespace

std::u16string UrlEncode(std::u16string_view text) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    std::u16string encoded;
    for (const char c : ToUtf8(text)) {
        if (IsUnreserved(c)) {
            encoded += static_cast<char16_t>(c);
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        encoded += u'%';
        encoded += static_cast<char16_t>(kHexDigits[byte >> 4]);
        encoded += static_cast<char16_t>(kHexDigits[byte & 0x0F]);
    }
    return encoded;
}

std::u16string ExpandDoneUrl(std::u16string_view address, const TBackupEnd& end) {
    const std::pair<std::u16string_view, const std::u16string*> placeholders[] = {
        {u"{result}", &end.result}, {u"{share}", &end.share},     {u"{drive}", &end.drive},
        {u"{host}", &end.host},     {u"{blocker}", &end.blocker},
    };
    std::u16string expanded;
    std::size_t copied = 0;
    // One pass over the address: what a value brings in is never read again.
    for (std::size_t at = address.find(u'{'); at != std::u16string_view::npos; at = address.find(u'{', at + 1)) {
        for (const auto& [placeholder, value] : placeholders) {
            if (address.substr(at).starts_with(placeholder)) {
                expanded.append(address.substr(copied, at - copied)).append(UrlEncode(*value));
                copied = at + placeholder.size();
                at = copied - 1;
                break;
            }
        }
    }
    expanded.append(address.substr(copied));
    return expanded;
}

void CallDoneAddresses(const std::vector<std::u16string>& addresses, const TBackupEnd& end, IHttpClient& client) {
    const PingLog log = [](std::u16string_view title, std::u16string_view text) { LogApp(title, text); };
    for (const std::u16string& address : addresses) {
        if (!address.empty()) PingAndLog(client, ExpandDoneUrl(address, end), log);
    }
}

void StartDonePings(const TShareSettings& settings, TBackupEnd end, TPingToWebTh::ClientFactory clientFactory) {
    std::vector<std::u16string> addresses;
    for (std::size_t slot = 0; slot < kPingUrlSlots; ++slot) {
        if (!settings.DonePingUrl(slot).empty()) addresses.push_back(settings.DonePingUrl(slot));
    }
    if (addresses.empty() || !clientFactory) return;
    // Everything by value: the thread may outlive the drive's entry, its record and the controller.
    std::thread([factory = std::move(clientFactory), addresses = std::move(addresses), end = std::move(end)] {
        SetCurrentThreadName(u"DonePingThread");
        try {
            const std::unique_ptr<IHttpClient> client = factory();
            if (client) CallDoneAddresses(addresses, end, *client);
        } catch (const std::exception&) {
            // An unexpected failure ends the worker; what it logged so far stays.
        }
    }).detach();
}

}  // namespace dv
