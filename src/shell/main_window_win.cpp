#include "shell/main_window_win.h"

#include <mmsystem.h>
#include <shellapi.h>
#include <shlobj.h>

#include "platform/text.h"
#include "resources/resource_ids.h"
#include "shell/fmu_main.h"

namespace dv {
namespace {

constexpr wchar_t kWindowClass[] = L"DockvaneMainWindow";
constexpr UINT kTrayMessage = WM_APP + 1;
constexpr UINT kTrayIconId = 1;

// Menu command identifiers.
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

UINT_PTR TimerId(TTimer timer) {
    return timer == TTimer::Poll ? 1 : 2;
}

HICON LoadSmallIcon(int id) {
    return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON,
                                           ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
}

void CopyText(wchar_t* target, std::size_t capacity, std::u16string_view text) {
    const std::wstring wide = ToWide(text.substr(0, capacity - 1));
    std::copy(wide.begin(), wide.end(), target);
    target[wide.size()] = L'\0';
}

}  // namespace

TMainWindow::TMainWindow() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &TMainWindow::WindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hIcon = ::LoadIconW(windowClass.hInstance, MAKEINTRESOURCEW(IDI_APP));
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassExW(&windowClass);

    // A hidden top-level window: a message-only window would receive no broadcasts.
    window_ = ::CreateWindowExW(0, kWindowClass, ToWide(kApplicationTitle).c_str(), WS_OVERLAPPED | WS_CAPTION,
                                CW_USEDEFAULT, CW_USEDEFAULT, 400, 380, nullptr, nullptr, windowClass.hInstance,
                                this);
    taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");
    trayIcons_ = {LoadSmallIcon(IDI_TRAY_DEFAULT), LoadSmallIcon(IDI_TRAY_GREEN), LoadSmallIcon(IDI_TRAY_RED)};
    timers_[TTimer::Poll] = {kPollIntervalMs, false};
    timers_[TTimer::NotifyUsbDrive] = {7500, true};
    ::SetTimer(window_, TimerId(TTimer::NotifyUsbDrive), 7500, nullptr);
    AddTrayIcon();
}

TMainWindow::~TMainWindow() {
    RemoveTrayIcon();
    if (window_) ::DestroyWindow(window_);
    for (HICON icon : trayIcons_) {
        if (icon) ::DestroyIcon(icon);
    }
}

// --- Window procedure ---

LRESULT CALLBACK TMainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<TMainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window_ = window;
    }
    auto* self = reinterpret_cast<TMainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    return self ? self->Handle(message, wParam, lParam) : ::DefWindowProcW(window, message, wParam, lParam);
}

void TMainWindow::Dispatch(const std::function<void(TfmMain&)>& handler) {
    if (!controller_) return;
    TfmMain& controller = *controller_;
    controller.Guarded([&] { handler(controller); });
}

LRESULT TMainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == taskbarCreated_ && taskbarCreated_ != 0) {
        // Explorer restarted: the notification area has forgotten the icon.
        trayAdded_ = false;
        AddTrayIcon();
        return 0;
    }
    switch (message) {
        case kTrayMessage:
            // Version 4: the event is in the low word, the anchor point in wParam.
            if (LOWORD(lParam) == WM_LBUTTONUP || LOWORD(lParam) == WM_RBUTTONUP || LOWORD(lParam) == WM_CONTEXTMENU) {
                POINT at{};
                ::GetCursorPos(&at);
                if (LOWORD(lParam) == WM_LBUTTONUP) {
                    ::EndMenu();
                    ++at.y;
                    PopUpMenu(TTrayMenu::Tray, at);
                } else {
                    PopUpMenu(rightClickMenu_, at);
                }
            }
            return 0;
        case WM_TIMER:
            if (wParam == TimerId(TTimer::Poll)) {
                Dispatch([](TfmMain& main) { main.PollTimerTimer(); });
            } else if (wParam == TimerId(TTimer::NotifyUsbDrive)) {
                Dispatch([](TfmMain& main) { main.TimerNotifyUSBDriveTimer(); });
            }
            return 0;
        case kDirectoryChangeMessage:
            if (directoryChange_) directoryChange_(wParam);
            return 0;
        case WM_COMMAND:
            RunCommand(LOWORD(wParam));
            return 0;
        case WM_CLOSE:
            Dispatch([](TfmMain& main) { main.FormClose(); });
            return 0;
        default:
            return ::DefWindowProcW(window_, message, wParam, lParam);
    }
}

