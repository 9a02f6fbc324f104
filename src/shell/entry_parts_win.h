// What the programs that run the engine (the tray, the service) give it alike: the search-service
// workers, the Windows folder and the pings' HTTP clients.
#pragma once

#include <functional>
#include <string>

#include "platform/handles_win.h"
#include "platform/windows_include.h"
#include "sharing/ping_to_web.h"

namespace dv {

// Search-service workers: plain threads nobody waits for, each owning its task; the latest handle
// is kept and closed when this goes.
class TWorkers {
public:
    void Start(std::function<void()> work);

private:
    static DWORD WINAPI Run(void* argument);
    UniqueKernelHandle latest_;
};

// The Windows folder without a trailing backslash.
std::u16string WindowsFolder();

// The pings' HTTP clients: they never connect to this computer.
TPingToWebTh::ClientFactory PingClients();

}  // namespace dv
