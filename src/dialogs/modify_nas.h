// The drive settings dialog: what fills it, what its buttons check, store and ask the controller to
// do. The window (modify_nas_win.cpp) shows the controls held here and forwards the user's actions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drives/usb_drive_mgmt.h"
#include "settings/app_settings.h"
#include "settings/share_settings.h"

namespace dv {

enum TMode { mAdd, mModify };

// A dialog's modal result, with the values the caller tests for.
enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2 };

inline constexpr std::u16string_view kDriveSettingsCaption = u"Drive Settings";
inline constexpr std::u16string_view kShareNameCannotBeBlank = u"Share name cannot be blank";
inline constexpr std::u16string_view kConfirmDisable =
    u"This will remove this USB Disk from the auto share pool. Are you sure?";
inline constexpr std::u16string_view kConfirmEject = u"This will eject this External Storage drive. Are you sure?";
inline constexpr std::u16string_view kCopyHostHint = u"Copy host information (to clipboard)";
inline constexpr std::u16string_view kAutoRemoveDesignCaption = u"(check for file backup.done)";
inline constexpr std::size_t kMaxShareNameLength = 12;

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
    virtual std::u16string DriveRoot(char16_t drive) { return std::u16string(1, drive) + u":\\"; }

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
    virtual void CloseDialog(TModalResult result) = 0;
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
    bool btnUpdateEnabled = true;
    bool btnDisableEnabled = false;
    bool btnDisableRemoveEnabled = false;
    bool pnlPleaseWaitVisible = true;
};

class TfmModifyNAS {
public:
    // Runs the creation handler.
    TfmModifyNAS(IDriveSettingsHost& host, IModifyNASView& view, TMode Mode);

    TMode Mode() const { return FMode; }
    // The selected drive letter ("" when none).
    const std::u16string& Drive() const { return FDrive; }
    // Selects the drive's entry in the drive list (none when it is not listed).
    void SetDrive(std::u16string_view drive);
    const TShareSettings* ShareSettings() const { return FShareSettings.get(); }

    TModifyNASControls Controls;

    void cbDriveLetterChange();
    void cbImageDriveLetterChange(int pickerIndex);
    void FormActivate();
    // The button's modal result: mrOk when every check passed, mrNone otherwise.
    TModalResult btnUpdateClick();
    // Stores the fields when the result is OK. False when they could not be stored; the dialog then
    // stays open, as the error was shown.
    bool FormClose(TModalResult result);
    void btnDisableClick();
    void btnDisableRemoveClick();
    void CopyHostClick();
    void CopyUserNameClick();
    void CopyPasswordClick();

private:
    void FormCreate();
    void LoadActiveSettings();
    void LoadInactiveSettings();
    void LoadSettings(std::u16string_view fileName);
    void ShowLoadedSettings();
    void FillDrivePicker();
    void FillShareUserList();
    void SelectShareUser();
    char16_t DriveChar() const { return FDrive.empty() ? u'\0' : FDrive[0]; }

    IDriveSettingsHost& host_;
    IModifyNASView& view_;
    TMode FMode;
    std::u16string FDrive;
    std::unique_ptr<TShareSettings> FShareSettings;
};

// The share name proposed for a volume label: the characters a share name cannot hold are dropped,
// and at most 12 characters are kept.
std::u16string ShareNameFromLabel(std::u16string_view label);
// Whether a typed character may go into the share or volume name field.
bool ShareNameKeyAccepted(char16_t key);

}  // namespace dv
