#include "platform/wine_drives_win.h"

#include <cstring>
#include <vector>

#include "platform/handles_win.h"
#include "platform/text.h"
#include "platform/windows_include.h"

#include <winioctl.h>

namespace dv {
namespace {

// Wine's own mount-manager request (the one winecfg sends), Wine 8 layout; the host path follows.
struct MountManagerUnixDrive {
    ULONG size;
    ULONG type;
    ULONG fs_type;
    DWORD serial;
    ULONGLONG unix_dev;
    WCHAR letter;
    USHORT mount_point_offset;
    USHORT device_offset;
    USHORT label_offset;
};
constexpr DWORD kIoctlDefineUnixDrive = CTL_CODE(0x6D, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

template <typename Function>
Function WineEntry(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), name)));
}

}  // namespace

std::string WineHostPathOf(std::u16string_view windowsPath) {
    using Convert = char*(CDECL*)(LPCWSTR);
    const auto convert = WineEntry<Convert>("wine_get_unix_file_name");
    if (convert == nullptr) return {};
    char* host = convert(ToWide(windowsPath).c_str());
    if (host == nullptr) return {};
    std::string result(host);
    ::HeapFree(::GetProcessHeap(), 0, host);
    return result;
}

std::u16string WineWindowsPathOf(std::string_view hostPath) {
    using Convert = WCHAR*(CDECL*)(LPCSTR);
    const auto convert = WineEntry<Convert>("wine_get_dos_file_name");
    if (convert == nullptr) return {};
    WCHAR* windows = convert(std::string(hostPath).c_str());
    if (windows == nullptr) return {};
    std::u16string result = FromWide(windows);
    ::HeapFree(::GetProcessHeap(), 0, windows);
    return result;
}

bool DefineWineDrive(char16_t letter, std::uint32_t driveType, std::string_view hostFolder) {
    std::vector<char> buffer(sizeof(MountManagerUnixDrive) + (hostFolder.empty() ? 0 : hostFolder.size() + 1), 0);
    auto* request = reinterpret_cast<MountManagerUnixDrive*>(buffer.data());
    request->size = static_cast<ULONG>(buffer.size());
    request->type = driveType;
    request->fs_type = 1;  // FS_UNKNOWN in Wine's mount manager: a plain host folder
    request->letter = static_cast<WCHAR>(::towlower(static_cast<wchar_t>(letter)));
    if (!hostFolder.empty()) {
        request->mount_point_offset = sizeof(MountManagerUnixDrive);
        std::memcpy(buffer.data() + sizeof(MountManagerUnixDrive), hostFolder.data(), hostFolder.size());
    }
    const UniqueFileHandle manager(::CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                                 nullptr));
    if (!manager) return false;
    DWORD returned = 0;
    return ::DeviceIoControl(manager.get(), kIoctlDefineUnixDrive, buffer.data(), static_cast<DWORD>(buffer.size()),
                             nullptr, 0, &returned, nullptr) != FALSE;
}

}  // namespace dv
