// The settings window's controls as the controller sees them, and what the user's actions in it
// mean. The window (settings_window_win.cpp) shows the controls held here and reports the user's
// changes back, so that everything but the drawing runs in native tests as well.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/main_view.h"

namespace dv {

class TfmMain;

inline constexpr std::u16string_view kSettingsCaption = u"Dockvane\u2122 Settings";
inline constexpr std::array<std::u16string_view, 3> kAutoPlayModes = {u"Always disabled", u"Disable for Dockvane disks",
                                                                      u"Always enabled"};
inline constexpr std::u16string_view kWaveFileFilter = u"Windows Wave (*.wav)|*.wav";

// A drop-down list (no free text): its entries and the selected one.
struct TDropDownState {
    std::vector<std::u16string> Items;
    int ItemIndex = -1;

    // New entries select nothing, as a list that is emptied and filled again.
    void SetItems(std::vector<std::u16string> items);
    // An index outside the list selects nothing.
    void Select(int index);
    // The selected entry's text; empty when none is selected.
    std::u16string Text() const;
};

// What a sound box lists for the stored setting `stored`, and the entry it selects: "Silent (no
// sound)", the built-in sound, then the stored file or the entry that asks for one.
struct TSoundBoxFill {
    std::vector<std::u16string> Entries;
    int Selected = 0;
};
TSoundBoxFill SoundBoxFill(TSoundBox box, std::u16string_view stored);

// The sound a setting names: a built-in sound's resource name, or the file as stored.
std::u16string ResolveSoundName(std::u16string_view value);
// Plays what a sound setting names: a .wav file, or a built-in sound; nothing for an empty one.
void PlaySettingSound(ISoundsAndShell& desktop, std::u16string_view value);

// A sound box's new selection: its entry 2 asks for a file, which then becomes entry 3.
void OnSoundBoxChanged(ISettingsView& view, TSoundBox box);

// The controls' content, named after the controls.
struct TSettingsControls {
    TDropDownState cboxBackupAvailableSound;
    TDropDownState cboxBackupDoneSound;
    TDropDownState cbAutoPlayUSBDisk{{kAutoPlayModes.begin(), kAutoPlayModes.end()}, -1};
    bool ckAutostart = false;

    TDropDownState& SoundBox(TSoundBox box) {
        return box == TSoundBox::Available ? cboxBackupAvailableSound : cboxBackupDoneSound;
    }
    const TDropDownState& SoundBox(TSoundBox box) const {
        return box == TSoundBox::Available ? cboxBackupAvailableSound : cboxBackupDoneSound;
    }
};

// The controls, as the window shows them.
enum class TSettingsControl { AvailableSound, DoneSound, AutoPlay, Autostart };

// What the settings logic asks of its window.
class ISettingsWindow {
public:
    virtual ~ISettingsWindow() = default;
    // Shows the control as the state now holds it.
    virtual void Render(TSettingsControl control) = 0;
    // Shows the window centred on the screen, in front, with the focus on OK.
    virtual void ShowCentred() = 0;
    virtual void Hide() = 0;
    // The file chooser for a wave file, opening in `folder`; nothing when the user cancels.
    virtual std::optional<std::u16string> ChooseFile(std::u16string_view filter, std::u16string_view folder) = 0;
};

// What the user did in the window, each answered by one of the controller's handlers.
enum class TSettingsAction {
    None,
    PlayAvailableSound,
    AvailableSoundChanged,
    PlayDoneSound,
    DoneSoundChanged,
    RenewPassword,
    CheckForUpdate,
    AutoPlayChanged,
    AutostartClicked,
    Ok,
    Cancel,
};

// The notification codes the window reports with a control's identifier (BN_CLICKED, CBN_SELCHANGE).
inline constexpr int kButtonClicked = 0;
inline constexpr int kSelectionChanged = 1;

// What a control's notification means. Escape and Enter away from the buttons arrive as the
// Cancel button's click.
TSettingsAction SettingsActionOf(int controlId, int notifyCode);

// Runs the controller's handler for the action, with what the controls now hold.
void RunSettingsAction(TfmMain& main, TSettingsAction action, const TSettingsControls& controls);

// The settings window's logic: the controls' state behind the controller's settings view.
class TfmSettings : public ISettingsView {
public:
    explicit TfmSettings(ISettingsWindow& window) : window_(window) {}

    TSettingsControls Controls;
    bool Visible() const { return visible_; }
    const std::u16string& SoundFileFolder() const { return soundFolder_; }

    // --- ISettingsView ---
    void SetSoundEntries(TSoundBox box, const std::vector<std::u16string>& entries) override;
    std::vector<std::u16string> SoundEntries(TSoundBox box) const override { return Controls.SoundBox(box).Items; }
    void SelectSound(TSoundBox box, int index) override;
    int SelectedSound(TSoundBox box) const override { return Controls.SoundBox(box).ItemIndex; }
    std::optional<std::u16string> ChooseSoundFile() override;
    bool AutostartChecked() const override { return Controls.ckAutostart; }
    void SetAutostartChecked(bool checked) override;
    void SetAutoPlaySelection(int index) override;
    void SetSoundFileFolder(std::u16string_view folder) override { soundFolder_ = folder; }
    void ShowSettingsWindow() override;
    void HideSettingsWindow() override;

private:
    static TSettingsControl ControlOf(TSoundBox box) {
        return box == TSoundBox::Available ? TSettingsControl::AvailableSound : TSettingsControl::DoneSound;
    }

    ISettingsWindow& window_;
    std::u16string soundFolder_;
    bool visible_ = false;
};

}  // namespace dv
