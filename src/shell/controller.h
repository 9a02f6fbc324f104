// The application's controller: owns every manager and the settings, runs start-up and shutdown,
// reacts to drives, timers and the tray commands. Everything it shows goes through the narrow views
// of main_view.h.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/share_api.h"
#include "accounts/user_api.h"
#include "dialogs/web_links.h"
#include "drives/eject_blocker.h"
#include "drives/volume_query.h"
#include "platform/product.h"
#include "sharing/nas.h"
#include "shell/main_view.h"
#include "shell/search_service_switch.h"
#include "shell/tray_captions.h"
#include "system/system_host.h"

namespace dv {

class TShareManager;
class TUserManager;
class TUSBDriveManager;
class TVolumeObserver;
class TWinServiceMgmt;

inline constexpr std::u16string_view kTrayHint = u"Automatically share an USB drive on your network";
inline constexpr std::u16string_view kSilentSound = u"Silent (no sound)";
inline constexpr std::u16string_view kBackupDoneMarker = u"backup.done";
inline constexpr int kMenuSlots = 12;
inline constexpr std::uint32_t kPollIntervalMs = 5000;
inline constexpr std::uint32_t kBalloonTimeMs = 10000;
inline constexpr int kIdleIcon = 2;
inline constexpr int kSharedIcon = 3;
inline constexpr int kActivityIcon = 4;

enum class TCloseAction { caNone, caFree };

// How an eject asked for by drive letter ended.
enum class TEjectResult {
    NotAttached,  // no such drive in the registry: nothing was done
    Ejected,
    Unshared,  // the drive left during the unbind: nothing was left to eject
    Refused,   // unshared, and still plugged in
};
struct TEjectOutcome {
    TEjectResult Result = TEjectResult::NotAttached;
    // The process the system named for a refusal.
    std::optional<TEjectBlocker> Blocker;
    // What the user is told of a refusal (or of a drive that is not attached): the box's text when the
    // system named a process, the warning balloon's otherwise.
    std::u16string Refusal;
};

// The platform the controller runs on: the system services of the managers, its own view, clock and
// watcher, and how it starts workers and reports errors that escape.
struct TMainServices {
    IShareApi& ShareApi;
    IUserApi& UserApi;
    IVolumeQuery& Volumes;
    IDeviceEject& Devices;
    // Where a refused eject finds the process that refused it.
    IEjectBlockerSource& EjectBlockers;
    ISystemHost& System;
    IServiceControl& Services;
    IWebSystem& Web;
    ITrayView& Tray;
    ISettingsView& Settings;
    IDialogView& Dialogs;
    ISoundsAndShell& Desktop;
    IClock& Clock;
    IDirectoryWatcher& Watcher;
    // The volume observer, with the central error handler for errors of its handlers.
    std::function<std::unique_ptr<TVolumeObserver>()> CreateVolumeObserver;
    std::function<std::u16string()> SettingsFileName;
    TPingToWebTh::ClientFactory PingClients;
    // Runs a search-service worker on a thread of its own; nobody waits for it. The worker uses System
    // and Services: whoever runs it keeps them alive until it ends.
    std::function<void(std::function<void()>)> StartWorker;
    // The central error handler: reports an error that escaped a handler, a timer, a command or the
    // start-up, and returns.
    std::function<void(std::exception_ptr)> ReportError;
    // The Windows folder without a trailing backslash.
    std::u16string WindowsFolder;
};

class TfmMain : public INasHost {
public:
    // Runs the whole start-up. A step that fails is told (one warning balloon at the end, a line in the
    // application log) and the steps that do not need it still run; the next drive arrival tries the
    // settings and the master account again.
    explicit TfmMain(TMainServices services);
    // Saves the settings (when they could be read) and frees everything; shares, accounts and rights
    // stay in the system.
    ~TfmMain() override;
    TfmMain(const TfmMain&) = delete;
    TfmMain& operator=(const TfmMain&) = delete;

