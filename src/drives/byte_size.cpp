#include "drives/byte_size.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/locale.h"

namespace dv {
namespace {

constexpr double kKilo = 1024.0;
constexpr double kMega = 1048576.0;
constexpr double kGiga = 1073741824.0;

// Half to even, whatever rounding mode the floating-point environment was left in.
std::int64_t RoundHalfEven(double value) {
    if (std::isnan(value)) return 0;
    constexpr double kLimit = 9.2e18;  // inside the range of int64, far beyond any disk
    if (value >= kLimit) return static_cast<std::int64_t>(kLimit);
    if (value <= -kLimit) return -static_cast<std::int64_t>(kLimit);
    const double lower = std::floor(value);
    const double fraction = value - lower;
    auto whole = static_cast<std::int64_t>(lower);
    if (fraction > 0.5 || (fraction == 0.5 && whole % 2 != 0)) ++whole;
    return whole;
}

std::u16string InUnit(double size, double divisor, std::u16string_view suffix) {
    return FormatRoundedNumber(size / divisor) + std::u16string(suffix);
}

}  // namespace

std::u16string FormatRoundedNumber(double value) {
    return FormatWholeNumber(RoundHalfEven(value));
}

std::u16string FormatByteSize(std::u16string_view unit, double size) {
    if (unit == u"GB") return InUnit(size, kGiga, u" Gb");
    if (unit == u"MB") return InUnit(size, kMega, u" Mb");
    if (unit == u"KB") return InUnit(size, kKilo, u" Kb");
    if (unit == u"B") return InUnit(size, 1.0, u" Byte");
    if (unit.empty()) {
        if (size > kGiga) return FormatByteSize(u"GB", size);
        if (size > kMega) return FormatByteSize(u"MB", size);
        if (size > kKilo) return FormatByteSize(u"KB", size);
        return FormatByteSize(u"B", size);
    }
    if (unit == u"-1") {
        if (size > kGiga) return FormatByteSize(u"MB", size);
        if (size > kMega) return FormatByteSize(u"KB", size);
        return FormatByteSize(u"B", size);
    }
    if (unit == u"0") return FormatRoundedNumber(size);
    return {};
}

}  // namespace dv
