// The pipe under Wine: a real server and real clients in this process, and dockvane-cli.exe as a
// second process, against a fake engine that answers the status and the eject of E:. Every test
// has a pipe name of its own, so nothing meets a service that runs.
#include "platform/windows_include.h"

#include <sddl.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/handles_win.h"
#include "remote/frames.h"
#include "remote/pipe_client_win.h"
#include "remote/pipe_server_win.h"
#include "remote/protocol.h"
#include "testing/temp_folder.h"

namespace dv::remote {
namespace {

using namespace std::chrono_literals;

// A hang guard, never a measure of speed.
constexpr auto kPatience = 10s;

std::wstring UniquePipeName() {
    static std::atomic<int> counter{0};
    return L"\\\\.\\pipe\\DockvaneTest-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

int ThreadsOfThisProcess() {
    const UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++count;
    }
    return count;
}

TStatus SampleStatus() {
    TStatus status;
    for (char16_t letter = u'E'; letter < u'E' + 8; ++letter) {
        status.Drives.push_back(TDriveStatus{TDriveLetter(letter), TDriveState::Shared, u"Backup", u"14.9 GB",
                                             u"BACKUP" + std::u16string(1, letter), u"dockvane"});
    }
    status.Accounts = {u"dockvane"};
    status.DefaultAccount = u"dockvane";
    return status;
}

// Answers what the cli and the tests ask; E: is the one drive attached. It records who asked, and
// which connections ended.
class FakeEngine {
public:
    FakeEngine() : server_(std::make_unique<TPipeServer>(name_, Handlers())) {}

    const std::wstring& Name() const { return name_; }
    TPipeServer& Server() { return *server_; }
    void DestroyServer() { server_.reset(); }

    bool WaitFor(const std::function<bool()>& done) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kPatience, done);
    }
    // Under the lock of WaitFor's predicate, or after it.
    std::vector<std::pair<TConnectionId, TKind>> asked;
    std::vector<TConnectionId> ended;
    std::optional<TCaller> lastCaller;
    std::mutex mutex_;

private:
    TPipeServerHandlers Handlers() {
        return {
            [this](TConnectionId id, const TCaller& caller, std::string payload) { OnPayload(id, caller, payload); },
            [this](TConnectionId id) {
                const std::lock_guard lock(mutex_);
                ended.push_back(id);
                changed_.notify_all();
            }};
    }

    void OnPayload(TConnectionId id, const TCaller& caller, const std::string& payload) {
        const TDecoded decoded = Decode(payload, TReader::Engine);
        if (!decoded.Message) {
            server_->Send(id, ErrorReply(decoded));
            return;
        }
        const TMessage& request = *decoded.Message;
        if (request.Kind() == TKind::Subscribe) server_->Subscribe(id);
        if (request.Kind() == TKind::GetStatus) {
            server_->Send(id, TMessage{request.Id, SampleStatus()});
        } else if (const auto* eject = std::get_if<TEjectDrive>(&request.Body)) {
            if (eject->Letter == TDriveLetter(u'E')) {
                server_->Send(id, TMessage{request.Id, TOk{}});
            } else {
                server_->Send(id, TMessage{request.Id, TError{TErrorCode::NotAttached, u"The drive is not attached."}});
            }
        } else {
            server_->Send(id, TMessage{request.Id, TOk{}});
        }
        const std::lock_guard lock(mutex_);
        asked.emplace_back(id, request.Kind());
        lastCaller = caller;
        changed_.notify_all();
    }

    std::wstring name_ = UniquePipeName();
    std::condition_variable changed_;
    std::unique_ptr<TPipeServer> server_;
};

std::unique_ptr<TPipeClient> Connected(const std::wstring& name) {
    auto result = TPipeClient::Connect(name, 5s);
    EXPECT_TRUE(result.Client) << "failure " << static_cast<int>(result.Failure) << ", error " << result.Error;
    return std::move(result.Client);
}

