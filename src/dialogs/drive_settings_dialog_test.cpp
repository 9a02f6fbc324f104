#include "dialogs/drive_settings_dialog.h"

#include <utility>

#include <gtest/gtest.h>

#include "dialogs/recording_host_test.h"
#include "drives/volume_query.h"
#include "platform/files.h"
#include "platform/text.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

using dv::testing::TFakeDrive;
using dv::testing::TRecordingHost;

class TRecordingView : public IModifyNASView {
public:
    std::vector<std::pair<std::u16string, TMessageKind>> messages;
    std::vector<std::u16string> events;
    bool confirmAnswer = true;
    std::optional<TDialogResult> closedWith;
    std::optional<std::u16string> clipboard;

    void ShowMessage(std::u16string_view text, TMessageKind kind) override {
        messages.emplace_back(std::u16string(text), kind);
    }
    bool Confirm(std::u16string_view text) override {
        events.push_back(u"Confirm " + std::u16string(text));
        return confirmAnswer;
    }
    void FocusShareName() override { events.push_back(u"FocusShareName"); }
    void ShowBusy() override { events.push_back(u"ShowBusy"); }
    void EndBusy() override { events.push_back(u"EndBusy"); }
    void CloseDialog(TDialogResult result) override { closedWith = result; }
    void SetClipboardText(std::u16string_view text) override { clipboard = std::u16string(text); }
};

class ModifyNASTest : public ::testing::Test {
protected:
    ModifyNASTest() : host(folder) {}

    std::unique_ptr<TfmModifyNAS> Open(TMode mode, char16_t drive = 0) {
        auto dialog = std::make_unique<TfmModifyNAS>(host, view, mode);
        if (drive) {
            dialog->SetDrive(std::u16string(1, drive));
            dialog->OnDriveLetterChange();
        }
        return dialog;
    }

    std::u16string ReadFile(char16_t drive, std::u16string_view name) {
        std::string bytes;
        if (!fs::ReadWholeFile(host.Root(drive) + std::u16string(name), bytes).ok()) return u"<missing>";
        return FromUtf8(bytes);
    }

    dv::testing::TempFolder folder;
    TRecordingHost host;
    TRecordingView view;
};

TEST(ShareNameFromLabelTest, DropsWhatAShareNameCannotHoldAndKeepsTwelve) {
    const struct {
        std::u16string_view label, expected;
    } cases[] = {
        {u"MY DATA 2014", u"MYDATA2014"},
        {u"ARCHIVE,OLD", u"ARCHIVEOLD"},
        {u"[ARCHIVE]", u"[ARCHIVE]"},
        {u"ABCDEFGHIJKLMNO", u"ABCDEFGHIJKL"},
        {u"A B C D E F G H I J K L M N", u"ABCDEFGHIJKL"},
        {u" \"*,./:;<>?\\|", u""},
        {u"Ümlaut\u2122x", u"Ümlaut\u2122x"},
        {u"", u""},
        // A character outside the basic plane takes two of the twelve and is kept whole or not at all.
        {u"ABCDEFGHIJ\U0001F4BEZ", u"ABCDEFGHIJ\U0001F4BE"},
        {u"ABCDEFGHIJK\U0001F4BE", u"ABCDEFGHIJK"},
        {u"ABCDEFGHIJK\U0001F4BEZ", u"ABCDEFGHIJK"},
    };
    for (const auto& c : cases) EXPECT_EQ(ShareNameFromLabel(c.label), c.expected) << ToUtf8(c.label);
}

TEST(ShareNameKeyFilterTest, RefusesTheFifteenCharactersOnly) {
    for (char16_t c : std::u16string_view(u" \"*,./:;<>?[\\]|")) EXPECT_FALSE(ShareNameKeyAccepted(c)) << char(c);
    for (char16_t c : std::u16string_view(u"aZ09-_$!'()+=~{}\b\x7f\u00e9\u2122")) {
        EXPECT_TRUE(ShareNameKeyAccepted(c)) << int(c);
    }
}

