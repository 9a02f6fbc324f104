// The drive settings dialog: what fills it, what its buttons check, store and ask the controller to
// do. The window (drive_settings_dialog_win.cpp) shows the controls held here and forwards the
// user's actions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialogs/dialog_types.h"
#include "drives/usb_drive_mgmt.h"
#include "platform/drive_letter.h"
#include "settings/app_settings.h"
#include "settings/share_settings.h"

namespace dv {

inline constexpr std::u16string_view kDriveSettingsCaption = u"Drive Settings";
inline constexpr std::u16string_view kShareNameCannotBeBlank = u"Share name cannot be blank";
inline constexpr std::u16string_view kConfirmDisable =
    u"This will remove this USB Disk from the auto share pool. Are you sure?";
inline constexpr std::u16string_view kConfirmEject = u"This will eject this External Storage drive. Are you sure?";
inline constexpr std::u16string_view kCopyHostHint = u"Copy host information (to clipboard)";
inline constexpr std::u16string_view kAutoRemoveDesignCaption = u"(check for file backup.done)";

// What the dialog's OK stores in a drive's configuration file.
struct TDriveSettingsFields {
    std::u16string ShareName;
    std::u16string Description;
    std::u16string Account;
    bool AutoRemove = false;
    bool Encrypt = false;
};

// What the drive settings dialog needs of the main controller. Every call runs on the user-interface
// thread while the dialog is open.
class IDriveSettingsHost {
public:
    virtual ~IDriveSettingsHost() = default;

    // --- USB drives (TUSBDriveManager) ---
    // The USB drive letters, C to Z ("E").
    virtual std::vector<std::u16string> GetUsbDrives() = 0;
    // GetDriveTypeW of the drive root (kDriveRemovable, kDriveFixed, ...).
    virtual std::uint32_t DriveType(char16_t drive) = 0;
    virtual TUSBDrvInfo GetUSBDiskDriveInfo(char16_t drive) = 0;
    // The label in upper case ("" when none).
    virtual std::u16string GetVolumeLabel(char16_t drive) = 0;
    // The label exactly as the volume stores it ("" when none or unreadable).
    virtual std::u16string StoredVolumeLabel(char16_t drive) = 0;
    // Whether the drive carries `label` afterwards.
    virtual bool chageDriveLabel(char16_t drive, std::u16string_view label) = 0;
    // The folder the drive's configuration files live in: "E:\" (tests put it elsewhere).
    virtual std::u16string DriveRoot(char16_t drive) { return TDriveLetter(drive).Root(); }

    // --- The drive's configuration file: by default read and written on the drive itself ---
    // Whether the drive's root holds `fileName` (velmora.conf, or the one set aside).
    virtual bool DriveFileExists(char16_t drive, std::u16string_view fileName);
    // `fileName` of the drive read; the defaults for one that is not there.
    virtual std::unique_ptr<TShareSettings> ReadDriveFile(char16_t drive, std::u16string_view fileName);
    // The dialog's OK for `drive`, whose label is set already: stores the fields in `settings` (what
    // ReadDriveFile gave) as StoreDriveSettings does. Raises when they could not be stored.
    virtual void StoreDriveFile(char16_t drive, TShareSettings& settings, const TDriveSettingsFields& fields);
    // The password the dialog shows and copies for one of its accounts: the master password for the
    // default account, the one derived for a drive's own account otherwise; "" when it is not known.
    virtual std::u16string AccountPassword(std::u16string_view account);

    // --- Attached drives (TNasManager) ---
    // The share name of the attached drive (TNas::ShareName); nothing when the drive is not attached.
    virtual std::optional<std::u16string> AttachedShareName(char16_t drive) = 0;
    virtual std::vector<std::u16string> GetNasDriveNamesList() = 0;
    virtual std::vector<std::u16string> GetNasShareNamesList() = 0;

    // --- Accounts (TUserManager) ---
    virtual std::vector<std::u16string> GetDockvaneUserList() = 0;
    virtual std::u16string GenerateUserNameByShareName(const std::u16string& shareName) = 0;
    virtual std::u16string MakePassword(const std::u16string& salt) = 0;
    virtual bool ChekToManualUserDeleteByuserName(const std::u16string& userName,
                                                  const std::vector<std::u16string>& attachedDriveLetters) = 0;

    // --- The computer (TWinServiceMgmt) and the settings record ---
    virtual std::u16string getHostname() = 0;
    virtual TApplicationSettings& ApplicationSettings() = 0;

