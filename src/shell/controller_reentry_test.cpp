// Re-entry: every handler of drive events and every tray command lets pending messages through, and
// any other event may run there: in the logs, the waits, the dialogs and message boxes, the search
// service's waits, the host name, the write test, the eject requests and the directory watcher's
// restarts (a device notice is a sent message, and runs while a Stop waits for its worker). Each
// handler runs with each such event at each of its pumps in turn, on a fresh controller, and what
// must hold afterwards is checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "accounts/accounts_sim.h"
#include "drives/drives_sim.h"
#include "drives/eject_blocker.h"
#include "drives/volume_observer.h"
#include "logging/log_records_test.h"
#include "logging/logs.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "shell/controller.h"
#include "shell/controller_doubles_test.h"
#include "shell/drive_settings_host.h"
#include "testing/scoped_env.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

using testing::TempFolder;
using testing::WriteBytes;

// E and F: backup drives that leave by themselves once their backup is done; G: a stick without a
// configuration; H: a drive whose configuration was set aside (the add command brings it back).
const std::map<char16_t, std::string> kConfigs = {
    {u'E', "[Share]\r\nShareName=EAST\r\nShareUserName=extdisk_east\r\nAutoRemove=True\r\n"},
    {u'F', "[Share]\r\nShareName=WEST\r\nAutoRemove=True\r\n"},
    {u'G', ""},
    {u'H', ""},
};
constexpr char16_t kSubject = u'E';  // the drive the handlers and events are about
constexpr char16_t kOther = u'F';
constexpr char16_t kStick = u'G';
constexpr char16_t kSetAside = u'H';
const std::u16string kThree = u"EFG";

std::u16string Root(char16_t letter) {
    return std::u16string(1, letter) + u":\\";
}

// Shares and accounts, with a moment right after a share was added that a test can use.
class SharesWithAMoment : public TSimAccounts {
public:
    std::function<void()> afterShareAdd;
    TOsStatus ShareAdd502(const TShareInfo502& info) override {
        const TOsStatus status = TSimAccounts::ShareAdd502(info);
        if (afterShareAdd) std::exchange(afterShareAdd, nullptr)();
        return status;
    }
};

// Keeps the many small files of these tests in memory: each is flushed to the disk when written.
class InMemoryFiles {
public:
    InMemoryFiles() {
        if (std::filesystem::is_directory("/dev/shm")) tmpdir_.emplace("TMPDIR", "/dev/shm");
    }

private:
    std::optional<testing::ScopedEnv> tmpdir_;
};

