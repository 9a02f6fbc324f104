// What the controller shows, when it runs in the service: no window of its own on any desktop. The
// views keep what the controller sets (the icon, the menus, the settings window's choices) and tell
// every face that listens what happened, as reports; a face shows it. Nothing here waits for a person:
// a question has been asked by the face before its request came, a message box becomes a report, and
// the dialogs are the faces'. What nobody hears of a balloon or a box goes to the application log.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "remote/face_link.h"
#include "remote/protocol.h"
#include "shell/main_view.h"

namespace dv {

class TApplicationSettings;
class TUserManager;

// The title of the application log's line for a balloon or a box that no face was there to show.
inline constexpr std::u16string_view kNotShownTitle = u"Not shown ";

class TEngineViews : public ITrayView, public ISettingsView, public IDialogView, public ISoundsAndShell {
public:
    explicit TEngineViews(remote::IFaceLink& faces) : faces_(faces) {}

    // Counts every change of what the status of the engine shows (the pool, the menus, a plugged drive
    // that came or went): a status built at one count is good until the next.
    std::uint64_t Changes() const { return changes_; }
    void Changed() { ++changes_; }
    // Where the controller's Exit leads; the service ends only when it is stopped.
    std::function<void()> OnQuit;

    // --- ITrayView ---
    void SetTrayIconIndex(int index) override;
    int TrayIconIndex() const override { return trayIndex_; }
    void ShowBalloon(std::u16string_view text, TBalloonIcon icon) override;
    void SetMenuSlot(TMenuSlots slots, int slot, std::u16string_view caption, bool visible) override;
    void SetAddCaption(std::u16string_view caption) override;
    void SetHostCaption(std::u16string_view caption) override { hostCaption_ = caption; }
    std::u16string HostCaption() const override { return hostCaption_; }
    void SetDomainUserItemVisible(bool visible) override { domainUserItemVisible_ = visible; }
    void SetPasswordRenewEnabled(bool enabled) override { passwordRenewEnabled_ = enabled; }
    void SetRightClickMenu(TPopupMenu menu) override;
    void DriveShared(char16_t letter, std::u16string_view shareName) override;
    void DriveUnshared(char16_t letter) override;

    // --- ISettingsView: the choices the controller sets; the window is a face's ---
    void SetSoundEntries(TSoundBox box, const std::vector<std::u16string>& entries) override;
    std::vector<std::u16string> SoundEntries(TSoundBox box) const override;
    void SelectSound(TSoundBox box, int index) override { soundSelected_[box] = index; }
    int SelectedSound(TSoundBox box) const override;
    std::optional<std::u16string> ChooseSoundFile() override { return std::nullopt; }
    bool AutostartChecked() const override { return autostartChecked_; }
    void SetAutostartChecked(bool checked) override { autostartChecked_ = checked; }
    void SetAutoPlaySelection(int index) override { autoPlaySelection_ = index; }
    void SetSoundFileFolder(std::u16string_view folder) override { soundFileFolder_ = folder; }
    void ShowSettingsWindow() override {}
    void HideSettingsWindow() override {}

    // --- IDialogView ---
    void ShowMessage(std::u16string_view text, TMessageIcon icon) override;
    // Never asks: the engine's paths take the answer the face got before it asked. A path that still
    // asks gets No, which changes nothing.
    [[nodiscard]] bool AskYesNo(std::u16string_view text, std::u16string_view caption) override;
    std::optional<TDriveSettingsResult> ShowDriveSettingsDialog(TMode mode, std::u16string_view driveLetter) override;
    void ShowDomainUserDialog(TUserManager& users, TApplicationSettings& settings) override;
    void ShowAboutBox() override {}
    void ShowAutoPlayDialog(char16_t driveLetter, std::u16string_view caption) override;

    // --- ISoundsAndShell ---
    // The engine plays no sound: the faces play their persons' own, told by PlayEventSound.
    void PlaySoundFile(std::u16string_view) override {}
    bool PlayBuiltInSound(std::u16string_view) override { return true; }
    bool PlayEventSound(TSoundBox sound) override;
    // The shares are announced to the shell of each person's session by that session itself.
    void NotifyShell(std::uint32_t, std::u16string_view) override {}
    void OpenHomePageFromVersionInfo() override {}
    void QuitApplication() override;

    // --- What the engine shows, for its status and tests ---
    struct TMenuSlot {
        std::u16string Caption;
        bool Visible = false;
    };
    const TMenuSlot& MenuSlot(TMenuSlots slots, int slot) const;
    const std::u16string& AddCaption() const { return addCaption_; }
    bool DomainUserItemVisible() const { return domainUserItemVisible_; }
    bool PasswordRenewEnabled() const { return passwordRenewEnabled_; }
    TPopupMenu RightClickMenu() const { return rightClickMenu_; }
    std::optional<int> AutoPlaySelection() const { return autoPlaySelection_; }
    const std::u16string& SoundFileFolder() const { return soundFileFolder_; }
    // The tray image of an icon index, as a report names it.
    static remote::TTrayImage TrayImage(int index);

private:
    // A balloon or a box: to every face, or to the application log when none listens.
    void Tell(const remote::TBody& report, std::u16string_view text);
    void Broadcast(remote::TBody report);
    void MenusChanged();

    remote::IFaceLink& faces_;
    std::uint64_t changes_ = 0;
    int trayIndex_ = 2;
    static constexpr int kSlots = 12;
    std::array<TMenuSlot, kSlots> modifySlots_{};
    std::array<TMenuSlot, kSlots> ejectSlots_{};
    // The menus changed since the faces were last told.
    bool menusChanged_ = false;
    std::u16string addCaption_ = u"Add USB NAS device";
    std::u16string hostCaption_ = u"Host:";
    bool domainUserItemVisible_ = true;
    bool passwordRenewEnabled_ = false;
    TPopupMenu rightClickMenu_ = TPopupMenu::Tray;
    std::map<TSoundBox, std::vector<std::u16string>> soundEntries_;
    std::map<TSoundBox, int> soundSelected_;
    bool autostartChecked_ = false;
    std::optional<int> autoPlaySelection_;
    std::u16string soundFileFolder_;
};

// Text from the engine made fit for a report: a character the protocol refuses in a name (a control
// character, a line or paragraph separator, a direction override, half a pair) becomes U+FFFD, and
// the text is cut at `maxLength` without halving a character.
std::u16string ReportName(std::u16string_view text, std::size_t maxLength);
// The same for a message to a person, which keeps its line breaks and tabs.
std::u16string ReportText(std::u16string_view text, std::size_t maxLength);

}  // namespace dv
