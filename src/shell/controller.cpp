#include "shell/controller.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>
#include <utility>

#include "accounts/share_manager.h"
#include "accounts/user_manager.h"
#include "drives/usb_drive_mgmt.h"
#include "drives/volume_observer.h"
#include "logging/logs.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "sharing/done_ping.h"
#include "shell/settings_window.h"
#include "shell/tray_captions.h"
#include "system/win_service_mgmt.h"

namespace dv {
namespace {

std::u16string Root(char16_t letter) {
    return TDriveLetter(letter).Root();
}

std::u16string Letter(char16_t letter) {
    return std::u16string(1, letter);
}

// What the user reads, and both logs keep, when a process kept a drive from being ejected.
std::u16string BlockerText(char16_t letter, const TEjectBlocker& blocker) {
    return Letter(letter) + u": is in use by " + blocker.ProcessName + u" (process " + IntToStr(blocker.ProcessId) +
           u"). Close it, then choose Eject again.";
}

// What the user reads when the system would not eject a drive and named no process for it.
std::u16string UnableToRemoveText(char16_t letter) {
    return u"Unable to remove\r\nthe External Storage drive '" + Letter(letter) + u"'";
}

// Raises a flag for as long as the command or step that raised it runs, also when it fails: a dialog
// that is open, the start-up's steps being tried again.
class TrueWhile {
public:
    explicit TrueWhile(bool& flag) : flag_(flag) { flag_ = true; }
    ~TrueWhile() { flag_ = false; }
    TrueWhile(const TrueWhile&) = delete;
    TrueWhile& operator=(const TrueWhile&) = delete;

private:
    bool& flag_;
};

// What each start-up step that can fail is told with, before the reason.
constexpr std::u16string_view kAppLogUnwritable = u"The application log cannot be written: ";
constexpr std::u16string_view kSettingsUnread = u"No drive is shared until the settings can be read: ";
constexpr std::u16string_view kSettingsUnsaved = u"The settings cannot be saved: ";
constexpr std::u16string_view kDomainAccountNotSet = u"The domain account was not set: ";
constexpr std::u16string_view kMasterAccountMissing =
    u"Drives that need the account dockvane are not shared until it can be made: ";
constexpr std::u16string_view kAccountsShownOnSignIn = u"Dockvane's accounts may show on the sign-in screen: ";
constexpr std::u16string_view kNotWatching = u"Drives plugged in from now on are not shared: ";

// An error's message as one line of a balloon or a log record.
std::u16string OneLine(std::u16string_view text) {
    std::u16string line;
    for (const char16_t c : text) {
        if (c != u'\r' && c != u'\n') {
            line += c;
        } else if (!line.empty() && line.back() != u' ') {
            line += u' ';
        }
    }
    while (!line.empty() && line.back() == u' ') line.pop_back();
    return VisibleText(line);
}

}  // namespace

TfmMain::TfmMain(TMainServices services)
    : services_(std::move(services)),
      tray_(services_.Tray),
      settingsView_(services_.Settings),
      dialogs_(services_.Dialogs),
      desktop_(services_.Desktop),
      clock_(services_.Clock),
      watcher_(services_.Watcher) {
    watcher_.OnChange = [this](const std::u16string&) { Guarded([this] { OnDirectoryChanged(); }); };
    Guarded([this] { StartUp(); });
}

TfmMain::~TfmMain() {
    // No drive events from here on; the settings reach the file a last time.
    volumeObserver_.reset();
    if (watcher_.Active()) watcher_.Stop();
    watcher_.OnChange = nullptr;
    // Settings that could not be read are not written over with values nobody chose.
    if (settings_ && !settingsUnread_) {
        try {
            settings_->Save();
        } catch (const std::exception&) {
            if (services_.ReportError) services_.ReportError(std::current_exception());
        }
    }
}

void TfmMain::Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        if (services_.ReportError) services_.ReportError(std::current_exception());
    }
}

// --- Start-up ---

