#include <ctime>

#include "platform/locale.h"

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

}  // namespace dv
