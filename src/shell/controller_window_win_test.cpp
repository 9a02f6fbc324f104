// The controller on the real main window, and the main window's dialogs asked for twice: what only
// shows when the two meet (start-up before the window knows its controller, commands while a dialog
// or the settings window is open).
#include "platform/windows_include.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "accounts/accounts_sim.h"
#include "accounts/user_manager.h"
#include "dialogs/web_links.h"
#include "drives/eject_blocker.h"
#include "drives/volume_observer.h"
#include "drives/volume_query.h"
#include "platform/text.h"
#include "resources/resource_ids.h"
#include "settings/app_settings.h"
#include "sharing/http_client.h"
#include "shell/app_messages_win.h"
#include "shell/controller.h"
#include "shell/directory_watcher_win.h"
#include "shell/main_window_win.h"
#include "system/system_host_win.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

using namespace std::chrono_literals;

// Runs `action` on a thread of its own once `limit` has passed, unless dismissed first (by its
// destruction): what ends a test that would otherwise wait for ever.
class Watchdog {
public:
    Watchdog(std::chrono::milliseconds limit, std::function<void()> action)
        : thread_([this, limit, action = std::move(action)] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!dismissed_.wait_for(lock, limit, [this] { return done_; })) action();
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        dismissed_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable dismissed_;
    bool done_ = false;
    std::thread thread_;  // last: it uses the members above
};

// Ends the message loops of this thread with exit code 99 after `limit`.
Watchdog QuitAfter(std::chrono::milliseconds limit) {
    const DWORD thread = ::GetCurrentThreadId();
    return Watchdog(limit, [thread] { ::PostThreadMessageW(thread, WM_QUIT, 99, 0); });
}

