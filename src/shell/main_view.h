// What the main controller shows and the platform services it drives, as seen from its logic: the
// tray icon with its menus, the settings window, message boxes and dialogs, sounds and the shell,
// timers and the watcher. Each is a narrow interface of its own; native tests use recording
// stand-ins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialogs/dialog_types.h"

namespace dv {

class TApplicationSettings;
class TUserManager;

// --- What the controller shows ---

enum class TBalloonIcon { Information, Warning };
enum class TMessageIcon { Information, Warning, Error };
// The tray icon's two popup menus.
enum class TPopupMenu { Tray, Eject };
enum class TMenuSlots { Modify, Eject };
enum class TSoundBox { Available, Done };

// The tray icon and what its two menus hold.
class ITrayView {
public:
    virtual ~ITrayView() = default;

    // Tray icon image: 2 idle, 3 shared, 4 activity.
    virtual void SetTrayIconIndex(int index) = 0;
    virtual int TrayIconIndex() const = 0;
    // Title "Dockvane™", 10 s; replaces a balloon still shown.
    virtual void ShowBalloon(std::u16string_view text, TBalloonIcon icon) = 0;

    virtual void SetMenuSlot(TMenuSlots slots, int slot, std::u16string_view caption, bool visible) = 0;
    virtual void SetAddCaption(std::u16string_view caption) = 0;
    virtual void SetHostCaption(std::u16string_view caption) = 0;
    virtual std::u16string HostCaption() const = 0;
    virtual void SetDomainUserItemVisible(bool visible) = 0;
    virtual void SetPasswordRenewEnabled(bool enabled) = 0;
    // The menu a right click opens.
    virtual void SetRightClickMenu(TPopupMenu menu) = 0;

    // A drive was shared, and a shared drive left the registry. The tray shows both through its
    // balloons and menus already; a view that shows the engine elsewhere tells them as they happen.
    virtual void DriveShared(char16_t letter, std::u16string_view shareName) {
        (void)letter;
        (void)shareName;
    }
    virtual void DriveUnshared(char16_t letter) { (void)letter; }
};

// The settings window (the main form shown) and its controls.
class ISettingsView {
public:
    virtual ~ISettingsView() = default;

    // The sound boxes: their entries, the selected one (-1: none) and its text.
    virtual void SetSoundEntries(TSoundBox box, const std::vector<std::u16string>& entries) = 0;
    virtual std::vector<std::u16string> SoundEntries(TSoundBox box) const = 0;
    virtual void SelectSound(TSoundBox box, int index) = 0;
    virtual int SelectedSound(TSoundBox box) const = 0;
    // The file chooser for a wave file; nothing when the user cancels.
    virtual std::optional<std::u16string> ChooseSoundFile() = 0;

    // The start-on-logon box and the AutoPlay choice (-1: no selection), and the folder the sound
    // file chooser opens in.
    virtual bool AutostartChecked() const = 0;
    virtual void SetAutostartChecked(bool checked) = 0;
    virtual void SetAutoPlaySelection(int index) = 0;
    virtual void SetSoundFileFolder(std::u16string_view folder) = 0;

    virtual void ShowSettingsWindow() = 0;
    virtual void HideSettingsWindow() = 0;
};

// Message boxes and the modal dialogs.
class IDialogView {
public:
    virtual ~IDialogView() = default;

    // Modal message boxes with OK; a Yes/No question with the question icon.
    virtual void ShowMessage(std::u16string_view text, TMessageIcon icon) = 0;
    [[nodiscard]] virtual bool AskYesNo(std::u16string_view text, std::u16string_view caption) = 0;

    // The drive settings dialog answers the chosen drive letter and the volume name field on OK,
    // nothing otherwise.
    virtual std::optional<TDriveSettingsResult> ShowDriveSettingsDialog(TMode mode,
                                                                        std::u16string_view driveLetter) = 0;
    // The domain user dialog works on the account manager and the settings it is given, so that
    // start-up can show it before the controller is known to anyone.
    virtual void ShowDomainUserDialog(TUserManager& users, TApplicationSettings& settings) = 0;
    virtual void ShowAboutBox() = 0;
    // Created once and reused; `caption` is the volume label and the drive ("BACKUP (E:)").
    virtual void ShowAutoPlayDialog(char16_t driveLetter, std::u16string_view caption) = 0;
};

// The shell change events sent for a drive that was just shared.
inline constexpr std::uint32_t kShcneNetShare = 0x200;     // SHCNE_NETSHARE
inline constexpr std::uint32_t kShcneShareEvents = 0x205;  // SHCNE_NETSHARE | SHCNE_DELETE | SHCNE_RENAMEITEM

// Sounds, the shell and the application's end.
class ISoundsAndShell {
public:
    virtual ~ISoundsAndShell() = default;

    // Played asynchronously: a wave file (a missing one plays the system's default sound), or a
    // sound built into the executable by name, which does not interrupt one already playing. False
    // when there is no such built-in sound.
    virtual void PlaySoundFile(std::u16string_view path) = 0;
    virtual bool PlayBuiltInSound(std::u16string_view name) = 0;
    // The sound of a drive shared (Available) or gone (Done), where a view plays the sound that the
    // person in front of it chose. False: the controller plays the one of the settings itself.
    virtual bool PlayEventSound(TSoundBox sound) {
        (void)sound;
        return false;
    }

    // Tells the shell that something changed at a path (SHChangeNotify with SHCNF_PATHW).
    virtual void NotifyShell(std::uint32_t eventId, std::u16string_view path) = 0;
    // Opens the home page named in the executable's version information ("Comments"); nothing when
    // it cannot be read.
    virtual void OpenHomePageFromVersionInfo() = 0;
    // Ends the message loop after the controller has shut down.
    virtual void QuitApplication() = 0;
};

// --- Timers, waits and the message pump ---

enum class TTimer { Poll, NotifyUsbDrive };

class IClock {
public:
    virtual ~IClock() = default;
    virtual void SetTimerInterval(TTimer timer, std::uint32_t milliseconds) = 0;
    // Enabling a timer that runs already keeps its interval going.
    virtual void SetTimerEnabled(TTimer timer, bool enabled) = 0;
    virtual bool TimerEnabled(TTimer timer) const = 0;
    // Blocks the user-interface thread.
    virtual void Sleep(std::uint32_t milliseconds) = 0;
    virtual void ProcessPendingMessages() = 0;
};

// --- The directory-change watcher ---

inline constexpr std::uint32_t kFileNotifyChangeSize = 0x08;       // FILE_NOTIFY_CHANGE_SIZE
inline constexpr std::uint32_t kFileNotifyChangeLastWrite = 0x10;  // FILE_NOTIFY_CHANGE_LAST_WRITE
inline constexpr std::size_t kMaxWatchedDirectories = 64;
inline constexpr std::uint32_t kWatcherCheckIntervalMs = 3000;

struct TWatchEntry {
    std::u16string Directory;
    bool IncludeSubtree = true;
    std::uint32_t Filter = 0;
};

// Watches directories; each change is handed to the user-interface thread, one at a time.
class IDirectoryWatcher {
public:
    virtual ~IDirectoryWatcher() = default;
    std::vector<TWatchEntry> Entries;
    // Opens one change handle per entry and starts waiting; raises when there are more than 64
    // entries or a directory does not exist (and then watches nothing).
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual bool Active() const = 0;
    // Called on the user-interface thread for every signalled directory.
    std::function<void(const std::u16string& directory)> OnChange;
};

}  // namespace dv
