#include "platform/os_error.h"

#include <string_view>

#include "platform/text.h"

namespace dv {

std::u16string TrimOSErrorText(std::u16string text) {
    while (!text.empty() && (text.back() < u'!' || text.back() == u'.')) text.pop_back();
    return text;
}

std::u16string OSErrorText(std::uint32_t code) {
    return TrimOSErrorText(FormatOSMessage(code, true));
}

std::u16string SystemErrorMessage(std::uint32_t code) {
    return TrimOSErrorText(FormatOSMessage(code, false));
}

std::u16string OSErrorMessage(std::uint32_t code, std::u16string_view text) {
    if (code == 0) return u"A call to an OS function failed";
    return u"System Error.  Code: " + IntToStr(code) + u".\r\n" + std::u16string(text);
}

void RaiseOSError(std::uint32_t code) {
    throw EOSError(OSErrorMessage(code, code == 0 ? u"" : OSErrorText(code)), code);
}

void RaiseLastOSError(std::uint32_t code) {
    throw EOSError(OSErrorMessage(code, code == 0 ? u"" : SystemErrorMessage(code)), code);
}

std::u16string OSStatusMessage(TOsStatus status) {
    if (status.Code == 0) return OSErrorMessage(0, u"");
    return OSErrorMessage(status.Code, status.LastError ? SystemErrorMessage(status.Code) : OSErrorText(status.Code));
}

void RaiseIfFailed(TOsStatus status) {
    if (status.ok()) return;
    throw EOSError(OSStatusMessage(status), status.Code);
}

}  // namespace dv
