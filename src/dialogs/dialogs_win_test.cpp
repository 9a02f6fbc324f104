// The dialog windows under Wine: each is created from its resource, and its controls are read back.
#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/accounts_sim.h"
#include "dialogs/about_box_win.h"
#include "dialogs/auto_play_dialog_win.h"
#include "dialogs/domain_user_dialog_win.h"
#include "dialogs/drive_settings_dialog_win.h"
#include "dialogs/recording_host_test.h"
#include "resources/resource_ids.h"

#include <commctrl.h>

namespace dv {
namespace {

using dv::testing::TFakeDrive;
using dv::testing::TRecordingHost;

std::wstring Text(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}
std::wstring Text(HWND dialog, int id) {
    return Text(GetDlgItem(dialog, id));
}

// Whether the control would show with its window (the test windows stay hidden).
bool Shown(HWND dialog, int id) {
    return GetWindowLongPtrW(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE;
}

std::vector<std::wstring> ComboItems(HWND combo) {
    std::vector<std::wstring> items;
    const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::wstring item(static_cast<std::size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        item.resize(
            static_cast<std::size_t>(SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()))));
        items.push_back(item);
    }
    return items;
}

// The controls the Tab key visits, in order, from the first.
std::vector<int> TabOrder(HWND dialog) {
    std::vector<int> ids;
    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    for (HWND item = first; item && ids.size() < 40;) {
        ids.push_back(GetDlgCtrlID(item));
        item = GetNextDlgTabItem(dialog, item, FALSE);
        if (item == first) break;
    }
    return ids;
}

int DefaultButton(HWND dialog) {
    return LOWORD(SendMessageW(dialog, DM_GETDEFID, 0, 0));
}

void Click(HWND dialog, int id) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void ExpectOwnTaskbarButton(HWND dialog) {
    EXPECT_TRUE(GetWindowLongPtrW(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);
    const LONG_PTR style = GetWindowLongPtrW(dialog, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
}

class DriveSettingsWindowTest : public ::testing::Test {
protected:
    DriveSettingsWindowTest() : host(folder) {
        host.drives[u'E'] = {kDriveRemovable, u"stick", u"15 Gb", std::nullopt};
        host.drives[u'F'] = {kDriveFixed, u"Backup", u"932 Gb", u"fshare"};
        host.WriteConfig(u'F', kDriveConfigFileName, "[Share]\r\nShareName=fshare\r\n");
    }

    HWND Open(TModifyNASWindow& window) {
        window.MessageBoxHook = [this](HWND, std::wstring_view text, UINT flags) {
            messages.emplace_back(text);
            return (flags & MB_OKCANCEL) ? confirmAnswer : IDOK;
        };
        return window.CreateModeless(nullptr);
    }

    dv::testing::TempFolder folder;
    TRecordingHost host;
    std::vector<std::wstring> messages;
    int confirmAnswer = IDOK;
};

TEST_F(DriveSettingsWindowTest, AddModeShowsTheUnattachedDrivesAndTheDesignTexts) {
    TModifyNASWindow window(host, mAdd, 0);
    HWND dialog = Open(window);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Text(dialog), L"Drive Settings");
    ExpectOwnTaskbarButton(dialog);
    const struct {
        int id;
        const wchar_t* text;
    } texts[] = {
        {IDC_HOST_HEADING, L"Host properties"},
        {IDC_HOST_LABEL, L"Host:"},
        {IDC_SHARE_HEADING, L"Share properties"},
        {IDC_DRIVE_LABEL, L"Drive:"},
        {IDC_VOLUME_LABEL, L"Volume name:"},
        {IDC_SHARE_NAME_LABEL, L"Share name:"},
        {IDC_SHARE_DESCRIPTION_LABEL, L"Share description:"},
        {IDC_SHARE_USER_LABEL, L"Share username:"},
        {IDC_SHARE_PASSWORD_LABEL, L"Share password:"},
        {IDC_ADDITIONAL_HEADING, L"Additional properties"},
        {IDC_AUTO_REMOVE, L"Auto share disable on complete"},
        {IDC_ENCRYPT, L"Encrypt network traffic"},
        {IDC_UPDATE, L"Update"},
        {IDC_DISABLE, L"Disable"},
        {IDC_DISABLE_REMOVE, L"Safely Remove/Eject"},
        {IDCANCEL, L"Cancel"},
        {IDC_PLEASE_WAIT_TEXT, L"Please wait.."},
        {IDC_HOST_NAME, L"OFFICE (\\\\10.0.0.5)"},
        {IDC_VOLUME_NAME, L"STICK"},
        {IDC_SHARE_NAME, L"STICK"},
        {IDC_SHARE_USER_LIST, L"dockvane"},
        {IDC_SHARE_USER_DEFAULT, L"dockvane"},
        {IDC_SHARE_PASSWORD, L"pw(salt)"},
    };
    for (const auto& t : texts) EXPECT_EQ(Text(dialog, t.id), t.text) << t.id;

    EXPECT_EQ(ComboItems(GetDlgItem(dialog, IDC_DRIVE_PICKER)), std::vector<std::wstring>{L" E:  (15 Gb)"});
    EXPECT_EQ(ComboItems(GetDlgItem(dialog, IDC_DRIVE_LIST)), std::vector<std::wstring>{L"E:  (15 Gb)"});
    EXPECT_FALSE(Shown(dialog, IDC_DRIVE_LIST));
    EXPECT_TRUE(Shown(dialog, IDC_DRIVE_PICKER));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_DRIVE_LIST)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_DRIVE_PICKER)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_DISABLE)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_DISABLE_REMOVE)));
    for (int id : {IDC_PLEASE_WAIT, IDC_PLEASE_WAIT_TEXT, IDC_PLEASE_WAIT_BAR}) {
        EXPECT_FALSE(Shown(dialog, id));
    }
    EXPECT_EQ(SendMessageW(GetDlgItem(dialog, IDC_SHARE_PASSWORD), EM_GETPASSWORDCHAR, 0, 0), L'*');
    EXPECT_EQ(SendMessageW(GetDlgItem(dialog, IDC_SHARE_NAME), EM_GETLIMITTEXT, 0, 0), 12);
    EXPECT_TRUE(GetWindowLongPtrW(GetDlgItem(dialog, IDC_HOST_NAME), GWL_STYLE) & ES_READONLY);
    EXPECT_EQ(DefaultButton(dialog), IDCANCEL);
    EXPECT_EQ(TabOrder(dialog),
              (std::vector<int>{IDC_HOST_NAME, IDC_HOST_COPY, IDC_DRIVE_PICKER, IDC_VOLUME_NAME, IDC_SHARE_NAME,
                                IDC_SHARE_DESCRIPTION, IDC_SHARE_USER_LIST, IDC_SHARE_PASSWORD, IDC_PASSWORD_COPY,
                                IDC_AUTO_REMOVE, IDC_ENCRYPT, IDC_UPDATE, IDCANCEL}));
    SendMessageW(dialog, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(Text(dialog, IDC_AUTO_REMOVE_LABEL), L"(check for file 'E:\\backup.done')");
    DestroyWindow(dialog);
}

