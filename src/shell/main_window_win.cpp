#include "shell/main_window_win.h"

#include <cstdint>
#include <string_view>

#include <commctrl.h>
#include <shellapi.h>

#include "platform/text.h"
#include "resources/resource_ids.h"
#include "shell/app_messages_win.h"
#include "shell/controller.h"

namespace dv {
namespace {

constexpr wchar_t kWindowClass[] = L"DockvaneMainWindow";

UINT_PTR TimerId(TTimer timer) {
    return timer == TTimer::Poll ? kPollTimerId : kNotifyUsbDriveTimerId;
}

// The menu commands that run one of the controller's handlers as they are.
struct Command {
    UINT id;
    void (TfmMain::*handler)();
};
constexpr Command kCommands[] = {
    {kCmdHeader, &TfmMain::OnHeaderItem},
    {kCmdHost, &TfmMain::OnHostItem},
    {kCmdAdd, &TfmMain::OnAddItem},
    {kCmdHelp, &TfmMain::OnHelpItem},
    {kCmdAbout, &TfmMain::OnAboutItem},
    {kCmdExit, &TfmMain::OnExitItem},
    {kCmdDomainUser, &TfmMain::OnDomainUserItem},
};

// The per-drive commands: the slot follows the first identifier.
struct SlotCommand {
    UINT first;
    void (TfmMain::*handler)(int slot);
};
constexpr SlotCommand kSlotCommands[] = {
    {kCmdModifyFirst, &TfmMain::OnModifyItem},
    {kCmdEjectFirst, &TfmMain::OnEjectItem},
};

}  // namespace

TMainWindow::TMainWindow() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &TMainWindow::WindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hIcon = ::LoadIconW(windowClass.hInstance, MAKEINTRESOURCEW(IDI_APP));
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassExW(&windowClass);

    // A hidden top-level window: a message-only window would receive no broadcasts. WM_NCCREATE
    // hands the handle to window_.
    ::CreateWindowExW(0, kWindowClass, L"", WS_OVERLAPPED, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr,
                      windowClass.hInstance, this);
    taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");
    // Explorer runs at a lower integrity level than this elevated process, so the system would drop
    // its "TaskbarCreated" and the icon would be gone for good after Explorer restarts.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-changewindowmessagefilterex
    ::ChangeWindowMessageFilterEx(Handle(), taskbarCreated_, MSGFLT_ALLOW, nullptr);
    // The icon first: it is what the user waits for, and nothing reaches it before the message loop.
    trayIcon_ = std::make_unique<TTrayIcon>(Handle(), kTrayIconId, kTrayCallbackMessage, kTrayHint);

    settings_.Create();
    settings_.OnAction = [this](TSettingsAction action, const TSettingsControls& controls) {
        // A copy: the handler may let messages through that change the controls.
        Dispatch([action, controls](TfmMain& main) { RunSettingsAction(main, action, controls); });
    };
    settings_.OnClose = [this] { OnClose(); };
    dialogs_ = std::make_unique<TMainDialogs>(Handle(), [this] { return controller_; });

    timers_[TTimer::Poll] = {kPollIntervalMs, false};
    timers_[TTimer::NotifyUsbDrive] = {7500, true};
    ::SetTimer(Handle(), TimerId(TTimer::NotifyUsbDrive), 7500, nullptr);
}

TMainWindow::~TMainWindow() {
    trayIcon_.reset();
}

// --- Window procedure ---

LRESULT CALLBACK TMainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<TMainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window_.reset(window);
    }
    auto* self = reinterpret_cast<TMainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY && self) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        (void)self->window_.release();
    }
    return self ? self->HandleMessage(message, wParam, lParam) : ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT TMainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == taskbarCreated_ && taskbarCreated_ != 0) return OnTaskbarCreated();
    switch (message) {
        case kTrayCallbackMessage: return OnTrayCallback(wParam, lParam);
        case kDirectoryChangeMessage: return OnDirectoryChange(wParam, lParam);
        case WM_TIMER: return OnTimer(wParam);
        case WM_MEASUREITEM: return OnMeasureItem(wParam, lParam);
        case WM_DRAWITEM: return OnDrawItem(wParam, lParam);
        case WM_COMMAND: return OnCommand(wParam, lParam);
        case WM_CLOSE: return OnClose();
        case WM_DPICHANGED: return OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        default: return ::DefWindowProcW(Handle(), message, wParam, lParam);
    }
}

