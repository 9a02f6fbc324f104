#include "service/service_host_win.h"
#include "service/engine_window_win.h"

#include <chrono>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dialogs/web_links.h"
#include "drives/volume_observer.h"
#include "logging/logs.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "remote/protocol.h"
#include "service/engine_requests.h"
#include "service/engine_views.h"
#include "settings/app_settings.h"
#include "shell/app_messages_win.h"
#include "shell/controller.h"
#include "shell/directory_watcher_win.h"
#include "shell/entry_parts_win.h"
#include "system/system_host_win.h"
#include "system/win_service_mgmt.h"

namespace dv {
namespace {

// What the manager is told to wait between two check points of a start or a stop; the host reports
// a new one every second for as long as it is on its way.
constexpr DWORD kPendingWaitHintMs = 10000;
constexpr auto kCheckPointInterval = std::chrono::seconds(1);

TServiceHost* runningHost = nullptr;

// The face that the installer puts beside the service and starts at every sign-in.
constexpr char16_t kFaceProgram[] = u"Dockvane.exe";

// The service's registered program in double quotes. Under a folder with blanks ("Program Files") a
// path without them lets the service control manager try "C:\\Program.exe" first; Wine's installer
// registers the path so, and an administrator's `sc config` may too.
void QuoteRegisteredProgram(SC_HANDLE service) {
    DWORD bytes = 0;
    (void)::QueryServiceConfigW(service, nullptr, 0, &bytes);
    if (bytes == 0) return;
    std::vector<BYTE> buffer(bytes);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!::QueryServiceConfigW(service, config, bytes, &bytes) || config->lpBinaryPathName == nullptr) return;
    const std::wstring program = config->lpBinaryPathName;
    wchar_t running[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, running, MAX_PATH);
    // Only the bare path of this very program: arguments or any other form stay as registered.
    if (length == 0 || length >= MAX_PATH || program.find(L' ') == std::wstring::npos ||
        ::lstrcmpiW(program.c_str(), running) != 0) {
        return;
    }
    const std::wstring quoted = L"\"" + program + L"\"";
    if (!::ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, quoted.c_str(),
                                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)) {
        LogError(u"The service's program path was not put in quotes: error " +
                 FromUtf8(std::to_string(::GetLastError())));
    }
}

// After a crash the service control manager starts the service again, three times 5 s apart, the
// count forgotten after a day; also after a stop that reports an error (an engine that never came up).
// The installer's tools make no ServiceConfig table, so the service sets them itself at every start.
// Wine's service manager keeps no recovery actions and runs none.
void SetRecoveryActions(SC_HANDLE service) {
    SC_ACTION actions[] = {{SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 5000}};
    SERVICE_FAILURE_ACTIONSW failure{};
    failure.dwResetPeriod = 24 * 60 * 60;
    failure.cActions = static_cast<DWORD>(std::size(actions));
    failure.lpsaActions = actions;
    if (!::ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure)) {
        LogError(u"The service's recovery actions were not set: error " + FromUtf8(std::to_string(::GetLastError())));
    }
    SERVICE_FAILURE_ACTIONS_FLAG onErrors{TRUE};
    (void)::ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &onErrors);
}

// What the service sets of its own registration at every start.
void ConfigureOwnRegistration() {
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return;
    // SERVICE_START too: a restart action is refused on a handle without it.
    if (SC_HANDLE service =
            ::OpenServiceW(manager, kServiceName, SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG | SERVICE_START)) {
        QuoteRegisteredProgram(service);
        SetRecoveryActions(service);
        ::CloseServiceHandle(service);
    }
    ::CloseServiceHandle(manager);
}

}  // namespace

TServiceHost::TServiceHost(TEngineSystem system)
    : system_(std::move(system)),
      volumeInterfaces_([this](const TVolumeBroadcast& arrival) { PostVolumeBroadcast(arrival); }) {
    status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status_.dwCurrentState = SERVICE_STOPPED;
}

TServiceHost::~TServiceHost() {
    if (engineThread_.joinable()) engineThread_.join();
}

bool TServiceHost::Run(DWORD& error) {
    runningHost = this;
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(kServiceName), &TServiceHost::ServiceMain}, {nullptr, nullptr}};
    const bool dispatched = ::StartServiceCtrlDispatcherW(table) != FALSE;
    error = dispatched ? NO_ERROR : ::GetLastError();
    runningHost = nullptr;
    return dispatched;
}

