#include "shell/tray_menu_win.h"

#include <algorithm>

#include "platform/text.h"
#include "resources/resource_ids.h"
#include "shell/app_messages_win.h"
#include "shell/fmu_main.h"

namespace dv {
namespace {

// What an owner-drawn menu item is: a header, or the image of an ordinary item (index + 1).
constexpr ULONG_PTR kTrayHeader = 1000;
constexpr ULONG_PTR kEjectHeader = 1001;
// The menu image list's indexes.
enum : int { kImageExit = 0, kImageAbout = 1, kImageSettings = 2, kImageMyHost = 6, kImageHd = 7, kImageHelp = 9 };

// Only gives the header its width; never drawn.
constexpr wchar_t kHeaderWidthCaption[] = L"The easy way to promote External Storage drive on the LAN  ";
constexpr wchar_t kSlogan[] = L" - The easy way to promote USB drives on the LAN";

UniqueIcon LoadSmallIcon(int id) {
    return UniqueIcon(static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON,
                                                      ::GetSystemMetrics(SM_CXSMICON),
                                                      ::GetSystemMetrics(SM_CYSMICON), 0)));
}

void AddItem(HMENU menu, UINT id, std::u16string_view text, int image) {
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
    ::InsertMenuItemW(menu, static_cast<UINT>(::GetMenuItemCount(menu)), TRUE, &item);
}

void AddHeader(HMENU menu, const wchar_t* caption, ULONG_PTR kind) {
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE | MIIM_DATA;
    item.fType = MFT_OWNERDRAW;
    item.wID = kCmdHeader;
    item.dwTypeData = const_cast<wchar_t*>(caption);
    item.dwItemData = kind;
    ::InsertMenuItemW(menu, static_cast<UINT>(::GetMenuItemCount(menu)), TRUE, &item);
}

void AddSeparator(HMENU menu) {
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
}

int TextWidth(HDC dc, const wchar_t* text) {
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text, static_cast<int>(::wcslen(text)), &size);
    return static_cast<int>(size.cx);
}

}  // namespace

TTrayMenu::TTrayMenu() {
    for (std::size_t i = 0; i < images_.size(); ++i) images_[i] = LoadSmallIcon(IDI_MENU_FIRST + static_cast<int>(i));
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    font_.reset(::CreateFontIndirectW(&metrics.lfMessageFont));
    LOGFONTW bold = metrics.lfMessageFont;
    bold.lfWeight = FW_BOLD;
    boldFont_.reset(::CreateFontIndirectW(&bold));
}

void TTrayMenu::SetSlot(TMenuSlots slots, int slot, std::u16string_view caption, bool visible) {
    auto& list = slots == TMenuSlots::Modify ? modifySlots_ : ejectSlots_;
    if (slot < 0 || slot >= static_cast<int>(list.size())) return;
    list[static_cast<std::size_t>(slot)] = {std::u16string(caption), visible};
}

UniqueMenu TTrayMenu::Build(TPopupMenu which) const {
    UniqueMenu owned(::CreatePopupMenu());
    const HMENU menu = owned.get();
    if (which == TPopupMenu::Eject) {
        AddHeader(menu, L"Dockvane", kEjectHeader);
        for (std::size_t slot = 0; slot < ejectSlots_.size(); ++slot) {
            if (ejectSlots_[slot].visible) {
                AddItem(menu, kCmdEjectFirst + static_cast<UINT>(slot), ejectSlots_[slot].caption, kImageHd);
            }
        }
        return owned;
    }
    AddHeader(menu, kHeaderWidthCaption, kTrayHeader);
    AddItem(menu, kCmdHost, hostCaption_, kImageMyHost);
    AddSeparator(menu);
    AddItem(menu, kCmdAdd, addCaption_, kImageHd);
    for (std::size_t slot = 0; slot < modifySlots_.size(); ++slot) {
        if (modifySlots_[slot].visible) {
            AddItem(menu, kCmdModifyFirst + static_cast<UINT>(slot), modifySlots_[slot].caption, kImageHd);
        }
    }
    AddSeparator(menu);
    AddItem(menu, kCmdSettings, u"Settings", kImageSettings);
    AddItem(menu, kCmdHelp, u"Help", kImageHelp);
    AddItem(menu, kCmdAbout, u"About", kImageAbout);
    AddSeparator(menu);
    AddItem(menu, kCmdExit, u"Exit", kImageExit);
    if (domainItemVisible_) {
        AddSeparator(menu);
        AddItem(menu, kCmdDomainUser, u"Set Domain User Name", -1);
    }
    return owned;
}

