#include "dialogs/auto_play_dialog.h"

#include <gtest/gtest.h>

namespace dv {
namespace {

TEST(AutoPlayTest, OnlyOkWithOpenFolderSelectedOpensTheDrive) {
    const struct {
        const char* name;
        TDialogResult result;
        int itemIndex;
        std::optional<std::u16string> opened;
    } cases[] = {
        {"Ok with open folder", TDialogResult::Ok, 0, u"E:\\"},
        {"Ok without a selection", TDialogResult::Ok, -1, std::nullopt},
        {"Ok with take no action", TDialogResult::Ok, 1, std::nullopt},
        {"Cancel with open folder", TDialogResult::Cancel, 0, std::nullopt},
        {"close box with open folder", TDialogResult::None, 0, std::nullopt},
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
    ASSERT_TRUE(dialog.OnClose(TDialogResult::Ok));
    dialog.Drive = u'G';
    EXPECT_EQ(dialog.OnClose(TDialogResult::Ok), u"G:\\");
}

TEST(AutoPlayTest, CaptionNamesLabelAndDrive) {
    EXPECT_EQ(AutoPlayCaption(u"BACKUP", u'E'), u"BACKUP (E:)");
    EXPECT_EQ(AutoPlayCaption(u"", u'F'), u" (F:)");
}

}  // namespace
}  // namespace dv