bool TServiceHost::Post(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    return engine_ != nullptr && engine_->Post(std::move(work));
}

void WINAPI TServiceHost::ServiceMain(DWORD, LPWSTR*) {
    if (runningHost) runningHost->RunService();
}

DWORD WINAPI TServiceHost::ControlHandler(DWORD control, DWORD eventType, void* eventData, void* context) {
    return static_cast<TServiceHost*>(context)->OnControl(control, eventType, eventData);
}

void TServiceHost::RunService() {
    statusHandle_ = ::RegisterServiceCtrlHandlerExW(kServiceName, &TServiceHost::ControlHandler, this);
    if (!statusHandle_) {
        LogUncaughtError(std::make_exception_ptr(EOSError(u"The service cannot take controls.", ::GetLastError())));
        return;
    }
    Report(SERVICE_START_PENDING, kPendingWaitHintMs);
    ConfigureOwnRegistration();
    // A service has no window that the system's drive broadcasts reach: the volumes are told to it by
    // their device interface.
    if (DWORD error = NO_ERROR; !volumeInterfaces_.Register(statusHandle_, error)) {
        LogUncaughtError(std::make_exception_ptr(EOSError(u"The service hears of no volume interfaces.", error)));
    }

    engineThread_ = std::thread([this] { RunEngine(); });
    bool up = false;
    {
        std::unique_lock lock(mutex_);
        while (!engineChanged_.wait_for(lock, kCheckPointInterval, [this] { return engineUp_ || engineDone_; })) {
            lock.unlock();
            Report(SERVICE_START_PENDING, kPendingWaitHintMs);
            lock.lock();
        }
        up = engineUp_;
    }
    if (up) Report(SERVICE_RUNNING);
    {
        std::unique_lock lock(mutex_);
        while (!engineChanged_.wait_for(lock, kCheckPointInterval, [this] { return engineDone_; })) {
            if (!stopRequested_) continue;
            lock.unlock();
            Report(SERVICE_STOP_PENDING, kPendingWaitHintMs);
            lock.lock();
        }
    }
    engineThread_.join();
    volumeInterfaces_.Unregister();
    // An engine that never came up is a failure the manager may act on (its recovery actions).
    Report(SERVICE_STOPPED, 0, up ? NO_ERROR : ERROR_EXCEPTION_IN_SERVICE);
}

void TServiceHost::Report(DWORD state, DWORD waitHintMs, DWORD exitCode) {
    std::lock_guard lock(mutex_);
    // Nothing after the end: the manager may have let the process go.
    if (status_.dwCurrentState == SERVICE_STOPPED && state != SERVICE_START_PENDING) return;
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    status_.dwCheckPoint = pending && status_.dwCurrentState == state ? status_.dwCheckPoint + 1 : 0;
    status_.dwCurrentState = state;
    status_.dwWaitHint = pending ? waitHintMs : 0;
    status_.dwWin32ExitCode = exitCode;
    // Controls only while running: a stop during the start waits for the engine to be up.
    status_.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PRESHUTDOWN | SERVICE_ACCEPT_SHUTDOWN : 0;
    ::SetServiceStatus(statusHandle_, &status_);
}

DWORD TServiceHost::OnControl(DWORD control, DWORD eventType, void* eventData) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_PRESHUTDOWN:
        case SERVICE_CONTROL_SHUTDOWN:
            Report(SERVICE_STOP_PENDING, kPendingWaitHintMs);
            RequestStop();
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE: return NO_ERROR;  // the manager reads the status it has
        case SERVICE_CONTROL_DEVICEEVENT: OnDeviceEvent(eventType, eventData); return NO_ERROR;
        default: return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void TServiceHost::OnDeviceEvent(DWORD eventType, const void* eventData) {
    if (const std::optional<TVolumeBroadcast> broadcast = volumeInterfaces_.OnDeviceEvent(eventType, eventData)) {
        PostVolumeBroadcast(*broadcast);
    }
}

void TServiceHost::PostVolumeBroadcast(const TVolumeBroadcast& broadcast) {
    std::lock_guard lock(mutex_);
    if (engine_) engine_->PostVolumeBroadcast(broadcast);
}

