// Stand-ins for the controller's platform in native tests: a view that records what it is asked to
// show, a clock whose time passes only when a test says so, a watcher, a system and its services,
// and the message pump they share.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dialogs/web_links.h"
#include "drives/eject_blocker.h"
#include "drives/volume_observer.h"
#include "platform/files.h"
#include "shell/main_view.h"
#include "system/system_host.h"

namespace dv::testing {

// The user-interface thread's message pump as the stand-ins see it. Every call that lets pending
// messages through (a wait, a log line, the host name, a message box or dialog) counts; a test can
// have a chosen event run inside the N-th such call. Events posted (the removal notice that follows
// an eject) run at the next such call, or when the test drains them, as the system delivers them.
class SimPump {
public:
    // Runs `event` inside the `at`-th pump from now (1: the next one), once.
    void RunAt(int at, std::function<void()> event) {
        armedAt_ = count_ + at;
        armed_ = std::move(event);
        fired_ = false;
    }
    bool Fired() const { return fired_; }
    int Count() const { return count_; }
    // Queues an event for the next pump.
    void Post(std::function<void()> event) { posted_.push_back(std::move(event)); }
    bool HasPosted() const { return !posted_.empty(); }
    // Runs the queued events as the message loop would, until none is left.
    void Drain() {
        while (!posted_.empty()) {
            auto event = std::move(posted_.front());
            posted_.pop_front();
            event();
        }
    }
    void Pump() {
        ++count_;
        std::deque<std::function<void()>> due;
        due.swap(posted_);
        for (auto& event : due) event();
        if (armed_ && count_ == armedAt_) {
            auto event = std::move(armed_);
            armed_ = nullptr;
            fired_ = true;
            event();
        }
    }

private:
    int count_ = 0;
    int armedAt_ = 0;
    bool fired_ = false;
    std::function<void()> armed_;
    std::deque<std::function<void()>> posted_;
};

// Stands in for every view the controller has.
class RecordingView : public ITrayView, public ISettingsView, public IDialogView, public ISoundsAndShell {
public:
    struct Balloon {
        std::u16string text;
        TBalloonIcon icon;
    };
    struct Message {
        std::u16string text;
        TMessageIcon icon;
    };

    int trayIndex = 2;
    std::vector<int> trayHistory;
    std::vector<Balloon> balloons;
    std::map<int, std::pair<std::u16string, bool>> modifySlots, ejectSlots;
    std::u16string addCaption = u"Add USB NAS device";
    std::u16string hostCaption = u"Host:";
    bool domainItemVisible = true;
    bool renewEnabled = false;
    TPopupMenu rightClickMenu = TPopupMenu::Tray;
    std::vector<Message> messages;
    std::deque<bool> yesNoAnswers;
    std::vector<std::u16string> questions;
    std::vector<std::u16string> soundFiles, builtInSounds;
    std::vector<std::pair<std::uint32_t, std::u16string>> shellNotifications;
    std::optional<bool> autostartChecked;
    std::optional<int> autoPlaySelection;
    std::u16string soundFolder;
    // What the drive settings dialog answers, and how it was opened.
    std::deque<std::optional<TDriveSettingsResult>> driveDialogAnswers;
    std::vector<std::pair<TMode, std::u16string>> driveDialogs;
    std::function<void()> duringDriveDialog;
    // Runs inside the domain user dialog; an error it raises leaves the dialog.
    std::function<void()> duringDomainDialog;
    int domainDialogs = 0, aboutBoxes = 0, homePageOpened = 0;
    std::vector<std::pair<char16_t, std::u16string>> autoPlayDialogs;
    bool settingsVisible = false;
    std::map<TSoundBox, std::vector<std::u16string>> soundEntries;
    std::map<TSoundBox, int> soundSelected;
    std::deque<std::optional<std::u16string>> chosenFiles;
    int choosers = 0;
    bool quit = false;
    // Message boxes and dialogs let pending messages through.
    SimPump* pump = nullptr;