TEST_F(DriveSettingsWindowTest, TypedCharactersAShareNameCannotHoldAreDropped) {
    TModifyNASWindow window(host, mAdd, 0);
    HWND dialog = Open(window);
    for (int id : {IDC_SHARE_NAME, IDC_VOLUME_NAME}) {
        HWND edit = GetDlgItem(dialog, id);
        SetWindowTextW(edit, L"");
        for (wchar_t c : std::wstring_view(L"a b[c]d.e\u00e9")) SendMessageW(edit, WM_CHAR, c, 0);
        EXPECT_EQ(Text(edit), L"abcde\u00e9") << id;
    }
    DestroyWindow(dialog);
}

TEST_F(DriveSettingsWindowTest, UpdateKeepsTheDialogOpenUntilTheChecksPassThenStores) {
    host.drives[u'E'].attachedShare = u"eshare";
    TModifyNASWindow window(host, mModify, u'E');
    HWND dialog = Open(window);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_DRIVE_PICKER)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_DISABLE)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_DISABLE_REMOVE)));
    EXPECT_EQ(SendMessageW(GetDlgItem(dialog, IDC_DRIVE_PICKER), CB_GETCURSEL, 0, 0), 0);

    SetDlgItemTextW(dialog, IDC_SHARE_NAME, L"FSHARE");
    Click(dialog, IDC_UPDATE);
    EXPECT_EQ(messages, std::vector<std::wstring>{L"Share name FSHARE is already in use!"});
    ASSERT_TRUE(IsWindow(dialog));
    EXPECT_EQ(window.Result(), -1);

    SetDlgItemTextW(dialog, IDC_SHARE_NAME, L"My Backup");
    SetDlgItemTextW(dialog, IDC_VOLUME_NAME, L"NEWLABEL");
    Click(dialog, IDC_UPDATE);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(window.Result(), static_cast<INT_PTR>(TDialogResult::Ok));
    EXPECT_EQ(window.Logic().Drive(), u"E");
    EXPECT_EQ(window.Logic().Controls.edVolumeName, u"NEWLABEL");
    TShareSettings stored(host.Root(u'E') + std::u16string(kDriveConfigFileName));
    stored.Load();
    EXPECT_EQ(stored.FShareName, u"MyBackup");
}

