#include "shell/drive_settings_host.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/user_manager.h"
#include "drives/usb_drive_mgmt.h"
#include "shell/controller.h"
#include "system/win_service_mgmt.h"

namespace dv {

std::vector<std::u16string> TDriveSettingsHost::GetUsbDrives() {
    std::vector<std::u16string> drives;
    main_.USBDriveManager().GetUsbDrives(drives);
    return drives;
}

std::uint32_t TDriveSettingsHost::DriveType(char16_t drive) {
    return main_.Volumes().DriveType(drive);
}

TUSBDrvInfo TDriveSettingsHost::GetUSBDiskDriveInfo(char16_t drive) {
    TUSBDrvInfo info;
    main_.USBDriveManager().GetUSBDiskDriveInfo(drive, info);
    return info;
}

std::u16string TDriveSettingsHost::GetVolumeLabel(char16_t drive) {
    return main_.USBDriveManager().GetVolumeLabel(drive);
}

std::u16string TDriveSettingsHost::StoredVolumeLabel(char16_t drive) {
    return main_.Volumes().VolumeLabel(drive).value_or(u"");
}

bool TDriveSettingsHost::chageDriveLabel(char16_t drive, std::u16string_view label) {
    return main_.USBDriveManager().chageDriveLabel(drive, label);
}

std::optional<std::u16string> TDriveSettingsHost::AttachedShareName(char16_t drive) {
    const TNas* nas = main_.NasManager().getNasByname(std::u16string(1, drive));
    if (!nas) return std::nullopt;
    return nas->ShareName();
}

std::vector<std::u16string> TDriveSettingsHost::GetNasDriveNamesList() {
    return main_.NasManager().GetNasDriveNamesList();
}

std::vector<std::u16string> TDriveSettingsHost::GetNasShareNamesList() {
    return main_.NasManager().GetNasShareNamesList();
}

std::vector<std::u16string> TDriveSettingsHost::GetDockvaneUserList() {
    return main_.UserManager().GetDockvaneUserList();
}

std::u16string TDriveSettingsHost::GenerateUserNameByShareName(const std::u16string& shareName) {
    return main_.UserManager().GenerateUserNameByShareName(shareName);
}

std::u16string TDriveSettingsHost::MakePassword(const std::u16string& salt) {
    return main_.UserManager().MakePassword(salt);
}

bool TDriveSettingsHost::ChekToManualUserDeleteByuserName(const std::u16string& userName,
                                                          const std::vector<std::u16string>& attachedDriveLetters) {
    return main_.UserManager().ChekToManualUserDeleteByuserName(userName, attachedDriveLetters);
}

std::u16string TDriveSettingsHost::getHostname() {
    return main_.WinServiceManager().getHostname();
}

TApplicationSettings& TDriveSettingsHost::ApplicationSettings() {
    return main_.ApplicationSettings();
}

void TDriveSettingsHost::RemoveNASDrive(char16_t drive) {
    main_.RemoveNASDrive(drive);
}

void TDriveSettingsHost::DisconnectNASDrive(char16_t drive) {
    main_.DisconnectNASDrive(drive);
}

bool TDriveSettingsHost::EjectRemovableDriveByLetter(char16_t drive) {
    return main_.EjectRemovableDriveByLetter(drive);
}

}  // namespace dv
