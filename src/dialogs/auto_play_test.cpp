#include "dialogs/auto_play.h"

#include <gtest/gtest.h>

namespace dv {
namespace {

TEST(AutoPlayTest, OnlyOkWithOpenFolderSelectedOpensTheDrive) {
    const struct {
        const char* name;
        TModalResult result;
        int itemIndex;
        std::optional<std::u16string> opened;
    } cases[] = {
        {"Ok with open folder", mrOk, 0, u"E:\\"},
        {"Ok without a selection", mrOk, -1, std::nullopt},
        {"Ok with take no action", mrOk, 1, std::nullopt},
        {"Cancel with open folder", mrCancel, 0, std::nullopt},
        {"close box with open folder", mrNone, 0, std::nullopt},
    };
    for (const auto& c : cases) {
        TfmAutoPlay dialog;
        dialog.Drive = u'E';
        dialog.ItemIndex = c.itemIndex;
        EXPECT_EQ(dialog.OnClose(c.result), c.opened) << c.name;
    }
}

TEST(AutoPlayTest, TheChoiceCarriesOverToTheNextDrive) {
    TfmAutoPlay dialog;
    dialog.Drive = u'E';
    dialog.ItemIndex = kOpenFolderItem;
    ASSERT_TRUE(dialog.OnClose(mrOk));
    dialog.Drive = u'G';
    EXPECT_EQ(dialog.OnClose(mrOk), u"G:\\");
}

TEST(AutoPlayTest, CaptionNamesLabelAndDrive) {
    EXPECT_EQ(AutoPlayCaption(u"BACKUP", u'E'), u"BACKUP (E:)");
    EXPECT_EQ(AutoPlayCaption(u"", u'F'), u" (F:)");
}

}  // namespace
}  // namespace dv
