#include "shell/main_dialogs_win.h"

#include <mmsystem.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdint>
#include <cwchar>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "dialogs/about_box_win.h"
#include "dialogs/auto_play_dialog_win.h"
#include "dialogs/domain_user_dialog_win.h"
#include "dialogs/drive_settings_dialog_win.h"
#include "platform/text.h"
#include "shell/controller.h"
#include "shell/drive_settings_host.h"

namespace dv {

// The portable side carries these system values as plain numbers.
static_assert(kShcneNetShare == SHCNE_NETSHARE);
static_assert(kShcneShareEvents == (SHCNE_NETSHARE | SHCNE_DELETE | SHCNE_RENAMEITEM));

TMainDialogs::TMainDialogs(HWND owner, std::function<TfmMain*()> controller)
    : owner_(owner), controller_(std::move(controller)) {}

TMainDialogs::~TMainDialogs() = default;

void TMainDialogs::ShowMessage(std::u16string_view text, TMessageIcon icon) {
    const UINT type = icon == TMessageIcon::Error     ? MB_ICONERROR
                      : icon == TMessageIcon::Warning ? MB_ICONWARNING
                                                      : MB_ICONINFORMATION;
    ::MessageBoxW(nullptr, ToWide(text).c_str(), ToWide(kApplicationTitle).c_str(), MB_OK | type | MB_SETFOREGROUND);
}

bool TMainDialogs::AskYesNo(std::u16string_view text, std::u16string_view caption) {
    return ::MessageBoxW(nullptr, ToWide(text).c_str(), ToWide(caption).c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

std::optional<TDriveSettingsResult> TMainDialogs::ShowDriveSettingsDialog(TMode mode, std::u16string_view driveLetter) {
    TfmMain* controller = controller_();
    if (!controller) return std::nullopt;
    TDriveSettingsHost host(*controller);
    return dv::ShowDriveSettingsDialog(host, mode, driveLetter.empty() ? u'\0' : driveLetter.front());
}

void TMainDialogs::ShowDomainUserDialog(TUserManager& users, TApplicationSettings& settings) {
    // Also during the controller's start-up, while the window does not know the controller yet.
    dv::ShowDomainUserDialog(owner_, users, settings);
}

void TMainDialogs::ShowAboutBox() {
    dv::ShowAboutBox();
}

void TMainDialogs::ShowAutoPlayDialog(char16_t driveLetter, std::u16string_view caption) {
    // Created once and reused, so that its selection is kept. A request while it is open does
    // nothing: the open dialog keeps its drive and stays closable.
    if (!autoPlay_) autoPlay_ = std::make_unique<TAutoPlayWindow>();
    if (autoPlay_->Handle()) return;
    autoPlay_->Show(driveLetter, caption);
}

// --- Sounds and the shell ---

void TSoundsAndShell::PlaySoundFile(std::u16string_view path) {
    ::PlaySoundW(ToWide(path).c_str(), nullptr, SND_ASYNC);
}

bool TSoundsAndShell::PlayBuiltInSound(std::u16string_view name) {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, ToWide(UpperCase(name)).c_str(), RT_RCDATA);
    if (!found) return false;
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) return false;
    // Resources stay mapped for the life of the module, so the asynchronous play may go on reading.
    ::PlaySoundW(static_cast<LPCWSTR>(data), nullptr, SND_ASYNC | SND_MEMORY | SND_NOSTOP);
    return true;
}

void TSoundsAndShell::NotifyShell(std::uint32_t eventId, std::u16string_view path) {
    ::SHChangeNotify(static_cast<LONG>(eventId), SHCNF_PATHW, ToWide(path).c_str(), nullptr);
}

void TSoundsAndShell::OpenHomePageFromVersionInfo() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0) return;
    std::vector<BYTE> data(size);
    if (!::GetFileVersionInfoW(path, 0, size, data.data())) return;
    struct Translation {
        WORD language;
        WORD codePage;
    }* translation = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                          &length) ||
        length < sizeof(Translation)) {
        return;
    }
    wchar_t query[64];
    ::swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\Comments", translation->language, translation->codePage);
    wchar_t* comments = nullptr;
    if (!::VerQueryValueW(data.data(), query, reinterpret_cast<void**>(&comments), &length) || length == 0) return;
    ::ShellExecuteW(nullptr, L"open", comments, nullptr, nullptr, SW_SHOW);
}

void TSoundsAndShell::QuitApplication() {
    ::PostQuitMessage(0);
}

}  // namespace dv
