// What the drive manager asks the system about volumes and devices. Each operation answers with a
// result; none raises. The Windows side makes the Win32 calls, tests use scripted stand-ins, and the
// simulation mode may put its own answers in place of some (bus types, ejects).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/drive_letter.h"

namespace dv {

// STORAGE_BUS_TYPE values.
inline constexpr std::uint32_t kBusTypeUnknown = 0;
inline constexpr std::uint32_t kBusTypeScsi = 1;
inline constexpr std::uint32_t kBusTypeAta = 3;
inline constexpr std::uint32_t kBusTypeUsb = 7;
inline constexpr std::uint32_t kBusTypeSata = 11;
inline constexpr std::uint32_t kBusTypeSd = 12;

inline constexpr std::uint32_t kSemFailCriticalErrors = 0x0001;  // SEM_FAILCRITICALERRORS

// Volumes by drive letter ('A'..'Z').
class IVolumeQuery {
public:
    virtual ~IVolumeQuery() = default;

    // Bit 0 = A: ... bit 25 = Z: (GetLogicalDrives).
    virtual std::uint32_t LogicalDrives() = 0;
    // Sets the process error mode; returns the previous one (SetErrorMode).
    virtual std::uint32_t SetErrorMode(std::uint32_t mode) = 0;
    // Whether the root holds any entry at all, hidden and system ones included ("E:\*.*").
    virtual bool RootHasEntry(char16_t letter) = 0;
    // The bus the volume's device hangs on; kBusTypeUnknown when the volume cannot be opened or
    // does not answer.
    virtual std::uint32_t BusType(char16_t letter) = 0;
    // The drive type of the drive root.
    virtual std::uint32_t DriveType(char16_t letter) = 0;
    // The target of the DOS device "E:" ("\Device\HarddiskVolume5"); nothing when unknown.
    virtual std::optional<std::u16string> DosDeviceName(char16_t letter) = 0;
    // Total bytes of the drive root; -1 when unknown.
    virtual std::int64_t TotalSize(char16_t letter) = 0;
    // The label as stored on the volume; nothing when it cannot be read.
    virtual std::optional<std::u16string> VolumeLabel(char16_t letter) = 0;
    // Whether the system took the new label.
    [[nodiscard]] virtual bool ChangeVolumeLabel(char16_t letter, std::u16string_view label) = 0;
};

// Device interface classes of the storage devices a volume can sit on.
enum class DeviceInterfaceClass { Disk, Floppy, CdRom };

// One interface's detail: the path to open it by, and the device instance it belongs to.
struct DeviceInterfaceDetail {
    std::u16string devicePath;
    std::uint32_t devInst = 0;
};

// The present devices that expose one interface class. Destroying it releases the set.
class IDeviceInterfaceSet {
public:
    virtual ~IDeviceInterfaceSet() = default;
    // Makes interface `index` the current one; false past the last.
    virtual bool Enumerate(std::uint32_t index) = 0;
    // Bytes the current interface's detail needs; 0 when the system does not tell.
    virtual std::uint32_t DetailSize() = 0;
    // The current interface's detail read into a buffer of `bufferBytes`; nothing on failure.
    virtual std::optional<DeviceInterfaceDetail> ReadDetail(std::uint32_t bufferBytes) = 0;
};

inline constexpr std::uint32_t kCrSuccess = 0x00;             // CR_SUCCESS
inline constexpr std::uint32_t kCrNoSuchDevnode = 0x0D;       // CR_NO_SUCH_DEVNODE
inline constexpr std::uint32_t kCrRemoveVetoed = 0x17;        // CR_REMOVE_VETOED
inline constexpr std::uint32_t kCrCallNotImplemented = 0x34;  // CR_CALL_NOT_IMPLEMENTED
inline constexpr std::uint32_t kPnpVetoTypeUnknown = 0;       // PNP_VetoTypeUnknown
inline constexpr std::uint32_t kPnpVetoOutstandingOpen = 5;   // PNP_VetoOutstandingOpen
inline constexpr std::uint32_t kPnpVetoDevice = 6;            // PNP_VetoDevice

// The plug-and-play side of a safe removal.
class IDeviceEject {
public:
    virtual ~IDeviceEject() = default;
    // The storage device number of what `path` opens ("\\.\E:" or an interface's device path); -1
    // when it cannot be opened or does not tell.
    virtual std::int64_t DeviceNumber(std::u16string_view path) = 0;
    // Nothing when the system gives no set.
    virtual std::unique_ptr<IDeviceInterfaceSet> PresentInterfaces(DeviceInterfaceClass interfaceClass) = 0;
    // The parent device instance; nothing when the system does not tell.
    virtual std::optional<std::uint32_t> Parent(std::uint32_t devInst) = 0;
    // One eject request; returns the configuration manager's code and may set the veto type.
    // kCrCallNotImplemented when the system offers no eject request.
    [[nodiscard]] virtual std::uint32_t RequestEject(std::uint32_t devInst, std::uint32_t& vetoType) = 0;
    virtual void Sleep(std::uint32_t milliseconds) = 0;
    // The device instance ID ("USB\VID_0781&PID_5567\4C530001"), by which the system log names the
    // device; nothing when the system does not tell.
    virtual std::optional<std::u16string> DeviceInstanceId(std::uint32_t) { return std::nullopt; }
};

// The system's own (Windows); away from Windows no drive letter exists and nothing ejects.
IVolumeQuery& SystemVolumeQuery();
IDeviceEject& SystemDeviceEject();

}  // namespace dv
