#include "platform/locale.h"
#include "platform/windows_include.h"

namespace dv {
namespace {

char16_t UserLocaleChar(LCTYPE type, char16_t fallback) {
    wchar_t buffer[8] = {};
    if (::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer, 8) < 2) return fallback;
    return static_cast<char16_t>(buffer[0]);
}

}  // namespace

LocalDateTime LocalNow() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

char16_t TimeSeparator() {
    return UserLocaleChar(LOCALE_STIME, u':');
}

char16_t DecimalSeparator() {
    return UserLocaleChar(LOCALE_SDECIMAL, u'.');
}

}  // namespace dv
