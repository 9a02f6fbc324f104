#include "shell/settings_window.h"

#include <cstddef>
#include <utility>

#include "platform/files.h"
#include "platform/text.h"
#include "resources/resource_ids.h"
#include "settings/app_settings.h"
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

TSoundBoxFill SoundBoxFill(TSoundBox box, std::u16string_view stored) {
    const bool available = box == TSoundBox::Available;
    const std::u16string_view builtIn = available ? kDefaultSoundBackupAvailable : kDefaultSoundBackupDone;
    const std::u16string_view select =
        available ? u"Select backup available sound file" : u"Select backup done sound file";
    TSoundBoxFill fill;
    fill.Entries = {std::u16string(kSilentSound), std::u16string(builtIn)};
    const bool isFile = stored != kSilentSound && !stored.empty() && stored != builtIn;
    fill.Entries.emplace_back(isFile ? stored : select);
    for (std::size_t i = 0; i < fill.Entries.size(); ++i) {
        if (EqualsIgnoreCase(fill.Entries[i], stored)) {
            fill.Selected = static_cast<int>(i);
            break;
        }
    }
    return fill;
}

std::u16string ResolveSoundName(std::u16string_view value) {
    if (value == kDefaultSoundBackupAvailable) return u"OnlineWav";
    if (value == kDefaultSoundBackupDone) return u"CompletedWav";
    return std::u16string(value);
}

void PlaySettingSound(ISoundsAndShell& desktop, std::u16string_view value) {
    const std::u16string name = ResolveSoundName(value);
    if (name.empty()) return;
    const std::size_t separator = name.find_last_of(u"\\:");
    const std::size_t dot = name.rfind(u'.');
    const bool hasExtension = dot != std::u16string::npos && (separator == std::u16string::npos || dot > separator);
    if (hasExtension && UpperCase(name.substr(dot)) == u".WAV") {
        desktop.PlaySoundFile(name);
    } else {
        (void)desktop.PlayBuiltInSound(name);
    }
}

void OnSoundBoxChanged(ISettingsView& view, TSoundBox box) {
    if (view.SelectedSound(box) != 2) return;
    const std::optional<std::u16string> chosen = view.ChooseSoundFile();
    if (!chosen || !fs::FileExists(*chosen)) return;  // entry 2 stays selected
    std::vector<std::u16string> entries = view.SoundEntries(box);
    if (entries.size() < 4) entries.emplace_back();
    entries[3] = *chosen;
    view.SetSoundEntries(box, entries);
    view.SelectSound(box, 3);
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