TEST_F(ModifyNASTest, AddModeListsOnlyUnattachedUsbDrivesAndFillsTheFirst) {
    host.drives[u'E'] = {kDriveRemovable, u"stick", u"15 Gb", std::nullopt};
    host.drives[u'F'] = {kDriveFixed, u"Backup", u"932 Gb", std::nullopt};
    host.drives[u'G'] = {kDriveRemovable, u"shared", u"7 Gb", u"shared"};
    auto dialog = Open(mAdd);
    const auto& c = dialog->Controls;
    EXPECT_EQ(c.cbDriveLetter.Items, (std::vector<std::u16string>{u"E:  (15 Gb)", u"F: [BACKUP] (932 Gb)"}));
    EXPECT_EQ(c.cbImageDriveLetter.Items, (std::vector<std::u16string>{u" E:  (15 Gb)", u" F: [BACKUP] (932 Gb)"}));
    EXPECT_EQ(c.cbImageDriveLetter.ItemIndex, 0);
    EXPECT_TRUE(c.cbImageDriveLetter.Enabled);
    EXPECT_EQ(dialog->Drive(), u"E");
    EXPECT_EQ(c.edHostName, u"OFFICE (\\\\10.0.0.5)");
    EXPECT_EQ(c.edVolumeName, u"STICK");
    EXPECT_EQ(c.edShareName, u"STICK");
    EXPECT_EQ(c.edShareUserNm, u"dockvane");
    EXPECT_EQ(c.edSharePasswd, u"pw(salt)");
    EXPECT_EQ(c.cbShareUserNm.Items, (std::vector<std::u16string>{u"dockvane", u"extdisk_STICK"}));
    EXPECT_EQ(c.cbShareUserNmText, u"dockvane");
    EXPECT_FALSE(c.btnDisableEnabled);
    EXPECT_FALSE(c.btnDisableRemoveEnabled);
    EXPECT_FALSE(c.pnlPleaseWaitVisible);
}

TEST_F(ModifyNASTest, CreationTakesTheFileOnTheDriveEvenWhenTheDriveIsNotAttached) {
    // The creation handler goes by which file exists; a drive change goes by attachment.
    host.drives[u'E'] = {kDriveRemovable, u"stick", u"15 Gb", std::nullopt};
    host.WriteConfig(u'E', kDriveConfigFileName, "[Share]\r\nShareName=active\r\n");
    host.WriteConfig(u'E', kInactiveDriveConfigFileName, "[Share]\r\nShareName=inactive\r\n");
    auto dialog = Open(mAdd);
    EXPECT_EQ(dialog->Controls.edShareName, u"active");
    dialog->OnDriveLetterChange();
    EXPECT_EQ(dialog->Controls.edShareName, u"inactive");
}

TEST_F(ModifyNASTest, SwitchingThePickerReloadsTheOtherDriveAndDropsTheEdits) {
    host.drives[u'E'] = {kDriveRemovable, u"one", u"15 Gb", std::nullopt};
    host.drives[u'F'] = {kDriveRemovable, u"two", u"7 Gb", std::nullopt};
    host.WriteConfig(u'F', kInactiveDriveConfigFileName,
                     "[Share]\r\nShareName=fshare\r\nDescription=Fdesc\r\nAutoRemove=True\r\n"
                     "ShareUserName=extdisk_fshare\r\n");
    host.users = {u"dockvane", u"extdisk_fshare"};
    auto dialog = Open(mAdd);
    dialog->Controls.edShareName = u"edited";
    dialog->OnDrivePickerChange(1);
    const auto& c = dialog->Controls;
    EXPECT_EQ(dialog->Drive(), u"F");
    EXPECT_EQ(c.cbDriveLetter.ItemIndex, 1);
    EXPECT_EQ(c.cbImageDriveLetter.ItemIndex, 1);
    EXPECT_EQ(c.edShareName, u"fshare");
    EXPECT_EQ(c.edShareDescription, u"Fdesc");
    EXPECT_TRUE(c.cbAutoRemove);
    EXPECT_EQ(c.cbShareUserNmText, u"extdisk_fshare");
    dialog->OnDrivePickerChange(0);
    EXPECT_EQ(c.edShareName, u"ONE");
    EXPECT_EQ(c.edShareDescription, u"");
    EXPECT_FALSE(c.cbAutoRemove);
}

