// The controller's Windows side: a hidden top-level window that owns the tray icon and its menus,
// runs the timers, shows message boxes, balloons and sounds, and hands drive broadcasts, watcher
// changes and commands to the controller on the user-interface thread.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/windows_include.h"
#include "shell/main_view.h"

namespace dv {

class TAutoPlayWindow;
class TfmMain;

class TMainWindow : public IMainView, public IClock {
public:
    TMainWindow();
    ~TMainWindow() override;
    TMainWindow(const TMainWindow&) = delete;
    TMainWindow& operator=(const TMainWindow&) = delete;

    HWND Handle() const { return window_; }
    // The controller that receives the window's events; set once it exists.
    void SetController(TfmMain* controller) { controller_ = controller; }
    // Where a change the watcher's worker sent goes (on this thread).
    void SetDirectoryChangeHandler(std::function<void(WPARAM)> handler) { directoryChange_ = std::move(handler); }

    // Runs the message loop until the application quits; returns the exit code.
    int RunMessageLoop();

    // A message the watcher's worker sends to hand over a change.
    static constexpr UINT kDirectoryChangeMessage = WM_APP + 2;

    // The menus' command identifiers, as WM_COMMAND carries them.
    enum : UINT {
        kCmdHeader = 100,
        kCmdHost,
        kCmdAdd,
        kCmdSettings,
        kCmdHelp,
        kCmdAbout,
        kCmdExit,
        kCmdDomainUser,
        kCmdModifyFirst = 200,  // + slot
        kCmdEjectFirst = 300,   // + slot
    };

    // --- IMainView ---
    void SetTrayIconIndex(int index) override;
    int TrayIconIndex() const override { return trayIndex_; }
    void ShowBalloon(std::u16string_view text, TBalloonIcon icon) override;
    void SetMenuSlot(TMenuSlots slots, int slot, std::u16string_view caption, bool visible) override;
    void SetAddCaption(std::u16string_view caption) override { addCaption_ = caption; }
    void SetHostCaption(std::u16string_view caption) override { hostCaption_ = caption; }
    std::u16string HostCaption() const override { return hostCaption_; }
    void SetDomainUserItemVisible(bool visible) override { domainItemVisible_ = visible; }
    void SetPasswordRenewEnabled(bool enabled) override { renewEnabled_ = enabled; }
    void SetRightClickMenu(TTrayMenu menu) override { rightClickMenu_ = menu; }
    void ShowMessage(std::u16string_view text, TMessageIcon icon) override;
    bool AskYesNo(std::u16string_view text, std::u16string_view caption) override;
    void PlaySoundFile(std::u16string_view path) override;
    bool PlayBuiltInSound(std::u16string_view name) override;
    void NotifyShell(std::uint32_t eventId, std::u16string_view path) override;
    void SetSoundEntries(TSoundBox box, const std::vector<std::u16string>& entries) override;
    std::vector<std::u16string> SoundEntries(TSoundBox box) const override;
    void SelectSound(TSoundBox box, int index) override;
    int SelectedSound(TSoundBox box) const override;
    std::optional<std::u16string> ChooseSoundFile() override;
    bool AutostartChecked() const override;
    void SetAutostartChecked(bool checked) override;
    void SetAutoPlaySelection(int index) override;
    void SetSoundFileFolder(std::u16string_view folder) override { soundFolder_ = folder; }
    std::optional<TDriveDialogResult> ShowDriveSettingsDialog(TDriveDialogMode mode,
                                                               std::u16string_view driveLetter) override;
    void ShowDomainUserDialog(TUserManager& users, TApplicationSettings& settings) override;
    void ShowAboutBox() override;
    void ShowAutoPlayDialog(char16_t driveLetter, std::u16string_view caption) override;
    void OpenHomePageFromVersionInfo() override;
    void ShowSettingsWindow() override;
    void HideSettingsWindow() override;
    void QuitApplication() override;

    // --- IClock ---
    void SetTimerInterval(TTimer timer, std::uint32_t milliseconds) override;
    void SetTimerEnabled(TTimer timer, bool enabled) override;
    bool TimerEnabled(TTimer timer) const override;
    void Sleep(std::uint32_t milliseconds) override;
    void ProcessPendingMessages() override;

    // For tests: whether the tray icon is in the notification area, and the menu a click would open
    // as its item texts (separators as "-"), without showing it.
    bool TrayIconAdded() const { return trayAdded_; }
    // The settings window's control with the given identifier (see main_window_win.cpp).
    HWND Control(int id) const { return ::GetDlgItem(window_, id); }
    std::vector<std::u16string> MenuTexts(TTrayMenu menu);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateSettingsControls();
    HWND SoundBox(TSoundBox box) const;
    void AddTrayIcon();
    void RemoveTrayIcon();
    void UpdateTrayIcon();
    HMENU BuildMenu(TTrayMenu menu);
    void MeasureMenuItem(MEASUREITEMSTRUCT& item);
    void DrawMenuItem(const DRAWITEMSTRUCT& item);
    void PopUpMenu(TTrayMenu menu, POINT at);
    void RunCommand(UINT id);
    // Runs a controller handler with errors going to the central error handler.
    void Dispatch(const std::function<void(TfmMain&)>& handler);

    HWND window_ = nullptr;
    TfmMain* controller_ = nullptr;
    UINT taskbarCreated_ = 0;
    bool trayAdded_ = false;
    int trayIndex_ = 2;
    std::array<HICON, 3> trayIcons_{};  // idle, shared, activity
    std::array<HICON, 10> menuIcons_{};  // the menu image list, by index
    std::u16string addCaption_ = u"Add USB NAS device";
    std::u16string hostCaption_ = u"Host:";
    bool domainItemVisible_ = true;
    bool renewEnabled_ = false;
    TTrayMenu rightClickMenu_ = TTrayMenu::Tray;
    struct Slot {
        std::u16string caption;
        bool visible = false;
    };
    std::array<Slot, 12> modifySlots_{};
    std::array<Slot, 12> ejectSlots_{};
    std::u16string soundFolder_;
    HFONT font_ = nullptr;
    HFONT boldFont_ = nullptr;
    struct TimerState {
        std::uint32_t interval = 0;
        bool enabled = false;
    };
    std::map<TTimer, TimerState> timers_;
    bool quitting_ = false;
    std::function<void(WPARAM)> directoryChange_;
    std::unique_ptr<TAutoPlayWindow> autoPlay_;
};

}  // namespace dv