std::vector<std::u16string> TTrayMenu::Texts(TPopupMenu which) const {
    const UniqueMenu menu = Build(which);
    std::vector<std::u16string> texts;
    for (int item = 0; item < ::GetMenuItemCount(menu.get()); ++item) {
        wchar_t text[512] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 511;
        ::GetMenuItemInfoW(menu.get(), static_cast<UINT>(item), TRUE, &info);
        texts.push_back(info.fType & MFT_SEPARATOR ? u"-" : FromWide(text));
    }
    return texts;
}

UINT TTrayMenu::Track(TPopupMenu which, HWND window, POINT at) const {
    const UniqueMenu menu = Build(which);
    // The menu closes when the user clicks elsewhere only while its window is in the foreground,
    // and the message posted after it lets the next click open it again at once.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-trackpopupmenu
    ::SetForegroundWindow(window);
    const UINT command = static_cast<UINT>(
        ::TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, window, nullptr));
    ::PostMessageW(window, WM_NULL, 0, 0);
    return command;
}

void TTrayMenu::Measure(HWND window, MEASUREITEMSTRUCT& item) const {
    const int icon = ::GetSystemMetrics(SM_CXSMICON);
    if (item.itemData != kTrayHeader && item.itemData != kEjectHeader) {
        // A little air between the image and the text.
        item.itemWidth = static_cast<UINT>(icon + 6);
        item.itemHeight = static_cast<UINT>(icon);
        return;
    }
    const ScopedWindowDC dc(window);
    int itemWidth = 0;
    TEXTMETRICW metrics{};
    {
        const ScopedSelectObject bold(dc.get(), boldFont_.get());
        itemWidth = TextWidth(dc.get(), item.itemData == kTrayHeader ? kHeaderWidthCaption : L"Dockvane\x2122");
        if (item.itemData == kTrayHeader) {
            // The caption sets the width; the slogan drawn after the name must fit in it all the same.
            const ScopedSelectObject regular(dc.get(), font_.get());
            itemWidth = std::max(itemWidth, 93 + TextWidth(dc.get(), kSlogan) + 8);
            ::GetTextMetricsW(dc.get(), &metrics);
        } else {
            itemWidth += 16;
            ::GetTextMetricsW(dc.get(), &metrics);
        }
    }
    item.itemWidth = static_cast<UINT>(itemWidth);
    item.itemHeight = static_cast<UINT>(metrics.tmHeight + 6);
}

void TTrayMenu::Draw(const DRAWITEMSTRUCT& item) const {
    if (item.itemData != kTrayHeader && item.itemData != kEjectHeader) {
        const std::size_t image = item.itemData - 1;
        if (image < images_.size() && images_[image]) {
            const int size = ::GetSystemMetrics(SM_CXSMICON);
            const int top = (item.rcItem.top + item.rcItem.bottom - size) / 2;
            ::DrawIconEx(item.hDC, item.rcItem.left + 2, top, images_[image].get(), size, size, 0, nullptr, DI_NORMAL);
        }
        return;
    }
    // The header looks the same selected or not: a band in the workspace colour with white text.
    const RECT& area = item.rcItem;
    const COLORREF band = ::GetSysColor(COLOR_APPWORKSPACE);
    const UniqueBrush brush(::CreateSolidBrush(band));
    const UniquePen pen(::CreatePen(PS_SOLID, 1, band));
    const ScopedSelectObject brushSelected(item.hDC, brush.get());
    const ScopedSelectObject penSelected(item.hDC, pen.get());
    ::Rectangle(item.hDC, area.left, area.top, area.right, area.bottom - 2);
    ::SetBkMode(item.hDC, TRANSPARENT);
    ::SetTextColor(item.hDC, RGB(255, 255, 255));
    const ScopedSelectObject fontSelected(item.hDC, boldFont_.get());
    const std::wstring title = ToWide(kApplicationTitle);
    ::TextOutW(item.hDC, area.left + 8, area.top + 2, title.c_str(), static_cast<int>(title.size()));
    if (item.itemData == kTrayHeader) {
        const ScopedSelectObject regular(item.hDC, font_.get());
        ::TextOutW(item.hDC, area.left + 93, area.top + 2, kSlogan, static_cast<int>(::wcslen(kSlogan)));
    }
}

}  // namespace dv
