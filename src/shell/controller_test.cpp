#include "shell/controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <deque>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "accounts/accounts_sim.h"
#include "accounts/security_types.h"
#include "accounts/share_manager.h"
#include "accounts/user_manager.h"
#include "drives/drives_sim.h"
#include "drives/eject_blocker.h"
#include "drives/usb_drive_mgmt.h"
#include "drives/volume_observer.h"
#include "logging/log_records_test.h"
#include "logging/logs.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"
#include "resources/resource_ids.h"
#include "settings/app_settings.h"
#include "settings/settings_migration.h"
#include "shell/controller_doubles_test.h"
#include "shell/settings_window.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;
using Lines = std::vector<std::u16string>;

// The addresses that every ping worker asked for; shared with the workers, which nobody waits for.
class PingRequests {
public:
    void Add(std::u16string_view url) {
        const std::lock_guard<std::mutex> lock(mutex_);
        urls_.emplace_back(url);
    }
    Lines Containing(std::u16string_view part) {
        const std::lock_guard<std::mutex> lock(mutex_);
        Lines found;
        for (const auto& url : urls_) {
            if (url.find(part) != std::u16string::npos) found.push_back(url);
        }
        return found;
    }

private:
    std::mutex mutex_;
    Lines urls_;
};

// Answers every ping with "DONE".
class DoneClient : public IHttpClient {
public:
    explicit DoneClient(std::shared_ptr<PingRequests> requests) : requests_(std::move(requests)) {}
    HttpOutcome Get(std::u16string_view url) override {
        requests_->Add(url);
        return {HttpOutcome::Kind::Body, u"DONE\r\n", 200, {}};
    }

private:
    std::shared_ptr<PingRequests> requests_;
};

// Shares and accounts that let a test look at them when a share's flags are asked for.
class SharesThatWatchTheFlags : public TSimAccounts {
public:
    std::function<void()> beforeShareFlags;
    TShareFlags ShareGetInfo1005(const std::u16string& name) override {
        if (beforeShareFlags) beforeShareFlags();
        return TSimAccounts::ShareGetInfo1005(name);
    }
};

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogClock([] { return LocalDateTime{2026, 12, 10, 9, 30, 0}; });
    }
    void TearDown() override {
        main.reset();
        SetLogClock(nullptr);
        for (const auto& [letter, drive] : Drives()) fs::MapDrive(letter, u"");
    }
    std::map<char16_t, TSimDrives::Drive> Drives() { return drives.Drives; }

    TMainServices Services() {
        return TMainServices{
            sim,
            sim,
            drives,
            drives,
            eventLog,
            system,
            services,
            web,
            view,
            *settingsView,
            view,
            view,
            clock,
            watcher,
            [this] {
                if (noObserver) return std::unique_ptr<TVolumeObserver>();
                ++volumeObservers;
                return std::make_unique<TVolumeObserver>();
            },
            [this] {
                // The machine folder, as the program prepares it before the start-up.
                (void)fs::MakeDirectory(appData.File(u"dockvane"));
                return GetSettingsFileName(appData.File(u"dockvane"), UserSettingsFiles({userAppData.Path()}));
            },
            [requests = pingRequests] { return std::make_unique<DoneClient>(requests); },
            [this](std::function<void()> worker) {
                ++workers;
                if (deferWorkers) {
                    deferred.push_back(std::move(worker));
                } else {
                    worker();  // at once: deterministic
                }
            },
            [this](std::exception_ptr error) {
                try {
                    std::rethrow_exception(error);
                } catch (const Exception& e) {
                    errors.push_back(e.Message());
                } catch (const std::exception& e) {
                    errors.push_back(FromUtf8(e.what()));
                }
            },
            u"C:\\Windows",
        };
    }
    TfmMain& Start() {
        main = std::make_unique<TfmMain>(Services());
        return *main;
    }

    // A USB drive whose root is a folder of its own; `config` is the text of its velmora.conf.
    TempFolder& Plug(char16_t letter, const std::string& config, const std::u16string& label = u"BACKUP") {
        auto& root = roots[letter];
        if (!root) root = std::make_unique<TempFolder>();
        if (!config.empty()) WriteBytes(root->path() / "velmora.conf", config);
        drives.Plug(letter, root->Path(), label, 16'000'000'000);
        sim.AddFolder(std::u16string(1, letter) + u":\\", TAcl{});
        return *root;
    }

    TApplicationSettings StoredSettings() {
        TApplicationSettings settings(appData.Path() + u"\\dockvane\\Settings.ini");
        settings.Load();
        return settings;
    }
    Lines Log(const std::u16string& file) {
        Lines records;
        if (const auto lines = fs::ReadTextLines(file)) {
            for (std::size_t i = 1; i < lines->size(); ++i) {
                const auto record = ParseLogLine((*lines)[i]);
                records.push_back(record->Title + u"|" + record->Description);
            }
        }
        return records;
    }
    Lines AppLog() { return Log(temp.File(u"Velmora.log")); }
    Lines DriveLog(char16_t letter) { return Log(roots[letter]->File(u"velmora-activity.log")); }
    bool WaitFor(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return done();
    }
    Lines WaitForDriveLog(char16_t letter, std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (DriveLog(letter).size() < count && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return DriveLog(letter);
    }
    bool Granted(char16_t letter, const std::u16string& account) {
        const auto* found = sim.FindAccount(account);
        const auto& folder = sim.Folders[std::u16string(1, letter) + u":\\"];
        if (!found || !folder.Dacl) return false;
        for (const auto& ace : folder.Dacl->Aces) {
            if (ace.Sid() == found->Sid) return true;
        }
        return false;
    }

    TempFolder temp;
    testing::ScopedAppLogFolder appLog{temp.Path()};
    TempFolder appData;
    // A person's own local application-data folder, where earlier versions kept the settings.
    TempFolder userAppData;
    std::map<char16_t, std::unique_ptr<TempFolder>> roots;
    SharesThatWatchTheFlags sim;
    TSimDrives drives;
    testing::RecordingView view;
    // The settings window's view: the recording one, unless a test puts the window's logic there.
    ISettingsView* settingsView = &view;
    testing::ManualClock clock;
    testing::SimWatcher watcher;
    testing::ScriptedEventLog eventLog;
    testing::SimSystem system;
    testing::SimServices services;
    testing::RecordingWeb web;
    std::shared_ptr<PingRequests> pingRequests = std::make_shared<PingRequests>();
    int workers = 0;
    // Workers kept to be run by the test, in the order it chooses, as threads would end.
    bool deferWorkers = false;
    std::vector<std::function<void()>> deferred;
    int volumeObservers = 0;
    // The platform cannot make the volume observer.
    bool noObserver = false;
    Lines errors;
    std::unique_ptr<TfmMain> main;
};

const std::string kBackupConfig =
    "[Share]\r\nShareName=BACKUP\r\nShareUserName=extdisk_backup\r\nDescription=Nightly\r\nAutoRemove=True\r\n"
    "PingURL=srv/started\r\nPingURL=srv/second\r\n";

// --- Start-up ---

TEST_F(ControllerTest, FirstStartCreatesSettingsAndTheMasterAccount) {
    TfmMain& app = Start();
    EXPECT_TRUE(errors.empty()) << ToUtf8(errors.front());
    EXPECT_FALSE(app.Initializing());

    const TApplicationSettings stored = StoredSettings();
    ASSERT_EQ(stored.FPasswordSalt.size(), 32u);
    EXPECT_TRUE(std::all_of(stored.FPasswordSalt.begin(), stored.FPasswordSalt.end(),
                            [](char16_t c) { return c >= u'0' && c <= u'9'; }));
    const auto* master = sim.FindAccount(u"dockvane");
    ASSERT_NE(master, nullptr);
    EXPECT_EQ(master->Info.Password, app.UserManager().MakePassword(stored.FPasswordSalt));
    EXPECT_EQ(master->Info.Comment, u"Velmora User");

    EXPECT_EQ(AppLog().front(), u" Start| Dockvane\u2122");
    EXPECT_EQ(view.hostCaption, u"Host: OFFICE (\\\\10.0.0.7)");
    EXPECT_FALSE(view.domainItemVisible);
    EXPECT_TRUE(view.renewEnabled);
    EXPECT_EQ(view.addCaption, u"Add:   [Connect External Drive first]");
    EXPECT_EQ(view.soundFolder, u"C:\\Windows\\Media");
    EXPECT_EQ(clock.intervals[TTimer::NotifyUsbDrive], 7500u);
    EXPECT_EQ(view.autostartChecked, true);
    EXPECT_EQ(view.autoPlaySelection, 2);
    EXPECT_EQ(system.registry[u"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\NoDriveTypeAutoRun"],
              u"145");
    EXPECT_EQ(view.trayIndex, 2);
    EXPECT_TRUE(system.programs.empty());  // start-on-logon is not rewritten at start-up
}

TEST_F(ControllerTest, StoredSaltIsKeptOnlyWhileItsAccountExists) {
    Start();
    const std::u16string firstSalt = StoredSettings().FPasswordSalt;
    const std::u16string firstPassword = sim.FindAccount(u"dockvane")->Info.Password;
    main.reset();

    Start();  // salt and account both there: untouched
    EXPECT_EQ(StoredSettings().FPasswordSalt, firstSalt);
    EXPECT_EQ(sim.FindAccount(u"dockvane")->Info.Password, firstPassword);
    main.reset();

    ASSERT_TRUE(sim.UserDel(u"dockvane").ok());
    Start();  // the account is gone: a new salt replaces the stored one
    const std::u16string newSalt = StoredSettings().FPasswordSalt;
    EXPECT_NE(newSalt, firstSalt);
    EXPECT_EQ(sim.FindAccount(u"dockvane")->Info.Password, main->UserManager().MakePassword(newSalt));
}

TEST_F(ControllerTest, DomainMembersFirstStartAsksForTheDomainAccountOnce) {
    sim.JoinStatus = 3;  // NetSetupDomainName
    Plug(u'E', kBackupConfig);
    view.duringDriveDialog = nullptr;
    Start();
    EXPECT_EQ(view.domainDialogs, 1);
    EXPECT_TRUE(view.domainItemVisible);
    EXPECT_EQ(StoredSettings().FIsInDomain, 1);
    main.reset();

    Start();
    EXPECT_EQ(view.domainDialogs, 1);
    main.reset();

    sim.JoinStatus = 2;  // left the domain: the mode stays
    Start();
    EXPECT_EQ(StoredSettings().FIsInDomain, 1);
    EXPECT_FALSE(view.domainItemVisible);
}

TEST_F(ControllerTest, SettingsOfAnEarlierVersionAreTakenOverWithTheirSalt) {
    TUserInfo1 master;
    master.Name = u"dockvane";
    master.Password = DerivePassword(u"earlier-salt");
    master.Comment = u"Velmora User";
    ASSERT_TRUE(sim.UserAdd1(master).ok());
    std::filesystem::create_directory(userAppData.path() / "Velmora");
    const std::string earlier = "[General]\r\n RegistrationCode=earlier-salt\r\nAutoPlay=1\r\nAutoStart=False\r\n";
    WriteBytes(userAppData.path() / "Velmora" / "Settings.ini", earlier);
    Start();
    EXPECT_EQ(ReadBytes(userAppData.path() / "Velmora" / "Settings.ini"), earlier);  // the user's file stays
    EXPECT_EQ(StoredSettings().FPasswordSalt, u"earlier-salt");
    EXPECT_EQ(sim.FindAccount(u"dockvane")->Info.Password, DerivePassword(u"earlier-salt"));
    EXPECT_EQ(view.autoPlaySelection, 1);
    EXPECT_EQ(view.autostartChecked, false);
    EXPECT_EQ(system.registry[u"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\NoDriveTypeAutoRun"],
              u"255");
    const Lines log = AppLog();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], u" Start| Dockvane\u2122");
    EXPECT_EQ(log[1], u" Settings| taken over from " + userAppData.Path() + u"\\Velmora\\Settings.ini");

    // Later starts keep the machine's own file, whatever the user's says.
    main.reset();
    WriteBytes(userAppData.path() / "Velmora" / "Settings.ini", "[General]\r\n RegistrationCode=later\r\n");
    Start();
    EXPECT_EQ(StoredSettings().FPasswordSalt, u"earlier-salt");
}