void TfmMain::StartUp() {
    initializing_ = true;
    nasManager_ = std::make_unique<TNasManager>(*this);
    // The account manager needs the settings record; it is created now and loaded below.
    settings_ = std::make_unique<TApplicationSettings>(u"");
    userManager_ = std::make_unique<TUserManager>(services_.UserApi, *settings_);
    winServiceManager_ = std::make_unique<TWinServiceMgmt>(services_.System, services_.Services);
    webLinks_ = std::make_unique<TWebLinks>(services_.Web);
    usbDriveManager_ = std::make_unique<TUSBDriveManager>(services_.Volumes, services_.Devices);
    shareManager_ = std::make_unique<TShareManager>(services_.ShareApi);
    closeAction_ = TCloseAction::caNone;
    InitMenuLists();
    searchBeginState_ = winServiceManager_->vtServiceGetStatus(u"localhost", u"WSearch");
    // From here on a step that fails is told, and the start-up goes on with the steps that do not
    // need it: whatever else went wrong, the drives are watched and the start-up ends.
    StartUpStep(kAppLogUnwritable, [] { LogApp(u"Start", kApplicationTitle); });
    tray_.SetHostCaption(HostCaption(winServiceManager_->getHostname()));

    if (ReadSettings()) {
        SettingsSteps();
    } else if (!shareManager_->IsComputerInDomain()) {
        tray_.SetDomainUserItemVisible(false);
    }
    StartUpStep(kAccountsShownOnSignIn, [this] { userManager_->HideOwnAccountsFromSignIn(); });

    bool watching = false;
    const std::optional<std::u16string> observerFailure = TryStep([&] {
        volumeObserver_ = services_.CreateVolumeObserver();
        watching = volumeObserver_ && volumeObserver_->Initialize();
    });
    if (watching) {
        volumeObserver_->OnVolumeArrival = [this](char16_t drive) { VolumeArrival(drive); };
        volumeObserver_->OnVolumeRemoval = [this](char16_t drive) { VolumeRemoval(drive); };
        volumeObserver_->OnVolumeAutoPlay = [this](char16_t drive) { VolumeAutoPlay(drive); };
    } else {
        const std::u16string reason = observerFailure.value_or(u"the USB monitor could not be started");
        TellStartUpFailure(
            observerFailure ? u"Failed to initialize USB monitor: " + reason : u"Failed to initialize USB monitor",
            std::u16string(kNotWatching) + reason + u".");
    }

    if (!usbDriveManager_->areUsbDrivesPresent()) tray_.SetAddCaption(kNoUsbDriveCaption);
    settingsView_.SetSoundFileFolder(services_.WindowsFolder + u"\\Media");
    clock_.ProcessPendingMessages();
    ShareAttachedDrives();
    clock_.SetTimerInterval(TTimer::NotifyUsbDrive,
                            static_cast<std::uint32_t>(std::lround(kWatcherCheckIntervalMs * 2.5)));
    // Settings that could not be read would apply values nobody chose.
    if (!settingsUnread_) ApplySettings();

    if (!startUpFailures_.empty()) {
        // A balloon replaces the one before: the first failure, and how many more the log holds.
        std::u16string text = startUpFailures_.front();
        if (startUpFailures_.size() > 1) {
            text = IntToStr(static_cast<std::int64_t>(startUpFailures_.size())) +
                   u" problems at start-up, all in the application log. " + text;
        }
        tray_.ShowBalloon(text, TBalloonIcon::Warning);
    }
    initializing_ = false;
}

std::optional<std::u16string> TfmMain::TryStep(const std::function<void()>& step) {
    try {
        step();
    } catch (const Exception& error) {
        return OneLine(error.Message());
    } catch (const std::exception& error) {
        return OneLine(FromUtf8(error.what()));
    }
    return std::nullopt;
}

bool TfmMain::StartUpStep(std::u16string_view failure, const std::function<void()>& step) {
    const std::optional<std::u16string> reason = TryStep(step);
    if (!reason) return true;
    const std::u16string text = std::u16string(failure) + *reason;
    TellStartUpFailure(text, text);
    return false;
}

void TfmMain::TellStartUpFailure(const std::u16string& logText, const std::u16string& balloonText) {
    if (initializing_) {
        // Both saves of the start-up fail alike: one failure.
        if (std::find(startUpFailures_.begin(), startUpFailures_.end(), balloonText) != startUpFailures_.end()) return;
        startUpFailures_.push_back(balloonText);
    }
    try {
        LogError(logText);
    } catch (const Exception&) {
        // The application log itself failed: the balloon still tells.
    }
}

bool TfmMain::ReadSettings() {
    settingsUnread_ = TryStep([this] {
        // Found once; finding it may move the file from the older folder, and log when that fails.
        if (settings_->SettingsFile().empty()) *settings_ = TApplicationSettings(services_.SettingsFileName());
        settings_->Load();
    });
    if (!settingsUnread_) return true;
    const std::u16string text = std::u16string(kSettingsUnread) + *settingsUnread_;
    TellStartUpFailure(text, text);
    return false;
}

void TfmMain::SettingsSteps() {
    TApplicationSettings& settings = *settings_;
    if (shareManager_->IsComputerInDomain()) {
        // A dialog that failed counts as one cancelled: the account can be set from the tray menu.
        if (settings.FIsInDomain == 0) StartUpStep(kDomainAccountNotSet, [this] { OnDomainUserItem(); });
        settings.FIsInDomain = 1;
    } else {
        tray_.SetDomainUserItemVisible(false);
    }
    SaveSettingsStep();

    if (settings.FIsInDomain == 0 && settings.FDefaultShareUserName != kMasterAccountName) {
        settings.FDefaultShareUserName = kMasterAccountName;
        settings.FPasswordSalt.clear();
    }
    if (settings.FDefaultShareUserName == kMasterAccountName) {
        tray_.SetPasswordRenewEnabled(true);
        MasterAccountStep();
    }
}

void TfmMain::SaveSettingsStep() {
    settingsUnsaved_ = !StartUpStep(kSettingsUnsaved, [this] { settings_->Save(); });
}

void TfmMain::MasterAccountStep() {
    bool newSalt = false;
    masterAccountFailure_ = TryStep([&] { newSalt = MakeMasterAccount(); });
    if (masterAccountFailure_) {
        const std::u16string text = std::u16string(kMasterAccountMissing) + *masterAccountFailure_;
        TellStartUpFailure(text, text);
    } else if (newSalt) {
        SaveSettingsStep();
    }
}

