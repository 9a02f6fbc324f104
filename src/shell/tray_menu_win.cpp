#include "shell/tray_menu_win.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "platform/dpi_win.h"
#include "platform/text.h"
#include "resources/resource_ids.h"
#include "shell/app_messages_win.h"
#include "shell/controller.h"

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

void AddItem(HMENU menu, UINT id, std::u16string_view text, int image, bool enabled) {
    const std::wstring caption = ToWide(text);
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE | MIIM_STATE;
    item.fType = MFT_STRING;
    item.fState = enabled ? MFS_ENABLED : MFS_DISABLED;
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

TTrayMenu::TTrayMenu() = default;

const TTrayMenu::Look& TTrayMenu::LookAt(UINT dpi) const {
    if (look_.dpi == dpi) return look_;
    // One DPI at a time: a menu shows on one monitor.
    const int size = SmallIconSize(dpi);
    for (std::size_t i = 0; i < look_.images.size(); ++i) {
        look_.images[i].reset(LoadIconOfSize(IDI_MENU_FIRST + static_cast<int>(i), size));
    }
    LOGFONTW font = MessageFontForDpi(dpi);
    look_.font.reset(::CreateFontIndirectW(&font));
    font.lfWeight = FW_BOLD;
    look_.boldFont.reset(::CreateFontIndirectW(&font));
    look_.dpi = dpi;
    return look_;
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
                const UINT id = kCmdEjectFirst + static_cast<UINT>(slot);
                AddItem(menu, id, ejectSlots_[slot].caption, kImageHd, CommandEnabled(id));
            }
        }
        return owned;
    }
    AddHeader(menu, kHeaderWidthCaption, kTrayHeader);
    AddItem(menu, kCmdHost, hostCaption_, kImageMyHost, CommandEnabled(kCmdHost));
    AddSeparator(menu);
    AddItem(menu, kCmdAdd, addCaption_, kImageHd, CommandEnabled(kCmdAdd));
    for (std::size_t slot = 0; slot < modifySlots_.size(); ++slot) {
        if (modifySlots_[slot].visible) {
            const UINT id = kCmdModifyFirst + static_cast<UINT>(slot);
            AddItem(menu, id, modifySlots_[slot].caption, kImageHd, CommandEnabled(id));
        }
    }
    AddSeparator(menu);
    AddItem(menu, kCmdSettings, u"Settings", kImageSettings, CommandEnabled(kCmdSettings));
    AddItem(menu, kCmdHelp, u"Help", kImageHelp, CommandEnabled(kCmdHelp));
    AddItem(menu, kCmdAbout, u"About", kImageAbout, CommandEnabled(kCmdAbout));
    AddSeparator(menu);
    AddItem(menu, kCmdExit, u"Exit", kImageExit, CommandEnabled(kCmdExit));
    if (domainItemVisible_) {
        AddSeparator(menu);
        AddItem(menu, kCmdDomainUser, u"Set Domain User Name", -1, CommandEnabled(kCmdDomainUser));
    }
    return owned;
}

void TTrayMenu::SetCommandEnabled(UINT command, bool enabled) {
    if (enabled) {
        disabled_.erase(command);
    } else {
        disabled_.insert(command);
    }
}

std::vector<std::u16string> TTrayMenu::Texts(TPopupMenu which) const {
    std::vector<std::u16string> texts;
    for (Entry& entry : Entries(which)) texts.push_back(std::move(entry.text));
    return texts;
}

std::vector<TTrayMenu::Entry> TTrayMenu::Entries(TPopupMenu which) const {
    const UniqueMenu menu = Build(which);
    std::vector<Entry> entries;
    for (int item = 0; item < ::GetMenuItemCount(menu.get()); ++item) {
        wchar_t text[512] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_STATE;
        info.dwTypeData = text;
        info.cch = 511;
        ::GetMenuItemInfoW(menu.get(), static_cast<UINT>(item), TRUE, &info);
        entries.push_back({info.fType & MFT_SEPARATOR ? u"-" : FromWide(text), (info.fState & MFS_DISABLED) == 0});
    }
    return entries;
}

UINT TTrayMenu::Track(TPopupMenu which, HWND window, POINT at) {
    const UniqueMenu menu = Build(which);
    menuDpi_ = DpiAtPoint(at);
    // The menu closes when the user clicks elsewhere only while its window is in the foreground,
    // and the message posted after it lets the next click open it again at once.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-trackpopupmenu
    ::SetForegroundWindow(window);
    const UINT command = static_cast<UINT>(
        ::TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, window, nullptr));
    ::PostMessageW(window, WM_NULL, 0, 0);
    menuDpi_ = 0;
    return command;
}