    // --- The controller's drive operations; each reports its own failures to the user ---
    virtual void RemoveNASDrive(char16_t drive) = 0;
    virtual void DisconnectNASDrive(char16_t drive) = 0;
    virtual bool EjectRemovableDriveByLetter(char16_t drive) = 0;
};

enum class TMessageKind { Error, Warning };

// What the dialog's logic asks of its window.
class IModifyNASView {
public:
    virtual ~IModifyNASView() = default;
    // A modal box with an OK button.
    virtual void ShowMessage(std::u16string_view text, TMessageKind kind) = 0;
    // An OK/Cancel question with the question icon, captioned with the application title.
    virtual bool Confirm(std::u16string_view text) = 0;
    virtual void FocusShareName() = 0;
    // Shows the controls as they are now, then the busy panel; lets pending messages run.
    virtual void ShowBusy() = 0;
    // Hides the busy panel and gives the buttons back, as the controls now are. Nothing once the
    // dialog is closing.
    virtual void EndBusy() = 0;
    virtual void CloseDialog(TDialogResult result) = 0;
    virtual void SetClipboardText(std::u16string_view text) = 0;
};

// A list control's content.
struct TListState {
    std::vector<std::u16string> Items;
    int ItemIndex = -1;
    bool Enabled = true;
};

// The controls' content, named after the controls.
struct TModifyNASControls {
    std::u16string edHostName;
    TListState cbImageDriveLetter;
    TListState cbDriveLetter;
    std::u16string edVolumeName;
    std::u16string edShareName;
    std::u16string edShareDescription;
    TListState cbShareUserNm;
    std::u16string cbShareUserNmText;  // the editable text of the user name box
    std::u16string edShareUserNm;
    std::u16string edSharePasswd;
    bool cbAutoRemove = false;
    std::u16string LabelAutoRemove{kAutoRemoveDesignCaption};
    bool cbEncrypt = false;
    bool btnUpdateEnabled = true;
    bool btnDisableEnabled = false;
    bool btnDisableRemoveEnabled = false;
    bool pnlPleaseWaitVisible = true;
};

class TfmModifyNAS {
public:
    // Runs the creation handler.
    TfmModifyNAS(IDriveSettingsHost& host, IModifyNASView& view, TMode Mode);

    TMode Mode() const { return mode_; }
    // The selected drive letter ("" when none).
    const std::u16string& Drive() const { return drive_; }
    // Selects the drive's entry in the drive list (none when it is not listed).
    void SetDrive(std::u16string_view drive);
    const TShareSettings* ShareSettings() const { return shareSettings_.get(); }

    TModifyNASControls Controls;

    void OnDriveLetterChange();
    void OnDrivePickerChange(int pickerIndex);
    void OnActivate();
    // The button's modal result: TDialogResult::Ok when every check passed, TDialogResult::None otherwise.
    TDialogResult OnUpdate();
    // Stores the fields when the result is OK. False when they could not be stored; the dialog then
    // stays open, as the error was shown.
    bool OnClose(TDialogResult result);
    void OnDisable();
    void OnDisableRemove();
    void OnCopyHost();
    void OnCopyUserName();
    void OnCopyPassword();

private:
    void FillControls();
    void LoadActiveSettings();
    void LoadInactiveSettings();
    void LoadSettings(std::u16string_view fileName);
    void ShowLoadedSettings();
    void FillDrivePicker();
    void FillShareUserList();
    void SelectShareUser();
    char16_t DriveChar() const { return drive_.empty() ? u'\0' : drive_[0]; }

    IDriveSettingsHost& host_;
    IModifyNASView& view_;
    TMode mode_;
    std::u16string drive_;
    std::unique_ptr<TShareSettings> shareSettings_;
};

// The drive's configuration as the dialog edits it: "velmora.conf" when the drive has one or is
// attached, the one set aside otherwise (which the Add command brings back); defaults for a file that
// is not there.
std::unique_ptr<TShareSettings> LoadDriveSettings(IDriveSettingsHost& host, char16_t drive);
// Whether another attached drive has the share name already (case ignored). The drive's own share
// name is not in the way.
bool ShareNameTaken(IDriveSettingsHost& host, char16_t drive, std::u16string_view shareName);
// The warning for a share name that is taken.
std::u16string ShareNameInUseText(std::u16string_view shareName);
// Stores the fields and writes the file; an account no longer named is deleted when it is one of
// Dockvane's own per-drive accounts and nothing else uses it. A file that cannot be written raises,
// and the record keeps its account.
void StoreDriveSettings(IDriveSettingsHost& host, TShareSettings& settings, const TDriveSettingsFields& fields);

// The share name proposed for a volume label: the characters a share name cannot hold are dropped,
// and at most 12 characters are kept.
std::u16string ShareNameFromLabel(std::u16string_view label);
// Whether a typed character may go into the share or volume name field.
bool ShareNameKeyAccepted(char16_t key);

}  // namespace dv
