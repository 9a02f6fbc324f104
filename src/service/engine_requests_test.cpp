#include "service/engine_requests.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "accounts/user_api.h"
#include "accounts/user_manager.h"
#include "drives/eject_blocker.h"
#include "platform/drive_letter.h"
#include "platform/files.h"
#include "platform/text.h"
#include "remote/frames.h"
#include "remote/protocol.h"
#include "service/engine_world_test.h"
#include "settings/app_settings.h"
#include "settings/share_settings.h"

namespace dv {
namespace {

using namespace remote;
using testing::EngineWorld;
using testing::kAdministrator;
using testing::kRemoteAdministrator;
using testing::kStandardUser;
using testing::kSystem;

// E and F shared (E leaves by itself once its backup is done), G a stick without a configuration.
const std::string kEast = "[Share]\r\nShareName=EAST\r\nShareUserName=extdisk_east\r\nAutoRemove=True\r\n";
const std::string kWest = "[Share]\r\nShareName=WEST\r\n";
const std::map<char16_t, std::string> kDrives = {{u'E', kEast}, {u'F', kWest}, {u'G', ""}};

TDriveLetter Drive(char16_t letter) {
    return TDriveLetter(letter);
}

// A reply as a short text: its kind, and for an error its code ("error not-attached").
std::string Outcome(const TMessage& reply) {
    std::string text(KindName(reply.Kind()));
    if (const TError* error = std::get_if<TError>(&reply.Body)) {
        const std::string encoded = Encode({0, *error}).value_or("");
        const std::size_t code = encoded.find("\"code\":\"");
        text += " " + encoded.substr(code + 8, encoded.find('"', code + 8) - code - 8);
    }
    return text;
}

std::u16string ErrorText(const TMessage& reply) {
    const TError* error = std::get_if<TError>(&reply.Body);
    return error ? error->Text : u"(not an error)";
}

TChangeDriveSettings Settings(char16_t letter, std::u16string shareName, std::u16string label = u"DISK") {
    return TChangeDriveSettings{Drive(letter), std::move(shareName), u"", u"", false, false, std::move(label)};
}

// Before the controller is up a face may subscribe already, and hears when it may ask for the status:
// a face that comes back while the engine restarts is not left deaf.
TEST(EngineRequests, BeforeTheStartAFaceSubscribesAndHearsWhenTheEngineIsUp) {
    const auto payload = [](TBody body) { return *Encode({7, std::move(body)}); };
    const struct {
        const char* what;
        TCaller caller;
        std::string payload;
        std::string outcome;
        bool subscribed;
    } cases[] = {
        {"a person's subscription", kStandardUser, payload(TSubscribe{}), "ok", true},
        {"the status", kStandardUser, payload(TGetStatus{}), "error failed", false},
        {"an administrator's eject", kAdministrator, payload(TEjectDrive{Drive(u'E')}), "error failed", false},
        {"a person's eject", kStandardUser, payload(TEjectDrive{Drive(u'E')}), "error refused", false},
        {"over the network", kRemoteAdministrator, payload(TSubscribe{}), "error refused", false},
        {"what is no request", kStandardUser, "{\"version\":1,\"kind\":\"subscribe\"", "error malformed", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testing::RecordingLink link;
        AnswerBeforeStart(link, 3, c.caller, c.payload);
        ASSERT_EQ(link.sent.size(), 1u);
        EXPECT_EQ(link.sent[0].To, 3u);
        EXPECT_EQ(Outcome(link.sent[0].Message), c.outcome);
        if (c.outcome != "error malformed") {
            EXPECT_EQ(link.sent[0].Message.Id, 7u);
        }
        EXPECT_EQ(link.subscribers.count(3), c.subscribed ? 1u : 0u);

        TellSubscribersTheEngineIsUp(link, 3);
        EXPECT_EQ(link.Reports<TMenuChanged>().size(), c.subscribed ? 1u : 0u);
        const std::vector<TTrayIcon> icons = link.Reports<TTrayIcon>();
        EXPECT_EQ(icons, c.subscribed ? std::vector<TTrayIcon>{{TTrayImage::Available}} : std::vector<TTrayIcon>{});
    }
}

TEST(EngineRequests, EveryRequestForEveryCaller) {
    const std::string refused = "error refused";
    const struct {
        const char* what;
        TBody request;
        std::string user, administrator;  // the system answers as an administrator; remote is refused
    } cases[] = {
        {"the status", TGetStatus{}, "status", "status"},
        {"the reports", TSubscribe{}, "ok", "ok"},
        {"an eject", TEjectDrive{Drive(u'E')}, refused, "ok"},
        {"an eject of a drive not there", TEjectDrive{Drive(u'Q')}, refused, "error not-attached"},
        {"a disable", TDisableDrive{Drive(u'E')}, refused, "ok"},
        {"a disable of a stick not in the pool", TDisableDrive{Drive(u'G')}, refused, "error not-attached"},
        {"a renewal", TRenewPassword{}, refused, "ok"},
        {"the master password", TGetPassword{u"dockvane"}, refused, "password"},
        {"a drive's password", TGetPassword{u"EXTDISK_EAST"}, refused, "password"},
        {"the password of no account", TGetPassword{u"nobody"}, refused, "error failed"},
        {"the AutoPlay mode", TSetAutoPlay{1}, refused, "ok"},
        {"the faces' start", TSetFaceAutostart{false}, refused, "ok"},
        {"a domain user outside a domain", TSetDomainUser{u"OFFICE\\backup", u"secret"}, refused, "error failed"},
        {"a drive's settings", Settings(u'E', u"EAST2"), refused, "ok"},
        {"a stick added", Settings(u'G', u"STICK"), refused, "ok"},
        {"the settings of a drive not there", Settings(u'Q', u"NONE"), refused, "error not-attached"},
        {"a share name another drive has", Settings(u'E', u"west"), refused, "error failed"},
        {"a drive's settings as the dialog shows them", TGetDriveSettings{Drive(u'E')}, "drive-settings",
         "drive-settings"},
        {"the settings of a stick", TGetDriveSettings{Drive(u'G')}, "drive-settings", "drive-settings"},
        {"the shown settings of a drive not there", TGetDriveSettings{Drive(u'Q')}, "error not-attached",
         "error not-attached"},
    };
    const struct {
        const char* who;
        TCaller caller;
    } callers[] = {
        {"a standard user", kStandardUser},
        {"an administrator", kAdministrator},
        {"the system", kSystem},
        {"a remote administrator", kRemoteAdministrator},
    };
    for (const auto& c : cases) {
        for (const auto& who : callers) {
            EngineWorld world(kDrives);
            const std::u16string salt = world.StoredSettings().FPasswordSalt;
            const TMessage reply = world.Ask(c.request, who.caller);
            const bool trusted = who.caller.ElevatedAdministrator || who.caller.System;
            const std::string expected = who.caller.Remote ? refused : trusted ? c.administrator : c.user;
            EXPECT_EQ(Outcome(reply), expected) << c.what << ", asked by " << who.who;
            EXPECT_TRUE(world.errors.empty()) << c.what << ", asked by " << who.who;
            if (expected == refused) {
                // Nothing happened: both drives shared as before, the master password as it was.
                EXPECT_EQ(world.main->NasManager().GetNasShareNamesList(),
                          (std::vector<std::u16string>{u"EAST", u"WEST"}))
                    << c.what << ", asked by " << who.who;
                EXPECT_EQ(world.StoredSettings().FPasswordSalt, salt) << c.what << ", asked by " << who.who;
                EXPECT_TRUE(world.link.subscribers.empty()) << c.what << ", asked by " << who.who;
            }
        }
    }
}

TEST(EngineRequests, WhatIsNotAWholeRequestIsAnsweredAndTheConnectionGoesOn) {
    EngineWorld world(kDrives);
    const struct {
        const char* what;
        std::string payload;
        TErrorCode code;
        std::uint32_t id;
    } cases[] = {
        {"no JSON", "eject E:", TErrorCode::Malformed, 0},
        {"half a message", R"({"version":1,"kind":"eject-drive","id":4,"letter":"E")", TErrorCode::Malformed, 0},
        {"another version", R"({"version":2,"kind":"eject-drive","id":4,"letter":"E"})", TErrorCode::Version, 4},
        {"an unknown kind", R"({"version":1,"kind":"format-drive","id":4,"letter":"E"})", TErrorCode::UnknownKind, 4},
        {"a kind only the engine sends", R"({"version":1,"kind":"ok","id":4})", TErrorCode::UnknownKind, 4},
        {"a report", R"({"version":1,"kind":"balloon","id":4,"icon":"error","text":"x"})", TErrorCode::UnknownKind, 4},
        {"no drive letter", R"({"version":1,"kind":"eject-drive","id":4})", TErrorCode::BadField, 4},
        {"a drive letter with its colon", R"({"version":1,"kind":"eject-drive","id":4,"letter":"E:"})",
         TErrorCode::BadField, 4},
        {"a share name of 13",
         R"({"version":1,"kind":"change-drive-settings","id":4,"letter":"E","shareName":"ABCDEFGHIJKLM",)"
         R"("description":"","account":"","autoRemove":false,"encrypt":false,"volumeLabel":""})",
         TErrorCode::BadField, 4},
        {"an account with a line break",
         R"({"version":1,"kind":"change-drive-settings","id":4,"letter":"E","shareName":"EAST",)"
         R"("description":"","account":"a\r\nb","autoRemove":false,"encrypt":false,"volumeLabel":""})",
         TErrorCode::BadField, 4},
        {"a description longer than a share takes",
         R"({"version":1,"kind":"change-drive-settings","id":4,"letter":"E","shareName":"EAST","description":")" +
             std::string(kMaxDescriptionLength + 1, 'd') +
             R"(","account":"","autoRemove":false,"encrypt":false,"volumeLabel":""})",
         TErrorCode::BadField, 4},
        {"a payload longer than a frame",
         R"({"version":1,"kind":"get-password","id":4,"account":")" + std::string(kMaxPayloadBytes, 'a') + "\"}",
         TErrorCode::Malformed, 0},
    };
    for (const auto& c : cases) {
        const TMessage reply = world.AskRaw(c.payload, kAdministrator, 7);
        EXPECT_EQ(reply.Id, c.id) << c.what;
        const TError* error = std::get_if<TError>(&reply.Body);
        ASSERT_NE(error, nullptr) << c.what;
        EXPECT_EQ(error->Code, c.code) << c.what;
        // Nothing was done, and the same connection is still answered.
        EXPECT_EQ(world.main->NasManager().NasCount(), 2) << c.what;
        EXPECT_EQ(Outcome(world.Ask(TGetStatus{}, kAdministrator, 7)), "status") << c.what;
    }
}