bool TfmMain::MakeMasterAccount() {
    TApplicationSettings& settings = *settings_;
    const std::u16string master(kMasterAccountName);
    if (settings.FPasswordSalt.empty()) userManager_->UserDelete(master);
    // An existing account with a salt is left as it is: its password is the master password.
    if (userManager_->UserExists(master)) return false;
    const std::u16string salt = userManager_->RandomStr(32);
    userManager_->UserAdd(master, userManager_->MakePassword(salt), std::u16string(kShareUserComment));
    settings.FPasswordSalt = salt;
    return true;
}

void TfmMain::ApplySettings() {
    const TApplicationSettings& settings = *settings_;
    // The box's click handler does nothing while initialising, and setting the box does not click it:
    // the system's start-on-logon entry is not rewritten.
    settingsView_.SetAutostartChecked(settings.FAutoStart);
    settingsView_.SetAutoPlaySelection(settings.FAutoPlay >= 0 && settings.FAutoPlay <= 2 ? settings.FAutoPlay : -1);
    winServiceManager_->USBAutoPalyStartStop(settings.FAutoPlay);
}

bool TfmMain::StartUpStepsToRetry() const {
    return settingsUnread_ || settingsUnsaved_ || masterAccountFailure_;
}

// What the start-up could not do and a drive needs: the settings, read (and then everything that
// needs them), saved, and the master account. What fails again is logged; the drive's own arrival
// tells the user what it means for the drive.
void TfmMain::RetryStartUpSteps() {
    if (settingsUnread_) {
        if (!ReadSettings()) return;
        SettingsSteps();
        ApplySettings();
        return;
    }
    if (settingsUnsaved_) SaveSettingsStep();
    if (!masterAccountFailure_) return;
    if (settings_->FDefaultShareUserName == kMasterAccountName) {
        MasterAccountStep();
    } else {
        masterAccountFailure_.reset();  // not the default account any more
    }
}

void TfmMain::InitMenuLists() {
    // Slot i of each list is the item whose tag is i; all hidden until a drive is registered.
    for (int slot = 0; slot < kMenuSlots; ++slot) {
        tray_.SetMenuSlot(TMenuSlots::Modify, slot, u"Modify:", false);
        tray_.SetMenuSlot(TMenuSlots::Eject, slot, u"Eject:", false);
    }
}

void TfmMain::ShareAttachedDrives() {
    std::vector<std::u16string> drives;
    usbDriveManager_->GetUsbDrives(drives);
    // One drive that fails is reported and leaves the others (and the rest of the start-up) alone.
    for (const auto& drive : drives) Guarded([&] { VolumeArrival(drive.front()); });
}

// --- Shutdown ---

void TfmMain::OnExitItem() {
    closeAction_ = TCloseAction::caFree;
    OnMainWindowClose();
}

void TfmMain::OnMainWindowClose() {
    if (closeAction_ == TCloseAction::caNone) {
        settingsView_.HideSettingsWindow();
        return;
    }
    // Search-service workers are not waited for; the message loop ends and the controller goes.
    desktop_.QuitApplication();
}

// --- Drive events ---

void TfmMain::VolumeArrival(char16_t Drive) {
    if (retryingStartUp_) {
        // The steps tried again below let other handlers run: an arrival among them waits for them, so
        // that it finds the settings and the master account as they end up.
        arrivalsDuringRetry_.push_back(Drive);
        return;
    }
    if (!initializing_ && StartUpStepsToRetry()) {
        {
            const TrueWhile retrying(retryingStartUp_);
            RetryStartUpSteps();
        }
        while (!arrivalsDuringRetry_.empty()) {
            const char16_t waiting = arrivalsDuringRetry_.front();
            arrivalsDuringRetry_.erase(arrivalsDuringRetry_.begin());
            if (waiting != Drive) Guarded([this, waiting] { ShareArrivedDrive(waiting); });
        }
    }
    ShareArrivedDrive(Drive);
}

void TfmMain::ShareArrivedDrive(char16_t Drive) {
    if (!settingsUnread_) {
        if (nasManager_->addNas(Letter(Drive), true)) AnnounceSharedDrive(Drive);
    } else if (!initializing_ && fs::ReplaceableFileExists(Root(Drive) + std::u16string(kDriveConfigFileName))) {
        // Without the settings neither the accounts nor their passwords are known. The start-up's own
        // balloon has told so already.
        tray_.ShowBalloon(
            u"Drive " + Letter(Drive) + u": is not shared: the settings cannot be read: " + *settingsUnread_,
            TBalloonIcon::Warning);
    }
    updateAddMenuItem();
}

