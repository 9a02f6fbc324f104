// What the engine shows while no face shows it: balloons and message boxes go to the application log,
// questions are answered No, dialogs are cancelled, and the menus, the settings window and the sounds
// are kept or dropped. A stand-in until the engine's reports reach the faces.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/main_view.h"

namespace dv {

class TLoggedViews : public ITrayView, public ISettingsView, public IDialogView, public ISoundsAndShell {
public:
    // --- ITrayView ---
    void SetTrayIconIndex(int index) override { trayIndex_ = index; }
    int TrayIconIndex() const override { return trayIndex_; }
    void ShowBalloon(std::u16string_view text, TBalloonIcon icon) override;
    void SetMenuSlot(TMenuSlots, int, std::u16string_view, bool) override {}
    void SetAddCaption(std::u16string_view) override {}
    void SetHostCaption(std::u16string_view caption) override { hostCaption_ = caption; }
    std::u16string HostCaption() const override { return hostCaption_; }
    void SetDomainUserItemVisible(bool) override {}
    void SetPasswordRenewEnabled(bool) override {}
    void SetRightClickMenu(TPopupMenu) override {}

    // --- ISettingsView ---
    void SetSoundEntries(TSoundBox box, const std::vector<std::u16string>& entries) override;
    std::vector<std::u16string> SoundEntries(TSoundBox box) const override;
    void SelectSound(TSoundBox box, int index) override;
    int SelectedSound(TSoundBox box) const override;
    std::optional<std::u16string> ChooseSoundFile() override { return std::nullopt; }
    bool AutostartChecked() const override { return autostart_; }
    void SetAutostartChecked(bool checked) override { autostart_ = checked; }
    void SetAutoPlaySelection(int) override {}
    void SetSoundFileFolder(std::u16string_view) override {}
    void ShowSettingsWindow() override {}
    void HideSettingsWindow() override {}

    // --- IDialogView ---
    void ShowMessage(std::u16string_view text, TMessageIcon icon) override;
    [[nodiscard]] bool AskYesNo(std::u16string_view text, std::u16string_view caption) override;
    std::optional<TDriveSettingsResult> ShowDriveSettingsDialog(TMode, std::u16string_view) override {
        return std::nullopt;
    }
    void ShowDomainUserDialog(TUserManager&, TApplicationSettings&) override {}
    void ShowAboutBox() override {}
    void ShowAutoPlayDialog(char16_t, std::u16string_view) override {}

    // --- ISoundsAndShell ---
    void PlaySoundFile(std::u16string_view) override {}
    bool PlayBuiltInSound(std::u16string_view) override { return true; }
    void NotifyShell(std::uint32_t, std::u16string_view) override {}
    void OpenHomePageFromVersionInfo() override {}
    void QuitApplication() override {}

private:
    struct SoundBox {
        std::vector<std::u16string> entries;
        int selected = -1;
    };
    SoundBox& Box(TSoundBox box) { return box == TSoundBox::Available ? available_ : done_; }
    const SoundBox& Box(TSoundBox box) const { return box == TSoundBox::Available ? available_ : done_; }

    int trayIndex_ = 2;
    std::u16string hostCaption_;
    bool autostart_ = false;
    SoundBox available_;
    SoundBox done_;
};

}  // namespace dv