// One run: a fresh controller that has shared E and F at its start.
class World {
public:
    World() {
        view.pump = &pump;
        clock.pump = &pump;
        system.pump = &pump;
        watcher.pump = &pump;
        // The system's own removal broadcasts may reach the windows while an eject request waits.
        drives.DuringEject = [this] { pump.Pump(); };
        SetPendingMessagesHook([this] { pump.Pump(); });
        // The system announces the removal of a drive it ejected.
        drives.OnEjected = [this](char16_t letter) { pump.Post([this, letter] { Notice(letter, false); }); };
        for (const auto& [letter, config] : kConfigs) {
            auto& root = roots[letter];
            root = std::make_unique<TempFolder>();
            if (!config.empty()) WriteBytes(root->path() / "velmora.conf", config);
            Plug(letter);
        }
        WriteBytes(roots[kSetAside]->path() / "velmora.conf.inactive", "[Share]\r\nShareName=HOME\r\n");
        main = std::make_unique<TfmMain>(Services());
        main->ApplicationSettings().FAutoPlay = 1;  // the AutoPlay dialog for drives without a configuration
    }
    ~World() {
        // As on Windows, where the window stops handing messages to the controller before it goes.
        watcher.pump = nullptr;
        main.reset();
        SetPendingMessagesHook(nullptr);
        for (const auto& [letter, config] : kConfigs) fs::MapDrive(letter, u"");
    }
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    void Plug(char16_t letter) {
        drives.Plug(letter, roots[letter]->Path(), u"DISK", 16'000'000'000);
        sim.AddFolder(Root(letter), TAcl{});
    }
    void Pull(char16_t letter) { drives.Unplug(letter); }
    bool Plugged(char16_t letter) const { return drives.Drives.count(letter) > 0; }

    // A device-change broadcast, delivered as the volume observer does: every AutoPlay event first,
    // then the arrivals or removals, in letter order; a handler that fails ends the delivery.
    void Broadcast(const std::u16string& letters, bool arrival) {
        main->Guarded([&] {
            for (const char16_t letter : letters) main->VolumeAutoPlay(letter);
            for (const char16_t letter : letters) {
                if (arrival) {
                    main->VolumeArrival(letter);
                } else {
                    main->VolumeRemoval(letter);
                }
            }
        });
    }
    void Notice(char16_t letter, bool arrival) { Broadcast(std::u16string(1, letter), arrival); }
    // The slot of the drive's tray menu entries; -1 when it has none.
    int SlotOf(char16_t letter) {
        for (int slot = 0; slot < main->NasManager().NasCount(); ++slot) {
            if (main->NasManager().GetNasByIndex(slot)->DriveName().front() == letter) return slot;
        }
        return -1;
    }
    void Marker(char16_t letter) {
        if (Plugged(letter)) WriteBytes(roots[letter]->path() / "backup.done", "");
    }

    TempFolder temp;
    testing::ScopedAppLogFolder appLog{temp.Path()};
    TempFolder appData;
    std::map<char16_t, std::unique_ptr<TempFolder>> roots;
    SharesWithAMoment sim;
    TSimDrives drives;
    testing::SimPump pump;
    testing::RecordingView view;
    testing::ManualClock clock;
    testing::SimWatcher watcher;
    testing::ScriptedEventLog eventLog;
    testing::SimSystem system;
    testing::SimServices services;
    testing::RecordingWeb web;
    std::vector<std::string> errors;
    std::unique_ptr<TfmMain> main;

private:
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
            view,
            view,
            view,
            clock,
            watcher,
            [] { return std::make_unique<TVolumeObserver>(); },
            [this] {
                (void)fs::MakeDirectory(appData.File(u"dockvane"));
                return GetSettingsFileName(appData.File(u"dockvane"), {});
            },
            [] { return std::unique_ptr<IHttpClient>(); },  // the pings call nobody here
            [](std::function<void()> worker) { worker(); },
            [this](std::exception_ptr error) {
                try {
                    std::rethrow_exception(error);
                } catch (const Exception& e) {
                    errors.push_back(ToUtf8(e.Message()));
                } catch (const std::exception& e) {
                    errors.push_back(e.what());
                }
            },
            u"C:\\Windows",
        };
    }
};

// What the user or the system can do while a handler lets messages through.
struct Event {
    const char* name;
    std::function<void(World&)> run;
};