    void SetTrayIconIndex(int index) override {
        trayIndex = index;
        trayHistory.push_back(index);
    }
    int TrayIconIndex() const override { return trayIndex; }
    void ShowBalloon(std::u16string_view text, TBalloonIcon icon) override {
        balloons.push_back({std::u16string(text), icon});
    }
    void SetMenuSlot(TMenuSlots slots, int slot, std::u16string_view caption, bool visible) override {
        (slots == TMenuSlots::Modify ? modifySlots : ejectSlots)[slot] = {std::u16string(caption), visible};
    }
    void SetAddCaption(std::u16string_view caption) override { addCaption = caption; }
    void SetHostCaption(std::u16string_view caption) override { hostCaption = caption; }
    std::u16string HostCaption() const override { return hostCaption; }
    void SetDomainUserItemVisible(bool visible) override { domainItemVisible = visible; }
    void SetPasswordRenewEnabled(bool enabled) override { renewEnabled = enabled; }
    void SetRightClickMenu(TPopupMenu menu) override { rightClickMenu = menu; }
    void ShowMessage(std::u16string_view text, TMessageIcon icon) override {
        messages.push_back({std::u16string(text), icon});
        Pump();
    }
    bool AskYesNo(std::u16string_view text, std::u16string_view) override {
        questions.emplace_back(text);
        Pump();
        if (yesNoAnswers.empty()) return false;
        const bool answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return answer;
    }
    void PlaySoundFile(std::u16string_view path) override { soundFiles.emplace_back(path); }
    bool PlayBuiltInSound(std::u16string_view name) override {
        if (name != u"OnlineWav" && name != u"CompletedWav") return false;
        builtInSounds.emplace_back(name);
        return true;
    }
    void NotifyShell(std::uint32_t eventId, std::u16string_view path) override {
        shellNotifications.emplace_back(eventId, path);
    }
    void SetAutostartChecked(bool checked) override { autostartChecked = checked; }
    bool AutostartChecked() const override { return autostartChecked.value_or(false); }
    void SetSoundEntries(TSoundBox box, const std::vector<std::u16string>& entries) override {
        soundEntries[box] = entries;
        soundSelected[box] = -1;
    }
    std::vector<std::u16string> SoundEntries(TSoundBox box) const override {
        const auto found = soundEntries.find(box);
        return found == soundEntries.end() ? std::vector<std::u16string>() : found->second;
    }
    void SelectSound(TSoundBox box, int index) override { soundSelected[box] = index; }
    int SelectedSound(TSoundBox box) const override {
        const auto found = soundSelected.find(box);
        return found == soundSelected.end() ? -1 : found->second;
    }
    std::optional<std::u16string> ChooseSoundFile() override {
        ++choosers;
        if (chosenFiles.empty()) return std::nullopt;
        auto chosen = chosenFiles.front();
        chosenFiles.pop_front();
        return chosen;
    }
    void SetAutoPlaySelection(int index) override { autoPlaySelection = index; }
    void SetSoundFileFolder(std::u16string_view folder) override { soundFolder = folder; }
    std::optional<TDriveSettingsResult> ShowDriveSettingsDialog(TMode mode, std::u16string_view letter) override {
        driveDialogs.emplace_back(mode, letter);
        if (duringDriveDialog) duringDriveDialog();
        Pump();
        if (driveDialogAnswers.empty()) return std::nullopt;
        auto answer = driveDialogAnswers.front();
        driveDialogAnswers.pop_front();
        return answer;
    }
    void ShowDomainUserDialog(TUserManager&, TApplicationSettings&) override {
        ++domainDialogs;
        Pump();
        if (duringDomainDialog) duringDomainDialog();
    }
    void ShowAboutBox() override {
        ++aboutBoxes;
        Pump();
    }
    void ShowAutoPlayDialog(char16_t letter, std::u16string_view caption) override {
        autoPlayDialogs.emplace_back(letter, caption);
        Pump();
    }
    void OpenHomePageFromVersionInfo() override { ++homePageOpened; }
    void ShowSettingsWindow() override { settingsVisible = true; }
    void HideSettingsWindow() override { settingsVisible = false; }
    void QuitApplication() override { quit = true; }

    std::vector<std::u16string> BalloonTexts() const {
        std::vector<std::u16string> texts;
        for (const auto& balloon : balloons) texts.push_back(balloon.text);
        return texts;
    }

private:
    void Pump() {
        if (pump) pump->Pump();
    }
};

class ManualClock : public IClock {
public:
    std::map<TTimer, std::uint32_t> intervals;
    std::map<TTimer, bool> enabled{{TTimer::Poll, false}, {TTimer::NotifyUsbDrive, true}};
    std::vector<std::uint32_t> sleeps;
    int pumped = 0;
    // Waits let pending messages through as well: the balloon stays, other events run.
    SimPump* pump = nullptr;

    void SetTimerInterval(TTimer timer, std::uint32_t milliseconds) override { intervals[timer] = milliseconds; }
    void SetTimerEnabled(TTimer timer, bool on) override { enabled[timer] = on; }
    bool TimerEnabled(TTimer timer) const override { return enabled.at(timer); }
    void Sleep(std::uint32_t milliseconds) override {
        sleeps.push_back(milliseconds);
        if (pump) pump->Pump();
    }
    void ProcessPendingMessages() override {
        ++pumped;
        if (pump) pump->Pump();
    }
};

// Stops as the Windows watcher does: it lets sent messages (device notices) through while its worker
// ends, after it has stopped counting as active; Start stops first, and a watcher started inside
// that wait is stopped again before the new one takes its place.
class SimWatcher : public IDirectoryWatcher {
public:
    bool active = false;
    int starts = 0;
    SimPump* pump = nullptr;

