// Sizes as display text ("15 Gb").
#pragma once

#include <string>
#include <string_view>

namespace dv {

// The value rounded to the nearest whole number (a half goes to the even neighbour), in the user's
// number format with thousands separators and no decimals.
std::u16string FormatRoundedNumber(double value);

// A size in bytes in the unit the selector names: "GB", "MB", "KB", "B" (with " Gb", " Mb", " Kb",
// " Byte"), "" (the largest unit the size exceeds), "-1" (one unit finer than that) or "0" (bytes, no
// unit). Selectors compare exactly; any other selector gives an empty text.
std::u16string FormatByteSize(std::u16string_view unit, double size);

}  // namespace dv
