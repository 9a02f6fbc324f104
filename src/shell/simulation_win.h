// The simulation mode of the test hosts (the tray started with its test variable, the test build of
// the service): the services that a test machine (Wine) cannot provide are simulated, their state kept
// in files of one folder: the resolution of the local accounts to their SIDs and the rights on a
// drive's root (Wine cannot resolve the accounts the network-management library makes), the bus type
// of the drives the simulation plugged in (USB), their eject (the simulation unplugs the drive, or
// refuses as `dvsim block` asked) and the system log that names who refused it (Wine keeps none).
// Shares and accounts themselves are the system's calls, like everything else: on a test machine a
// network-management library that keeps them in the same folder answers them.
#pragma once

#include <string>

#include "accounts/accounts_sim.h"
#include "accounts/accounts_store_sim.h"
#include "accounts/share_api.h"
#include "drives/eject_blocker.h"
#include "drives/plugged_drives_sim_win.h"
#include "drives/volume_query.h"
#include "sharing/ping_to_web.h"

namespace dv {

class TSimulation {
public:
    // `folder` ends without a separator; `systemShares` answers the share calls themselves.
    TSimulation(std::u16string folder, IShareApi& systemShares);

    IShareApi& Shares() { return shares_; }
    IVolumeQuery& Volumes() { return volumes_; }
    IDeviceEject& Devices() { return devices_; }
    IEjectBlockerSource& EjectBlockers() { return eventLog_; }

private:
    TSimDriveBay bay_;
    TSimVolumeQuery volumes_;
    TSimDeviceEject devices_;
    TSimEventLog eventLog_;
    TSimAccountsStore accounts_;
    TSplitShareApi shares_;
};

// The pings' HTTP clients in the simulation mode. They never connect to this computer, with one
// exception: the simulation's tests and demonstrations run their notification servers on 127.0.0.1,
// so that one address is let through (every other loopback and link-local address is still refused).
TPingToWebTh::ClientFactory SimulationPingClients();

}  // namespace dv
