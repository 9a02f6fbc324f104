// The tray icon's two popup menus: what they hold, how they are built and how their owner-drawn
// items look.
#pragma once

#include <array>
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

    // A new menu as it now stands; the caller owns it.
    UniqueMenu Build(TPopupMenu menu) const;
    // The menu's item texts (separators as "-").
    std::vector<std::u16string> Texts(TPopupMenu menu) const;
    // Shows the menu at the point, owned by `window`, until the user chooses or leaves it; the
    // chosen command, 0 for none. Messages are processed meanwhile.
    UINT Track(TPopupMenu menu, HWND window, POINT at) const;

    // Owner drawing, for WM_MEASUREITEM and WM_DRAWITEM of the window the menu belongs to.
    void Measure(HWND window, MEASUREITEMSTRUCT& item) const;
    void Draw(const DRAWITEMSTRUCT& item) const;

private:
    struct Slot {
        std::u16string caption;
        bool visible = false;
    };

    std::u16string addCaption_ = u"Add USB NAS device";
    std::u16string hostCaption_ = u"Host:";
    bool domainItemVisible_ = true;
    TPopupMenu rightClickMenu_ = TPopupMenu::Tray;
    std::array<Slot, 12> modifySlots_{};
    std::array<Slot, 12> ejectSlots_{};
    std::array<UniqueIcon, 10> images_{};  // the menu image list, by index
    UniqueFont font_;
    UniqueFont boldFont_;
};

}  // namespace dv
