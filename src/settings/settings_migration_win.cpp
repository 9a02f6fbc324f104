// The profiles of this computer, as the system lists them.
#include "settings/settings_migration.h"

#include "platform/windows_include.h"

#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/handles_win.h"
#include "platform/text.h"

namespace dv {
namespace {

constexpr wchar_t kProfileList[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// "ProfileImagePath" of one profile, its variables expanded; empty when there is none.
std::wstring ProfileFolder(HKEY profiles, const wchar_t* sid) {
    DWORD bytes = 0;
    if (::RegGetValueW(profiles, sid, L"ProfileImagePath", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                       nullptr, &bytes) != ERROR_SUCCESS) {
        return {};
    }
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    if (::RegGetValueW(profiles, sid, L"ProfileImagePath", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                       value.data(), &bytes) != ERROR_SUCCESS) {
        return {};
    }
    value.resize(::wcsnlen(value.c_str(), value.size()));
    // Expanded here: RegGetValueW expands only with a type check it does not allow for REG_EXPAND_SZ.
    const DWORD length = ::ExpandEnvironmentStringsW(value.c_str(), nullptr, 0);
    std::wstring expanded(length, L'\0');
    if (length == 0 || ::ExpandEnvironmentStringsW(value.c_str(), expanded.data(), length) != length) return {};
    expanded.resize(length - 1);
    return expanded;
}

}  // namespace

std::vector<std::u16string> UserLocalAppDataFolders() {
    std::vector<std::u16string> folders{fs::GetLocalAppDataFolder()};
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProfileList, 0, KEY_READ, &raw) != ERROR_SUCCESS) return folders;
    const UniqueRegistryKey profiles(raw);
    for (DWORD i = 0;; ++i) {
        wchar_t sid[256] = {};
        DWORD length = 256;
        const LSTATUS status = ::RegEnumKeyExW(profiles.get(), i, sid, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue;
        const std::wstring folder = ProfileFolder(profiles.get(), sid);
        if (!folder.empty()) folders.push_back(FromWide(folder) + u"\\AppData\\Local");
    }
    return folders;
}

}  // namespace dv
