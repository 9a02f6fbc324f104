#include "shell/main_window_win.h"

#include <commctrl.h>
#include <commdlg.h>
#include <mmsystem.h>
#include <shellapi.h>
#include <shlobj.h>

#include "dialogs/about_box_win.h"
#include "dialogs/auto_play_win.h"
#include "dialogs/domain_user_dialog_win.h"
#include "dialogs/modify_nas_win.h"
#include "platform/text.h"
#include "resources/resource_ids.h"
#include "shell/drive_settings_host.h"
#include "shell/fmu_main.h"

namespace dv {
namespace {

constexpr wchar_t kWindowClass[] = L"DockvaneMainWindow";
constexpr UINT kTrayMessage = WM_APP + 1;
constexpr UINT kTrayIconId = 1;

// The settings window's controls.
enum : int {
    kIdPlayAvailable = 1001,
    kIdSoundAvailable,
    kIdPlayDone,
    kIdSoundDone,
    kIdRenewPassword,
    kIdCheckUpdate,
    kIdAutoPlay,
    kIdAutostart,
    kIdOk = IDOK,
    kIdCancel = IDCANCEL,
};

constexpr int kClientWidth = 384;
constexpr int kClientHeight = 341;

// What an owner-drawn menu item is: a header, or the image of an ordinary item (index + 1).
constexpr ULONG_PTR kTrayHeader = 1000;
constexpr ULONG_PTR kEjectHeader = 1001;
// The menu image list's indexes.
enum : int { kImageExit = 0, kImageAbout = 1, kImageSettings = 2, kImageMyHost = 6, kImageHd = 7, kImageHelp = 9 };

// Only gives the header its width; never drawn.
constexpr wchar_t kHeaderWidthCaption[] = L"The easy way to promote External Storage drive on the LAN  ";

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

