// Which drives are USB drives, what they are called and how big they are, and their safe removal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drives/volume_query.h"

namespace dv {

// Eject requests made before a refusal counts.
inline constexpr int kEjectAttempts = 3;

// A drive's label (upper case) and capacity text ("15 Gb").
struct TUSBDrvInfo {
    std::u16string VolLabel;
    std::u16string Capacity;
};

// Every answer is asked afresh from the system; the manager keeps no state of its own. Failures read
// as negative answers: nothing here raises or shows a message.
class TUSBDriveManager {
public:
    TUSBDriveManager(IVolumeQuery& volumes, IDeviceEject& devices) : volumes_(volumes), devices_(devices) {}

    // Appends the letters of the USB drives ("E"), C to Z in order.
    void GetUsbDrives(std::vector<std::u16string>& List);
    bool areUsbDrivesPresent();
    // Whether a USB drive is plugged in that is not among the attached ones.
    bool areUsbDrivesAvailable(const std::vector<std::u16string>& AttachedNasDriveLetters);
    // The label in upper case; empty when there is none or it cannot be read.
    std::u16string GetVolumeLabel(char16_t DriveChar);
    // Whether the drive carries `newlabel` afterwards.
    bool chageDriveLabel(char16_t drive, std::u16string_view newlabel);
    void GetUSBDiskDriveInfo(char16_t drive, TUSBDrvInfo& usbdrvinfo);
    // Asks the system to eject the device that carries the drive; true when it accepted.
    bool RemoveDriveByLetter(char16_t DriveLetter);
    // The same; when the system refused the request, `refusedDevices` gets the instance IDs of the
    // device asked to leave and of the disk on it (those the system tells), by which its log names
    // the refusal.
    bool RemoveDriveByLetter(char16_t DriveLetter, std::vector<std::u16string>& refusedDevices);

private:
    bool IsDriveAccessible(char16_t letter);
    std::uint32_t GetBusType(char16_t letter);
    std::uint32_t FindDriveDevInst(std::int64_t deviceNumber, std::uint32_t driveType,
                                   std::u16string_view dosDeviceName);
    std::uint32_t EjectParentDevice(std::uint32_t devInst);

    IVolumeQuery& volumes_;
    IDeviceEject& devices_;
};

bool IsRemovableDrive(IVolumeQuery& volumes, char16_t letter);
// A volume that TrueCrypt mounted.
bool IsTrueCryptVolume(IVolumeQuery& volumes, char16_t letter);

// The interface class a volume's device is searched in; nothing for drive types that cannot be
// ejected (network drives, RAM disks, ...).
std::optional<DeviceInterfaceClass> InterfaceClassFor(std::uint32_t driveType, std::u16string_view dosDeviceName);

}  // namespace dv