// What follows the registration of a drive. Several steps let other handlers run, and any of them may
// remove the drive, or remove it and register it anew: after each, the drive is looked up again, and
// the arrival ends when it is no longer the entry it registered.
void TfmMain::AnnounceSharedDrive(char16_t Drive) {
    const TNas* nas = nasManager_->getNasByname(Letter(Drive));
    if (!nas) return;
    // Shared with the entry, so its values stay readable even if the entry goes.
    const std::shared_ptr<const TShareSettings> config = nas->SharedSettings();
    desktop_.NotifyShell(kShcneNetShare, Root(Drive));
    desktop_.NotifyShell(kShcneShareEvents, Root(Drive));
    PlayEventSound(TSoundBox::Available);
    tray_.SetTrayIconIndex(kSharedIcon);
    tray_.ShowBalloon(config->FShareName + u" now available for network", TBalloonIcon::Information);
    tray_.DriveShared(Drive, config->FShareName);
    const std::u16string host = winServiceManager_->getHostname();
    if (!ArrivalGoesOn(Drive, *config)) return;
    LogDriveActivity(u"OK, Started sharing ", host + u" " + config->FShareName, Letter(Drive));
    if (!ArrivalGoesOn(Drive, *config)) return;
    nasManager_->getNasByname(Letter(Drive))->DoPingToSrv();
    if (config->FAutoRemove) {
        clock_.SetTimerEnabled(TTimer::Poll, true);
        ++pollTimerTag_;
    }
    AddDriveChangeNotify(Drive);
    if (!ArrivalGoesOn(Drive, *config)) return;
    if (nasManager_->NasCount() == 1 && searchBeginState_ == kServiceRunning) StartSearchWorker(true);
}

// Whether the drive that an arrival registered with `config` is still there. A drive removed, or
// registered anew by a nested arrival (which announces it itself), ends the arrival. So does a drive
// that left before its removal notice came: it is unshared at once, so that no share outlives it.
bool TfmMain::ArrivalGoesOn(char16_t Drive, const TShareSettings& config) {
    const TNas* nas = nasManager_->getNasByname(Letter(Drive));
    if (!nas || nas->AttachedNasSettings() != &config) return false;
    if (fs::DirectoryExists(Root(Drive))) return true;
    VolumeRemoval(Drive);
    return false;
}

void TfmMain::VolumeRemoval(char16_t Drive) {
    clock_.SetTimerEnabled(TTimer::Poll, false);
    try {
        const TNas* nas = nasManager_->getNasByname(Letter(Drive));
        const std::u16string shareName = nas ? nas->ShareName() : std::u16string();
        if (nasManager_->removeNas(Letter(Drive))) {
            tray_.DriveUnshared(Drive);
            userManager_->ChekToManualUserDelete(Letter(Drive), nasManager_->GetNasDriveNamesList());
            PlayEventSound(TSoundBox::Done);
            LogDriveActivity(u"OK, Stopped sharing ", winServiceManager_->getHostname() + u" " + shareName,
                             Letter(Drive));
        }
        if (nasManager_->NasCount() == 0) {
            tray_.SetTrayIconIndex(kIdleIcon);
            if (searchBeginState_ == kServiceRunning) StartSearchWorker(false);
        }
        updateAddMenuItem();
        // A nested arrival may have registered the drive again by now; its watch is the new entry's.
        if (!nasManager_->getNasByname(Letter(Drive))) RemoveDriveChangeNotify(Drive);
    } catch (...) {
        UpdatePolling();
        throw;
    }
    UpdatePolling();
}

// Polling runs while a registered drive is to leave by itself once its backup is done: the removal
// of any other drive, shared or not, must not end it.
void TfmMain::UpdatePolling() {
    bool autoRemove = false;
    for (int index = 0; index < nasManager_->NasCount(); ++index) {
        const TShareSettings* config = nasManager_->GetNasByIndex(index)->AttachedNasSettings();
        if (config && config->FAutoRemove) autoRemove = true;
    }
    clock_.SetTimerEnabled(TTimer::Poll, autoRemove);
}

void TfmMain::VolumeAutoPlay(char16_t Drive) {
    if (settings_->FAutoPlay != 1) return;
    if (!fs::DirectoryExists(Root(Drive))) return;
    if (fs::ReplaceableFileExists(Root(Drive) + std::u16string(kDriveConfigFileName))) return;
    ShowAutoPlayDialog(Drive);
}

void TfmMain::ShowAutoPlayDialog(char16_t Drive) {
    const std::u16string label = VisibleText(usbDriveManager_->GetVolumeLabel(Drive));
    dialogs_.ShowAutoPlayDialog(Drive, label + u" (" + Letter(FoldCase(Drive)) + u":)");
}

void TfmMain::OnPollTimer() {
    for (int index = 0; index < nasManager_->NasCount(); ++index) {
        const char16_t letter = nasManager_->GetNasByIndex(index)->DriveName().front();
        if (!fs::RemoveFile(Root(letter) + std::u16string(kBackupDoneMarker)).ok()) continue;

        clock_.SetTimerEnabled(TTimer::Poll, false);
        pollTimerTag_ = pollTimerTag_ > 1 ? pollTimerTag_ - 1 : 0;
        // Taken now: the record goes with the drive's entry, and its file with the drive.
        std::shared_ptr<const TShareSettings> config = nasManager_->GetNasByIndex(index)->SharedSettings();
        std::optional<TEjectBlocker> blocker;
        try {
            LogDriveActivity(u"OK, Unbound ", u"files traffic done", Letter(letter));
            tray_.ShowBalloon(u"Drive " + Letter(letter) + u" \r\nunbound,  files traffic done",
                              TBalloonIcon::Information);
            clock_.Sleep(kBalloonTimeMs / 3);
            // The drive may have left meanwhile; then there is nothing left to unbind.
            std::u16string_view result = kDoneUnshared;
            if (const TNas* nas = nasManager_->getNasByname(Letter(letter))) {
                config = nas->SharedSettings();
                DisconnectNASDrive(letter);
                // A registered drive is ejected as before, even when its root went during the unbind;
                // the done addresses then hear only that it was unshared.
                const bool present = fs::DirectoryExists(Root(letter));
                const bool ejected = EjectDrive(letter, blocker);
                if (present) result = ejected ? kDoneEjected : kDoneEjectRefused;
                // A refusal without a word stays silent here; one that names its process is told.
                if (result != kDoneEjectRefused) blocker.reset();
                if (blocker) TellBlocker(letter, *blocker);
                clock_.ProcessPendingMessages();
            }
            ReportBackupEnd(config.get(), letter, result, blocker ? blocker->ProcessName : u"");
        } catch (...) {
            UpdatePolling();
            throw;
        }
        UpdatePolling();
        if (clock_.TimerEnabled(TTimer::Poll)) clock_.Sleep(200);
        clock_.ProcessPendingMessages();
        // Last: the box waits for the user, and nothing else should wait with it.
        if (blocker) ShowBlocker(letter, *blocker);
        return;  // at most one drive per tick
    }
}