int TMainWindow::RunMessageLoop() {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

// --- Tray icon ---

void TMainWindow::AddTrayIcon() {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window_;
    data.uID = kTrayIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kTrayMessage;
    data.hIcon = trayIcons_[trayIndex_ == 3 ? 1 : trayIndex_ == 4 ? 2 : 0];
    CopyText(data.szTip, std::size(data.szTip), kTrayHint);
    trayAdded_ = ::Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
    data.uVersion = NOTIFYICON_VERSION_4;
    ::Shell_NotifyIconW(NIM_SETVERSION, &data);
}

void TMainWindow::RemoveTrayIcon() {
    if (!trayAdded_) return;
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window_;
    data.uID = kTrayIconId;
    ::Shell_NotifyIconW(NIM_DELETE, &data);
    trayAdded_ = false;
}

void TMainWindow::UpdateTrayIcon() {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window_;
    data.uID = kTrayIconId;
    data.uFlags = NIF_ICON;
    data.hIcon = trayIcons_[trayIndex_ == 3 ? 1 : trayIndex_ == 4 ? 2 : 0];
    ::Shell_NotifyIconW(NIM_MODIFY, &data);
}

void TMainWindow::SetTrayIconIndex(int index) {
    if (index == trayIndex_) return;
    trayIndex_ = index;
    UpdateTrayIcon();
}

void TMainWindow::ShowBalloon(std::u16string_view text, TBalloonIcon icon) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window_;
    data.uID = kTrayIconId;
    data.uFlags = NIF_INFO;
    CopyText(data.szInfo, std::size(data.szInfo), text);
    CopyText(data.szInfoTitle, std::size(data.szInfoTitle), kApplicationTitle);
    data.dwInfoFlags = icon == TBalloonIcon::Warning ? NIIF_WARNING : NIIF_INFO;
    data.uTimeout = kBalloonTimeMs;
    ::Shell_NotifyIconW(NIM_MODIFY, &data);
}

// --- Menus ---

void TMainWindow::SetMenuSlot(TMenuSlots slots, int slot, std::u16string_view caption, bool visible) {
    auto& list = slots == TMenuSlots::Modify ? modifySlots_ : ejectSlots_;
    if (slot < 0 || slot >= static_cast<int>(list.size())) return;
    list[static_cast<std::size_t>(slot)] = {std::u16string(caption), visible};
}

HMENU TMainWindow::BuildMenu(TTrayMenu which) {
    HMENU menu = ::CreatePopupMenu();
    const auto add = [menu](UINT id, std::u16string_view text) {
        ::AppendMenuW(menu, MF_STRING, id, ToWide(text).c_str());
    };
    if (which == TTrayMenu::Eject) {
        add(kCmdHeader, u"Dockvane");
        for (std::size_t slot = 0; slot < ejectSlots_.size(); ++slot) {
            if (ejectSlots_[slot].visible) add(kCmdEjectFirst + static_cast<UINT>(slot), ejectSlots_[slot].caption);
        }
        return menu;
    }
    add(kCmdHeader, u"Dockvane\u2122 - The easy way to promote USB drives on the LAN");
    add(kCmdHost, hostCaption_);
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    add(kCmdAdd, addCaption_);
    for (std::size_t slot = 0; slot < modifySlots_.size(); ++slot) {
        if (modifySlots_[slot].visible) add(kCmdModifyFirst + static_cast<UINT>(slot), modifySlots_[slot].caption);
    }
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    add(kCmdSettings, u"Settings");
    add(kCmdHelp, u"Help");
    add(kCmdAbout, u"About");
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    add(kCmdExit, u"Exit");
    if (domainItemVisible_) {
        ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        add(kCmdDomainUser, u"Set Domain User Name");
    }
    return menu;
}

std::vector<std::u16string> TMainWindow::MenuTexts(TTrayMenu which) {
    if (which == TTrayMenu::Tray) Dispatch([](TfmMain& main) { main.TrayPopupMenuPopup(); });
    HMENU menu = BuildMenu(which);
    std::vector<std::u16string> texts;
    for (int item = 0; item < ::GetMenuItemCount(menu); ++item) {
        wchar_t text[512] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 511;
        ::GetMenuItemInfoW(menu, static_cast<UINT>(item), TRUE, &info);
        texts.push_back(info.fType & MFT_SEPARATOR ? u"-" : FromWide(text));
    }
    ::DestroyMenu(menu);
    return texts;
}

void TMainWindow::PopUpMenu(TTrayMenu which, POINT at) {
    if (which == TTrayMenu::Tray) Dispatch([](TfmMain& main) { main.TrayPopupMenuPopup(); });
    HMENU menu = BuildMenu(which);
    // The menu closes when the user clicks elsewhere only while our window is in the foreground.
    ::SetForegroundWindow(window_);
    const UINT command =
        ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, window_, nullptr);
    ::PostMessageW(window_, WM_NULL, 0, 0);
    ::DestroyMenu(menu);
    if (command != 0) RunCommand(command);
}

