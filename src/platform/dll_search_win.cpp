#include "platform/dll_search_win.h"

#include "platform/windows_include.h"

namespace dv {

bool RestrictLibrarySearchToSystem32() {
    // Looked up, not imported: a system without it must still start the program.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    const auto setDefault = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(
                                         reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")))
                                   : nullptr;
    // The current folder leaves the search either way.
    ::SetDllDirectoryW(L"");
    return setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace dv
