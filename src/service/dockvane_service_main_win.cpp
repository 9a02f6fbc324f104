// DockvaneService.exe: the engine as the service "Dockvane", on the system's own services. The
// installer registers it to run as LocalSystem, started at boot and restarted after a crash.
#include "platform/dll_search_win.h"
#include "platform/windows_include.h"

#include <memory>

#include "accounts/accounts_win.h"
#include "drives/eject_blocker.h"
#include "drives/volume_query.h"
#include "service/service_host_win.h"
#include "settings/machine_folder.h"
#include "shell/entry_parts_win.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    (void)dv::RestrictLibrarySearchToSystem32();
    // The application log goes to the machine folder, once it is ours; the settings file, found in the
    // start-up, makes sure of it again and tells when it cannot.
    (void)dv::PrepareMachineFolder();
    DWORD error = NO_ERROR;
    {
        const std::unique_ptr<dv::IShareApi> shares = dv::CreateWinShareApi();
        const std::unique_ptr<dv::IUserApi> users = dv::CreateWinUserApi();
        dv::TServiceHost host({*shares, *users, dv::SystemVolumeQuery(), dv::SystemDeviceEject(),
                               dv::SystemEjectBlockers(), dv::PingClients()});
        // Started by hand rather than by the service control manager: nothing to do.
        if (!host.Run(error)) return static_cast<int>(error);
    }
    // The service has told the manager that it stopped, with everything saved. Workers may still run
    // (a ping waiting on a server, a search-service worker); they own what they use but not what the
    // runtime destroys once the entry returns, so the process ends here, as the tray's does.
    ::TerminateProcess(::GetCurrentProcess(), 0);
    return 0;
}
