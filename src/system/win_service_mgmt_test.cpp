#include "system/win_service_mgmt.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

class FakeHost : public ISystemHost {
public:
    bool vista = true;
    std::u16string exe = u"C:\\Program Files\\Dock vane\\dv.exe";
    std::map<std::u16string, std::u16string> strings;  // "key|name" -> value
    std::map<std::u16string, std::uint32_t> dwords;
    std::vector<std::u16string> log;  // programs run, shell opens, message pumps
    std::optional<std::u16string> computerName = u"WORKSTATION";
    std::u16string address = u"192.168.1.20";
    bool resolveThrows = false;
    std::u16string temp;
    std::u16string systemFolder = u"C:\\Windows\\system32";

    bool IsVistaOrLater() override { return vista; }
    std::u16string ExecutablePath() override { return exe; }
    void ProcessMessages() override { log.push_back(u"pump"); }
    bool WriteUserString(std::u16string_view key, std::u16string_view name, std::u16string_view value) override {
        strings[Key(key, name)] = value;
        return true;
    }
    bool WriteUserDword(std::u16string_view key, std::u16string_view name, std::uint32_t value) override {
        dwords[Key(key, name)] = value;
        return true;
    }
    bool DeleteUserValue(std::u16string_view key, std::u16string_view name) override {
        log.push_back(u"delete " + Key(key, name));
        return strings.erase(Key(key, name)) + dwords.erase(Key(key, name)) > 0;
    }
    TProcessOutcome RunSystemProgram(std::u16string_view program, std::u16string_view arguments,
                                     std::uint32_t timeoutMs) override {
        if (timeoutMs > 30000) throw std::logic_error("unbounded wait");
        log.push_back(std::u16string(program) + u" " + std::u16string(arguments));
        return {true, true, 0};
    }
    std::optional<std::u16string> ComputerName() override { return computerName; }
    std::u16string ResolveIPv4(std::u16string_view) override {
        if (resolveThrows) throw std::runtime_error("resolver gone");
        return address;
    }
    std::u16string TempFolder() override { return temp; }
    std::u16string SpecialFolder(int csidl) override { return csidl == kCsidlSystem ? systemFolder : u""; }
    void ShellOpen(std::u16string_view target, std::u16string_view parameters, std::u16string_view verb, bool owned,
                   TShowMode show) override {
        log.push_back(u"open " + std::u16string(target) + u" [" + std::u16string(parameters) + u"] verb=" +
                      std::u16string(verb) + (owned ? u" owned" : u" unowned") +
                      (show == TShowMode::Minimized ? u" minimized"
                       : show == TShowMode::Normal  ? u" normal"
                                                    : u" hidden"));
    }

    static std::u16string Key(std::u16string_view key, std::u16string_view name) {
        return std::u16string(key) + u"|" + std::u16string(name);
    }
    std::vector<std::u16string> Programs() const {
        std::vector<std::u16string> programs;
        for (const auto& entry : log) {
            if (entry.starts_with(u"schtasks")) programs.push_back(entry);
        }
        return programs;
    }
};

// For the operations that do not touch services.
class NoServices : public IServiceControl {
public:
    std::unique_ptr<IServiceSession> Open(std::u16string_view, std::u16string_view, TServiceAccess) override {
        return nullptr;
    }
    void Sleep(std::uint32_t) override {}
};

TEST(WinServiceMgmt, AutostartWithTheSchedulerRunsDeleteThenCreate) {
    FakeHost host;
    NoServices services;
    TWinServiceMgmt mgmt(host, services);

    mgmt.SetAutostartProgram(false);
    EXPECT_EQ(host.Programs(), std::vector<std::u16string>{u"schtasks.exe /delete /tn Dockvane /F"});

    host.log.clear();
    mgmt.SetAutostartProgram(true);
    // The task names Dockvane.exe in the executable's folder, whatever the executable is called.
    EXPECT_EQ(host.Programs(),
              (std::vector<std::u16string>{
                  u"schtasks.exe /delete /tn Dockvane /F",
                  u"schtasks.exe /create /tn Dockvane /tr \"\\\"C:\\Program Files\\Dock vane\\Dockvane.exe\\\"\" "
                  u"/sc onlogon /rl HIGHEST /delay 0000:30"}));
    EXPECT_TRUE(host.strings.empty());  // the Run value is not touched
}

