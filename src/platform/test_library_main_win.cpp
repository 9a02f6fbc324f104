// dockvane_test_library.dll: a library that does nothing, for the Windows-side tests to place where a
// program must not load it from.
#include "platform/windows_include.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