TEST(EngineRequests, StatusOfEightDrivesAndAStick) {
    std::map<char16_t, std::string> drives;
    for (char16_t letter = u'E'; letter <= u'L'; ++letter) {
        drives[letter] = "[Share]\r\nShareName=SHARE" + std::string(1, static_cast<char>(letter)) + "\r\n";
    }
    drives[u'F'] = "[Share]\r\nShareName=SHAREF\r\nShareUserName=extdisk_sharef\r\n";
    drives[u'M'] = "";
    EngineWorld world(drives);
    ASSERT_EQ(world.main->NasManager().NasCount(), 8);

    const TMessage reply = world.Ask(TGetStatus{}, kStandardUser);
    const TStatus* status = std::get_if<TStatus>(&reply.Body);
    ASSERT_NE(status, nullptr) << Outcome(reply);
    ASSERT_EQ(status->Drives.size(), 9u);
    for (std::size_t i = 0; i < 8; ++i) {
        const TDriveStatus& drive = status->Drives[i];
        const char16_t letter = static_cast<char16_t>(u'E' + i);
        EXPECT_EQ(drive.Letter, Drive(letter));
        EXPECT_EQ(drive.State, TDriveState::Shared);
        EXPECT_EQ(drive.ShareName, u"SHARE" + std::u16string(1, letter));
        EXPECT_EQ(drive.Account, letter == u'F' ? u"extdisk_sharef" : u"dockvane");
        EXPECT_EQ(drive.VolumeLabel, u"DISK");
        EXPECT_FALSE(drive.Capacity.empty());
    }
    EXPECT_EQ(status->Drives[8],
              (TDriveStatus{Drive(u'M'), TDriveState::Plugged, u"DISK", status->Drives[0].Capacity, u"", u""}));
    EXPECT_EQ(status->Shares.size(), 8u);
    EXPECT_EQ(status->Accounts, (std::vector<std::u16string>{u"dockvane", u"extdisk_sharef"}));
    EXPECT_FALSE(status->InDomain);
    EXPECT_EQ(status->DefaultAccount, u"dockvane");
    EXPECT_EQ(status->AutoPlay, 2);
    EXPECT_TRUE(status->FaceAutostart);

    // The status follows the drives: one leaves, another stick comes.
    world.drives.Unplug(u'G');
    world.Removal(u'G');
    world.Plug(u'N', "");
    world.Arrival(u'N');
    const TMessage after = world.Ask(TGetStatus{}, kStandardUser);
    ASSERT_TRUE(std::holds_alternative<TStatus>(after.Body));
    std::u16string letters;
    for (const TDriveStatus& drive : std::get<TStatus>(after.Body).Drives) letters += drive.Letter.Letter();
    EXPECT_EQ(letters, u"EFHIJKLMN");
    EXPECT_EQ(std::get<TStatus>(after.Body).Shares.size(), 7u);
}