const Event kEvents[] = {
    {"the drive is pulled",
     [](World& w) {
         w.Pull(kSubject);
         w.Notice(kSubject, false);
     }},
    {"the drive is pulled, its notice comes later",
     [](World& w) {
         w.Pull(kSubject);
         w.pump.Post([&w] { w.Notice(kSubject, false); });
     }},
    {"the drive is pulled and plugged in again",
     [](World& w) {
         w.Pull(kSubject);
         w.Notice(kSubject, false);
         w.Plug(kSubject);
         w.Notice(kSubject, true);
     }},
    {"a second arrival of the drive", [](World& w) { w.Notice(kSubject, true); }},
    {"Eject from the tray",
     [](World& w) {
         if (const int slot = w.SlotOf(kSubject); slot >= 0) w.main->Guarded([&] { w.main->OnEjectItem(slot); });
     }},
    {"a poll tick finds the marker",
     [](World& w) {
         w.Marker(kSubject);
         w.main->Guarded([&] { w.main->OnPollTimer(); });
     }},
    {"the AutoPlay dialog is asked for", [](World& w) { w.main->Guarded([&] { w.main->VolumeAutoPlay(kStick); }); }},
    {"Disable in the drive settings dialog",
     [](World& w) {
         TDriveSettingsHost host(*w.main);
         w.main->Guarded([&] { host.RemoveNASDrive(kSubject); });
     }},
    {"Eject in the drive settings dialog",
     [](World& w) {
         TDriveSettingsHost host(*w.main);
         w.main->Guarded([&] {
             host.DisconnectNASDrive(kSubject);
             (void)host.EjectRemovableDriveByLetter(kSubject);
         });
     }},
    {"OK in the drive settings dialog of Modify",
     [](World& w) {
         const int slot = w.SlotOf(kSubject);
         if (slot < 0) return;
         const std::size_t shown = w.view.driveDialogs.size();
         w.view.driveDialogAnswers.push_back(TDriveSettingsResult{u"E", u"EASTVOL"});
         w.main->Guarded([&] { w.main->OnModifyItem(slot); });
         if (w.view.driveDialogs.size() == shown) w.view.driveDialogAnswers.pop_back();  // its dialog was open already
     }},
    // What a face asks the engine for, by drive letter.
    {"Eject asked for by a face",
     [](World& w) { w.main->Guarded([&] { (void)w.main->EjectAttachedDrive(kSubject); }); }},
    {"new settings of the drive from a face",
     [](World& w) {
         if (w.SlotOf(kSubject) < 0) return;  // a drive that went answers that it is not attached
         w.main->Guarded([&] { w.main->ApplyDriveSettings(mModify, kSubject, u"EASTVOL"); });
     }},
    {"an unshared stick is pulled",
     [](World& w) {
         w.Pull(kStick);
         w.Notice(kStick, false);
     }},
    {"the other backup drive is pulled",
     [](World& w) {
         w.Pull(kOther);
         w.Notice(kOther, false);
     }},
    {"the other backup drive is pulled, its notice comes later",
     [](World& w) {
         w.Pull(kOther);
         w.pump.Post([&w] { w.Notice(kOther, false); });
     }},
    {"three drives are pulled at once",
     [](World& w) {
         for (const char16_t letter : kThree) w.Pull(letter);
         w.Broadcast(kThree, false);
     }},
    {"three drives are pulled and plugged in again at once",
     [](World& w) {
         for (const char16_t letter : kThree) w.Pull(letter);
         w.Broadcast(kThree, false);
         for (const char16_t letter : kThree) w.Plug(letter);
         w.Broadcast(kThree, true);
     }},
};

// A handler, with what brings about its occasion, and the drive it shares (if any).
struct Handler {
    const char* name;
    std::function<void(World&)> prepare;
    std::function<void(World&)> run;
    char16_t arriving = 0;
};

void PrintTo(const Handler& handler, std::ostream* out) {
    *out << handler.name;
}

void Nothing(World&) {}

// Every eject is refused, and the system log names the process for the subject's device.
void HeldByAProcess(World& w) {
    w.drives.EjectRefusals = 1'000'000;
    w.eventLog.events = {
        RenderRefusalEvent(TSimDrives::DeviceInstanceOf(kSubject), u"dllhost.exe", 9176, w.eventLog.now)};
}