// --- A start-up step that fails ---

// The start-up steps that can fail, each made to fail as it would on a real computer.
enum class TStep {
    AppLog,
    ReadSettings,
    DomainDialog,
    SaveSettings,
    DeleteMaster,
    AskAboutMaster,
    MakeMaster,
    Observer
};

struct TStepCase {
    const char* name;
    TStep step;
    bool watching;           // the volume observer was made and initialised
    bool shared;             // the initial scan shared the plugged-in drive
    bool autoPlay;           // the AutoPlay mode was applied and the start-on-logon box set
    const char16_t* told;    // the start of the warning balloon that ends the start-up
    const char16_t* logged;  // the start of the error line in the application log; nullptr: it cannot be written
    std::size_t reported;    // errors that reached the central error handler
    bool triedAgain;         // the next drive arrival tries the step again
};

void PrintTo(const TStepCase& c, std::ostream* out) {
    *out << c.name;
}

class StartUpStepTest : public ControllerTest, public ::testing::WithParamInterface<TStepCase> {
protected:
    std::filesystem::path SettingsFolder() { return appData.path() / "dockvane"; }

    void Break(TStep step) {
        switch (step) {
            case TStep::AppLog:
                // Exists, and cannot be opened for reading.
                std::filesystem::create_directory(temp.path() / "Velmora.log");
                break;
            case TStep::ReadSettings:
                std::filesystem::create_directories(SettingsFolder());
                WriteBytes(SettingsFolder() / "Settings.ini", kUnreadableSettings);
                break;
            case TStep::DomainDialog:
                sim.JoinStatus = 3;  // NetSetupDomainName
                view.duringDomainDialog = [] { throw EIniFileException(u"Unable to write to C:\\dialog.ini"); };
                break;
            case TStep::SaveSettings:
                // The first file of the replacement cannot be made.
                std::filesystem::create_directories(SettingsFolder() / "Settings.ini.dvpart");
                break;
            case TStep::DeleteMaster: sim.Failures["UserDel"] = TOsStatus::Net(5); break;
            case TStep::AskAboutMaster: sim.Failures["UserGetInfo0"] = TOsStatus::Net(5); break;
            // The local password policy wants longer passwords than the master password.
            case TStep::MakeMaster: sim.MinPasswordLength = 14; break;
            case TStep::Observer: noObserver = true; break;
        }
    }
    void Repair(TStep step) {
        switch (step) {
            case TStep::AppLog: std::filesystem::remove(temp.path() / "Velmora.log"); break;
            case TStep::ReadSettings: WriteBytes(SettingsFolder() / "Settings.ini", kReadableSettings); break;
            case TStep::DomainDialog: view.duringDomainDialog = nullptr; break;
            case TStep::SaveSettings: std::filesystem::remove(SettingsFolder() / "Settings.ini.dvpart"); break;
            case TStep::DeleteMaster: sim.Failures.erase("UserDel"); break;
            case TStep::AskAboutMaster: sim.Failures.erase("UserGetInfo0"); break;
            case TStep::MakeMaster: sim.MinPasswordLength = 0; break;
            case TStep::Observer: noObserver = false; break;
        }
    }

    static constexpr const char* kUnreadableSettings = "[General]\r\nAutoPlay=often\r\n";
    static constexpr const char* kReadableSettings = "[General]\r\nAutoPlay=1\r\n";
    const std::u16string autoRun =
        u"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\NoDriveTypeAutoRun";
};

// A drive that is shared to the master account.
const std::string kMasterAccountConfig = "[Share]\r\nShareName=BACKUP\r\n";

TEST_P(StartUpStepTest, LaterStepsStillRunAndTheFailureIsTold) {
    const TStepCase& c = GetParam();
    Plug(u'E', kMasterAccountConfig);
    Break(c.step);
    TfmMain& app = Start();

    EXPECT_EQ(volumeObservers == 1, c.watching);
    EXPECT_EQ(sim.Shares.count(u"BACKUP"), c.shared ? 1u : 0u);
    EXPECT_EQ(app.NasManager().NasCount(), c.shared ? 1 : 0);
    EXPECT_FALSE(app.Initializing());
    EXPECT_EQ(clock.intervals[TTimer::NotifyUsbDrive], 7500u);
    EXPECT_EQ(system.registry.count(autoRun), c.autoPlay ? 1u : 0u);
    EXPECT_EQ(view.autoPlaySelection.has_value(), c.autoPlay);
    EXPECT_EQ(view.autostartChecked.has_value(), c.autoPlay);
    EXPECT_EQ(errors.size(), c.reported);
    // Told once, in a balloon rather than a box: the last one of the start-up.
    EXPECT_TRUE(view.messages.empty()) << ToUtf8(view.messages.front().text);
    ASSERT_FALSE(view.balloons.empty());
    EXPECT_EQ(view.balloons.back().icon, TBalloonIcon::Warning);
    EXPECT_TRUE(view.balloons.back().text.starts_with(c.told)) << ToUtf8(view.balloons.back().text);
    if (c.logged) {
        const Lines log = AppLog();
        EXPECT_EQ(log.front(), u" Start| Dockvane\u2122");
        const std::u16string line = u" ERROR | " + std::u16string(c.logged);
        EXPECT_EQ(std::count_if(log.begin(), log.end(), [&](const auto& l) { return l.starts_with(line); }), 1)
            << ToUtf8(line);
    }
}

// The steps that a drive needs: the next arrival tries them again.
class StartUpRetryTest : public StartUpStepTest {};

TEST_P(StartUpRetryTest, NextArrivalTriesTheFailedStepAgain) {
    const TStepCase& c = GetParam();
    Plug(u'E', kMasterAccountConfig);
    Break(c.step);
    TfmMain& app = Start();
    Repair(c.step);
    errors.clear();

    app.VolumeArrival(u'E');
    EXPECT_TRUE(errors.empty()) << ToUtf8(errors.front());
    EXPECT_TRUE(view.messages.empty()) << ToUtf8(view.messages.front().text);
    EXPECT_EQ(sim.Shares.count(u"BACKUP"), 1u);
    EXPECT_TRUE(Granted(u'E', u"dockvane"));
    EXPECT_EQ(system.registry.count(autoRun), 1u);
    // The master password is the one the stored salt gives.
    const TApplicationSettings stored = StoredSettings();
    ASSERT_EQ(stored.FPasswordSalt.size(), 32u);
    ASSERT_NE(sim.FindAccount(u"dockvane"), nullptr);
    EXPECT_EQ(sim.FindAccount(u"dockvane")->Info.Password, app.UserManager().MakePassword(stored.FPasswordSalt));
    // Done once: the arrivals after it try nothing again.
    const int adds = sim.Calls["UserAdd1"];
    const std::size_t logged = AppLog().size();
    app.VolumeRemoval(u'E');
    app.VolumeArrival(u'E');
    EXPECT_EQ(sim.Calls["UserAdd1"], adds);
    const Lines log = AppLog();
    EXPECT_EQ(Lines(log.begin() + static_cast<std::ptrdiff_t>(logged), log.end()),
              (Lines{u" Detached | E:\\", u" Attached | E:\\"}));
}

const TStepCase kFailingSteps[] = {
    {"the application log cannot be opened", TStep::AppLog, true, false, true,
     u"The application log cannot be written: Cannot open file ", nullptr, 1, false},
    {"the settings cannot be read", TStep::ReadSettings, true, false, false,
     u"No drive is shared until the settings can be read: 'often' is not a valid integer value",
     u"No drive is shared until the settings can be read: 'often' is not a valid integer value", 0, true},
    {"the domain user dialog fails", TStep::DomainDialog, true, true, true,
     u"The domain account was not set: Unable to write to C:\\dialog.ini",
     u"The domain account was not set: Unable to write to C:\\dialog.ini", 0, false},
    {"the settings cannot be saved", TStep::SaveSettings, true, true, true,
     u"The settings cannot be saved: Unable to write to ", u"The settings cannot be saved: Unable to write to ", 0,
     true},
    {"the master account cannot be deleted", TStep::DeleteMaster, true, false, true,
     u"Drives that need the account dockvane are not shared until it can be made: System Error.  Code: 5. ",
     u"Drives that need the account dockvane are not shared until it can be made: System Error.  Code: 5. ", 0, true},
    {"the master account cannot be asked about", TStep::AskAboutMaster, true, false, true,
     u"Drives that need the account dockvane are not shared until it can be made: System Error.  Code: 5. ",
     u"Drives that need the account dockvane are not shared until it can be made: System Error.  Code: 5. ", 0, true},
    {"the master account is refused by the password policy", TStep::MakeMaster, true, false, true,
     u"Drives that need the account dockvane are not shared until it can be made: System Error.  Code: 2245. ",
     u"Drives that need the account dockvane are not shared until it can be made: System Error.  Code: 2245. ", 0,
     true},
    {"the volume observer cannot be made", TStep::Observer, false, true, true,
     u"Drives plugged in from now on are not shared: the USB monitor could not be started.",
     u"Failed to initialize USB monitor", 0, false},
};
INSTANTIATE_TEST_SUITE_P(EachStep, StartUpStepTest, ::testing::ValuesIn(kFailingSteps));

