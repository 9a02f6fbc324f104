#include "dialogs/drive_settings_dialog_win.h"

#include <commctrl.h>

#include "resources/resource_ids.h"
#include "settings/share_settings.h"

namespace dv {
namespace {

// Typed characters a share or volume name cannot hold never reach the field; pasted text is not
// filtered.
LRESULT CALLBACK NameKeyFilter(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (message == WM_CHAR && !ShareNameKeyAccepted(static_cast<char16_t>(wParam))) return 0;
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

// The narrow field beside the account box copies the account name when clicked.
LRESULT CALLBACK UserNameCopier(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (message == WM_LBUTTONUP) {
        SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(IDC_SHARE_USER_DEFAULT, BN_CLICKED),
                     reinterpret_cast<LPARAM>(hwnd));
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

void FillCombo(HWND combo, const TListState& state) {
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const auto& item : state.Items) {
        const std::wstring text = ToWide(item);
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(state.ItemIndex), 0);
    EnableWindow(combo, state.Enabled);
}

constexpr COLORREF kReadOnlyText = RGB(107, 107, 107);

}  // namespace

TModifyNASWindow::TModifyNASWindow(IDriveSettingsHost& host, TMode mode, char16_t drive)
    : TDialogBase(IDD_MODIFY_NAS), host_(host), mode_(mode), drive_(drive) {}

TModifyNASWindow::~TModifyNASWindow() = default;

void TModifyNASWindow::OnInit() {
    SendMessageW(Item(IDC_SHARE_NAME), EM_LIMITTEXT, kMaxShareNameLength, 0);
    SendMessageW(Item(IDC_SHARE_PASSWORD), EM_SETPASSWORDCHAR, L'*', 0);
    SetWindowSubclass(Item(IDC_SHARE_NAME), NameKeyFilter, 1, 0);
    SetWindowSubclass(Item(IDC_VOLUME_NAME), NameKeyFilter, 1, 0);
    SetWindowSubclass(Item(IDC_SHARE_USER_DEFAULT), UserNameCopier, 1, 0);
    AddHint(IDC_HOST_COPY, kCopyHostHint);
    AddHint(IDC_SHARE_USER_DEFAULT, u"Copy username (to clipboard)");
    AddHint(IDC_PASSWORD_COPY, u"Copy password (to clipboard)");
    readOnlyBrush_ = GetSysColorBrush(COLOR_BTNFACE);

    logic_ = std::make_unique<TfmModifyNAS>(host_, static_cast<IModifyNASView&>(*this), mode_);
    if (mode_ == mModify) {
        logic_->SetDrive(std::u16string(1, drive_));
        logic_->OnDriveLetterChange();
    }
    Render();
}

void TModifyNASWindow::Render() {
    const TModifyNASControls& c = logic_->Controls;
    SetItemText(IDC_HOST_NAME, c.edHostName);
    FillCombo(Item(IDC_DRIVE_LIST), c.cbDriveLetter);
    EnableWindow(Item(IDC_DRIVE_LIST), FALSE);
    FillCombo(Item(IDC_DRIVE_PICKER), c.cbImageDriveLetter);
    SetItemText(IDC_VOLUME_NAME, c.edVolumeName);
    SetItemText(IDC_SHARE_NAME, c.edShareName);
    SetItemText(IDC_SHARE_DESCRIPTION, c.edShareDescription);
    FillCombo(Item(IDC_SHARE_USER_LIST), c.cbShareUserNm);
    SetItemText(IDC_SHARE_USER_LIST, c.cbShareUserNmText);
    SetItemText(IDC_SHARE_USER_DEFAULT, c.edShareUserNm);
    SetItemText(IDC_SHARE_PASSWORD, c.edSharePasswd);
    CheckDlgButton(Handle(), IDC_AUTO_REMOVE, c.cbAutoRemove ? BST_CHECKED : BST_UNCHECKED);
    SetItemText(IDC_AUTO_REMOVE_LABEL, c.LabelAutoRemove);
    CheckDlgButton(Handle(), IDC_ENCRYPT, c.cbEncrypt ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(Item(IDC_UPDATE), c.btnUpdateEnabled);
    EnableWindow(Item(IDC_DISABLE), c.btnDisableEnabled);
    EnableWindow(Item(IDC_DISABLE_REMOVE), c.btnDisableRemoveEnabled);
    for (int id : {IDC_PLEASE_WAIT, IDC_PLEASE_WAIT_TEXT, IDC_PLEASE_WAIT_BAR}) {
        ShowWindow(Item(id), c.pnlPleaseWaitVisible ? SW_SHOW : SW_HIDE);
    }
}

void TModifyNASWindow::Collect() {
    TModifyNASControls& c = logic_->Controls;
    c.edVolumeName = FromWide(ItemText(IDC_VOLUME_NAME));
    c.edShareName = FromWide(ItemText(IDC_SHARE_NAME));
    c.edShareDescription = FromWide(ItemText(IDC_SHARE_DESCRIPTION));
    c.cbShareUserNmText = FromWide(ItemText(IDC_SHARE_USER_LIST));
    c.cbShareUserNm.ItemIndex = static_cast<int>(SendMessageW(Item(IDC_SHARE_USER_LIST), CB_GETCURSEL, 0, 0));
    c.cbAutoRemove = IsDlgButtonChecked(Handle(), IDC_AUTO_REMOVE) == BST_CHECKED;
    c.cbEncrypt = IsDlgButtonChecked(Handle(), IDC_ENCRYPT) == BST_CHECKED;
}

void TModifyNASWindow::OnCommand(int id, int code) {
    switch (id) {
        case IDC_DRIVE_PICKER:
            if (code == CBN_SELCHANGE) {
                logic_->OnDrivePickerChange(static_cast<int>(SendMessageW(Item(IDC_DRIVE_PICKER), CB_GETCURSEL, 0, 0)));
                logic_->OnActivate();
                Render();
            }
            break;
        case IDC_SHARE_USER_LIST:
            if (code == CBN_SELCHANGE) {
                // The edit part follows the selection only after this notification.
                const int index = static_cast<int>(SendMessageW(Item(IDC_SHARE_USER_LIST), CB_GETCURSEL, 0, 0));
                if (index >= 0 && index < static_cast<int>(logic_->Controls.cbShareUserNm.Items.size())) {
                    logic_->Controls.cbShareUserNmText = logic_->Controls.cbShareUserNm.Items[index];
                    logic_->Controls.cbShareUserNm.ItemIndex = index;
                }
            }
            break;
        case IDC_UPDATE:
            Collect();
            if (logic_->OnUpdate() == TDialogResult::Ok) {
                Render();
                if (logic_->OnClose(TDialogResult::Ok)) CloseDialog(TDialogResult::Ok);
            } else {
                Render();
            }
            break;
        case IDC_DISABLE:
            Collect();
            logic_->OnDisable();
            if (!closing_) Render();
            break;
        case IDC_DISABLE_REMOVE:
            Collect();
            logic_->OnDisableRemove();
            if (!closing_) Render();
            break;
        case IDC_HOST_COPY: logic_->OnCopyHost(); break;
        case IDC_SHARE_USER_DEFAULT:
            if (code == BN_CLICKED) {
                Collect();
                logic_->OnCopyUserName();
            }
            break;
        case IDC_PASSWORD_COPY:
            Collect();
            logic_->OnCopyPassword();
            break;
        case IDCANCEL: CloseDialog(TDialogResult::Cancel); break;
        default: break;
    }
}

INT_PTR TModifyNASWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            Guarded([&] { OnInit(); });
            SetFocus(Item(IDC_DRIVE_PICKER));
            if (!IsWindowEnabled(Item(IDC_DRIVE_PICKER))) SetFocus(Item(IDC_VOLUME_NAME));
            return FALSE;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && logic_) {
                logic_->OnActivate();
                SetItemText(IDC_AUTO_REMOVE_LABEL, logic_->Controls.LabelAutoRemove);
            }
            return FALSE;
        case WM_COMMAND:
            if (logic_ && !closing_) Guarded([&] { OnCommand(LOWORD(wParam), HIWORD(wParam)); });
            return TRUE;
        case WM_CLOSE: CloseDialog(TDialogResult::Cancel); return TRUE;
        case WM_CTLCOLORSTATIC: {
            const HWND control = reinterpret_cast<HWND>(lParam);
            const int id = GetDlgCtrlID(control);
            if (id == IDC_HOST_NAME || id == IDC_SHARE_PASSWORD || id == IDC_SHARE_USER_DEFAULT) {
                const HDC dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, kReadOnlyText);
                SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
                return reinterpret_cast<INT_PTR>(readOnlyBrush_);
            }
            return FALSE;
        }
        case WM_DESTROY:
            RemoveWindowSubclass(Item(IDC_SHARE_NAME), NameKeyFilter, 1);
            RemoveWindowSubclass(Item(IDC_VOLUME_NAME), NameKeyFilter, 1);
            RemoveWindowSubclass(Item(IDC_SHARE_USER_DEFAULT), UserNameCopier, 1);
            return FALSE;
        default: return FALSE;
    }
}

