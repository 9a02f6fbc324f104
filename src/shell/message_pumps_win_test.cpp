// Every place that lets pending messages run keeps the quit request for the main loop: Exit posts
// it from inside a handler, and a pump further down the stack must not swallow it.
#include "platform/windows_include.h"

#include <gtest/gtest.h>

#include <functional>

#include "dialogs/dialog_base_win.h"
#include "shell/main_window_win.h"
#include "system/system_host_win.h"

namespace dv {
namespace {

constexpr UINT kCounted = WM_APP + 40;

// A window that counts the messages it was handed.
class CountingWindow {
public:
    CountingWindow() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            if (message == kCounted) {
                ++*reinterpret_cast<int*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
                return 0;
            }
            return ::DefWindowProcW(window, message, wParam, lParam);
        };
        windowClass.lpszClassName = L"DockvanePumpTest";
        ::RegisterClassW(&windowClass);
        handle = ::CreateWindowW(L"DockvanePumpTest", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        ::SetWindowLongPtrW(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&handled));
    }
    ~CountingWindow() { ::DestroyWindow(handle); }

    HWND handle = nullptr;
    int handled = 0;
};

TEST(WinMessagePumps, EveryPumpLeavesTheQuitRequestWithItsCodeForTheMessageLoop) {
    TMainWindow window;
    TWinSystemHost system;
    CountingWindow counting;
    const struct {
        const char* name;
        std::function<void()> pump;
    } pumps[] = {
        {"the system host's (service and host-name waits)", [&] { system.ProcessMessages(); }},
        {"the main window's (logs, start-up, drive handlers)", [&] { window.ProcessPendingMessages(); }},
        {"the dialogs' (busy panel)", [] { ProcessPendingMessages(); }},
    };
    int code = 40;
    for (const auto& p : pumps) {
        ++code;
        counting.handled = 0;
        ::PostQuitMessage(code);
        ::PostMessageW(counting.handle, kCounted, 0, 0);
        p.pump();
        // What was pending ran; the quit request is still there, once, and the loop ends with its code.
        EXPECT_EQ(counting.handled, 1) << p.name;
        MSG message{};
        if (!::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) {
            ADD_FAILURE() << p.name << ": the quit request was swallowed";
            continue;
        }
        EXPECT_EQ(window.RunMessageLoop(), code) << p.name;
        EXPECT_FALSE(::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << p.name;
    }
}

}  // namespace
}  // namespace dv