// The box shows the file's value, sits under the automatic removal's, and what it says is stored.
TEST_F(DriveSettingsWindowTest, EncryptBoxShowsAndStoresTheFilesValue) {
    host.drives[u'E'].attachedShare = u"eshare";
    for (const bool encrypted : {false, true}) {
        host.WriteConfig(
            u'E', kDriveConfigFileName,
            encrypted ? "[Share]\r\nShareName=eshare\r\nEncrypt=True\r\n" : "[Share]\r\nShareName=eshare\r\n");
        TModifyNASWindow window(host, mModify, u'E');
        HWND dialog = Open(window);
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_ENCRYPT), encrypted ? BST_CHECKED : BST_UNCHECKED) << encrypted;
        RECT autoRemove{};
        RECT label{};
        RECT encrypt{};
        GetWindowRect(GetDlgItem(dialog, IDC_AUTO_REMOVE), &autoRemove);
        GetWindowRect(GetDlgItem(dialog, IDC_AUTO_REMOVE_LABEL), &label);
        GetWindowRect(GetDlgItem(dialog, IDC_ENCRYPT), &encrypt);
        EXPECT_GE(encrypt.top, label.bottom);
        EXPECT_EQ(encrypt.left, autoRemove.left);

        CheckDlgButton(dialog, IDC_ENCRYPT, encrypted ? BST_UNCHECKED : BST_CHECKED);
        Click(dialog, IDC_UPDATE);
        ASSERT_FALSE(IsWindow(dialog)) << encrypted;
        TShareSettings stored(host.Root(u'E') + std::u16string(kDriveConfigFileName));
        stored.Load();
        EXPECT_EQ(stored.FEncrypt, !encrypted);
    }
}

TEST_F(DriveSettingsWindowTest, DisableAsksThenHandsTheDriveToTheControllerAndCloses) {
    host.drives[u'E'].attachedShare = u"eshare";
    for (int answer : {IDCANCEL, IDOK}) {
        confirmAnswer = answer;
        messages.clear();
        host.calls.clear();
        TModifyNASWindow window(host, mModify, u'E');
        HWND dialog = Open(window);
        Click(dialog, IDC_DISABLE);
        EXPECT_EQ(messages, std::vector<std::wstring>{ToWide(kConfirmDisable)});
        if (answer == IDOK) {
            EXPECT_EQ(host.calls, std::vector<std::u16string>{u"RemoveNASDrive E"});
            EXPECT_FALSE(IsWindow(dialog));
            EXPECT_EQ(window.Result(), static_cast<INT_PTR>(TDialogResult::Cancel));
        } else {
            EXPECT_TRUE(host.calls.empty());
            EXPECT_TRUE(IsWindow(dialog));
            DestroyWindow(dialog);
        }
    }
}

TEST_F(DriveSettingsWindowTest, AFailingControllerLeavesTheDialogUsable) {
    host.drives[u'E'].attachedShare = u"eshare";
    const struct {
        int button;
        const char16_t* raiseIn;
    } cases[] = {{IDC_DISABLE, u"RemoveNASDrive"}, {IDC_DISABLE_REMOVE, u"EjectRemovableDriveByLetter"}};
    for (const auto& c : cases) {
        host.raiseIn = c.raiseIn;
        messages.clear();
        TModifyNASWindow window(host, mModify, u'E');
        HWND dialog = Open(window);
        Click(dialog, c.button);
        // The question, then the error; the busy panel is gone and every button works again.
        ASSERT_EQ(messages.size(), 2u) << c.button;
        EXPECT_NE(messages[1].find(ToWide(c.raiseIn) + L" failed"), std::wstring::npos) << c.button;
        ASSERT_TRUE(IsWindow(dialog)) << c.button;
        for (int id : {IDC_PLEASE_WAIT, IDC_PLEASE_WAIT_TEXT, IDC_PLEASE_WAIT_BAR}) EXPECT_FALSE(Shown(dialog, id));
        for (int id : {IDC_UPDATE, IDC_DISABLE, IDC_DISABLE_REMOVE, IDCANCEL}) {
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, id))) << c.button << " " << id;
        }
        Click(dialog, IDCANCEL);
        EXPECT_FALSE(IsWindow(dialog)) << c.button;
        EXPECT_EQ(window.Result(), static_cast<INT_PTR>(TDialogResult::Cancel)) << c.button;
    }
}

