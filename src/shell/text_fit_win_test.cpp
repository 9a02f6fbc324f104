// Every window of the product at the DPI this process runs at (tests/scaling/text_fit_at_dpis.sh runs
// these tests at 96, 144 and 192 DPI): each label and button caption fits its control, measured with
// the control's own font, and still fits after the window moved to a monitor of another DPI.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "accounts/accounts_sim.h"
#include "dialogs/about_box_win.h"
#include "dialogs/auto_play_dialog_win.h"
#include "dialogs/domain_user_dialog_win.h"
#include "dialogs/drive_settings_dialog_win.h"
#include "dialogs/recording_host_test.h"
#include "platform/dpi_win.h"
#include "platform/handles_win.h"
#include "shell/settings_window_win.h"
#include "shell/tray_menu_win.h"

#include <commctrl.h>

namespace dv {
namespace {

std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// Captions are ASCII but for the trade mark sign; enough for a failure message.
std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) narrow.push_back(c < 128 ? static_cast<char>(c) : '?');
    return narrow;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

HFONT FontOf(HWND control) {
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    return font ? font : static_cast<HFONT>(::GetStockObject(SYSTEM_FONT));
}

int CellHeight(HFONT font) {
    const ScopedWindowDC dc(nullptr);
    const ScopedSelectObject selected(dc.get(), font);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc.get(), &metrics);
    return static_cast<int>(metrics.tmHeight);
}

// A static text or button caption as its control draws it.
struct Caption {
    HWND control;
    std::wstring text;
    enum Kind { Wrapped, SingleLine, PushButton, CheckBox, GroupBox } kind;
    UINT drawFlags;
};

std::vector<Caption> CaptionsOf(HWND window) {
    std::vector<Caption> captions;
    for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        std::wstring text = TextOf(child);
        if (text.empty()) continue;
        const LONG style = ::GetWindowLongW(child, GWL_STYLE);
        const std::wstring type = ClassOf(child);
        if (_wcsicmp(type.c_str(), L"Static") == 0) {
            const UINT prefix = (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
            switch (style & SS_TYPEMASK) {
                case SS_LEFT:
                    captions.push_back({child, text, Caption::Wrapped, DT_WORDBREAK | DT_LEFT | prefix});
                    break;
                case SS_CENTER:
                    captions.push_back({child, text, Caption::Wrapped, DT_WORDBREAK | DT_CENTER | prefix});
                    break;
                case SS_RIGHT:
                    captions.push_back({child, text, Caption::Wrapped, DT_WORDBREAK | DT_RIGHT | prefix});
                    break;
                case SS_SIMPLE:
                case SS_LEFTNOWORDWRAP:
                    captions.push_back({child, text, Caption::SingleLine, DT_SINGLELINE | prefix});
                    break;
                default: break;  // pictures, frames and owner-drawn ones have no caption to fit
            }
        } else if (_wcsicmp(type.c_str(), L"Button") == 0) {
            switch (style & BS_TYPEMASK) {
                case BS_PUSHBUTTON:
                case BS_DEFPUSHBUTTON: captions.push_back({child, text, Caption::PushButton, DT_SINGLELINE}); break;
                case BS_CHECKBOX:
                case BS_AUTOCHECKBOX:
                case BS_3STATE:
                case BS_AUTO3STATE:
                case BS_RADIOBUTTON:
                case BS_AUTORADIOBUTTON: captions.push_back({child, text, Caption::CheckBox, DT_SINGLELINE}); break;
                case BS_GROUPBOX: captions.push_back({child, text, Caption::GroupBox, DT_SINGLELINE}); break;
                default: break;  // owner-drawn buttons draw a picture, not their caption
            }
        }
    }
    return captions;
}

