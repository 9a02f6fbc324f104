// Dockvane's stop and start of a service, through the real service control manager, against a
// service that stays pending for a while before it reaches the state asked for.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/handles_win.h"
#include "platform/text.h"
#include "system/system_host_win.h"
#include "system/win_service_mgmt.h"

#include <winsvc.h>

namespace dv {
namespace {

struct ServiceHandleTraits {
    using Handle = SC_HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { ::CloseServiceHandle(handle); }
};
using UniqueServiceHandle = UniqueHandle<ServiceHandleTraits>;

std::filesystem::path ProgramBesideTests() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::filesystem::path(path).parent_path() / L"wsearch_standin.exe";
}

// The service registered under a name of its own for the test's duration, then removed.
class RegisteredService {
public:
    RegisteredService(const std::wstring& name, const std::wstring& arguments) : name_(name) {
        manager_.reset(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
        if (!manager_) return;
        const std::wstring command = L"\"" + ProgramBesideTests().wstring() + L"\" " + arguments;
        service_.reset(::CreateServiceW(manager_.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                        SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                        command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    }
    ~RegisteredService() {
        if (!service_) return;
        SERVICE_STATUS status{};
        if (::QueryServiceStatus(service_.get(), &status) && status.dwCurrentState != SERVICE_STOPPED) {
            ::ControlService(service_.get(), SERVICE_CONTROL_STOP, &status);
            for (int i = 0;
                 i < 100 && ::QueryServiceStatus(service_.get(), &status) && status.dwCurrentState != SERVICE_STOPPED;
                 ++i) {
                ::Sleep(100);
            }
        }
        ::DeleteService(service_.get());
    }
    bool Made() const { return static_cast<bool>(service_); }
    bool CanCreate() const { return static_cast<bool>(manager_); }
    std::u16string Name() const { return FromWide(name_); }

private:
    std::wstring name_;
    UniqueServiceHandle manager_;
    UniqueServiceHandle service_;
};

struct DelayCase {
    const char* what;
    const wchar_t* arguments;
};

TEST(SearchServiceStandin, StopAndStartWaitUntilTheServiceGotThere) {
    const DelayCase cases[] = {
        {"no delays", L""},
        // Several check-points each way, and a wait hint that is the whole time left.
        {"slow start and stop", L"--start-delay-ms 1200 --stop-delay-ms 1500"},
    };
    int number = 0;
    for (const DelayCase& c : cases) {
        SCOPED_TRACE(c.what);
        RegisteredService service(
            L"DockvaneStandinService" + std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(++number),
            c.arguments);
        if (!service.CanCreate()) GTEST_SKIP() << "this account may not register services";
        ASSERT_TRUE(service.Made()) << ::GetLastError();

        TWinSystemHost host;
        TWinServiceControl services;
        TWinServiceMgmt mgmt(host, services);
        const std::u16string name = service.Name();
        EXPECT_EQ(mgmt.vtServiceGetStatus(u"localhost", name), static_cast<std::uint32_t>(SERVICE_STOPPED));

        // Each call returns only once the state it asked for has been reached.
        EXPECT_TRUE(mgmt.ServiceStartAndWait(u"localhost", name));
        EXPECT_EQ(mgmt.vtServiceGetStatus(u"localhost", name), static_cast<std::uint32_t>(SERVICE_RUNNING));
        EXPECT_FALSE(mgmt.ServiceStartAndWait(u"localhost", name)) << "a running service cannot be started";
        EXPECT_EQ(mgmt.vtServiceGetStatus(u"localhost", name), static_cast<std::uint32_t>(SERVICE_RUNNING));

        EXPECT_TRUE(mgmt.ServiceStopAndWait(u"localhost", name));
        EXPECT_EQ(mgmt.vtServiceGetStatus(u"localhost", name), static_cast<std::uint32_t>(SERVICE_STOPPED));

        // And once more: a stopped service comes back.
        EXPECT_TRUE(mgmt.ServiceStartAndWait(u"localhost", name));
        EXPECT_EQ(mgmt.vtServiceGetStatus(u"localhost", name), static_cast<std::uint32_t>(SERVICE_RUNNING));
        EXPECT_TRUE(mgmt.ServiceStopAndWait(u"localhost", name));
        EXPECT_EQ(mgmt.vtServiceGetStatus(u"localhost", name), static_cast<std::uint32_t>(SERVICE_STOPPED));
    }
}

}  // namespace
}  // namespace dv