TEST(AutoPlayWindowTest, ShowsTheChoicesAndKeepsTheSelectionForTheNextDrive) {
    TAutoPlayWindow window;
    std::vector<std::u16string> explored;
    window.Explore = [&](HWND, const std::u16string& folder) { explored.push_back(folder); };

    HWND dialog = window.ShowModeless(u'E', AutoPlayCaption(u"BACKUP", u'E'));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Text(dialog), L"BACKUP (E:)");
    ExpectOwnTaskbarButton(dialog);
    EXPECT_EQ(Text(dialog, IDC_AUTOPLAY_CONTENT), ToWide(kAutoPlayContent));
    EXPECT_EQ(Text(dialog, IDC_AUTOPLAY_QUESTION), L"What do you want Windows to do?");
    EXPECT_EQ(Text(dialog, IDC_AUTOPLAY_OK), L"Ok");
    EXPECT_EQ(Text(dialog, IDCANCEL), L"Cancel");
    HWND list = GetDlgItem(dialog, IDC_AUTOPLAY_ACTIONS);
    ASSERT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 2);
    wchar_t item[64];
    SendMessageW(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(item));
    EXPECT_STREQ(item, L"Open folder to view files");
    SendMessageW(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(item));
    EXPECT_STREQ(item, L"Take no action");
    EXPECT_EQ(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0), ScaleForWindow(dialog, 42));
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), LB_ERR);

    Click(dialog, IDC_AUTOPLAY_OK);  // nothing selected: nothing opens
    EXPECT_TRUE(explored.empty());

    dialog = window.ShowModeless(u'F', AutoPlayCaption(u"DATA", u'F'));
    SendMessageW(GetDlgItem(dialog, IDC_AUTOPLAY_ACTIONS), LB_SETCURSEL, 0, 0);
    SendMessageW(dialog, WM_CLOSE, 0, 0);  // the close box never opens the drive
    EXPECT_TRUE(explored.empty());

    dialog = window.ShowModeless(u'G', AutoPlayCaption(u"NEXT", u'G'));
    EXPECT_EQ(SendMessageW(GetDlgItem(dialog, IDC_AUTOPLAY_ACTIONS), LB_GETCURSEL, 0, 0), 0);
    Click(dialog, IDC_AUTOPLAY_OK);
    EXPECT_EQ(explored, std::vector<std::u16string>{u"G:\\"});
    EXPECT_EQ(window.Result(), static_cast<INT_PTR>(TDialogResult::Ok));
}

class TRecordingWebSystem : public IWebSystem {
public:
    std::optional<std::u16string> version = u"1.2.16.0";
    std::vector<std::u16string> opened;
    void OpenUrl(std::u16string_view url) override { opened.emplace_back(url); }
    std::optional<std::u16string> ApplicationFileVersion() override { return version; }
};

TEST(AboutBoxTest, ShowsTheReleaseAndOpensTheHomePage) {
    TRecordingWebSystem web;
    TAboutBox box(web);
    HWND dialog = box.CreateModeless(nullptr);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Text(dialog), L"About");
    ExpectOwnTaskbarButton(dialog);
    EXPECT_EQ(Text(dialog, IDC_RELEASE_HEADING), L"Release Information");
    EXPECT_EQ(Text(dialog, IDC_RELEASE_LABEL), L"Release:");
    EXPECT_EQ(Text(dialog, IDC_FILE_VERSION), L"1.2.16");
    EXPECT_EQ(Text(dialog, IDC_VISIT_LABEL), L"Visit:");
    EXPECT_EQ(Text(dialog, IDC_HOME_SITE), L"https://www.dockvane.com");
    EXPECT_NE(Text(dialog, IDC_BOTTOM_NOTE).find(L"\r\nNo warranty offered with this product. Use at own risk."),
              std::wstring::npos);
    HWND memo = GetDlgItem(dialog, IDC_AGREEMENT);
    EXPECT_TRUE(GetWindowLongPtrW(memo, GWL_STYLE) & ES_READONLY);
    EXPECT_TRUE(GetWindowLongPtrW(memo, GWL_STYLE) & WS_VSCROLL);
    EXPECT_FALSE(Text(memo).empty());
    EXPECT_EQ(DefaultButton(dialog), IDOK);
    EXPECT_EQ(Text(dialog, IDOK), L"OK");

    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_HOME_SITE, STN_CLICKED), 0);
    EXPECT_EQ(web.opened, std::vector<std::u16string>{u"https://www.dockvane.com"});
    SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);  // Escape closes with OK, too
    EXPECT_EQ(box.Result(), IDOK);
}

