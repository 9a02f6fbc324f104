// The local time and the user's regional formats.
#pragma once

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

}  // namespace dv