LRESULT TMainWindow::OnDpiChanged(UINT dpi, const RECT& suggested) {
    // The window stays hidden; the notification area's pictures follow the new DPI. The menus
    // measure themselves at the DPI of wherever they open.
    ::SetWindowPos(Handle(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    if (trayIcon_) trayIcon_->SetDpi(dpi);
    return 0;
}

LRESULT TMainWindow::OnTaskbarCreated() {
    // Explorer restarted: the notification area has forgotten the icon.
    if (trayIcon_) trayIcon_->ReAdd();
    return 0;
}

LRESULT TMainWindow::OnTrayCallback(WPARAM wParam, LPARAM lParam) {
    // Version 4: the event in the low word of lParam, the icon's anchor point in wParam. A right
    // click also reports WM_RBUTTONUP and a left one WM_LBUTTONUP; only the events below open a menu,
    // so that each click opens one, and the keyboard reaches both.
    const POINT anchor{static_cast<short>(LOWORD(wParam)), static_cast<short>(HIWORD(wParam))};
    switch (LOWORD(lParam)) {
        case WM_CONTEXTMENU: OnContextMenu(anchor); break;
        case NIN_SELECT:
        case NIN_KEYSELECT: OnTrayIconSelect(anchor); break;
        default: break;
    }
    return 0;
}

void TMainWindow::OnContextMenu(POINT anchor) {
    PopUpMenu(menus_.RightClickMenu(), anchor);
}

void TMainWindow::OnTrayIconSelect(POINT anchor) {
    ::EndMenu();
    PopUpMenu(TPopupMenu::Tray, {anchor.x, anchor.y + 1});
}

LRESULT TMainWindow::OnTimer(UINT_PTR id) {
    if (id == kPollTimerId) {
        Dispatch([](TfmMain& main) { main.OnPollTimer(); });
    } else if (id == kNotifyUsbDriveTimerId) {
        Dispatch([](TfmMain& main) { main.OnActivityTimer(); });
    }
    return 0;
}

LRESULT TMainWindow::OnDirectoryChange(WPARAM index, LPARAM run) {
    if (directoryChange_) directoryChange_(index, run);
    return 0;
}

LRESULT TMainWindow::OnMeasureItem(WPARAM wParam, LPARAM lParam) {
    auto& item = *reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
    if (item.CtlType != ODT_MENU) return ::DefWindowProcW(Handle(), WM_MEASUREITEM, wParam, lParam);
    menus_.Measure(Handle(), item);
    return TRUE;
}

LRESULT TMainWindow::OnDrawItem(WPARAM wParam, LPARAM lParam) {
    const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (item.CtlType != ODT_MENU) return ::DefWindowProcW(Handle(), WM_DRAWITEM, wParam, lParam);
    menus_.Draw(Handle(), item);
    return TRUE;
}

LRESULT TMainWindow::OnCommand(WPARAM wParam, LPARAM) {
    RunCommand(LOWORD(wParam));
    return 0;
}

LRESULT TMainWindow::OnClose() {
    Dispatch([](TfmMain& main) { main.OnMainWindowClose(); });
    return 0;
}

void TMainWindow::Dispatch(const std::function<void(TfmMain&)>& handler) {
    if (!controller_) return;
    TfmMain& controller = *controller_;
    controller.Guarded([&] { handler(controller); });
}

int TMainWindow::RunMessageLoop() {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab, Enter and Escape in the settings window.
        if (settings_.Visible() && ::IsDialogMessageW(settings_.Handle(), &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

// --- Tray icon and menus ---

void TMainWindow::SetTrayIconIndex(int index) {
    trayIndex_ = index;
    if (trayIcon_) trayIcon_->SetImage(TrayImageOfIndex(index));
}

void TMainWindow::ShowBalloon(std::u16string_view text, TBalloonIcon icon) {
    if (trayIcon_) trayIcon_->ShowBalloon(kApplicationTitle, text, icon == TBalloonIcon::Warning, kBalloonTimeMs);
}

std::vector<std::u16string> TMainWindow::MenuTexts(TPopupMenu which) {
    if (which == TPopupMenu::Tray) Dispatch([](TfmMain& main) { main.OnTrayMenuPopup(); });
    return menus_.Texts(which);
}

void TMainWindow::PopUpMenu(TPopupMenu which, POINT at) {
    if (which == TPopupMenu::Tray) Dispatch([](TfmMain& main) { main.OnTrayMenuPopup(); });
    const UINT command = menus_.Track(which, Handle(), at);
    if (command != 0) RunCommand(command);
}

void TMainWindow::RunCommand(UINT id) {
    if (id == kCmdSettings) {
        RunSettingsCommand();
        return;
    }
    for (const Command& command : kCommands) {
        if (command.id == id) {
            Dispatch([handler = command.handler](TfmMain& main) { (main.*handler)(); });
            return;
        }
    }
    for (const SlotCommand& command : kSlotCommands) {
        if (id >= command.first && id < command.first + kMenuSlots) {
            const int slot = static_cast<int>(id - command.first);
            Dispatch([handler = command.handler, slot](TfmMain& main) { (main.*handler)(slot); });
            return;
        }
    }
}

void TMainWindow::RunSettingsCommand() {
    // Open already: only brought to the front, so that the choices being made are not refilled from
    // the stored settings.
    if (settings_.Visible()) {
        ::SetForegroundWindow(settings_.Handle());
        return;
    }
    Dispatch([](TfmMain& main) { main.OnSettingsItem(); });
}

// --- Clock ---

void TMainWindow::SetTimerInterval(TTimer timer, std::uint32_t milliseconds) {
    TimerState& state = timers_[timer];
    state.interval = milliseconds;
    if (state.enabled) ::SetTimer(Handle(), TimerId(timer), milliseconds, nullptr);
}

void TMainWindow::SetTimerEnabled(TTimer timer, bool enabled) {
    TimerState& state = timers_[timer];
    if (enabled == state.enabled) return;  // a running timer keeps counting
    state.enabled = enabled;
    if (enabled) {
        ::SetTimer(Handle(), TimerId(timer), state.interval, nullptr);
    } else {
        ::KillTimer(Handle(), TimerId(timer));
    }
}

bool TMainWindow::TimerEnabled(TTimer timer) const {
    const auto found = timers_.find(timer);
    return found != timers_.end() && found->second.enabled;
}

void TMainWindow::Sleep(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

void TMainWindow::ProcessPendingMessages() {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Leave the quit request for the message loop.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

}  // namespace dv
