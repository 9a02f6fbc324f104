#include "shell/program_entry_win.h"

#include "platform/handles_win.h"
#include "platform/product.h"
#include "platform/text.h"
#include "platform/windows_include.h"

namespace dv {
namespace {

UniqueRegistryKey OpenLsaKey() {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, ToWide(kLsaKey).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
        return UniqueRegistryKey();
    }
    return UniqueRegistryKey(key);
}

}  // namespace

bool TWinEntryHost::CreateInstanceMutex() {
    // Never closed: the system releases it with the process.
    const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, ToWide(kInstanceMutexName).c_str());
    return !(mutex && ::GetLastError() == ERROR_ALREADY_EXISTS);
}

std::optional<std::uint32_t> TWinEntryHost::ReadForceGuest() {
    const UniqueRegistryKey key = OpenLsaKey();
    if (!key) return std::nullopt;
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    if (::RegQueryValueExW(key.get(), ToWide(kForceGuestValue).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                           &size) != ERROR_SUCCESS ||
        type != REG_DWORD) {
        return std::nullopt;
    }
    return value;
}

bool TWinEntryHost::WriteForceGuest(std::uint32_t value) {
    const UniqueRegistryKey key = OpenLsaKey();
    if (!key) return false;
    const DWORD data = value;
    return ::RegSetValueExW(key.get(), ToWide(kForceGuestValue).c_str(), 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&data), sizeof data) == ERROR_SUCCESS;
}

std::u16string TWinEntryHost::ExecutablePath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return FromWide(std::wstring_view(path, length));
}

std::uint32_t TWinEntryHost::DriveType(std::u16string_view drivePart) {
    return ::GetDriveTypeW(ToWide(drivePart).c_str());
}

void TWinEntryHost::ShowMessage(std::u16string_view text, TMessageIcon icon) {
    const UINT type = icon == TMessageIcon::Error ? MB_ICONERROR : MB_ICONINFORMATION;
    ::MessageBoxW(nullptr, ToWide(text).c_str(), ToWide(kApplicationTitle).c_str(), MB_OK | type);
}

bool TWinEntryHost::AskYesNoWarning(std::u16string_view text) {
    return ::MessageBoxW(nullptr, ToWide(text).c_str(), ToWide(kApplicationTitle).c_str(), MB_YESNO | MB_ICONWARNING) ==
           IDYES;
}

}  // namespace dv
