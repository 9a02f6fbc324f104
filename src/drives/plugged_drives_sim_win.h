// The simulation's drives on Windows and under Wine: drive letters defined and removed while
// programs run, the device-change broadcasts that announce them, and the volume and device queries
// that answer for the letters the simulation plugged in (a USB bus, an eject that unplugs).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "drives/eject_blocker.h"
#include "drives/plugged_drives_sim.h"
#include "drives/volume_observer.h"
#include "drives/volume_query_win.h"
#include "platform/wine_drives_win.h"

namespace dv {

// Runs `transaction` while no other process works on the simulation's files (a named mutex; a
// process that died holding it does not block the others). Raises EOSError when the files stay
// busy for 10 s.
void WithSimulationLock(const std::function<void()>& transaction);

// WM_DEVICECHANGE with a volume record for the letter to every top-level window, as the system
// sends it (DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE). Returns when every window has handled it
// or its time is up.
void BroadcastVolumeChange(std::uint32_t event, char16_t letter);

// Plugging and unplugging in one simulation folder. Both raise an Exception with a message for the
// user when they cannot; neither broadcasts (the caller does, outside the lock).
class TSimDriveBay {
public:
    explicit TSimDriveBay(std::u16string simulationFolder) : folder_(std::move(simulationFolder)) {}

    // Makes the letter a removable drive whose root is the folder (a host path under Wine, a
    // Windows path elsewhere), records it as USB and forgets earlier rights on that letter.
    void Plug(char16_t letter, const std::u16string& folder);
    // Removes a drive this simulation plugged in.
    void Unplug(char16_t letter);
    // Makes the next eject of a drive this simulation plugged in refuse, the system log naming the
    // process as the one that held the drive.
    void Block(char16_t letter, const std::u16string& process, std::uint32_t processId);
    // The simulation's drives now; empty when its list cannot be read.
    TPluggedDrives Drives() const;
    bool IsPlugged(char16_t letter) const;
    const std::u16string& Folder() const { return folder_; }

private:
    std::u16string folder_;
};

// The real volume queries, except that the letters the simulation plugged in sit on a USB bus.
class TSimVolumeQuery : public TWinVolumeQuery {
public:
    explicit TSimVolumeQuery(const TSimDriveBay& bay) : bay_(bay) {}
    std::uint32_t BusType(char16_t letter) override;
    std::optional<std::u16string> DosDeviceName(char16_t letter) override;

private:
    const TSimDriveBay& bay_;
};

// The real device side, except that the letters the simulation plugged in are devices of their own
// whose eject unplugs the drive and then announces the removal.
class TSimDeviceEject : public TWinDeviceEject {
public:
    explicit TSimDeviceEject(TSimDriveBay& bay) : bay_(bay) {}
    std::int64_t DeviceNumber(std::u16string_view path) override;
    std::unique_ptr<IDeviceInterfaceSet> PresentInterfaces(DeviceInterfaceClass interfaceClass) override;
    std::optional<std::uint32_t> Parent(std::uint32_t devInst) override;
    std::uint32_t RequestEject(std::uint32_t devInst, std::uint32_t& vetoType) override;
    std::optional<std::u16string> DeviceInstanceId(std::uint32_t devInst) override;

    // The instance ID of a simulated drive's device, by which the simulation's log names it.
    static std::u16string DeviceInstanceOf(char16_t letter);

private:
    // Whether a block refuses this request; it then leaves its event in the simulation's log.
    bool Refuses(char16_t letter);

    TSimDriveBay& bay_;
};

// The simulation's log of refused removals, in place of the system's (Wine keeps none).
class TSimEventLog : public IEjectBlockerSource {
public:
    explicit TSimEventLog(const TSimDriveBay& bay) : bay_(bay) {}
    std::int64_t Now() override;
    std::vector<std::u16string> RefusalEvents(std::int64_t since) override;

private:
    const TSimDriveBay& bay_;
};

}  // namespace dv
