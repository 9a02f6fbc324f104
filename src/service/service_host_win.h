// The engine as a Windows service: the service control manager's side (the dispatcher, the control
// handler, the status with its check points) and the engine's own thread, which holds the controller
// with a hidden top-level window and its message loop, as the tray holds it on its thread, and the
// pipe through which the faces see what it does and ask it to act.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "accounts/share_api.h"
#include "accounts/user_api.h"
#include "drives/eject_blocker.h"
#include "drives/volume_query.h"
#include "platform/windows_include.h"
#include "remote/pipe_server_win.h"
#include "service/volume_interfaces_win.h"
#include "sharing/ping_to_web.h"

namespace dv {

inline constexpr wchar_t kServiceName[] = L"Dockvane";

// The system services the engine works through: the system's own, or the simulation's in a test build.
struct TEngineSystem {
    IShareApi& Shares;
    IUserApi& Users;
    IVolumeQuery& Volumes;
    IDeviceEject& Devices;
    IEjectBlockerSource& EjectBlockers;
    TPingToWebTh::ClientFactory PingClients;
    // Where the faces and dockvane-cli reach the engine.
    std::wstring PipeName = std::wstring(remote::kPipeName);
};

class TEngineWindow;

class TServiceHost {
public:
    explicit TServiceHost(TEngineSystem system);
    ~TServiceHost();
    TServiceHost(const TServiceHost&) = delete;
    TServiceHost& operator=(const TServiceHost&) = delete;

    // Hands the process to the service control manager and returns once the service has stopped;
    // false (with the system's error) when the process was not started as a service.
    [[nodiscard]] bool Run(DWORD& error);

    // Runs `work` on the engine's thread, between its messages; false once the engine has stopped (the
    // work is then dropped). From any thread.
    bool Post(std::function<void()> work);

private:
    static void WINAPI ServiceMain(DWORD argc, LPWSTR* argv);
    static DWORD WINAPI ControlHandler(DWORD control, DWORD eventType, void* eventData, void* context);
    void RunService();
    DWORD OnControl(DWORD control, DWORD eventType, void* eventData);
    void OnDeviceEvent(DWORD eventType, const void* eventData);
    // From the control handler's thread or the volume interfaces' look for a late letter.
    void PostVolumeBroadcast(const TVolumeBroadcast& broadcast);
    void RequestStop();
    // Sets the state, with the next check point while it is pending.
    void Report(DWORD state, DWORD waitHintMs = 0, DWORD exitCode = NO_ERROR);
    void RunEngine();

    TEngineSystem system_;
    SERVICE_STATUS_HANDLE statusHandle_ = nullptr;

    std::mutex mutex_;
    SERVICE_STATUS status_{};
    bool stopRequested_ = false;
    // The engine's window while its loop may run; work is posted to it.
    TEngineWindow* engine_ = nullptr;
    bool engineUp_ = false;
    bool engineDone_ = false;
    std::condition_variable engineChanged_;
    std::thread engineThread_;
    // The control handler's thread hands it the device events; it tells late arrivals from a thread
    // of the system's pool, through the members above (so it goes first).
    TVolumeInterfaces volumeInterfaces_;
};

}  // namespace dv
