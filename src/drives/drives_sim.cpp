#include "drives/drives_sim.h"

#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"

namespace dv {
namespace {

constexpr std::uint32_t kDiskInstanceBase = 100;
constexpr std::uint32_t kParentInstanceBase = 1000;

std::int64_t NumberOf(char16_t letter) {
    return FoldCase(letter) - u'A';
}

class SimInterfaces : public IDeviceInterfaceSet {
public:
    explicit SimInterfaces(std::vector<char16_t> letters) : letters_(std::move(letters)) {}
    bool Enumerate(std::uint32_t index) override {
        current_ = index;
        return index < letters_.size();
    }
    std::uint32_t DetailSize() override { return 128; }
    std::optional<DeviceInterfaceDetail> ReadDetail(std::uint32_t) override {
        const char16_t letter = letters_.at(current_);
        return DeviceInterfaceDetail{u"\\\\?\\usbstor#disk&sim&" + std::u16string(1, letter),
                                     kDiskInstanceBase + static_cast<std::uint32_t>(NumberOf(letter))};
    }

private:
    std::vector<char16_t> letters_;
    std::uint32_t current_ = 0;
};

}  // namespace

void TSimDrives::Plug(char16_t letter, std::u16string root, std::u16string label, std::int64_t size) {
    letter = FoldCase(letter);
    fs::MapDrive(letter, root);
    Drives[letter] = {std::move(root), std::move(label), size};
}

void TSimDrives::Unplug(char16_t letter) {
    letter = FoldCase(letter);
    fs::MapDrive(letter, u"");
    Drives.erase(letter);
}

const TSimDrives::Drive* TSimDrives::Find(char16_t letter) const {
    const auto found = Drives.find(FoldCase(letter));
    return found == Drives.end() ? nullptr : &found->second;
}

std::uint32_t TSimDrives::LogicalDrives() {
    std::uint32_t mask = 0;
    for (const auto& [letter, drive] : Drives) mask |= 1u << (letter - u'A');
    return mask;
}

std::uint32_t TSimDrives::SetErrorMode(std::uint32_t mode) {
    const std::uint32_t previous = errorMode_;
    errorMode_ = mode;
    return previous;
}

bool TSimDrives::RootHasEntry(char16_t letter) {
    return Find(letter) != nullptr;
}

std::uint32_t TSimDrives::BusType(char16_t letter) {
    return Find(letter) ? kBusTypeUsb : kBusTypeUnknown;
}

std::uint32_t TSimDrives::DriveType(char16_t letter) {
    return Find(letter) ? kDriveRemovable : kDriveNoRootDir;
}

std::optional<std::u16string> TSimDrives::DosDeviceName(char16_t letter) {
    if (!Find(letter)) return std::nullopt;
    return u"\\Device\\HarddiskVolume" + IntToStr(NumberOf(letter) + 10);
}

std::int64_t TSimDrives::TotalSize(char16_t letter) {
    const Drive* drive = Find(letter);
    return drive ? drive->Size : -1;
}

std::optional<std::u16string> TSimDrives::VolumeLabel(char16_t letter) {
    const Drive* drive = Find(letter);
    if (!drive) return std::nullopt;
    return drive->Label;
}

bool TSimDrives::ChangeVolumeLabel(char16_t letter, std::u16string_view label) {
    const auto found = Drives.find(FoldCase(letter));
    if (found == Drives.end()) return false;
    found->second.Label = std::u16string(label);
    return true;
}

std::int64_t TSimDrives::DeviceNumber(std::u16string_view path) {
    // "\\.\E:" or an interface path ending in the letter.
    if (path.empty()) return -1;
    const char16_t letter = path.size() >= 2 && path.back() == u':' ? path[path.size() - 2] : path.back();
    return Find(letter) ? NumberOf(letter) : -1;
}

std::unique_ptr<IDeviceInterfaceSet> TSimDrives::PresentInterfaces(DeviceInterfaceClass interfaceClass) {
    std::vector<char16_t> letters;
    if (interfaceClass == DeviceInterfaceClass::Disk) {
        for (const auto& [letter, drive] : Drives) letters.push_back(letter);
    }
    return std::make_unique<SimInterfaces>(std::move(letters));
}

std::optional<std::uint32_t> TSimDrives::Parent(std::uint32_t devInst) {
    if (devInst < kDiskInstanceBase) return std::nullopt;
    return devInst - kDiskInstanceBase + kParentInstanceBase;
}

std::uint32_t TSimDrives::RequestEject(std::uint32_t devInst, std::uint32_t& vetoType) {
    if (DuringEject) DuringEject();
    if (EjectRefusals > 0) {
        --EjectRefusals;
        vetoType = kPnpVetoDevice;
        return kCrRemoveVetoed;
    }
    const char16_t letter = static_cast<char16_t>(u'A' + (devInst - kParentInstanceBase));
    if (!Find(letter)) return kCrNoSuchDevnode;
    Unplug(letter);
    if (OnEjected) OnEjected(letter);
    return kCrSuccess;
}

void TSimDrives::Sleep(std::uint32_t) {}

std::u16string TSimDrives::DeviceInstanceOf(char16_t letter) {
    return u"USB\\VID_0781&PID_5567\\SIMDRIVE" + std::u16string(1, FoldCase(letter));
}

std::u16string TSimDrives::DiskInstanceOf(char16_t letter) {
    return u"USBSTOR\\DISK&VEN_SIM&PROD_DRIVE\\SIMDRIVE" + std::u16string(1, FoldCase(letter)) + u"&0";
}

std::optional<std::u16string> TSimDrives::DeviceInstanceId(std::uint32_t devInst) {
    if (devInst >= kParentInstanceBase && devInst < kParentInstanceBase + 26) {
        return DeviceInstanceOf(static_cast<char16_t>(u'A' + (devInst - kParentInstanceBase)));
    }
    if (devInst >= kDiskInstanceBase && devInst < kDiskInstanceBase + 26) {
        return DiskInstanceOf(static_cast<char16_t>(u'A' + (devInst - kDiskInstanceBase)));
    }
    return std::nullopt;
}

}  // namespace dv
