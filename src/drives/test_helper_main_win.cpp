// A second process for the Windows-side tests of drives and system integration:
//   test_helper broadcast EVENT MASK FLAGS [DEVICETYPE]  sends WM_DEVICECHANGE with a volume record
//                                                        to every top-level window, as the system does
//   test_helper sleep MILLISECONDS                       waits, then ends with exit code 0
//   test_helper exit CODE                                ends at once with that exit code
//   test_helper send-registered NAME WINDOW              sends the registered message NAME to the
//                                                        window (its handle as a number), as the
//                                                        shell sends "TaskbarCreated"
//   test_helper load LIBRARY [restricted]                loads the library by its name (after
//                                                        restricting the search as an elevated
//                                                        program does); 0 when it loaded, 2 if not
#include <cstdlib>
#include <cstring>

#include "platform/dll_search_win.h"
#include "platform/windows_include.h"

#include <dbt.h>

namespace {

unsigned long Number(const char* text) {
    return std::strtoul(text, nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && std::strcmp(argv[1], "broadcast") == 0) {
        DEV_BROADCAST_VOLUME record{};
        record.dbcv_size = sizeof(record);
        record.dbcv_devicetype = argc >= 6 ? Number(argv[5]) : DBT_DEVTYP_VOLUME;
        record.dbcv_unitmask = Number(argv[3]);
        record.dbcv_flags = static_cast<WORD>(Number(argv[4]));
        // Windows of other processes that do not answer in time (other tests running at the same
        // time) only cost their time-out; the receiving test checks what arrived.
        DWORD_PTR result = 0;
        ::SendMessageTimeoutW(HWND_BROADCAST, WM_DEVICECHANGE, Number(argv[2]), reinterpret_cast<LPARAM>(&record),
                              SMTO_ABORTIFHUNG, 3000, &result);
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "sleep") == 0) {
        ::Sleep(Number(argv[2]));
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "exit") == 0) return static_cast<int>(Number(argv[2]));
    if (argc >= 4 && std::strcmp(argv[1], "send-registered") == 0) {
        const UINT message = ::RegisterWindowMessageA(argv[2]);
        const HWND window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(std::strtoull(argv[3], nullptr, 0)));
        DWORD_PTR result = 0;
        // Fails when the receiver's message filter refuses the message, as for an elevated window.
        return ::SendMessageTimeoutW(window, message, 0, 0, SMTO_ABORTIFHUNG, 10000, &result) ? 0 : 2;
    }
    if (argc >= 3 && std::strcmp(argv[1], "load") == 0) {
        if (argc >= 4 && std::strcmp(argv[3], "restricted") == 0) (void)dv::RestrictLibrarySearchToSystem32();
        return ::LoadLibraryA(argv[2]) ? 0 : 2;
    }
    return 1;
}