TEST(WinServiceMgmt, AutostartBeforeVistaUsesTheRunValue) {
    FakeHost host;
    host.vista = false;
    host.exe = u"D:\\tools\\renamed.exe";
    NoServices services;
    TWinServiceMgmt mgmt(host, services);
    const std::u16string run = FakeHost::Key(kRunKey, u"Dockvane");

    mgmt.SetAutostartProgram(true);
    EXPECT_EQ(host.strings[run], u"\"D:\\tools\\renamed.exe\"");
    mgmt.SetAutostartProgram(false);
    EXPECT_EQ(host.strings.count(run), 0u);
    EXPECT_TRUE(host.Programs().empty());
}

TEST(WinServiceMgmt, AutoRunPolicyByMode) {
    FakeHost host;
    NoServices services;
    TWinServiceMgmt mgmt(host, services);
    const std::u16string value = FakeHost::Key(kExplorerPolicyKey, u"NoDriveTypeAutoRun");
    const struct {
        int mode;
        std::optional<std::uint32_t> written;
    } cases[] = {{0, 255}, {1, 255}, {2, 145}, {3, std::nullopt}, {-1, std::nullopt}};
    for (const auto& c : cases) {
        host.dwords.clear();
        mgmt.USBAutoPalyStartStop(c.mode);
        if (c.written) {
            EXPECT_EQ(host.dwords[value], *c.written) << c.mode;
        } else {
            EXPECT_TRUE(host.dwords.empty()) << c.mode;
        }
    }
}

TEST(WinServiceMgmt, HostnameReadsLikeANetworkPath) {
    FakeHost host;
    NoServices services;
    TWinServiceMgmt mgmt(host, services);
    EXPECT_EQ(mgmt.getHostname(), u"WORKSTATION (\\\\192.168.1.20)");
    host.address.clear();
    EXPECT_EQ(mgmt.getHostname(), u"WORKSTATION (\\\\)");
    host.resolveThrows = true;
    EXPECT_EQ(mgmt.getHostname(), u"WORKSTATION");
    host.computerName.reset();
    host.resolveThrows = false;
    EXPECT_EQ(mgmt.getHostname(), u" (\\\\)");
}

TEST(WinServiceMgmt, SystemPropertiesOnlyThroughTheSystemFoldersPrograms) {
    const struct {
        const char* what;
        bool vista;
        std::u16string systemFolder;
        std::vector<std::u16string> log;
    } cases[] = {
        {"control panel program by its full path",
         true,
         u"C:\\Windows\\system32",
         {u"open C:\\Windows\\system32\\control.exe [/name Microsoft.System] verb=open owned normal", u"pump"}},
        {"folder with a trailing backslash",
         true,
         u"C:\\Win\\",
         {u"open C:\\Win\\control.exe [/name Microsoft.System] verb=open owned normal", u"pump"}},
        // Nothing rather than a bare name found through the search path.
        {"no system folder", true, u"", {}},
        {"earlier Windows",
         false,
         u"C:\\Windows\\system32",
         {u"open C:\\Windows\\system32\\sysdm.cpl [] verb= unowned normal"}},
        {"earlier Windows without a system folder", false, u"", {u"open sysdm.cpl [] verb= unowned normal"}},
    };
    for (const auto& c : cases) {
        // A batch file of the name an older way used, planted where any process of the user can write.
        dv::testing::TempFolder temp;
        const std::u16string planted = temp.File(u"RunSysProp.bat");
        dv::testing::WriteBytes(dv::testing::ToFsPath(planted), "echo planted\r\n");
        FakeHost host;
        host.temp = temp.Path() + u"\\";
        host.vista = c.vista;
        host.systemFolder = c.systemFolder;
        NoServices services;
        TWinServiceMgmt mgmt(host, services);

        mgmt.ShowSystemProperties();
        EXPECT_EQ(host.log, c.log) << c.what;
        EXPECT_EQ(dv::testing::ReadBytes(dv::testing::ToFsPath(planted)), "echo planted\r\n") << c.what;
        // Nothing is written to the temporary folder.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.path()), {}), 1) << c.what;
    }
}

