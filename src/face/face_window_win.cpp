#include "face/face_window_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include <array>
#include <utility>

#include "dialogs/about_box_win.h"
#include "dialogs/domain_user_dialog_win.h"
#include "dialogs/drive_settings_dialog_win.h"
#include "dialogs/web_links.h"
#include "face/face_dialogs.h"
#include "platform/errors.h"
#include "platform/product.h"
#include "platform/text.h"
#include "platform/thread_name.h"
#include "remote/pipe_server_win.h"
#include "resources/resource_ids.h"
#include "settings/app_settings.h"
#include "shell/app_messages_win.h"
#include "shell/controller.h"
#include "shell/settings_window.h"

namespace dv::face {
namespace {

using namespace std::chrono_literals;

constexpr wchar_t kWindowClass[] = L"DockvaneFaceWindow";
// How long a connection attempt may wait for a free instance of the pipe (the worker's, not the
// window's), and how long the window's thread may take to write one request.
constexpr auto kConnectTimeout = 500ms;
constexpr auto kWriteTimeout = 50ms;

TTrayImage ImageOf(TFaceIcon icon) {
    switch (icon) {
        case TFaceIcon::Available: return TTrayImage::Shared;
        case TFaceIcon::Activity: return TTrayImage::Activity;
        case TFaceIcon::NotRunning: return TTrayImage::NotRunning;
        case TFaceIcon::Idle: break;
    }
    return TTrayImage::Idle;
}

// The menu commands and what they are, for the rights.
struct CommandOf {
    UINT id;
    TFaceCommand command;
};
constexpr CommandOf kCommands[] = {
    {kCmdHeader, TFaceCommand::Header}, {kCmdHost, TFaceCommand::Host},
    {kCmdAdd, TFaceCommand::Add},       {kCmdSettings, TFaceCommand::Settings},
    {kCmdHelp, TFaceCommand::Help},     {kCmdAbout, TFaceCommand::About},
    {kCmdExit, TFaceCommand::Exit},     {kCmdDomainUser, TFaceCommand::DomainUser},
};

}  // namespace

TFaceToken ReadFaceToken() {
    TFaceToken facts;
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return facts;
    const UniqueKernelHandle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size)) {
        facts.Elevated = elevation.TokenIsElevated != 0;
    }
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    if (::GetTokenInformation(token.get(), TokenElevationType, &type, sizeof type, &size)) {
        facts.ElevationAvailable = type == TokenElevationTypeLimited;
    }
    std::array<BYTE, SECURITY_MAX_SID_SIZE> sid{};
    DWORD sidSize = static_cast<DWORD>(sid.size());
    BOOL member = FALSE;
    // A null token: the calling thread's, which is the process's (the face impersonates no one). Only
    // an enabled group counts, not one held for deny only.
    if (::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid.data(), &sidSize) &&
        ::CheckTokenMembership(nullptr, sid.data(), &member)) {
        facts.AdministratorsEnabled = member != FALSE;
    }
    return facts;
}

void TFaceWindow::TInbox::Put(TNews item) {
    HWND target = nullptr;
    {
        const std::lock_guard lock(mutex);
        news.push_back(std::move(item));
        target = window;
    }
    if (target) ::PostMessageW(target, kFaceInboxMessage, 0, 0);
}

