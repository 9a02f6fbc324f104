#include "face/face_dialogs.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "face/face_model.h"
#include "platform/drive_letter.h"

namespace dv::face {
namespace {

using remote::TBody;
using remote::TDriveSettings;
using remote::TDriveState;
using remote::TDriveStatus;
using remote::TKind;
using remote::TMessage;

// The dialog's view, as far as these tests look at it.
class TQuietView : public IModifyNASView {
public:
    std::vector<std::u16string> messages;
    std::optional<std::u16string> clipboard;
    std::optional<TDialogResult> closedWith;
    void ShowMessage(std::u16string_view text, TMessageKind) override { messages.emplace_back(text); }
    bool Confirm(std::u16string_view) override { return true; }
    void FocusShareName() override {}
    void ShowBusy() override {}
    void EndBusy() override {}
    void CloseDialog(TDialogResult result) override { closedWith = result; }
    void SetClipboardText(std::u16string_view text) override { clipboard = std::u16string(text); }
};

// E: shared under its own account, F: in the pool, G and H plugged; what the engine answered for each.
TDialogData Data(TMode mode, char16_t letter) {
    TDialogData data;
    data.Mode = mode;
    data.Letter = letter;
    data.Status.Drives = {
        {TDriveLetter(u'E'), TDriveState::Shared, u"Backup", u"15 Gb", u"EAST", u"extdisk_east"},
        {TDriveLetter(u'F'), TDriveState::Unshared, u"", u"2 TB", u"WEST", u"dockvane"},
        {TDriveLetter(u'G'), TDriveState::Plugged, u"STICK", u"7 Gb", u"", u""},
        {TDriveLetter(u'H'), TDriveState::Plugged, u"Fixed", u"1 TB", u"", u""},
    };
    data.Status.Accounts = {u"dockvane", u"extdisk_east"};
    data.Status.Shares = {u"EAST", u"WEST"};
    data.Status.DefaultAccount = u"dockvane";
    data.Drives[u'E'] = {TDriveLetter(u'E'), true, u"BACKUP", u"EAST", u"Nightly", u"extdisk_east", true, false};
    data.Drives[u'G'] = {TDriveLetter(u'G'), true, u"STICK", u"", u"", u"", false, false};
    data.Drives[u'H'] = {TDriveLetter(u'H'), false, u"FIXED", u"HOME", u"set aside", u"", false, true};
    data.Passwords = {{u"dockvane", u"master-pw"}, {u"EXTDISK_EAST", u"east-pw"}};
    return data;
}

struct DialogInFace {
    DialogInFace(TMode mode, char16_t letter)
        : host(Data(mode, letter), u"OFFICE-PC", Record()), logic(host, view, mode) {
        if (mode == mModify) {
            logic.SetDrive(std::u16string(1, letter));
            logic.OnDriveLetterChange();
        }
    }
    std::function<void(TBody)> Record() {
        return [this](TBody request) { sent.push_back(std::move(request)); };
    }
    std::vector<TBody> sent;
    TQuietView view;
    TFaceDriveSettingsHost host;
    TfmModifyNAS logic;
};

TEST(FaceDriveSettings, ModifyShowsWhatTheEngineReadAndItsOkSendsTheChange) {
    DialogInFace dialog(mModify, u'E');
    const TModifyNASControls& shown = dialog.logic.Controls;
    EXPECT_EQ(shown.edHostName, u"OFFICE-PC");
    EXPECT_EQ(shown.edVolumeName, u"BACKUP");
    EXPECT_EQ(shown.edShareName, u"EAST");
    EXPECT_EQ(shown.edShareDescription, u"Nightly");
    EXPECT_EQ(shown.cbShareUserNmText, u"extdisk_east");
    EXPECT_TRUE(shown.cbAutoRemove);
    EXPECT_EQ(shown.edSharePasswd, u"master-pw");
    EXPECT_TRUE(shown.btnDisableEnabled);
    dialog.logic.OnCopyPassword();
    EXPECT_EQ(dialog.view.clipboard, u"east-pw");
    // Nothing goes to the engine before OK: the label typed waits for it.
    dialog.logic.Controls.edVolumeName = u"Nightly Disk";
    dialog.logic.Controls.edShareName = u"EAST 2";
    dialog.logic.Controls.edShareDescription = u"Backup \"of\" the office";
    dialog.logic.Controls.cbEncrypt = true;
    ASSERT_EQ(dialog.logic.OnUpdate(), TDialogResult::Ok);
    EXPECT_TRUE(dialog.sent.empty());
    ASSERT_TRUE(dialog.logic.OnClose(TDialogResult::Ok));
    EXPECT_EQ(
        dialog.sent,
        (std::vector<TBody>{remote::TChangeDriveSettings{TDriveLetter(u'E'), u"EAST2", u"Backup \"of\" the office",
                                                         u"extdisk_east", true, true, u"Nightly Disk"}}));
}

TEST(FaceDriveSettings, WhatTheButtonsSend) {
    const struct {
        const char* what;
        void (TfmModifyNAS::*press)();
        TBody request;
    } cases[] = {
        {"Disable", &TfmModifyNAS::OnDisable, remote::TDisableDrive{TDriveLetter(u'E')}},
        {"Disable and remove", &TfmModifyNAS::OnDisableRemove, remote::TEjectDrive{TDriveLetter(u'E')}},
    };
    for (const auto& c : cases) {
        DialogInFace dialog(mModify, u'E');
        (dialog.logic.*c.press)();
        EXPECT_EQ(dialog.sent, std::vector<TBody>{c.request}) << c.what;
        EXPECT_EQ(dialog.view.closedWith, TDialogResult::Cancel) << c.what;
    }
}

TEST(FaceDriveSettings, FieldsTheEngineWouldRefuseKeepTheDialogOpen) {
    DialogInFace dialog(mModify, u'E');
    dialog.logic.Controls.edShareName = u"Back*up";
    dialog.logic.Controls.edShareDescription = u"line\tbreak";
    EXPECT_FALSE(dialog.logic.OnClose(TDialogResult::Ok));
    EXPECT_TRUE(dialog.sent.empty());
    EXPECT_EQ(dialog.view.messages.size(), 1u);
}

TEST(FaceDriveSettings, AddOffersThePluggedDrivesWithTheirFiles) {
    DialogInFace dialog(mAdd, 0);
    const TModifyNASControls& shown = dialog.logic.Controls;
    // A fixed drive shows its label in the list, as in the engine's own dialog.
    EXPECT_EQ(shown.cbDriveLetter.Items, (std::vector<std::u16string>{u"G:  (7 Gb)", u"H: [FIXED] (1 TB)"}));
    EXPECT_EQ(shown.edShareName, u"STICK");  // no file: from the label
    EXPECT_FALSE(shown.btnDisableEnabled);
    dialog.logic.OnDrivePickerChange(1);
    EXPECT_EQ(shown.edShareName, u"HOME");
    EXPECT_EQ(shown.edShareDescription, u"set aside");
    EXPECT_TRUE(shown.cbEncrypt);
    // The name another drive shares is refused here already, as the engine would.
    dialog.logic.Controls.edShareName = u"west";
    EXPECT_EQ(dialog.logic.OnUpdate(), TDialogResult::None);
}

TEST(FaceDriveSettings, WithoutPasswordsNoneIsShownOrCopied) {
    TDialogData data = Data(mModify, u'E');
    data.Passwords.clear();
    std::vector<TBody> sent;
    TFaceDriveSettingsHost host(std::move(data), u"PC", [&](TBody b) { sent.push_back(std::move(b)); });
    TQuietView view;
    TfmModifyNAS logic(host, view, mModify);
    EXPECT_EQ(logic.Controls.edSharePasswd, u"");
    logic.OnCopyPassword();
    EXPECT_FALSE(view.clipboard);
}

TEST(FaceDomainUser, WhatClosingSends) {
    const TDomainUserFields shown{u"dockvane", u"master-pw"};
    const struct {
        const char* what;
        TDialogResult result;
        TDomainUserFields fields;
        std::optional<std::u16string> warning;
        bool sent;
    } cases[] = {
        {"OK with a new account", TDialogResult::Ok, {u"OFFICE\\backup", u"s3cret pw"}, std::nullopt, true},
        {"Cancel with a new account stores it, as the dialog does",
         TDialogResult::Cancel,
         {u"OFFICE\\b", u"x"},
         std::nullopt,
         true},
        {"OK as shown", TDialogResult::Ok, shown, std::nullopt, false},
        {"OK without a name", TDialogResult::Ok, {u"", u"x"}, std::u16string(kUserNameMustBeSpecified), false},
        {"OK without a password",
         TDialogResult::Ok,
         {u"OFFICE\\b", u""},
         std::u16string(kUserPasswordMustBeSpecified),
         false},
        {"the close box without a password", TDialogResult::None, {u"OFFICE\\b", u""}, std::nullopt, false},
        {"a password the settings cannot keep",
         TDialogResult::Ok,
         {u"OFFICE\\b", u"\u0416"},
         u"The field \"password\" is too long or holds a character it may not",
         false},
    };
    for (const auto& c : cases) {
        TDialogData data = Data(mModify, 0);
        data.Dialog = TFaceDialog::DomainUser;
        std::vector<TBody> sent;
        TFaceDomainUser logic(std::move(data), [&](TBody b) { sent.push_back(std::move(b)); });
        EXPECT_EQ(logic.LoadShareUser().UserName, shown.UserName) << c.what;
        EXPECT_EQ(logic.LoadShareUser().Password, shown.Password) << c.what;
        EXPECT_EQ(logic.Close(c.result, c.fields), c.warning) << c.what;
        const std::vector<TBody> expected =
            c.sent ? std::vector<TBody>{remote::TSetDomainUser{c.fields.UserName, c.fields.Password}}
                   : std::vector<TBody>{};
        EXPECT_EQ(sent, expected) << c.what;
    }
}

}  // namespace
}  // namespace dv::face
