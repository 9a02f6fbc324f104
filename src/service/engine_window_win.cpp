#include "service/engine_window_win.h"

#include <exception>
#include <utility>

#include "shell/app_messages_win.h"
#include "shell/controller.h"
#include "shell/entry_parts_win.h"

namespace dv {
namespace {

constexpr wchar_t kWindowClass[] = L"DockvaneEngineWindow";

UINT_PTR TimerId(TTimer timer) {
    return timer == TTimer::Poll ? kPollTimerId : kNotifyUsbDriveTimerId;
}

}  // namespace

TEngineWindow::TEngineWindow() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &TEngineWindow::WindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassExW(&windowClass);
    // Top-level like the tray's: broadcasts reach no message-only window.
    window_ = ::CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, L"Dockvane engine", WS_POPUP, 0, 0, 0, 0, nullptr,
                                nullptr, windowClass.hInstance, this);
    timers_[TTimer::Poll] = {kPollIntervalMs, false};
    timers_[TTimer::NotifyUsbDrive] = {7500, true};
    if (window_) ::SetTimer(window_, TimerId(TTimer::NotifyUsbDrive), 7500, nullptr);
}

TEngineWindow::~TEngineWindow() {
    if (window_) ::DestroyWindow(window_);
}

bool TEngineWindow::Post(std::function<void()> work) {
    if (!window_) return false;
    {
        std::lock_guard lock(queueMutex_);
        queue_.push_back(std::move(work));
    }
    return ::PostMessageW(window_, kEngineWorkMessage, 0, 0) != FALSE;
}

void TEngineWindow::PostVolumeBroadcast(const TVolumeBroadcast& broadcast) {
    Post([this, broadcast] {
        if (observer_) observer_->DeliverFromWindow(broadcast);
    });
}

void TEngineWindow::RequestStop() {
    if (window_) ::PostMessageW(window_, kEngineStopMessage, 0, 0);
}

void TEngineWindow::RunMessageLoop() {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

void TEngineWindow::SetTimerInterval(TTimer timer, std::uint32_t milliseconds) {
    TimerState& state = timers_[timer];
    state.interval = milliseconds;
    if (state.enabled) ::SetTimer(window_, TimerId(timer), milliseconds, nullptr);
}

void TEngineWindow::SetTimerEnabled(TTimer timer, bool enabled) {
    TimerState& state = timers_[timer];
    if (enabled == state.enabled) return;  // a running timer keeps counting
    state.enabled = enabled;
    if (enabled) {
        ::SetTimer(window_, TimerId(timer), state.interval, nullptr);
    } else {
        ::KillTimer(window_, TimerId(timer));
    }
}

bool TEngineWindow::TimerEnabled(TTimer timer) const {
    const auto found = timers_.find(timer);
    return found != timers_.end() && found->second.enabled;
}

void TEngineWindow::ProcessPendingMessages() {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // The stop is the message loop's: the controller goes on its thread once that ends.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

LRESULT CALLBACK TEngineWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TEngineWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY) ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    return self ? self->HandleMessage(window, message, wParam, lParam)
                : ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT TEngineWindow::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER: OnTimer(wParam); return 0;
        case kDirectoryChangeMessage:
            if (directoryChange_) directoryChange_(wParam, lParam);
            return 0;
        case kEngineWorkMessage: RunPostedWork(); return 0;
        case kEngineStopMessage: ::PostQuitMessage(0); return 0;
        default: return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

void TEngineWindow::OnTimer(UINT_PTR id) {
    if (!controller_) return;
    TfmMain& controller = *controller_;
    if (id == kPollTimerId) {
        controller.Guarded([&controller] { controller.OnPollTimer(); });
    } else if (id == kNotifyUsbDriveTimerId) {
        controller.Guarded([&controller] { controller.OnActivityTimer(); });
    }
}

// One piece of work per message: work that lets messages through finds the rest still queued.
void TEngineWindow::RunPostedWork() {
    std::function<void()> work;
    {
        std::lock_guard lock(queueMutex_);
        if (queue_.empty()) return;
        work = std::move(queue_.front());
        queue_.pop_front();
    }
    try {
        work();
    } catch (...) {
        LogUncaughtError(std::current_exception());
    }
}

}  // namespace dv
