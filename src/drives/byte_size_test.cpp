#include "drives/byte_size.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace dv {
namespace {

TEST(FormatRoundedNumber, HalvesGoToTheEvenNeighbourAndThousandsAreGrouped) {
    const struct {
        double value;
        const char16_t* text;
    } cases[] = {
        {0.5, u"0"},
        {1.5, u"2"},
        {2.5, u"2"},
        {3.5, u"4"},
        {2.4999, u"2"},
        {2.5001, u"3"},
        {-0.4, u"0"},
        {-1.5, u"-2"},
        {-2.5, u"-2"},
        {999.5, u"1,000"},
        {1024, u"1,024"},
        {1234567, u"1,234,567"},
        {1e12, u"1,000,000,000,000"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatRoundedNumber(c.value), c.text) << c.value;
}

TEST(FormatByteSize, UnitsAndTheAutomaticChoice) {
    constexpr double kGiga = 1073741824.0;
    const struct {
        const char16_t* unit;
        double size;
        const char16_t* text;
    } cases[] = {
        {u"GB", 16e9, u"15 Gb"},
        {u"GB", 536870912, u"0 Gb"},   // 0.5
        {u"GB", 1610612736, u"2 Gb"},  // 1.5
        {u"GB", 2684354560, u"2 Gb"},  // 2.5
        {u"GB", -1, u"0 Gb"},          // unknown size
        {u"MB", 1572864, u"2 Mb"},
        {u"KB", 1536, u"2 Kb"},
        {u"B", 1536, u"1,536 Byte"},
        {u"0", 1536, u"1,536"},
        {u"", kGiga, u"1,024 Mb"},  // thresholds are strict
        {u"", kGiga + 1, u"1 Gb"},
        {u"", 1048576, u"1,024 Kb"},
        {u"", 1048577, u"1 Mb"},
        {u"", 1024, u"1,024 Byte"},
        {u"", 1025, u"1 Kb"},
        {u"", 0, u"0 Byte"},
        {u"-1", 2 * kGiga, u"2,048 Mb"},
        {u"-1", kGiga, u"1,048,576 Kb"},
        {u"-1", 1048577, u"1,024 Kb"},
        {u"-1", 1048576, u"1,048,576 Byte"},
        {u"gb", 16e9, u""},  // selectors compare exactly
        {u"TB", 16e9, u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatByteSize(c.unit, c.size), c.text) << ToUtf8(c.unit) << ' ' << c.size;
    }
}

}  // namespace
}  // namespace dv
