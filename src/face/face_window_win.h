// The face on Windows: a hidden window with the tray icon, its menus and the settings window, fed by
// the engine's reports over the pipe. A worker of its own connects (and connects again after the
// engine went), and the pipe's reader hands each message over as a posted message, so the window's
// thread never waits on the pipe longer than the short bounded write of a request.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "face/face_model.h"
#include "platform/handles_win.h"
#include "platform/windows_include.h"
#include "remote/pipe_client_win.h"
#include "remote/protocol.h"
#include "shell/main_dialogs_win.h"
#include "shell/settings_window_win.h"
#include "shell/tray_icon_win.h"
#include "shell/tray_menu_win.h"
#include "system/system_host_win.h"
#include "system/win_service_mgmt.h"

namespace dv::face {

// The worker has news for the window.
inline constexpr UINT kFaceInboxMessage = WM_APP + 20;
// The one face of a session: the mutex's name in the session's own namespace.
inline constexpr wchar_t kFaceMutexName[] = L"Local\\DockvaneFace";

// What the face's process token says.
TFaceToken ReadFaceToken();

struct TFaceOptions {
    std::wstring PipeName;
    // How long the worker waits before it tries an engine that was not there again.
    std::chrono::milliseconds RetryInterval{1000};
    TChangeRight Right = TChangeRight::None;
    // How the tray icon reaches the notification area (tests record it); Shell_NotifyIconW by default.
    TTrayIcon::NotifyFunction Notify;
    // Starts dockvane-cli elevated with these arguments, after the system's consent prompt.
    std::function<bool(std::u16string_view arguments)> RunElevated;
    // The same for a change that carries a password, which the cli reads from a pipe the face
    // makes, never from its command line.
    std::function<bool(std::u16string_view arguments, std::u16string_view password)> RunElevatedWithPassword;
    // The person's own settings file, which keeps their sounds; empty: none (tests).
    std::u16string SettingsFile;
    // Shows a message box of the engine's (tests record it); a modal box by default.
    std::function<void(const TShownBox& box)> ShowBox;
};

class TFaceWindow {
public:
    explicit TFaceWindow(TFaceOptions options);
    ~TFaceWindow();
    TFaceWindow(const TFaceWindow&) = delete;
    TFaceWindow& operator=(const TFaceWindow&) = delete;

    HWND Handle() const { return window_.get(); }
    // Runs the message loop until Exit; returns the exit code.
    int RunMessageLoop();

    // For tests: what the person would see and choose.
    const TFaceModel& Model() const { return model_; }
    const TTrayIcon& TrayIcon() const { return *trayIcon_; }
    std::vector<TTrayMenu::Entry> MenuEntries(TPopupMenu menu);
    TSettingsWindow& SettingsWindow() { return settings_; }
    void RunCommand(UINT id);

private:
    struct TConnected {
        std::shared_ptr<remote::TPipeClient> client;
    };
    struct TDisconnected {};
    using TNews = std::variant<TConnected, TDisconnected, remote::TMessage>;
    // What the worker and the pipe's reader hand to the window; shared with them, so that a message
    // that arrives while the window goes finds it still there.
    struct TInbox {
        std::mutex mutex;
        std::deque<TNews> news;
        HWND window = nullptr;
        void Put(TNews item);
    };

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void ConnectLoop();

    void OnInbox();
    void OnNews(TNews news);
    void ShowWaitingBoxes();
    void ShowWaitingDialogs();
    void Refresh();
    void Send(remote::TBody request);
    // A change: sent as it is, or through the elevated cli after consent.
    void SendChange(TFaceCommand command, remote::TBody request);
    // Asks the engine what the dialog shows; it opens once the answers came (OpenDialog).
    void AskForDialog(TFaceCommand command, TFaceDialog dialog, TMode mode, char16_t letter);
    void OpenDialog();
    void ShowAutoPlay(const remote::TAutoPlay& report);

    void OnTrayCallback(WPARAM wParam, LPARAM lParam);
    void PopUpMenu(TPopupMenu menu, POINT at);
    void OnSettingsCommand();
    void OnSettingsAction(TSettingsAction action, const TSettingsControls& controls);
    void ApplyRightsToSettings();
    void PlayPersonsSound(TSoundBox box);

    TFaceOptions options_;
    UniqueWindow window_;
    UINT taskbarCreated_ = 0;
    TFaceModel model_;
    std::u16string computer_;
    TTrayMenu menus_;
    TSettingsWindow settings_;
    std::unique_ptr<TMainDialogs> dialogs_;
    TSoundsAndShell desktop_;
    TWinSystemHost system_;
    TWinServiceControl services_;
    TWinServiceMgmt serviceManager_{system_, services_};
    bool showingBox_ = false;
    // What the engine's news of one batch asked to open, opened after the batch.
    bool dialogWaiting_ = false;
    bool domainUserWaiting_ = false;
    std::optional<remote::TAutoPlay> autoPlayWaiting_;
    std::shared_ptr<remote::TPipeClient> client_;
    std::shared_ptr<TInbox> inbox_ = std::make_shared<TInbox>();
    std::unique_ptr<TTrayIcon> trayIcon_;

    // The worker that connects; last, so that it ends before what it uses.
    std::mutex workerMutex_;
    std::condition_variable workerWake_;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace dv::face
