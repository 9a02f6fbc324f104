#include "shell/settings_window.h"

#include <cstddef>
#include <utility>

#include "resources/resource_ids.h"
#include "shell/controller.h"

namespace dv {

void TDropDownState::SetItems(std::vector<std::u16string> items) {
    Items = std::move(items);
    ItemIndex = -1;
}

void TDropDownState::Select(int index) {
    ItemIndex = index >= 0 && index < static_cast<int>(Items.size()) ? index : -1;
}

std::u16string TDropDownState::Text() const {
    return ItemIndex >= 0 && ItemIndex < static_cast<int>(Items.size()) ? Items[static_cast<std::size_t>(ItemIndex)]
                                                                        : std::u16string();
}

namespace {

struct ControlAction {
    int controlId;
    int notifyCode;
    TSettingsAction action;
};

constexpr ControlAction kControlActions[] = {
    {IDC_SETTINGS_PLAY_AVAILABLE, kButtonClicked, TSettingsAction::PlayAvailableSound},
    {IDC_SETTINGS_SOUND_AVAILABLE, kSelectionChanged, TSettingsAction::AvailableSoundChanged},
    {IDC_SETTINGS_PLAY_DONE, kButtonClicked, TSettingsAction::PlayDoneSound},
    {IDC_SETTINGS_SOUND_DONE, kSelectionChanged, TSettingsAction::DoneSoundChanged},
    {IDC_SETTINGS_RENEW_PASSWORD, kButtonClicked, TSettingsAction::RenewPassword},
    {IDC_SETTINGS_CHECK_UPDATE, kButtonClicked, TSettingsAction::CheckForUpdate},
    {IDC_SETTINGS_AUTOPLAY, kSelectionChanged, TSettingsAction::AutoPlayChanged},
    {IDC_SETTINGS_AUTOSTART, kButtonClicked, TSettingsAction::AutostartClicked},
    {IDC_SETTINGS_OK, kButtonClicked, TSettingsAction::Ok},
    {IDC_SETTINGS_CANCEL, kButtonClicked, TSettingsAction::Cancel},
};

}  // namespace

TSettingsAction SettingsActionOf(int controlId, int notifyCode) {
    for (const ControlAction& entry : kControlActions) {
        if (entry.controlId == controlId && entry.notifyCode == notifyCode) return entry.action;
    }
    return TSettingsAction::None;
}

void RunSettingsAction(TfmMain& main, TSettingsAction action, const TSettingsControls& controls) {
    switch (action) {
        case TSettingsAction::None: break;
        case TSettingsAction::PlayAvailableSound: main.OnPlayAvailableSound(); break;
        case TSettingsAction::AvailableSoundChanged: main.OnAvailableSoundChange(); break;
        case TSettingsAction::PlayDoneSound: main.OnPlayDoneSound(); break;
        case TSettingsAction::DoneSoundChanged: main.OnDoneSoundChange(); break;
        case TSettingsAction::RenewPassword: main.OnRenewPassword(); break;
        case TSettingsAction::CheckForUpdate: main.OnCheckForUpdates(); break;
        case TSettingsAction::AutoPlayChanged: main.OnAutoPlayChange(controls.cbAutoPlayUSBDisk.ItemIndex); break;
        case TSettingsAction::AutostartClicked: main.OnAutostartClick(controls.ckAutostart); break;
        case TSettingsAction::Ok: main.OnSettingsOk(); break;
        case TSettingsAction::Cancel: main.OnSettingsCancel(); break;
    }
}

void TfmSettings::SetSoundEntries(TSoundBox box, const std::vector<std::u16string>& entries) {
    Controls.SoundBox(box).SetItems(entries);
    window_.Render(ControlOf(box));
}

void TfmSettings::SelectSound(TSoundBox box, int index) {
    Controls.SoundBox(box).Select(index);
    window_.Render(ControlOf(box));
}

std::optional<std::u16string> TfmSettings::ChooseSoundFile() {
    return window_.ChooseFile(kWaveFileFilter, soundFolder_);
}

void TfmSettings::SetAutostartChecked(bool checked) {
    Controls.ckAutostart = checked;
    window_.Render(TSettingsControl::Autostart);
}

void TfmSettings::SetAutoPlaySelection(int index) {
    Controls.cbAutoPlayUSBDisk.Select(index);
    window_.Render(TSettingsControl::AutoPlay);
}

void TfmSettings::ShowSettingsWindow() {
    visible_ = true;
    window_.ShowCentred();
}

void TfmSettings::HideSettingsWindow() {
    visible_ = false;
    window_.Hide();
}

}  // namespace dv
