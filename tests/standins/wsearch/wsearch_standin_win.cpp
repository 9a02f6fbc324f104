// A service that does nothing but take its time: it reports START_PENDING for the start delay and
// STOP_PENDING for the stop delay, advancing its check-point as it goes, then RUNNING or STOPPED.
// A client that waits as the service control manager tells it (wait hints, check-points) therefore
// really has to wait.
//
//   wsearch_standin.exe [--start-delay-ms N] [--stop-delay-ms N]     (both 0 by default)
//
// The service's name comes from the manager, so one program serves under any name.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <cwctype>
#include <string>

namespace {

DWORD g_startDelayMs = 0;
DWORD g_stopDelayMs = 0;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
HANDLE g_stopRequested = nullptr;
SERVICE_STATUS g_status{};
CRITICAL_SECTION g_statusLock;

// Pending states advance their check-point in steps of this length, each reported with a wait hint
// of the time still left.
constexpr DWORD kStepMs = 250;

void Report(DWORD state, DWORD checkPoint, DWORD waitHintMs) {
    ::EnterCriticalSection(&g_statusLock);
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwCurrentState = state;
    g_status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    g_status.dwWin32ExitCode = NO_ERROR;
    g_status.dwServiceSpecificExitCode = 0;
    g_status.dwCheckPoint = checkPoint;
    g_status.dwWaitHint = waitHintMs;
    ::SetServiceStatus(g_statusHandle, &g_status);
    ::LeaveCriticalSection(&g_statusLock);
}

// Stays in a pending state for the delay, then reports the final state.
void Pend(DWORD pending, DWORD delayMs, DWORD final) {
    DWORD checkPoint = 1;
    DWORD left = delayMs;
    while (left > 0) {
        Report(pending, checkPoint++, left);
        const DWORD step = left < kStepMs ? left : kStepMs;
        ::Sleep(step);
        left -= step;
    }
    Report(final, 0, 0);
}

DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            // The answer to the request already says STOP_PENDING; the service's thread does the rest.
            Report(SERVICE_STOP_PENDING, 1, g_stopDelayMs);
            ::SetEvent(g_stopRequested);
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE: return NO_ERROR;
        default: return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv) {
    g_statusHandle = ::RegisterServiceCtrlHandlerExW(argc > 0 ? argv[0] : L"", Handler, nullptr);
    if (!g_statusHandle) return;
    Pend(SERVICE_START_PENDING, g_startDelayMs, SERVICE_RUNNING);
    ::WaitForSingleObject(g_stopRequested, INFINITE);
    Pend(SERVICE_STOP_PENDING, g_stopDelayMs, SERVICE_STOPPED);
}

bool ParseMilliseconds(const wchar_t* text, DWORD& value) {
    if (!*text) return false;
    unsigned long long parsed = 0;
    for (const wchar_t* p = text; *p; ++p) {
        if (!std::iswdigit(*p)) return false;
        parsed = parsed * 10 + static_cast<unsigned>(*p - L'0');
        if (parsed > 600000) return false;  // ten minutes is already far beyond any test
    }
    value = static_cast<DWORD>(parsed);
    return true;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv) return 1;
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        DWORD* target = option == L"--start-delay-ms"  ? &g_startDelayMs
                        : option == L"--stop-delay-ms" ? &g_stopDelayMs
                                                       : nullptr;
        if (!target || i + 1 >= argc || !ParseMilliseconds(argv[i + 1], *target)) {
            std::fwprintf(stderr, L"usage: wsearch_standin [--start-delay-ms N] [--stop-delay-ms N]\n");
            return 2;
        }
        ++i;
    }
    ::LocalFree(argv);
    ::InitializeCriticalSection(&g_statusLock);
    g_stopRequested = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    wchar_t empty[] = L"";
    const SERVICE_TABLE_ENTRYW table[] = {{empty, ServiceMain}, {nullptr, nullptr}};
    if (!::StartServiceCtrlDispatcherW(table)) {
        std::fwprintf(stderr, L"wsearch_standin runs only as a service (error %lu)\n", ::GetLastError());
        return 1;
    }
    return 0;
}
