// DockvaneSimService.exe, a test program that is never shipped: the service of DockvaneService.exe
// in the simulation mode. Its folder comes from the command line that the service is registered
// with, `"...\DockvaneSimService.exe" --simulation FOLDER`, and from nowhere else.
#include "platform/dll_search_win.h"
#include "platform/windows_include.h"

#include <shellapi.h>

#include <memory>
#include <optional>
#include <string>

#include "accounts/accounts_win.h"
#include "logging/logs.h"
#include "platform/files.h"
#include "platform/text.h"
#include "service/service_host_win.h"
#include "settings/machine_folder.h"
#include "shell/simulation_win.h"

namespace dv {
namespace {

// FOLDER of `--simulation FOLDER`, the only arguments taken; nothing for any other command line.
std::optional<std::u16string> SimulationFolderFromCommandLine() {
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (arguments == nullptr) return std::nullopt;
    std::optional<std::u16string> folder;
    if (count == 3 && std::wstring(arguments[1]) == L"--simulation" && arguments[2][0] != L'\0') {
        std::wstring value = arguments[2];
        while (value.size() > 3 && (value.back() == L'\\' || value.back() == L'/')) value.pop_back();
        folder = FromWide(value);
    }
    ::LocalFree(arguments);
    return folder;
}

int Run() {
    // The application log goes to the machine folder, once it is ours; the settings file, found in the
    // start-up, makes sure of it again and tells when it cannot.
    (void)PrepareMachineFolder();
    const std::optional<std::u16string> folder = SimulationFolderFromCommandLine();
    if (!folder) return ERROR_INVALID_PARAMETER;
    if (!fs::DirectoryExists(*folder) && !fs::MakeDirectory(*folder).ok()) return ERROR_PATH_NOT_FOUND;
    // The test machine's network-management library keeps its shares and accounts in the same folder
    // and finds it in the process's environment.
    ::SetEnvironmentVariableW(L"DOCKVANE_SIMULATION", ToWide(*folder).c_str());

    const std::unique_ptr<IShareApi> shares = CreateWinShareApi();
    const std::unique_ptr<IUserApi> users = CreateWinUserApi();
    TSimulation simulation(*folder, *shares);
    LogApp(u"Simulation mode", *folder);
    TServiceHost host({simulation.Shares(), *users, simulation.Volumes(), simulation.Devices(),
                       simulation.EjectBlockers(), SimulationPingClients()});
    DWORD error = NO_ERROR;
    if (!host.Run(error)) return static_cast<int>(error);
    return 0;
}

}  // namespace
}  // namespace dv

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    (void)dv::RestrictLibrarySearchToSystem32();
    const int exitCode = dv::Run();
    // As DockvaneService.exe: the workers that may still run do not see the runtime torn down.
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(exitCode));
    return exitCode;
}