TFaceWindow::TFaceWindow(TFaceOptions options) : options_(std::move(options)) {
    if (options_.PipeName.empty()) options_.PipeName = remote::kPipeName;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &TFaceWindow::WindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hIcon = ::LoadIconW(windowClass.hInstance, MAKEINTRESOURCEW(IDI_APP));
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassExW(&windowClass);
    ::CreateWindowExW(0, kWindowClass, L"", WS_OVERLAPPED, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr,
                      windowClass.hInstance, this);
    taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");
    // The icon first: it is what the person waits for. The engine is looked for meanwhile.
    trayIcon_ =
        std::make_unique<TTrayIcon>(Handle(), kTrayIconId, kTrayCallbackMessage, model_.Hint(), options_.Notify);
    {
        const std::lock_guard lock(inbox_->mutex);
        inbox_->window = Handle();
    }
    worker_ = std::thread([this] { ConnectLoop(); });

    system_.SetMainWindow(Handle());
    computer_ = system_.ComputerName().value_or(u"");
    dialogs_ = std::make_unique<TMainDialogs>(Handle(), [] { return nullptr; });
    settings_.Create();
    settings_.OnAction = [this](TSettingsAction action, const TSettingsControls& controls) {
        // A copy: what the handler lets through may change the controls.
        OnSettingsAction(action, TSettingsControls(controls));
    };
    settings_.OnClose = [this] { settings_.View().HideSettingsWindow(); };
    Refresh();
}

TFaceWindow::~TFaceWindow() {
    {
        const std::lock_guard lock(workerMutex_);
        stopping_ = true;
    }
    workerWake_.notify_all();
    if (worker_.joinable()) worker_.join();
    {
        const std::lock_guard lock(inbox_->mutex);
        inbox_->window = nullptr;
    }
    // Ends the reader without its callbacks.
    client_.reset();
    trayIcon_.reset();
}

void TFaceWindow::ConnectLoop() {
    SetCurrentThreadName(u"Dockvane face connect");
    const std::shared_ptr<TInbox> inbox = inbox_;
    for (;;) {
        {
            const std::lock_guard lock(workerMutex_);
            if (stopping_) return;
        }
        remote::TConnectResult result = remote::TPipeClient::Connect(options_.PipeName, kConnectTimeout);
        if (!result.Client) {
            inbox->Put(TDisconnected{});
            std::unique_lock lock(workerMutex_);
            workerWake_.wait_for(lock, options_.RetryInterval, [this] { return stopping_; });
            continue;
        }
        std::shared_ptr<remote::TPipeClient> client(std::move(result.Client));
        auto ended = std::make_shared<bool>(false);
        // The reader's callbacks hold no client: its last owner must never be its own reader.
        client->StartReading([inbox](remote::TMessage message) { inbox->Put(std::move(message)); },
                             [this, inbox, ended] {
                                 inbox->Put(TDisconnected{});
                                 const std::lock_guard lock(workerMutex_);
                                 *ended = true;
                                 workerWake_.notify_all();
                             });
        inbox->Put(TConnected{client});
        client.reset();
        std::unique_lock lock(workerMutex_);
        workerWake_.wait(lock, [&] { return stopping_ || *ended; });
        if (stopping_) return;
        // The engine went: it is restarting, most likely. Try again after a pause.
        workerWake_.wait_for(lock, options_.RetryInterval, [this] { return stopping_; });
    }
}

// --- Window procedure ---

LRESULT CALLBACK TFaceWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<TFaceWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window_.reset(window);
    }
    auto* self = reinterpret_cast<TFaceWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY && self) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        (void)self->window_.release();
    }
    return self ? self->HandleMessage(message, wParam, lParam) : ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT TFaceWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == taskbarCreated_ && taskbarCreated_ != 0) {
        if (trayIcon_) trayIcon_->ReAdd();
        return 0;
    }
    switch (message) {
        case kFaceInboxMessage: OnInbox(); return 0;
        case kTrayCallbackMessage: OnTrayCallback(wParam, lParam); return 0;
        case WM_MEASUREITEM: {
            auto& item = *reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
            if (item.CtlType != ODT_MENU) break;
            menus_.Measure(Handle(), item);
            return TRUE;
        }
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item.CtlType != ODT_MENU) break;
            menus_.Draw(Handle(), item);
            return TRUE;
        }
        case WM_COMMAND: RunCommand(LOWORD(wParam)); return 0;
        case WM_DPICHANGED:
            if (trayIcon_) trayIcon_->SetDpi(HIWORD(wParam));
            return 0;
        default: break;
    }
    return ::DefWindowProcW(Handle(), message, wParam, lParam);
}