void TfmMain::DisconnectNASDrive(char16_t AttachedNasDriveLetter) {
    const TNas* nas = nasManager_->getNasByname(Letter(AttachedNasDriveLetter));
    tray_.ShowBalloon(u"NAS device '" + (nas ? nas->ShareName() : std::u16string()) + u"'\r\nSuccessfully disconected",
                      TBalloonIcon::Information);
    clock_.Sleep(3000);
    VolumeRemoval(AttachedNasDriveLetter);
}

void TfmMain::RemoveNASDrive(char16_t AttachedNasDriveLetter) {
    const std::u16string letter = Letter(AttachedNasDriveLetter);
    userManager_->ChekToManualUserDelete(letter, nasManager_->GetNasDriveNamesList());
    const std::u16string root = Root(AttachedNasDriveLetter);
    const std::u16string active = root + std::u16string(kDriveConfigFileName);
    const std::u16string inactive = root + std::u16string(kInactiveDriveConfigFileName);
    // A complete twin that stands in for a file counts as the file, and moves with it: left behind,
    // it would bring the configuration back.
    if (!fs::ReplaceableFileExists(active)) return;
    (void)fs::DeleteReplaceableFile(inactive);
    (void)fs::MoveReplaceableFile(active, inactive);
    const TNas* nas = nasManager_->getNasByname(letter);
    tray_.ShowBalloon(u"NAS device '" + (nas ? nas->ShareName() : std::u16string()) + u"'\r\nSuccessfully removed",
                      TBalloonIcon::Information);
    clock_.Sleep(3000);
    VolumeRemoval(AttachedNasDriveLetter);
}

bool TfmMain::EjectRemovableDriveByLetter(char16_t DriveLetter) {
    std::optional<TEjectBlocker> blocker;
    const bool ejected = EjectAndTell(DriveLetter, blocker);
    if (blocker) ShowBlocker(DriveLetter, *blocker);
    return ejected;
}

bool TfmMain::EjectDrive(char16_t letter, std::optional<TEjectBlocker>& blocker) {
    blocker.reset();
    IEjectBlockerSource& blockers = services_.EjectBlockers;
    // Refusals recorded before this eject began are about an earlier one. A second back leaves room
    // for the granularity of the log's clock.
    const std::int64_t since = blockers.Now() - kTicksPerSecond;
    std::vector<std::u16string> refusedDevices;
    if (usbDriveManager_->RemoveDriveByLetter(letter, refusedDevices) && !fs::DirectoryExists(Root(letter))) {
        return true;
    }
    if (!refusedDevices.empty()) blocker = FindEjectBlocker(blockers, refusedDevices, since);
    return false;
}

bool TfmMain::EjectAndTell(char16_t letter, std::optional<TEjectBlocker>& blocker) {
    if (EjectDrive(letter, blocker)) {
        tray_.ShowBalloon(u"External Storage drive '" + Letter(letter) + u"'\r\n was successfully removed.",
                          TBalloonIcon::Information);
        return true;
    }
    if (blocker) {
        TellBlocker(letter, *blocker);
    } else {
        tray_.ShowBalloon(UnableToRemoveText(letter), TBalloonIcon::Warning);
    }
    return false;
}

void TfmMain::TellBlocker(char16_t letter, const TEjectBlocker& blocker) {
    const std::u16string text = BlockerText(letter, blocker);
    tray_.ShowBalloon(text, TBalloonIcon::Warning);
    LogApp(u"Eject refused ", text);
    LogDriveActivity(u"Eject refused ", text, Letter(letter));
}

void TfmMain::ShowBlocker(char16_t letter, const TEjectBlocker& blocker) {
    dialogs_.ShowMessage(BlockerText(letter, blocker), TMessageIcon::Warning);
}

void TfmMain::ReportBackupEnd(const TShareSettings* config, char16_t letter, std::u16string_view result,
                              std::u16string_view blocker) {
    if (!config) return;
    TBackupEnd end{std::u16string(result), config->FShareName, Letter(letter),
                   services_.System.ComputerName().value_or(u""), std::u16string(blocker)};
    StartDonePings(*config, std::move(end), services_.PingClients);
}