    // --- What the registry needs ---
    TShareManager& ShareManager() override { return *shareManager_; }
    TUserManager& UserManager() override { return *userManager_; }
    TApplicationSettings& ApplicationSettings() override { return *settings_; }
    void AttachedNasDriveLettersChange(TNasManager& Sender) override;
    void ShowErrorMessage(std::u16string_view text) override;
    void ShowWarningBalloon(std::u16string_view text) override;
    void ProcessPendingMessages() override;
    std::optional<std::u16string> MasterAccountFailure() override { return masterAccountFailure_; }
    TPingToWebTh::ClientFactory PingClientFactory() override { return services_.PingClients; }

    // --- Drive events ---
    void VolumeArrival(char16_t Drive);
    void VolumeRemoval(char16_t Drive);
    void VolumeAutoPlay(char16_t Drive);
    void OnPollTimer();
    void OnActivityTimer();
    void OnDirectoryChanged();
    void DisconnectNASDrive(char16_t AttachedNasDriveLetter);
    void RemoveNASDrive(char16_t AttachedNasDriveLetter);
    bool EjectRemovableDriveByLetter(char16_t DriveLetter);
    void ShowAutoPlayDialog(char16_t Drive);

    // --- Sounds ---
    static std::u16string ResolveSoundName(std::u16string_view value);
    void PlayNotifySound(std::u16string_view value);

    // --- Menus and commands ---
    void updateAddMenuItem();
    void OnTrayMenuPopup();
    void OnHeaderItem();
    void OnHostItem();
    void OnAddItem();
    void OnModifyItem(int slot);
    void OnEjectItem(int slot);
    void OnRenewPassword();
    void OnSettingsItem();
    void OnAboutItem();
    void OnHelpItem();
    void OnCheckForUpdates();
    void OnDomainUserItem();
    void OnExitItem();

    // --- The settings window ---
    void OnSettingsWindowShown();
    void FillSoundLists();
    void OnAvailableSoundChange() { SoundBoxChange(TSoundBox::Available); }
    void OnDoneSoundChange() { SoundBoxChange(TSoundBox::Done); }
    void OnPlayAvailableSound() { PlayNotifySound(SoundText(TSoundBox::Available)); }
    void OnPlayDoneSound() { PlayNotifySound(SoundText(TSoundBox::Done)); }
    void OnAutostartClick(bool checked);
    void OnAutoPlayChange(int index);
    void OnSettingsOk();
    void OnSettingsCancel();

    // --- What the commands do once the user has answered ---
    // The Eject entry for the attached drive with this letter, up to its message box, which is the
    // caller's: unbind, eject, the balloons, the done addresses, the menus.
    TEjectOutcome EjectAttachedDrive(char16_t letter);
    // The renewal of the master password, asked already.
    void RenewMasterPassword();
    // What the drive settings dialog's OK leads to once the drive's file is stored: in mAdd the drive
    // joins the pool (a configuration set aside comes back) and is shared; in mModify it is shared again
    // with its new configuration and then gets `volumeName` as its label.
    void ApplyDriveSettings(TMode mode, char16_t letter, std::u16string_view volumeName);
    // Whether every person's face starts at sign-in; false, and nothing changed, when the system did
    // not take it. The setting reaches the file with the next save.
    bool SetFaceAutostart(bool enabled);

    // Closing the main window: hides it while the application runs; after Exit, shuts down.
    void OnMainWindowClose();

    // --- State, for the platform side and tests ---
    TNasManager& NasManager() { return *nasManager_; }
    TUSBDriveManager& USBDriveManager() { return *usbDriveManager_; }
    TWinServiceMgmt& WinServiceManager() { return *winServiceManager_; }
    TWebLinks& WebLinks() { return *webLinks_; }
    IVolumeQuery& Volumes() { return services_.Volumes; }
    int PollTimerTag() const { return pollTimerTag_; }
    bool Initializing() const { return initializing_; }
    // Why the settings could not be read; nothing once they were. Unread settings are never written.
    const std::optional<std::u16string>& SettingsUnread() const { return settingsUnread_; }
    TCloseAction CloseAction() const { return closeAction_; }
    std::uint32_t WinSerchBeginState() const { return searchBeginState_; }

