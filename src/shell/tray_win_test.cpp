// The tray icon and its menus as the notification area drives them: what the icon tells the shell,
// what a click or a key on it opens, and the icon coming back after Explorer restarted.
#include "platform/windows_include.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "drives/test_process_win.h"
#include "platform/text.h"
#include "shell/app_messages_win.h"
#include "shell/main_window_win.h"
#include "shell/tray_icon_win.h"

namespace dv {
namespace {

bool TrayIconExists(HWND window) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = kTrayIconId;
    data.uFlags = NIF_TIP;
    return ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

struct Notification {
    DWORD message;
    NOTIFYICONDATAW data;
};

TEST(WinTrayIcon, AddedWithItsHintShownAtVersionFourAndDeletedWhenDestroyed) {
    const HWND window = ::CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    std::vector<Notification> sent;
    const auto record = [&sent](DWORD message, NOTIFYICONDATAW& data) {
        sent.push_back({message, data});
        return ::Shell_NotifyIconW(message, &data);
    };
    {
        TTrayIcon icon(window, 7, WM_APP + 9, u"Automatically share an USB drive on your network", record);
        EXPECT_TRUE(icon.Added());
        ASSERT_EQ(sent.size(), 2u);
        const NOTIFYICONDATAW& added = sent[0].data;
        EXPECT_EQ(sent[0].message, static_cast<DWORD>(NIM_ADD));
        EXPECT_EQ(added.uID, 7u);
        EXPECT_EQ(added.uCallbackMessage, static_cast<UINT>(WM_APP + 9));
        // With version 4 the shell shows the hint only when asked to.
        const UINT wanted = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
        EXPECT_EQ(added.uFlags & wanted, wanted);
        EXPECT_STREQ(added.szTip, L"Automatically share an USB drive on your network");
        EXPECT_NE(added.hIcon, nullptr);
        EXPECT_EQ(sent[1].message, static_cast<DWORD>(NIM_SETVERSION));
        EXPECT_EQ(sent[1].data.uVersion, static_cast<UINT>(NOTIFYICON_VERSION_4));

        // Added again after Explorer restarted: with its hint shown, at version 4 again.
        sent.clear();
        EXPECT_TRUE(icon.ReAdd());
        bool addedAgain = false;
        for (const Notification& n : sent) {
            if (n.message == NIM_ADD) addedAgain = (n.data.uFlags & wanted) == wanted;
        }
        EXPECT_TRUE(addedAgain);
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.back().message, static_cast<DWORD>(NIM_SETVERSION));
        sent.clear();
    }
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(sent[0].data.uID, 7u);
    ::DestroyWindow(window);
}

TEST(WinTrayIcon, TaskbarCreatedSentFromAnotherProcessAddsTheIconAgain) {
    TMainWindow window;
    const HWND handle = window.Handle();
    ASSERT_TRUE(TrayIconExists(handle));
    // Explorer restarted: its notification area has forgotten the icon.
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = handle;
    data.uID = kTrayIconId;
    ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &data));
    ASSERT_FALSE(TrayIconExists(handle));

    const long exitCode = testing::RunHelperPumping(L"send-registered TaskbarCreated " +
                                                    std::to_wstring(reinterpret_cast<ULONG_PTR>(handle)));
    EXPECT_EQ(exitCode, 0) << "the message did not reach the window";
    EXPECT_TRUE(TrayIconExists(handle));
    EXPECT_TRUE(window.TrayIconAdded());
}

// --- What the notification area's reports open ---

// The popup menus opened while a report is handled: each is noted and closed at once, as a user
// who clicks elsewhere would.
struct MenuWatch {
    struct Opened {
        int items;
        POINT at;
    };
    std::vector<Opened> opened;
    HWND last = nullptr;
};
MenuWatch* watch = nullptr;

void CALLBACK CloseOpenMenu(HWND, UINT, UINT_PTR, DWORD) {
    const HWND menu = ::FindWindowW(L"#32768", nullptr);
    if (!watch || !menu || !::IsWindowVisible(menu) || menu == watch->last) return;
    watch->last = menu;
    const auto popup = reinterpret_cast<HMENU>(::SendMessageW(menu, MN_GETHMENU, 0, 0));
    RECT area{};
    ::GetWindowRect(menu, &area);
    watch->opened.push_back({popup ? ::GetMenuItemCount(popup) : -1, {area.left, area.top}});
    ::EndMenu();
}

TEST(WinTrayIcon, EachClickOrKeyOpensItsMenuOnceWhereTheIconIs) {
    TMainWindow window;
    // A drive is registered: a right click opens the eject menu (its header and one slot), a left
    // click the tray menu.
    window.SetMenuSlot(TMenuSlots::Eject, 0, u"Eject: BACKUP (E:) - 15 Gb", true);
    window.SetRightClickMenu(TPopupMenu::Eject);
    const int trayItems = static_cast<int>(window.MenuTexts(TPopupMenu::Tray).size());
    constexpr int kEjectItems = 2;
    // The icon's anchor, far from the mouse pointer.
    constexpr int kX = 300, kY = 200;
    ::SetCursorPos(5, 5);

    struct Case {
        const char* name;
        std::vector<UINT> events;
        std::vector<MenuWatch::Opened> expected;
    };
    const Case cases[] = {
        {"right click", {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_CONTEXTMENU}, {{kEjectItems, {kX, kY}}}},
        {"left click", {WM_LBUTTONDOWN, WM_LBUTTONUP, NIN_SELECT}, {{trayItems, {kX, kY + 1}}}},
        {"Enter on the icon", {NIN_KEYSELECT}, {{trayItems, {kX, kY + 1}}}},
        {"Shift+F10 or the menu key on the icon", {WM_CONTEXTMENU}, {{kEjectItems, {kX, kY}}}},
        {"the pointer passing", {WM_MOUSEMOVE}, {}},
    };
    for (const Case& c : cases) {
        MenuWatch seen;
        watch = &seen;
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 30, &CloseOpenMenu);
        for (UINT event : c.events) {
            ::SendMessageW(window.Handle(), kTrayCallbackMessage, MAKEWPARAM(kX, kY), MAKELPARAM(event, kTrayIconId));
        }
        ::KillTimer(nullptr, timer);
        watch = nullptr;
        EXPECT_EQ(seen.opened.size(), c.expected.size()) << c.name;
        if (seen.opened.size() != c.expected.size()) continue;
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_EQ(seen.opened[i].items, c.expected[i].items) << c.name;
            EXPECT_EQ(seen.opened[i].at.x, c.expected[i].at.x) << c.name;
            EXPECT_EQ(seen.opened[i].at.y, c.expected[i].at.y) << c.name;
        }
        testing::PumpMessages();
    }
}

}  // namespace
}  // namespace dv
