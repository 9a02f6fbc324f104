// Away from Windows there are no drive letters: no volume to list, no device to eject.
#include "drives/volume_query.h"

#include <utility>

namespace dv {
namespace {

class NoVolumes : public IVolumeQuery {
public:
    std::uint32_t LogicalDrives() override { return 0; }
    std::uint32_t SetErrorMode(std::uint32_t mode) override { return std::exchange(mode_, mode); }
    bool RootHasEntry(char16_t) override { return false; }
    std::uint32_t BusType(char16_t) override { return kBusTypeUnknown; }
    std::uint32_t DriveType(char16_t) override { return kDriveNoRootDir; }
    std::optional<std::u16string> DosDeviceName(char16_t) override { return std::nullopt; }
    std::int64_t TotalSize(char16_t) override { return -1; }
    std::optional<std::u16string> VolumeLabel(char16_t) override { return std::nullopt; }
    bool ChangeVolumeLabel(char16_t, std::u16string_view) override { return false; }

private:
    std::uint32_t mode_ = 0;
};

class NoDevices : public IDeviceEject {
public:
    std::int64_t DeviceNumber(std::u16string_view) override { return -1; }
    std::unique_ptr<IDeviceInterfaceSet> PresentInterfaces(DeviceInterfaceClass) override { return nullptr; }
    std::optional<std::uint32_t> Parent(std::uint32_t) override { return std::nullopt; }
    std::uint32_t RequestEject(std::uint32_t, std::uint32_t&) override { return kCrCallNotImplemented; }
    void Sleep(std::uint32_t) override {}
};

}  // namespace

IVolumeQuery& SystemVolumeQuery() {
    static NoVolumes volumes;
    return volumes;
}

IDeviceEject& SystemDeviceEject() {
    static NoDevices devices;
    return devices;
}

}  // namespace dv