// The eject of the tray's Eject entry, without its message box: the outcome is the answer, and the
// balloons go to the faces as reports.
TEST(EngineRequests, EjectAnswersWhatBecameOfTheDrive) {
    const std::u16string blockerText =
        u"E: is in use by dllhost.exe (process 9176). Close it, then choose Eject again.";
    const struct {
        const char* what;
        int refusals;
        bool blocker;  // the system log names the process that refused
        std::string outcome;
        std::u16string text;  // of the answer
        std::u16string lastBalloon;
    } cases[] = {
        {"ejected", 0, false, "ok", u"(not an error)", u"External Storage drive 'E'\r\n was successfully removed."},
        {"refused", 3, false, "error failed", u"Unable to remove\r\nthe External Storage drive 'E'",
         u"Unable to remove\r\nthe External Storage drive 'E'"},
        {"refused by a process", 3, true, "error failed", blockerText, blockerText},
    };
    for (const auto& c : cases) {
        EngineWorld world(kDrives);
        world.Ask(TSubscribe{}, kStandardUser, 2);
        world.drives.EjectRefusals = c.refusals;
        if (c.blocker) {
            world.eventLog.events.push_back(RenderRefusalEvent(
                TSimDrives::DeviceInstanceOf(u'E'), u"\\Device\\HarddiskVolume3\\Windows\\System32\\dllhost.exe", 9176,
                world.eventLog.now));
        }
        const TMessage reply = world.Ask(TEjectDrive{Drive(u'E')});
        world.pump.Drain();
        EXPECT_EQ(Outcome(reply), c.outcome) << c.what;
        EXPECT_EQ(ErrorText(reply), c.text) << c.what;
        EXPECT_TRUE(world.errors.empty()) << c.what;
        // Unshared in every case; plugged in still when refused.
        EXPECT_EQ(world.main->NasManager().GetNasDriveNamesList(), std::vector<std::u16string>{u"F"}) << c.what;
        EXPECT_EQ(world.drives.Drives.count(u'E'), c.refusals ? 1u : 0u) << c.what;
        const auto balloons = world.link.Reports<remote::TBalloon>();
        ASSERT_GE(balloons.size(), 2u) << c.what;
        EXPECT_EQ(balloons.front().Text, u"NAS device 'EAST'\r\nSuccessfully disconected") << c.what;
        EXPECT_EQ(balloons.back().Text, c.lastBalloon) << c.what;
        // Nothing waits for anybody: no box.
        EXPECT_TRUE(world.link.Reports<TMessageBox>().empty()) << c.what;
        EXPECT_EQ(world.link.Reports<TDriveRemoved>(), std::vector<TDriveRemoved>{TDriveRemoved{Drive(u'E')}})
            << c.what;
    }
}