    // Runs a handler the way the message loop does: an error that escapes goes to the central error
    // handler and the application runs on.
    void Guarded(const std::function<void()>& handler);

private:
    void StartUp();
    // --- Start-up steps that may fail, and their second tries ---
    // Nothing when the step succeeded; otherwise the reason, the error's own message on one line.
    static std::optional<std::u16string> TryStep(const std::function<void()>& step);
    // Runs a step; a failure is told with `failure` and the reason. True when it succeeded.
    bool StartUpStep(std::u16string_view failure, const std::function<void()>& step);
    // A line in the application log and, during the start-up, an entry of its warning balloon.
    void TellStartUpFailure(const std::u16string& logText, const std::u16string& balloonText);
    bool ReadSettings();
    // What needs the settings: the domain decision, the settings saved, the master account.
    void SettingsSteps();
    void SaveSettingsStep();
    void MasterAccountStep();
    // Whether the settings got a new salt.
    bool MakeMasterAccount();
    // The start-on-logon box and the AutoPlay mode, from the settings.
    void ApplySettings();
    bool StartUpStepsToRetry() const;
    void RetryStartUpSteps();
    void ShareArrivedDrive(char16_t Drive);
    void PlayEventSound(TSoundBox sound);

    void InitMenuLists();
    void ShareAttachedDrives();
    void AnnounceSharedDrive(char16_t Drive);
    bool ArrivalGoesOn(char16_t Drive, const TShareSettings& config);
    // Calls the done addresses of the drive's record (taken while the drive was registered) with
    // what became of it.
    void ReportBackupEnd(const TShareSettings* config, char16_t letter, std::u16string_view result,
                         std::u16string_view blocker = {});
    // The eject itself; after a refusal, the process the system names for it.
    bool EjectDrive(char16_t letter, std::optional<TEjectBlocker>& blocker);
    // The eject with its balloons and, after a refusal that names a process, its log lines; the
    // message box is the caller's, once the rest is done.
    bool EjectAndTell(char16_t letter, std::optional<TEjectBlocker>& blocker);
    void TellBlocker(char16_t letter, const TEjectBlocker& blocker);
    void ShowBlocker(char16_t letter, const TEjectBlocker& blocker);
    void UpdatePolling();
    void AddDriveChangeNotify(char16_t Drive);
    void RemoveDriveChangeNotify(char16_t Drive);
    void RestartDriveChangeNotify();
    bool DropVanishedWatchEntries();
    std::u16string CapacityText(char16_t letter);
    void StartSearchWorker(bool stop);
    void SoundBoxChange(TSoundBox box);
    std::u16string SoundText(TSoundBox box) const;

    TMainServices services_;
    ITrayView& tray_;
    ISettingsView& settingsView_;
    IDialogView& dialogs_;
    ISoundsAndShell& desktop_;
    IClock& clock_;
    IDirectoryWatcher& watcher_;

    TCloseAction closeAction_ = TCloseAction::caNone;
    bool initializing_ = false;
    std::uint32_t searchBeginState_ = 1;
    // Made at the start-up, over the services the workers are given.
    std::unique_ptr<TSearchServiceSwitch> searchSwitch_;
    int pollTimerTag_ = 0;
    // Dialogs open at this moment: each exists at most once.
    bool driveSettingsOpen_ = false;
    bool domainUserOpen_ = false;
    bool aboutOpen_ = false;

    // What failed at start-up and is tried again at the next drive arrival.
    // Why the settings could not be read; until they are, nothing writes them (nor their empty path).
    std::optional<std::u16string> settingsUnread_ = u"not read yet";
    bool settingsUnsaved_ = false;
    std::optional<std::u16string> masterAccountFailure_;
    // The start-up's failures, for its warning balloon.
    std::vector<std::u16string> startUpFailures_;
    // Arrivals that came while the failed steps were being tried again.
    bool retryingStartUp_ = false;
    std::vector<char16_t> arrivalsDuringRetry_;

    // Declared first, destroyed last: the managers and the drives' entries refer to it.
    std::unique_ptr<TApplicationSettings> settings_;
    std::unique_ptr<TShareManager> shareManager_;
    std::unique_ptr<TUSBDriveManager> usbDriveManager_;
    std::unique_ptr<TWinServiceMgmt> winServiceManager_;
    std::unique_ptr<TUserManager> userManager_;
    std::unique_ptr<TWebLinks> webLinks_;
    std::unique_ptr<TNasManager> nasManager_;
    std::unique_ptr<TVolumeObserver> volumeObserver_;
};

}  // namespace dv
