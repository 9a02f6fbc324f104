#include "face/face_model.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "platform/drive_letter.h"
#include "platform/text.h"
#include "shell/controller.h"

namespace dv::face {
namespace {

using remote::TDriveState;
using remote::TDriveStatus;
using remote::TKind;
using remote::TMessage;
using remote::TStatus;

TDriveStatus Drive(char16_t letter, TDriveState state, std::u16string label = u"BACKUP",
                   std::u16string capacity = u"15 Gb", std::u16string share = u"backup") {
    return {TDriveLetter(letter), state, std::move(label), std::move(capacity), std::move(share), u"dockvane"};
}

// E: shared, F: in the pool but not shared, G: plugged only.
TStatus ThreeDrives() {
    TStatus status;
    status.Drives = {Drive(u'G', TDriveState::Plugged, u"", u"7 Gb", u""),
                     Drive(u'E', TDriveState::Shared, u"BACKUP", u"15 Gb", u"backup"),
                     Drive(u'F', TDriveState::Unshared, u"SPARE", u"3 Gb", u"spare")};
    return status;
}

// A model that is connected and has the status in reply to its own get-status.
TFaceModel ConnectedWith(const TStatus& status) {
    TFaceModel model;
    model.OnConnected();
    model.OnSent(1, TKind::GetStatus);
    EXPECT_TRUE(model.OnMessage(TMessage{1, status}).MenusChanged);
    return model;
}

TEST(FaceRights, WhatTheTokenSaysDecidesHowChangesGo) {
    struct Case {
        TFaceToken token;
        TChangeRight right;
    };
    const Case cases[] = {
        {{true, true, false}, TChangeRight::Direct},    // elevated administrator, or no account control
        {{false, false, true}, TChangeRight::Consent},  // an administrator's filtered token
        {{false, false, false}, TChangeRight::None},    // a standard user
        // Elevated without the group enabled: the engine would refuse; nothing to elevate to.
        {{false, true, false}, TChangeRight::None},
        // The group enabled in a token that is not elevated is refused by the engine as well.
        {{true, false, false}, TChangeRight::None},
        {{true, false, true}, TChangeRight::Consent},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChangeRightOf(c.token), c.right)
            << c.token.AdministratorsEnabled << c.token.Elevated << c.token.ElevationAvailable;
    }
}

TEST(FaceRights, ReadingIsOpenToEveryoneAndChangesFollowTheRightAndTheEngine) {
    const TFaceCommand open[] = {TFaceCommand::Header,        TFaceCommand::Host,  TFaceCommand::Settings,
                                 TFaceCommand::Help,          TFaceCommand::About, TFaceCommand::Exit,
                                 TFaceCommand::CheckForUpdate};
    const TFaceCommand changes[] = {TFaceCommand::Add,          TFaceCommand::Modify,   TFaceCommand::DomainUser,
                                    TFaceCommand::Eject,        TFaceCommand::AutoPlay, TFaceCommand::Autostart,
                                    TFaceCommand::RenewPassword};
    for (const TChangeRight right : {TChangeRight::Direct, TChangeRight::Consent, TChangeRight::None}) {
        for (const bool connected : {true, false}) {
            for (const TFaceCommand command : open) {
                EXPECT_TRUE(CommandEnabled(command, right, connected));
                EXPECT_FALSE(CommandShowsShield(command, right, connected));
            }
            for (const TFaceCommand command : changes) {
                const bool enabled = connected && right != TChangeRight::None;
                EXPECT_EQ(CommandEnabled(command, right, connected), enabled) << static_cast<int>(command);
                EXPECT_EQ(CommandShowsShield(command, right, connected), enabled && right == TChangeRight::Consent);
            }
        }
    }
}

TEST(FaceMenus, TheStatusGivesTheSameEntriesAsTheEnginesOwnTray) {
    const TFaceMenus menus = MenusOf(ThreeDrives(), u"OFFICE");
    // Slots follow the pool in the engine's order; a plugged drive has none.
    EXPECT_EQ(menus.Modify[0].Caption, u"Modify: BACKUP (E:) - 15 Gb | Sharing@ \\\\OFFICE\\backup");
    EXPECT_TRUE(menus.Modify[0].Visible);
    EXPECT_FALSE(menus.Modify[1].Visible);  // F: is not shared
    EXPECT_EQ(menus.Eject[0].Caption, u"Eject: BACKUP (E:) - 15 Gb");
    EXPECT_EQ(menus.Eject[1].Caption, u"Eject: SPARE (F:) - 3 Gb");
    EXPECT_EQ(menus.Eject[1].Letter, u'F');
    for (int slot = 2; slot < kSlots; ++slot) {
        EXPECT_FALSE(menus.Eject[static_cast<std::size_t>(slot)].Visible) << slot;
        EXPECT_FALSE(menus.Modify[static_cast<std::size_t>(slot)].Visible) << slot;
    }
    // What is not shared can be added, by letter.
    EXPECT_EQ(menus.AddCaption, u"Add:  F:(3 Gb)/ G:(7 Gb)");
    EXPECT_EQ(menus.RightClick, TPopupMenu::Eject);
    EXPECT_FALSE(menus.DomainUserVisible);
}

TEST(FaceMenus, WithoutDrivesOrStatusTheTrayMenuAsksForADrive) {
    struct Case {
        const char* name;
        std::optional<TStatus> status;
    };
    TStatus onlyShared;
    onlyShared.Drives = {Drive(u'E', TDriveState::Shared)};
    onlyShared.InDomain = true;
    const Case cases[] = {{"no engine", std::nullopt}, {"no drives", TStatus{}}, {"all shared", onlyShared}};
    for (const Case& c : cases) {
        const TFaceMenus menus = MenusOf(c.status, u"OFFICE");
        EXPECT_EQ(menus.AddCaption, kNoUsbDriveCaption) << c.name;
        EXPECT_EQ(menus.DomainUserVisible, c.status && c.status->InDomain) << c.name;
    }
    EXPECT_EQ(MenusOf(std::nullopt, u"OFFICE").RightClick, TPopupMenu::Tray);
    EXPECT_EQ(MenusOf(TStatus{}, u"OFFICE").RightClick, TPopupMenu::Tray);
}

TEST(FaceMenus, DrivesPastTheTwelfthGetNoSlotAndEjectSendsTheSlotsDrive) {
    TStatus status;
    for (char16_t letter = u'D'; letter <= u'R'; ++letter) status.Drives.push_back(Drive(letter, TDriveState::Shared));
    status.Drives.insert(status.Drives.begin(), Drive(u'S', TDriveState::Plugged));
    const TFaceModel model = ConnectedWith(status);
    const TFaceMenus menus = MenusOf(model.Status(), u"PC");
    EXPECT_EQ(menus.Eject[11].Letter, u'O');
    const auto request = model.EjectRequest(0);
    ASSERT_TRUE(request);
    EXPECT_EQ(std::get<remote::TEjectDrive>(*request).Letter, TDriveLetter(u'D'));
    EXPECT_EQ(std::get<remote::TEjectDrive>(*model.EjectRequest(11)).Letter, TDriveLetter(u'O'));
    EXPECT_FALSE(model.EjectRequest(12));
    EXPECT_FALSE(model.EjectRequest(-1));
    EXPECT_FALSE(TFaceModel().EjectRequest(0));  // no status yet
}

TEST(FaceModel, TheIconFollowsTheReportsAndTurnsGreyWhenTheEngineIsAway) {
    TFaceModel model;
    // Starting up: not yet known to be away.
    EXPECT_EQ(model.Icon(), TFaceIcon::Idle);
    EXPECT_EQ(model.Hint(), kTrayHint);
    model.OnDisconnected();
    EXPECT_EQ(model.Icon(), TFaceIcon::NotRunning);
    EXPECT_EQ(model.Hint(), u"Dockvane service is not running");
    model.OnConnected();
    EXPECT_EQ(model.Icon(), TFaceIcon::Idle);
    EXPECT_TRUE(model.OnMessage(TMessage{0, remote::TTrayIcon{remote::TTrayImage::Activity}}).IconChanged);
    EXPECT_EQ(model.Icon(), TFaceIcon::Activity);
    EXPECT_FALSE(model.OnMessage(TMessage{0, remote::TTrayIcon{remote::TTrayImage::Activity}}).IconChanged);
    model.OnMessage(TMessage{0, remote::TTrayIcon{remote::TTrayImage::Available}});
    EXPECT_EQ(model.Icon(), TFaceIcon::Available);
    model.OnDisconnected();
    EXPECT_EQ(model.Icon(), TFaceIcon::NotRunning);
    EXPECT_FALSE(model.Status());
    // The next engine starts from idle, not from the last engine's picture.
    model.OnConnected();
    EXPECT_EQ(model.Icon(), TFaceIcon::Idle);
}

TEST(FaceModel, OnlyRepliesToItsOwnRequestsCount) {
    TFaceModel model;
    model.OnConnected();
    // A status nobody asked for, and one sent in reply to an eject, change nothing.
    EXPECT_FALSE(model.OnMessage(TMessage{5, ThreeDrives()}).MenusChanged);
    model.OnSent(6, TKind::EjectDrive);
    EXPECT_FALSE(model.OnMessage(TMessage{6, ThreeDrives()}).MenusChanged);
    EXPECT_FALSE(model.Status());
    // The reply to the status; a second reply under the same id is not taken.
    model.OnSent(7, TKind::GetStatus);
    EXPECT_TRUE(model.OnMessage(TMessage{7, ThreeDrives()}).MenusChanged);
    EXPECT_FALSE(model.OnMessage(TMessage{7, TStatus{}}).MenusChanged);
    EXPECT_EQ(model.Status()->Drives.size(), 3u);
    // Requests sent to an engine that went are not answered by the next one.
    model.OnSent(8, TKind::GetStatus);
    model.OnDisconnected();
    model.OnConnected();
    EXPECT_FALSE(model.OnMessage(TMessage{8, TStatus{}}).MenusChanged);
    // Nothing is taken while not connected.
    model.OnDisconnected();
    EXPECT_FALSE(model.OnMessage(TMessage{0, remote::TBalloon{remote::TBalloonIcon::Warning, u"x"}}).Balloon);
}

TEST(FaceModel, ARefusedChangeIsShownAndAFailedStatusIsNot) {
    struct Case {
        TKind asked;
        bool shown;
    };
    const Case cases[] = {{TKind::EjectDrive, true},
                          {TKind::SetAutoPlay, true},
                          {TKind::RenewPassword, true},
                          {TKind::GetStatus, false},
                          {TKind::Subscribe, false}};
    for (const Case& c : cases) {
        TFaceModel model;
        model.OnConnected();
        model.OnSent(3, c.asked);
        const TFaceEffects effects =
            model.OnMessage(TMessage{3, remote::TError{remote::TErrorCode::Refused, u"Only administrators."}});
        EXPECT_EQ(effects.BoxWaiting, c.shown) << remote::KindName(c.asked);
        const auto box = model.TakeBox();
        EXPECT_EQ(box.has_value(), c.shown) << remote::KindName(c.asked);
        if (box) {
            EXPECT_EQ(*box, (TShownBox{u"Only administrators.", TMessageIcon::Error}));
        }
    }
}

TEST(FaceModel, ReportsBecomeBalloonsBoxesSoundsAndStatusRequests) {
    TFaceModel model = ConnectedWith(ThreeDrives());
    TFaceEffects effects = model.OnMessage(TMessage{0, remote::TBalloon{remote::TBalloonIcon::Warning, u"E: refused"}});
    EXPECT_EQ(effects.Balloon, (TShownBalloon{u"E: refused", TBalloonIcon::Warning}));

    effects = model.OnMessage(TMessage{0, remote::TMessageBox{remote::TBoxIcon::Warning, u"in use"}});
    EXPECT_TRUE(effects.BoxWaiting);
    EXPECT_EQ(model.TakeBox(), (TShownBox{u"in use", TMessageIcon::Warning}));
    EXPECT_FALSE(model.TakeBox());

    // Drives coming and going ask for the status again; the sounds come when the engine says so, once.
    effects = model.OnMessage(TMessage{0, remote::TDriveAttached{TDriveLetter(u'H'), u"new"}});
    EXPECT_TRUE(effects.AskStatus);
    EXPECT_FALSE(effects.Sound);
    effects = model.OnMessage(TMessage{0, remote::TDriveRemoved{TDriveLetter(u'E')}});
    EXPECT_TRUE(effects.AskStatus);
    EXPECT_FALSE(effects.Sound);
    EXPECT_EQ(model.OnMessage(TMessage{0, remote::TSound{remote::TSoundEvent::Available}}).Sound, TSoundBox::Available);
    EXPECT_EQ(model.OnMessage(TMessage{0, remote::TSound{remote::TSoundEvent::Done}}).Sound, TSoundBox::Done);
    EXPECT_TRUE(model.OnMessage(TMessage{0, remote::TMenuChanged{}}).AskStatus);
}

TEST(FaceModel, TextsFromTheEngineAreBoundedAndBoxesDoNotPileUp) {
    TFaceModel model;
    model.OnConnected();
    // A long balloon is cut where the shell would cut it, never inside a surrogate pair.
    std::u16string text(kMaxBalloonText - 1, u'a');
    text += u"\U0001F600tail";
    const auto balloon =
        model.OnMessage(TMessage{0, remote::TBalloon{remote::TBalloonIcon::Information, text}}).Balloon;
    ASSERT_TRUE(balloon);
    EXPECT_EQ(balloon->Text, std::u16string(kMaxBalloonText - 1, u'a'));
    EXPECT_EQ(Bounded(u"abc", 3), u"abc");
    EXPECT_EQ(Bounded(u"abcd", 3), u"abc");

    // Boxes sent faster than the person closes them: only the newest few wait.
    for (int i = 0; i < static_cast<int>(kMaxWaitingBoxes) + 3; ++i) {
        model.OnMessage(
            TMessage{0, remote::TMessageBox{remote::TBoxIcon::Error, u"box " + std::u16string(1, u'0' + i)}});
    }
    std::vector<std::u16string> shown;
    while (const auto box = model.TakeBox()) shown.push_back(box->Text);
    ASSERT_EQ(shown.size(), kMaxWaitingBoxes);
    EXPECT_EQ(shown.back(), u"box " + std::u16string(1, u'0' + kMaxWaitingBoxes + 2));
}

std::string KindNameOf(const remote::TBody& body) {
    return std::string(remote::KindName(TMessage{0, body}.Kind()));
}

// Sends what a dialog asks under ids from `first` on, as the window does.
std::vector<std::uint32_t> SendAsks(TFaceModel& model, const std::vector<remote::TBody>& asks, std::uint32_t first) {
    std::vector<std::uint32_t> ids;
    for (const remote::TBody& ask : asks) {
        model.OnSent(first, TMessage{0, ask}.Kind());
        ids.push_back(first++);
    }
    return ids;
}

TEST(FaceDialogs, ADialogOpensOnceTheEngineAnsweredWhatItShows) {
    TStatus status = ThreeDrives();
    status.DefaultAccount = u"dockvane";
    status.Accounts = {u"Dockvane", u"extdisk_backup"};  // the default one twice, as the system lists it
    const struct {
        const char* what;
        TFaceDialog dialog;
        TMode mode;
        char16_t letter;
        bool passwords;
        std::vector<remote::TBody> asks;
    } cases[] = {
        {"Modify of an administrator",
         TFaceDialog::DriveSettings,
         mModify,
         u'E',
         true,
         {remote::TGetPassword{u"dockvane"}, remote::TGetPassword{u"extdisk_backup"},
          remote::TGetDriveSettings{TDriveLetter(u'E')}}},
        {"Modify through consent",
         TFaceDialog::DriveSettings,
         mModify,
         u'F',
         false,
         {remote::TGetDriveSettings{TDriveLetter(u'F')}}},
        {"Add: the plugged drives",
         TFaceDialog::DriveSettings,
         mAdd,
         0,
         false,
         {remote::TGetDriveSettings{TDriveLetter(u'G')}}},
        {"the domain user", TFaceDialog::DomainUser, mModify, 0, true, {remote::TGetPassword{u"dockvane"}}},
    };
    for (const auto& c : cases) {
        TFaceModel model = ConnectedWith(status);
        const auto asks = model.AskForDialog(c.dialog, c.mode, c.letter, c.passwords);
        ASSERT_TRUE(asks) << c.what;
        EXPECT_EQ(*asks, c.asks) << c.what;
        // A second command while the first waits, or while its dialog is open, is ignored.
        EXPECT_FALSE(model.AskForDialog(c.dialog, c.mode, c.letter, c.passwords)) << c.what;
        const std::vector<std::uint32_t> ids = SendAsks(model, *asks, 10);
        EXPECT_FALSE(model.DialogAsked()) << c.what;
        for (std::size_t i = 0; i < ids.size(); ++i) {
            remote::TBody answer = remote::TError{remote::TErrorCode::Refused, u"no"};
            if (const auto* drive = std::get_if<remote::TGetDriveSettings>(&(*asks)[i])) {
                answer = remote::TDriveSettings{drive->Letter, true, u"L", u"SHARE", u"", u"", false, false};
            } else if (i == 0) {
                answer = remote::TPassword{u"dockvane", u"pw"};
            }
            const TFaceEffects effects = model.OnMessage(TMessage{ids[i], answer});
            // The last answer opens it; a refusal is no box, the field stays empty.
            EXPECT_EQ(effects.DialogReady, i + 1 == ids.size()) << c.what << " " << i;
            EXPECT_FALSE(effects.BoxWaiting) << c.what;
        }
        const std::optional<TDialogData> data = model.TakeDialog();
        ASSERT_TRUE(data) << c.what;
        EXPECT_EQ(data->Dialog, c.dialog);
        EXPECT_EQ(data->Letter, c.letter);
        EXPECT_EQ(data->Status, status);
        EXPECT_EQ(data->Passwords.size(), c.passwords ? 1u : 0u) << c.what;
        if (c.dialog == TFaceDialog::DriveSettings) {
            EXPECT_EQ(data->Drives.size(), 1u) << c.what;
        }
        EXPECT_FALSE(model.AskForDialog(c.dialog, c.mode, c.letter, c.passwords)) << c.what;
        model.DialogClosed();
        EXPECT_TRUE(model.AskForDialog(c.dialog, c.mode, c.letter, c.passwords)) << c.what;
    }
}

TEST(FaceDialogs, WhatTheEngineSendsBesidesTheAnswersChangesNoDialog) {
    TStatus status = ThreeDrives();
    TFaceModel model = ConnectedWith(status);
    const auto asks = model.AskForDialog(TFaceDialog::DriveSettings, mModify, u'E', false);
    ASSERT_TRUE(asks);
    const std::vector<std::uint32_t> ids = SendAsks(model, *asks, 20);
    // An answer to nothing asked, and settings of another drive than asked for.
    EXPECT_FALSE(
        model
            .OnMessage(TMessage{99, remote::TDriveSettings{TDriveLetter(u'E'), true, u"", u"", u"", u"", false, false}})
            .DialogReady);
    EXPECT_TRUE(model
                    .OnMessage(TMessage{
                        ids[0], remote::TDriveSettings{TDriveLetter(u'F'), true, u"", u"", u"", u"", false, false}})
                    .DialogReady);
    const std::optional<TDialogData> data = model.TakeDialog();
    ASSERT_TRUE(data);
    EXPECT_TRUE(data->Drives.empty());
}

TEST(FaceDialogs, TheEngineGoingEndsTheWaitButNotAnOpenDialog) {
    TFaceModel model = ConnectedWith(ThreeDrives());
    const auto asks = model.AskForDialog(TFaceDialog::DriveSettings, mModify, u'E', false);
    ASSERT_TRUE(asks);
    SendAsks(model, *asks, 30);
    model.OnDisconnected();
    EXPECT_FALSE(model.TakeDialog());
    model.OnConnected();
    model.OnSent(1, TKind::GetStatus);
    model.OnMessage(TMessage{1, ThreeDrives()});
    // Asked afresh of the next engine; its dialog stays open while that engine goes.
    const auto again = model.AskForDialog(TFaceDialog::DomainUser, mModify, 0, false);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->empty());
    EXPECT_TRUE(model.DialogAsked());
    ASSERT_TRUE(model.TakeDialog());
    model.OnDisconnected();
    model.OnConnected();
    model.OnSent(2, TKind::GetStatus);
    model.OnMessage(TMessage{2, ThreeDrives()});
    EXPECT_FALSE(model.AskForDialog(TFaceDialog::DomainUser, mModify, 0, false));
    model.DialogClosed();
    EXPECT_TRUE(model.AskForDialog(TFaceDialog::DomainUser, mModify, 0, false));
}