TEST(EngineRequests, DisableSetsTheConfigurationAside) {
    EngineWorld world(kDrives);
    EXPECT_EQ(Outcome(world.Ask(TDisableDrive{Drive(u'F')})), "ok");
    EXPECT_EQ(world.main->NasManager().GetNasDriveNamesList(), std::vector<std::u16string>{u"E"});
    EXPECT_FALSE(fs::FileExists(world.roots[u'F']->File(u"velmora.conf")));
    EXPECT_TRUE(fs::FileExists(world.roots[u'F']->File(u"velmora.conf.inactive")));
    EXPECT_EQ(world.drives.Drives.count(u'F'), 1u);  // still plugged in
}

TEST(EngineRequests, RenewalChangesTheMasterPasswordWithoutAsking) {
    EngineWorld world(kDrives);
    const std::u16string salt = world.StoredSettings().FPasswordSalt;
    ASSERT_EQ(Outcome(world.Ask(TRenewPassword{})), "ok");
    const std::u16string renewed = world.StoredSettings().FPasswordSalt;
    EXPECT_NE(renewed, salt);
    EXPECT_EQ(world.sim.FindAccount(u"dockvane")->Info.Password, DerivePassword(renewed));
    // With nobody listening, the balloon is in the log.
    const auto log = world.AppLog();
    EXPECT_NE(std::find(log.begin(), log.end(), u" Not shown | Password successfully renewed."), log.end());
}

