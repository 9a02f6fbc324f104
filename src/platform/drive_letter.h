// Drive letters, and the spellings of a drive that the system takes ("E:\" for its root, "E:" for
// its device). Every operation that takes a drive takes its letter as text ("E"); this type is what
// that text becomes once it has been read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dv {

// GetDriveTypeW's answers.
inline constexpr std::uint32_t kDriveNoRootDir = 1;
inline constexpr std::uint32_t kDriveRemovable = 2;
inline constexpr std::uint32_t kDriveFixed = 3;
inline constexpr std::uint32_t kDriveRemote = 4;
inline constexpr std::uint32_t kDriveCdRom = 5;
inline constexpr std::uint32_t kDriveRamDisk = 6;

// One of the letters A to Z, always upper case.
class TDriveLetter {
public:
    // The letter in either case; raises EConvertError for any other character.
    explicit TDriveLetter(char16_t letter);
    // The drive a text names (as Parse reads it); raises EConvertError for any other text.
    explicit TDriveLetter(std::u16string_view text);

    // The drive a text names: "E", "e", "E:" or "E:\"; nothing for anything else (empty, another
    // character, more text).
    static std::optional<TDriveLetter> Parse(std::u16string_view text);
    // The letter of a character in either case; nothing for any other character.
    static std::optional<TDriveLetter> Of(char16_t letter);

    char16_t Letter() const { return letter_; }
    // "E"
    std::u16string Text() const;
    // "E:"
    std::u16string Device() const;
    // "E:\"
    std::u16string Root() const;

    bool operator==(const TDriveLetter&) const = default;

private:
    struct Checked {};
    TDriveLetter(char16_t upper, Checked) : letter_(upper) {}

    char16_t letter_;
};

}  // namespace dv
