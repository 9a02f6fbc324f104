#include "platform/windows_include.h"

#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "dockvane_cli.h"
#include "platform/dll_search_win.h"
#include "platform/handles_win.h"
#include "platform/os_error.h"
#include "platform/text.h"
#include "remote/pipe_client_win.h"
#include "remote/pipe_server_win.h"

namespace {

using dv::cli::TAnswer;
using dv::remote::TCallOutcome;
using dv::remote::TConnectFailure;

constexpr std::chrono::milliseconds kConnectTimeout{5000};
constexpr std::chrono::milliseconds kStatusTimeout{10000};
constexpr std::chrono::milliseconds kChangeTimeout{60000};
// A password is a line, not a file: more than this is no password.
constexpr std::size_t kMaxPasswordBytes = 4096;

// The first line of what `read` gives, as UTF-8; nothing when nothing came.
std::optional<std::u16string> FirstLine(HANDLE input) {
    std::string bytes;
    char buffer[256];
    DWORD got = 0;
    while (bytes.size() < kMaxPasswordBytes && bytes.find('\n') == std::string::npos &&
           ::ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    const std::size_t end = bytes.find_first_of("\r\n");
    if (end != std::string::npos) bytes.resize(end);
    if (bytes.empty() || bytes.size() >= kMaxPasswordBytes) return std::nullopt;
    std::u16string password = dv::FromUtf8(bytes);
    std::fill(bytes.begin(), bytes.end(), '\0');
    return password;
}

// domain-user's password: from the pipe a face made for it (a name under \\.\pipe\ only, so that no
// file is read), or from the standard input.
std::optional<std::u16string> ReadPassword(const dv::cli::TArguments& arguments) {
    if (arguments.PasswordPipe.empty()) return FirstLine(::GetStdHandle(STD_INPUT_HANDLE));
    const std::wstring name = dv::ToWide(arguments.PasswordPipe);
    if (!name.starts_with(L"\\\\.\\pipe\\")) return std::nullopt;
    const dv::UniqueFileHandle pipe(::CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                                  SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
    if (!pipe) return std::nullopt;
    return FirstLine(pipe.get());
}

TAnswer Ask(const std::wstring& pipeName, const dv::remote::TMessage& request) {
    auto connected = dv::remote::TPipeClient::Connect(pipeName, kConnectTimeout);
    if (!connected.Client) {
        std::u16string problem;
        switch (connected.Failure) {
            case TConnectFailure::NotRunning: problem = u"the Dockvane engine is not running"; break;
            case TConnectFailure::TimedOut: problem = u"the Dockvane engine is busy; try again"; break;
            case TConnectFailure::NotTheService:
                problem = u"the pipe " + dv::FromWide(pipeName) + u" is not the Dockvane engine's";
                break;
            default:
                problem = u"cannot reach the Dockvane engine: " +
                          dv::OSErrorMessage(connected.Error, dv::OSErrorText(connected.Error));
                break;
        }
        return {TAnswer::TOutcome::NoEngine, {}, problem};
    }
    // A change waits for Windows (an eject, a share, a label) and for the engine's own pauses.
    const auto timeout = request.Kind() == dv::remote::TKind::GetStatus ? kStatusTimeout : kChangeTimeout;
    auto result = connected.Client->Call(request, timeout);
    switch (result.Outcome) {
        case TCallOutcome::Replied: return {TAnswer::TOutcome::Replied, std::move(result.Reply), {}};
        case TCallOutcome::TimedOut: return {TAnswer::TOutcome::NoEngine, {}, u"the Dockvane engine did not answer"};
        case TCallOutcome::BadReply:
            return {TAnswer::TOutcome::BadReply, {}, u"the Dockvane engine's answer could not be read"};
        case TCallOutcome::Unsendable: return {TAnswer::TOutcome::BadReply, {}, u"the request could not be sent"};
        case TCallOutcome::Disconnected: break;
    }
    return {TAnswer::TOutcome::NoEngine, {}, u"the Dockvane engine closed the connection"};
}

}  // namespace

int main() {
    // Administrators run it elevated, from wherever they are: nothing is loaded from there.
    (void)dv::RestrictLibrarySearchToSystem32();

    // The arguments as the system has them (UTF-16), not in the console's code page.
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::vector<std::u16string> args;
    for (int i = 1; argv && i < argc; ++i) args.push_back(dv::FromWide(argv[i]));
    ::LocalFree(argv);

    ::SetConsoleOutputCP(CP_UTF8);
    return dv::cli::RunCli(
        args,
        [&args](const dv::remote::TMessage& request) {
            const auto parsed = dv::cli::ParseArguments(args);
            const std::wstring pipeName = parsed && !parsed->PipeName.empty() ? dv::ToWide(parsed->PipeName)
                                                                              : std::wstring(dv::remote::kPipeName);
            return Ask(pipeName, request);
        },
        std::cout, std::cerr, &ReadPassword);
}
