// What the programs that run the engine (the tray, the service) give it alike: the search-service
// workers, the Windows folder, the pings' HTTP clients and the log line of an error that escaped.
#pragma once

#include <exception>
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

// Writes an error that escaped a handler, a timer, a command or the start-up to the application log
// (its kind and its message) and returns the message; the program runs on.
std::u16string LogUncaughtError(std::exception_ptr error);

// The pings' HTTP clients: they never connect to this computer.
TPingToWebTh::ClientFactory PingClients();

}  // namespace dv