TEST(EngineRequests, PasswordsAreThoseOfDockvanesOwnAccounts) {
    EngineWorld world(kDrives);
    // An account of the computer's own that a drive's file could name: never Dockvane's to tell.
    TUserInfo1 mine;
    mine.Name = u"extdisk_mine";
    mine.Password = u"Secret-1";
    mine.Comment = u"Someone's";
    ASSERT_TRUE(world.sim.UserAdd1(mine).ok());
    const struct {
        std::u16string asked;
        std::optional<std::u16string> account;  // what the answer names; nothing: refused
    } cases[] = {
        {u"dockvane", u"dockvane"},          {u"DockVane", u"dockvane"},      {u"extdisk_east", u"extdisk_east"},
        {u"EXTDISK_EAST", u"extdisk_east"},  {u"extdisk_mine", std::nullopt}, {u"Administrator", std::nullopt},
        {u"OFFICE\\dockvane", std::nullopt},
    };
    for (const auto& c : cases) {
        const TMessage reply = world.Ask(TGetPassword{c.asked});
        if (!c.account) {
            EXPECT_EQ(Outcome(reply), "error failed") << ToUtf8(c.asked);
            continue;
        }
        const TPassword* password = std::get_if<TPassword>(&reply.Body);
        ASSERT_NE(password, nullptr) << ToUtf8(c.asked) << ": " << Outcome(reply);
        EXPECT_EQ(password->Account, *c.account);
        // The password the account really has.
        EXPECT_EQ(password->Password, world.sim.FindAccount(*c.account)->Info.Password) << ToUtf8(c.asked);
    }
}

