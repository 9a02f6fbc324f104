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

// How a text file spells its text: the system code page, or the encoding its byte-order mark names.
enum class TextEncoding { SystemCodePage, Utf8Bom, Utf16LeBom, Utf16BeBom };

struct FileText {
    std::u16string text;  // without the byte-order mark
    TextEncoding encoding = TextEncoding::SystemCodePage;
    // False for UTF-16 of an odd number of bytes: the last byte is half a character and is not in
    // `text`.
    bool whole = true;
};

// Decodes a text file's bytes: the encoding a byte-order mark names (UTF-8, UTF-16 LE or BE), the
// system code page otherwise. Bytes that are no UTF-8 each become one unpaired surrogate
// (U+DC80-U+DCFF), which EncodeFileText writes back as that byte: a file survives being read and
// written unchanged, whatever it holds.
FileText DecodeTextFile(std::string_view bytes);
// The text alone.
std::u16string DecodeFileText(std::string_view bytes);
// The bytes of a text file in the given encoding, with its byte-order mark. Characters the system
// code page lacks become '?'.
std::string EncodeTextFile(std::u16string_view text, TextEncoding encoding);

// Splits text into lines the way a string list does: CR LF, a lone CR and a lone LF each end a line; text
// after the last line end is a line of its own, a final line end adds no empty line.
std::vector<std::u16string> SplitLines(std::u16string_view text);
// Joins lines, each followed by CR LF.
std::u16string JoinLines(const std::vector<std::u16string>& lines);

// The text with every control character spelled as a visible escape: "\r", "\n", "\t", and "\xHH"
// (two upper-case hex digits) for the other C0 controls, DEL and the C1 controls U+0080-U+009F.
// Text from outside shown or recorded this way cannot break a line or begin a forged one.
std::u16string VisibleText(std::u16string_view text);

// Letter case for comparisons that ignore it (ASCII and Latin-1 letters).
char16_t FoldCase(char16_t c);
std::u16string UpperCase(std::u16string_view text);
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);
bool StartsWithIgnoreCase(std::u16string_view text, std::u16string_view prefix);

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
