#include "platform/drive_letter.h"

#include "platform/errors.h"
#include "platform/text.h"

namespace dv {
namespace {

char16_t UpperLetter(char16_t letter) {
    if (letter >= u'a' && letter <= u'z') return static_cast<char16_t>(letter - u'a' + u'A');
    return letter >= u'A' && letter <= u'Z' ? letter : 0;
}

}  // namespace

TDriveLetter::TDriveLetter(char16_t letter) : letter_(UpperLetter(letter)) {
    if (letter_ == 0) throw EConvertError(u"Not a drive letter: " + VisibleText(std::u16string(1, letter)));
}

TDriveLetter::TDriveLetter(std::u16string_view text) : letter_(0) {
    const std::optional<TDriveLetter> drive = Parse(text);
    if (!drive) throw EConvertError(u"Not a drive: " + VisibleText(text));
    letter_ = drive->letter_;
}

std::optional<TDriveLetter> TDriveLetter::Of(char16_t letter) {
    const char16_t upper = UpperLetter(letter);
    if (upper == 0) return std::nullopt;
    return TDriveLetter(upper, Checked{});
}

std::optional<TDriveLetter> TDriveLetter::Parse(std::u16string_view text) {
    if (text.empty()) return std::nullopt;
    const std::u16string_view rest = text.substr(1);
    if (!rest.empty() && rest != u":" && rest != u":\\") return std::nullopt;
    return Of(text[0]);
}

std::u16string TDriveLetter::Text() const {
    return std::u16string(1, letter_);
}

std::u16string TDriveLetter::Device() const {
    return Text() + u":";
}

std::u16string TDriveLetter::Root() const {
    return Text() + u":\\";
}

}  // namespace dv
