// Simulated removable drives: USB drives plugged in and out at will, each a folder as its root, and
// an eject that unplugs the drive it reaches.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "drives/volume_query.h"

namespace dv {

class TSimDrives : public IVolumeQuery, public IDeviceEject {
public:
    struct Drive {
        std::u16string Root;  // the folder that stands for the drive root
        std::u16string Label;
        std::int64_t Size = 0;
    };

    // Plugs a USB drive in (its letter then reaches `root`) or out.
    void Plug(char16_t letter, std::u16string root, std::u16string label, std::int64_t size);
    void Unplug(char16_t letter);

    std::map<char16_t, Drive> Drives;
    // Eject requests refused before one is accepted.
    int EjectRefusals = 0;
    // Called when an eject has unplugged a drive.
    std::function<void(char16_t)> OnEjected;
    // Called at every eject request, before it is decided: what the system may let in meanwhile.
    std::function<void()> DuringEject;

    // --- IVolumeQuery ---
    std::uint32_t LogicalDrives() override;
    std::uint32_t SetErrorMode(std::uint32_t mode) override;
    bool RootHasEntry(char16_t letter) override;
    std::uint32_t BusType(char16_t letter) override;
    std::uint32_t DriveType(char16_t letter) override;
    std::optional<std::u16string> DosDeviceName(char16_t letter) override;
    std::int64_t TotalSize(char16_t letter) override;
    std::optional<std::u16string> VolumeLabel(char16_t letter) override;
    bool ChangeVolumeLabel(char16_t letter, std::u16string_view label) override;

    // --- IDeviceEject ---
    std::int64_t DeviceNumber(std::u16string_view path) override;
    std::unique_ptr<IDeviceInterfaceSet> PresentInterfaces(DeviceInterfaceClass interfaceClass) override;
    std::optional<std::uint32_t> Parent(std::uint32_t devInst) override;
    std::uint32_t RequestEject(std::uint32_t devInst, std::uint32_t& vetoType) override;
    void Sleep(std::uint32_t milliseconds) override;
    std::optional<std::u16string> DeviceInstanceId(std::uint32_t devInst) override;

    // The instance IDs of a drive's device and of the disk on it.
    static std::u16string DeviceInstanceOf(char16_t letter);
    static std::u16string DiskInstanceOf(char16_t letter);

private:
    const Drive* Find(char16_t letter) const;
    std::uint32_t errorMode_ = 0;
};

}  // namespace dv