// A client that speaks bytes, not messages.
UniqueFileHandle RawClient(const std::wstring& name) {
    ::WaitNamedPipeW(name.c_str(), 5000);
    return UniqueFileHandle(
        ::CreateFileW(name.c_str(), GENERIC_READ | FILE_WRITE_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

void WriteRaw(HANDLE pipe, const std::string& bytes) {
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ASSERT_EQ(written, bytes.size());
}

std::string FrameOf(const TMessage& message) {
    return Frame(Encode(message).value()).value();
}

// Whether the server closed its end within the patience.
bool ClosedByServer(HANDLE pipe) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, nullptr, nullptr)) return true;
        ::Sleep(10);
    }
    return false;
}

TEST(WinPipe, ARequestIsAnsweredWithItsId) {
    FakeEngine engine;
    auto client = Connected(engine.Name());
    ASSERT_TRUE(client);

    const TCallResult status = client->Call(TMessage{0, TGetStatus{}}, kPatience);
    ASSERT_EQ(status.Outcome, TCallOutcome::Replied);
    EXPECT_NE(status.Reply.Id, 0u);
    EXPECT_EQ(status.Reply.Body, TBody(SampleStatus()));

    const TCallResult absent = client->Call(TMessage{0, TEjectDrive{TDriveLetter(u'Q')}}, kPatience);
    ASSERT_EQ(absent.Outcome, TCallOutcome::Replied);
    EXPECT_GT(absent.Reply.Id, status.Reply.Id);
    ASSERT_TRUE(std::holds_alternative<TError>(absent.Reply.Body));
    EXPECT_EQ(std::get<TError>(absent.Reply.Body).Code, TErrorCode::NotAttached);
}

// Wine 8 gives this process's token INTERACTIVE and an enabled Administrators (it runs every
// program as an elevated administrator), neither NETWORK nor LocalSystem; who may ask what from such
// facts is DecideAccess's, tested natively.
TEST(WinPipe, TheCallerIsReadFromTheClientsToken) {
    FakeEngine engine;
    auto client = Connected(engine.Name());
    ASSERT_TRUE(client);
    ASSERT_EQ(client->Call(TMessage{0, TGetStatus{}}, kPatience).Outcome, TCallOutcome::Replied);
    const std::lock_guard lock(engine.mutex_);
    ASSERT_TRUE(engine.lastCaller);
    const TCaller caller = *engine.lastCaller;
    RecordProperty("LocalInteractive", caller.LocalInteractive);
    RecordProperty("ElevatedAdministrator", caller.ElevatedAdministrator);
    EXPECT_TRUE(caller.LocalInteractive);
    EXPECT_TRUE(caller.ElevatedAdministrator);
    EXPECT_FALSE(caller.System);
    EXPECT_FALSE(caller.Remote);
}

