// The least a tray program does: one hidden top-level window and its notification icon. The start-up
// benchmark sets Dockvane.exe beside it, so that what Wine itself costs for a process, a window and
// an icon is seen apart from what Dockvane adds.
//
//   minimal_tray.exe [MS]   adds the icon, removes it MS milliseconds later and ends (without MS:
//                           stays until its window is closed)
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <cwctype>

namespace {

constexpr UINT kTrayMessage = WM_APP + 1;
constexpr UINT_PTR kLeaveTimer = 1;

NOTIFYICONDATAW TrayIcon(HWND window) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = 1;
    return data;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == kLeaveTimer) ::DestroyWindow(window);
            return 0;
        case WM_DESTROY: {
            NOTIFYICONDATAW data = TrayIcon(window);
            ::Shell_NotifyIconW(NIM_DELETE, &data);
            ::PostQuitMessage(0);
            return 0;
        }
        default: return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"MinimalTray";
    ::RegisterClassExW(&windowClass);
    // Hidden and top-level, as a tray program's window must be to receive broadcasts.
    const HWND window = ::CreateWindowExW(0, L"MinimalTray", L"Minimal tray", WS_OVERLAPPED, CW_USEDEFAULT,
                                          CW_USEDEFAULT, 200, 100, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;

    NOTIFYICONDATAW data = TrayIcon(window);
    // Added as Dockvane adds its own: version 4 shows the hint only when asked to.
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    data.uCallbackMessage = kTrayMessage;
    data.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    std::wcscpy(data.szTip, L"Minimal tray");
    if (!::Shell_NotifyIconW(NIM_ADD, &data)) return 2;
    data.uVersion = NOTIFYICON_VERSION_4;
    ::Shell_NotifyIconW(NIM_SETVERSION, &data);

    while (std::iswspace(*commandLine)) ++commandLine;
    if (std::iswdigit(*commandLine)) {
        ::SetTimer(window, kLeaveTimer, static_cast<UINT>(std::wcstoul(commandLine, nullptr, 10)), nullptr);
    }
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}