const Handler kHandlers[] = {
    {"arrival of a backup drive",
     [](World& w) {
         w.Pull(kSubject);
         w.Notice(kSubject, false);
         w.Plug(kSubject);
     },
     [](World& w) { w.Notice(kSubject, true); }, kSubject},
    {"removal of a backup drive", [](World& w) { w.Pull(kSubject); }, [](World& w) { w.Notice(kSubject, false); }},
    {"removal of an unshared stick", [](World& w) { w.Pull(kStick); }, [](World& w) { w.Notice(kStick, false); }},
    {"poll tick with a marker", [](World& w) { w.Marker(kSubject); },
     [](World& w) { w.main->Guarded([&] { w.main->OnPollTimer(); }); }},
    {"Eject from the tray", Nothing,
     [](World& w) { w.main->Guarded([&] { w.main->OnEjectItem(w.SlotOf(kSubject)); }); }},
    {"Eject from the tray, refused by a process the log names", HeldByAProcess,
     [](World& w) { w.main->Guarded([&] { w.main->OnEjectItem(w.SlotOf(kSubject)); }); }},
    {"poll tick with a marker, the eject refused by a process the log names",
     [](World& w) {
         HeldByAProcess(w);
         w.Marker(kSubject);
     },
     [](World& w) { w.main->Guarded([&] { w.main->OnPollTimer(); }); }},
    {"Disable in the drive settings dialog", Nothing,
     [](World& w) {
         TDriveSettingsHost host(*w.main);
         w.main->Guarded([&] { host.RemoveNASDrive(kSubject); });
     }},
    {"Eject in the drive settings dialog", Nothing,
     [](World& w) {
         TDriveSettingsHost host(*w.main);
         w.main->Guarded([&] {
             host.DisconnectNASDrive(kSubject);
             (void)host.EjectRemovableDriveByLetter(kSubject);
         });
     }},
    {"Modify from the tray",
     [](World& w) {
         w.view.driveDialogAnswers.push_back(TDriveSettingsResult{u"E", u"EASTVOL"});
     },
     [](World& w) { w.main->Guarded([&] { w.main->OnModifyItem(w.SlotOf(kSubject)); }); }, kSubject},
    {"Add from the tray",
     [](World& w) {
         w.view.driveDialogAnswers.push_back(TDriveSettingsResult{u"H", u""});
     },
     [](World& w) { w.main->Guarded([&] { w.main->OnAddItem(); }); }, kSetAside},
    {"Eject asked for by a face", Nothing,
     [](World& w) { w.main->Guarded([&] { (void)w.main->EjectAttachedDrive(kSubject); }); }},
    {"Eject asked for by a face, refused by a process the log names", HeldByAProcess,
     [](World& w) { w.main->Guarded([&] { (void)w.main->EjectAttachedDrive(kSubject); }); }},
    {"new settings of the drive from a face", Nothing,
     [](World& w) { w.main->Guarded([&] { w.main->ApplyDriveSettings(mModify, kSubject, u"EASTVOL"); }); }, kSubject},
    {"a face adds the drive set aside", Nothing,
     [](World& w) { w.main->Guarded([&] { w.main->ApplyDriveSettings(mAdd, kSetAside, u""); }); }, kSetAside},
    {"AutoPlay dialog", Nothing, [](World& w) { w.main->Guarded([&] { w.main->VolumeAutoPlay(kStick); }); }},
    {"tray menu opens", [](World& w) { w.view.hostCaption = u"Host:"; },
     [](World& w) { w.main->Guarded([&] { w.main->OnTrayMenuPopup(); }); }},
    {"password renewal", [](World& w) { w.view.yesNoAnswers = {true}; },
     [](World& w) { w.main->Guarded([&] { w.main->OnRenewPassword(); }); }},
    {"settings window", Nothing, [](World& w) { w.main->Guarded([&] { w.main->OnSettingsItem(); }); }},
    {"About box", Nothing, [](World& w) { w.main->Guarded([&] { w.main->OnAboutItem(); }); }},
};

// A drive whose arrival just ended is either plugged in or neither registered nor shared.
void CheckArrived(World& w, char16_t letter, std::vector<std::string>& problems) {
    if (letter == 0 || w.Plugged(letter)) return;
    if (w.main->NasManager().getNasByname(std::u16string(1, letter))) {
        problems.push_back("a drive gone at the end of its arrival is registered");
    }
    for (const auto& [name, share] : w.sim.Shares) {
        if (share.Path == Root(letter)) problems.push_back("a drive gone at the end of its arrival is shared");
    }
}