TEST(WinPipe, SeveralClientsAreServedAtOnce) {
    FakeEngine engine;
    std::vector<std::unique_ptr<TPipeClient>> clients;
    for (int i = 0; i < 6; ++i) clients.push_back(Connected(engine.Name()));
    std::vector<TCallOutcome> outcomes(clients.size(), TCallOutcome::Disconnected);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < clients.size(); ++i) {
        threads.emplace_back([&, i] {
            if (!clients[i]) return;
            for (int round = 0; round < 20; ++round) {
                outcomes[i] = clients[i]->Call(TMessage{0, TGetStatus{}}, kPatience).Outcome;
                if (outcomes[i] != TCallOutcome::Replied) return;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (const TCallOutcome outcome : outcomes) EXPECT_EQ(outcome, TCallOutcome::Replied);
    const std::lock_guard lock(engine.mutex_);
    std::map<TConnectionId, int> perConnection;
    for (const auto& [id, kind] : engine.asked) ++perConnection[id];
    EXPECT_EQ(perConnection.size(), clients.size());
}

TEST(WinPipe, SilentAndHalfSentClientsHoldUpNobody) {
    FakeEngine engine;
    const UniqueFileHandle silent = RawClient(engine.Name());
    ASSERT_TRUE(silent);
    const UniqueFileHandle halfHeader = RawClient(engine.Name());
    ASSERT_TRUE(halfHeader);
    WriteRaw(halfHeader.get(), std::string("\x10\x00", 2));
    const UniqueFileHandle halfPayload = RawClient(engine.Name());
    ASSERT_TRUE(halfPayload);
    WriteRaw(halfPayload.get(), FrameOf(TMessage{1, TGetStatus{}}).substr(0, 20));

    auto client = Connected(engine.Name());
    ASSERT_TRUE(client);
    EXPECT_EQ(client->Call(TMessage{0, TGetStatus{}}, kPatience).Outcome, TCallOutcome::Replied);
    const std::lock_guard lock(engine.mutex_);
    EXPECT_EQ(engine.asked.size(), 1u);
}

TEST(WinPipe, AnOversizedLengthEndsThatConnectionOnly) {
    FakeEngine engine;
    auto client = Connected(engine.Name());
    ASSERT_TRUE(client);
    ASSERT_EQ(client->Call(TMessage{0, TGetStatus{}}, kPatience).Outcome, TCallOutcome::Replied);

    const UniqueFileHandle hostile = RawClient(engine.Name());
    ASSERT_TRUE(hostile);
    // A request, then a frame one byte over the bound: the request is answered, the rest refused.
    WriteRaw(hostile.get(), FrameOf(TMessage{5, TGetStatus{}}) + std::string("\x01\x00\x01\x00", 4) + "xyz");
    EXPECT_TRUE(ClosedByServer(hostile.get()));
    EXPECT_TRUE(engine.WaitFor([&] { return engine.ended.size() == 1; }));

    EXPECT_EQ(client->Call(TMessage{0, TGetStatus{}}, kPatience).Outcome, TCallOutcome::Replied);
    const std::lock_guard lock(engine.mutex_);
    EXPECT_EQ(engine.asked.size(), 3u);
}

// Reports pile up for a face that reads nothing until its queue passes its bound; then it is
// dropped, and a face that reads goes on receiving them and asking.
TEST(WinPipe, AFaceThatNeverReadsIsDroppedAndOthersGoOn) {
    FakeEngine engine;
    const UniqueFileHandle stuck = RawClient(engine.Name());
    ASSERT_TRUE(stuck);
    WriteRaw(stuck.get(), FrameOf(TMessage{1, TSubscribe{}}));
    ASSERT_TRUE(engine.WaitFor([&] { return engine.asked.size() == 1; }));
    const TConnectionId stuckId = engine.asked[0].first;

    auto reader = Connected(engine.Name());
    ASSERT_TRUE(reader);
    ASSERT_EQ(reader->Call(TMessage{0, TSubscribe{}}, kPatience).Outcome, TCallOutcome::Replied);
    std::mutex mutex;
    std::condition_variable arrived;
    int reports = 0;
    reader->StartReading(
        [&](TMessage message) {
            const std::lock_guard lock(mutex);
            if (message.Id == 0) ++reports;
            arrived.notify_all();
        },
        [] {});

    const TMessage report{0, TMessageBox{TBoxIcon::Warning, std::u16string(kMaxBoxTextLength, u'x')}};
    int sent = 0;
    bool dropped = false;
    while (!dropped && sent < 2000) {
        for (int i = 0; i < 16; ++i, ++sent) engine.Server().Broadcast(report);
        // The reading face keeps up before more is sent, so only the stuck one passes the bound.
        std::unique_lock lock(mutex);
        ASSERT_TRUE(arrived.wait_for(lock, kPatience, [&] { return reports == sent; })) << reports << " of " << sent;
        lock.unlock();
        const std::lock_guard engineLock(engine.mutex_);
        dropped = !engine.ended.empty();
    }
    ASSERT_TRUE(dropped) << sent << " reports sent";
    const std::size_t reportBytes = FrameOf(report).size();
    {
        const std::lock_guard lock(engine.mutex_);
        EXPECT_EQ(engine.ended, std::vector<TConnectionId>{stuckId});
    }
    // Some 1 MiB of reports, then the pipe's own buffers, and no more.
    EXPECT_GT(sent * reportBytes, kMaxQueuedBytes);
    EXPECT_LT(sent * reportBytes, 2 * kMaxQueuedBytes);
    EXPECT_TRUE(engine.Server().HasSubscribers());

    // A Call while the reader runs gets its reply, and the reports their callback.
    const TCallResult status = reader->Call(TMessage{0, TGetStatus{}}, kPatience);
    ASSERT_EQ(status.Outcome, TCallOutcome::Replied);
    EXPECT_TRUE(std::holds_alternative<TStatus>(status.Reply.Body));
    engine.Server().Broadcast(TMessage{0, TMenuChanged{}});
    std::unique_lock lock(mutex);
    EXPECT_TRUE(arrived.wait_for(lock, kPatience, [&] { return reports == sent + 1; }));
}

TEST(WinPipe, ClientsPastTheBoundAreRefusedUntilOneLeaves) {
    FakeEngine engine;
    std::vector<UniqueFileHandle> present;
    for (std::size_t i = 0; i < kMaxConnections; ++i) {
        present.push_back(RawClient(engine.Name()));
        ASSERT_TRUE(present.back()) << i;
        // Each one is accepted before the next comes.
        WriteRaw(present.back().get(), FrameOf(TMessage{1, TGetStatus{}}));
        ASSERT_TRUE(engine.WaitFor([&] { return engine.asked.size() == i + 1; })) << i;
    }
    auto refused = TPipeClient::Connect(engine.Name(), 5s);
    if (refused.Client) {
        EXPECT_EQ(refused.Client->Call(TMessage{0, TGetStatus{}}, kPatience).Outcome, TCallOutcome::Disconnected);
    }
    present.pop_back();
    ASSERT_TRUE(engine.WaitFor([&] { return engine.ended.size() == 1; }));
    auto admitted = Connected(engine.Name());
    ASSERT_TRUE(admitted);
    EXPECT_EQ(admitted->Call(TMessage{0, TGetStatus{}}, kPatience).Outcome, TCallOutcome::Replied);
}

TEST(WinPipe, DestroyingTheServerEndsEverythingPromptly) {
    const int threadsBefore = ThreadsOfThisProcess();
    {
        FakeEngine engine;
        auto face = Connected(engine.Name());
        ASSERT_TRUE(face);
        ASSERT_EQ(face->Call(TMessage{0, TSubscribe{}}, kPatience).Outcome, TCallOutcome::Replied);
        std::atomic<bool> ended{false};
        face->StartReading([](TMessage) {}, [&] { ended = true; });
        const UniqueFileHandle silent = RawClient(engine.Name());
        const UniqueFileHandle stuck = RawClient(engine.Name());
        WriteRaw(stuck.get(), FrameOf(TMessage{1, TSubscribe{}}));
        ASSERT_TRUE(engine.WaitFor([&] { return engine.asked.size() == 2; }));
        // A write that waits on the stuck face is pending when the server goes.
        for (int i = 0; i < 40; ++i) {
            engine.Server().Broadcast(TMessage{0, TMessageBox{TBoxIcon::Error, std::u16string(4000, u'y')}});
        }

        const auto start = std::chrono::steady_clock::now();
        engine.DestroyServer();
        EXPECT_LT(std::chrono::steady_clock::now() - start, kPatience);
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (!ended && std::chrono::steady_clock::now() < deadline) ::Sleep(10);
        EXPECT_TRUE(ended);
        // Wine 8's GetProcessHandleCount answers 0 whatever is open: a pipe handle left open shows as
        // the client's end staying connected.
        EXPECT_TRUE(ClosedByServer(silent.get()));
        // The connections that the destruction closed are not reported as ended.
        const std::lock_guard lock(engine.mutex_);
        EXPECT_TRUE(engine.ended.empty());
    }
    EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore);
}

TEST(WinPipe, TheNameServesOneServerOnly) {
    FakeEngine engine;
    try {
        TPipeServer second(engine.Name(), {});
        ADD_FAILURE() << "a second server was made";
    } catch (const EOSError& error) {
        EXPECT_EQ(error.ErrorCode(), static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
    }
    // The first one still answers.
    auto client = Connected(engine.Name());
    ASSERT_TRUE(client);
    EXPECT_EQ(client->Call(TMessage{0, TGetStatus{}}, kPatience).Outcome, TCallOutcome::Replied);
}

// Someone who made the name first with a pipe of their own: the server does not start on it, and a
// client does not talk to it, since its owner is not the service.
TEST(WinPipe, ASquattersPipeIsRefusedByBothEnds) {
    const std::wstring name = UniquePipeName();
    const UniqueFileHandle squatter(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX,
                                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                                       PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr));
    ASSERT_TRUE(squatter);
    EXPECT_THROW({ TPipeServer server(name, {}); }, EOSError);

    const auto connected = TPipeClient::Connect(name, 5s);
    EXPECT_FALSE(connected.Client);
    EXPECT_EQ(connected.Failure, TConnectFailure::NotTheService);
    EXPECT_EQ(TPipeClient::Connect(UniquePipeName(), 5s).Failure, TConnectFailure::NotRunning);
}

// A server that the client must not believe: it answers the client's first request (id 1) with the
// bytes it is given, then stays, or closes.
class ScriptedServer {
public:
    ScriptedServer(std::string answer, bool close)
        : name_(UniquePipeName()), stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        // Owned by Administrators as the service's is, so that the client gets as far as talking.
        EXPECT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:BAD:P(A;;GA;;;WD)", SDDL_REVISION_1,
                                                                           &descriptor, nullptr));
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
        pipe_.reset(::CreateNamedPipeW(name_.c_str(), PIPE_ACCESS_DUPLEX,
                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, &attributes));
        ::LocalFree(descriptor);
        EXPECT_TRUE(pipe_);
        thread_ = std::thread([this, answer = std::move(answer), close] {
            ::ConnectNamedPipe(pipe_.get(), nullptr);
            char request[4096];
            DWORD read = 0;
            if (!::ReadFile(pipe_.get(), request, sizeof request, &read, nullptr)) return;
            DWORD written = 0;
            if (!answer.empty())
                ::WriteFile(pipe_.get(), answer.data(), static_cast<DWORD>(answer.size()), &written, nullptr);
            if (close) {
                ::FlushFileBuffers(pipe_.get());
                ::DisconnectNamedPipe(pipe_.get());
                return;
            }
            ::WaitForSingleObject(stop_.get(), INFINITE);
        });
    }
    ~ScriptedServer() {
        ::SetEvent(stop_.get());
        thread_.join();
    }
    const std::wstring& Name() const { return name_; }