// A scripted service: the answers of successive status queries, and what the requests answer.
class FakeServices : public IServiceControl {
public:
    bool opens = true;
    std::optional<TServiceAccess> openedWith;
    bool startAccepted = true;
    bool stopAccepted = true;
    std::optional<TServiceStatus> stopReports;
    std::deque<std::optional<TServiceStatus>> queries;
    std::vector<std::uint32_t> sleeps;
    int sessionsOpen = 0;

    class Session : public IServiceSession {
    public:
        explicit Session(FakeServices& owner) : owner_(owner) { ++owner_.sessionsOpen; }
        ~Session() override { --owner_.sessionsOpen; }
        std::optional<TServiceStatus> Query() override {
            if (owner_.queries.empty()) throw std::logic_error("more queries than scripted");
            auto answer = owner_.queries.front();
            owner_.queries.pop_front();
            return answer;
        }
        bool Start() override { return owner_.startAccepted; }
        bool Stop(TServiceStatus& status) override {
            if (owner_.stopReports) status = *owner_.stopReports;
            return owner_.stopAccepted;
        }

    private:
        FakeServices& owner_;
    };

    std::unique_ptr<IServiceSession> Open(std::u16string_view machine, std::u16string_view service,
                                          TServiceAccess access) override {
        if (machine != u"localhost" || service != u"WSearch") throw std::logic_error("unexpected service");
        openedWith = access;
        if (!opens) return nullptr;
        return std::make_unique<Session>(*this);
    }
    void Sleep(std::uint32_t milliseconds) override { sleeps.push_back(milliseconds); }
};

TEST(WinServiceMgmt, ServiceStatus) {
    FakeHost host;
    FakeServices services;
    TWinServiceMgmt mgmt(host, services);
    services.queries = {TServiceStatus{kServiceRunning, 0, 0}};
    EXPECT_EQ(mgmt.vtServiceGetStatus(u"localhost", u"WSearch"), kServiceRunning);
    EXPECT_EQ(services.openedWith, TServiceAccess::Query);
    services.queries = {std::nullopt};
    EXPECT_EQ(mgmt.vtServiceGetStatus(u"localhost", u"WSearch"), kServiceStopped);
    services.opens = false;
    EXPECT_EQ(mgmt.vtServiceGetStatus(u"localhost", u"WSearch"), kServiceStopped);
    EXPECT_EQ(services.sessionsOpen, 0);
}

TEST(WinServiceMgmt, TheLocalComputersManagerIsOpenedWithoutAName) {
    const struct {
        std::u16string_view machine;
        bool local;
    } cases[] = {
        {u"", true},
        {u"localhost", true},
        {u"LocalHost", true},
        {u"WORKSTATION", false},
        {u"localhost.example", false},
        {u"\\\\server", false},
    };
    for (const auto& c : cases) EXPECT_EQ(NamesLocalComputer(c.machine), c.local) << ToUtf8(c.machine);
}