// What does not fit, one line per caption; empty when all fit. `dpi` sets the controls' margins.
std::string CaptionsCut(HWND window, UINT dpi) {
    std::ostringstream problems;
    const ScopedWindowDC dc(window);
    for (const Caption& caption : CaptionsOf(window)) {
        RECT client{};
        ::GetClientRect(caption.control, &client);
        const ScopedSelectObject font(dc.get(), FontOf(caption.control));
        RECT needed{0, 0, client.right, 0};
        ::DrawTextW(dc.get(), caption.text.c_str(), -1, &needed, DT_CALCRECT | DT_EXPANDTABS | caption.drawFlags);
        int width = needed.right;
        int height = needed.bottom;
        // The room the control's frame and mark take beside the text.
        switch (caption.kind) {
            case Caption::PushButton:
                width += 2 * ScaleByDpi(4, dpi);
                height += 2 * ScaleByDpi(2, dpi);
                break;
            case Caption::CheckBox: width += ScaleByDpi(13 + 4, dpi); break;
            case Caption::GroupBox: width += ScaleByDpi(8 + 2, dpi); break;
            default: break;
        }
        if (width > client.right || height > client.bottom) {
            problems << "\"" << Narrow(caption.text) << "\" needs " << width << "x" << height << " but has "
                     << client.right << "x" << client.bottom << "\n";
        }
    }
    return problems.str();
}

// Each caption's font cell height, by control.
std::vector<std::pair<HWND, int>> CaptionFontHeights(HWND window) {
    std::vector<std::pair<HWND, int>> heights;
    for (const Caption& caption : CaptionsOf(window))
        heights.emplace_back(caption.control, CellHeight(FontOf(caption.control)));
    return heights;
}

// The window as the system leaves it after it moved to a monitor of `dpi`: the message with the
// rectangle the system proposes, the old one grown by the ratio.
void MoveToDpi(HWND window, UINT from, UINT to) {
    RECT frame{};
    ::GetWindowRect(window, &frame);
    RECT suggested{frame.left, frame.top,
                   frame.left + ::MulDiv(frame.right - frame.left, static_cast<int>(to), static_cast<int>(from)),
                   frame.top + ::MulDiv(frame.bottom - frame.top, static_cast<int>(to), static_cast<int>(from))};
    ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
}

// The DPI this run is for: the script that sets the prefix's DPI says which it must be.
UINT CheckedDpi(HWND window) {
    const UINT dpi = DpiOfWindow(window);
    if (const char* expected = std::getenv("DOCKVANE_EXPECTED_DPI")) {
        EXPECT_EQ(dpi, static_cast<UINT>(std::atoi(expected)))
            << "the Wine prefix does not run at the DPI it was set to";
    }
    return dpi;
}

// Opens each window in turn: a name, and a function that makes it and returns its handle.
struct Opened {
    std::string name;
    std::function<HWND()> open;
};

class WinTextFit : public ::testing::Test {
protected:
    WinTextFit() : host(folder), settings(folder.File(u"Domain.ini")), users(accounts, settings) {
        host.drives[u'E'] = {kDriveRemovable, u"stick", u"15 Gb", std::nullopt};
        host.drives[u'F'] = {kDriveFixed, u"Backup", u"932 Gb", u"fshare"};
        host.WriteConfig(
            u'F', kDriveConfigFileName,
            "[Share]\r\nShareName=fshare\r\nDescription=Nightly backup of the office\r\nAutoRemove=True\r\n");
        settings.FIsInDomain = 1;
        settings.FDefaultShareUserName = u"CORP\\backup";
    }

    // Checks the window as made, then after a move to a monitor with half as many pixels again.
    void ExpectCaptionsFit(const std::string& name, HWND window) {
        ASSERT_NE(window, nullptr) << name;
        const UINT dpi = CheckedDpi(window);
        EXPECT_FALSE(CaptionsOf(window).empty()) << name;
        EXPECT_EQ(CaptionsCut(window, dpi), "") << name << " at " << dpi << " DPI";

        const auto before = CaptionFontHeights(window);
        RECT clientBefore{};
        ::GetClientRect(window, &clientBefore);
        const UINT moved = dpi * 3 / 2;
        MoveToDpi(window, dpi, moved);
        EXPECT_EQ(CaptionsCut(window, moved), "") << name << " moved from " << dpi << " to " << moved << " DPI";
        RECT clientAfter{};
        ::GetClientRect(window, &clientAfter);
        EXPECT_NEAR(clientAfter.right, clientBefore.right * 3 / 2, 4) << name << ": the window keeps its size";
        for (const auto& [control, height] : before) {
            const int now = CellHeight(FontOf(control));
            EXPECT_GE(now, height * 3 / 2 - 2) << name << ": \"" << Narrow(TextOf(control)) << "\" keeps a font of "
                                               << now << " pixels made for " << dpi << " DPI";
        }
    }