private:
    std::wstring name_;
    UniqueKernelHandle stop_;
    UniqueFileHandle pipe_;
    std::thread thread_;
};

TEST(WinPipe, TheClientBelievesOnlyWhatDecodes) {
    const std::string report = FrameOf(TMessage{0, TMenuChanged{}});
    const std::string ok = FrameOf(TMessage{1, TOk{}});
    struct Case {
        const char* name;
        std::string answer;
        bool close;
        TCallOutcome outcome;
        std::size_t reports;
    };
    const Case cases[] = {
        {"the reply", ok, false, TCallOutcome::Replied, 0},
        {"a report, then the reply", report + ok, false, TCallOutcome::Replied, 1},
        {"a reply to another request, then the reply", FrameOf(TMessage{7, TOk{}}) + ok, false, TCallOutcome::Replied,
         0},
        {"no JSON", Frame("not json").value(), false, TCallOutcome::BadReply, 0},
        // A face takes no requests, also not from its engine.
        {"a request", FrameOf(TMessage{1, TGetStatus{}}), false, TCallOutcome::BadReply, 0},
        {"a length over the bound", std::string("\x01\x00\x01\x00", 4), false, TCallOutcome::Disconnected, 0},
        {"half a reply, then closed", ok.substr(0, 10), true, TCallOutcome::Disconnected, 0},
        {"nothing", "", false, TCallOutcome::TimedOut, 0},
    };
    for (const Case& c : cases) {
        ScriptedServer server(c.answer, c.close);
        auto client = Connected(server.Name());
        ASSERT_TRUE(client) << c.name;
        const TCallResult result = client->Call(TMessage{0, TGetStatus{}}, 500ms);
        EXPECT_EQ(result.Outcome, c.outcome) << c.name;
        if (result.Outcome == TCallOutcome::Replied) {
            EXPECT_EQ(result.Reply, (TMessage{1, TOk{}})) << c.name;
        }
        EXPECT_EQ(client->TakeReports().size(), c.reports) << c.name;
    }
}

