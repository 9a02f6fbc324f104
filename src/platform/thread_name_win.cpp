#include "platform/thread_name.h"
#include "platform/windows_include.h"

namespace dv {

void SetCurrentThreadName(std::u16string_view name) {
    // SetThreadDescription exists from Windows 10 1607 on; bound at run time so that older systems
    // (and Wine versions without it) still start.
    using SetThreadDescriptionFn = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    const auto setDescription = kernel ? reinterpret_cast<SetThreadDescriptionFn>(
                                             reinterpret_cast<void*>(::GetProcAddress(kernel, "SetThreadDescription")))
                                       : nullptr;
    if (setDescription) setDescription(::GetCurrentThread(), ToWide(name).c_str());
}

}  // namespace dv
