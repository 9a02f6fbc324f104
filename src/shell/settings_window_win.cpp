#include "shell/settings_window_win.h"

#include <utility>

#include <commctrl.h>
#include <commdlg.h>

#include "platform/text.h"
#include "resources/resource_ids.h"

namespace dv {
namespace {

static_assert(IDC_SETTINGS_OK == IDOK && IDC_SETTINGS_CANCEL == IDCANCEL);
static_assert(kButtonClicked == BN_CLICKED && kSelectionChanged == CBN_SELCHANGE);

void FillCombo(HWND combo, const TDropDownState& state) {
    ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const auto& item : state.Items) {
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(item).c_str()));
    }
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(state.ItemIndex), 0);
}

// "Text|*.ext|..." as the file chooser takes it: NUL between the parts, two at the end.
std::wstring ChooserFilter(std::u16string_view filter) {
    std::wstring result = ToWide(filter);
    for (wchar_t& c : result) {
        if (c == L'|') c = L'\0';
    }
    result.push_back(L'\0');
    return result;
}

}  // namespace

TSettingsWindow::TSettingsWindow() : TDialogBase(IDD_SETTINGS), logic_(static_cast<ISettingsWindow&>(*this)) {}

TSettingsWindow::~TSettingsWindow() = default;

void TSettingsWindow::Create() {
    CreateModeless(nullptr);
}

bool TSettingsWindow::Visible() const {
    return Handle() && ::IsWindowVisible(Handle());
}