// The face's reader ends on what does not decode, and hands over what came before it.
TEST(WinPipe, TheReaderEndsOnWhatDoesNotDecode) {
    ScriptedServer server(FrameOf(TMessage{0, TMenuChanged{}}) + Frame("{}").value(), false);
    auto client = Connected(server.Name());
    ASSERT_TRUE(client);
    ASSERT_TRUE(client->Post(TMessage{0, TSubscribe{}}, kPatience));
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<TMessage> messages;
    bool ended = false;
    client->StartReading(
        [&](TMessage message) {
            const std::lock_guard lock(mutex);
            messages.push_back(std::move(message));
        },
        [&] {
            const std::lock_guard lock(mutex);
            ended = true;
            changed.notify_all();
        });
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, kPatience, [&] { return ended; }));
    EXPECT_EQ(messages, std::vector<TMessage>{(TMessage{0, TMenuChanged{}})});
}

struct CliRun {
    long code = -1;
    std::string out;
};

// dockvane-cli.exe beside the tests, with its output in a file.
CliRun RunCli(const std::wstring& arguments) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::filesystem::path cli =
        std::filesystem::path(self).parent_path().parent_path() / "tools" / "cli" / "dockvane-cli.exe";
    testing::TempFolder folder;
    const std::filesystem::path outPath = folder.path() / "out.txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    CliRun run;
    {
        const UniqueFileHandle out(::CreateFileW(outPath.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                                 CREATE_ALWAYS, 0, nullptr));
        if (!out) return run;
        std::wstring commandLine = L"\"" + cli.wstring() + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out.get();
        startup.hStdError = out.get();
        PROCESS_INFORMATION process{};
        if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                              &process)) {
            return run;
        }
        const UniqueKernelHandle processHandle(process.hProcess);
        const UniqueKernelHandle threadHandle(process.hThread);
        if (::WaitForSingleObject(processHandle.get(), 60000) != WAIT_OBJECT_0) {
            ::TerminateProcess(processHandle.get(), 99);
            return run;
        }
        DWORD exitCode = 0;
        ::GetExitCodeProcess(processHandle.get(), &exitCode);
        run.code = static_cast<long>(exitCode);
    }
    run.out = testing::ReadBytes(outPath);
    return run;
}