TEST(EngineRequests, SettingsOfTheEngineAreStored) {
    EngineWorld world(kDrives);
    const std::u16string autoRun =
        u"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\NoDriveTypeAutoRun";
    ASSERT_EQ(Outcome(world.Ask(TSetAutoPlay{1})), "ok");
    EXPECT_EQ(world.StoredSettings().FAutoPlay, 1);
    EXPECT_EQ(world.system.registry[autoRun], u"255");

    ASSERT_EQ(Outcome(world.Ask(TSetFaceAutostart{false})), "ok");
    EXPECT_EQ(world.system.faceStart, false);
    EXPECT_FALSE(world.StoredSettings().FAutoStart);
    // A system that does not take it leaves the setting as it was.
    world.system.acceptFaceStart = false;
    EXPECT_EQ(Outcome(world.Ask(TSetFaceAutostart{true})), "error failed");
    EXPECT_FALSE(world.StoredSettings().FAutoStart);

    const TStatus status = std::get<TStatus>(world.Ask(TGetStatus{}).Body);
    EXPECT_EQ(status.AutoPlay, 1);
    EXPECT_FALSE(status.FaceAutostart);
}

// Settings that could not be read hold the salt of every password: no request writes over them.
TEST(EngineRequests, SettingsThatCannotBeReadAreNotChanged) {
    EngineWorld world(kDrives, false);
    const std::string unreadable = "[General]\r\n RegistrationCode=12345\r\nAutoPlay=often\r\n";
    std::filesystem::create_directories(world.appData.path() / "dockvane");
    testing::WriteBytes(world.appData.path() / "dockvane" / "Settings.ini", unreadable);
    world.Start();
    const TBody requests[] = {TRenewPassword{}, TSetAutoPlay{1}, TSetFaceAutostart{false}, TGetPassword{u"dockvane"},
                              TSetDomainUser{u"OFFICE\\backup", u"secret"}};
    for (const TBody& request : requests) {
        const TMessage reply = world.Ask(request);
        EXPECT_EQ(Outcome(reply), "error failed") << KindName(static_cast<TKind>(request.index()));
        EXPECT_TRUE(ErrorText(reply).starts_with(u"The settings cannot be read: ")) << ToUtf8(ErrorText(reply));
    }
    std::string stored;
    ASSERT_TRUE(fs::ReadWholeFile(world.appData.Path() + u"\\dockvane\\Settings.ini", stored).ok());
    EXPECT_EQ(stored, unreadable);
    EXPECT_FALSE(world.system.faceStart);
}

TEST(EngineRequests, DomainUserIsStoredOnADomainMember) {
    EngineWorld world({{u'E', kWest}}, false);
    world.sim.JoinStatus = 3;  // NetSetupDomainName
    world.Start();
    // At the first start the faces are asked for the account; nobody listened.
    EXPECT_TRUE(world.link.broadcasts.empty());
    ASSERT_EQ(Outcome(world.Ask(TSetDomainUser{u"OFFICE\\backup", u"p\u00E4ss word"})), "ok");
    const TApplicationSettings stored = world.StoredSettings();
    EXPECT_EQ(stored.FDefaultShareUserName, u"OFFICE\\backup");
    EXPECT_EQ(stored.FPasswordSalt, EncodePassword(u"p\u00E4ss word"));
    const TPassword password = std::get<TPassword>(world.Ask(TGetPassword{u"office\\BACKUP"}).Body);
    EXPECT_EQ(password.Password, u"p\u00E4ss word");
}

