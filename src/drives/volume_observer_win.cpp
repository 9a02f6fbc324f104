// The observer's hidden window. It is a top-level window because the system broadcasts
// WM_DEVICECHANGE volume messages to top-level windows only; a message-only window never sees them.
// https://learn.microsoft.com/windows/win32/devio/wm-devicechange
#include "drives/volume_observer.h"
#include "platform/windows_include.h"

#include <dbt.h>

#include <cstddef>
#include <utility>

namespace dv {

// The portable side carries these system values as plain numbers.
static_assert(kDbtDeviceArrival == DBT_DEVICEARRIVAL);
static_assert(kDbtDeviceQueryRemove == DBT_DEVICEQUERYREMOVE);
static_assert(kDbtDeviceRemovePending == DBT_DEVICEREMOVEPENDING);
static_assert(kDbtDeviceRemoveComplete == DBT_DEVICEREMOVECOMPLETE);
static_assert(kDbtDevTypVolume == DBT_DEVTYP_VOLUME);
static_assert(kDbtDevTypPort == DBT_DEVTYP_PORT);
static_assert(kDbtDevTypDeviceInterface == DBT_DEVTYP_DEVICEINTERFACE);
static_assert(kDbtfMedia == DBTF_MEDIA);
static_assert(kDbtfNet == DBTF_NET);
namespace {

constexpr wchar_t kWindowClass[] = L"DockvaneVolumeObserver";

// Reads only what the record's own size vouches for: a foreign or truncated record becomes "no volume".
TVolumeBroadcast ReadBroadcast(WPARAM wParam, LPARAM lParam) {
    TVolumeBroadcast broadcast;
    broadcast.eventCode = static_cast<std::uint32_t>(wParam);
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    if (header == nullptr || header->dbch_size < sizeof(DEV_BROADCAST_HDR)) return broadcast;
    if (header->dbch_devicetype != DBT_DEVTYP_VOLUME) {
        broadcast.deviceType = header->dbch_devicetype;
        return broadcast;
    }
    if (header->dbch_size < sizeof(DEV_BROADCAST_VOLUME)) return broadcast;
    const auto* volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(lParam);
    broadcast.deviceType = DBT_DEVTYP_VOLUME;
    broadcast.unitMask = volume->dbcv_unitmask;
    broadcast.flags = volume->dbcv_flags;
    return broadcast;
}

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (message == WM_DEVICECHANGE) {
        auto* observer = reinterpret_cast<TVolumeObserver*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (observer != nullptr) observer->DeliverFromWindow(ReadBroadcast(wParam, lParam));
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&WndProc), &module);
    return module;
}

void RegisterWindowClassOnce() {
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = WndProc;
        windowClass.hInstance = ThisModule();
        windowClass.lpszClassName = kWindowClass;
        return ::RegisterClassExW(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    (void)registered;
}

}  // namespace

TVolumeObserver::TVolumeObserver(TUncaughtErrorHandler onUncaughtError) : onUncaughtError_(std::move(onUncaughtError)) {
    RegisterWindowClassOnce();
    // Never shown: WS_POPUP without WS_VISIBLE, no owner, so it stays a top-level window.
    windowHandle_ = ::CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, L"Dockvane volume observer", WS_POPUP, 0, 0, 0, 0,
                                      nullptr, nullptr, ThisModule(), this);
}

TVolumeObserver::~TVolumeObserver() {
    if (windowHandle_ != nullptr) {
        HWND window = static_cast<HWND>(windowHandle_);
        // No deliveries to an observer that is going away.
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        ::DestroyWindow(window);
    }
}

// A window that could not be made receives nothing: the caller must hear of it rather than wait in
// vain for drives.
bool TVolumeObserver::Initialize() {
    return windowHandle_ != nullptr;
}

}  // namespace dv
