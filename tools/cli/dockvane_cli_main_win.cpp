#include "platform/windows_include.h"

#include <shellapi.h>

#include <chrono>
#include <iostream>
#include <string>
#include <vector>

#include "dockvane_cli.h"
#include "platform/dll_search_win.h"
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
// An eject waits for Windows, and for the engine's own pauses between its tries.
constexpr std::chrono::milliseconds kEjectTimeout{60000};

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
    const auto timeout = request.Kind() == dv::remote::TKind::EjectDrive ? kEjectTimeout : kStatusTimeout;
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
        std::cout, std::cerr);
}
