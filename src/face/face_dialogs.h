// The drive settings dialog in a face: the dialog of the engine's own tray, fed with what the engine
// reported of the drives and their files, whose buttons become requests. The face writes nothing
// itself: the label, the file, the share and the accounts are the engine's to change.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialogs/domain_user_dialog.h"
#include "dialogs/drive_settings_dialog.h"
#include "remote/protocol.h"

namespace dv::face {

// The dialogs that show what the engine holds, and send what a person changed there.
enum class TFaceDialog { DriveSettings, DomainUser };

// What the engine said before such a dialog opened.
struct TDialogData {
    TFaceDialog Dialog = TFaceDialog::DriveSettings;
    TMode Mode = mModify;
    char16_t Letter = 0;  // Modify's drive
    remote::TStatus Status;
    std::map<char16_t, remote::TDriveSettings> Drives;
    // By account name as the engine answered it; only an administrator's face gets any.
    std::map<std::u16string, std::u16string> Passwords;
};

class TFaceDriveSettingsHost : public IDriveSettingsHost {
public:
    // `send` carries a change to the engine (as the face sends every change).
    TFaceDriveSettingsHost(TDialogData data, std::u16string hostName, std::function<void(remote::TBody request)> send);

    std::vector<std::u16string> GetUsbDrives() override;
    std::uint32_t DriveType(char16_t drive) override;
    TUSBDrvInfo GetUSBDiskDriveInfo(char16_t drive) override;
    std::u16string GetVolumeLabel(char16_t drive) override;
    std::u16string StoredVolumeLabel(char16_t drive) override;
    // Kept for the OK's request: the engine sets the label with the rest, and says when it could not.
    bool chageDriveLabel(char16_t drive, std::u16string_view label) override;
    bool DriveFileExists(char16_t drive, std::u16string_view fileName) override;
    std::unique_ptr<TShareSettings> ReadDriveFile(char16_t drive, std::u16string_view fileName) override;
    // Sends change-drive-settings; raises, keeping the dialog open, for fields the engine would refuse.
    void StoreDriveFile(char16_t drive, TShareSettings& settings, const TDriveSettingsFields& fields) override;
    std::u16string AccountPassword(std::u16string_view account) override;
    std::optional<std::u16string> AttachedShareName(char16_t drive) override;
    std::vector<std::u16string> GetNasDriveNamesList() override;
    std::vector<std::u16string> GetNasShareNamesList() override;
    std::vector<std::u16string> GetDockvaneUserList() override;
    std::u16string GenerateUserNameByShareName(const std::u16string& shareName) override;
    std::u16string MakePassword(const std::u16string& salt) override;
    bool ChekToManualUserDeleteByuserName(const std::u16string& userName,
                                          const std::vector<std::u16string>& attachedDriveLetters) override;
    std::u16string getHostname() override;
    TApplicationSettings& ApplicationSettings() override;
    // Disable: disable-drive.
    void RemoveNASDrive(char16_t drive) override;
    // Disable and remove: eject-drive does both, so the unshare alone sends nothing.
    void DisconnectNASDrive(char16_t drive) override;
    bool EjectRemovableDriveByLetter(char16_t drive) override;

private:
    const remote::TDriveStatus* StatusOf(char16_t drive) const;
    const remote::TDriveSettings* SettingsOf(char16_t drive) const;

    TDialogData data_;
    std::u16string hostName_;
    std::function<void(remote::TBody)> send_;
    // Only the two fields the dialog reads; never loaded or saved.
    TApplicationSettings settings_{u""};
    std::map<char16_t, std::u16string> labels_;
};

// The domain user dialog in a face: shows the account the engine uses and sends what was typed.
class TFaceDomainUser : public IDomainUserLogic {
public:
    TFaceDomainUser(TDialogData data, std::function<void(remote::TBody request)> send);

    TDomainUserFields LoadShareUser() override;
    std::u16string PasswordToCopy() override;
    // Sends set-domain-user when the fields are whole and other than shown: a close that changes
    // nothing asks for no consent.
    std::optional<std::u16string> Close(TDialogResult result, const TDomainUserFields& fields) override;

private:
    TDomainUserFields shown_;
    std::function<void(remote::TBody)> send_;
};

}  // namespace dv::face