    // A hidden top-level window: a message-only window would receive no broadcasts. Shown, it is the
    // settings window: fixed border, only the close button, a taskbar button of its own.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    RECT frame{0, 0, kClientWidth, kClientHeight};
    ::AdjustWindowRectEx(&frame, style, FALSE, WS_EX_APPWINDOW | WS_EX_CONTROLPARENT);
    window_ = ::CreateWindowExW(WS_EX_APPWINDOW | WS_EX_CONTROLPARENT, kWindowClass,
                                (ToWide(kApplicationTitle) + L" Settings").c_str(), style, CW_USEDEFAULT,
                                CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                windowClass.hInstance, this);
    CreateSettingsControls();
    taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");
    trayIcons_ = {LoadSmallIcon(IDI_TRAY_DEFAULT), LoadSmallIcon(IDI_TRAY_GREEN), LoadSmallIcon(IDI_TRAY_RED)};
    for (std::size_t i = 0; i < menuIcons_.size(); ++i) menuIcons_[i] = LoadSmallIcon(IDI_MENU_FIRST + static_cast<int>(i));
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
    for (HICON icon : menuIcons_) {
        if (icon) ::DestroyIcon(icon);
    }
    if (font_) ::DeleteObject(font_);
    if (boldFont_) ::DeleteObject(boldFont_);
}

void TMainWindow::CreateSettingsControls() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    font_ = ::CreateFontIndirectW(&metrics.lfMessageFont);
    LOGFONTW bold = metrics.lfMessageFont;
    bold.lfWeight = FW_BOLD;
    boldFont_ = ::CreateFontIndirectW(&bold);

    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const auto make = [&](const wchar_t* kind, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id,
                          HFONT font) {
        HWND control = ::CreateWindowExW(0, kind, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, window_,
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return control;
    };
    const auto group = [&](const wchar_t* text, int y) { make(L"STATIC", text, SS_LEFT, 12, y, 360, 18, -1, boldFont_); };
    const auto label = [&](const wchar_t* text, int y) { make(L"STATIC", text, SS_LEFT, 24, y + 4, 128, 18, -1, font_); };
    const DWORD comboStyle = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;

    group(L"Sounds", 10);
    label(L"Backup available", 32);
    // The play buttons draw their triangle themselves: not every font has one.
    HWND playAvailable = make(L"BUTTON", L"Play", BS_OWNERDRAW | WS_TABSTOP, 152, 31, 26, 24, kIdPlayAvailable, font_);
    make(L"COMBOBOX", L"", comboStyle, 184, 32, 188, 200, kIdSoundAvailable, font_);
    label(L"Backup done", 62);
    HWND playDone = make(L"BUTTON", L"Play", BS_OWNERDRAW | WS_TABSTOP, 152, 61, 26, 24, kIdPlayDone, font_);
    make(L"COMBOBOX", L"", comboStyle, 184, 62, 188, 200, kIdSoundDone, font_);

    group(L"Security", 98);
    label(L"Master password", 120);
    make(L"BUTTON", L"Renew master password", BS_PUSHBUTTON | WS_TABSTOP, 152, 119, 220, 26, kIdRenewPassword, font_);
    label(L"Software Update", 152);
    make(L"BUTTON", L"Check for new releases", BS_PUSHBUTTON | WS_TABSTOP, 152, 151, 220, 26, kIdCheckUpdate, font_);

    group(L"Show Auto-play dialog for External Storage Devices", 190);
    label(L"Auto-play mode", 212);
    HWND autoPlay = make(L"COMBOBOX", L"", comboStyle, 152, 212, 220, 120, kIdAutoPlay, font_);
    for (const wchar_t* mode : {L"Always disabled", L"Disable for Dockvane disks", L"Always enabled"}) {
        ::SendMessageW(autoPlay, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(mode));
    }

    group(L"Startup", 248);
    label(L"Start on logon", 270);
    make(L"BUTTON", L"", BS_AUTOCHECKBOX | WS_TABSTOP, 152, 272, 20, 20, kIdAutostart, font_);

    // OK first in the tab order; Cancel is both the default and the cancel button.
    make(L"BUTTON", L"OK", BS_PUSHBUTTON | WS_TABSTOP, 206, 305, 80, 26, kIdOk, font_);
    make(L"BUTTON", L"Cancel", BS_DEFPUSHBUTTON | WS_TABSTOP, 292, 305, 80, 26, kIdCancel, font_);

    HWND tips = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance, nullptr);
    for (HWND button : {playAvailable, playDone}) {
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window_;
        tool.uId = reinterpret_cast<UINT_PTR>(button);
        tool.lpszText = const_cast<wchar_t*>(L"Play");
        ::SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
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
        case WM_MEASUREITEM: {
            auto& item = *reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
            if (item.CtlType != ODT_MENU) break;
            MeasureMenuItem(item);
            return TRUE;
        }
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item.CtlType == ODT_MENU) {
                DrawMenuItem(item);
                return TRUE;
            }
            if (item.CtlType != ODT_BUTTON) break;
            RECT frame = item.rcItem;
            const bool pushed = (item.itemState & ODS_SELECTED) != 0;
            ::DrawFrameControl(item.hDC, &frame, DFC_BUTTON, DFCS_BUTTONPUSH | DFCS_FLAT | (pushed ? DFCS_PUSHED : 0));
            const int size = (frame.bottom - frame.top) / 3;
            const int x = (frame.left + frame.right) / 2 - size / 2 + (pushed ? 1 : 0);
            const int y = (frame.top + frame.bottom) / 2 + (pushed ? 1 : 0);
            const POINT triangle[] = {{x, y - size}, {x + size, y}, {x, y + size}};
            HBRUSH brush = ::GetSysColorBrush(COLOR_BTNTEXT);
            HGDIOBJ oldBrush = ::SelectObject(item.hDC, brush);
            HGDIOBJ oldPen = ::SelectObject(item.hDC, ::GetStockObject(NULL_PEN));
            ::Polygon(item.hDC, triangle, 3);
            ::SelectObject(item.hDC, oldPen);
            ::SelectObject(item.hDC, oldBrush);
            if (item.itemState & ODS_FOCUS) {
                ::InflateRect(&frame, -3, -3);
                ::DrawFocusRect(item.hDC, &frame);
            }
            return TRUE;
        }
        case DM_GETDEFID:
            return MAKELRESULT(IDCANCEL, DC_HASDEFID);
        case WM_COMMAND:
            if (lParam != 0) {  // from a control of the settings window
                const int id = LOWORD(wParam);
                const int code = HIWORD(wParam);
                if (id == kIdSoundAvailable && code == CBN_SELCHANGE) {
                    Dispatch([](TfmMain& main) { main.cboxBackupAvailableSoundChange(); });
                } else if (id == kIdSoundDone && code == CBN_SELCHANGE) {
                    Dispatch([](TfmMain& main) { main.cboxBackupDoneSoundChange(); });
                } else if (id == kIdAutoPlay && code == CBN_SELCHANGE) {
                    const int index = static_cast<int>(::SendMessageW(Control(kIdAutoPlay), CB_GETCURSEL, 0, 0));
                    Dispatch([index](TfmMain& main) { main.cbAutoPlayUSBDiskChange(index); });
                } else if (code == BN_CLICKED) {
                    switch (id) {
                        case kIdPlayAvailable: Dispatch([](TfmMain& main) { main.spBtnPlayAvaliableSoundClick(); }); break;
                        case kIdPlayDone: Dispatch([](TfmMain& main) { main.spBtnPlayDoneSoundClick(); }); break;
                        case kIdRenewPassword: Dispatch([](TfmMain& main) { main.actPasswordRenewExecute(); }); break;
                        case kIdCheckUpdate: Dispatch([](TfmMain& main) { main.PngBtnChekUpdateClick(); }); break;
                        case kIdAutostart: {
                            const bool checked = AutostartChecked();
                            Dispatch([checked](TfmMain& main) { main.ckAutostartClick(checked); });
                            break;
                        }
                        case kIdOk: Dispatch([](TfmMain& main) { main.btnOkClick(); }); break;
                        case kIdCancel: Dispatch([](TfmMain& main) { main.btnCancelClick(); }); break;
                        default: break;
                    }
                }
                return 0;
            }
            if (LOWORD(wParam) == IDCANCEL) {  // Escape, or Enter away from the buttons
                Dispatch([](TfmMain& main) { main.btnCancelClick(); });
                return 0;
            }
            RunCommand(LOWORD(wParam));
            return 0;
        case WM_CLOSE:
            Dispatch([](TfmMain& main) { main.FormClose(); });
            return 0;
        default:
            break;
    }
    // Measure and draw requests for items other than ours take the default.
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

