#include "shell/tray_captions.h"

#include <gtest/gtest.h>

namespace dv {
namespace {

TEST(TrayCaptions, PerDriveEntriesReadAsTheTrayShowsThem) {
    EXPECT_EQ(ModifyCaption(u"BACKUP", u'E', u"15 Gb", u"OFFICE", u"backup"),
              u"Modify: BACKUP (E:) - 15 Gb | Sharing@ \\\\OFFICE\\backup");
    EXPECT_EQ(EjectCaption(u"BACKUP", u'E', u"15 Gb"), u"Eject: BACKUP (E:) - 15 Gb");
    // A drive without a label keeps the blank before the letter.
    EXPECT_EQ(EjectCaption(u"", u'F', u"7 Gb"), u"Eject:  (F:) - 7 Gb");
    EXPECT_EQ(HostCaption(u"OFFICE (\\\\192.168.1.5)"), u"Host: OFFICE (\\\\192.168.1.5)");
}

TEST(TrayCaptions, TheAddEntryListsTheDrivesOrAsksForOne) {
    struct Case {
        std::vector<TAddableDrive> drives;
        std::u16string caption;
    };
    const Case cases[] = {
        {{}, u"Add:   [Connect External Drive first]"},
        {{{u'F', u"7 Gb"}}, u"Add:  F:(7 Gb)"},
        {{{u'F', u"7 Gb"}, {u'G', u"15 Gb"}}, u"Add:  F:(7 Gb)/ G:(15 Gb)"},
    };
    for (const Case& c : cases) EXPECT_EQ(AddCaption(c.drives), c.caption);
}

}  // namespace
}  // namespace dv
