// For the Windows-side tests: the helper program beside the test program, run while this thread
// keeps handling its messages (so that the helper's broadcasts reach this thread's windows).
#pragma once

#include <string>

#include "platform/handles_win.h"
#include "platform/windows_include.h"

namespace dv::testing {

inline std::wstring TestHelperPath() {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"dockvane_test_helper.exe";
}

inline void PumpMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

// Runs the helper with `arguments`, handling messages until it ends; its exit code, or -1 when it
// could not be started or did not end within 60 s.
inline long RunHelperPumping(const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + TestHelperPath() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        return -1;
    }
    UniqueKernelHandle processHandle(process.hProcess);
    UniqueKernelHandle threadHandle(process.hThread);
    const ULONGLONG deadline = ::GetTickCount64() + 60000;
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) {
            ::TerminateProcess(processHandle.get(), 1);
            return -1;
        }
        const HANDLE handle = processHandle.get();
        const DWORD wait =
            ::MsgWaitForMultipleObjects(1, &handle, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
        if (wait == WAIT_OBJECT_0) break;
        PumpMessages();
    }
    PumpMessages();
    DWORD exitCode = 0;
    ::GetExitCodeProcess(processHandle.get(), &exitCode);
    return static_cast<long>(exitCode);
}

}  // namespace dv::testing