// Takes a quit request left in this thread's queue; whether there was one.
bool TakeQuit() {
    MSG message;
    return ::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

// Watches, on a thread of its own, for a top-level window of this process with the title, and hands
// each one to `act` (once per window) as soon as it is on the screen, that is done with its set-up.
class WindowWaiter {
public:
    WindowWaiter(std::wstring title, std::function<void(HWND)> act)
        : title_(std::move(title)), act_(std::move(act)), thread_([this] { Watch(); }) {}
    ~WindowWaiter() {
        stop_ = true;
        thread_.join();
    }
    WindowWaiter(const WindowWaiter&) = delete;
    WindowWaiter& operator=(const WindowWaiter&) = delete;

    int Found() const { return found_; }

private:
    void Watch() {
        HWND last = nullptr;
        while (!stop_) {
            HWND window = ::FindWindowW(nullptr, title_.c_str());
            DWORD process = 0;
            if (window) ::GetWindowThreadProcessId(window, &process);
            if (window && window != last && process == ::GetCurrentProcessId() && ::IsWindowVisible(window)) {
                last = window;
                ++found_;
                act_(window);
            }
            std::this_thread::sleep_for(20ms);
        }
    }

    std::wstring title_;
    std::function<void(HWND)> act_;
    std::atomic<bool> stop_{false};
    std::atomic<int> found_{0};
    std::thread thread_;  // last: it uses the members above
};

// --- The controller on the real main window ---

class ControllerOnWindowTest : public ::testing::Test {
protected:
    ControllerOnWindowTest() {
        window.SetDirectoryChangeHandler([this](WPARAM index, LPARAM run) { watcher.HandOver(index, run); });
    }
    ~ControllerOnWindowTest() override {
        window.SetController(nullptr);
        main.reset();
        TakeQuit();
    }

    // Runs the whole start-up, as the program entry does, and only then introduces the controller
    // to its window.
    void Start() {
        main = std::make_unique<TfmMain>(TMainServices{
            accounts,
            accounts,
            SystemVolumeQuery(),
            SystemDeviceEject(),
            SystemEjectBlockers(),
            system,
            services,
            DefaultWebSystem(),
            window,
            window.Settings(),
            window.Dialogs(),
            window.Desktop(),
            window,
            watcher,
            [this] { return std::make_unique<TVolumeObserver>([this](std::exception_ptr e) { errors.push_back(e); }); },
            [this] { return settingsFile; },
            [] { return CreateHttpClient(); },
            [](std::function<void()>) {},
            [this](std::exception_ptr e) { errors.push_back(e); },
            u"C:\\windows",
        });
        window.SetController(main.get());
    }

    TApplicationSettings Stored() const {
        TApplicationSettings stored(settingsFile);
        stored.Load();
        return stored;
    }

    dv::testing::TempFolder folder;
    std::u16string settingsFile = folder.File(u"Settings.ini");
    TSimAccounts accounts;
    TWinSystemHost system;
    TWinServiceControl services;
    TMainWindow window;
    TWinDirectoryWatcher watcher{window.Handle(), kDirectoryChangeMessage};
    std::vector<std::exception_ptr> errors;
    std::unique_ptr<TfmMain> main;
};

TEST_F(ControllerOnWindowTest, FirstStartOnADomainMemberAsksForTheDomainUserThenExitEndsTheLoop) {
    accounts.JoinStatus = 3;  // NetSetupDomainName
    std::atomic<bool> startUpDone{false};
    std::atomic<bool> shownDuringStartUp{false};
    {
        // The user enters the domain account and leaves with Cancel, which stores it all the same.
        WindowWaiter user(L"Dockvane in domain user name settings", [&](HWND dialog) {
            shownDuringStartUp = !startUpDone;
            ::SetDlgItemTextW(dialog, IDC_DOMAIN_USER_NAME, L"CORP\\backup");
            ::SetDlgItemTextW(dialog, IDC_DOMAIN_PASSWORD, L"Secret1");
            ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        Start();
        startUpDone = true;
        EXPECT_EQ(user.Found(), 1);
    }
    EXPECT_TRUE(shownDuringStartUp);
    EXPECT_TRUE(errors.empty());
    EXPECT_FALSE(main->Initializing());  // the start-up ran to its end

    const TApplicationSettings stored = Stored();
    EXPECT_EQ(stored.FIsInDomain, 1);
    EXPECT_EQ(stored.FDefaultShareUserName, u"CORP\\backup");
    EXPECT_EQ(main->UserManager().MakePassword(stored.FPasswordSalt), u"Secret1");
    // The shares go to the domain account: no local master account.
    EXPECT_EQ(accounts.FindAccount(u"dockvane"), nullptr);
    EXPECT_EQ(window.MenuTexts(TPopupMenu::Tray).back(), u"Set Domain User Name");

    // Exit from the tray menu ends the message loop with exit code 0.
    const Watchdog stuck = QuitAfter(20s);
    ::PostMessageW(window.Handle(), WM_COMMAND, kCmdExit, 0);
    EXPECT_EQ(window.RunMessageLoop(), 0);
}

TEST_F(ControllerOnWindowTest, SettingsCommandWhileTheWindowIsOpenKeepsWhatTheUserChose) {
    Start();
    ASSERT_TRUE(errors.empty());
    const HWND settings = window.SettingsWindow().Handle();
    ::SendMessageW(window.Handle(), WM_COMMAND, kCmdSettings, 0);
    ASSERT_TRUE(::IsWindowVisible(settings));
    ASSERT_EQ(window.Settings().SelectedSound(TSoundBox::Available), 1);  // the built-in sound, as stored

    // The user picks "Silent" and, before pressing OK, chooses Settings in the tray menu again.
    window.Settings().SelectSound(TSoundBox::Available, 0);
    ::SendMessageW(window.Handle(), WM_COMMAND, kCmdSettings, 0);
    EXPECT_TRUE(::IsWindowVisible(settings));
    EXPECT_EQ(window.Settings().SelectedSound(TSoundBox::Available), 0);
    window.Settings().HideSettingsWindow();
}

// --- The AutoPlay dialog, created once and reused ---

struct AutoPlayProbe {
    TMainWindow* window = nullptr;
    bool secondReturned = false;
    bool firstOpenAfterSecond = false;
};
AutoPlayProbe* probe = nullptr;

TEST(WinMainWindowDialogs, AutoPlayRequestedAgainWhileOpenDoesNothingAndTheFirstStaysClosable) {
    TMainWindow window;
    AutoPlayProbe state{&window};
    probe = &state;
    // A second dialog for the same object, should one come up, is closed as a user would.
    WindowWaiter second(L"OTHER (F:)", [](HWND dialog) { ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); });
    {
        const Watchdog stuck = QuitAfter(20s);
        // Inside the first dialog's modal loop: a second request (another drive arrives), then the
        // user closes the first dialog.
        ::SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR timer, DWORD) {
            HWND first = ::FindWindowW(nullptr, L"BACKUP (E:)");
            if (!first) return;
            ::KillTimer(nullptr, timer);
            probe->window->Dialogs().ShowAutoPlayDialog(u'F', u"OTHER (F:)");
            probe->secondReturned = true;
            probe->firstOpenAfterSecond = ::IsWindow(first) != FALSE;
            ::PostMessageW(first, WM_COMMAND, IDCANCEL, 0);
        });
        window.Dialogs().ShowAutoPlayDialog(u'E', u"BACKUP (E:)");
        EXPECT_FALSE(TakeQuit()) << "the first dialog could not be closed";
    }
    EXPECT_TRUE(state.secondReturned);
    EXPECT_TRUE(state.firstOpenAfterSecond);
    EXPECT_EQ(second.Found(), 0);
    EXPECT_EQ(::FindWindowW(nullptr, L"BACKUP (E:)"), nullptr);
    probe = nullptr;

    // Closed, the dialog comes up again for the next drive.
    bool shownAgain = false;
    WindowWaiter next(L"NEXT (G:)", [&](HWND dialog) {
        shownAgain = true;
        ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    const Watchdog stuck = QuitAfter(20s);
    window.Dialogs().ShowAutoPlayDialog(u'G', u"NEXT (G:)");
    EXPECT_FALSE(TakeQuit());
    EXPECT_TRUE(shownAgain);
}

}  // namespace
}  // namespace dv
