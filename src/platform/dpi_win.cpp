#include "platform/dpi_win.h"

#include <commctrl.h>

namespace dv {
namespace {

template <typename Function>
Function Bind(const wchar_t* module, const char* name) {
    // From System32 only, whatever the process's search order: the program runs elevated.
    const HMODULE library = ::GetModuleHandleW(module)
                                ? ::GetModuleHandleW(module)
                                : ::LoadLibraryExW(module, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!library) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

UINT SystemDpi() {
    const HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

}  // namespace

UINT DpiOfWindow(HWND window) {
    // Windows 10 1607 and later.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = Bind<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
    const UINT dpi = getDpiForWindow && window ? getDpiForWindow(window) : 0;
    return dpi != 0 ? dpi : SystemDpi();
}

UINT DpiAtPoint(POINT point) {
    // Windows 8.1 and later; MDT_EFFECTIVE_DPI is 0.
    using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    static const auto getDpiForMonitor = Bind<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
    UINT x = 0, y = 0;
    if (getDpiForMonitor &&
        SUCCEEDED(getDpiForMonitor(::MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST), 0, &x, &y)) && y != 0) {
        return y;
    }
    return SystemDpi();
}

int SmallIconSize(UINT dpi) {
    using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
    static const auto metricsForDpi = Bind<GetSystemMetricsForDpiFn>(L"user32.dll", "GetSystemMetricsForDpi");
    if (metricsForDpi) {
        const int size = metricsForDpi(SM_CXSMICON, dpi);
        if (size > 0) return size;
    }
    // The system's size belongs to the system's DPI.
    return ::MulDiv(::GetSystemMetrics(SM_CXSMICON), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

LOGFONTW MessageFontForDpi(UINT dpi) {
    using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
    static const auto forDpi = Bind<SystemParametersInfoForDpiFn>(L"user32.dll", "SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) return metrics.lfMessageFont;
    metrics = {};
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    LOGFONTW font = metrics.lfMessageFont;
    font.lfHeight = ::MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
    return font;
}

HICON LoadIconOfSize(int resourceId, int size) {
    // LoadIconWithScaleDown (Vista and later) scales a larger image down rather than a smaller one up.
    using LoadIconWithScaleDownFn = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
    static const auto scaleDown = Bind<LoadIconWithScaleDownFn>(L"comctl32.dll", "LoadIconWithScaleDown");
    HICON icon = nullptr;
    if (scaleDown &&
        SUCCEEDED(scaleDown(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId), size, size, &icon)) && icon) {
        return icon;
    }
    return static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId), IMAGE_ICON, size, size, 0));
}

}  // namespace dv
