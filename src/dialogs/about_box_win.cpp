#include "dialogs/about_box_win.h"

#include <string>
#include <string_view>

#include "platform/dpi_win.h"
#include "platform/product.h"
#include "resources/resource_ids.h"

namespace dv {
namespace {

constexpr COLORREF kAboutBackground = RGB(240, 251, 255);

// Paragraphs only: the read-only field wraps them to its width.
constexpr std::wstring_view kAgreement =
    L"END-USER LICENSE AGREEMENT\r\n"
    L"\r\n"
    L"Dockvane is licensed, not sold. By installing or using it you accept this agreement.\r\n"
    L"\r\n"
    L"1. You may install and use Dockvane on any number of computers that you own or administer.\r\n"
    L"\r\n"
    L"2. Dockvane creates network shares, local accounts and access rights for the drives you give it. "
    L"You are responsible for the data on those drives and for who may reach them on your network.\r\n"
    L"\r\n"
    L"3. Keep a second copy of anything you cannot afford to lose. Dockvane ejects drives on request; it "
    L"does not check the backups written to them.\r\n"
    L"\r\n"
    L"4. You may not sell Dockvane or pass it off as your own.\r\n"
    L"\r\n"
    L"THE SOFTWARE IS PROVIDED \"AS IS\", WITHOUT WARRANTY OF ANY KIND. IN NO EVENT SHALL THE AUTHORS BE "
    L"LIABLE FOR ANY CLAIM, DAMAGES OR OTHER LIABILITY ARISING FROM THE USE OF THE SOFTWARE.\r\n";

HFONT DerivedFont(HFONT base, int weight, bool underline) {
    LOGFONTW font{};
    GetObjectW(base, sizeof(font), &font);
    font.lfWeight = weight;
    font.lfUnderline = underline;
    return CreateFontIndirectW(&font);
}

}  // namespace

TAboutBox::TAboutBox(IWebSystem& system) : TDialogBase(IDD_ABOUT), WebLinks(system), system_(system) {}

TAboutBox::~TAboutBox() {
    FreeGdiObjects();
}

void TAboutBox::FreeGdiObjects() {
    for (HGDIOBJ* object : {reinterpret_cast<HGDIOBJ*>(&background_), reinterpret_cast<HGDIOBJ*>(&bold_),
                            reinterpret_cast<HGDIOBJ*>(&link_), reinterpret_cast<HGDIOBJ*>(&fixed_)}) {
        if (*object) DeleteObject(*object);
        *object = nullptr;
    }
    if (icon_) DestroyIcon(icon_);
    icon_ = nullptr;
}

void TAboutBox::FillTexts() {
    const std::u16string release = ApplicationReleaseText(system_);
    SetItemText(IDC_FILE_VERSION, release.empty() ? kReleaseUnknown : release);
    SetItemText(IDC_HOME_SITE, kHomePageUrl);
    SetDlgItemTextW(Handle(), IDC_AGREEMENT, std::wstring(kAgreement).c_str());

    background_ = CreateSolidBrush(kAboutBackground);
    MakeFontsAndIcon();
}

void TAboutBox::MakeFontsAndIcon() {
    const HFONT bold = DerivedFont(DialogFont(), FW_BOLD, false);
    const HFONT link = DerivedFont(DialogFont(), FW_BOLD, true);
    const HFONT fixed =
        CreateFontW(-MulDiv(8, static_cast<int>(Dpi()), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"Courier New");
    SendMessageW(Item(IDC_RELEASE_HEADING), WM_SETFONT, reinterpret_cast<WPARAM>(bold), TRUE);
    SendMessageW(Item(IDC_FILE_VERSION), WM_SETFONT, reinterpret_cast<WPARAM>(bold), TRUE);
    SendMessageW(Item(IDC_HOME_SITE), WM_SETFONT, reinterpret_cast<WPARAM>(link), TRUE);
    SendMessageW(Item(IDC_AGREEMENT), WM_SETFONT, reinterpret_cast<WPARAM>(fixed), TRUE);
    const int size = Scaled(32);
    const HICON icon = LoadIconOfSize(IDI_APP, size);
    SendMessageW(Item(IDC_ABOUT_ICON), STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    // The old ones only now: the controls held them until here.
    for (HFONT old : {bold_, link_, fixed_}) {
        if (old) DeleteObject(old);
    }
    if (icon_) DestroyIcon(icon_);
    bold_ = bold;
    link_ = link;
    fixed_ = fixed;
    icon_ = icon;
}

INT_PTR TAboutBox::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            FillTexts();
            SetFocus(Item(IDOK));
            return FALSE;
        case WM_CTLCOLORDLG: return reinterpret_cast<INT_PTR>(background_);
        case WM_CTLCOLORSTATIC: {
            const HDC dc = reinterpret_cast<HDC>(wParam);
            const HWND control = reinterpret_cast<HWND>(lParam);
            if (control == Item(IDC_AGREEMENT)) return FALSE;  // the agreement keeps its own look
            SetBkMode(dc, TRANSPARENT);
            if (control == Item(IDC_HOME_SITE)) SetTextColor(dc, GetSysColor(COLOR_HOTLIGHT));
            return reinterpret_cast<INT_PTR>(background_);
        }
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wParam) == Item(IDC_HOME_SITE)) {
                SetCursor(LoadCursorW(nullptr, IDC_HAND));
                SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_HOME_SITE && HIWORD(wParam) == STN_CLICKED) {
                WebLinks.goToProductHomePage();
            } else if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndWith(IDOK);
            }
            return TRUE;
        case WM_CLOSE: EndWith(IDOK); return TRUE;
        case WM_NCDESTROY: FreeGdiObjects(); return FALSE;
        default: return FALSE;
    }
}

void ShowAboutBox() {
    TAboutBox box;
    box.ShowModal(nullptr);
}

}  // namespace dv