void TServiceHost::RequestStop() {
    std::lock_guard lock(mutex_);
    stopRequested_ = true;
    if (engine_) engine_->RequestStop();
}

void TServiceHost::RunEngine() {
    try {
        TEngineWindow window;
        if (window.Handle()) {
            TWinDirectoryWatcher watcher(window.Handle(), kDirectoryChangeMessage);
            window.SetDirectoryChangeHandler([&watcher](WPARAM index, LPARAM run) { watcher.HandOver(index, run); });
            // Shared with the search-service workers, which may still run when the engine has stopped.
            const auto systemHost = std::make_shared<TWinSystemHost>();
            systemHost->SetMainWindow(window.Handle());
            systemHost->SetFaceProgram(FolderOfPath(systemHost->ExecutablePath()) + kFaceProgram);
            const auto services = std::make_shared<TWinServiceControl>();
            TWorkers workers;

            // The faces' pipe. Each request is carried over to this thread and handled between its
            // messages, or inside a handler that lets them through, as a tray command would be. Until
            // the controller has started, a face may only subscribe (AnswerBeforeStart).
            TEngineRequests* requests = nullptr;  // this thread's only
            std::unique_ptr<remote::TPipeServer> faces;
            faces = std::make_unique<remote::TPipeServer>(
                system_.PipeName,
                remote::TPipeServerHandlers{
                    [this, &requests, &faces](remote::TConnectionId connection, const remote::TCaller& caller,
                                              std::string payload) {
                        // Dropped once the engine has stopped; the face hears of it when the pipe goes.
                        (void)Post([&requests, &faces, connection, caller, payload = std::move(payload)] {
                            if (requests) {
                                requests->Handle(connection, caller, payload);
                            } else {
                                AnswerBeforeStart(*faces, connection, caller, payload);
                            }
                        });
                    },
                    {},
                });
            TEngineViews views(*faces);

            // The logs let this thread handle its messages while they write, from the start-up on.
            SetPendingMessagesHook([&window] { window.ProcessPendingMessages(); });
            {
                std::lock_guard lock(mutex_);
                engine_ = &window;
                engineUp_ = true;
                if (stopRequested_) window.RequestStop();
            }
            engineChanged_.notify_all();

            auto main = std::make_unique<TfmMain>(TMainServices{
                system_.Shares,
                system_.Users,
                system_.Volumes,
                system_.Devices,
                system_.EjectBlockers,
                *systemHost,
                *services,
                DefaultWebSystem(),
                views,
                views,
                views,
                views,
                window,
                watcher,
                [&window] {
                    auto observer = std::make_unique<TVolumeObserver>(&LogUncaughtError);
                    window.SetObserver(observer.get());
                    return observer;
                },
                [] { return GetSettingsFileName(); },
                system_.PingClients,
                // A worker uses the system and service objects above: it holds them until it ends.
                [&workers, systemHost, services](std::function<void()> work) {
                    workers.Start([systemHost, services, work = std::move(work)] { work(); });
                },
                &LogUncaughtError,
                WindowsFolder(),
            });
            window.SetController(main.get());
            TEngineRequests engineRequests(*main, views, *faces);
            requests = &engineRequests;
            TellSubscribersTheEngineIsUp(*faces, views.TrayIconIndex());
            window.RunMessageLoop();

            // The stop: nothing more is posted or pumped, then the controller goes on its own thread
            // (the settings saved; shares, accounts and rights stay).
            SetPendingMessagesHook(nullptr);
            {
                std::lock_guard lock(mutex_);
                engine_ = nullptr;
            }
            requests = nullptr;
            faces->Broadcast({0, remote::TEngineStopping{}});
            window.SetController(nullptr);
            window.SetObserver(nullptr);
            main.reset();
        } else {
            LogUncaughtError(
                std::make_exception_ptr(EOSError(u"The engine's window cannot be made.", ::GetLastError())));
        }
    } catch (...) {
        LogUncaughtError(std::current_exception());
    }
    {
        std::lock_guard lock(mutex_);
        engine_ = nullptr;
        engineDone_ = true;
    }
    engineChanged_.notify_all();
}

}  // namespace dv