    dv::testing::TempFolder folder;
    dv::testing::TRecordingHost host;
    TApplicationSettings settings;
    TSimAccounts accounts;
    TUserManager users;
};

class TSilentWebSystem : public IWebSystem {
public:
    void OpenUrl(std::u16string_view) override {}
    std::optional<std::u16string> ApplicationFileVersion() override { return u"1.2.16.0"; }
};

TEST_F(WinTextFit, EveryLabelAndButtonOfEveryWindowHoldsItsText) {
    TSettingsWindow settingsWindow;
    TModifyNASWindow addDialog(host, mAdd, 0);
    TModifyNASWindow modifyDialog(host, mModify, u'F');
    TAutoPlayWindow autoPlay;
    TDomainUserNameWindow domainUser(users, settings);
    TSilentWebSystem web;
    TAboutBox about(web);
    const Opened windows[] = {
        {"settings window",
         [&] {
             settingsWindow.Create();
             return settingsWindow.Handle();
         }},
        {"drive settings (add)", [&] { return addDialog.CreateModeless(nullptr); }},
        {"drive settings (modify)", [&] { return modifyDialog.CreateModeless(nullptr); }},
        {"AutoPlay dialog", [&] { return autoPlay.ShowModeless(u'F', u"Backup (F:)"); }},
        {"domain user dialog", [&] { return domainUser.CreateModeless(nullptr); }},
        {"About box", [&] { return about.CreateModeless(nullptr); }},
    };
    for (const Opened& window : windows) {
        const HWND handle = window.open();
        ExpectCaptionsFit(window.name, handle);
        if (handle) ::DestroyWindow(handle);
    }
}

TEST_F(WinTextFit, TheMenuHeadersHoldTheirTextsSideBySide) {
    TTrayMenu menu;
    UniqueWindow owner(
        ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
    const UINT found = CheckedDpi(owner.get());
    for (const UINT dpi : {found, found * 3 / 2}) {
        for (const TPopupMenu which : {TPopupMenu::Tray, TPopupMenu::Eject}) {
            const std::string name = std::string(which == TPopupMenu::Tray ? "tray" : "eject") + " menu header at " +
                                     std::to_string(dpi) + " DPI";
            MEASUREITEMSTRUCT item{};
            item.CtlType = ODT_MENU;
            item.itemData = TTrayMenu::HeaderItemData(which);
            menu.MeasureAt(dpi, item);
            const int bandBottom = static_cast<int>(item.itemHeight) - ScaleByDpi(2, dpi);
            int textEnd = 0;
            const ScopedWindowDC dc(nullptr);
            for (const TTrayMenu::HeaderText& text : menu.HeaderTexts(which, dpi)) {
                const ScopedSelectObject font(dc.get(), menu.HeaderFont(text.bold, dpi));
                SIZE size{};
                ::GetTextExtentPoint32W(dc.get(), text.text.c_str(), static_cast<int>(text.text.size()), &size);
                const std::string what = name + ": \"" + Narrow(text.text) + "\"";
                EXPECT_GE(text.x, textEnd) << what << " overlaps the text before it";
                EXPECT_LE(text.x + size.cx, static_cast<int>(item.itemWidth)) << what << " is cut on the right";
                EXPECT_LE(text.y + size.cy, bandBottom) << what << " reaches below the band";
                textEnd = text.x + size.cx;
            }
            // The texts are drawn in the menu font of that DPI.
            LOGFONTW expected = MessageFontForDpi(dpi);
            UniqueFont messageFont(::CreateFontIndirectW(&expected));
            EXPECT_NEAR(CellHeight(menu.HeaderFont(false, dpi)), CellHeight(messageFont.get()), 1) << name;
        }
        // An ordinary item has room for its image at the small-icon size of that DPI.
        MEASUREITEMSTRUCT image{};
        image.CtlType = ODT_MENU;
        image.itemData = 1;
        menu.MeasureAt(dpi, image);
        EXPECT_GE(static_cast<int>(image.itemHeight), SmallIconSize(dpi)) << dpi;
        EXPECT_GT(static_cast<int>(image.itemWidth), SmallIconSize(dpi)) << dpi;
    }
}

}  // namespace
}  // namespace dv