void TfmMain::StartSearchWorker(bool stop) {
    if (!searchSwitch_) {
        // The worker has its own manager over the same stateless system services.
        ISystemHost& system = services_.System;
        IServiceControl& services = services_.Services;
        searchSwitch_ = std::make_unique<TSearchServiceSwitch>(
            [&system, &services](bool stopIt) {
                TWinServiceMgmt manager(system, services);
                if (stopIt) {
                    (void)manager.WinSerchStop();
                } else {
                    (void)manager.WinSerchStart();
                }
            },
            services_.StartWorker);
    }
    searchSwitch_->Want(stop);
}

// --- Activity indication and the watcher ---

void TfmMain::OnDirectoryChanged() {
    const int index = tray_.TrayIconIndex();
    if (index == kActivityIcon) {
        clock_.SetTimerEnabled(TTimer::NotifyUsbDrive, true);
    } else if (index == kSharedIcon) {
        tray_.SetTrayIconIndex(kActivityIcon);
        clock_.SetTimerEnabled(TTimer::NotifyUsbDrive, false);
    }
}

void TfmMain::OnActivityTimer() {
    if (tray_.TrayIconIndex() != kActivityIcon) return;
    tray_.SetTrayIconIndex(kSharedIcon);
    clock_.SetTimerEnabled(TTimer::NotifyUsbDrive, false);
}

void TfmMain::AddDriveChangeNotify(char16_t Drive) {
    if (!fs::DirectoryExists(Root(Drive))) return;
    if (watcher_.Active()) watcher_.Stop();
    // Device notices run while the watcher stops: the drive may have left meanwhile, and its removal
    // has then taken its watch away already.
    if (!nasManager_->getNasByname(Letter(Drive)) || !fs::DirectoryExists(Root(Drive))) {
        RestartDriveChangeNotify();
        return;
    }
    // The root has an entry already when this arrival overtook the removal of an earlier one; the
    // restart gives it a fresh handle for the volume there now.
    const bool watched = std::any_of(watcher_.Entries.begin(), watcher_.Entries.end(),
                                     [&](const TWatchEntry& entry) { return entry.Directory == Root(Drive); });
    if (!watched) {
        const std::size_t count = watcher_.Entries.size();
        try {
            watcher_.Entries.push_back({Root(Drive), true, kFileNotifyChangeSize | kFileNotifyChangeLastWrite});
        } catch (const std::exception&) {
            if (watcher_.Entries.size() > count) watcher_.Entries.pop_back();
        }
    }
    RestartDriveChangeNotify();
}

void TfmMain::RemoveDriveChangeNotify(char16_t Drive) {
    if (watcher_.Active()) watcher_.Stop();
    // Device notices run while the watcher stops: an arrival there may have registered the drive anew,
    // and the watch is then the new entry's.
    if (!nasManager_->getNasByname(Letter(Drive))) {
        const std::u16string root = Root(Drive);
        for (auto entry = watcher_.Entries.begin(); entry != watcher_.Entries.end(); ++entry) {
            if (entry->Directory == root) {
                watcher_.Entries.erase(entry);
                break;
            }
        }
    }
    clock_.ProcessPendingMessages();
    RestartDriveChangeNotify();
}

void TfmMain::RestartDriveChangeNotify() {
    if (watcher_.Active()) watcher_.Stop();
    clock_.ProcessPendingMessages();
    if (watcher_.Entries.empty()) return;
    try {
        watcher_.Start();
    } catch (...) {
        // A drive can leave before its removal notice comes. Its root cannot be watched any more, and
        // that is no reason to stop watching the others or to bother the user.
        if (!DropVanishedWatchEntries()) throw;  // it failed for another reason
        if (!watcher_.Entries.empty()) watcher_.Start();
    }
}

// Whether there were any to drop.
bool TfmMain::DropVanishedWatchEntries() {
    return std::erase_if(watcher_.Entries,
                         [](const TWatchEntry& entry) { return !fs::DirectoryExists(entry.Directory); }) > 0;
}

// --- Sounds ---

std::u16string TfmMain::ResolveSoundName(std::u16string_view value) {
    return dv::ResolveSoundName(value);
}

void TfmMain::PlayEventSound(TSoundBox sound) {
    if (desktop_.PlayEventSound(sound)) return;
    PlayNotifySound(sound == TSoundBox::Available ? settings_->FSoundBackupAvailable : settings_->FSoundBackupDone);
}

void TfmMain::PlayNotifySound(std::u16string_view value) {
    PlaySettingSound(desktop_, value);
}

// --- Menus ---

std::u16string TfmMain::CapacityText(char16_t letter) {
    TUSBDrvInfo info;
    usbDriveManager_->GetUSBDiskDriveInfo(letter, info);
    return info.Capacity;
}

void TfmMain::AttachedNasDriveLettersChange(TNasManager&) {
    for (int slot = 0; slot < kMenuSlots; ++slot) {
        tray_.SetMenuSlot(TMenuSlots::Modify, slot, u"Modify:", false);
        tray_.SetMenuSlot(TMenuSlots::Eject, slot, u"Eject:", false);
    }
    const std::u16string computer = services_.System.ComputerName().value_or(u"");
    // Only twelve slots exist: drives past the twelfth stay shared but get no menu entries.
    for (int index = 0; index < nasManager_->NasCount() && index < kMenuSlots; ++index) {
        const TNas& nas = *nasManager_->GetNasByIndex(index);
        const char16_t letter = nas.DriveName().front();
        TUSBDrvInfo info;
        usbDriveManager_->GetUSBDiskDriveInfo(letter, info);
        if (nas.IsShared()) {
            tray_.SetMenuSlot(TMenuSlots::Modify, index,
                              ModifyCaption(info.VolLabel, letter, info.Capacity, computer, nas.ShareName()), true);
        }
        tray_.SetMenuSlot(TMenuSlots::Eject, index, EjectCaption(info.VolLabel, letter, info.Capacity), true);
    }
    tray_.SetRightClickMenu(nasManager_->NasCount() > 0 ? TPopupMenu::Eject : TPopupMenu::Tray);
}