std::vector<TStepCase> StepsTriedAgain() {
    std::vector<TStepCase> steps;
    std::copy_if(std::begin(kFailingSteps), std::end(kFailingSteps), std::back_inserter(steps),
                 [](const TStepCase& c) { return c.triedAgain; });
    return steps;
}
INSTANTIATE_TEST_SUITE_P(StepsTriedAgain, StartUpRetryTest, ::testing::ValuesIn(StepsTriedAgain()));

TEST_F(StartUpStepTest, MasterAccountMissingKeepsOnlyTheDrivesThatNeedIt) {
    Break(TStep::MakeMaster);
    Plug(u'E', kMasterAccountConfig);
    TfmMain& app = Start();
    ASSERT_EQ(sim.FindAccount(u"dockvane"), nullptr);
    ASSERT_EQ(sim.Shares.count(u"BACKUP"), 0u);
    const std::u16string failure = u"System Error.  Code: 2245. ";
    auto countLines = [&](const std::u16string& start) {
        const Lines log = AppLog();
        return std::count_if(log.begin(), log.end(), [&](const auto& line) { return line.starts_with(start); });
    };
    EXPECT_EQ(countLines(u" ERROR | Drive E: not shared: the account dockvane is missing"), 1);

    // A drive whose own account exists goes to that account all the same; the master account is
    // tried again first, and fails again.
    sim.AddAccount(u"extdisk_own", TSid::Make(5, {21, 1, 2, 3, 1500}), TSidNameUse::User);
    Plug(u'F', "[Share]\r\nShareName=OWN\r\nShareUserName=extdisk_own\r\n");
    const int adds = sim.Calls["UserAdd1"];
    app.VolumeArrival(u'F');
    EXPECT_EQ(sim.Calls["UserAdd1"], adds + 1);
    EXPECT_TRUE(Granted(u'F', u"extdisk_own"));
    EXPECT_EQ(view.balloons.back().text, u"OWN now available for network");

    // One that needs the master account is not shared to a missing account: a balloon says why, and
    // no box.
    Plug(u'G', "[Share]\r\nShareName=GREEN\r\nShareUserName=extdisk_green\r\n");
    app.VolumeArrival(u'G');
    EXPECT_EQ(sim.Shares.count(u"GREEN"), 0u);
    EXPECT_EQ(sim.FindAccount(u"extdisk_green"), nullptr);  // not made without the master account
    EXPECT_TRUE(view.messages.empty()) << ToUtf8(view.messages.front().text);
    EXPECT_EQ(view.balloons.back().icon, TBalloonIcon::Warning);
    EXPECT_TRUE(view.balloons.back().text.starts_with(
        u"Drive G: is not shared: the account dockvane could not be made: " + failure))
        << ToUtf8(view.balloons.back().text);
    EXPECT_EQ(
        countLines(u" ERROR | Drives that need the account dockvane are not shared until it can be made: " + failure),
        3);  // the start-up and both arrivals
    EXPECT_EQ(countLines(u" ERROR | Drive G: not shared: the account dockvane is missing"), 1);

    // The policy lets it be made now: the next arrival makes it, and shares its drive to it.
    Repair(TStep::MakeMaster);
    app.VolumeArrival(u'G');
    ASSERT_NE(sim.FindAccount(u"dockvane"), nullptr);
    EXPECT_EQ(sim.FindAccount(u"dockvane")->Info.Password,
              app.UserManager().MakePassword(StoredSettings().FPasswordSalt));
    EXPECT_TRUE(Granted(u'G', u"dockvane"));
    EXPECT_EQ(view.balloons.back().text, u"GREEN now available for network");
    EXPECT_TRUE(errors.empty()) << ToUtf8(errors.front());
}

TEST_F(StartUpStepTest, ArrivalDuringTheSecondTryWaitsForIt) {
    // The settings could not be read at start-up; by the next arrival they can, but not be saved.
    Break(TStep::ReadSettings);
    Plug(u'E', kMasterAccountConfig);
    TfmMain& app = Start();
    Repair(TStep::ReadSettings);
    Break(TStep::SaveSettings);
    Plug(u'F', "[Share]\r\nShareName=FOLLOWER\r\n");

    // F arrives while the failed save is logged, before the master account has been made.
    testing::SimPump pump;
    SetPendingMessagesHook([&] { pump.Pump(); });
    pump.RunAt(1, [&] { app.VolumeArrival(u'F'); });
    app.VolumeArrival(u'E');
    SetPendingMessagesHook(nullptr);
    ASSERT_TRUE(pump.Fired());

    // F waited for the master account, and went to it like E.
    EXPECT_TRUE(view.messages.empty()) << ToUtf8(view.messages.front().text);
    EXPECT_TRUE(errors.empty()) << ToUtf8(errors.front());
    EXPECT_TRUE(Granted(u'E', u"dockvane"));
    EXPECT_TRUE(Granted(u'F', u"dockvane"));
}

TEST_F(StartUpStepTest, SettingsThatCannotBeReadAreNotWrittenOver) {
    Break(TStep::ReadSettings);
    TfmMain& app = Start();
    view.autostartChecked = false;
    app.OnSettingsOk();
    main.reset();
    EXPECT_EQ(testing::ReadBytes(SettingsFolder() / "Settings.ini"), kUnreadableSettings);
}