void TMainWindow::RunCommand(UINT id) {
    if (id >= kCmdModifyFirst && id < kCmdModifyFirst + 12) {
        const int slot = static_cast<int>(id - kCmdModifyFirst);
        Dispatch([slot](TfmMain& main) { main.actNasModifySettingsExecute(slot); });
        return;
    }
    if (id >= kCmdEjectFirst && id < kCmdEjectFirst + 12) {
        const int slot = static_cast<int>(id - kCmdEjectFirst);
        Dispatch([slot](TfmMain& main) { main.EjectMenuItem1Click(slot); });
        return;
    }
    switch (id) {
        case kCmdHeader: Dispatch([](TfmMain& main) { main.DockvaneClick(); }); break;
        case kCmdHost: Dispatch([](TfmMain& main) { main.Host1Click(); }); break;
        case kCmdAdd: Dispatch([](TfmMain& main) { main.actNasAddExecute(); }); break;
        case kCmdSettings: Dispatch([](TfmMain& main) { main.actSettingsExecute(); }); break;
        case kCmdAbout: Dispatch([](TfmMain& main) { main.actInformationExecute(); }); break;
        case kCmdExit: Dispatch([](TfmMain& main) { main.actExitExecute(); }); break;
        case kCmdDomainUser: Dispatch([](TfmMain& main) { main.acSetDomainUserNameExecute(); }); break;
        default: break;
    }
}

// --- Message boxes, sounds, shell ---

void TMainWindow::ShowMessage(std::u16string_view text, TMessageIcon icon) {
    const UINT type = icon == TMessageIcon::Error     ? MB_ICONERROR
                      : icon == TMessageIcon::Warning ? MB_ICONWARNING
                                                      : MB_ICONINFORMATION;
    ::MessageBoxW(nullptr, ToWide(text).c_str(), ToWide(kApplicationTitle).c_str(), MB_OK | type | MB_SETFOREGROUND);
}

bool TMainWindow::AskYesNo(std::u16string_view text, std::u16string_view caption) {
    return ::MessageBoxW(nullptr, ToWide(text).c_str(), ToWide(caption).c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void TMainWindow::PlaySoundFile(std::u16string_view path) {
    ::PlaySoundW(ToWide(path).c_str(), nullptr, SND_ASYNC);
}

bool TMainWindow::PlayBuiltInSound(std::u16string_view name) {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, ToWide(UpperCase(name)).c_str(), RT_RCDATA);
    if (!found) return false;
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) return false;
    // Resources stay mapped for the life of the module, so the asynchronous play may go on reading.
    ::PlaySoundW(static_cast<LPCWSTR>(data), nullptr, SND_ASYNC | SND_MEMORY | SND_NOSTOP);
    return true;
}

void TMainWindow::NotifyShell(std::uint32_t eventId, std::u16string_view path) {
    ::SHChangeNotify(static_cast<LONG>(eventId), SHCNF_PATHW, ToWide(path).c_str(), nullptr);
}

void TMainWindow::OpenHomePageFromVersionInfo() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0) return;
    std::vector<BYTE> data(size);
    if (!::GetFileVersionInfoW(path, 0, size, data.data())) return;
    struct Translation {
        WORD language;
        WORD codePage;
    }* translation = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                          &length) ||
        length < sizeof(Translation)) {
        return;
    }
    wchar_t query[64];
    ::swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\Comments", translation->language, translation->codePage);
    wchar_t* comments = nullptr;
    if (!::VerQueryValueW(data.data(), query, reinterpret_cast<void**>(&comments), &length) || length == 0) return;
    ::ShellExecuteW(nullptr, L"open", comments, nullptr, nullptr, SW_SHOW);
}

// --- Dialogs and the settings window ---

std::optional<TDriveDialogResult> TMainWindow::ShowDriveSettingsDialog(TDriveDialogMode, std::u16string_view) {
    return std::nullopt;
}

void TMainWindow::ShowDomainUserDialog() {}

void TMainWindow::ShowAboutBox() {}

void TMainWindow::ShowAutoPlayDialog(char16_t, std::u16string_view) {}

void TMainWindow::ShowSettingsWindow() {
    ::ShowWindow(window_, SW_SHOW);
    ::SetForegroundWindow(window_);
}

void TMainWindow::HideSettingsWindow() {
    ::ShowWindow(window_, SW_HIDE);
}

void TMainWindow::QuitApplication() {
    quitting_ = true;
    ::PostQuitMessage(0);
}

// --- Clock ---

void TMainWindow::SetTimerInterval(TTimer timer, std::uint32_t milliseconds) {
    TimerState& state = timers_[timer];
    state.interval = milliseconds;
    if (state.enabled) ::SetTimer(window_, TimerId(timer), milliseconds, nullptr);
}

void TMainWindow::SetTimerEnabled(TTimer timer, bool enabled) {
    TimerState& state = timers_[timer];
    if (enabled == state.enabled) return;  // a running timer keeps counting
    state.enabled = enabled;
    if (enabled) {
        ::SetTimer(window_, TimerId(timer), state.interval, nullptr);
    } else {
        ::KillTimer(window_, TimerId(timer));
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
