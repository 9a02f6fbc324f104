// The engine's thread in the service: a hidden top-level window with the timers, the watcher's
// changes, the work posted to it and the request to stop; the controller's clock.
#pragma once

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

#include "drives/volume_observer.h"
#include "platform/windows_include.h"
#include "shell/main_view.h"

namespace dv {

class TfmMain;

class TEngineWindow : public IClock {
public:
    // The window belongs to the thread that makes it; Handle() is null when it could not be made.
    TEngineWindow();
    ~TEngineWindow() override;
    TEngineWindow(const TEngineWindow&) = delete;
    TEngineWindow& operator=(const TEngineWindow&) = delete;

    HWND Handle() const { return window_; }
    void SetController(TfmMain* controller) { controller_ = controller; }
    void SetObserver(TVolumeObserver* observer) { observer_ = observer; }
    void SetDirectoryChangeHandler(std::function<void(WPARAM, LPARAM)> handler) {
        directoryChange_ = std::move(handler);
    }

    // From any thread: runs `work` on the window's thread between its messages, in the order posted.
    // Work runs only while the window exists: the window owns what is still queued.
    bool Post(std::function<void()> work);
    // A volume the device notices told of, handed to the observer as its own window would hand it.
    void PostVolumeBroadcast(const TVolumeBroadcast& broadcast);
    // From any thread: ends the message loop once the handler running now (if any) has returned.
    void RequestStop();

    void RunMessageLoop();

    // --- IClock ---
    void SetTimerInterval(TTimer timer, std::uint32_t milliseconds) override;
    void SetTimerEnabled(TTimer timer, bool enabled) override;
    bool TimerEnabled(TTimer timer) const override;
    void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }
    void ProcessPendingMessages() override;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnTimer(UINT_PTR id);
    void RunPostedWork();

    HWND window_ = nullptr;
    TfmMain* controller_ = nullptr;
    TVolumeObserver* observer_ = nullptr;
    std::function<void(WPARAM, LPARAM)> directoryChange_;
    struct TimerState {
        std::uint32_t interval = 0;
        bool enabled = false;
    };
    std::map<TTimer, TimerState> timers_;
    std::mutex queueMutex_;
    std::deque<std::function<void()>> queue_;
};

}  // namespace dv
