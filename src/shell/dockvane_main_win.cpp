// Dockvane.exe: the start-up checks, then the controller and the message loop.
#include "platform/dll_search_win.h"
#include "platform/windows_include.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "accounts/accounts_store_sim.h"
#include "accounts/accounts_win.h"
#include "dialogs/web_links.h"
#include "drives/eject_blocker.h"
#include "drives/plugged_drives_sim_win.h"
#include "drives/volume_observer.h"
#include "drives/volume_query.h"
#include "logging/logs.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/handles_win.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "settings/machine_folder.h"
#include "sharing/http_client.h"
#include "sharing/ping_to_web.h"
#include "shell/app_messages_win.h"
#include "shell/controller.h"
#include "shell/directory_watcher_win.h"
#include "shell/main_window_win.h"
#include "shell/program_entry.h"
#include "shell/program_entry_win.h"
#include "system/system_host_win.h"

namespace dv {
namespace {

// The central error handler: an error that escaped a handler, a timer, a command or the start-up is
// written to the application log and shown; the application runs on.
void ReportError(std::exception_ptr error) {
    std::u16string kind = u"Exception";
    std::u16string message;
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        kind = e.KindName();
        message = e.Message();
    } catch (const std::exception& e) {
        message = FromUtf8(e.what());
    } catch (...) {
        message = u"Unknown error";
    }
    try {
        LogError(kind + u": " + message);
    } catch (...) {
        // The log itself failed; the message box still tells the user.
    }
    ::MessageBoxW(nullptr, ToWide(message).c_str(), ToWide(kApplicationTitle).c_str(), MB_OK | MB_ICONERROR);
}

std::u16string WindowsFolder() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetWindowsDirectoryW(folder, MAX_PATH);
    std::u16string text = FromWide(std::wstring_view(folder, length));
    if (!text.empty() && text.back() == u'\\') text.pop_back();
    return text;
}

// Search-service workers: plain threads nobody waits for, each owning its task; the latest handle
// is kept and closed at exit.
class TWorkers {
public:
    void Start(std::function<void()> work) {
        auto* task = new std::function<void()>(std::move(work));
        HANDLE thread = ::CreateThread(nullptr, 0, &TWorkers::Run, task, 0, nullptr);
        if (!thread) {
            delete task;
            return;
        }
        latest_.reset(thread);
    }

private:
    static DWORD WINAPI Run(void* argument) {
        std::unique_ptr<std::function<void()>> task(static_cast<std::function<void()>*>(argument));
        try {
            (*task)();
        } catch (...) {
            // A worker reports nothing; the service stays as it is.
        }
        return 0;
    }
    UniqueKernelHandle latest_;
};

// The simulation mode: with DOCKVANE_SIMULATION naming a folder, the services that a test machine
// (Wine) cannot provide are simulated, their state kept in files of that folder: the resolution of
// the local accounts to their SIDs and the rights on a drive's root (Wine cannot resolve the
// accounts the network-management library makes), the bus type of the drives the simulation plugged
// in (USB), their eject (the simulation unplugs the drive, or refuses as `dvsim block` asked) and
// the system log that names who refused it (Wine keeps none). Shares and accounts themselves are
// the system's calls, like everything else: on a test machine a network-management library that
// keeps them in the same folder answers them.
class TSimulation {
public:
    TSimulation(std::u16string folder, IShareApi& systemShares)
        : bay_(folder),
          volumes_(bay_),
          devices_(bay_),
          eventLog_(bay_),
          accounts_(folder, &WithSimulationLock),
          shares_(systemShares, accounts_) {
        accounts_.OnError = [](std::u16string_view message) { LogError(u"Simulation: " + std::u16string(message)); };
    }