TEST(AboutBoxTest, ReadsTheRunningProgramsVersion) {
    TAboutBox box;
    HWND dialog = box.CreateModeless(nullptr);
    EXPECT_EQ(Text(dialog, IDC_FILE_VERSION), L"1.0.0");
    DestroyWindow(dialog);
}

class DomainUserWindowTest : public ::testing::Test {
protected:
    DomainUserWindowTest() : settings(folder.File(u"Settings.ini")), users(sim, settings) {
        settings.FIsInDomain = 1;
        settings.FDefaultShareUserName = u"CORP\\backup";
        settings.FPasswordSalt = EncodePassword(u"Secret1");
    }
    HWND Open(TDomainUserNameWindow& dialog) {
        dialog.MessageBoxHook = [this](HWND, std::wstring_view text, UINT) {
            messages.emplace_back(text);
            return IDOK;
        };
        return dialog.CreateModeless(nullptr);
    }
    TApplicationSettings Stored() {
        TApplicationSettings stored(folder.File(u"Settings.ini"));
        stored.Load();
        return stored;
    }

    dv::testing::TempFolder folder;
    TApplicationSettings settings;
    TSimAccounts sim;
    TUserManager users;
    std::vector<std::wstring> messages;
};

TEST_F(DomainUserWindowTest, ShowsTheStoredAccount) {
    TDomainUserNameWindow dialog(users, settings);
    HWND hwnd = Open(dialog);
    EXPECT_EQ(Text(hwnd), L"Dockvane in domain user name settings");
    EXPECT_TRUE(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_EQ(Text(hwnd, IDC_DOMAIN_EXPLANATION), ToWide(kDomainUserExplanation));
    EXPECT_EQ(Text(hwnd, IDC_DOMAIN_USER_LABEL), L"Share username:");
    EXPECT_EQ(Text(hwnd, IDC_DOMAIN_PASSWORD_LABEL), L"Share password:");
    EXPECT_EQ(Text(hwnd, IDC_DOMAIN_USER_NAME), L"CORP\\backup");
    EXPECT_EQ(Text(hwnd, IDC_DOMAIN_PASSWORD), L"Secret1");
    EXPECT_EQ(SendMessageW(GetDlgItem(hwnd, IDC_DOMAIN_PASSWORD), EM_GETPASSWORDCHAR, 0, 0), L'*');
    EXPECT_EQ(Text(hwnd, IDOK), L"OK");
    EXPECT_EQ(Text(hwnd, IDCANCEL), L"Cancel");
    EXPECT_EQ(DefaultButton(hwnd), IDCANCEL);
    EXPECT_EQ(TabOrder(hwnd), (std::vector<int>{IDC_DOMAIN_USER_NAME, IDC_DOMAIN_PASSWORD, IDOK, IDCANCEL}));
    DestroyWindow(hwnd);
}

TEST_F(DomainUserWindowTest, EveryWayOfClosingStoresExceptWithAnEmptyField) {
    const struct {
        const char* name;
        UINT message;
        WPARAM command;
        const wchar_t* userName;
        std::vector<std::wstring> warnings;
        bool stored;
    } cases[] = {
        {"OK", WM_COMMAND, IDOK, L"CORP\\other", {}, true},
        {"OK, empty name", WM_COMMAND, IDOK, L"", {L"User name must be specified"}, false},
        {"Cancel (Enter, Escape)", WM_COMMAND, IDCANCEL, L"CORP\\other", {}, true},
        {"Cancel, empty name", WM_COMMAND, IDCANCEL, L"", {}, false},
        {"close box, empty name", WM_CLOSE, 0, L"", {}, false},
    };
    for (const auto& c : cases) {
        settings.FDefaultShareUserName = u"CORP\\backup";
        settings.Save();
        messages.clear();
        TDomainUserNameWindow dialog(users, settings);
        HWND hwnd = Open(dialog);
        SetDlgItemTextW(hwnd, IDC_DOMAIN_USER_NAME, c.userName);
        SendMessageW(hwnd, c.message, c.command, 0);
        EXPECT_FALSE(IsWindow(hwnd)) << c.name;
        EXPECT_EQ(messages, c.warnings) << c.name;
        EXPECT_EQ(Stored().FDefaultShareUserName, c.stored ? FromWide(c.userName) : u"CORP\\backup") << c.name;
    }
}

}  // namespace
}  // namespace dv
