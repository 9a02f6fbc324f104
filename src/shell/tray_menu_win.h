// The tray icon's two popup menus: what they hold, how they are built and how their owner-drawn
// items look.
#pragma once

#include <array>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/handles_win.h"
#include "platform/windows_include.h"
#include "shell/main_view.h"

namespace dv {

class TTrayMenu {
public:
    TTrayMenu();
    TTrayMenu(const TTrayMenu&) = delete;
    TTrayMenu& operator=(const TTrayMenu&) = delete;

    void SetSlot(TMenuSlots slots, int slot, std::u16string_view caption, bool visible);
    void SetAddCaption(std::u16string_view caption) { addCaption_ = caption; }
    void SetHostCaption(std::u16string_view caption) { hostCaption_ = caption; }
    const std::u16string& HostCaption() const { return hostCaption_; }
    void SetDomainUserItemVisible(bool visible) { domainItemVisible_ = visible; }
    void SetRightClickMenu(TPopupMenu menu) { rightClickMenu_ = menu; }
    TPopupMenu RightClickMenu() const { return rightClickMenu_; }

    // Whether the command's items can be chosen (all can, until one is disabled): a face shows the
    // changes a person may not make greyed.
    void SetCommandEnabled(UINT command, bool enabled);
    bool CommandEnabled(UINT command) const { return !disabled_.contains(command); }

    // A new menu as it now stands; the caller owns it.
    UniqueMenu Build(TPopupMenu menu) const;
    // The menu's item texts (separators as "-").
    std::vector<std::u16string> Texts(TPopupMenu menu) const;
    // The same with whether each can be chosen.
    struct Entry {
        std::u16string text;
        bool enabled = true;
    };
    std::vector<Entry> Entries(TPopupMenu menu) const;
    // Shows the menu at the point, owned by `window`, until the user chooses or leaves it; the
    // chosen command, 0 for none. Messages are processed meanwhile.
    UINT Track(TPopupMenu menu, HWND window, POINT at);

    // Owner drawing, for WM_MEASUREITEM and WM_DRAWITEM of the window the menu belongs to, at the
    // DPI of the monitor the menu shows on (without a menu open: that of the window).
    void Measure(HWND window, MEASUREITEMSTRUCT& item) const;
    void Draw(HWND window, const DRAWITEMSTRUCT& item) const;
    void MeasureAt(UINT dpi, MEASUREITEMSTRUCT& item) const;
    void DrawAt(UINT dpi, const DRAWITEMSTRUCT& item) const;

    // The item data of a menu's header item.
    static ULONG_PTR HeaderItemData(TPopupMenu menu);
    // What a header writes on its band, left to right, relative to the item's top left corner.
    struct HeaderText {
        std::wstring text;
        int x = 0;
        int y = 0;
        bool bold = false;
    };
    std::vector<HeaderText> HeaderTexts(TPopupMenu menu, UINT dpi) const;
    HFONT HeaderFont(bool bold, UINT dpi) const;

private:
    struct Slot {
        std::u16string caption;
        bool visible = false;
    };

    std::u16string addCaption_ = u"Add USB NAS device";
    std::u16string hostCaption_ = u"Host:";
    bool domainItemVisible_ = true;
    TPopupMenu rightClickMenu_ = TPopupMenu::Tray;
    std::set<UINT> disabled_;
    std::array<Slot, 12> modifySlots_{};
    std::array<Slot, 12> ejectSlots_{};
    // What is drawn at one DPI; made when a menu first needs it.
    struct Look {
        UINT dpi = 0;
        std::array<UniqueIcon, 10> images{};  // the menu image list, by index
        UniqueFont font;
        UniqueFont boldFont;
    };
    const Look& LookAt(UINT dpi) const;

    mutable Look look_;
    // The DPI of the monitor the open menu shows on.
    UINT menuDpi_ = 0;
};

}  // namespace dv
