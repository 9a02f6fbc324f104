// The face: the tray of one signed-in person, unelevated, once per session. It takes no arguments.
#include "platform/dll_search_win.h"
#include "platform/windows_include.h"

#include <bcrypt.h>
#include <shellapi.h>

#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "face/face_model.h"
#include "face/face_window_win.h"
#include "platform/handles_win.h"
#include "platform/text.h"
#include "settings/app_settings.h"

namespace dv::face {
namespace {

// dockvane-cli.exe beside this program: the installation's folder, which only administrators write.
std::wstring CliBesideThisProgram() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return {};
    return path.substr(0, slash + 1) + L"dockvane-cli.exe";
}

// The system asks for consent, then the cli sends the change with the elevated token. Waits for
// nothing but the consent prompt: the engine's outcome comes to every face as its reports.
bool RunCliElevated(std::u16string_view arguments) {
    const std::wstring cli = CliBesideThisProgram();
    if (cli.empty()) return false;
    const std::wstring parameters = ToWide(arguments);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"runas";
    info.lpFile = cli.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    return ::ShellExecuteExW(&info) != FALSE;
}

// A name under \\.\pipe\ that nobody can guess.
std::wstring SecretPipeName() {
    unsigned char random[16] = {};
    if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) return {};
    std::wstring name = L"\\\\.\\pipe\\Dockvane-password-";
    for (const unsigned char byte : random) {
        constexpr wchar_t digits[] = L"0123456789abcdef";
        name += digits[byte >> 4];
        name += digits[byte & 15];
    }
    return name;
}

// Waits for one overlapped operation on `pipe`, or for `process` to end first (then it is cancelled);
// true when it completed.
bool Await(HANDLE pipe, OVERLAPPED& overlapped, HANDLE process, BOOL started) {
    if (!started && ::GetLastError() != ERROR_IO_PENDING) return ::GetLastError() == ERROR_PIPE_CONNECTED;
    const HANDLE waits[2] = {overlapped.hEvent, process};
    // The person may take a while over the consent prompt; the cli connects at once after it.
    const DWORD which = ::WaitForMultipleObjects(2, waits, FALSE, 120000);
    DWORD bytes = 0;
    if (which != WAIT_OBJECT_0) {
        ::CancelIoEx(pipe, &overlapped);
        (void)::GetOverlappedResult(pipe, &overlapped, &bytes, TRUE);
        return false;
    }
    return ::GetOverlappedResult(pipe, &overlapped, &bytes, FALSE) != FALSE;
}

// A change with a password: the cli reads it from a pipe of its own, never from its command line,
// where every process could read it. The pipe has one instance, made first by this process under a
// name nobody can guess, and gives the password only to the process started here (its id checked).
// A worker that owns the pipe, the process and the password hands it over and ends.
bool RunCliElevatedWithPassword(std::u16string_view arguments, std::u16string_view password) {
    const std::wstring cli = CliBesideThisProgram();
    const std::wstring name = SecretPipeName();
    if (cli.empty() || name.empty()) return false;
    UniqueFileHandle pipe(
        ::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
                           PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 4096, 0, 0, nullptr));
    if (!pipe) return false;
    const std::wstring parameters = ToWide(arguments) + L" --password-pipe " + name;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = L"runas";
    info.lpFile = cli.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    if (!::ShellExecuteExW(&info) || !info.hProcess) return false;
    std::thread([pipe = std::move(pipe), process = UniqueKernelHandle(info.hProcess),
                 secret = ToUtf8(password) + "\n"]() mutable {
        const UniqueKernelHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        OVERLAPPED overlapped{};
        overlapped.hEvent = event.get();
        ULONG client = 0;
        if (event && Await(pipe.get(), overlapped, process.get(), ::ConnectNamedPipe(pipe.get(), &overlapped)) &&
            ::GetNamedPipeClientProcessId(pipe.get(), &client) && client == ::GetProcessId(process.get())) {
            ::ResetEvent(event.get());
            overlapped = OVERLAPPED{};
            overlapped.hEvent = event.get();
            const BOOL written =
                ::WriteFile(pipe.get(), secret.data(), static_cast<DWORD>(secret.size()), nullptr, &overlapped);
            if (Await(pipe.get(), overlapped, process.get(), written)) ::FlushFileBuffers(pipe.get());
        }
        ::SecureZeroMemory(secret.data(), secret.size());
    }).detach();
    return true;
}

int Run() {
    // One face per session: a second start leaves the first one alone.
    const UniqueKernelHandle instance(::CreateMutexW(nullptr, FALSE, kFaceMutexName));
    if (!instance || ::GetLastError() == ERROR_ALREADY_EXISTS) return 0;

    TFaceOptions options;
    options.Right = ChangeRightOf(ReadFaceToken());
    options.RunElevated = &RunCliElevated;
    options.RunElevatedWithPassword = &RunCliElevatedWithPassword;
    options.SettingsFile = GetSettingsFileName();
    TFaceWindow window(std::move(options));
    return window.RunMessageLoop();
}

}  // namespace
}  // namespace dv::face

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    (void)dv::RestrictLibrarySearchToSystem32();
    return dv::face::Run();
}