TEST(FaceDialogs, TheDomainUserDialogNeedsNoStatusAndTheDriveSettingsDo) {
    TFaceModel model;
    model.OnConnected();
    EXPECT_FALSE(model.AskForDialog(TFaceDialog::DriveSettings, mModify, u'E', true));
    const auto asks = model.AskForDialog(TFaceDialog::DomainUser, mModify, 0, true);
    ASSERT_TRUE(asks);
    EXPECT_TRUE(asks->empty());
    EXPECT_TRUE(model.DialogAsked());
    const std::optional<TDialogData> data = model.TakeDialog();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->Status.DefaultAccount, u"");
}

TEST(FaceModel, TheAutoPlayAndDomainUserReportsOpenTheirDialogs) {
    TFaceModel model = ConnectedWith(ThreeDrives());
    const remote::TAutoPlay autoPlay{TDriveLetter(u'G'), u"STICK (G:)"};
    EXPECT_EQ(model.OnMessage(TMessage{0, autoPlay}).AutoPlay, autoPlay);
    EXPECT_TRUE(model.OnMessage(TMessage{0, remote::TDomainUser{}}).DomainUser);
}

TEST(FaceModel, AChangeNeedingConsentGoesThroughTheCli) {
    EXPECT_EQ(ElevatedCliArguments(remote::TEjectDrive{TDriveLetter(u'E')}), u"eject E");
    EXPECT_FALSE(ElevatedCliArguments(remote::TGetStatus{}));
}