int TMainWindow::RunMessageLoop() {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab, Enter and Escape in the settings window.
        if (::IsWindowVisible(window_) && ::IsDialogMessageW(window_, &message)) continue;
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
    const auto add = [menu](UINT id, std::u16string_view text, int image) {
        const std::wstring caption = ToWide(text);
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE;
        item.fType = MFT_STRING;
        item.wID = id;
        item.dwTypeData = const_cast<wchar_t*>(caption.c_str());
        if (image >= 0) {
            // The image is drawn on request, at the size the system uses for small icons.
            item.fMask |= MIIM_BITMAP | MIIM_DATA;
            item.hbmpItem = HBMMENU_CALLBACK;
            item.dwItemData = static_cast<ULONG_PTR>(image) + 1;
        }
        ::InsertMenuItemW(menu, ::GetMenuItemCount(menu), TRUE, &item);
    };
    const auto header = [menu](UINT id, const wchar_t* caption, ULONG_PTR kind) {
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE | MIIM_DATA;
        item.fType = MFT_OWNERDRAW;
        item.wID = id;
        item.dwTypeData = const_cast<wchar_t*>(caption);
        item.dwItemData = kind;
        ::InsertMenuItemW(menu, ::GetMenuItemCount(menu), TRUE, &item);
    };
    if (which == TTrayMenu::Eject) {
        header(kCmdHeader, L"Dockvane", kEjectHeader);
        for (std::size_t slot = 0; slot < ejectSlots_.size(); ++slot) {
            if (ejectSlots_[slot].visible) {
                add(kCmdEjectFirst + static_cast<UINT>(slot), ejectSlots_[slot].caption, kImageHd);
            }
        }
        return menu;
    }
    header(kCmdHeader, kHeaderWidthCaption, kTrayHeader);
    add(kCmdHost, hostCaption_, kImageMyHost);
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    add(kCmdAdd, addCaption_, kImageHd);
    for (std::size_t slot = 0; slot < modifySlots_.size(); ++slot) {
        if (modifySlots_[slot].visible) {
            add(kCmdModifyFirst + static_cast<UINT>(slot), modifySlots_[slot].caption, kImageHd);
        }
    }
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    add(kCmdSettings, u"Settings", kImageSettings);
    add(kCmdHelp, u"Help", kImageHelp);
    add(kCmdAbout, u"About", kImageAbout);
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    add(kCmdExit, u"Exit", kImageExit);
    if (domainItemVisible_) {
        ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        add(kCmdDomainUser, u"Set Domain User Name", -1);
    }
    return menu;
}

