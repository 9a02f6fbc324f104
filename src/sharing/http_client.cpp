#include "sharing/http_client.h"

#include "platform/text.h"

namespace dv {
namespace {

bool IsValidUtf8(std::string_view bytes) {
    return ToUtf8(FromUtf8(bytes)) == bytes;
}

}  // namespace

std::u16string_view HostOfUrl(std::u16string_view url) {
    std::u16string_view rest;
    if (StartsWithIgnoreCase(url, u"http://")) {
        rest = url.substr(7);
    } else if (StartsWithIgnoreCase(url, u"https://")) {
        rest = url.substr(8);
    } else {
        return {};
    }
    rest = rest.substr(0, rest.find_first_of(u"/?#"));
    if (const std::size_t at = rest.rfind(u'@'); at != std::u16string_view::npos) rest.remove_prefix(at + 1);
    if (!rest.empty() && rest.front() == u'[') return rest.substr(0, rest.find(u']') + 1);  // IPv6 literal
    return rest.substr(0, rest.find(u':'));
}

std::u16string AnswerText(std::string_view bytes) {
    return IsValidUtf8(bytes) ? FromUtf8(bytes) : FromAnsi(bytes);
}

}  // namespace dv
