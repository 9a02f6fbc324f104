// The integration's Windows side against the real registry, service manager and processes.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "drives/test_process_win.h"
#include "platform/handles_win.h"
#include "platform/text.h"
#include "system/system_host_win.h"
#include "system/win_service_mgmt.h"

#include <winsvc.h>

namespace dv {
namespace {

// Puts a value under HKEY_CURRENT_USER back as the test found it (or removes it).
class SavedUserValue {
public:
    SavedUserValue(std::u16string_view key, std::u16string_view name) : key_(ToWide(key)), name_(ToWide(name)) {
        DWORD size = 0;
        if (::RegGetValueW(HKEY_CURRENT_USER, key_.c_str(), name_.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type_, nullptr,
                           &size) == ERROR_SUCCESS) {
            data_.resize(size);
            existed_ = ::RegGetValueW(HKEY_CURRENT_USER, key_.c_str(), name_.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type_,
                                      data_.data(), &size) == ERROR_SUCCESS;
            data_.resize(size);
        }
    }
    ~SavedUserValue() {
        HKEY raw = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_SET_VALUE, &raw) != ERROR_SUCCESS) return;
        UniqueRegistryKey key(raw);
        if (existed_) {
            ::RegSetValueExW(key.get(), name_.c_str(), 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
        } else {
            ::RegDeleteValueW(key.get(), name_.c_str());
        }
    }

private:
    std::wstring key_;
    std::wstring name_;
    bool existed_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> data_;
};

std::optional<DWORD> ReadDword(std::u16string_view key, std::u16string_view name) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (::RegGetValueW(HKEY_CURRENT_USER, ToWide(key).c_str(), ToWide(name).c_str(), RRF_RT_REG_DWORD, nullptr, &value,
                       &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::wstring> ReadString(std::u16string_view key, std::u16string_view name) {
    wchar_t value[1024] = {};
    DWORD size = sizeof(value);
    if (::RegGetValueW(HKEY_CURRENT_USER, ToWide(key).c_str(), ToWide(name).c_str(), RRF_RT_REG_SZ, nullptr, value,
                       &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(value);
}

struct ServiceHandleTraits {
    using Handle = SC_HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { ::CloseServiceHandle(handle); }
};
using UniqueServiceHandle = UniqueHandle<ServiceHandleTraits>;

// The search service's state as this computer's service control manager tells it; stopped when
// there is no such service.
std::uint32_t SearchServiceState() {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return SERVICE_STOPPED;
    UniqueServiceHandle service(::OpenServiceW(manager.get(), L"WSearch", SERVICE_QUERY_STATUS));
    SERVICE_STATUS status{};
    if (!service || !::QueryServiceStatus(service.get(), &status)) return SERVICE_STOPPED;
    return status.dwCurrentState;
}

// A system before Windows Vista, otherwise the real one.
class EarlierWindowsHost : public TWinSystemHost {
public:
    bool IsVistaOrLater() override { return false; }
};

TEST(WinServiceMgmtWin, AutoRunPolicyValues) {
    SavedUserValue saved(kExplorerPolicyKey, kAutoRunValueName);
    TWinSystemHost host;
    TWinServiceControl services;
    TWinServiceMgmt mgmt(host, services);

    mgmt.USBAutoPalyStartStop(2);
    EXPECT_EQ(ReadDword(kExplorerPolicyKey, kAutoRunValueName), 145u);
    mgmt.USBAutoPalyStartStop(0);
    EXPECT_EQ(ReadDword(kExplorerPolicyKey, kAutoRunValueName), 255u);
    mgmt.USBAutoPalyStartStop(2);
    mgmt.USBAutoPalyStartStop(1);
    EXPECT_EQ(ReadDword(kExplorerPolicyKey, kAutoRunValueName), 255u);
    mgmt.USBAutoPalyStartStop(3);
    mgmt.USBAutoPalyStartStop(-1);
    EXPECT_EQ(ReadDword(kExplorerPolicyKey, kAutoRunValueName), 255u);  // untouched
}

TEST(WinServiceMgmtWin, RunValueOnEarlierWindows) {
    SavedUserValue saved(kRunKey, kAutostartName);
    EarlierWindowsHost host;
    TWinServiceControl services;
    TWinServiceMgmt mgmt(host, services);

    mgmt.SetAutostartProgram(true);
    EXPECT_EQ(ReadString(kRunKey, kAutostartName), L"\"" + ToWide(host.ExecutablePath()) + L"\"");
    EXPECT_TRUE(host.ExecutablePath().ends_with(u"dockvane_win_tests.exe"));
    mgmt.SetAutostartProgram(false);
    EXPECT_EQ(ReadString(kRunKey, kAutostartName), std::nullopt);
    mgmt.SetAutostartProgram(false);  // nothing to delete: no harm
}

TEST(WinServiceMgmtWin, ServicesAndNames) {
    TWinSystemHost host;
    TWinServiceControl services;
    TWinServiceMgmt mgmt(host, services);
    EXPECT_EQ(mgmt.vtServiceGetStatus(u"localhost", u"DockvaneNoSuchService"), 1u);
    EXPECT_FALSE(mgmt.ServiceStartAndWait(u"localhost", u"DockvaneNoSuchService"));
    EXPECT_FALSE(mgmt.ServiceStopAndWait(u"localhost", u"DockvaneNoSuchService"));
    // Wine has no search service; Windows has one, running or stopped, which may change meanwhile.
    const std::uint32_t before = SearchServiceState();
    const std::uint32_t state = mgmt.vtServiceGetStatus(u"localhost", u"WSearch");
    const std::uint32_t after = SearchServiceState();
    EXPECT_TRUE(state == before || state == after) << state << " between " << before << " and " << after;
    EXPECT_TRUE(host.IsVistaOrLater());

    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(::GetComputerNameW(name, &size));
    const std::u16string hostname = mgmt.getHostname();
    const std::u16string prefix = FromWide(name) + u" (\\\\";
    ASSERT_TRUE(hostname.starts_with(prefix)) << ToUtf8(hostname);
    ASSERT_TRUE(hostname.ends_with(u")")) << ToUtf8(hostname);
    const std::u16string address = hostname.substr(prefix.size(), hostname.size() - prefix.size() - 1);
    int dots = 0;
    for (char16_t c : address) {
        if (c == u'.') {
            ++dots;
        } else {
            EXPECT_TRUE(c >= u'0' && c <= u'9') << ToUtf8(hostname);
        }
    }
    EXPECT_TRUE(address.empty() || dots == 3) << ToUtf8(hostname);
}

TEST(WinServiceMgmtWin, ProgramsRunHiddenAndAreWaitedFor) {
    TWinSystemHost host;
    const std::u16string helper = FromWide(dv::testing::TestHelperPath());

    TProcessOutcome outcome = host.RunSystemProgram(helper, u"exit 3", 30000);
    EXPECT_TRUE(outcome.started);
    EXPECT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 3u);

    const ULONGLONG before = ::GetTickCount64();
    outcome = host.RunSystemProgram(helper, u"sleep 60000", 300);
    EXPECT_TRUE(outcome.started);
    EXPECT_FALSE(outcome.finished);
    EXPECT_LT(::GetTickCount64() - before, 20000u);

    // A bare name is only looked for in the system folder.
    EXPECT_FALSE(host.RunSystemProgram(u"dockvane_test_helper.exe", u"exit 0", 30000).started);
    outcome = host.RunSystemProgram(u"cmd.exe", u"/c exit 7", 30000);
    EXPECT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 7u);
}

// The real system host, except that what the shell would open is only recorded.
class RecordingShellHost : public TWinSystemHost {
public:
    void ShellOpen(std::u16string_view target, std::u16string_view parameters, std::u16string_view, bool,
                   TShowMode) override {
        opened.push_back(std::u16string(target) + u" " + std::u16string(parameters));
    }
    std::vector<std::u16string> opened;
};

TEST(WinServiceMgmtWin, SystemPropertiesRunTheSystemFoldersControlPanel) {
    RecordingShellHost host;
    TWinServiceControl services;
    TWinServiceMgmt mgmt(host, services);
    mgmt.ShowSystemProperties();
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
    ASSERT_EQ(host.opened.size(), 1u);
    const std::u16string program = FromWide(system) + u"\\control.exe";
    EXPECT_TRUE(EqualsIgnoreCase(host.opened[0], program + u" /name Microsoft.System")) << ToUtf8(host.opened[0]);
    const DWORD attributes = ::GetFileAttributesW(ToWide(program).c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY));
}

TEST(WinServiceMgmtWin, ShellOpenHandsTheParametersToTheProgram) {
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
    wchar_t temp[MAX_PATH] = {};
    ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring marker = std::wstring(temp) + L"dockvane_shellopen_" + std::to_wstring(::GetCurrentProcessId());
    ::DeleteFileW(marker.c_str());

    TWinSystemHost host;
    host.ShellOpen(FromWide(system) + u"\\cmd.exe", u"/c echo parameters> \"" + FromWide(marker) + u"\"", u"open",
                   false, TShowMode::Hidden);
    const ULONGLONG deadline = ::GetTickCount64() + 30000;
    while (::GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES && ::GetTickCount64() < deadline) {
        ::Sleep(50);
    }
    EXPECT_NE(::GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES);
    ::Sleep(200);  // the command interpreter may still hold the file
    ::DeleteFileW(marker.c_str());
}

TEST(WinServiceMgmtWin, SpecialFolders) {
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
    EXPECT_TRUE(EqualsIgnoreCase(GetSpecialFolder(kCsidlSystem), FromWide(system)));
    TWinSystemHost host;
    EXPECT_TRUE(host.TempFolder().ends_with(u"\\"));
}

}  // namespace
}  // namespace dv
