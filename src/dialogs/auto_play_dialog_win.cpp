#include "dialogs/auto_play_dialog_win.h"

#include <shellapi.h>

#include "platform/dpi_win.h"
#include "resources/resource_ids.h"

namespace dv {

TAutoPlayWindow::TAutoPlayWindow() : TDialogBase(IDD_AUTOPLAY) {
    Explore = [](HWND owner, const std::u16string& folder) {
        const std::wstring root = ToWide(folder);
        ShellExecuteW(owner, L"Explore", root.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    };
}

TAutoPlayWindow::~TAutoPlayWindow() {
    for (HICON& icon : images_) {
        if (icon) DestroyIcon(icon);
        icon = nullptr;
    }
    if (picture_) DestroyIcon(picture_);
}

void TAutoPlayWindow::Show(char16_t drive, std::u16string_view caption) {
    // One window per object: a request while it is open must not take over the open dialog's drive
    // or window (which then could no longer be closed).
    if (Handle()) return;
    logic_.Drive = drive;
    caption_ = caption;
    ShowModal(nullptr);
}

HWND TAutoPlayWindow::ShowModeless(char16_t drive, std::u16string_view caption) {
    logic_.Drive = drive;
    caption_ = caption;
    return CreateModeless(nullptr);
}

void TAutoPlayWindow::Close(TDialogResult result) {
    logic_.ItemIndex = static_cast<int>(SendMessageW(Item(IDC_AUTOPLAY_ACTIONS), LB_GETCURSEL, 0, 0));
    if (const auto folder = logic_.OnClose(result)) Explore(Handle(), *folder);
    EndWith(static_cast<INT_PTR>(result));
}

void TAutoPlayWindow::DrawItem(const DRAWITEMSTRUCT& item) {
    if (item.itemID == static_cast<UINT>(-1)) return;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    const int height = item.rcItem.bottom - item.rcItem.top;
    const int margin = (height - imageSize_) / 2;
    if (item.itemID < 2 && images_[item.itemID]) {
        DrawIconEx(item.hDC, item.rcItem.left + margin, item.rcItem.top + margin, images_[item.itemID], imageSize_,
                   imageSize_, 0, nullptr, DI_NORMAL);
    }
    wchar_t text[128] = {};
    SendMessageW(item.hwndItem, LB_GETTEXT, item.itemID, reinterpret_cast<LPARAM>(text));
    RECT textRect = item.rcItem;
    textRect.left += 2 * margin + imageSize_;
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    DrawTextW(item.hDC, text, -1, &textRect, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
}

void TAutoPlayWindow::FitToDpi() {
    const int size = Scaled(32);
    if (size != imageSize_) {
        // Kept while the dialog comes and goes; loaded again only for another size.
        const int ids[2] = {IDI_OPENED_FOLDER, IDI_CANCEL};
        for (int i = 0; i < 2; ++i) {
            if (images_[i]) DestroyIcon(images_[i]);
            images_[i] = LoadIconOfSize(ids[i], size);
        }
        const HICON old = picture_;
        picture_ = LoadIconOfSize(IDI_MENU_DRIVE_BLUE_USB, size);
        SendMessageW(Item(IDC_AUTOPLAY_IMAGE), STM_SETICON, reinterpret_cast<WPARAM>(picture_), 0);
        if (old) DestroyIcon(old);  // only once the picture control lets go of it
        imageSize_ = size;
    }
    SendMessageW(Item(IDC_AUTOPLAY_IMAGE), STM_SETICON, reinterpret_cast<WPARAM>(picture_), 0);
    // The list measured its items before this object was reachable from the window.
    SendMessageW(Item(IDC_AUTOPLAY_ACTIONS), LB_SETITEMHEIGHT, 0, Scaled(42));
}

INT_PTR TAutoPlayWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            FitToDpi();
            SetWindowTextW(Handle(), ToWide(caption_).c_str());
            HWND list = Item(IDC_AUTOPLAY_ACTIONS);
            for (std::u16string_view action : {kOpenFolderAction, kTakeNoAction}) {
                SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(action).c_str()));
            }
            SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(logic_.ItemIndex), 0);
            SetFocus(list);
            return FALSE;
        }
        case WM_MEASUREITEM: {
            auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
            measure->itemHeight = static_cast<UINT>(Scaled(42));
            SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        case WM_DRAWITEM: DrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam)); return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_AUTOPLAY_OK: Close(TDialogResult::Ok); break;
                case IDCANCEL: Close(TDialogResult::Cancel); break;
                default: break;  // Enter (IDOK) is no answer here
            }
            return TRUE;
        case WM_CLOSE: Close(TDialogResult::None); return TRUE;
        default: return FALSE;
    }
}

}  // namespace dv