TEST_F(ModifyNASTest, ModifyModeFixesTheDriveAndOffersDisableAndEject) {
    host.drives[u'E'] = {kDriveRemovable, u"one", u"15 Gb", u"eshare"};
    host.drives[u'F'] = {kDriveRemovable, u"two", u"7 Gb", u"fshare"};
    host.WriteConfig(u'F', kDriveConfigFileName, "[Share]\r\nShareName=fshare\r\n");
    auto dialog = Open(mModify, u'f');
    const auto& c = dialog->Controls;
    EXPECT_EQ(c.cbDriveLetter.Items.size(), 2u);
    EXPECT_FALSE(c.cbImageDriveLetter.Enabled);
    EXPECT_EQ(dialog->Drive(), u"F");
    EXPECT_EQ(c.cbImageDriveLetter.ItemIndex, 1);
    EXPECT_EQ(c.edShareName, u"fshare");
    EXPECT_TRUE(c.btnDisableEnabled);
    EXPECT_TRUE(c.btnDisableRemoveEnabled);
    dialog->OnActivate();
    EXPECT_EQ(c.LabelAutoRemove, u"(check for file 'F:\\backup.done')");
}

TEST_F(ModifyNASTest, ShareUserListInAndOutOfADomain) {
    host.drives[u'E'] = {kDriveRemovable, u"one", u"15 Gb", std::nullopt};
    host.WriteConfig(u'E', kInactiveDriveConfigFileName, "[Share]\r\nShareName=one\r\nShareUserName=EXTDISK_ONE\r\n");
    host.users = {u"dockvane", u"extdisk_old", u"extdisk_one"};
    {
        auto dialog = Open(mAdd);
        // The generated name is there already (letter case aside), and the configured account is chosen.
        EXPECT_EQ(dialog->Controls.cbShareUserNm.Items, host.users);
        EXPECT_EQ(dialog->Controls.cbShareUserNm.ItemIndex, 2);
        EXPECT_TRUE(dialog->Controls.cbShareUserNm.Enabled);
    }
    host.settings.FIsInDomain = 1;
    host.settings.FDefaultShareUserName = u"CORP\\backup";
    auto dialog = Open(mAdd);
    EXPECT_EQ(dialog->Controls.cbShareUserNm.Items, std::vector<std::u16string>{u"CORP\\backup"});
    EXPECT_EQ(dialog->Controls.cbShareUserNmText, u"CORP\\backup");
    EXPECT_FALSE(dialog->Controls.cbShareUserNm.Enabled);
}

TEST_F(ModifyNASTest, UpdateRunsEveryCheckAndReportsEachFailure) {
    host.drives[u'E'] = {kDriveRemovable, u"one", u"15 Gb", u"eshare"};
    host.drives[u'F'] = {kDriveRemovable, u"two", u"7 Gb", u"Backup"};
    host.WriteConfig(u'E', kDriveConfigFileName, "[Share]\r\nShareName=eshare\r\n");
    const struct {
        const char* name;
        std::u16string shareName;
        bool refusesLabel;
        std::u16string expectedShareName;
        std::vector<std::u16string> messages;
    } cases[] = {
        {"own name kept", u"eshare", false, u"eshare", {}},
        {"blanks removed", u"My Backup", false, u"MyBackup", {}},
        {"cut to twelve", u"A very long share name", false, u"Averylongsha", {}},
        {"another drive's name, other case", u"BACKUP", false, u"BACKUP", {u"Share name BACKUP is already in use!"}},
        {"only blanks: the other checks still run",
         u"   ",
         true,
         u"",
         {u"Share name cannot be blank", u"Cannot change drive label for [E]."}},
    };
    for (const auto& c : cases) {
        host.drives[u'E'].refusesLabel = c.refusesLabel;
        host.drives[u'E'].label = u"one";
        view.messages.clear();
        host.calls.clear();
        auto dialog = Open(mModify, u'E');
        dialog->Controls.edShareName = c.shareName;
        dialog->Controls.edVolumeName = u"NEWLABEL";
        const TDialogResult result = dialog->OnUpdate();
        EXPECT_EQ(result, c.messages.empty() ? TDialogResult::Ok : TDialogResult::None) << c.name;
        EXPECT_EQ(dialog->Controls.edShareName, c.expectedShareName) << c.name;
        std::vector<std::u16string> texts;
        for (const auto& m : view.messages) texts.push_back(m.first);
        EXPECT_EQ(texts, c.messages) << c.name;
        EXPECT_EQ(host.calls.front(), u"chageDriveLabel E NEWLABEL") << c.name;
        // A refused label puts the volume's own label back, in its own letter case.
        EXPECT_EQ(dialog->Controls.edVolumeName, c.refusesLabel ? u"one" : u"NEWLABEL") << c.name;
    }
}