    // The folder the variable names; nothing when it is not set (the product as on Windows).
    static std::optional<std::u16string> FolderFromEnvironment() {
        const DWORD size = ::GetEnvironmentVariableW(L"DOCKVANE_SIMULATION", nullptr, 0);
        if (size <= 1) return std::nullopt;
        std::wstring value(size, L'\0');
        const DWORD length = ::GetEnvironmentVariableW(L"DOCKVANE_SIMULATION", value.data(), size);
        if (length == 0 || length >= size) return std::nullopt;
        value.resize(length);
        while (value.size() > 3 && (value.back() == L'\\' || value.back() == L'/')) value.pop_back();
        return FromWide(value);
    }

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

// The pings' HTTP clients. They never connect to this computer, with one exception for the
// simulation mode alone: its tests and demonstrations run their notification servers on 127.0.0.1, so
// there that one address is let through (every other loopback and link-local address is still
// refused). The simulation mode is entered by an environment variable; once release builds lose the
// simulation, they lose this exception with it.
TPingToWebTh::ClientFactory PingClientsFor(bool simulation) {
    HttpLimits limits;
    if (simulation) limits.exemptAddressForTests = u"127.0.0.1";
    return [limits] { return CreateHttpClient(limits); };
}

int Run() {
    TWinEntryHost entry;
    if (!RunStartupChecks(entry)) return 0;
    // The application log goes to the machine folder, once it is ours; the settings file, found in the
    // start-up, makes sure of it again and tells when it cannot.
    (void)PrepareMachineFolder();

    const std::unique_ptr<IShareApi> shares = CreateWinShareApi();
    const std::unique_ptr<IUserApi> users = CreateWinUserApi();
    std::unique_ptr<TSimulation> simulation;
    if (const std::optional<std::u16string> folder = TSimulation::FolderFromEnvironment()) {
        if (!fs::DirectoryExists(*folder) && !fs::MakeDirectory(*folder).ok()) {
            entry.ShowMessage(u"The simulation folder " + *folder + u" cannot be made.", TMessageIcon::Error);
            return 1;
        }
        simulation = std::make_unique<TSimulation>(*folder, *shares);
        LogApp(u"Simulation mode", *folder);
    }

    TMainWindow window;
    TWinDirectoryWatcher watcher(window.Handle(), kDirectoryChangeMessage);
    window.SetDirectoryChangeHandler([&watcher](WPARAM index, LPARAM run) { watcher.HandOver(index, run); });
    // Shared with the search-service workers, which may still run when this function has returned.
    const auto system = std::make_shared<TWinSystemHost>();
    system->SetMainWindow(window.Handle());
    const auto services = std::make_shared<TWinServiceControl>();
    TWorkers workers;
    // The logs let the user-interface thread handle its messages while they write, from the start-up on.
    SetPendingMessagesHook([&window] { window.ProcessPendingMessages(); });

    auto main = std::make_unique<TfmMain>(TMainServices{
        simulation ? simulation->Shares() : *shares,
        *users,
        simulation ? simulation->Volumes() : SystemVolumeQuery(),
        simulation ? simulation->Devices() : SystemDeviceEject(),
        simulation ? simulation->EjectBlockers() : SystemEjectBlockers(),
        *system,
        *services,
        DefaultWebSystem(),
        window,
        window.Settings(),
        window.Dialogs(),
        window.Desktop(),
        window,
        watcher,
        [] { return std::make_unique<TVolumeObserver>(&ReportError); },
        [] { return GetSettingsFileName(); },
        PingClientsFor(simulation != nullptr),
        // A worker uses the system and service objects above: it holds them until it ends.
        [&workers, system, services](std::function<void()> work) {
            workers.Start([system, services, work = std::move(work)] { work(); });
        },
        &ReportError,
        WindowsFolder(),
    });
    window.SetController(main.get());

    const int exitCode = window.RunMessageLoop();
    SetPendingMessagesHook(nullptr);
    window.SetController(nullptr);
    main.reset();
    return exitCode;
}

}  // namespace
}  // namespace dv

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    (void)dv::RestrictLibrarySearchToSystem32();
    const int exitCode = dv::Run();
    // Everything is saved and the tray icon is gone. Workers may still run: a ping waiting on a
    // server that does not answer (for up to its time-out), a search-service worker waiting on the
    // service. They own what they use, but not what the runtime destroys once the entry returns (the
    // static objects, among them the logs' locks, and the C runtime's own state), and joining them
    // would keep Exit waiting on the network. Ending the process here runs no destructor under
    // them; the system closes the handles and releases the instance mutex.
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(exitCode));
    return exitCode;
}
