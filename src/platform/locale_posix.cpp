#include <ctime>

#include "platform/locale.h"
#include "platform/text.h"

namespace dv {

LocalDateTime LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

char16_t TimeSeparator() {
    return u':';
}

char16_t DecimalSeparator() {
    return u'.';
}

std::u16string FormatWholeNumber(std::int64_t value) {
    // Digits of the magnitude, built from the unsigned value so that the most negative number works.
    std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::u16string reversed;
    int digits = 0;
    do {
        if (digits > 0 && digits % 3 == 0) reversed.push_back(u',');
        reversed.push_back(static_cast<char16_t>(u'0' + magnitude % 10));
        magnitude /= 10;
        ++digits;
    } while (magnitude != 0);
    if (value < 0) reversed.push_back(u'-');
    return std::u16string(reversed.rbegin(), reversed.rend());
}

std::u16string LocaleUpperCase(std::u16string_view text) {
    return UpperCase(text);
}

}  // namespace dv
