#include "platform/os_error.h"
#include "platform/handles_win.h"
#include "platform/windows_include.h"

#include <string_view>

#include <lmerr.h>

namespace dv {

// The portable side carries these system values as plain numbers.
static_assert(kNerrBase == NERR_BASE);
static_assert(kMaxNerr == MAX_NERR);

std::u16string FormatOSMessage(std::uint32_t code, bool networkRange) {
    DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY;
    // netmsg.dll holds the network-management texts; with FROM_HMODULE its table is searched before
    // the system's.
    UniqueModule netmsg;
    if (networkRange && code >= kNerrBase && code <= kMaxNerr) {
        netmsg.reset(LoadLibraryExW(L"netmsg.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (netmsg) flags |= FORMAT_MESSAGE_FROM_HMODULE;
    }
    wchar_t buffer[256] = {};
    const DWORD length = FormatMessageW(flags, netmsg.get(), code, 0, buffer, 256, nullptr);
    return FromWide(std::wstring_view(buffer, length));
}

}  // namespace dv