TEST(FaceConsent, EveryChangeBecomesTheCliArgumentsThatSendIt) {
    const TDriveLetter e(u'E');
    const struct {
        remote::TBody request;
        std::optional<std::u16string> arguments;
    } cases[] = {
        {remote::TEjectDrive{e}, u"eject E"},
        {remote::TDisableDrive{TDriveLetter(u'Z')}, u"disable Z"},
        {remote::TChangeDriveSettings{e, u"Backup", u"", u"", false, false, u""},
         u"drive-settings E --share-name Backup"},
        {remote::TChangeDriveSettings{e, u"Backup", u"Nightly \"full\" backup", u"OFFICE\\backup", true, true,
                                      u"MY DISK"},
         u"drive-settings E --share-name Backup --description \"Nightly \\\"full\\\" backup\" --account "
         u"OFFICE\\backup --volume-label \"MY DISK\" --auto-remove --encrypt"},
        {remote::TRenewPassword{}, u"renew-password"},
        // The password is not among the arguments.
        {remote::TSetDomainUser{u"OFFICE\\backup", u"secret"}, u"domain-user OFFICE\\backup"},
        {remote::TSetAutoPlay{1}, u"autoplay 1"},
        {remote::TSetFaceAutostart{true}, u"face-autostart on"},
        {remote::TSetFaceAutostart{false}, u"face-autostart off"},
        // What changes nothing, or is no request, has no arguments.
        {remote::TGetPassword{u"dockvane"}, std::nullopt},
        {remote::TGetDriveSettings{e}, std::nullopt},
        {remote::TSubscribe{}, std::nullopt},
        {remote::TSetAutoPlay{3}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ElevatedCliArguments(c.request), c.arguments) << KindNameOf(c.request);
    }
    EXPECT_EQ(ElevatedCliPassword(remote::TSetDomainUser{u"bob", u"secret"}), u"secret");
    EXPECT_FALSE(ElevatedCliPassword(remote::TEjectDrive{e}));
}

TEST(FaceConsent, ArgumentsAreQuotedAsTheSystemSplitsThem) {
    const struct {
        std::u16string argument;
        std::u16string quoted;
    } cases[] = {
        {u"plain", u"plain"},
        {u"", u"\"\""},
        {u"two words", u"\"two words\""},
        {u"tab\there", u"\"tab\there\""},
        {u"a\"b", u"\"a\\\"b\""},
        {u"back\\slash", u"back\\slash"},
        {u"back\\\"quote", u"\"back\\\\\\\"quote\""},
        {u"ends in \\", u"\"ends in \\\\\""},
        {u"\\\\two", u"\\\\two"},
    };
    for (const auto& c : cases) EXPECT_EQ(QuotedArgument(c.argument), c.quoted) << ToUtf8(c.argument);
}

}  // namespace
}  // namespace dv::face