int TFaceWindow::RunMessageLoop() {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (settings_.Visible() && ::IsDialogMessageW(settings_.Handle(), &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

// --- What the engine says ---

void TFaceWindow::OnInbox() {
    std::deque<TNews> news;
    {
        const std::lock_guard lock(inbox_->mutex);
        news.swap(inbox_->news);
    }
    for (TNews& item : news) OnNews(std::move(item));
    ShowWaitingBoxes();
    ShowWaitingDialogs();
}

void TFaceWindow::OnNews(TNews news) {
    if (auto* connected = std::get_if<TConnected>(&news)) {
        client_ = std::move(connected->client);
        model_.OnConnected();
        // Subscribed first, so that no report between the status and the subscription is missed.
        Send(remote::TSubscribe{});
        Send(remote::TGetStatus{});
        Refresh();
        return;
    }
    if (std::holds_alternative<TDisconnected>(news)) {
        // The worker reports each failed attempt; only the first one changes anything.
        client_.reset();
        model_.OnDisconnected();
        Refresh();
        return;
    }
    const TFaceEffects effects = model_.OnMessage(std::get<remote::TMessage>(news));
    if (effects.Balloon && trayIcon_) {
        trayIcon_->ShowBalloon(kApplicationTitle, effects.Balloon->Text, effects.Balloon->Icon == TBalloonIcon::Warning,
                               kBalloonTimeMs);
    }
    if (effects.Sound) PlayPersonsSound(*effects.Sound);
    if (effects.AskStatus) Send(remote::TGetStatus{});
    if (effects.IconChanged || effects.MenusChanged) Refresh();
    // The dialogs wait until all news of this batch are handled (ShowWaitingDialogs): each runs its own
    // loop, whose news would otherwise be handled before the older ones still in the batch.
    dialogWaiting_ |= effects.DialogReady;
    domainUserWaiting_ |= effects.DomainUser;
    if (effects.AutoPlay) autoPlayWaiting_ = effects.AutoPlay;
}

void TFaceWindow::ShowWaitingDialogs() {
    if (std::exchange(dialogWaiting_, false)) OpenDialog();
    if (std::exchange(domainUserWaiting_, false)) {
        AskForDialog(TFaceCommand::DomainUser, TFaceDialog::DomainUser, mModify, 0);
    }
    if (const std::optional<remote::TAutoPlay> report = std::exchange(autoPlayWaiting_, std::nullopt)) {
        ShowAutoPlay(*report);
    }
}

void TFaceWindow::ShowWaitingBoxes() {
    // One box at a time: a box's own loop runs this again for news that came meanwhile, and what it
    // queues is shown here, after the box open now.
    if (showingBox_) return;
    showingBox_ = true;
    while (const std::optional<TShownBox> box = model_.TakeBox()) {
        if (options_.ShowBox) {
            options_.ShowBox(*box);
        } else {
            dialogs_->ShowMessage(box->Text, box->Icon);
        }
    }
    showingBox_ = false;
}

void TFaceWindow::Refresh() {
    if (trayIcon_) {
        trayIcon_->SetImage(ImageOf(model_.Icon()));
        trayIcon_->SetTip(model_.Hint());
    }
    const TFaceMenus menus = MenusOf(model_.Status(), computer_);
    for (int slot = 0; slot < kSlots; ++slot) {
        const auto index = static_cast<std::size_t>(slot);
        menus_.SetSlot(TMenuSlots::Modify, slot, menus.Modify[index].Caption, menus.Modify[index].Visible);
        menus_.SetSlot(TMenuSlots::Eject, slot, menus.Eject[index].Caption, menus.Eject[index].Visible);
        menus_.SetCommandEnabled(kCmdModifyFirst + static_cast<UINT>(slot),
                                 CommandEnabled(TFaceCommand::Modify, options_.Right, model_.Connected()));
        menus_.SetCommandEnabled(kCmdEjectFirst + static_cast<UINT>(slot),
                                 CommandEnabled(TFaceCommand::Eject, options_.Right, model_.Connected()));
    }
    menus_.SetAddCaption(menus.AddCaption);
    menus_.SetDomainUserItemVisible(menus.DomainUserVisible);
    menus_.SetRightClickMenu(menus.RightClick);
    for (const CommandOf& command : kCommands) {
        menus_.SetCommandEnabled(command.id, CommandEnabled(command.command, options_.Right, model_.Connected()));
    }
    ApplyRightsToSettings();
}

void TFaceWindow::Send(remote::TBody request) {
    if (!client_) return;
    const remote::TKind kind = remote::TMessage{0, request}.Kind();
    // A short bounded write: a pipe that takes nothing is an engine in trouble, and its reader
    // reports the end.
    if (const std::optional<std::uint32_t> id = client_->Post(remote::TMessage{0, std::move(request)}, kWriteTimeout)) {
        model_.OnSent(*id, kind);
    }
}

void TFaceWindow::SendChange(TFaceCommand command, remote::TBody request) {
    if (!CommandEnabled(command, options_.Right, model_.Connected())) return;
    if (options_.Right == TChangeRight::Direct) {
        Send(std::move(request));
        return;
    }
    const std::optional<std::u16string> arguments = ElevatedCliArguments(request);
    if (!arguments) return;
    if (const std::optional<std::u16string> password = ElevatedCliPassword(request)) {
        if (options_.RunElevatedWithPassword) (void)options_.RunElevatedWithPassword(*arguments, *password);
        return;
    }
    if (options_.RunElevated) (void)options_.RunElevated(*arguments);
}

void TFaceWindow::AskForDialog(TFaceCommand command, TFaceDialog dialog, TMode mode, char16_t letter) {
    if (!CommandEnabled(command, options_.Right, model_.Connected())) return;
    // Passwords go to an elevated administrator's face only: the engine refuses them to anyone else.
    const std::optional<std::vector<remote::TBody>> asks =
        model_.AskForDialog(dialog, mode, letter, options_.Right == TChangeRight::Direct);
    if (!asks) return;
    for (const remote::TBody& ask : *asks) Send(ask);
    if (model_.DialogAsked()) OpenDialog();
}

void TFaceWindow::OpenDialog() {
    std::optional<TDialogData> data = model_.TakeDialog();
    if (!data) return;
    // The dialog's own loop runs the face's news meanwhile: nothing here is held across it but the
    // copy the dialog works on.
    const TFaceDialog dialog = data->Dialog;
    const TMode mode = data->Mode;
    const char16_t letter = data->Letter;
    const TFaceCommand command = dialog == TFaceDialog::DomainUser ? TFaceCommand::DomainUser
                                 : mode == mAdd                    ? TFaceCommand::Add
                                                                   : TFaceCommand::Modify;
    const auto send = [this, command](remote::TBody request) { SendChange(command, std::move(request)); };
    try {
        if (dialog == TFaceDialog::DriveSettings) {
            TFaceDriveSettingsHost host(std::move(*data), serviceManager_.getHostname(), send);
            (void)ShowDriveSettingsDialog(host, mode, letter);
        } else {
            TFaceDomainUser account(std::move(*data), send);
            TDomainUserNameWindow window(account);
            window.SetShareUser(Handle());
        }
    } catch (const Exception& error) {
        dialogs_->ShowMessage(error.Message(), TMessageIcon::Error);
    }
    model_.DialogClosed();
}

void TFaceWindow::ShowAutoPlay(const remote::TAutoPlay& report) {
    // The person's own choice: opening the drive's folder is done as them, not by the engine. The
    // dialog ignores a drive that comes while it is open.
    dialogs_->ShowAutoPlayDialog(report.Letter.Letter(), report.Caption);
}

namespace {

// The person's own settings file is theirs to write, and to break: what cannot be read of it leaves
// the defaults, and the face goes on.
void LoadPersonsSettings(TApplicationSettings& settings) {
    try {
        settings.Load();
    } catch (const Exception&) {
    }
}

}  // namespace

void TFaceWindow::PlayPersonsSound(TSoundBox box) {
    if (options_.SettingsFile.empty()) return;
    TApplicationSettings settings(options_.SettingsFile);
    LoadPersonsSettings(settings);
    PlaySettingSound(desktop_,
                     box == TSoundBox::Available ? settings.FSoundBackupAvailable : settings.FSoundBackupDone);
}

// --- Tray icon and menus ---

void TFaceWindow::OnTrayCallback(WPARAM wParam, LPARAM lParam) {
    const POINT anchor{static_cast<short>(LOWORD(wParam)), static_cast<short>(HIWORD(wParam))};
    switch (LOWORD(lParam)) {
        case WM_CONTEXTMENU: PopUpMenu(menus_.RightClickMenu(), anchor); break;
        case NIN_SELECT:
        case NIN_KEYSELECT:
            ::EndMenu();
            PopUpMenu(TPopupMenu::Tray, {anchor.x, anchor.y + 1});
            break;
        default: break;
    }
}

std::vector<TTrayMenu::Entry> TFaceWindow::MenuEntries(TPopupMenu menu) {
    return menus_.Entries(menu);
}

void TFaceWindow::PopUpMenu(TPopupMenu which, POINT at) {
    if (which == TPopupMenu::Tray && menus_.HostCaption() == u"Host:") {
        menus_.SetHostCaption(HostCaption(serviceManager_.getHostname()));
    }
    ::SetForegroundWindow(Handle());
    const UINT command = menus_.Track(which, Handle(), at);
    if (command != 0) RunCommand(command);
}

void TFaceWindow::RunCommand(UINT id) {
    if (!menus_.CommandEnabled(id)) return;
    if (id >= kCmdEjectFirst && id < kCmdEjectFirst + kSlots) {
        if (std::optional<remote::TBody> request = model_.EjectRequest(static_cast<int>(id - kCmdEjectFirst))) {
            SendChange(TFaceCommand::Eject, std::move(*request));
        }
        return;
    }
    if (id >= kCmdModifyFirst && id < kCmdModifyFirst + kSlots) {
        if (const std::optional<char16_t> letter = model_.ModifyLetter(static_cast<int>(id - kCmdModifyFirst))) {
            AskForDialog(TFaceCommand::Modify, TFaceDialog::DriveSettings, mModify, *letter);
        }
        return;
    }
    switch (id) {
        case kCmdHeader: desktop_.OpenHomePageFromVersionInfo(); break;
        case kCmdHost: serviceManager_.ShowSystemProperties(); break;
        case kCmdAdd: AskForDialog(TFaceCommand::Add, TFaceDialog::DriveSettings, mAdd, 0); break;
        case kCmdDomainUser: AskForDialog(TFaceCommand::DomainUser, TFaceDialog::DomainUser, mModify, 0); break;
        case kCmdSettings: OnSettingsCommand(); break;
        case kCmdHelp: TWebLinks().goToOnlineHelp(); break;
        case kCmdAbout: {
            static bool open = false;
            if (open) break;
            open = true;
            ShowAboutBox();
            open = false;
            break;
        }
        case kCmdExit: ::PostQuitMessage(0); break;
        default: break;
    }
}

// --- The settings window ---

void TFaceWindow::OnSettingsCommand() {
    if (settings_.Visible()) {
        ::SetForegroundWindow(settings_.Handle());
        return;
    }
    TfmSettings& view = settings_.View();
    view.ShowSettingsWindow();
    // The sounds are the person's own; AutoPlay and the start at sign-in are the engine's.
    TApplicationSettings mine(options_.SettingsFile);
    if (!options_.SettingsFile.empty()) LoadPersonsSettings(mine);
    for (const TSoundBox box : {TSoundBox::Available, TSoundBox::Done}) {
        const TSoundBoxFill fill =
            SoundBoxFill(box, box == TSoundBox::Available ? mine.FSoundBackupAvailable : mine.FSoundBackupDone);
        view.SetSoundEntries(box, fill.Entries);
        view.SelectSound(box, fill.Selected);
    }
    if (const auto& status = model_.Status()) {
        view.SetAutoPlaySelection(status->AutoPlay);
        view.SetAutostartChecked(status->FaceAutostart);
    }
    ApplyRightsToSettings();
}

void TFaceWindow::ApplyRightsToSettings() {
    if (!settings_.Handle()) return;
    const bool connected = model_.Connected();
    const struct {
        int id;
        TFaceCommand command;
    } controls[] = {{IDC_SETTINGS_RENEW_PASSWORD, TFaceCommand::RenewPassword},
                    {IDC_SETTINGS_AUTOPLAY, TFaceCommand::AutoPlay},
                    {IDC_SETTINGS_AUTOSTART, TFaceCommand::Autostart}};
    for (const auto& control : controls) {
        const HWND item = settings_.Control(control.id);
        if (!item) continue;
        ::EnableWindow(item, CommandEnabled(control.command, options_.Right, connected));
    }
    // The shield on the button that asks for consent, as Windows shows it.
    if (const HWND renew = settings_.Control(IDC_SETTINGS_RENEW_PASSWORD)) {
        ::SendMessageW(renew, BCM_SETSHIELD, 0,
                       CommandShowsShield(TFaceCommand::RenewPassword, options_.Right, connected) ? TRUE : FALSE);
    }
}

void TFaceWindow::OnSettingsAction(TSettingsAction action, const TSettingsControls& controls) {
    TfmSettings& view = settings_.View();
    switch (action) {
        case TSettingsAction::PlayAvailableSound:
            PlaySettingSound(desktop_, controls.cboxBackupAvailableSound.Text());
            break;
        case TSettingsAction::PlayDoneSound: PlaySettingSound(desktop_, controls.cboxBackupDoneSound.Text()); break;
        case TSettingsAction::AvailableSoundChanged: OnSoundBoxChanged(view, TSoundBox::Available); break;
        case TSettingsAction::DoneSoundChanged: OnSoundBoxChanged(view, TSoundBox::Done); break;
        case TSettingsAction::RenewPassword:
            if (!CommandEnabled(TFaceCommand::RenewPassword, options_.Right, model_.Connected())) break;
            if (dialogs_->AskYesNo(u"Renew password?", kApplicationTitle)) {
                SendChange(TFaceCommand::RenewPassword, remote::TRenewPassword{});
            }
            break;
        case TSettingsAction::CheckForUpdate: (void)TWebLinks().goToUpdateLink(); break;
        case TSettingsAction::AutoPlayChanged:
            SendChange(TFaceCommand::AutoPlay, remote::TSetAutoPlay{controls.cbAutoPlayUSBDisk.ItemIndex});
            break;
        case TSettingsAction::AutostartClicked:
            SendChange(TFaceCommand::Autostart, remote::TSetFaceAutostart{controls.ckAutostart});
            break;
        case TSettingsAction::Ok:
            if (!options_.SettingsFile.empty()) {
                TApplicationSettings mine(options_.SettingsFile);
                LoadPersonsSettings(mine);
                mine.FSoundBackupAvailable = controls.cboxBackupAvailableSound.Text();
                mine.FSoundBackupDone = controls.cboxBackupDoneSound.Text();
                try {
                    mine.Save();
                } catch (const Exception& error) {
                    dialogs_->ShowMessage(error.Message(), TMessageIcon::Error);
                    break;
                }
            }
            view.HideSettingsWindow();
            break;
        case TSettingsAction::Cancel: view.HideSettingsWindow(); break;
        case TSettingsAction::None: break;
    }
}

}  // namespace dv::face
