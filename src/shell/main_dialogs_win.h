// Message boxes and the modal dialogs the controller opens, and its sounds and shell calls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/windows_include.h"
#include "shell/main_view.h"

namespace dv {

class TAutoPlayWindow;
class TfmMain;

class TMainDialogs : public IDialogView {
public:
    // `owner`: the window that owns the dialogs that have an owner; `controller`: the controller once
    // it exists, nothing before.
    TMainDialogs(HWND owner, std::function<TfmMain*()> controller);
    ~TMainDialogs() override;
    TMainDialogs(const TMainDialogs&) = delete;
    TMainDialogs& operator=(const TMainDialogs&) = delete;

    void ShowMessage(std::u16string_view text, TMessageIcon icon) override;
    bool AskYesNo(std::u16string_view text, std::u16string_view caption) override;
    std::optional<TDriveSettingsResult> ShowDriveSettingsDialog(TMode mode, std::u16string_view driveLetter) override;
    void ShowDomainUserDialog(TUserManager& users, TApplicationSettings& settings) override;
    void ShowAboutBox() override;
    void ShowAutoPlayDialog(char16_t driveLetter, std::u16string_view caption) override;

private:
    HWND owner_;
    std::function<TfmMain*()> controller_;
    std::unique_ptr<TAutoPlayWindow> autoPlay_;
};

class TSoundsAndShell : public ISoundsAndShell {
public:
    void PlaySoundFile(std::u16string_view path) override;
    bool PlayBuiltInSound(std::u16string_view name) override;
    void NotifyShell(std::uint32_t eventId, std::u16string_view path) override;
    void OpenHomePageFromVersionInfo() override;
    // Posts the quit request for the message loop of this thread.
    void QuitApplication() override;
};

}  // namespace dv