void TfmMain::updateAddMenuItem() {
    if (!usbDriveManager_->areUsbDrivesPresent()) {
        tray_.SetAddCaption(kNoUsbDriveCaption);
        return;
    }
    std::vector<std::u16string> drives;
    usbDriveManager_->GetUsbDrives(drives);
    for (int index = nasManager_->NasCount() - 1; index >= 0; --index) {
        const TNas& nas = *nasManager_->GetNasByIndex(index);
        const auto found = std::find(drives.begin(), drives.end(), nas.DriveName());
        if (found != drives.end() && nas.IsShared()) drives.erase(found);
        if (drives.empty()) {
            tray_.SetAddCaption(kNoUsbDriveCaption);
            return;
        }
    }
    std::vector<TAddableDrive> addable;
    for (const std::u16string& drive : drives) addable.push_back({drive.front(), CapacityText(drive.front())});
    tray_.SetAddCaption(AddCaption(addable));
}

void TfmMain::OnTrayMenuPopup() {
    if (tray_.HostCaption() == u"Host:") tray_.SetHostCaption(HostCaption(winServiceManager_->getHostname()));
}

void TfmMain::OnHeaderItem() {
    desktop_.OpenHomePageFromVersionInfo();
}

void TfmMain::OnHostItem() {
    winServiceManager_->ShowSystemProperties();
}

// --- Commands ---

void TfmMain::OnAddItem() {
    if (!usbDriveManager_->areUsbDrivesPresent()) {
        dialogs_.ShowMessage(u"No USB storage device present. Add device first.", TMessageIcon::Information);
        return;
    }
    if (!usbDriveManager_->areUsbDrivesAvailable(nasManager_->GetNasDriveNamesList())) {
        dialogs_.ShowMessage(u"Nothing to add. Please connect an (extra) USB drive first", TMessageIcon::Information);
        return;
    }
    if (driveSettingsOpen_) return;
    const TrueWhile open(driveSettingsOpen_);

    const auto result = dialogs_.ShowDriveSettingsDialog(mAdd, u"");
    if (!result || result->Drive.empty()) return;
    ApplyDriveSettings(mAdd, result->Drive.front(), result->VolumeName);
}

void TfmMain::OnModifyItem(int slot) {
    const TNas* nas = nasManager_->GetNasByIndex(slot);
    if (!nas || driveSettingsOpen_) return;
    const TrueWhile open(driveSettingsOpen_);

    // A copy: the dialog lets other handlers run, which may remove the entry while it is shown.
    const std::u16string drive = nas->DriveName();
    const auto result = dialogs_.ShowDriveSettingsDialog(mModify, drive);
    if (!result || result->Drive.empty()) return;
    ApplyDriveSettings(mModify, result->Drive.front(), result->VolumeName);
}

void TfmMain::ApplyDriveSettings(TMode mode, char16_t letter, std::u16string_view volumeName) {
    if (mode == mModify) {
        VolumeRemoval(letter);
        VolumeArrival(letter);
        (void)services_.Volumes.ChangeVolumeLabel(letter, volumeName);
        return;
    }
    const std::u16string root = TDriveLetter(letter).Root();
    const std::u16string active = root + std::u16string(kDriveConfigFileName);
    const std::u16string inactive = root + std::u16string(kInactiveDriveConfigFileName);
    if (fs::ReplaceableFileExists(inactive)) {
        if (fs::ReplaceableFileExists(active)) {
            (void)fs::DeleteReplaceableFile(inactive);
        } else {
            (void)fs::MoveReplaceableFile(inactive, active);
        }
    }
    VolumeArrival(letter);
}

void TfmMain::OnEjectItem(int slot) {
    const TNas* nas = nasManager_->GetNasByIndex(slot);
    if (!nas) return;
    const char16_t letter = nas->DriveName().front();
    const TEjectOutcome outcome = EjectAttachedDrive(letter);
    // Last: the box waits for the user, and the menus and the done addresses should not wait with it.
    if (outcome.Blocker) ShowBlocker(letter, *outcome.Blocker);
}