void TSettingsWindow::MakeHeadingFont() {
    // The group headings in bold, in the dialog's own font.
    LOGFONTW heading{};
    ::GetObjectW(DialogFont(), sizeof heading, &heading);
    heading.lfWeight = FW_BOLD;
    UniqueFont font(::CreateFontIndirectW(&heading));
    for (int id : {IDC_SETTINGS_SOUNDS_HEADING, IDC_SETTINGS_SECURITY_HEADING, IDC_SETTINGS_AUTOPLAY_HEADING,
                   IDC_SETTINGS_STARTUP_HEADING}) {
        ::SendMessageW(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    }
    headingFont_ = std::move(font);
}

void TSettingsWindow::OnDpiChanged() {
    MakeHeadingFont();
}

void TSettingsWindow::OnInit() {
    MakeHeadingFont();
    AddHint(IDC_SETTINGS_PLAY_AVAILABLE, u"Play");
    AddHint(IDC_SETTINGS_PLAY_DONE, u"Play");
    ::SendMessageW(Handle(), DM_SETDEFID, IDCANCEL, 0);
    for (TSettingsControl control : {TSettingsControl::AvailableSound, TSettingsControl::DoneSound,
                                     TSettingsControl::AutoPlay, TSettingsControl::Autostart}) {
        Render(control);
    }
}

HWND TSettingsWindow::ControlOf(TSettingsControl control) const {
    switch (control) {
        case TSettingsControl::AvailableSound: return Item(IDC_SETTINGS_SOUND_AVAILABLE);
        case TSettingsControl::DoneSound: return Item(IDC_SETTINGS_SOUND_DONE);
        case TSettingsControl::AutoPlay: return Item(IDC_SETTINGS_AUTOPLAY);
        case TSettingsControl::Autostart: return Item(IDC_SETTINGS_AUTOSTART);
    }
    return nullptr;
}

void TSettingsWindow::Render(TSettingsControl control) {
    if (!Handle()) return;
    const TSettingsControls& c = logic_.Controls;
    switch (control) {
        case TSettingsControl::AvailableSound: FillCombo(ControlOf(control), c.cboxBackupAvailableSound); break;
        case TSettingsControl::DoneSound: FillCombo(ControlOf(control), c.cboxBackupDoneSound); break;
        case TSettingsControl::AutoPlay: FillCombo(ControlOf(control), c.cbAutoPlayUSBDisk); break;
        case TSettingsControl::Autostart:
            ::SendMessageW(ControlOf(control), BM_SETCHECK, c.ckAutostart ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
    }
}

void TSettingsWindow::Collect(int id) {
    TSettingsControls& c = logic_.Controls;
    const auto selected = [this](int combo) {
        return static_cast<int>(::SendMessageW(Item(combo), CB_GETCURSEL, 0, 0));
    };
    switch (id) {
        case IDC_SETTINGS_SOUND_AVAILABLE: c.cboxBackupAvailableSound.Select(selected(id)); break;
        case IDC_SETTINGS_SOUND_DONE: c.cboxBackupDoneSound.Select(selected(id)); break;
        case IDC_SETTINGS_AUTOPLAY: c.cbAutoPlayUSBDisk.Select(selected(id)); break;
        case IDC_SETTINGS_AUTOSTART: c.ckAutostart = ::SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; break;
        default: break;
    }
}

void TSettingsWindow::OnCommand(int id, int code) {
    Collect(id);
    const TSettingsAction action = SettingsActionOf(id, code);
    if (action != TSettingsAction::None && OnAction) OnAction(action, logic_.Controls);
}

bool TSettingsWindow::OnDrawItem(const DRAWITEMSTRUCT& item) {
    if (item.CtlType != ODT_BUTTON) return false;
    // The play buttons draw their triangle themselves: not every font has one.
    RECT frame = item.rcItem;
    const bool pushed = (item.itemState & ODS_SELECTED) != 0;
    ::DrawFrameControl(item.hDC, &frame, DFC_BUTTON, DFCS_BUTTONPUSH | DFCS_FLAT | (pushed ? DFCS_PUSHED : 0));
    const int size = (frame.bottom - frame.top) / 3;
    const int x = (frame.left + frame.right) / 2 - size / 2 + (pushed ? 1 : 0);
    const int y = (frame.top + frame.bottom) / 2 + (pushed ? 1 : 0);
    const POINT triangle[] = {{x, y - size}, {x + size, y}, {x, y + size}};
    {
        const ScopedSelectObject brush(item.hDC, ::GetSysColorBrush(COLOR_BTNTEXT));
        const ScopedSelectObject pen(item.hDC, ::GetStockObject(NULL_PEN));
        ::Polygon(item.hDC, triangle, 3);
    }
    if (item.itemState & ODS_FOCUS) {
        ::InflateRect(&frame, -Scaled(3), -Scaled(3));
        ::DrawFocusRect(item.hDC, &frame);
    }
    return true;
}

INT_PTR TSettingsWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: OnInit(); return FALSE;
        case WM_COMMAND: OnCommand(LOWORD(wParam), HIWORD(wParam)); return TRUE;
        case WM_DRAWITEM: return OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)) ? TRUE : FALSE;
        case WM_CLOSE:
            if (OnClose) OnClose();
            return TRUE;
        default: return FALSE;
    }
}

void TSettingsWindow::ShowCentred() {
    const HWND window = Handle();
    RECT frame{};
    ::GetWindowRect(window, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    ::SetWindowPos(window, nullptr, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                   (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::ShowWindow(window, SW_SHOW);
    ::SetForegroundWindow(window);
    ::SetFocus(Item(IDC_SETTINGS_OK));
}

void TSettingsWindow::Hide() {
    ::ShowWindow(Handle(), SW_HIDE);
}

std::optional<std::u16string> TSettingsWindow::ChooseFile(std::u16string_view filter, std::u16string_view folder) {
    wchar_t file[MAX_PATH] = {};
    const std::wstring filterText = ChooserFilter(filter);
    const std::wstring initialFolder = ToWide(folder);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = Handle();
    dialog.lpstrFilter = filterText.c_str();
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrInitialDir = initialFolder.c_str();
    dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_NONETWORKBUTTON | OFN_ENABLESIZING |
                   OFN_EXPLORER;
    if (!::GetOpenFileNameW(&dialog)) return std::nullopt;
    return FromWide(file);
}

}  // namespace dv
