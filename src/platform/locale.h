// The local time and the user's regional formats.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dv {

struct LocalDateTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

LocalDateTime LocalNow();

// The user's regional separators (":" and "." away from Windows).
char16_t TimeSeparator();
char16_t DecimalSeparator();

// A whole number in the user's number format: thousands separators, no decimals ("1,024" away from
// Windows).
std::u16string FormatWholeNumber(std::int64_t value);
// Upper case by the user locale's rules (away from Windows: ASCII and Latin-1 letters).
std::u16string LocaleUpperCase(std::u16string_view text);

}  // namespace dv