void TMainWindow::MeasureMenuItem(MEASUREITEMSTRUCT& item) {
    const int icon = ::GetSystemMetrics(SM_CXSMICON);
    if (item.itemData != kTrayHeader && item.itemData != kEjectHeader) {
        // A little air between the image and the text.
        item.itemWidth = static_cast<UINT>(icon + 6);
        item.itemHeight = static_cast<UINT>(icon);
        return;
    }
    HDC dc = ::GetDC(window_);
    HGDIOBJ old = ::SelectObject(dc, boldFont_);
    const auto width = [dc](const wchar_t* text) {
        SIZE size{};
        ::GetTextExtentPoint32W(dc, text, static_cast<int>(::wcslen(text)), &size);
        return static_cast<int>(size.cx);
    };
    int itemWidth = width(item.itemData == kTrayHeader ? kHeaderWidthCaption : L"Dockvane\x2122");
    if (item.itemData == kTrayHeader) {
        // The caption sets the width; the slogan drawn after the name must fit in it all the same.
        ::SelectObject(dc, font_);
        itemWidth = std::max(itemWidth, 93 + width(L" - The easy way to promote USB drives on the LAN") + 8);
    } else {
        itemWidth += 16;
    }
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(window_, dc);
    item.itemWidth = static_cast<UINT>(itemWidth);
    item.itemHeight = static_cast<UINT>(metrics.tmHeight + 6);
}