TEjectOutcome TfmMain::EjectAttachedDrive(char16_t letter) {
    const TNas* nas = nasManager_->getNasByname(Letter(letter));
    if (!nas) return {TEjectResult::NotAttached, std::nullopt, u"Drive " + Letter(letter) + u": is not attached."};
    // Taken now: the record goes with the drive's entry, and its file with the drive.
    const std::shared_ptr<const TShareSettings> config = nas->SharedSettings();
    TEjectOutcome outcome{TEjectResult::Unshared, std::nullopt, {}};
    try {
        DisconnectNASDrive(letter);
        // A drive that left during the wait needs no eject, and gets no word that it failed.
        std::u16string_view result = kDoneUnshared;
        if (fs::DirectoryExists(Root(letter))) {
            result = EjectAndTell(letter, outcome.Blocker) ? kDoneEjected : kDoneEjectRefused;
            if (result == kDoneEjectRefused) (void)nasManager_->addNas(Letter(letter), false);
        }
        if (result == kDoneEjected) outcome.Result = TEjectResult::Ejected;
        if (result == kDoneEjectRefused) {
            outcome.Result = TEjectResult::Refused;
            outcome.Refusal = outcome.Blocker ? BlockerText(letter, *outcome.Blocker) : UnableToRemoveText(letter);
        }
        ReportBackupEnd(config.get(), letter, result, outcome.Blocker ? outcome.Blocker->ProcessName : u"");
    } catch (...) {
        AttachedNasDriveLettersChange(*nasManager_);
        throw;
    }
    AttachedNasDriveLettersChange(*nasManager_);
    return outcome;
}

void TfmMain::OnRenewPassword() {
    if (!dialogs_.AskYesNo(u"Renew password?", kApplicationTitle)) return;
    RenewMasterPassword();
}

void TfmMain::RenewMasterPassword() {
    TApplicationSettings& settings = *settings_;
    const std::u16string oldPassword = userManager_->MakePassword(settings.FPasswordSalt);
    const std::u16string salt = userManager_->RandomStr(32);
    userManager_->UserChangePassword(std::u16string(kMasterAccountName), oldPassword, userManager_->MakePassword(salt));
    settings.FPasswordSalt = salt;
    settings.Save();
    tray_.ShowBalloon(u"Password successfully renewed.", TBalloonIcon::Information);
}

void TfmMain::OnSettingsItem() {
    settingsView_.ShowSettingsWindow();
    OnSettingsWindowShown();
}

void TfmMain::OnAboutItem() {
    if (aboutOpen_) return;
    const TrueWhile open(aboutOpen_);
    dialogs_.ShowAboutBox();
}

void TfmMain::OnHelpItem() {
    webLinks_->goToOnlineHelp();
}

void TfmMain::OnCheckForUpdates() {
    (void)webLinks_->goToUpdateLink();
}

void TfmMain::OnDomainUserItem() {
    if (domainUserOpen_) return;
    const TrueWhile open(domainUserOpen_);
    dialogs_.ShowDomainUserDialog(*userManager_, *settings_);
}

// --- The settings window ---

void TfmMain::OnSettingsWindowShown() {
    FillSoundLists();
}

void TfmMain::FillSoundLists() {
    clock_.ProcessPendingMessages();
    // Copies: the pumps below may run a handler that changes the settings.
    const std::pair<TSoundBox, std::u16string> boxes[] = {
        {TSoundBox::Available, settings_->FSoundBackupAvailable},
        {TSoundBox::Done, settings_->FSoundBackupDone},
    };
    for (const auto& [box, stored] : boxes) {
        const TSoundBoxFill fill = SoundBoxFill(box, stored);
        settingsView_.SetSoundEntries(box, fill.Entries);
        clock_.ProcessPendingMessages();
        settingsView_.SelectSound(box, fill.Selected);
    }
}

void TfmMain::SoundBoxChange(TSoundBox box) {
    OnSoundBoxChanged(settingsView_, box);
}

std::u16string TfmMain::SoundText(TSoundBox box) const {
    const std::vector<std::u16string> entries = settingsView_.SoundEntries(box);
    const int selected = settingsView_.SelectedSound(box);
    if (selected < 0 || selected >= static_cast<int>(entries.size())) return {};
    return entries[static_cast<std::size_t>(selected)];
}

void TfmMain::OnSettingsOk() {
    TApplicationSettings& settings = *settings_;
    settings.FSoundBackupAvailable = SoundText(TSoundBox::Available);
    settings.FSoundBackupDone = SoundText(TSoundBox::Done);
    settings.FAutoStart = settingsView_.AutostartChecked();
    // Settings that could not be read keep their file: the salt in it is the master password's.
    if (!settingsUnread_) settings.Save();
    OnMainWindowClose();
}

void TfmMain::OnSettingsCancel() {
    OnMainWindowClose();
}

void TfmMain::OnAutostartClick(bool checked) {
    if (initializing_) return;
    winServiceManager_->SetAutostartProgram(checked);
    settings_->FAutoStart = checked;
}

void TfmMain::OnAutoPlayChange(int index) {
    settings_->FAutoPlay = index;
    winServiceManager_->USBAutoPalyStartStop(index);
}

bool TfmMain::SetFaceAutostart(bool enabled) {
    if (!services_.System.SetFaceStartsAtSignIn(enabled)) return false;
    settings_->FAutoStart = enabled;
    settingsView_.SetAutostartChecked(enabled);
    return true;
}

// --- What the registry needs ---

void TfmMain::ShowErrorMessage(std::u16string_view text) {
    dialogs_.ShowMessage(text, TMessageIcon::Error);
}

void TfmMain::ShowWarningBalloon(std::u16string_view text) {
    tray_.ShowBalloon(text, TBalloonIcon::Warning);
}

void TfmMain::ProcessPendingMessages() {
    clock_.ProcessPendingMessages();
}

}  // namespace dv