TEST(EngineRequests, DriveSettingsAreWhatTheDialogsOkStores) {
    EngineWorld world({{u'E', kEast + "PingURL=srv/started\r\n"}, {u'F', kWest}, {u'G', ""}, {u'H', ""}});
    testing::WriteBytes(world.roots[u'H']->path() / "velmora.conf.inactive",
                        "[Share]\r\nShareName=HOME\r\nPingURL=srv/home\r\n");

    // An attached drive: shared again under its new name, with its other keys kept, and its label.
    ASSERT_EQ(Outcome(world.Ask(TChangeDriveSettings{Drive(u'E'), u"EAST2", u"Nightly", u"", true, false, u"BACKUP"})),
              "ok");
    TShareSettings east(world.roots[u'E']->File(u"velmora.conf"));
    east.Load();
    EXPECT_EQ(east.FShareName, u"EAST2");
    EXPECT_EQ(east.FShareDescription, u"Nightly");
    EXPECT_EQ(east.FPingUrls[0], u"srv/started");
    EXPECT_EQ(world.main->NasManager().getNasByname(u"E")->ShareName(), u"EAST2");
    EXPECT_EQ(world.sim.Shares.count(u"EAST"), 0u);
    EXPECT_EQ(world.drives.Drives[u'E'].Label, u"BACKUP");
    // Its own account is no longer named: it went.
    EXPECT_EQ(world.sim.FindAccount(u"extdisk_east"), nullptr);

    // A stick: added to the pool and shared.
    ASSERT_EQ(Outcome(world.Ask(Settings(u'G', u"STICK"))), "ok");
    EXPECT_TRUE(fs::FileExists(world.roots[u'G']->File(u"velmora.conf")));
    EXPECT_EQ(world.main->NasManager().getNasByname(u"G")->ShareName(), u"STICK");
    // A drive set aside: its configuration comes back, with the new name.
    ASSERT_EQ(Outcome(world.Ask(Settings(u'H', u"HOME2"))), "ok");
    EXPECT_FALSE(fs::FileExists(world.roots[u'H']->File(u"velmora.conf.inactive")));
    TShareSettings home(world.roots[u'H']->File(u"velmora.conf"));
    home.Load();
    EXPECT_EQ(home.FShareName, u"HOME2");
    EXPECT_EQ(home.FPingUrls[0], u"srv/home");

    // A share name that another drive has changes nothing.
    const TMessage taken = world.Ask(Settings(u'F', u"stick", u"OTHER"));
    EXPECT_EQ(ErrorText(taken), u"Share name stick is already in use!");
    EXPECT_EQ(world.main->NasManager().getNasByname(u"F")->ShareName(), u"WEST");
    EXPECT_EQ(world.drives.Drives[u'F'].Label, u"DISK");
}

TEST(EngineRequests, DriveSettingsShownAreWhatTheDialogWouldRead) {
    const std::string longName(300, 'n');
    EngineWorld world({{u'E', kEast + "Description=Nightly\r\nEncrypt=True\r\n"},
                       {u'G', ""},
                       {u'H', ""},
                       {u'J', "[Share]\r\nShareName=" + longName +
                                  "\r\nDescription=a\x01\x7F"
                                  "b\r\n"}});
    testing::WriteBytes(world.roots[u'H']->path() / "velmora.conf.inactive", "[Share]\r\nShareName=HOME\r\n");
    world.drives.Drives[u'E'].Label = u"Backup";
    const struct {
        const char* what;
        char16_t letter;
        TDriveSettings expected;
    } cases[] = {
        {"a drive of the pool, in its file",
         u'E',
         {Drive(u'E'), true, u"BACKUP", u"EAST", u"Nightly", u"extdisk_east", true, true}},
        {"a stick without a file", u'G', {Drive(u'G'), true, u"DISK", u"", u"", u"", false, false}},
        {"a drive set aside", u'H', {Drive(u'H'), true, u"DISK", u"HOME", u"", u"", false, false}},
        // A name no person could type is fitted to what the pipe carries, never sent as it is.
        {"a hostile file",
         u'J',
         {Drive(u'J'), true, u"DISK", std::u16string(kMaxListedNameLength, u'n'), u"a\uFFFD\uFFFDb", u"", false,
          false}},
    };
    for (const auto& c : cases) {
        const TMessage reply = world.Ask(TGetDriveSettings{Drive(c.letter)}, kStandardUser);
        const auto* settings = std::get_if<TDriveSettings>(&reply.Body);
        ASSERT_TRUE(settings) << c.what << ": " << ToUtf8(ErrorText(reply));
        EXPECT_EQ(*settings, c.expected) << c.what << ": " << Encode({0, *settings}).value_or("");
    }
    // Asking writes nothing: the drive set aside keeps its file aside.
    EXPECT_TRUE(fs::FileExists(world.roots[u'H']->File(u"velmora.conf.inactive")));
    EXPECT_FALSE(fs::FileExists(world.roots[u'H']->File(u"velmora.conf")));
}

