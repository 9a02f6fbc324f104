#include "system/system_host_win.h"

#include "platform/handles_win.h"
#include "system/win_service_mgmt.h"

#include <shellapi.h>
#include <shlobj.h>
#include <winsock2.h>
#include <winsvc.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <utility>
#include <vector>

namespace dv {

// The portable side carries these system values as plain numbers.
static_assert(kServiceStopped == SERVICE_STOPPED);
static_assert(kServiceStartPending == SERVICE_START_PENDING);
static_assert(kServiceStopPending == SERVICE_STOP_PENDING);
static_assert(kServiceRunning == SERVICE_RUNNING);
static_assert(kCsidlSystem == CSIDL_SYSTEM);
namespace {

struct ServiceHandleTraits {
    using Handle = SC_HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { ::CloseServiceHandle(handle); }
};
using UniqueServiceHandle = UniqueHandle<ServiceHandleTraits>;

TServiceStatus FromSystem(const SERVICE_STATUS& status) {
    return {status.dwCurrentState, status.dwCheckPoint, status.dwWaitHint};
}

class WinServiceSession : public IServiceSession {
public:
    WinServiceSession(UniqueServiceHandle manager, UniqueServiceHandle service)
        : manager_(std::move(manager)), service_(std::move(service)) {}

    std::optional<TServiceStatus> Query() override {
        SERVICE_STATUS status{};
        if (!::QueryServiceStatus(service_.get(), &status)) return std::nullopt;
        return FromSystem(status);
    }

    bool Start() override { return ::StartServiceW(service_.get(), 0, nullptr) != FALSE; }

    bool Stop(TServiceStatus& status) override {
        SERVICE_STATUS answer{};
        answer.dwCurrentState = status.currentState;
        answer.dwCheckPoint = status.checkPoint;
        answer.dwWaitHint = status.waitHint;
        const bool accepted = ::ControlService(service_.get(), SERVICE_CONTROL_STOP, &answer) != FALSE;
        // The manager fills the record also for some refusals (a service not running reports
        // SERVICE_STOPPED); for the others the record keeps what it held.
        // https://learn.microsoft.com/windows/win32/api/winsvc/nf-winsvc-controlservice
        status = FromSystem(answer);
        return accepted;
    }

private:
    UniqueServiceHandle manager_;  // closed after the service: members go in reverse order
    UniqueServiceHandle service_;
};

// Windows Vista is 6.0. GetVersionExW reports an older system to programs whose manifest does not
// name the newer ones, so the kernel's own answer is asked first.
// https://learn.microsoft.com/windows/win32/sysinfo/targeting-your-application-at-windows-8-1
bool TrueMajorVersionAbove5() {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    if (HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll")) {
        const auto rtlGetVersion =
            reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
        OSVERSIONINFOW version{};
        version.dwOSVersionInfoSize = sizeof(version);
        if (rtlGetVersion != nullptr && rtlGetVersion(&version) == 0) return version.dwMajorVersion > 5;
    }
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExW(&version)) return false;
#pragma GCC diagnostic pop
    return version.dwMajorVersion > 5;
}

std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::wstring(folder, length);
}

}  // namespace

bool TWinSystemHost::IsVistaOrLater() {
    return TrueMajorVersionAbove5();
}

std::u16string TWinSystemHost::ExecutablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return FromWide(std::wstring_view(buffer.data(), length));
        buffer.resize(buffer.size() * 2);
    }
}

void TWinSystemHost::ProcessMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // The quit request belongs to the message loop: put it back and stop, or Exit is lost.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

bool TWinSystemHost::WriteUserString(std::u16string_view key, std::u16string_view name, std::u16string_view value) {
    HKEY raw = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, ToWide(key).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw,
                          nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const UniqueRegistryKey opened(raw);
    const std::wstring data = ToWide(value);
    return ::RegSetValueExW(opened.get(), ToWide(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool TWinSystemHost::WriteUserDword(std::u16string_view key, std::u16string_view name, std::uint32_t value) {
    HKEY raw = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, ToWide(key).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw,
                          nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const UniqueRegistryKey opened(raw);
    const DWORD data = value;
    return ::RegSetValueExW(opened.get(), ToWide(name).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                            sizeof(data)) == ERROR_SUCCESS;
}

bool TWinSystemHost::DeleteUserValue(std::u16string_view key, std::u16string_view name) {
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, ToWide(key).c_str(), 0, KEY_SET_VALUE, &raw) != ERROR_SUCCESS) return false;
    const UniqueRegistryKey opened(raw);
    return ::RegDeleteValueW(opened.get(), ToWide(name).c_str()) == ERROR_SUCCESS;
}

TProcessOutcome TWinSystemHost::RunSystemProgram(std::u16string_view program, std::u16string_view arguments,
                                                 std::uint32_t timeoutMs) {
    TProcessOutcome outcome;
    std::wstring path = ToWide(program);
    if (path.find_first_of(L"\\/") == std::wstring::npos) {
        const std::wstring system = SystemFolder();
        if (system.empty()) return outcome;
        path = system + L"\\" + path;
    }
    std::wstring commandLine = L"\"" + path + L"\" " + ToWide(arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &process)) {
        return outcome;
    }
    const UniqueKernelHandle processHandle(process.hProcess);
    const UniqueKernelHandle threadHandle(process.hThread);
    outcome.started = true;
    if (::WaitForSingleObject(processHandle.get(), timeoutMs) != WAIT_OBJECT_0) {
        // A program that hangs must not stay behind.
        ::TerminateProcess(processHandle.get(), 1);
        ::WaitForSingleObject(processHandle.get(), 5000);
        return outcome;
    }
    DWORD exitCode = 0;
    ::GetExitCodeProcess(processHandle.get(), &exitCode);
    outcome.finished = true;
    outcome.exitCode = exitCode;
    return outcome;
}