TEST(WinServiceMgmt, StartWaitsForTheServiceToRun) {
    using S = TServiceStatus;
    const struct {
        const char* what;
        bool opens;
        bool accepted;
        std::deque<std::optional<S>> queries;
        bool result;
        std::vector<std::uint32_t> sleeps;
    } cases[] = {
        {"starts with progress",
         true,
         true,
         {S{kServiceStartPending, 1, 300}, S{kServiceStartPending, 2, 700}, S{kServiceRunning, 0, 0}},
         true,
         {300, 700}},
        {"check-point that stays equal goes on",
         true,
         true,
         {S{kServiceStartPending, 3, 10}, S{kServiceStartPending, 3, 10}, S{kServiceRunning, 0, 0}},
         true,
         {10, 10}},
        {"check-point going back ends the wait",
         true,
         true,
         {S{kServiceStartPending, 5, 10}, S{kServiceStartPending, 4, 10}},
         false,
         {10}},
        {"a query failing ends the wait", true, true, {S{kServiceStartPending, 1, 10}, std::nullopt}, false, {10}},
        {"first query failing", true, true, {std::nullopt}, false, {}},
        {"service falls back to stopped (its start failed)",
         true,
         true,
         {S{kServiceStartPending, 1, 10}, S{kServiceStopped, 0, 0}},
         false,
         {10}},
        {"already running: the start is refused", true, false, {}, false, {}},
        {"service cannot be opened", false, true, {}, false, {}},
    };
    for (const auto& c : cases) {
        FakeHost host;
        FakeServices services;
        services.opens = c.opens;
        services.startAccepted = c.accepted;
        services.queries = c.queries;
        TWinServiceMgmt mgmt(host, services);
        EXPECT_EQ(mgmt.WinSerchStart(), c.result) << c.what;
        EXPECT_EQ(services.openedWith, TServiceAccess::StartAndQuery) << c.what;
        EXPECT_EQ(services.sleeps, c.sleeps) << c.what;
        EXPECT_TRUE(services.queries.empty()) << c.what;
        EXPECT_EQ(services.sessionsOpen, 0) << c.what;
    }
}

TEST(WinServiceMgmt, StopWaitsForTheServiceToStop) {
    using S = TServiceStatus;
    const struct {
        const char* what;
        bool opens;
        bool accepted;
        std::optional<S> reported;
        std::deque<std::optional<S>> queries;
        bool result;
        std::vector<std::uint32_t> sleeps;
    } cases[] = {
        {"stops with progress",
         true,
         true,
         S{kServiceStopPending, 1, 500},
         {S{kServiceStopPending, 1, 500}, S{kServiceStopped, 0, 0}},
         true,
         {500}},
        {"already stopped: refused, but the stopped state is reported",
         true,
         false,
         S{kServiceStopped, 0, 0},
         {},
         true,
         {}},
        {"refused without a state", true, false, std::nullopt, {}, false, {}},
        {"refused while running", true, false, S{kServiceRunning, 0, 0}, {}, false, {}},
        {"service cannot be opened", false, true, std::nullopt, {}, false, {}},
        {"service ignores the stop and keeps running",
         true,
         true,
         S{kServiceStopPending, 0, 0},
         {S{kServiceRunning, 0, 0}},
         false,
         {}},
    };
    for (const auto& c : cases) {
        FakeHost host;
        FakeServices services;
        services.opens = c.opens;
        services.stopAccepted = c.accepted;
        services.stopReports = c.reported;
        services.queries = c.queries;
        TWinServiceMgmt mgmt(host, services);
        EXPECT_EQ(mgmt.WinSerchStop(), c.result) << c.what;
        EXPECT_EQ(services.openedWith, TServiceAccess::StopAndQuery) << c.what;
        EXPECT_EQ(services.sleeps, c.sleeps) << c.what;
        EXPECT_TRUE(services.queries.empty()) << c.what;
        EXPECT_EQ(services.sessionsOpen, 0) << c.what;
    }
}

TEST(FolderOfPath, KeepsTheTrailingBackslash) {
    EXPECT_EQ(FolderOfPath(u"C:\\Program Files\\Dockvane\\Dockvane.exe"), u"C:\\Program Files\\Dockvane\\");
    EXPECT_EQ(FolderOfPath(u"C:\\Dockvane.exe"), u"C:\\");
    EXPECT_EQ(FolderOfPath(u"Dockvane.exe"), u"");
}

}  // namespace
}  // namespace dv