TEST_F(ModifyNASTest, OkStoresTheFieldsAndRetiresAnAccountNoLongerNamed) {
    host.drives[u'E'] = {kDriveRemovable, u"one", u"15 Gb", u"eshare"};
    host.WriteConfig(u'E', kDriveConfigFileName,
                     "[Share]\r\nShareName=eshare\r\nShareUserName=extdisk_eshare\r\nPingURL=http://nas/ping\r\n");
    host.users = {u"dockvane", u"extdisk_eshare"};
    auto dialog = Open(mModify, u'E');
    auto& c = dialog->Controls;
    c.edShareName = u"renamed";
    c.edShareDescription = u"weekly";
    c.cbAutoRemove = true;
    c.cbShareUserNmText = u"dockvane";
    ASSERT_EQ(dialog->OnUpdate(), TDialogResult::Ok);
    host.calls.clear();
    ASSERT_TRUE(dialog->OnClose(TDialogResult::Ok));
    TShareSettings stored(host.Root(u'E') + std::u16string(kDriveConfigFileName));
    stored.Load();
    EXPECT_EQ(stored.FShareName, u"renamed");
    EXPECT_EQ(stored.FShareDescription, u"weekly");
    EXPECT_TRUE(stored.FAutoRemove);
    EXPECT_EQ(stored.FShareUserName, u"dockvane");
    EXPECT_EQ(stored.PingUrl(0), u"http://nas/ping");
    EXPECT_EQ(host.calls, std::vector<std::u16string>{u"ChekToManualUserDeleteByuserName extdisk_eshare E"});
}

