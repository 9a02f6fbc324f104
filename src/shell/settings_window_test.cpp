#include "shell/settings_window.h"

#include <utility>

#include <gtest/gtest.h>

#include "resources/resource_ids.h"

namespace dv {
namespace {

using Lines = std::vector<std::u16string>;

// A window that remembers what it was asked to show.
class RecordingSettingsWindow : public ISettingsWindow {
public:
    std::vector<TSettingsControl> rendered;
    int shown = 0, hidden = 0;
    std::optional<std::u16string> answer;
    std::vector<std::pair<std::u16string, std::u16string>> choosers;  // filter, folder

    void Render(TSettingsControl control) override { rendered.push_back(control); }
    void ShowCentred() override { ++shown; }
    void Hide() override { ++hidden; }
    std::optional<std::u16string> ChooseFile(std::u16string_view filter, std::u16string_view folder) override {
        choosers.emplace_back(filter, folder);
        return answer;
    }
};

TEST(SettingsControls, ADropDownSelectsOnlyWhatItHolds) {
    struct Case {
        const char* name;
        int select;
        int selected;
        std::u16string text;
    };
    const Case cases[] = {
        {"first", 0, 0, u"Silent (no sound)"}, {"last", 2, 2, u"x.wav"},    {"none", -1, -1, u""},
        {"past the end", 3, -1, u""},          {"below none", -5, -1, u""},
    };
    for (const Case& c : cases) {
        TDropDownState box;
        box.SetItems({u"Silent (no sound)", u"Defaut backup done sound", u"x.wav"});
        box.Select(1);
        box.Select(c.select);
        EXPECT_EQ(box.ItemIndex, c.selected) << c.name;
        EXPECT_EQ(box.Text(), c.text) << c.name;
    }

    // Filled again, a box selects nothing until told.
    TDropDownState box;
    box.SetItems({u"a", u"b"});
    box.Select(1);
    box.SetItems({u"c"});
    EXPECT_EQ(box.ItemIndex, -1);
    EXPECT_EQ(box.Text(), u"");

    const TSettingsControls controls;
    EXPECT_EQ(controls.cbAutoPlayUSBDisk.Items,
              (Lines{u"Always disabled", u"Disable for Dockvane disks", u"Always enabled"}));
    EXPECT_EQ(controls.cbAutoPlayUSBDisk.ItemIndex, -1);
}

TEST(SettingsControls, NotificationsMeanTheirControlsActionOnly) {
    struct Case {
        int control;
        int code;
        TSettingsAction action;
    };
    constexpr int kDropDownOpened = 7;  // CBN_DROPDOWN
    constexpr int kFocusGained = 6;     // BN_SETFOCUS
    const Case cases[] = {
        {IDC_SETTINGS_PLAY_AVAILABLE, kButtonClicked, TSettingsAction::PlayAvailableSound},
        {IDC_SETTINGS_SOUND_AVAILABLE, kSelectionChanged, TSettingsAction::AvailableSoundChanged},
        {IDC_SETTINGS_PLAY_DONE, kButtonClicked, TSettingsAction::PlayDoneSound},
        {IDC_SETTINGS_SOUND_DONE, kSelectionChanged, TSettingsAction::DoneSoundChanged},
        {IDC_SETTINGS_RENEW_PASSWORD, kButtonClicked, TSettingsAction::RenewPassword},
        {IDC_SETTINGS_CHECK_UPDATE, kButtonClicked, TSettingsAction::CheckForUpdate},
        {IDC_SETTINGS_AUTOPLAY, kSelectionChanged, TSettingsAction::AutoPlayChanged},
        {IDC_SETTINGS_AUTOSTART, kButtonClicked, TSettingsAction::AutostartClicked},
        {IDC_SETTINGS_OK, kButtonClicked, TSettingsAction::Ok},
        // Escape, the close of the box by Enter away from the buttons, and the Cancel button.
        {IDC_SETTINGS_CANCEL, kButtonClicked, TSettingsAction::Cancel},
        // Opening a list or moving the focus is no choice yet.
        {IDC_SETTINGS_SOUND_AVAILABLE, kDropDownOpened, TSettingsAction::None},
        {IDC_SETTINGS_AUTOPLAY, kDropDownOpened, TSettingsAction::None},
        {IDC_SETTINGS_AUTOSTART, kFocusGained, TSettingsAction::None},
        // Labels and headings.
        {IDC_STATIC_TEXT, kButtonClicked, TSettingsAction::None},
        {IDC_SETTINGS_SOUNDS_HEADING, kButtonClicked, TSettingsAction::None},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SettingsActionOf(c.control, c.code), c.action) << c.control << "/" << c.code;
    }
}

TEST(SettingsForm, ShowsEachChangeAndOpensTheChooserInTheMediaFolder) {
    RecordingSettingsWindow window;
    TfmSettings form(window);
    ISettingsView& view = form;

    view.SetSoundEntries(TSoundBox::Done, {u"Silent (no sound)", u"Defaut backup done sound"});
    view.SelectSound(TSoundBox::Done, 1);
    view.SetAutostartChecked(true);
    view.SetAutoPlaySelection(7);  // no such mode: nothing selected
    EXPECT_EQ(window.rendered,
              (std::vector<TSettingsControl>{TSettingsControl::DoneSound, TSettingsControl::DoneSound,
                                             TSettingsControl::Autostart, TSettingsControl::AutoPlay}));
    EXPECT_EQ(view.SelectedSound(TSoundBox::Done), 1);
    EXPECT_EQ(view.SelectedSound(TSoundBox::Available), -1);
    EXPECT_TRUE(view.AutostartChecked());
    EXPECT_EQ(form.Controls.cbAutoPlayUSBDisk.ItemIndex, -1);

    view.SetSoundFileFolder(u"C:\\Windows\\Media");
    window.answer = u"C:\\Windows\\Media\\ding.wav";
    EXPECT_EQ(view.ChooseSoundFile(), window.answer);
    window.answer.reset();
    EXPECT_EQ(view.ChooseSoundFile(), std::nullopt);
    ASSERT_EQ(window.choosers.size(), 2u);
    EXPECT_EQ(window.choosers[0].first, u"Windows Wave (*.wav)|*.wav");
    EXPECT_EQ(window.choosers[0].second, u"C:\\Windows\\Media");

    view.ShowSettingsWindow();
    EXPECT_TRUE(form.Visible());
    view.HideSettingsWindow();
    EXPECT_FALSE(form.Visible());
    EXPECT_EQ(window.shown, 1);
    EXPECT_EQ(window.hidden, 1);
}

}  // namespace
}  // namespace dv