ULONG_PTR TTrayMenu::HeaderItemData(TPopupMenu menu) {
    return menu == TPopupMenu::Tray ? kTrayHeader : kEjectHeader;
}

HFONT TTrayMenu::HeaderFont(bool bold, UINT dpi) const {
    const Look& look = LookAt(dpi);
    return bold ? look.boldFont.get() : look.font.get();
}

std::vector<TTrayMenu::HeaderText> TTrayMenu::HeaderTexts(TPopupMenu menu, UINT dpi) const {
    std::vector<HeaderText> texts{{ToWide(kApplicationTitle), ScaleByDpi(8, dpi), ScaleByDpi(2, dpi), true}};
    if (menu == TPopupMenu::Tray) {
        // The slogan's place grows with the DPI, and never into the name: bold text does not widen
        // in step with it.
        const ScopedWindowDC dc(nullptr);
        const ScopedSelectObject bold(dc.get(), HeaderFont(true, dpi));
        const int nameEnd = texts[0].x + TextWidth(dc.get(), texts[0].text.c_str());
        texts.push_back({kSlogan, std::max(ScaleByDpi(93, dpi), nameEnd), ScaleByDpi(2, dpi), false});
    }
    return texts;
}

void TTrayMenu::Measure(HWND window, MEASUREITEMSTRUCT& item) const {
    MeasureAt(menuDpi_ ? menuDpi_ : DpiOfWindow(window), item);
}

void TTrayMenu::Draw(HWND window, const DRAWITEMSTRUCT& item) const {
    DrawAt(menuDpi_ ? menuDpi_ : DpiOfWindow(window), item);
}

void TTrayMenu::MeasureAt(UINT dpi, MEASUREITEMSTRUCT& item) const {
    if (item.itemData != kTrayHeader && item.itemData != kEjectHeader) {
        // A little air between the image and the text.
        const int icon = SmallIconSize(dpi);
        item.itemWidth = static_cast<UINT>(icon + ScaleByDpi(6, dpi));
        item.itemHeight = static_cast<UINT>(icon);
        return;
    }
    const TPopupMenu which = item.itemData == kTrayHeader ? TPopupMenu::Tray : TPopupMenu::Eject;
    const ScopedWindowDC dc(nullptr);
    int width = 0;
    int height = 0;
    {
        // The tray header's caption sets its width; what is drawn must fit in it all the same.
        const ScopedSelectObject bold(dc.get(), HeaderFont(true, dpi));
        width = which == TPopupMenu::Tray ? TextWidth(dc.get(), kHeaderWidthCaption) : 0;
    }
    for (const HeaderText& text : HeaderTexts(which, dpi)) {
        const ScopedSelectObject font(dc.get(), HeaderFont(text.bold, dpi));
        SIZE size{};
        ::GetTextExtentPoint32W(dc.get(), text.text.c_str(), static_cast<int>(text.text.size()), &size);
        width = std::max(width, text.x + static_cast<int>(size.cx) + ScaleByDpi(8, dpi));
        // The band ends 2 pixels (at 96 DPI) above the item's bottom.
        height = std::max(height, text.y + static_cast<int>(size.cy) + ScaleByDpi(4, dpi));
    }
    item.itemWidth = static_cast<UINT>(width);
    item.itemHeight = static_cast<UINT>(height);
}

void TTrayMenu::DrawAt(UINT dpi, const DRAWITEMSTRUCT& item) const {
    if (item.itemData != kTrayHeader && item.itemData != kEjectHeader) {
        const Look& look = LookAt(dpi);
        const std::size_t image = item.itemData - 1;
        if (image < look.images.size() && look.images[image]) {
            const int size = SmallIconSize(dpi);
            const int top = (item.rcItem.top + item.rcItem.bottom - size) / 2;
            ::DrawIconEx(item.hDC, item.rcItem.left + ScaleByDpi(2, dpi), top, look.images[image].get(), size, size, 0,
                         nullptr, DI_NORMAL);
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
    ::Rectangle(item.hDC, area.left, area.top, area.right, area.bottom - ScaleByDpi(2, dpi));
    ::SetBkMode(item.hDC, TRANSPARENT);
    ::SetTextColor(item.hDC, RGB(255, 255, 255));
    for (const HeaderText& text :
         HeaderTexts(item.itemData == kTrayHeader ? TPopupMenu::Tray : TPopupMenu::Eject, dpi)) {
        const ScopedSelectObject font(item.hDC, HeaderFont(text.bold, dpi));
        ::TextOutW(item.hDC, area.left + text.x, area.top + text.y, text.text.c_str(),
                   static_cast<int>(text.text.size()));
    }
}

}  // namespace dv