std::optional<std::u16string> TWinSystemHost::ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(name, &size)) return std::nullopt;
    return FromWide(std::wstring_view(name, size));
}

std::u16string TWinSystemHost::ResolveIPv4(std::u16string_view name) {
    WSADATA data{};
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return {};
    std::u16string address;
    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    ADDRINFOW* found = nullptr;
    if (::GetAddrInfoW(ToWide(name).c_str(), nullptr, &hints, &found) == 0) {
        for (const ADDRINFOW* entry = found; entry != nullptr; entry = entry->ai_next) {
            if (entry->ai_family != AF_INET || entry->ai_addrlen < sizeof(sockaddr_in)) continue;
            const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
            const auto* bytes = reinterpret_cast<const unsigned char*>(&ipv4->sin_addr);
            char text[16] = {};
            std::snprintf(text, sizeof(text), "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
            address.assign(text, text + std::char_traits<char>::length(text));
            break;
        }
        ::FreeAddrInfoW(found);
    }
    ::WSACleanup();
    return address;
}

std::u16string TWinSystemHost::TempFolder() {
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH, folder);
    if (length == 0 || length > MAX_PATH) return {};
    return FromWide(std::wstring_view(folder, length));
}

std::u16string TWinSystemHost::SpecialFolder(int csidl) {
    return GetSpecialFolder(csidl);
}

void TWinSystemHost::ShellOpen(std::u16string_view target, std::u16string_view parameters, std::u16string_view verb,
                               bool ownedByMainWindow, TShowMode show) {
    const std::wstring file = ToWide(target);
    const std::wstring parameterText = ToWide(parameters);
    const std::wstring verbText = ToWide(verb);
    const int showCommand = show == TShowMode::Minimized ? SW_SHOWMINIMIZED
                            : show == TShowMode::Hidden  ? SW_HIDE
                                                         : SW_SHOWNORMAL;
    ::ShellExecuteW(ownedByMainWindow ? mainWindow_ : nullptr, verbText.empty() ? nullptr : verbText.c_str(),
                    file.c_str(), parameterText.empty() ? nullptr : parameterText.c_str(), nullptr, showCommand);
}

bool TWinSystemHost::SetFaceStartsAtSignIn(bool enabled) {
    if (faceProgram_.empty()) return false;
    // The service is a 64-bit program, and so is the installer's component: the 64-bit view all the
    // same, should this code ever run in a 32-bit process.
    HKEY raw = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMachineRunKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr,
                          &raw, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const UniqueRegistryKey key(raw);
    if (!enabled) {
        const LSTATUS status = ::RegDeleteValueW(key.get(), kFaceRunValueName);
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
    // Quoted: the path has blanks ("Program Files"), and the system would otherwise try its parts.
    const std::wstring data = L"\"" + ToWide(faceProgram_) + L"\"";
    return ::RegSetValueExW(key.get(), kFaceRunValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

std::unique_ptr<IServiceSession> TWinServiceControl::Open(std::u16string_view machine, std::u16string_view service,
                                                          TServiceAccess access) {
    const std::wstring machineName = ToWide(machine);
    UniqueServiceHandle manager(
        ::OpenSCManagerW(NamesLocalComputer(machine) ? nullptr : machineName.c_str(), nullptr, SC_MANAGER_CONNECT));
    if (!manager) return nullptr;
    DWORD rights = SERVICE_QUERY_STATUS;
    if (access == TServiceAccess::StartAndQuery) rights |= SERVICE_START;
    if (access == TServiceAccess::StopAndQuery) rights |= SERVICE_STOP;
    UniqueServiceHandle opened(::OpenServiceW(manager.get(), ToWide(service).c_str(), rights));
    if (!opened) return nullptr;
    return std::make_unique<WinServiceSession>(std::move(manager), std::move(opened));
}

void TWinServiceControl::Sleep(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

std::u16string GetSpecialFolder(int csidl) {
    wchar_t folder[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, folder, csidl, TRUE)) return {};
    return FromWide(folder);
}

}  // namespace dv
