// What the drive settings dialog reaches of the controller and its managers.
#pragma once

#include "dialogs/drive_settings_dialog.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dv {

class TfmMain;

class TDriveSettingsHost : public IDriveSettingsHost {
public:
    explicit TDriveSettingsHost(TfmMain& main) : main_(main) {}

    std::vector<std::u16string> GetUsbDrives() override;
    std::uint32_t DriveType(char16_t drive) override;
    TUSBDrvInfo GetUSBDiskDriveInfo(char16_t drive) override;
    std::u16string GetVolumeLabel(char16_t drive) override;
    std::u16string StoredVolumeLabel(char16_t drive) override;
    bool chageDriveLabel(char16_t drive, std::u16string_view label) override;
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
    void RemoveNASDrive(char16_t drive) override;
    void DisconnectNASDrive(char16_t drive) override;
    bool EjectRemovableDriveByLetter(char16_t drive) override;

private:
    TfmMain& main_;
};

}  // namespace dv