    void Start() override {
        Stop();
        if (Entries.size() > kMaxWatchedDirectories) throw std::runtime_error("too many directories");
        for (const auto& entry : Entries) {
            if (!fs::DirectoryExists(entry.Directory)) throw std::runtime_error("no such directory");
        }
        while (active) Stop();
        active = true;
        ++starts;
    }
    void Stop() override {
        if (!std::exchange(active, false)) return;
        if (pump) pump->Pump();
    }
    bool Active() const override { return active; }

    std::vector<std::u16string> Directories() const {
        std::vector<std::u16string> directories;
        for (const auto& entry : Entries) directories.push_back(entry.Directory);
        return directories;
    }
};

// A system log with the refusals a test put there, newest first; its clock stands still.
class ScriptedEventLog : public IEjectBlockerSource {
public:
    std::int64_t Now() override { return now; }
    std::vector<std::u16string> RefusalEvents(std::int64_t since) override {
        lastSince = since;
        ++queries;
        return events;
    }

    std::int64_t now = 134'100'000'000'000'000;  // 2025-12-14
    std::vector<std::u16string> events;
    std::optional<std::int64_t> lastSince;
    int queries = 0;
};

class SimSystem : public ISystemHost {
public:
    std::map<std::u16string, std::u16string> registry;  // "key\name" -> value
    std::vector<std::u16string> opened;
    std::vector<std::u16string> programs;
    SimPump* pump = nullptr;

    bool IsVistaOrLater() override { return true; }
    std::u16string ExecutablePath() override { return u"C:\\Program Files\\Dockvane\\Dockvane.exe"; }
    void ProcessMessages() override {
        if (pump) pump->Pump();
    }
    bool WriteUserString(std::u16string_view key, std::u16string_view name, std::u16string_view value) override {
        registry[std::u16string(key) + u"\\" + std::u16string(name)] = value;
        return true;
    }
    bool WriteUserDword(std::u16string_view key, std::u16string_view name, std::uint32_t value) override {
        registry[std::u16string(key) + u"\\" + std::u16string(name)] = IntToStr(value);
        return true;
    }
    bool DeleteUserValue(std::u16string_view key, std::u16string_view name) override {
        return registry.erase(std::u16string(key) + u"\\" + std::u16string(name)) > 0;
    }
    TProcessOutcome RunSystemProgram(std::u16string_view program, std::u16string_view arguments,
                                     std::uint32_t) override {
        programs.push_back(std::u16string(program) + u" " + std::u16string(arguments));
        return {true, true, 0};
    }
    std::optional<std::u16string> ComputerName() override { return u"OFFICE"; }
    std::u16string ResolveIPv4(std::u16string_view) override { return u"10.0.0.7"; }
    std::u16string TempFolder() override { return fs::GetTempDir(); }
    std::u16string SpecialFolder(int) override { return u"C:\\Windows\\System32"; }
    void ShellOpen(std::u16string_view target, std::u16string_view, std::u16string_view, bool, TShowMode) override {
        opened.emplace_back(target);
    }
};

// The search service: running or stopped, switched at once.
class SimServices : public IServiceControl {
public:
    std::uint32_t searchState = kServiceStopped;
    std::vector<std::u16string> requests;

    class Session : public IServiceSession {
    public:
        explicit Session(SimServices& owner) : owner_(owner) {}
        std::optional<TServiceStatus> Query() override { return TServiceStatus{owner_.searchState, 0, 0}; }
        bool Start() override {
            owner_.requests.push_back(u"start");
            owner_.searchState = kServiceRunning;
            return true;
        }
        bool Stop(TServiceStatus& status) override {
            owner_.requests.push_back(u"stop");
            owner_.searchState = kServiceStopped;
            status.currentState = kServiceStopped;
            return true;
        }

    private:
        SimServices& owner_;
    };

    std::unique_ptr<IServiceSession> Open(std::u16string_view, std::u16string_view service, TServiceAccess) override {
        if (service != u"WSearch") return nullptr;
        return std::make_unique<Session>(*this);
    }
    void Sleep(std::uint32_t) override {}
};

class RecordingWeb : public IWebSystem {
public:
    std::vector<std::u16string> opened;
    void OpenUrl(std::u16string_view url) override { opened.emplace_back(url); }
    std::optional<std::u16string> ApplicationFileVersion() override { return u"1.0.0.0"; }
};

}  // namespace dv::testing