TEST_F(ControllerTest, StartUpScanGoesOnPastADriveThatFails) {
    const std::u16string autoRun =
        u"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\NoDriveTypeAutoRun";
    struct Case {
        const char* name;
        std::string config;     // drive E's
        bool blockReplacement;  // E's configuration can be read but not replaced
        std::size_t reported;   // errors that reached the central error handler
        std::size_t warnings;
    };
    const Case cases[] = {
        // Read-only or locked: a drive that cannot be written, stopped quietly.
        {"configuration that cannot be rewritten", "[Share]\r\nShareName=EAST\r\n", true, 0, 1},
        // UTF-16 of an odd number of bytes cannot be written back: an error escapes E's arrival.
        {"an error escapes the arrival", std::string("\xff\xfe[\0S\0]\0x", 9), false, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder& e = Plug(u'E', c.config);
        if (c.blockReplacement) std::filesystem::create_directory(e.path() / "velmora.conf.dvpart");
        Plug(u'F', "[Share]\r\nShareName=WEST\r\n");
        errors.clear();
        view.balloons.clear();
        view.messages.clear();
        system.registry.clear();
        std::filesystem::remove(temp.path() / "Velmora.log");

        TfmMain& app = Start();
        EXPECT_EQ(errors.size(), c.reported);
        EXPECT_TRUE(view.messages.empty()) << ToUtf8(view.messages.front().text);
        // The scan went on: F is shared, and the start-up ran to its end.
        EXPECT_EQ(app.NasManager().NasCount(), 1);
        EXPECT_EQ(sim.Shares.count(u"WEST"), 1u);
        EXPECT_EQ(sim.Shares.count(u"EAST"), 0u);
        EXPECT_EQ(system.registry[autoRun], u"145");
        EXPECT_FALSE(app.Initializing());

        std::vector<std::u16string> warnings;
        for (const auto& balloon : view.balloons) {
            if (balloon.icon == TBalloonIcon::Warning) warnings.push_back(balloon.text);
        }
        ASSERT_EQ(warnings.size(), c.warnings);
        if (c.warnings) {
            EXPECT_TRUE(warnings[0].starts_with(u"The configuration of drive E: cannot be written: "));
        }
        const Lines log = AppLog();
        const auto errorLines = std::count_if(log.begin(), log.end(), [](const auto& line) {
            return line.starts_with(u" ERROR | Drive E: not shared: ");
        });
        EXPECT_EQ(errorLines, c.blockReplacement ? 1 : 0);

        main.reset();
        drives.Unplug(u'E');
        drives.Unplug(u'F');
        sim.Shares.clear();
        std::filesystem::remove(e.path() / "velmora.conf.dvpart");
    }
}

// --- The road of one drive ---

TEST_F(ControllerTest, RoadOfOneDriveFromPlugInToEjection) {
    services.searchState = kServiceRunning;
    TempFolder& root = Plug(u'E', kBackupConfig);
    TfmMain& app = Start();
    ASSERT_TRUE(errors.empty()) << ToUtf8(errors.front());

    // Shared by the start-up scan.
    EXPECT_EQ(app.NasManager().NasCount(), 1);
    EXPECT_EQ(AppLog(), (Lines{u" Start| Dockvane\u2122", u" Attached | E:\\"}));
    EXPECT_EQ(fs::ReadTextLines(root.File(u"velmora.conf"))->front(), GeneratedFileHeader());
    EXPECT_EQ(sim.Shares[u"BACKUP"].Path, u"E:\\");
    ASSERT_NE(sim.FindAccount(u"extdisk_backup"), nullptr);
    EXPECT_TRUE(Granted(u'E', u"dockvane"));
    EXPECT_EQ(view.builtInSounds, (Lines{u"OnlineWav"}));
    EXPECT_EQ(view.trayIndex, 3);
    EXPECT_EQ(view.BalloonTexts(), (Lines{u"BACKUP now available for network"}));
    EXPECT_EQ(view.shellNotifications,
              (std::vector<std::pair<std::uint32_t, std::u16string>>{{0x200, u"E:\\"}, {0x205, u"E:\\"}}));
    EXPECT_TRUE(clock.enabled[TTimer::Poll]);
    EXPECT_EQ(app.PollTimerTag(), 1);
    EXPECT_EQ(watcher.Directories(), (Lines{u"E:\\"}));
    EXPECT_TRUE(watcher.active);
    EXPECT_EQ(services.requests, (Lines{u"stop"}));
    EXPECT_EQ(view.addCaption, u"Add:   [Connect External Drive first]");
    EXPECT_EQ(view.ejectSlots[0], std::make_pair(std::u16string(u"Eject: BACKUP (E:) - 15 Gb"), true));

    const Lines started = WaitForDriveLog(u'E', 5);
    EXPECT_EQ(started[0], u" OK, Started sharing | OFFICE (\\\\10.0.0.7) BACKUP");
    EXPECT_EQ(Lines(started.begin() + 1, started.end()),
              (Lines{u" OK, Ping Url | (srv/started)", u" OK, server said: | DONE", u" OK, Ping Url | (srv/second)",
                     u" OK, server said: | DONE"}));

    // The backup tool is done.
    WriteBytes(root.path() / "backup.done", "");
    clock.sleeps.clear();
    app.OnPollTimer();
    EXPECT_FALSE(std::filesystem::exists(root.path() / "backup.done"));
    EXPECT_EQ(view.BalloonTexts(),
              (Lines{u"BACKUP now available for network", u"Drive E \r\nunbound,  files traffic done",
                     u"NAS device 'BACKUP'\r\nSuccessfully disconected"}));
    EXPECT_EQ(clock.sleeps, (std::vector<std::uint32_t>{3333, 3000}));
    EXPECT_TRUE(sim.Shares.empty());
    EXPECT_EQ(sim.FindAccount(u"extdisk_backup"), nullptr);
    EXPECT_NE(sim.FindAccount(u"dockvane"), nullptr);
    EXPECT_EQ(view.builtInSounds, (Lines{u"OnlineWav", u"CompletedWav"}));
    EXPECT_EQ(view.trayIndex, 2);
    EXPECT_EQ(services.requests, (Lines{u"stop", u"start"}));
    EXPECT_EQ(drives.Drives.count(u'E'), 0u);  // ejected
    EXPECT_EQ(app.PollTimerTag(), 0);
    EXPECT_FALSE(clock.enabled[TTimer::Poll]);
    EXPECT_TRUE(watcher.Entries.empty());
    EXPECT_EQ(AppLog().back(), u" Detached | E:\\");

    const Lines ended = DriveLog(u'E');
    EXPECT_EQ(Lines(ended.end() - 2, ended.end()),
              (Lines{u" OK, Unbound | files traffic done", u" OK, Stopped sharing | OFFICE (\\\\10.0.0.7) BACKUP"}));

    // The system's removal notice finds nothing left to do.
    app.VolumeRemoval(u'E');
    EXPECT_EQ(services.requests, (Lines{u"stop", u"start", u"start"}));
    EXPECT_TRUE(errors.empty());
}

// Encryption is asked for only by a drive whose file sets it, before the account gets any right; a
// server that refuses it does not get the drive: nothing is shared in clear, and the user learns why.
TEST_F(ControllerTest, EncryptionIsAskedForOnlyWhereSetAndARefusalDoesNotShare) {
    const std::u16string refused =
        u"Drive E: was not shared: its configuration asks for encrypted network traffic, and Windows refused to "
        u"encrypt it. Clear \"Encrypt network traffic\" in its drive settings to share it unencrypted.";
    const struct {
        const char* name;
        std::string key;        // the line in E's file
        std::uint32_t unknown;  // share flags the server refuses
        int flagCalls;          // level-1005 calls
        std::uint32_t flags;    // the share's flags afterwards
        bool shared;
        TBalloonIcon icon;
        std::u16string balloon;
        Lines errorLines;  // the start of each error line
    } cases[] = {
        {"no key", "", 0, 0, 0, true, TBalloonIcon::Information, u"BACKUP now available for network", {}},
        {"False",
         "Encrypt=False\r\n",
         0,
         0,
         0,
         true,
         TBalloonIcon::Information,
         u"BACKUP now available for network",
         {}},
        {"True",
         "Encrypt=True\r\n",
         0,
         2,
         kShi1005FlagsEncryptData,
         true,
         TBalloonIcon::Information,
         u"BACKUP now available for network",
         {}},
        {"True, refused by the server",
         "Encrypt=True\r\n",
         kShi1005FlagsEncryptData,
         2,
         0,
         false,
         TBalloonIcon::Warning,
         refused,
         {u" ERROR | Class:TShareManager Method:ShareSetEncryption  Type:EOSErrorSystem Error.  Code: 87.",
          u" ERROR | Drive E: not shared: Windows refused to encrypt its network traffic"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Plug(u'E', "[Share]\r\nShareName=BACKUP\r\n" + c.key);
        sim.UnknownShareFlags = c.unknown;
        sim.Calls.clear();
        view.balloons.clear();
        std::filesystem::remove(temp.path() / "Velmora.log");
        // The share is open to nobody while its flags are asked for and set.
        bool grantedBeforeFlags = false;
        sim.beforeShareFlags = [&] {
            const auto share = sim.Shares.find(u"BACKUP");
            bool shareOpen = false;  // made with entries that allow nothing
            if (share != sim.Shares.end() && share->second.SecurityDescriptor.Dacl) {
                for (const auto& ace : share->second.SecurityDescriptor.Dacl->Aces) shareOpen |= ace.Mask != 0;
            }
            grantedBeforeFlags = grantedBeforeFlags || shareOpen || Granted(u'E', u"dockvane");
        };

        TfmMain& app = Start();
        EXPECT_TRUE(errors.empty()) << ToUtf8(errors.front());
        EXPECT_TRUE(view.messages.empty());
        EXPECT_FALSE(grantedBeforeFlags);
        EXPECT_EQ(app.NasManager().NasCount(), c.shared ? 1 : 0);
        EXPECT_EQ(sim.Shares.count(u"BACKUP"), c.shared ? 1u : 0u);
        EXPECT_EQ(Granted(u'E', u"dockvane"), c.shared);
        EXPECT_EQ(sim.Calls["ShareGetInfo1005"] + sim.Calls["ShareSetInfo1005"], c.flagCalls);
        EXPECT_EQ(sim.ShareFlags[u"BACKUP"], c.flags);
        ASSERT_EQ(view.balloons.size(), 1u);
        EXPECT_EQ(view.balloons[0].text, c.balloon);
        EXPECT_EQ(view.balloons[0].icon, c.icon);
        Lines errorLines;
        for (const auto& line : AppLog()) {
            if (line.starts_with(u" ERROR |")) errorLines.push_back(line);
        }
        ASSERT_EQ(errorLines.size(), c.errorLines.size());
        for (std::size_t i = 0; i < errorLines.size(); ++i) {
            EXPECT_TRUE(errorLines[i].starts_with(c.errorLines[i])) << ToUtf8(errorLines[i]);
        }

        main.reset();
        sim.beforeShareFlags = nullptr;
        drives.Unplug(u'E');
        sim.Shares.clear();
        sim.ShareFlags.clear();
    }
}

// --- Drive events ---

TEST_F(ControllerTest, TwoAutoRemoveDrivesCountInTheTag) {
    TempFolder& e = Plug(u'E', "[Share]\r\nShareName=EAST\r\nAutoRemove=True\r\n");
    TempFolder& f = Plug(u'F', "[Share]\r\nShareName=WEST\r\nAutoRemove=True\r\n");
    TfmMain& app = Start();
    EXPECT_EQ(app.PollTimerTag(), 2);

    WriteBytes(e.path() / "backup.done", "");
    WriteBytes(f.path() / "backup.done", "");
    app.OnPollTimer();  // only the first drive in registry order
    EXPECT_EQ(app.NasManager().NasCount(), 1);
    EXPECT_TRUE(std::filesystem::exists(f.path() / "backup.done"));
    EXPECT_EQ(app.PollTimerTag(), 1);
    EXPECT_TRUE(clock.enabled[TTimer::Poll]);  // on again before the handler returns
    EXPECT_EQ(clock.sleeps.back(), 200u);

    app.OnPollTimer();
    EXPECT_EQ(app.NasManager().NasCount(), 0);
    EXPECT_EQ(app.PollTimerTag(), 0);
    EXPECT_FALSE(clock.enabled[TTimer::Poll]);
}

TEST_F(ControllerTest, UnpluggedAutoRemoveDriveStopsPollingAndKeepsTheTag) {
    Plug(u'E', "[Share]\r\nShareName=EAST\r\nAutoRemove=True\r\n");
    TfmMain& app = Start();
    drives.Unplug(u'E');
    app.VolumeRemoval(u'E');
    EXPECT_EQ(app.PollTimerTag(), 1);
    EXPECT_FALSE(clock.enabled[TTimer::Poll]);
    EXPECT_EQ(view.trayIndex, 2);
}

TEST_F(ControllerTest, MarkerThatCannotBeDeletedWaitsForTheNextTick) {
    TempFolder& e = Plug(u'E', "[Share]\r\nShareName=EAST\r\nAutoRemove=True\r\n");
    TfmMain& app = Start();
    std::filesystem::create_directory(e.path() / "backup.done");  // not deletable as a file
    app.OnPollTimer();
    EXPECT_EQ(app.NasManager().NasCount(), 1);
    EXPECT_TRUE(clock.enabled[TTimer::Poll]);
}

TEST_F(ControllerTest, DriveWithoutConfigurationIsOfferedForAdding) {
    Plug(u'E', "", u"STICK");
    TfmMain& app = Start();
    EXPECT_EQ(app.NasManager().NasCount(), 0);
    EXPECT_EQ(view.addCaption, u"Add:  E:(15 Gb)");
    EXPECT_EQ(AppLog().back(), u" Attached | E:\\");  // the write test and the attach line all the same
}

TEST_F(ControllerTest, SecondArrivalOfASharedLetterChangesOnlyTheAddCaption) {
    Plug(u'E', "[Share]\r\nShareName=EAST\r\n");
    TfmMain& app = Start();
    const std::size_t balloons = view.balloons.size();
    const int shareAdds = sim.Calls["ShareAdd502"];
    Plug(u'F', "", u"OTHER");
    app.VolumeArrival(u'E');
    EXPECT_EQ(view.balloons.size(), balloons);
    EXPECT_EQ(sim.Calls["ShareAdd502"], shareAdds);
    EXPECT_EQ(view.addCaption, u"Add:  F:(15 Gb)");
}

// A drive leaves and another is shared while the search service is still on its way: however the
// workers' threads are scheduled, the service ends as the last request asked (here: stopped, since a
// drive is shared), not as the one whose thread happened to end last.
TEST_F(ControllerTest, SearchServiceEndsAsTheLastRequestAskedWhateverWorkerEndsLast) {
    services.searchState = kServiceRunning;
    Plug(u'E', "[Share]\r\nShareName=EAST\r\n");
    TfmMain& app = Start();
    ASSERT_EQ(services.requests, (Lines{u"stop"}));
    services.requests.clear();

    deferWorkers = true;
    app.VolumeRemoval(u'E');  // the last drive left: the service may run again
    Plug(u'F', "[Share]\r\nShareName=WEST\r\n");
    app.VolumeArrival(u'F');  // shared: it is to be stopped
    ASSERT_EQ(app.NasManager().NasCount(), 1);
    // The later worker's thread ends first.
    for (auto worker = deferred.rbegin(); worker != deferred.rend(); ++worker) (*worker)();
    EXPECT_EQ(services.searchState, kServiceStopped);
    EXPECT_EQ(services.requests.back(), u"stop");
}

TEST_F(ControllerTest, SearchServiceIsLeftAloneWhenItWasStoppedAtStart) {
    Plug(u'E', "[Share]\r\nShareName=EAST\r\n");
    TfmMain& app = Start();
    app.VolumeRemoval(u'E');
    EXPECT_TRUE(services.requests.empty());
    EXPECT_EQ(workers, 0);
}

TEST_F(ControllerTest, AutoPlayDialogOnlyForUnconfiguredDrivesInModeOne) {
    struct Case {
        const char* name;
        int mode;
        bool configured;
        bool shown;
        std::u16string label = u"PHOTOS";
        std::u16string caption = u"PHOTOS (G:)";
    };
    const Case cases[] = {
        {"mode 1, no configuration", 1, false, true},
        {"mode 1, configured", 1, true, false},
        {"mode 0", 0, false, false},
        {"mode 2", 2, false, false},
        {"control characters in the label", 1, false, true, u"PHO\r\nTOS\x01", u"PHO\\r\\nTOS\\x01 (G:)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TfmMain& app = Start();
        app.ApplicationSettings().FAutoPlay = c.mode;
        view.autoPlayDialogs.clear();
        Plug(u'G', c.configured ? "[Share]\r\nShareName=G\r\n" : "", c.label);
        app.VolumeAutoPlay(u'G');
        EXPECT_EQ(view.autoPlayDialogs.size(), c.shown ? 1u : 0u);
        if (c.shown) {
            EXPECT_EQ(view.autoPlayDialogs[0].second, c.caption);
        }
        drives.Unplug(u'G');
        app.VolumeAutoPlay(u'G');  // a removed drive never shows it
        EXPECT_EQ(view.autoPlayDialogs.size(), c.shown ? 1u : 0u);
        std::filesystem::remove(roots[u'G']->path() / "velmora.conf");
        main.reset();
    }
}

TEST_F(ControllerTest, FileActivityTurnsTheIconRedUntilTheTimerAfterTheSecondChange) {
    Plug(u'E', "[Share]\r\nShareName=EAST\r\n");
    TfmMain& app = Start();
    ASSERT_EQ(view.trayIndex, 3);
    watcher.OnChange(u"E:\\");
    EXPECT_EQ(view.trayIndex, 4);
    EXPECT_FALSE(clock.enabled[TTimer::NotifyUsbDrive]);
    watcher.OnChange(u"E:\\");
    EXPECT_TRUE(clock.enabled[TTimer::NotifyUsbDrive]);
    app.OnActivityTimer();
    EXPECT_EQ(view.trayIndex, 3);
    EXPECT_FALSE(clock.enabled[TTimer::NotifyUsbDrive]);
    app.OnActivityTimer();  // nothing to do
    EXPECT_EQ(view.trayIndex, 3);
}

TEST_F(ControllerTest, WatcherDropsARootThatVanishedAndWatchesTheRest) {
    Plug(u'E', "[Share]\r\nShareName=EAST\r\n");
    Plug(u'F', "[Share]\r\nShareName=WEST\r\n");
    TfmMain& app = Start();
    ASSERT_EQ(watcher.Directories(), (Lines{u"E:\\", u"F:\\"}));
    // F leaves; its removal notice has not come yet when the next drive arrives.
    drives.Unplug(u'F');
    Plug(u'G', "[Share]\r\nShareName=GAMMA\r\n");
    app.Guarded([&] { app.VolumeArrival(u'G'); });
    EXPECT_TRUE(errors.empty()) << ToUtf8(errors.front());
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(watcher.Directories(), (Lines{u"E:\\", u"G:\\"}));
    EXPECT_TRUE(watcher.active);

    // A watcher that fails for another reason still says so.
    for (int i = 0; i < 64; ++i) watcher.Entries.push_back({u"E:\\", true, 0x18});
    app.Guarded([&] { app.VolumeRemoval(u'G'); });
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(app.NasManager().NasCount(), 2);
}

TEST_F(ControllerTest, PollingGoesOnWhileADriveWaitsForItsMarker) {
    Plug(u'E', "[Share]\r\nShareName=EAST\r\nAutoRemove=True\r\n");
    Plug(u'F', "[Share]\r\nShareName=WEST\r\n");
    Plug(u'G', "", u"STICK");
    TfmMain& app = Start();
    ASSERT_TRUE(clock.enabled[TTimer::Poll]);
    struct Step {
        char16_t leaves;
        bool polling;
    };
    // A stick never shared, then a drive without auto-remove, then the one that waits for its marker.
    const Step steps[] = {{u'G', true}, {u'F', true}, {u'E', false}};
    for (const auto& step : steps) {
        drives.Unplug(step.leaves);
        app.VolumeRemoval(step.leaves);
        EXPECT_EQ(clock.enabled[TTimer::Poll], step.polling) << static_cast<char>(step.leaves);
        EXPECT_EQ(app.PollTimerTag(), 1);  // only an automatic removal counts down
    }
}

TEST_F(ControllerTest, SoundsByTheirSettings) {
    struct Case {
        std::u16string value;
        Lines files, builtIn;
    };
    const Case cases[] = {
        {u"Defaut backup available sound", {}, {u"OnlineWav"}},
        {u"Defaut backup done sound", {}, {u"CompletedWav"}},
        {u"Silent (no sound)", {}, {}},
        {u"Select backup available sound file", {}, {}},
        {u"", {}, {}},
        {u"C:\\Media\\ding.wav", {u"C:\\Media\\ding.wav"}, {}},
        {u"C:\\Media\\DING.WAV", {u"C:\\Media\\DING.WAV"}, {}},
        {u"C:\\Media.wav\\ding", {}, {}},
    };
    TfmMain& app = Start();
    for (const auto& c : cases) {
        view.soundFiles.clear();
        view.builtInSounds.clear();
        app.PlayNotifySound(c.value);
        EXPECT_EQ(view.soundFiles, c.files) << ToUtf8(c.value);
        EXPECT_EQ(view.builtInSounds, c.builtIn) << ToUtf8(c.value);
    }
}

// --- Menus and commands ---

TEST_F(ControllerTest, MenusFollowTheRegistry) {
    Plug(u'E', "[Share]\r\nShareName=backup\r\n", u"BACKUP");
    Plug(u'F', "[Share]\r\nShareName=photos\r\n", u"PHOTOS");
    TfmMain& app = Start();
    EXPECT_EQ(view.modifySlots[0],
              std::make_pair(std::u16string(u"Modify: BACKUP (E:) - 15 Gb | Sharing@ \\\\OFFICE\\backup"), true));
    EXPECT_EQ(view.modifySlots[1].second, true);
    EXPECT_EQ(view.ejectSlots[1], std::make_pair(std::u16string(u"Eject: PHOTOS (F:) - 15 Gb"), true));
    for (int slot = 2; slot < kMenuSlots; ++slot) {
        EXPECT_FALSE(view.modifySlots[slot].second);
        EXPECT_FALSE(view.ejectSlots[slot].second);
    }
    EXPECT_EQ(view.rightClickMenu, TPopupMenu::Eject);

    app.VolumeRemoval(u'E');
    app.VolumeRemoval(u'F');
    EXPECT_FALSE(view.modifySlots[0].second);
    EXPECT_EQ(view.rightClickMenu, TPopupMenu::Tray);
}

TEST_F(ControllerTest, AddCommandExplainsWhyThereIsNothingToAdd) {
    TfmMain& app = Start();
    app.OnAddItem();
    Plug(u'E', "[Share]\r\nShareName=EAST\r\n");
    app.VolumeArrival(u'E');
    app.OnAddItem();
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[0].text, u"No USB storage device present. Add device first.");
    EXPECT_EQ(view.messages[1].text, u"Nothing to add. Please connect an (extra) USB drive first");
    EXPECT_TRUE(view.driveDialogs.empty());
}

TEST_F(ControllerTest, AddCommandBringsTheInactiveConfigurationBack) {
    TempFolder& root = Plug(u'E', "");
    WriteBytes(root.path() / "velmora.conf.inactive", "[Share]\r\nShareName=BACK\r\n");
    TfmMain& app = Start();
    view.driveDialogAnswers.push_back(TDriveSettingsResult{u"E", u""});
    app.OnAddItem();
    EXPECT_EQ(view.driveDialogs.at(0).first, mAdd);
    EXPECT_FALSE(std::filesystem::exists(root.path() / "velmora.conf.inactive"));
    EXPECT_EQ(app.NasManager().NasCount(), 1);

    // Both files: the inactive one goes.
    app.VolumeRemoval(u'E');
    WriteBytes(root.path() / "velmora.conf.inactive", "[Share]\r\nShareName=OLD\r\n");
    view.driveDialogAnswers.push_back(TDriveSettingsResult{u"E", u""});
    app.OnAddItem();
    EXPECT_FALSE(std::filesystem::exists(root.path() / "velmora.conf.inactive"));
    EXPECT_EQ(app.NasManager().GetNasShareNamesList(), (Lines{u"BACK"}));
}

TEST_F(ControllerTest, DisableMovesTheConfigurationAsideWithTheTwinThatStandsInForIt) {
    // A replacement cut short leaves "velmora.conf.dvnew": alone it is the configuration, beside the
    // file a stale copy. Either way nothing may bring the disabled configuration back.
    const struct {
        const char* name;
        bool file;
        bool twin;
    } cases[] = {{"file", true, false}, {"twin alone", false, true}, {"file and stale twin", true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder& root = Plug(u'E', "[Share]\r\nShareName=EAST\r\n");
        TfmMain& app = Start();
        ASSERT_EQ(app.NasManager().GetNasShareNamesList(), (Lines{u"EAST"}));
        if (!c.file) std::filesystem::remove(root.path() / "velmora.conf");
        if (c.twin) WriteBytes(root.path() / "velmora.conf.dvnew", "[Share]\r\nShareName=EAST\r\n");

        app.RemoveNASDrive(u'E');
        EXPECT_EQ(app.NasManager().NasCount(), 0);
        EXPECT_FALSE(std::filesystem::exists(root.path() / "velmora.conf"));
        EXPECT_FALSE(std::filesystem::exists(root.path() / "velmora.conf.dvnew"));
        app.VolumeArrival(u'E');
        EXPECT_EQ(app.NasManager().NasCount(), 0);

        view.driveDialogAnswers.push_back(TDriveSettingsResult{u"E", u""});
        app.OnAddItem();
        EXPECT_EQ(app.NasManager().GetNasShareNamesList(), (Lines{u"EAST"}));
        main.reset();
        drives.Unplug(u'E');
        roots.erase(u'E');
        sim.Shares.clear();
    }
}

TEST_F(ControllerTest, DialogsExistAtMostOnce) {
    Plug(u'E', "[Share]\r\nShareName=EAST\r\n");
    Plug(u'F', "");
    TfmMain& app = Start();
    view.duringDriveDialog = [&] { app.OnModifyItem(0); };
    app.OnAddItem();
    EXPECT_EQ(view.driveDialogs.size(), 1u);  // the modify command did nothing meanwhile

    view.duringDriveDialog = nullptr;
    view.driveDialogAnswers.push_back(TDriveSettingsResult{u"E", u"NEWNAME"});
    app.OnModifyItem(0);
    EXPECT_EQ(view.driveDialogs.back(), std::make_pair(mModify, std::u16string(u"E")));
    EXPECT_EQ(drives.Drives[u'E'].Label, u"NEWNAME");
    EXPECT_EQ(app.NasManager().NasCount(), 1);  // unshared and shared again
}

TEST_F(ControllerTest, RefusedEjectLeavesTheDrivePluggedInAndUnshared) {
    Plug(u'E', "[Share]\r\nShareName=EAST\r\n");
    TfmMain& app = Start();
    drives.EjectRefusals = 3;
    app.OnEjectItem(0);
    EXPECT_EQ(view.balloons.back().text, u"Unable to remove\r\nthe External Storage drive 'E'");
    EXPECT_EQ(view.balloons.back().icon, TBalloonIcon::Warning);
    EXPECT_EQ(app.NasManager().NasCount(), 0);
    EXPECT_EQ(drives.Drives.count(u'E'), 1u);
    EXPECT_FALSE(view.ejectSlots[0].second);
    EXPECT_TRUE(sim.Shares.empty());

    app.VolumeArrival(u'E');
    app.OnEjectItem(0);
    EXPECT_EQ(view.balloons.back().text, u"External Storage drive 'E'\r\n was successfully removed.");
    EXPECT_EQ(drives.Drives.count(u'E'), 0u);
}

// A refused eject whose refusal the system log names a process for tells who holds the drive, on
// both roads that eject; without such a refusal of this drive's device, everything stays as it was.
TEST_F(ControllerTest, RefusedEjectNamesTheProcessThatHoldsTheDrive) {
    enum class Road { Poll, EjectItem };
    enum class Log { Names, Nothing, OtherDevice };
    const struct {
        const char* name;
        Road road;
        Log log;
    } cases[] = {
        {"Eject item, the log names dllhost", Road::EjectItem, Log::Names},
        {"Eject item, nothing in the log", Road::EjectItem, Log::Nothing},
        {"Eject item, another device's refusal", Road::EjectItem, Log::OtherDevice},
        {"backup done, the log names dllhost", Road::Poll, Log::Names},
        {"backup done, nothing in the log", Road::Poll, Log::Nothing},
    };
    const std::u16string text = u"E: is in use by dllhost.exe (process 9176). Close it, then choose Eject again.";
    for (const auto& c : cases) {
        pingRequests = std::make_shared<PingRequests>();
        view.balloons.clear();
        view.messages.clear();
        TempFolder& root = Plug(u'E',
                                "[Share]\r\nShareName=EAST\r\nAutoRemove=True\r\n"
                                "DonePingURL=srv/done?r={result}&b={blocker}\r\n");
        TfmMain& app = Start();
        ASSERT_EQ(app.NasManager().NasCount(), 1) << c.name;
        drives.EjectRefusals = 3;
        const std::u16string device =
            c.log == Log::OtherDevice ? TSimDrives::DeviceInstanceOf(u'F') : TSimDrives::DeviceInstanceOf(u'E');
        eventLog.events.clear();
        if (c.log != Log::Nothing) {
            eventLog.events.push_back(RenderRefusalEvent(
                device, u"\\Device\\HarddiskVolume3\\Windows\\System32\\dllhost.exe", 9176, eventLog.now));
        }
        eventLog.lastSince.reset();
        const std::u16string logged = u" Eject refused | " + text;
        const auto count = [&](const Lines& log) { return std::count(log.begin(), log.end(), logged); };
        const auto appLogged = count(AppLog());
        const auto driveLogged = count(DriveLog(u'E'));
        if (c.road == Road::Poll) {
            WriteBytes(root.path() / "backup.done", "");
            app.OnPollTimer();
        } else {
            app.OnEjectItem(0);
        }
        EXPECT_TRUE(errors.empty()) << c.name;
        // Plugged in, unshared, out of the menus, as after every refused eject.
        EXPECT_EQ(drives.Drives.count(u'E'), 1u) << c.name;
        EXPECT_EQ(app.NasManager().NasCount(), 0) << c.name;
        EXPECT_TRUE(sim.Shares.empty()) << c.name;
        EXPECT_FALSE(view.ejectSlots[0].second) << c.name;
        // Only refusals from this eject on count.
        EXPECT_EQ(eventLog.lastSince, eventLog.now - kTicksPerSecond) << c.name;

        const bool named = c.log == Log::Names;
        const Lines balloons = view.BalloonTexts();
        if (named) {
            EXPECT_EQ(view.balloons.back().text, text) << c.name;
            EXPECT_EQ(view.balloons.back().icon, TBalloonIcon::Warning) << c.name;
            ASSERT_EQ(view.messages.size(), 1u) << c.name;
            EXPECT_EQ(view.messages[0].text, text) << c.name;
            EXPECT_EQ(view.messages[0].icon, TMessageIcon::Warning) << c.name;
        } else {
            EXPECT_EQ(std::count(balloons.begin(), balloons.end(), text), 0) << c.name;
            EXPECT_TRUE(view.messages.empty()) << c.name;
            // The tray's Eject says as before that it could not; the automatic removal says nothing.
            if (c.road == Road::EjectItem) {
                EXPECT_EQ(balloons.back(), u"Unable to remove\r\nthe External Storage drive 'E'") << c.name;
            } else {
                EXPECT_EQ(balloons.back(), u"NAS device 'EAST'\r\nSuccessfully disconected") << c.name;
            }
        }
        EXPECT_EQ(count(AppLog()) - appLogged, named ? 1 : 0) << c.name;
        EXPECT_EQ(count(DriveLog(u'E')) - driveLogged, named ? 1 : 0) << c.name;
        const std::u16string done =
            std::u16string(u"http://srv/done?r=eject-refused&b=") + (named ? u"dllhost.exe" : u"");
        EXPECT_TRUE(WaitFor([&] { return pingRequests->Containing(u"srv/done") == Lines{done}; })) << c.name;

        main.reset();
        drives.EjectRefusals = 0;
        drives.Unplug(u'E');
    }
}

TEST_F(ControllerTest, EjectOfADrivePulledDuringTheWaitEndsQuietly) {
    Plug(u'E', "[Share]\r\nShareName=EAST\r\n");
    TfmMain& app = Start();
    testing::SimPump pump;
    clock.pump = &pump;
    pump.RunAt(1, [&] {  // while the balloon is shown
        drives.Unplug(u'E');
        app.VolumeRemoval(u'E');
    });
    app.OnEjectItem(0);
    EXPECT_EQ(view.BalloonTexts().back(), u"NAS device 'EAST'\r\nSuccessfully disconected");
    EXPECT_EQ(app.NasManager().NasCount(), 0);
    EXPECT_TRUE(sim.Shares.empty());
    EXPECT_FALSE(view.ejectSlots[0].second);
    clock.pump = nullptr;
}

// After an automatic removal and after an Eject from the tray, the drive's done addresses are called
// with what became of it, from the record taken while the drive was there: its file is gone with it.
TEST_F(ControllerTest, EndOfABackupIsReportedToTheDoneAddresses) {
    enum class Road { Poll, EjectItem };
    enum class Meanwhile { Nothing, EjectRefused, DrivePulled };
    const struct {
        const char* name;
        Road road;
        Meanwhile meanwhile;
        std::u16string result;
        bool plugged;  // afterwards
    } cases[] = {
        {"backup done, ejected", Road::Poll, Meanwhile::Nothing, u"ejected", false},
        {"backup done, eject refused", Road::Poll, Meanwhile::EjectRefused, u"eject-refused", true},
        {"backup done, drive pulled during the wait", Road::Poll, Meanwhile::DrivePulled, u"unshared", false},
        {"Eject item, ejected", Road::EjectItem, Meanwhile::Nothing, u"ejected", false},
        {"Eject item, eject refused", Road::EjectItem, Meanwhile::EjectRefused, u"eject-refused", true},
        {"Eject item, drive pulled during the wait", Road::EjectItem, Meanwhile::DrivePulled, u"unshared", false},
    };
    const std::string config =
        "[Share]\r\nShareName=B&W #1\r\nAutoRemove=True\r\nPingURL=srv/shared\r\n"
        "DonePingURL=srv/done?r={result}&s={share}&d={drive}&h={host}&b={blocker}&x={other}\r\n"
        "DonePingURL=srv/done2/{result}\r\n";
    for (const auto& c : cases) {
        pingRequests = std::make_shared<PingRequests>();
        TempFolder& root = Plug(u'E', config);
        TfmMain& app = Start();
        ASSERT_EQ(app.NasManager().NasCount(), 1) << c.name;
        // Only the ping address is called while the drive is shared.
        ASSERT_TRUE(WaitFor([&] { return !pingRequests->Containing(u"srv/shared").empty(); })) << c.name;

        testing::SimPump pump;
        if (c.meanwhile == Meanwhile::EjectRefused) drives.EjectRefusals = 3;
        if (c.meanwhile == Meanwhile::DrivePulled) {
            clock.pump = &pump;
            pump.RunAt(1, [&] {  // while the balloon is shown
                drives.Unplug(u'E');
                app.VolumeRemoval(u'E');
            });
        }
        const std::size_t logged = AppLog().size();
        if (c.road == Road::Poll) {
            WriteBytes(root.path() / "backup.done", "");
            app.OnPollTimer();
        } else {
            app.OnEjectItem(0);
        }
        clock.pump = nullptr;
        EXPECT_TRUE(errors.empty()) << c.name;
        EXPECT_EQ(app.NasManager().NasCount(), 0) << c.name;
        EXPECT_TRUE(sim.Shares.empty()) << c.name;
        EXPECT_EQ(drives.Drives.count(u'E'), c.plugged ? 1u : 0u) << c.name;

        const std::u16string done = u"http://srv/done?r=" + c.result + u"&s=B%26W%20%231&d=E&h=OFFICE&b=&x={other}";
        const std::u16string done2 = u"http://srv/done2/" + c.result;
        // The worker's four lines come last; the controller's own lines may come before or between
        // its first ones, so wait for the last of them rather than for a count.
        const Lines outcomes{u" OK, Ping Url | (" + done.substr(7) + u")", u" OK, server said: | DONE",
                             u" OK, Ping Url | (" + done2.substr(7) + u")", u" OK, server said: | DONE"};
        const auto lastFour = [&] {
            const Lines log = AppLog();
            return log.size() >= logged + 4 ? Lines(log.end() - 4, log.end()) : Lines{};
        };
        WaitFor([&] { return lastFour() == outcomes; });
        EXPECT_EQ(pingRequests->Containing(u"srv/done"), (Lines{done, done2})) << c.name;
        EXPECT_EQ(lastFour(), outcomes) << c.name;

        main.reset();
        drives.EjectRefusals = 0;
        if (c.plugged) drives.Unplug(u'E');
    }
}

TEST_F(ControllerTest, PasswordRenewalChangesTheSaltEachTime) {
    // Accounts whose passwords the renewal must not touch: someone else's, and a drive's own.
    for (const char16_t* name : {u"john", u"extdisk_photos"}) {
        TUserInfo1 info;
        info.Name = name;
        info.Password = u"kept as it is";
        info.Comment = u"Velmora User";
        ASSERT_TRUE(sim.UserAdd1(info).ok());
    }
    TfmMain& app = Start();
    view.yesNoAnswers = {false, true, true};
    const std::u16string original = StoredSettings().FPasswordSalt;
    app.OnRenewPassword();
    EXPECT_EQ(StoredSettings().FPasswordSalt, original);
    app.OnRenewPassword();
    const std::u16string first = StoredSettings().FPasswordSalt;
    app.OnRenewPassword();
    const std::u16string second = StoredSettings().FPasswordSalt;
    EXPECT_NE(first, original);
    EXPECT_NE(second, first);
    EXPECT_EQ(sim.FindAccount(u"dockvane")->Info.Password, app.UserManager().MakePassword(second));
    EXPECT_EQ(sim.FindAccount(u"john")->Info.Password, u"kept as it is");
    EXPECT_EQ(sim.FindAccount(u"extdisk_photos")->Info.Password, u"kept as it is");
    EXPECT_EQ(sim.Calls["UserChangePassword"] + sim.Calls["UserSetPassword1003"], 2);
    EXPECT_EQ(view.questions, (Lines{u"Renew password?", u"Renew password?", u"Renew password?"}));
    EXPECT_EQ(view.BalloonTexts(), (Lines{u"Password successfully renewed.", u"Password successfully renewed."}));
}

TEST_F(ControllerTest, ExitKeepsSharesAndSavesTheSettings) {
    services.searchState = kServiceRunning;
    Plug(u'E', "[Share]\r\nShareName=EAST\r\n");
    TfmMain& app = Start();
    app.OnMainWindowClose();  // closing the window only hides it
    EXPECT_FALSE(view.quit);
    app.OnAutoPlayChange(0);
    app.OnExitItem();
    EXPECT_TRUE(view.quit);
    main.reset();
    EXPECT_EQ(sim.Shares.size(), 1u);
    EXPECT_EQ(services.requests, (Lines{u"stop"}));
    EXPECT_EQ(StoredSettings().FAutoPlay, 0);
}

TEST_F(ControllerTest, StartOnLogonFollowsTheBoxOnlyAfterStartUp) {
    TfmMain& app = Start();
    app.OnAutostartClick(false);
    EXPECT_FALSE(app.ApplicationSettings().FAutoStart);
    EXPECT_FALSE(system.programs.empty());
}

}  // namespace
}  // namespace dv

namespace dv {
namespace {

// --- The settings window ---

TEST_F(ControllerTest, SoundListsShowTheStoredChoices) {
    struct Case {
        const char* name;
        std::u16string stored;
        Lines entries;
        int selected;
    };
    const Case cases[] = {
        {"built-in",
         u"Defaut backup available sound",
         {u"Silent (no sound)", u"Defaut backup available sound", u"Select backup available sound file"},
         1},
        {"a file",
         u"C:\\Media\\ding.wav",
         {u"Silent (no sound)", u"Defaut backup available sound", u"C:\\Media\\ding.wav"},
         2},
        {"silent, other case",
         u"silent (NO sound)",
         {u"Silent (no sound)", u"Defaut backup available sound", u"silent (NO sound)"},
         0},
        {"empty",
         u"",
         {u"Silent (no sound)", u"Defaut backup available sound", u"Select backup available sound file"},
         0},
    };
    TfmMain& app = Start();
    for (const auto& c : cases) {
        app.ApplicationSettings().FSoundBackupAvailable = c.stored;
        app.OnSettingsItem();
        EXPECT_TRUE(view.settingsVisible);
        EXPECT_EQ(view.soundEntries[TSoundBox::Available], c.entries) << c.name;
        EXPECT_EQ(view.soundSelected[TSoundBox::Available], c.selected) << c.name;
        EXPECT_EQ(view.soundEntries[TSoundBox::Done][2], u"Select backup done sound file");
    }
}

TEST_F(ControllerTest, ChosenSoundFilesGoToTheFourthEntryAndOkStoresTheChoice) {
    TfmMain& app = Start();
    app.OnSettingsItem();
    const auto first = temp.File(u"first.wav");
    const auto second = temp.File(u"second.wav");
    WriteBytes(testing::ToFsPath(first), "RIFF");
    WriteBytes(testing::ToFsPath(second), "RIFF");

    view.SelectSound(TSoundBox::Available, 2);
    view.chosenFiles = {std::nullopt};  // cancelled: entry 2 stays
    app.OnAvailableSoundChange();
    EXPECT_EQ(view.soundSelected[TSoundBox::Available], 2);
    EXPECT_EQ(view.soundEntries[TSoundBox::Available].size(), 3u);

    view.chosenFiles = {first, second, temp.File(u"missing.wav")};
    for (int i = 0; i < 3; ++i) {
        view.SelectSound(TSoundBox::Available, 2);
        app.OnAvailableSoundChange();
    }
    EXPECT_EQ(view.soundEntries[TSoundBox::Available].size(), 4u);
    EXPECT_EQ(view.soundEntries[TSoundBox::Available][3], second);
    EXPECT_EQ(view.soundSelected[TSoundBox::Available], 2);  // the missing file is ignored
    view.SelectSound(TSoundBox::Available, 3);

    // The play button plays the unsaved choice.
    app.OnPlayAvailableSound();
    EXPECT_EQ(view.soundFiles, (Lines{second}));

    view.SelectSound(TSoundBox::Done, 0);
    view.autostartChecked = false;
    app.OnSettingsOk();
    EXPECT_FALSE(view.settingsVisible);
    const TApplicationSettings stored = StoredSettings();
    EXPECT_EQ(stored.FSoundBackupAvailable, second);
    EXPECT_EQ(stored.FSoundBackupDone, u"Silent (no sound)");
    EXPECT_FALSE(stored.FAutoStart);
}

TEST_F(ControllerTest, CancelDiscardsTheSoundsButNotTheImmediateChoices) {
    TfmMain& app = Start();
    app.OnSettingsItem();
    view.SelectSound(TSoundBox::Available, 0);
    app.OnAutostartClick(false);
    app.OnAutoPlayChange(1);
    app.OnSettingsCancel();
    EXPECT_FALSE(view.settingsVisible);
    EXPECT_FALSE(system.programs.empty());  // start-on-logon was applied at once
    EXPECT_EQ(StoredSettings().FSoundBackupAvailable, u"Defaut backup available sound");
    EXPECT_EQ(StoredSettings().FAutoPlay, 2);  // reaches the file with the next save
    app.OnExitItem();
    main.reset();
    EXPECT_EQ(StoredSettings().FAutoPlay, 1);
    EXPECT_FALSE(StoredSettings().FAutoStart);
}

}  // namespace
}  // namespace dv

namespace dv {
namespace {

// The settings window's logic between the user and the controller: what the controls hold is what
// the handlers get, and what the handlers change is what the controls show.
class ChooserWindow : public ISettingsWindow {
public:
    std::deque<std::optional<std::u16string>> answers;
    std::vector<std::u16string> folders;
    void Render(TSettingsControl) override {}
    void ShowCentred() override {}
    void Hide() override {}
    std::optional<std::u16string> ChooseFile(std::u16string_view, std::u16string_view folder) override {
        folders.emplace_back(folder);
        if (answers.empty()) return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

TEST_F(ControllerTest, SettingsWindowActionsReachTheControllerWithWhatTheControlsHold) {
    ChooserWindow window;
    TfmSettings form(window);
    settingsView = &form;
    TfmMain& app = Start();
    TSettingsControls& controls = form.Controls;
    const auto act = [&](int control, int code) { RunSettingsAction(app, SettingsActionOf(control, code), controls); };
    // Start-up sets the immediate choices.
    EXPECT_EQ(controls.cbAutoPlayUSBDisk.ItemIndex, 2);
    EXPECT_TRUE(controls.ckAutostart);

    app.OnSettingsItem();
    ASSERT_TRUE(form.Visible());
    EXPECT_EQ(controls.cboxBackupDoneSound.ItemIndex, 1);
    const auto first = temp.File(u"first.wav");
    const auto second = temp.File(u"second.wav");
    WriteBytes(testing::ToFsPath(first), "RIFF");
    WriteBytes(testing::ToFsPath(second), "RIFF");
    window.answers = {first, second};
    for (int i = 0; i < 2; ++i) {
        controls.cboxBackupDoneSound.Select(2);
        act(IDC_SETTINGS_SOUND_DONE, kSelectionChanged);
    }
    EXPECT_EQ(controls.cboxBackupDoneSound.Items.size(), 4u);
    EXPECT_EQ(controls.cboxBackupDoneSound.Text(), second);
    EXPECT_EQ(window.folders, (Lines{u"C:\\Windows\\Media", u"C:\\Windows\\Media"}));
    act(IDC_SETTINGS_PLAY_DONE, kButtonClicked);
    EXPECT_EQ(view.soundFiles, (Lines{second}));

    controls.ckAutostart = false;
    act(IDC_SETTINGS_AUTOSTART, kButtonClicked);
    EXPECT_FALSE(app.ApplicationSettings().FAutoStart);
    EXPECT_EQ(system.programs, (Lines{u"schtasks.exe /delete /tn Dockvane /F"}));
    controls.cbAutoPlayUSBDisk.Select(0);
    act(IDC_SETTINGS_AUTOPLAY, kSelectionChanged);
    EXPECT_EQ(app.ApplicationSettings().FAutoPlay, 0);

    // Enter away from the buttons: the sounds are not stored, the window hides.
    act(IDC_SETTINGS_CANCEL, kButtonClicked);
    EXPECT_FALSE(form.Visible());
    EXPECT_EQ(StoredSettings().FSoundBackupDone, u"Defaut backup done sound");

    // Opened again, the box is rebuilt from the settings; OK stores what it holds.
    app.OnSettingsItem();
    EXPECT_EQ(controls.cboxBackupDoneSound.Items.size(), 3u);
    controls.cboxBackupDoneSound.Select(0);
    act(IDC_SETTINGS_OK, kButtonClicked);
    EXPECT_FALSE(form.Visible());
    EXPECT_EQ(StoredSettings().FSoundBackupDone, u"Silent (no sound)");
    EXPECT_FALSE(StoredSettings().FAutoStart);
}

TEST_F(ControllerTest, HelpAndUpdateOpenTheProductPages) {
    TfmMain& app = Start();
    app.OnHelpItem();
    app.OnCheckForUpdates();
    ASSERT_EQ(web.opened.size(), 2u);
    EXPECT_TRUE(web.opened[0].ends_with(u"/help/dockvane/index.htm"));
    EXPECT_NE(web.opened[1].find(u"myapp=Dockvane&myver=1.0.0"), std::u16string::npos);
}

}  // namespace
}  // namespace dv

namespace dv {
namespace {

// --- Drives whose configuration file works against the computer ---

// What a drive's file asks for, and what the attach must come to.
struct HostileCase {
    const char* name;
    std::string config;
    bool shared = false;
    std::u16string message;  // the error box; none when empty
    std::u16string balloon;  // the warning balloon; none when empty
    std::u16string grantedTo;
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.name;
}

const std::u16string kChooseAccount = u".\n\rChoose another account for this drive in its drive settings.";
const std::u16string kChooseShareName = u".\n\rChoose another share name for this drive in its drive settings.";
const std::u16string kAccessNotInstalled =
    u"Access is not installed.\n\rPerhaps the current user does not have enough rights.";
const std::u16string kNamesNoShare = u"The configuration of drive E: names no share.";

const HostileCase kHostileCases[] = {
    {"OwnAccountIsAnExistingUser", "[Share]\r\nShareName=BACKUP\r\nShareUserName=john\r\n", true, u"", u"", u"john"},
    {"MasterAccountInCapitals", "[Share]\r\nShareName=BACKUP\r\nShareUserName=DOCKVANE\r\n", true, u"", u"",
     u"dockvane"},
    {"BuiltInAdministrator", "[Share]\r\nShareName=BACKUP\r\nShareUserName=Administrator\r\n", true, u"", u"",
     u"Administrator"},
    {"GuestAccount", "[Share]\r\nShareName=BACKUP\r\nShareUserName=Guest\r\n", false,
     u"Guest is the guest account, which anybody may use; Dockvane opens a drive only to one account or a small "
     u"group" +
         kChooseAccount,
     u"", u""},
    {"Everyone", "[Share]\r\nShareName=BACKUP\r\nShareUserName=Everyone\r\n", false,
     u"Everyone is a group that many people belong to; Dockvane opens a drive only to one account or a small group" +
         kChooseAccount,
     u"", u""},
    {"Users", "[Share]\r\nShareName=BACKUP\r\nShareUserName=Users\r\n", false,
     u"Users is a group that many people belong to; Dockvane opens a drive only to one account or a small group" +
         kChooseAccount,
     u"", u""},
    {"Administrators", "[Share]\r\nShareName=BACKUP\r\nShareUserName=Administrators\r\n", false,
     u"Administrators is a group; outside a domain Dockvane opens a drive only to one user account" + kChooseAccount,
     u"", u""},
    {"ShareNameOfAFolderElsewhere", "[Share]\r\nShareName=Users\r\n", false,
     u"The share name \"Users\" is already in use for C:\\Users" + kChooseShareName, u"", u""},
    {"AdministrativeShare", "[Share]\r\nShareName=c$\r\n", false,
     u"The share name \"c$\" is already in use for C:\\" + kChooseShareName, u"", u""},
    {"ShareWithoutAFolder", "[Share]\r\nShareName=IPC$\r\n", false,
     u"The share name \"IPC$\" is already in use" + kChooseShareName, u"", u""},
    {"ReservedCharacters", "[Share]\r\nShareName=back/up\r\n", false, kAccessNotInstalled, u"", u""},
    {"ControlCharacter", "[Share]\r\nShareName=back\x01up\r\n", false, kAccessNotInstalled, u"", u""},
    {"NameTooLong", "[Share]\r\nShareName=" + std::string(81, 'n') + "\r\n", false, kAccessNotInstalled, u"", u""},
    {"DescriptionTooLong", "[Share]\r\nShareName=BACKUP\r\nDescription=" + std::string(257, 'd') + "\r\n", false,
     kAccessNotInstalled, u"", u""},
    {"NoShareName", "[Share]\r\nShareUserName=john\r\nAutoRemove=True\r\n", false, u"", kNamesNoShare, u""},
    {"NoShareSection", "[Other]\r\nShareName=BACKUP\r\n", false, u"", kNamesNoShare, u""},
    {"Garbage", std::string("\x00\xff\xfe\x01[Share\x02\x7f\r\nShareName\x00=", 22) + "\x80\x81", false, u"",
     kNamesNoShare, u""},
};

class HostileDriveTest : public ControllerTest, public ::testing::WithParamInterface<HostileCase> {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        TUserInfo1 john;
        john.Name = u"john";
        john.Password = u"John's own password";
        ASSERT_TRUE(sim.UserAdd1(john).ok());
        // Shares that were there before Dockvane: one a user made, the administrative ones.
        TShareInfo502 users;
        users.NetName = u"Users";
        users.Path = u"C:\\Users";
        TAcl usersDacl;
        usersDacl.Aces = {TAce::Allowed(TSid::Make(5, {32, 545}), 0x1200A9)};
        users.SecurityDescriptor = {true, usersDacl};
        sim.Shares[u"USERS"] = users;
        TShareInfo502 admin;
        admin.NetName = u"C$";
        admin.Path = u"C:\\";
        sim.Shares[u"C$"] = admin;
        TShareInfo502 ipc;
        ipc.NetName = u"IPC$";
        ipc.Type = 3;  // STYPE_IPC
        sim.Shares[u"IPC$"] = ipc;
        foreignShares = sim.Shares;
    }

    // What must hold whatever a drive's file says.
    void ExpectNothingForeignTouched() {
        const auto* john = sim.FindAccount(u"john");
        ASSERT_NE(john, nullptr);
        EXPECT_EQ(john->Info.Password, u"John's own password");
        const auto* master = sim.FindAccount(u"dockvane");
        ASSERT_NE(master, nullptr);
        EXPECT_EQ(master->Info.Password, main->UserManager().MakePassword(StoredSettings().FPasswordSalt));
        for (const auto& [key, share] : foreignShares) {
            ASSERT_EQ(sim.Shares.count(key), 1u) << ToUtf8(key);
            EXPECT_EQ(sim.Shares[key], share) << ToUtf8(key);
        }
        // Nobody but one account gets a right: no broad group, no guest.
        const TSid broad[] = {EveryoneSid(), TSid::Make(5, {32, 545}), TSid::Make(5, {32, 546}), TSid::Make(5, {11}),
                              sim.FindAccount(u"Guest")->Sid};
        auto expectNoBroadRights = [&](const TSecurityDescriptor& descriptor, const std::u16string& where) {
            if (!descriptor.HasDacl()) return;
            for (const TAce& ace : descriptor.Dacl->Aces) {
                if (ace.Mask == 0) continue;
                for (const TSid& sid : broad)
                    EXPECT_NE(ace.Sid(), sid) << ToUtf8(where) << " " << ToUtf8(sid.ToString());
            }
        };
        for (const auto& [key, share] : sim.Shares) {
            if (!foreignShares.contains(key)) expectNoBroadRights(share.SecurityDescriptor, key);
        }
        expectNoBroadRights(sim.Folders[u"E:\\"], u"E:\\");
    }
    bool ShareAtDriveE() const {
        return std::any_of(sim.Shares.begin(), sim.Shares.end(),
                           [](const auto& share) { return EqualsIgnoreCase(share.second.Path, u"E:\\"); });
    }

    std::map<std::u16string, TShareInfo502> foreignShares;
};

TEST_P(HostileDriveTest, TouchesOnlyWhatDockvaneMade) {
    const HostileCase& c = GetParam();
    TfmMain& app = Start();
    ASSERT_TRUE(errors.empty()) << ToUtf8(errors.front());
    view.balloons.clear();
    TempFolder& root = Plug(u'E', c.config);

    app.Guarded([&] { app.VolumeArrival(u'E'); });
    EXPECT_TRUE(errors.empty()) << ToUtf8(errors.front());
    EXPECT_EQ(app.NasManager().NasCount(), c.shared ? 1 : 0);
    EXPECT_EQ(ShareAtDriveE(), c.shared);
    if (c.message.empty()) {
        EXPECT_TRUE(view.messages.empty()) << ToUtf8(view.messages.front().text);
    } else {
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.messages[0].text, c.message);
        EXPECT_EQ(view.messages[0].icon, TMessageIcon::Error);
    }
    std::vector<std::u16string> warnings;
    for (const auto& balloon : view.balloons) {
        if (balloon.icon == TBalloonIcon::Warning) warnings.push_back(balloon.text);
    }
    EXPECT_EQ(warnings, c.balloon.empty() ? Lines{} : Lines{c.balloon});
    if (!c.balloon.empty()) {
        // A file that names no share may be anything at all: it is read, never rewritten.
        EXPECT_EQ(testing::ReadBytes(root.path() / "velmora.conf"), c.config);
        EXPECT_EQ(sim.Calls["ShareAdd502"], 0);
    }
    if (c.shared) {
        EXPECT_TRUE(Granted(u'E', c.grantedTo)) << ToUtf8(c.grantedTo);
    }
    ExpectNothingForeignTouched();

    // The drive leaves.
    app.Guarded([&] { app.VolumeRemoval(u'E'); });
    EXPECT_TRUE(errors.empty()) << ToUtf8(errors.front());
    EXPECT_FALSE(ShareAtDriveE());
    ExpectNothingForeignTouched();
    EXPECT_NE(sim.FindAccount(u"Administrator"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Configurations, HostileDriveTest, ::testing::ValuesIn(kHostileCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dv
