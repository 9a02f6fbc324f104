// The controller's Windows side: a hidden top-level window that receives the drive broadcasts, the
// tray icon's reports, the timers and the watcher's changes and hands them to the controller on the
// user-interface thread. It owns the tray icon, its menus, the settings window and the dialogs.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/handles_win.h"
#include "platform/windows_include.h"
#include "shell/main_dialogs_win.h"
#include "shell/main_view.h"
#include "shell/settings_window_win.h"
#include "shell/tray_icon_win.h"
#include "shell/tray_menu_win.h"

namespace dv {

class TfmMain;

class TMainWindow : public ITrayView, public IClock {
public:
    TMainWindow();
    ~TMainWindow() override;
    TMainWindow(const TMainWindow&) = delete;
    TMainWindow& operator=(const TMainWindow&) = delete;

    HWND Handle() const { return window_.get(); }
    // The controller that receives the window's events; set once it exists.
    void SetController(TfmMain* controller) { controller_ = controller; }
    // Where a change the watcher's worker sent goes (on this thread).
    void SetDirectoryChangeHandler(std::function<void(WPARAM, LPARAM)> handler) {
        directoryChange_ = std::move(handler);
    }

    // The controller's other views.
    ISettingsView& Settings() { return settings_.View(); }
    IDialogView& Dialogs() { return *dialogs_; }
    ISoundsAndShell& Desktop() { return desktop_; }
    TSettingsWindow& SettingsWindow() { return settings_; }

    // Runs the message loop until the application quits; returns the exit code.
    int RunMessageLoop();

    // --- ITrayView ---
    void SetTrayIconIndex(int index) override;
    int TrayIconIndex() const override { return trayIndex_; }
    void ShowBalloon(std::u16string_view text, TBalloonIcon icon) override;
    void SetMenuSlot(TMenuSlots slots, int slot, std::u16string_view caption, bool visible) override {
        menus_.SetSlot(slots, slot, caption, visible);
    }
    void SetAddCaption(std::u16string_view caption) override { menus_.SetAddCaption(caption); }
    void SetHostCaption(std::u16string_view caption) override { menus_.SetHostCaption(caption); }
    std::u16string HostCaption() const override { return menus_.HostCaption(); }
    void SetDomainUserItemVisible(bool visible) override { menus_.SetDomainUserItemVisible(visible); }
    void SetPasswordRenewEnabled(bool enabled) override { renewEnabled_ = enabled; }
    void SetRightClickMenu(TPopupMenu menu) override { menus_.SetRightClickMenu(menu); }

    // --- IClock ---
    void SetTimerInterval(TTimer timer, std::uint32_t milliseconds) override;
    void SetTimerEnabled(TTimer timer, bool enabled) override;
    bool TimerEnabled(TTimer timer) const override;
    void Sleep(std::uint32_t milliseconds) override;
    void ProcessPendingMessages() override;

    // For tests: whether the tray icon is in the notification area, and the menu a click would open
    // as its item texts (separators as "-"), without showing it.
    bool TrayIconAdded() const { return trayIcon_ && trayIcon_->Added(); }
    std::vector<std::u16string> MenuTexts(TPopupMenu menu);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Message handlers.
    LRESULT OnDpiChanged(UINT dpi, const RECT& suggested);
    LRESULT OnTaskbarCreated();
    LRESULT OnTrayCallback(WPARAM wParam, LPARAM lParam);
    // A right click on the icon, or Shift+F10 or the menu key while it has the focus.
    void OnContextMenu(POINT anchor);
    // A left click on the icon, or Enter or the space bar while it has the focus.
    void OnTrayIconSelect(POINT anchor);
    LRESULT OnTimer(UINT_PTR id);
    LRESULT OnDirectoryChange(WPARAM index, LPARAM run);
    LRESULT OnMeasureItem(WPARAM wParam, LPARAM lParam);
    LRESULT OnDrawItem(WPARAM wParam, LPARAM lParam);
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam);
    LRESULT OnClose();

    void PopUpMenu(TPopupMenu menu, POINT at);
    void RunCommand(UINT id);
    void RunSettingsCommand();
    // Runs a controller handler with errors going to the central error handler.
    void Dispatch(const std::function<void(TfmMain&)>& handler);

    // Declared first, destroyed last: everything below belongs to the window.
    UniqueWindow window_;
    TfmMain* controller_ = nullptr;
    UINT taskbarCreated_ = 0;
    int trayIndex_ = 2;
    bool renewEnabled_ = false;
    TTrayMenu menus_;
    TSettingsWindow settings_;
    std::unique_ptr<TMainDialogs> dialogs_;
    TSoundsAndShell desktop_;
    struct TimerState {
        std::uint32_t interval = 0;
        bool enabled = false;
    };
    std::map<TTimer, TimerState> timers_;
    std::function<void(WPARAM, LPARAM)> directoryChange_;
    // Last: the icon goes from the notification area before its window goes.
    std::unique_ptr<TTrayIcon> trayIcon_;
};

}  // namespace dv
