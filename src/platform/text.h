// Text: the application works in UTF-16 (std::u16string); conversions happen only at the edges.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dv {

// UTF-8 <-> UTF-16. Ill-formed input becomes U+FFFD.
std::u16string FromUtf8(std::string_view utf8);
std::string ToUtf8(std::u16string_view text);

// The system code page (Windows: CP_ACP; elsewhere Windows-1252 stands in for it).
std::u16string FromAnsi(std::string_view bytes);
// Characters the code page lacks become '?'.
std::string ToAnsi(std::u16string_view text);

// Decodes a text file's bytes: the encoding a byte-order mark names (UTF-8, UTF-16 LE or BE), the
// system code page otherwise. The mark itself is not part of the result.
std::u16string DecodeFileText(std::string_view bytes);

// Splits text into lines the way a string list does: CR LF, a lone CR and a lone LF each end a line; text
// after the last line end is a line of its own, a final line end adds no empty line.
std::vector<std::u16string> SplitLines(std::u16string_view text);
// Joins lines, each followed by CR LF.
std::u16string JoinLines(const std::vector<std::u16string>& lines);

// Letter case for comparisons that ignore it (ASCII and Latin-1 letters).
char16_t FoldCase(char16_t c);
std::u16string UpperCase(std::u16string_view text);
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);

// Blanks and tabs.
std::u16string_view TrimBlanks(std::u16string_view text);

std::u16string IntToStr(std::int64_t value);
// The decimal 32-bit signed integer the whole text spells (an optional sign, then digits); nothing
// for other text, the empty text included.
std::optional<std::int32_t> TryStrToInt(std::u16string_view text);


}  // namespace dv

namespace dv {

// Every occurrence of `pattern` replaced by `replacement`, compared exactly; the search goes on behind
// each inserted text. `found` tells whether anything was replaced. An empty pattern changes nothing.
std::u16string ReplaceAll(std::u16string_view text, std::u16string_view pattern, std::u16string_view replacement,
                          bool& found);

}  // namespace dv
