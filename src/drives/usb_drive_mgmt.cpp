#include "drives/usb_drive_mgmt.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <utility>

#include "drives/byte_size.h"
#include "platform/drive_letter.h"
#include "platform/locale.h"
#include "platform/text.h"

namespace dv {
namespace {

// Keeps the system from asking for a disk (an empty card reader, a drive without media) while a
// query runs, and puts the caller's error mode back however the query ends.
class CriticalErrorsSilenced {
public:
    explicit CriticalErrorsSilenced(IVolumeQuery& volumes)
        : volumes_(volumes), previous_(volumes.SetErrorMode(kSemFailCriticalErrors)) {}
    ~CriticalErrorsSilenced() { (void)volumes_.SetErrorMode(previous_); }
    CriticalErrorsSilenced(const CriticalErrorsSilenced&) = delete;
    CriticalErrorsSilenced& operator=(const CriticalErrorsSilenced&) = delete;

private:
    IVolumeQuery& volumes_;
    std::uint32_t previous_;
};

bool IsDriveLetter(char16_t letter) {
    return letter >= u'A' && letter <= u'Z';
}

constexpr std::uint32_t kDetailBufferBytes = 1024;
constexpr std::uint32_t kEjectRetryWaitMs = 500;

}  // namespace

bool IsRemovableDrive(IVolumeQuery& volumes, char16_t letter) {
    return volumes.DriveType(letter) == kDriveRemovable;
}

bool IsTrueCryptVolume(IVolumeQuery& volumes, char16_t letter) {
    const std::optional<std::u16string> target = volumes.DosDeviceName(letter);
    return target && target->starts_with(u"\\Device\\TrueCryptVolume");
}

std::optional<DeviceInterfaceClass> InterfaceClassFor(std::uint32_t driveType, std::u16string_view dosDeviceName) {
    switch (driveType) {
        case kDriveRemovable:
            if (dosDeviceName.find(u"\\Floppy") != std::u16string_view::npos) return DeviceInterfaceClass::Floppy;
            return DeviceInterfaceClass::Disk;
        case kDriveFixed: return DeviceInterfaceClass::Disk;
        case kDriveCdRom: return DeviceInterfaceClass::CdRom;
        default: return std::nullopt;
    }
}

bool TUSBDriveManager::IsDriveAccessible(char16_t letter) {
    if (letter == 0) return false;
    CriticalErrorsSilenced silenced(volumes_);
    return volumes_.RootHasEntry(letter);
}

std::uint32_t TUSBDriveManager::GetBusType(char16_t letter) {
    CriticalErrorsSilenced silenced(volumes_);
    return volumes_.BusType(letter);
}

void TUSBDriveManager::GetUsbDrives(std::vector<std::u16string>& List) {
    const std::uint32_t present = volumes_.LogicalDrives();
    // A: and B: are floppy letters by tradition and never USB drives here.
    for (int bit = 2; bit <= 25; ++bit) {
        if ((present & (std::uint32_t{1} << bit)) == 0) continue;
        const auto letter = static_cast<char16_t>(u'A' + bit);
        if (!IsDriveAccessible(letter)) continue;
        const std::uint32_t bus = GetBusType(letter);
        // A known bus decides alone: an internal SATA disk that calls itself removable stays out,
        // a USB disk that calls itself fixed comes in.
        const bool usb =
            bus == kBusTypeUsb ||
            (bus == kBusTypeUnknown && (IsTrueCryptVolume(volumes_, letter) || IsRemovableDrive(volumes_, letter)));
        if (usb && volumes_.TotalSize(letter) > 0) List.push_back(std::u16string(1, letter));
    }
}

bool TUSBDriveManager::areUsbDrivesPresent() {
    std::vector<std::u16string> drives;
    GetUsbDrives(drives);
    return !drives.empty();
}

bool TUSBDriveManager::areUsbDrivesAvailable(const std::vector<std::u16string>& AttachedNasDriveLetters) {
    std::vector<std::u16string> drives;
    GetUsbDrives(drives);
    for (const auto& attached : AttachedNasDriveLetters) {
        const auto found = std::find_if(drives.begin(), drives.end(),
                                        [&](const std::u16string& d) { return EqualsIgnoreCase(d, attached); });
        if (found != drives.end()) drives.erase(found);
    }
    return !drives.empty();
}

std::u16string TUSBDriveManager::GetVolumeLabel(char16_t DriveChar) {
    CriticalErrorsSilenced silenced(volumes_);
    const std::optional<std::u16string> label = volumes_.VolumeLabel(DriveChar);
    return label ? LocaleUpperCase(*label) : std::u16string();
}

bool TUSBDriveManager::chageDriveLabel(char16_t drive, std::u16string_view newlabel) {
    if (drive == 0) return false;
    try {
        std::u16string current;
        {
            CriticalErrorsSilenced silenced(volumes_);
            current = volumes_.VolumeLabel(drive).value_or(u"");
        }
        // Exact comparison: a label that differs only in case is set too.
        if (current != newlabel && !volumes_.ChangeVolumeLabel(drive, newlabel)) return false;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void TUSBDriveManager::GetUSBDiskDriveInfo(char16_t drive, TUSBDrvInfo& usbdrvinfo) {
    usbdrvinfo.VolLabel = GetVolumeLabel(drive);
    const std::int64_t size = volumes_.TotalSize(drive);
    usbdrvinfo.Capacity = FormatByteSize(u"GB", static_cast<double>(size));
}

bool TUSBDriveManager::RemoveDriveByLetter(char16_t DriveLetter) {
    std::vector<std::u16string> refusedDevices;
    return RemoveDriveByLetter(DriveLetter, refusedDevices);
}

bool TUSBDriveManager::RemoveDriveByLetter(char16_t DriveLetter, std::vector<std::u16string>& refusedDevices) {
    refusedDevices.clear();
    if (!IsDriveLetter(DriveLetter)) return false;
    const std::u16string volumePath = u"\\\\.\\" + TDriveLetter(DriveLetter).Device();
    const std::int64_t deviceNumber = devices_.DeviceNumber(volumePath);
    if (deviceNumber == -1) return false;
    const std::optional<std::u16string> dosDeviceName = volumes_.DosDeviceName(DriveLetter);
    if (!dosDeviceName) return false;
    const std::uint32_t driveType = volumes_.DriveType(DriveLetter);
    const std::uint32_t devInst = FindDriveDevInst(deviceNumber, driveType, *dosDeviceName);
    if (devInst == 0) return false;
    const std::uint32_t result = EjectParentDevice(devInst);
    if (result == kCrSuccess) return true;
    if (result != kCrNoSuchDevnode && result != kCrCallNotImplemented) {
        // Only a request that reached the system can have been refused by someone.
        if (const std::optional<std::uint32_t> parent = devices_.Parent(devInst)) {
            if (auto id = devices_.DeviceInstanceId(*parent)) refusedDevices.push_back(std::move(*id));
        }
        if (auto id = devices_.DeviceInstanceId(devInst)) refusedDevices.push_back(std::move(*id));
    }
    return false;
}

std::uint32_t TUSBDriveManager::FindDriveDevInst(std::int64_t deviceNumber, std::uint32_t driveType,
                                                 std::u16string_view dosDeviceName) {
    const std::optional<DeviceInterfaceClass> interfaceClass = InterfaceClassFor(driveType, dosDeviceName);
    if (!interfaceClass) return 0;
    const std::unique_ptr<IDeviceInterfaceSet> interfaces = devices_.PresentInterfaces(*interfaceClass);
    if (!interfaces) return 0;
    for (std::uint32_t index = 0; interfaces->Enumerate(index); ++index) {
        const std::uint32_t size = interfaces->DetailSize();
        if (size == 0 || size > kDetailBufferBytes) continue;
        const std::optional<DeviceInterfaceDetail> detail = interfaces->ReadDetail(kDetailBufferBytes);
        if (!detail) continue;
        // Only the number counts: a disk and a CD-ROM may share it, but they live in different classes.
        if (devices_.DeviceNumber(detail->devicePath) == deviceNumber) return detail->devInst;
    }
    return 0;
}

std::uint32_t TUSBDriveManager::EjectParentDevice(std::uint32_t devInst) {
    // Without a known parent there is nothing to ask about; asking about an unknown instance could
    // reach a device nobody meant.
    const std::optional<std::uint32_t> parent = devices_.Parent(devInst);
    if (!parent) return kCrNoSuchDevnode;
    std::uint32_t result = kCrCallNotImplemented;
    for (int attempt = 0; attempt < kEjectAttempts; ++attempt) {
        // A veto left over from a refused attempt must not spoil the answer of the next one.
        std::uint32_t vetoType = kPnpVetoTypeUnknown;
        result = devices_.RequestEject(*parent, vetoType);
        if (result == kCrSuccess && vetoType == kPnpVetoTypeUnknown) break;
        devices_.Sleep(kEjectRetryWaitMs);
    }
    return result;
}

}  // namespace dv