// A request that comes while another handler lets pending messages through is handled there; what
// it finds is the registry of that moment, looked up by letter.
TEST(EngineRequests, ARequestInsideAnotherHandler) {
    EngineWorld world(kDrives);
    // During the eject's wait of the unbind, the drive is ejected once more from a face, and another
    // face asks for the status.
    std::optional<TMessage> nested, status;
    world.pump.RunAt(1, [&] {
        nested = world.Ask(TEjectDrive{Drive(u'E')}, kAdministrator, 3);
        status = world.Ask(TGetStatus{}, kStandardUser, 4);
    });
    const TMessage outer = world.Ask(TEjectDrive{Drive(u'E')});
    world.pump.Drain();
    ASSERT_TRUE(world.pump.Fired());
    EXPECT_TRUE(world.errors.empty());
    ASSERT_TRUE(nested && status);
    EXPECT_EQ(Outcome(*nested), "ok");
    // The drive left during the outer eject's wait: nothing left to eject, no failure.
    EXPECT_EQ(Outcome(outer), "ok");
    EXPECT_EQ(world.main->NasManager().GetNasDriveNamesList(), std::vector<std::u16string>{u"F"});
    ASSERT_TRUE(std::holds_alternative<TStatus>(status->Body));

    // A drive that went before its request was handled is not attached.
    EXPECT_EQ(Outcome(world.Ask(TEjectDrive{Drive(u'E')})), "error not-attached");
    EXPECT_EQ(Outcome(world.Ask(TDisableDrive{Drive(u'E')})), "error not-attached");
}

// The engine's views let pending messages through where the tray did not (a balloon that nobody hears
// is a log line): each request that works on a drive runs with the drive pulled at each of its pumps,
// with and without a face listening, and is answered once, leaving no share of a drive that went.
TEST(EngineRequests, TheDrivePulledAtEveryPumpOfARequest) {
    const struct {
        const char* what;
        TBody request;
        int refusals;        // of the eject
        const char* pulled;  // the answer once the drive went; nullptr: it depends on when
    } cases[] = {
        {"an eject", TEjectDrive{Drive(u'E')}, 0, "ok"},
        // Refused, and pulled afterwards: the answer is still that it was refused.
        {"an eject refused", TEjectDrive{Drive(u'E')}, 3, nullptr},
        {"a disable", TDisableDrive{Drive(u'E')}, 0, "ok"},
        {"new settings", Settings(u'E', u"EAST2"), 0, nullptr},
        {"a renewal", TRenewPassword{}, 0, "ok"},
    };
    for (const auto& c : cases) {
        for (const bool listening : {true, false}) {
            for (int at = 1;; ++at) {
                EngineWorld world(kDrives);
                if (listening) world.Ask(TSubscribe{}, kStandardUser, 5);
                world.drives.EjectRefusals = c.refusals;
                world.pump.RunAt(at, [&world] {
                    world.drives.Unplug(u'E');
                    world.Guard([&] { world.Removal(u'E'); });
                });
                const TMessage reply = world.Ask(c.request);
                world.pump.Drain();
                const std::string where =
                    std::string(c.what) + (listening ? ", listened to" : "") + ", at pump " + std::to_string(at);
                EXPECT_TRUE(world.errors.empty()) << where << ": " << ToUtf8(world.errors.front());
                if (world.pump.Fired()) {
                    if (c.pulled) {
                        EXPECT_EQ(Outcome(reply), c.pulled) << where << ": " << ToUtf8(ErrorText(reply));
                    }
                    EXPECT_EQ(world.main->NasManager().getNasByname(u"E"), nullptr) << where;
                    for (const auto& [name, share] : world.sim.Shares) EXPECT_NE(share.Path, u"E:\\") << where;
                }
                if (!world.pump.Fired() || at > 100) break;
            }
        }
    }
}

}  // namespace
}  // namespace dv
