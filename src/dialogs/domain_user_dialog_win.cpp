#include "dialogs/domain_user_dialog_win.h"

#include "resources/resource_ids.h"

namespace dv {
namespace {

constexpr COLORREF kExplanationText = RGB(0, 0, 128);  // navy

}  // namespace

TDomainUserNameWindow::TDomainUserNameWindow(TUserManager& userManager, TApplicationSettings& settings)
    : TDialogBase(IDD_DOMAIN_USER), own_(std::make_unique<TfmDomainUserName>(userManager, settings)), logic_(*own_) {}

TDomainUserNameWindow::TDomainUserNameWindow(IDomainUserLogic& logic) : TDialogBase(IDD_DOMAIN_USER), logic_(logic) {}

TDomainUserNameWindow::~TDomainUserNameWindow() {
    if (band_) DeleteObject(band_);
}

void TDomainUserNameWindow::SetShareUser(HWND owner) {
    ShowModal(owner);
}

void TDomainUserNameWindow::LoadShareUser() {
    const TDomainUserFields fields = logic_.LoadShareUser();
    SetItemText(IDC_DOMAIN_USER_NAME, fields.UserName);
    SetItemText(IDC_DOMAIN_PASSWORD, fields.Password);
}

void TDomainUserNameWindow::Close(TDialogResult result) {
    Guarded([&] {
        const TDomainUserFields fields{FromWide(ItemText(IDC_DOMAIN_USER_NAME)),
                                       FromWide(ItemText(IDC_DOMAIN_PASSWORD))};
        if (const auto warning = logic_.Close(result, fields)) Message(ToWide(*warning), MB_OK | MB_ICONWARNING);
    });
    EndWith(result == TDialogResult::Ok ? IDOK : IDCANCEL);
}

INT_PTR TDomainUserNameWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            band_ = CreateSolidBrush(RGB(255, 255, 255));
            SendMessageW(Item(IDC_DOMAIN_PASSWORD), EM_SETPASSWORDCHAR, L'*', 0);
            AddHint(IDC_DOMAIN_USER_COPY, kCopyUserNameHint);
            AddHint(IDC_DOMAIN_PASSWORD_COPY, kCopyPasswordHint);
            Guarded([&] { LoadShareUser(); });
            SetFocus(Item(IDC_DOMAIN_USER_NAME));
            return FALSE;
        case WM_ERASEBKGND: {
            // The explanation sits in a white band across the top.
            const HDC dc = reinterpret_cast<HDC>(wParam);
            RECT client;
            GetClientRect(Handle(), &client);
            FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
            RECT label;
            GetWindowRect(Item(IDC_DOMAIN_EXPLANATION), &label);
            MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&label), 2);
            RECT band{client.left, client.top, client.right, label.bottom + (label.top - client.top)};
            FillRect(dc, &band, band_);
            SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == Item(IDC_DOMAIN_EXPLANATION)) {
                const HDC dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, kExplanationText);
                SetBkColor(dc, RGB(255, 255, 255));
                return reinterpret_cast<INT_PTR>(band_);
            }
            return FALSE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK: Close(TDialogResult::Ok); break;
                case IDCANCEL: Close(TDialogResult::Cancel); break;
                case IDC_DOMAIN_USER_COPY:
                    SetClipboardUnicodeText(Handle(), FromWide(ItemText(IDC_DOMAIN_USER_NAME)));
                    break;
                case IDC_DOMAIN_PASSWORD_COPY:
                    Guarded([&] { SetClipboardUnicodeText(Handle(), logic_.PasswordToCopy()); });
                    break;
                default: break;
            }
            return TRUE;
        case WM_CLOSE: Close(TDialogResult::None); return TRUE;
        default: return FALSE;
    }
}

void ShowDomainUserDialog(HWND owner, TUserManager& userManager, TApplicationSettings& settings) {
    TDomainUserNameWindow dialog(userManager, settings);
    dialog.SetShareUser(owner);
}

}  // namespace dv