// What holds once the pending events have run.
void CheckSettled(World& w, std::vector<std::string>& problems) {
    TNasManager& registry = w.main->NasManager();
    std::set<std::u16string> letters, shares;
    bool autoRemove = false;
    for (int i = 0; i < registry.NasCount(); ++i) {
        const TNas* nas = registry.GetNasByIndex(i);
        if (!nas) {
            problems.push_back("the count is larger than the registry");
            continue;
        }
        const std::string letter = ToUtf8(nas->DriveName());
        if (!letters.insert(nas->DriveName()).second) problems.push_back(letter + ": registered twice");
        if (!nas->IsShared() || nas->ShareName().empty()) problems.push_back(letter + ": registered but not shared");
        if (!w.Plugged(nas->DriveName().front())) problems.push_back(letter + ": registered after it left");
        const auto share = w.sim.Shares.find(UpperCase(nas->ShareName()));
        if (share == w.sim.Shares.end() || share->second.Path != nas->DriveName() + u":\\") {
            problems.push_back(letter + ": its share is gone");
        }
        shares.insert(UpperCase(nas->ShareName()));
        if (nas->AttachedNasSettings() && nas->AttachedNasSettings()->FAutoRemove) autoRemove = true;
    }
    if (registry.GetNasByIndex(registry.NasCount())) problems.push_back("the count is smaller than the registry");
    for (const auto& [name, share] : w.sim.Shares) {
        if (!shares.count(name)) problems.push_back("share " + ToUtf8(name) + " of no registered drive");
    }
    if (w.clock.TimerEnabled(TTimer::Poll) != autoRemove) {
        problems.push_back(autoRemove ? "polling is off while a drive waits for its marker"
                                      : "polling is on while no drive waits for its marker");
    }
    std::vector<std::u16string> watched, roots;
    for (const auto& entry : w.watcher.Entries) watched.push_back(entry.Directory);
    for (const auto& letter : letters) roots.push_back(letter + u":\\");
    std::sort(watched.begin(), watched.end());
    if (watched != roots) problems.push_back("watches other drives than the registered ones");
    if (w.watcher.active == w.watcher.Entries.empty()) problems.push_back("the watcher runs without entries or stands");
    if ((w.view.trayIndex == kIdleIcon) != letters.empty())
        problems.push_back("the tray icon does not match the registry");
    for (const auto& message : w.view.messages) {
        // Who holds a drive whose eject was refused is for the user to hear.
        if (message.text != u"E: is in use by dllhost.exe (process 9176). Close it, then choose Eject again.") {
            problems.push_back("message box: " + ToUtf8(message.text));
        }
    }
    for (const auto& error : w.errors) problems.push_back("error: " + error);
}

class ReentryTest : public ::testing::TestWithParam<Handler> {};

TEST_P(ReentryTest, EveryEventAtEveryPump) {
    const Handler& handler = GetParam();
    const InMemoryFiles inMemory;
    std::vector<std::string> failures;
    int runs = 0;
    for (const Event& event : kEvents) {
        for (int at = 1;; ++at) {
            World w;
            handler.prepare(w);
            w.pump.RunAt(at, [&] { event.run(w); });
            handler.run(w);
            const bool fired = w.pump.Fired();
            std::vector<std::string> problems;
            CheckArrived(w, handler.arriving, problems);
            w.pump.Drain();
            CheckSettled(w, problems);
            ++runs;
            for (const auto& problem : problems) {
                failures.push_back(std::string(event.name) + " at pump " + std::to_string(at) + ": " + problem);
            }
            if (!fired) break;
            if (at > 100) {
                failures.push_back(std::string(event.name) + ": the handler never ends");
                break;
            }
        }
    }
    // Each event ran at least at the first pump, and once more found none left.
    EXPECT_GE(runs, 2 * static_cast<int>(std::size(kEvents))) << "the handler let no message through";
    std::string shown;
    for (std::size_t i = 0; i < failures.size() && i < 20; ++i) shown += "\n  " + failures[i];
    EXPECT_TRUE(failures.empty()) << failures.size() << " problems in " << runs << " runs:" << shown;
}