void TModifyNASWindow::ShowMessage(std::u16string_view text, TMessageKind kind) {
    Message(ToWide(text), MB_OK | (kind == TMessageKind::Error ? MB_ICONERROR : MB_ICONWARNING));
}

bool TModifyNASWindow::Confirm(std::u16string_view text) {
    return Message(ToWide(text), MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

void TModifyNASWindow::FocusShareName() {
    SetFocus(Item(IDC_SHARE_NAME));
}

void TModifyNASWindow::ShowBusy() {
    Render();
    // The panel lies over the fields: bring it in front of them and keep them from taking input
    // while the controller works.
    for (int id : {IDC_PLEASE_WAIT, IDC_PLEASE_WAIT_TEXT, IDC_PLEASE_WAIT_BAR}) {
        SetWindowPos(Item(id), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    }
    SetWindowPos(Item(IDC_PLEASE_WAIT_TEXT), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowPos(Item(IDC_PLEASE_WAIT_BAR), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    for (int id : {IDC_UPDATE, IDC_DISABLE, IDC_DISABLE_REMOVE, IDCANCEL}) EnableWindow(Item(id), FALSE);
    UpdateWindow(Handle());
    ProcessPendingMessages();
    SendMessageW(Item(IDC_PLEASE_WAIT_BAR), PBM_SETMARQUEE, TRUE, 30);
    ProcessPendingMessages();
}

void TModifyNASWindow::EndBusy() {
    if (closing_ || !Handle()) return;
    SendMessageW(Item(IDC_PLEASE_WAIT_BAR), PBM_SETMARQUEE, FALSE, 0);
    EnableWindow(Item(IDCANCEL), TRUE);
    Render();
}

void TModifyNASWindow::CloseDialog(TDialogResult result) {
    if (closing_) return;
    closing_ = true;
    EndWith(static_cast<INT_PTR>(result));
}

void TModifyNASWindow::SetClipboardText(std::u16string_view text) {
    SetClipboardUnicodeText(Handle(), text);
}

std::optional<TDriveSettingsResult> ShowDriveSettingsDialog(IDriveSettingsHost& host, TMode mode, char16_t drive) {
    TModifyNASWindow window(host, mode, drive);
    if (window.ShowModal(nullptr) != static_cast<INT_PTR>(TDialogResult::Ok)) return std::nullopt;
    const TfmModifyNAS& logic = window.Logic();
    return TDriveSettingsResult{logic.Drive(), logic.Controls.edVolumeName};
}

}  // namespace dv