TEST(WinPipe, TheCliSaysWhatHappenedInItsExitCode) {
    FakeEngine engine;
    const std::wstring pipe = L" --pipe " + engine.Name();
    struct Case {
        const wchar_t* arguments;
        long code;
    };
    const Case cases[] = {
        {L"status", 0},
        {L"eject E:", 0},
        {L"eject Q:", 4},
        {L"frobnicate", 1},
    };
    for (const Case& c : cases) {
        const CliRun run = RunCli(c.arguments + pipe);
        EXPECT_EQ(run.code, c.code) << std::string(c.arguments, c.arguments + wcslen(c.arguments)) << "\n" << run.out;
    }
    EXPECT_EQ(RunCli(L"status --pipe " + UniquePipeName()).code, 2);

    const CliRun json = RunCli(L"status --json" + pipe);
    ASSERT_EQ(json.code, 0) << json.out;
    std::string payload = json.out;
    while (!payload.empty() && (payload.back() == '\n' || payload.back() == '\r')) payload.pop_back();
    const TDecoded decoded = Decode(payload, TReader::Face);
    ASSERT_TRUE(decoded.Message) << json.out;
    EXPECT_EQ(decoded.Message->Body, TBody(SampleStatus()));
}

}  // namespace
}  // namespace dv::remote