// The box shows the file's value; OK stores True when it is checked, and False only into a file that
// held the key, so that a file without it keeps its layout.
TEST_F(ModifyNASTest, EncryptBoxLoadsTheFileAndStoresOnlyWhatItMust) {
    host.drives[u'E'] = {kDriveRemovable, u"one", u"15 Gb", u"eshare"};
    const struct {
        const char* name;
        std::string key;  // the line in the file
        bool shown;
        bool checked;           // the box when OK is clicked
        std::u16string stored;  // the file's Encrypt line afterwards, or none
    } cases[] = {
        {"no key, left unchecked", "", false, false, u""},
        {"no key, checked", "", false, true, u"Encrypt=True"},
        {"True, unchecked", "Encrypt=True\r\n", true, false, u"Encrypt=False"},
        {"False, left unchecked", "Encrypt=False\r\n", false, false, u"Encrypt=False"},
        {"written by hand", "encrypt=yes\r\n", true, true, u"encrypt=True"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        host.WriteConfig(u'E', kDriveConfigFileName, "[Share]\r\nShareName=eshare\r\n" + c.key);
        auto dialog = Open(mModify, u'E');
        EXPECT_EQ(dialog->Controls.cbEncrypt, c.shown);
        dialog->Controls.cbEncrypt = c.checked;
        ASSERT_EQ(dialog->OnUpdate(), TDialogResult::Ok);
        ASSERT_TRUE(dialog->OnClose(TDialogResult::Ok));
        const std::u16string file = ReadFile(u'E', kDriveConfigFileName);
        if (c.stored.empty()) {
            EXPECT_EQ(UpperCase(file).find(u"ENCRYPT"), std::u16string::npos) << ToUtf8(file);
        } else {
            EXPECT_NE(file.find(u"\r\n" + c.stored + u"\r\n"), std::u16string::npos) << ToUtf8(file);
        }
    }
}

TEST_F(ModifyNASTest, OnlyOkWritesAndAnUnchangedAccountIsLeftAlone) {
    host.drives[u'E'] = {kDriveRemovable, u"one", u"15 Gb", std::nullopt};
    auto dialog = Open(mAdd);
    ASSERT_TRUE(dialog->OnClose(TDialogResult::Cancel));
    EXPECT_EQ(ReadFile(u'E', kInactiveDriveConfigFileName), u"<missing>");
    host.WriteConfig(u'E', kInactiveDriveConfigFileName, "[Share]\r\nShareUserName=dockvane\r\n");
    dialog->OnDriveLetterChange();
    ASSERT_TRUE(dialog->OnClose(TDialogResult::Ok));
    // An unattached drive's settings go to the inactive file, which adding the drive then takes up.
    EXPECT_NE(ReadFile(u'E', kInactiveDriveConfigFileName).find(u"ShareName=ONE"), std::u16string::npos);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(ModifyNASTest, DisableAndEjectAskFirstAndCloseAsCancel) {
    host.drives[u'E'] = {kDriveRemovable, u"one", u"15 Gb", u"eshare"};
    const struct {
        const char* name;
        void (TfmModifyNAS::*click)();
        std::u16string_view question;
        std::vector<std::u16string> calls;
    } cases[] = {
        {"Disable", &TfmModifyNAS::OnDisable, kConfirmDisable, {u"RemoveNASDrive E"}},
        {"Safely Remove/Eject",
         &TfmModifyNAS::OnDisableRemove,
         kConfirmEject,
         {u"DisconnectNASDrive E", u"EjectRemovableDriveByLetter E"}},
    };
    for (const auto& c : cases) {
        for (bool answer : {false, true}) {
            view = {};
            view.confirmAnswer = answer;
            host.calls.clear();
            auto dialog = Open(mModify, u'E');
            (dialog.get()->*c.click)();
            std::vector<std::u16string> expectedEvents{u"Confirm " + std::u16string(c.question)};
            if (answer) expectedEvents.insert(expectedEvents.end(), {u"ShowBusy", u"EndBusy"});
            EXPECT_EQ(view.events, expectedEvents) << c.name;
            EXPECT_EQ(host.calls, answer ? c.calls : std::vector<std::u16string>{}) << c.name;
            EXPECT_EQ(view.closedWith, answer ? std::optional(TDialogResult::Cancel) : std::nullopt) << c.name;
            EXPECT_EQ(ReadFile(u'E', kDriveConfigFileName), u"<missing>") << c.name;
        }
    }
}

TEST_F(ModifyNASTest, AFailingControllerEndsTheBusyStateAndTheErrorGoesOn) {
    host.drives[u'E'] = {kDriveRemovable, u"one", u"15 Gb", u"eshare"};
    const struct {
        const char* name;
        void (TfmModifyNAS::*click)();
        std::u16string_view raiseIn;
    } cases[] = {
        {"Disable", &TfmModifyNAS::OnDisable, u"RemoveNASDrive"},
        {"Eject, unsharing fails", &TfmModifyNAS::OnDisableRemove, u"DisconnectNASDrive"},
        {"Eject, the eject fails", &TfmModifyNAS::OnDisableRemove, u"EjectRemovableDriveByLetter"},
    };
    for (const auto& c : cases) {
        view = {};
        host.raiseIn = c.raiseIn;
        auto dialog = Open(mModify, u'E');
        EXPECT_THROW((dialog.get()->*c.click)(), EOSError) << c.name;
        const auto& controls = dialog->Controls;
        EXPECT_FALSE(controls.pnlPleaseWaitVisible) << c.name;
        ASSERT_FALSE(view.events.empty()) << c.name;
        EXPECT_EQ(view.events.back(), u"EndBusy") << c.name;
        // The dialog stays open with every button as it was, so the user can try again or cancel.
        EXPECT_EQ(view.closedWith, std::nullopt) << c.name;
        EXPECT_TRUE(controls.btnUpdateEnabled && controls.btnDisableEnabled && controls.btnDisableRemoveEnabled)
            << c.name;
    }
}

TEST_F(ModifyNASTest, CopyButtons) {
    host.drives[u'E'] = {kDriveRemovable, u"one", u"15 Gb", std::nullopt};
    auto dialog = Open(mAdd);
    dialog->OnCopyHost();
    EXPECT_EQ(view.clipboard, u"OFFICE (\\\\10.0.0.5)");
    dialog->OnCopyPassword();
    EXPECT_EQ(view.clipboard, u"pw(salt)");
    dialog->Controls.cbShareUserNmText = u"extdisk_one";
    dialog->OnCopyUserName();
    EXPECT_EQ(view.clipboard, u"extdisk_one");
    dialog->OnCopyPassword();
    EXPECT_EQ(view.clipboard, u"pw(saltextdisk_one)");
}

TEST_F(ModifyNASTest, NoQualifyingDriveLeavesNothingToUpdate) {
    host.drives[u'E'] = {kDriveRemovable, u"one", u"15 Gb", u"eshare"};
    auto dialog = Open(mAdd);
    EXPECT_TRUE(dialog->Controls.cbDriveLetter.Items.empty());
    EXPECT_FALSE(dialog->Controls.btnUpdateEnabled);
    EXPECT_TRUE(dialog->OnClose(TDialogResult::Ok));
}

}  // namespace
}  // namespace dv