INSTANTIATE_TEST_SUITE_P(Handlers, ReentryTest, ::testing::ValuesIn(kHandlers),
                         [](const ::testing::TestParamInfo<Handler>& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c; ++c) {
                                 if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                             }
                             return name;
                         });

// A drive can also leave at a moment when no message is processed; its removal notice then comes
// at the next pump, or only after the arrival.
TEST(ArrivalTest, DrivePulledWhileItsShareIsMadeLeavesNoShareAndNoBox) {
    const InMemoryFiles inMemory;
    for (const bool noticeDuringArrival : {true, false}) {
        SCOPED_TRACE(noticeDuringArrival ? "notice during the arrival" : "notice after the arrival");
        World w;
        w.Pull(kSubject);
        w.Notice(kSubject, false);
        w.Plug(kSubject);
        bool noticeDue = false;
        w.sim.afterShareAdd = [&] {
            w.Pull(kSubject);
            if (noticeDuringArrival) {
                w.pump.Post([&w] { w.Notice(kSubject, false); });
            } else {
                noticeDue = true;
            }
        };
        const std::size_t balloons = w.view.balloons.size();
        w.Notice(kSubject, true);
        EXPECT_EQ(w.main->NasManager().getNasByname(u"E"), nullptr);
        EXPECT_EQ(w.view.balloons.size(), balloons);  // nothing announced
        EXPECT_EQ(w.sim.Shares.count(u"EAST"), 0u);
        EXPECT_TRUE(w.view.messages.empty());
        EXPECT_TRUE(w.errors.empty());
        if (noticeDue) w.Notice(kSubject, false);
        w.pump.Drain();

        // One line tells that the drive left again.
        std::vector<std::u16string> lines;
        const auto log = fs::ReadTextLines(w.temp.File(u"Velmora.log"));
        ASSERT_TRUE(log);
        for (const auto& line : *log) {
            if (const auto record = ParseLogLine(line)) lines.push_back(record->Title + u"|" + record->Description);
        }
        const auto attached = std::find(lines.rbegin(), lines.rend(), u" Attached | E:\\");
        ASSERT_NE(attached, lines.rend());
        EXPECT_EQ(std::vector<std::u16string>(attached.base(), lines.end()),
                  (std::vector<std::u16string>{u" Detached | E:\\"}));
        EXPECT_TRUE(w.clock.TimerEnabled(TTimer::Poll));  // F still waits for its marker
    }
}

// A drive pulled and plugged in again while its arrival asks for the host name: the new arrival
// announces it, and the first one ends without counting it twice.
TEST(ArrivalTest, ArrivalOvertakenByANewOneOfItsDriveLeavesTheRestToIt) {
    const InMemoryFiles inMemory;
    World w;
    w.Pull(kSubject);
    w.Notice(kSubject, false);
    w.Plug(kSubject);
    const int tag = w.main->PollTimerTag();
    testing::SimPump hostName;
    w.system.pump = &hostName;
    hostName.RunAt(1, [&w] {
        w.Pull(kSubject);
        w.Notice(kSubject, false);
        w.Plug(kSubject);
        w.Notice(kSubject, true);
    });
    w.Notice(kSubject, true);
    ASSERT_TRUE(hostName.Fired());
    EXPECT_NE(w.main->NasManager().getNasByname(u"E"), nullptr);
    EXPECT_EQ(w.main->PollTimerTag(), tag + 1);
    const auto log = fs::ReadTextLines(w.roots[kSubject]->File(u"velmora-activity.log"));
    ASSERT_TRUE(log);
    const auto started = std::count_if(log->begin(), log->end(), [](const std::u16string& line) {
        return line.find(u"OK, Started sharing") != std::u16string::npos;
    });
    EXPECT_EQ(started, 2);  // at the start-up, and by the new arrival
}

}  // namespace
}  // namespace dv
