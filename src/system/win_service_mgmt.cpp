#include "system/win_service_mgmt.h"

#include <cstddef>
#include <memory>
#include <optional>

#include "platform/errors.h"
#include "sharing/ping_to_web.h"

namespace dv {
namespace {

constexpr std::u16string_view kSearchMachine = u"localhost";
constexpr std::u16string_view kSearchService = u"WSearch";
constexpr std::u16string_view kScheduler = u"schtasks.exe";
constexpr std::u16string_view kTaskProgram = u"Dockvane.exe";

}  // namespace

std::u16string FolderOfPath(std::u16string_view path) {
    const std::size_t separator = path.find_last_of(u"\\/");
    if (separator == std::u16string_view::npos) return {};
    return std::u16string(path.substr(0, separator + 1));
}

std::u16string DeleteTaskArguments() {
    return u"/delete /tn Dockvane /F";
}

std::u16string CreateTaskArguments(std::u16string_view executableFolder) {
    // The program path is stored in double quotes (the folder may hold blanks); \" is a quote inside
    // a quoted argument for schtasks' command-line parser.
    // https://learn.microsoft.com/cpp/c-language/parsing-c-command-line-arguments
    return u"/create /tn Dockvane /tr \"\\\"" + std::u16string(executableFolder) + std::u16string(kTaskProgram) +
           u"\\\"\" /sc onlogon /rl HIGHEST /delay 0000:30";
}

std::uint32_t TWinServiceMgmt::vtServiceGetStatus(std::u16string_view p_strMachine, std::u16string_view p_strService) {
    const std::unique_ptr<IServiceSession> session = services_.Open(p_strMachine, p_strService, TServiceAccess::Query);
    if (!session) return kServiceStopped;
    const std::optional<TServiceStatus> status = session->Query();
    return status ? status->currentState : kServiceStopped;
}

// Follows the service's own progress reports until it reaches `wanted`. A service that falls back to
// `resting` (a start that failed, a stop it ignored) reports no more progress: waiting on would spin
// for ever.
bool TWinServiceMgmt::WaitForState(IServiceSession& session, TServiceStatus& status, std::uint32_t wanted,
                                   std::uint32_t resting) {
    std::optional<TServiceStatus> current = session.Query();
    if (!current) return status.currentState == wanted;
    status = *current;
    while (status.currentState != wanted && status.currentState != resting) {
        const std::uint32_t checkPoint = status.checkPoint;
        services_.Sleep(status.waitHint);
        current = session.Query();
        if (!current) break;
        status = *current;
        if (status.checkPoint < checkPoint) break;
    }
    return status.currentState == wanted;
}

bool TWinServiceMgmt::ServiceStartAndWait(std::u16string_view machine, std::u16string_view service) {
    TServiceStatus status{kServiceStopped, 0, 0};
    const std::unique_ptr<IServiceSession> session = services_.Open(machine, service, TServiceAccess::StartAndQuery);
    if (!session) return false;
    // A running service refuses the start: the answer is then false.
    if (session->Start()) WaitForState(*session, status, kServiceRunning, kServiceStopped);
    return status.currentState == kServiceRunning;
}

bool TWinServiceMgmt::ServiceStopAndWait(std::u16string_view machine, std::u16string_view service) {
    TServiceStatus status{};
    const std::unique_ptr<IServiceSession> session = services_.Open(machine, service, TServiceAccess::StopAndQuery);
    if (!session) return false;
    // A stopped service refuses the request but reports its state: the answer is then true.
    if (session->Stop(status)) WaitForState(*session, status, kServiceStopped, kServiceRunning);
    return status.currentState == kServiceStopped;
}

bool TWinServiceMgmt::WinSerchStop() {
    return ServiceStopAndWait(kSearchMachine, kSearchService);
}

bool TWinServiceMgmt::WinSerchStart() {
    return ServiceStartAndWait(kSearchMachine, kSearchService);
}

void TWinServiceMgmt::SetAutostartProgram(bool StartF) {
    if (IsVistaOrLater()) {
        // The scheduler runs directly and is waited for: no command interpreter stays behind, and
        // the delete has finished before the create begins.
        host_.ProcessMessages();
        (void)host_.RunSystemProgram(kScheduler, DeleteTaskArguments(), kSchedulerTimeoutMs);
        host_.ProcessMessages();
        if (StartF) {
            (void)host_.RunSystemProgram(kScheduler, CreateTaskArguments(FolderOfPath(host_.ExecutablePath())),
                                         kSchedulerTimeoutMs);
        }
        return;
    }
    if (StartF) {
        (void)host_.WriteUserString(kRunKey, kAutostartName, u"\"" + host_.ExecutablePath() + u"\"");
    } else {
        (void)host_.DeleteUserValue(kRunKey, kAutostartName);
    }
}

void TWinServiceMgmt::USBAutoPalyStartStop(int mode) {
    std::uint32_t value = 0;
    switch (mode) {
        case 0:  // always disabled
        case 1:  // disabled for Dockvane disks: the application handles their arrival itself
            value = 0xFF;
            break;
        case 2:  // always enabled: the system's default
            value = 0x91;
            break;
        default: return;
    }
    (void)host_.WriteUserDword(kExplorerPolicyKey, kAutoRunValueName, value);
}

std::u16string TWinServiceMgmt::getHostname() {
    std::u16string name;
    try {
        host_.ProcessMessages();
        name = host_.ComputerName().value_or(u"");
        host_.ProcessMessages();
        const std::u16string address = name.empty() ? std::u16string() : host_.ResolveIPv4(name);
        // The address reads like a network path to the computer.
        std::u16string result = name + u" (\\\\" + address + u")";
        host_.ProcessMessages();
        return result;
    } catch (...) {
        return name;
    }
}

void TWinServiceMgmt::ShowSystemProperties() {
    if (IsVistaOrLater()) {
        // The control panel program of the system folder, by its full path: this process runs
        // elevated, so it runs nothing that another process of the user could have written or put
        // first in the search path (a file in the temporary folder, a control.exe elsewhere).
        const std::u16string system = host_.SpecialFolder(kCsidlSystem);
        if (system.empty()) return;
        const std::u16string separator = system.back() == u'\\' ? u"" : u"\\";
        host_.ShellOpen(system + separator + std::u16string(kControlPanelProgram), kSystemPageParameters, u"open", true,
                        TShowMode::Normal);
        host_.ProcessMessages();
        return;
    }
    const std::u16string system = host_.SpecialFolder(kCsidlSystem);
    const std::u16string target = system.empty() ? std::u16string(u"sysdm.cpl") : system + u"\\sysdm.cpl";
    host_.ShellOpen(target, u"", u"", false, TShowMode::Normal);
}

std::optional<std::u16string> TWinServiceMgmt::doPingToSrvUrl(std::u16string_view url) {
    const std::unique_ptr<IHttpClient> client = CreateHttpClient();
    if (!client) throw Exception(u"No HTTP client in this build");
    return DoPingToSrvUrl(*client, url);
}

}  // namespace dv
