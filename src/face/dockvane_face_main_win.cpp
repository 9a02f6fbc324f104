// The face: the tray of one signed-in person, unelevated, once per session. It takes no arguments.
#include "platform/dll_search_win.h"
#include "platform/windows_include.h"

#include <shellapi.h>

#include <string>
#include <string_view>

#include "face/face_model.h"
#include "face/face_window_win.h"
#include "face/password_pipe_win.h"
#include "platform/files.h"
#include "platform/handles_win.h"
#include "platform/text.h"

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

// A change with a password: the cli reads it from a pipe of the face's (TPasswordPipe), never from
// its command line.
bool RunCliElevatedWithPassword(std::u16string_view arguments, std::u16string_view password) {
    const std::wstring cli = CliBesideThisProgram();
    TPasswordPipe pipe;
    if (cli.empty() || pipe.Name().empty()) return false;
    const std::wstring parameters = ToWide(arguments) + L" --password-pipe " + pipe.Name();
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = L"runas";
    info.lpFile = cli.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    if (!::ShellExecuteExW(&info) || !info.hProcess) return false;
    pipe.GiveTo(UniqueKernelHandle(info.hProcess), password);
    return true;
}

// The person's two sounds stay in the settings file that the versions before the service kept for
// each person, in their own folder, which they may write. The machine's file, with the seed of every
// password, is the engine's: the face neither reads nor prepares its folder (a standard user may not).
std::u16string PersonsSettingsFile() {
    const std::u16string appData = fs::GetLocalAppDataFolder();
    if (appData.empty()) return {};
    const std::u16string folder = appData + u"\\dockvane";
    if (fs::EntryKindAt(folder) == fs::EntryKind::None) (void)fs::MakeDirectory(folder);
    return folder + u"\\Settings.ini";
}

int Run() {
    // One face per session: a second start leaves the first one alone.
    const UniqueKernelHandle instance(::CreateMutexW(nullptr, FALSE, kFaceMutexName));
    if (!instance || ::GetLastError() == ERROR_ALREADY_EXISTS) return 0;

    TFaceOptions options;
    options.Right = ChangeRightOf(ReadFaceToken());
    options.RunElevated = &RunCliElevated;
    options.RunElevatedWithPassword = &RunCliElevatedWithPassword;
    options.SettingsFile = PersonsSettingsFile();
    TFaceWindow window(std::move(options));
    return window.RunMessageLoop();
}

}  // namespace
}  // namespace dv::face

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    (void)dv::RestrictLibrarySearchToSystem32();
    return dv::face::Run();
}
