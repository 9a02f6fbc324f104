// The password of a domain user on its way from a face to the cli it started: under Wine, with the
// real dockvane-cli.exe against a pipe server that stands in for the engine.
#include "face/password_pipe_win.h"

#include "platform/windows_include.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/handles_win.h"
#include "remote/pipe_server_win.h"
#include "remote/protocol.h"

namespace dv::face {
namespace {

// Answers every request with ok and keeps the set-domain-user requests.
class DomainUserEngine {
public:
    DomainUserEngine()
        : name_(L"\\\\.\\pipe\\DockvanePasswordTest-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter_)),
          server_(std::make_unique<remote::TPipeServer>(
              name_, remote::TPipeServerHandlers{
                         [this](remote::TConnectionId id, const remote::TCaller&, std::string payload) {
                             const remote::TDecoded decoded = remote::Decode(payload, remote::TReader::Engine);
                             if (!decoded.Message) return;
                             if (const auto* user = std::get_if<remote::TSetDomainUser>(&decoded.Message->Body)) {
                                 const std::lock_guard lock(mutex_);
                                 asked_.push_back(*user);
                             }
                             server_->Send(id, remote::TMessage{decoded.Message->Id, remote::TOk{}});
                         },
                         {}})) {}

    const std::wstring& Name() const { return name_; }
    std::vector<remote::TSetDomainUser> Asked() {
        const std::lock_guard lock(mutex_);
        return asked_;
    }

private:
    static inline std::atomic<int> counter_{0};
    std::wstring name_;
    std::mutex mutex_;
    std::vector<remote::TSetDomainUser> asked_;
    std::unique_ptr<remote::TPipeServer> server_;
};

struct Started {
    UniqueKernelHandle process;
    DWORD id = 0;
};

// dockvane-cli.exe beside the tests.
Started StartCli(const std::wstring& arguments) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::filesystem::path cli =
        std::filesystem::path(self).parent_path().parent_path() / "tools" / "cli" / "dockvane-cli.exe";
    std::wstring commandLine = L"\"" + cli.wstring() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &process)) {
        return {};
    }
    ::CloseHandle(process.hThread);
    return {UniqueKernelHandle(process.hProcess), process.dwProcessId};
}

UniqueKernelHandle Duplicate(HANDLE process) {
    HANDLE copy = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), process, ::GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
    return UniqueKernelHandle(copy);
}

DWORD ExitCodeOf(HANDLE process) {
    // A hang guard, never a measure of speed.
    if (::WaitForSingleObject(process, 60000) != WAIT_OBJECT_0) {
        ::TerminateProcess(process, 99);
        return 99;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    return code;
}

TEST(WinPasswordPipe, TheCliStartedReadsThePassword) {
    DomainUserEngine engine;
    TPasswordPipe pipe;
    ASSERT_FALSE(pipe.Name().empty());
    Started cli = StartCli(L"domain-user OFFICE\\bob --password-pipe " + pipe.Name() + L" --pipe " + engine.Name());
    ASSERT_TRUE(cli.process);
    pipe.GiveTo(Duplicate(cli.process.get()), u"s3cret p\u00E4ss");
    EXPECT_EQ(ExitCodeOf(cli.process.get()), 0u);
    EXPECT_EQ(engine.Asked(), (std::vector<remote::TSetDomainUser>{{u"OFFICE\\bob", u"s3cret p\u00E4ss"}}));
}

TEST(WinPasswordPipe, WhoeverElseConnectsFirstGetsNothing) {
    DomainUserEngine engine;
    TPasswordPipe pipe;
    ASSERT_FALSE(pipe.Name().empty());
    // Another process of the person's, quicker than the cli: here, this one.
    const UniqueFileHandle intruder(
        ::CreateFileW(pipe.Name().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(intruder);
    Started cli = StartCli(L"domain-user OFFICE\\bob --password-pipe " + pipe.Name() + L" --pipe " + engine.Name());
    ASSERT_TRUE(cli.process);
    pipe.GiveTo(Duplicate(cli.process.get()), u"s3cret");
    char buffer[64] = {};
    DWORD got = 0;
    // Ends when the face's worker closes the pipe without a word.
    (void)::ReadFile(intruder.get(), buffer, sizeof buffer, &got, nullptr);
    EXPECT_EQ(got, 0u);
    // The cli found the pipe taken, and sent nothing.
    EXPECT_EQ(ExitCodeOf(cli.process.get()), 6u);
    EXPECT_TRUE(engine.Asked().empty());
}

}  // namespace
}  // namespace dv::face
