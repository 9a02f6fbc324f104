// The Windows side of the volume and device queries. The classes are open so that the simulation
// mode (and tests) can put their own answers in place of single operations.
#pragma once

#include "drives/volume_query.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace dv {

class TWinVolumeQuery : public IVolumeQuery {
public:
    std::uint32_t LogicalDrives() override;
    std::uint32_t SetErrorMode(std::uint32_t mode) override;
    bool RootHasEntry(char16_t letter) override;
    std::uint32_t BusType(char16_t letter) override;
    std::uint32_t DriveType(char16_t letter) override;
    std::optional<std::u16string> DosDeviceName(char16_t letter) override;
    std::int64_t TotalSize(char16_t letter) override;
    std::optional<std::u16string> VolumeLabel(char16_t letter) override;
    bool ChangeVolumeLabel(char16_t letter, std::u16string_view label) override;
};

class TWinDeviceEject : public IDeviceEject {
public:
    std::int64_t DeviceNumber(std::u16string_view path) override;
    std::unique_ptr<IDeviceInterfaceSet> PresentInterfaces(DeviceInterfaceClass interfaceClass) override;
    std::optional<std::uint32_t> Parent(std::uint32_t devInst) override;
    std::uint32_t RequestEject(std::uint32_t devInst, std::uint32_t& vetoType) override;
    void Sleep(std::uint32_t milliseconds) override;
    std::optional<std::u16string> DeviceInstanceId(std::uint32_t devInst) override;
};

}  // namespace dv