void TMainWindow::DrawMenuItem(const DRAWITEMSTRUCT& item) {
    if (item.itemData != kTrayHeader && item.itemData != kEjectHeader) {
        const std::size_t image = item.itemData - 1;
        if (image < menuIcons_.size() && menuIcons_[image]) {
            const int size = ::GetSystemMetrics(SM_CXSMICON);
            const int top = (item.rcItem.top + item.rcItem.bottom - size) / 2;
            ::DrawIconEx(item.hDC, item.rcItem.left + 2, top, menuIcons_[image], size, size, 0, nullptr, DI_NORMAL);
        }
        return;
    }
    // The header looks the same selected or not: a band in the workspace colour with white text.
    const RECT& area = item.rcItem;
    const COLORREF band = ::GetSysColor(COLOR_APPWORKSPACE);
    HBRUSH brush = ::CreateSolidBrush(band);
    HPEN pen = ::CreatePen(PS_SOLID, 1, band);
    HGDIOBJ oldBrush = ::SelectObject(item.hDC, brush);
    HGDIOBJ oldPen = ::SelectObject(item.hDC, pen);
    ::Rectangle(item.hDC, area.left, area.top, area.right, area.bottom - 2);
    ::SetBkMode(item.hDC, TRANSPARENT);
    ::SetTextColor(item.hDC, RGB(255, 255, 255));
    HGDIOBJ oldFont = ::SelectObject(item.hDC, boldFont_);
    const std::wstring title = ToWide(kApplicationTitle);
    ::TextOutW(item.hDC, area.left + 8, area.top + 2, title.c_str(), static_cast<int>(title.size()));
    if (item.itemData == kTrayHeader) {
        ::SelectObject(item.hDC, font_);
        const wchar_t slogan[] = L" - The easy way to promote USB drives on the LAN";
        ::TextOutW(item.hDC, area.left + 93, area.top + 2, slogan, static_cast<int>(::wcslen(slogan)));
    }
    ::SelectObject(item.hDC, oldFont);
    ::SelectObject(item.hDC, oldPen);
    ::SelectObject(item.hDC, oldBrush);
    ::DeleteObject(pen);
    ::DeleteObject(brush);
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
        case kCmdSettings:
            // Open already: only brought to the front, so that the choices being made are not
            // refilled from the stored settings.
            if (::IsWindowVisible(window_)) {
                ::SetForegroundWindow(window_);
            } else {
                Dispatch([](TfmMain& main) { main.actSettingsExecute(); });
            }
            break;
        case kCmdAbout: Dispatch([](TfmMain& main) { main.actInformationExecute(); }); break;
        case kCmdHelp: Dispatch([](TfmMain& main) { main.acHelpExecute(); }); break;
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

std::optional<TDriveDialogResult> TMainWindow::ShowDriveSettingsDialog(TDriveDialogMode mode,
                                                                        std::u16string_view driveLetter) {
    if (!controller_) return std::nullopt;
    TDriveSettingsHost host(*controller_);
    const auto result = dv::ShowDriveSettingsDialog(host, mode == TDriveDialogMode::Add ? mAdd : mModify,
                                                    driveLetter.empty() ? u'\0' : driveLetter.front());
    if (!result) return std::nullopt;
    return TDriveDialogResult{result->Drive, result->VolumeName};
}

void TMainWindow::ShowDomainUserDialog(TUserManager& users, TApplicationSettings& settings) {
    // Also during the controller's start-up, while this window does not know the controller yet.
    dv::ShowDomainUserDialog(window_, users, settings);
}

void TMainWindow::ShowAboutBox() {
    dv::ShowAboutBox();
}

void TMainWindow::ShowAutoPlayDialog(char16_t driveLetter, std::u16string_view caption) {
    // Created once and reused, so that its selection is kept. A request while it is open does
    // nothing: the open dialog keeps its drive and stays closable.
    if (!autoPlay_) autoPlay_ = std::make_unique<TAutoPlayWindow>();
    if (autoPlay_->Handle()) return;
    autoPlay_->Show(driveLetter, caption);
}

void TMainWindow::ShowSettingsWindow() {
    // Centred on the screen each time it opens.
    RECT frame{};
    ::GetWindowRect(window_, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    ::SetWindowPos(window_, nullptr, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                   (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::ShowWindow(window_, SW_SHOW);
    ::SetForegroundWindow(window_);
    ::SetFocus(Control(kIdOk));
}

HWND TMainWindow::SoundBox(TSoundBox box) const {
    return Control(box == TSoundBox::Available ? kIdSoundAvailable : kIdSoundDone);
}

void TMainWindow::SetSoundEntries(TSoundBox box, const std::vector<std::u16string>& entries) {
    HWND combo = SoundBox(box);
    ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const auto& entry : entries) {
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(entry).c_str()));
    }
}

std::vector<std::u16string> TMainWindow::SoundEntries(TSoundBox box) const {
    HWND combo = SoundBox(box);
    std::vector<std::u16string> entries;
    const int count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const auto length = static_cast<std::size_t>(::SendMessageW(combo, CB_GETLBTEXTLEN, i, 0));
        std::wstring text(length + 1, L'\0');
        ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        text.resize(length);
        entries.push_back(FromWide(text));
    }
    return entries;
}

void TMainWindow::SelectSound(TSoundBox box, int index) {
    ::SendMessageW(SoundBox(box), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int TMainWindow::SelectedSound(TSoundBox box) const {
    return static_cast<int>(::SendMessageW(SoundBox(box), CB_GETCURSEL, 0, 0));
}

std::optional<std::u16string> TMainWindow::ChooseSoundFile() {
    wchar_t file[MAX_PATH] = {};
    const std::wstring folder = ToWide(soundFolder_);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_;
    dialog.lpstrFilter = L"Windows Wave (*.wav)\0*.wav\0";
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrInitialDir = folder.c_str();
    dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_NONETWORKBUTTON | OFN_ENABLESIZING |
                   OFN_EXPLORER;
    if (!::GetOpenFileNameW(&dialog)) return std::nullopt;
    return FromWide(file);
}

bool TMainWindow::AutostartChecked() const {
    return ::SendMessageW(Control(kIdAutostart), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TMainWindow::SetAutostartChecked(bool checked) {
    ::SendMessageW(Control(kIdAutostart), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TMainWindow::SetAutoPlaySelection(int index) {
    ::SendMessageW(Control(kIdAutoPlay), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
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
