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

#include "accounts/accounts_win.h"
#include "dialogs/web_links.h"
#include "drives/eject_blocker.h"
#include "drives/volume_observer.h"
#include "drives/volume_query.h"
#include "logging/logs.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "settings/machine_folder.h"
#include "shell/app_messages_win.h"
#include "shell/controller.h"
#include "shell/directory_watcher_win.h"
#include "shell/entry_parts_win.h"
#include "shell/main_window_win.h"
#include "shell/program_entry.h"
#include "shell/program_entry_win.h"
#include "shell/simulation_win.h"
#include "system/system_host_win.h"

namespace dv {
namespace {

// The central error handler: an error that escaped a handler, a timer, a command or the start-up is
// written to the application log and shown; the application runs on.
void ReportError(std::exception_ptr error) {
    const std::u16string message = LogUncaughtError(error);
    ::MessageBoxW(nullptr, ToWide(message).c_str(), ToWide(kApplicationTitle).c_str(), MB_OK | MB_ICONERROR);
}

// The simulation mode is entered by this variable naming a folder; nothing when it is not set (the
// product as on Windows).
std::optional<std::u16string> SimulationFolderFromEnvironment() {
    const DWORD size = ::GetEnvironmentVariableW(L"DOCKVANE_SIMULATION", nullptr, 0);
    if (size <= 1) return std::nullopt;
    std::wstring value(size, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(L"DOCKVANE_SIMULATION", value.data(), size);
    if (length == 0 || length >= size) return std::nullopt;
    value.resize(length);
    while (value.size() > 3 && (value.back() == L'\\' || value.back() == L'/')) value.pop_back();
    return FromWide(value);
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
    if (const std::optional<std::u16string> folder = SimulationFolderFromEnvironment()) {
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
        simulation ? SimulationPingClients() : PingClients(),
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
