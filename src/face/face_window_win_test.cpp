// The face under Wine against a scripted engine on a real pipe: what its menus list, the balloons it
// shows, the grey icon while the engine is away and the reconnection, the requests it sends, and the
// commands a standard user's face offers. Every test has a pipe name of its own.
#include "platform/windows_include.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "face/face_window_win.h"
#include "platform/text.h"
#include "remote/pipe_server_win.h"
#include "remote/protocol.h"
#include "resources/resource_ids.h"
#include "shell/app_messages_win.h"

namespace dv::face {
namespace {

using namespace std::chrono_literals;
using remote::TMessage;

// A hang guard, never a measure of speed.
constexpr auto kPatience = 10s;
// How long the face waits before it looks for an engine again, kept short for the tests.
constexpr auto kRetry = 100ms;

std::wstring UniquePipeName() {
    static std::atomic<int> counter{0};
    return L"\\\\.\\pipe\\DockvaneFaceTest-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter);
}

remote::TStatus StatusWithE() {
    remote::TStatus status;
    status.Drives.push_back(remote::TDriveStatus{TDriveLetter(u'E'), remote::TDriveState::Shared, u"BACKUP", u"15 Gb",
                                                 u"backup", u"dockvane"});
    status.Accounts = {u"dockvane"};
    status.DefaultAccount = u"dockvane";
    return status;
}

// Answers the status with E: shared and everything else with ok, and records what it was asked.
class ScriptedEngine {
public:
    explicit ScriptedEngine(std::wstring name) : name_(std::move(name)) { Start(); }

    void Start() {
        server_ = std::make_unique<remote::TPipeServer>(
            name_, remote::TPipeServerHandlers{[this](remote::TConnectionId id, const remote::TCaller&,
                                                      std::string payload) { OnPayload(id, payload); },
                                               {}});
    }
    void Stop() { server_.reset(); }
    // The engine's own waits (the 3 s before an unshared drive is ejected, a refused eject): its
    // answer to an eject comes this much later, while the server's thread is held.
    void DelayEjectReplies(std::chrono::milliseconds delay) { ejectDelay_ = delay; }
    // A balloon right behind each drive's settings.
    void BalloonAfterDriveSettings() { balloonAfterDriveSettings_ = true; }
    void Broadcast(const TMessage& report) { server_->Broadcast(report); }
    bool HasSubscribers() const { return server_ && server_->HasSubscribers(); }

    std::vector<remote::TBody> Asked() {
        const std::lock_guard lock(mutex_);
        return asked_;
    }
    void ForgetAsked() {
        const std::lock_guard lock(mutex_);
        asked_.clear();
    }

private:
    void OnPayload(remote::TConnectionId id, const std::string& payload) {
        const remote::TDecoded decoded = remote::Decode(payload, remote::TReader::Engine);
        if (!decoded.Message) return;
        const TMessage& request = *decoded.Message;
        if (request.Kind() == remote::TKind::Subscribe) server_->Subscribe(id);
        if (request.Kind() == remote::TKind::EjectDrive) {
            std::this_thread::sleep_for(ejectDelay_);
            server_->Broadcast(TMessage{0, remote::TBalloon{remote::TBalloonIcon::Warning, u"E: refused"}});
        }
        if (request.Kind() == remote::TKind::GetStatus) {
            server_->Send(id, TMessage{request.Id, StatusWithE()});
        } else if (const auto* drive = std::get_if<remote::TGetDriveSettings>(&request.Body)) {
            server_->Send(id, TMessage{request.Id, remote::TDriveSettings{drive->Letter, true, u"BACKUP", u"backup",
                                                                          u"Nightly", u"dockvane", true, false}});
            if (balloonAfterDriveSettings_) {
                server_->Broadcast(TMessage{0, remote::TBalloon{remote::TBalloonIcon::Information, u"after"}});
            }
        } else if (const auto* password = std::get_if<remote::TGetPassword>(&request.Body)) {
            server_->Send(id, TMessage{request.Id, remote::TPassword{password->Account, u"master-pw"}});
        } else {
            server_->Send(id, TMessage{request.Id, remote::TOk{}});
        }
        const std::lock_guard lock(mutex_);
        asked_.push_back(request.Body);
    }

    std::wstring name_;
    std::mutex mutex_;
    std::vector<remote::TBody> asked_;
    std::chrono::milliseconds ejectDelay_{0};
    std::atomic<bool> balloonAfterDriveSettings_{false};
    std::unique_ptr<remote::TPipeServer> server_;
};

// Runs this thread's messages until `done` holds or the patience is over.
bool PumpUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        MSG message{};
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

bool Lists(const std::vector<TTrayMenu::Entry>& entries, std::u16string_view text, bool enabled = true) {
    for (const TTrayMenu::Entry& entry : entries) {
        if (entry.text == text) return entry.enabled == enabled;
    }
    return false;
}

struct Balloon {
    std::wstring text;
    DWORD flags;
};

// A face on the engine's pipe, with what it tells the notification area recorded.
struct FaceFixture {
    explicit FaceFixture(const std::wstring& pipe, TChangeRight right = TChangeRight::Direct) {
        TFaceOptions options;
        options.PipeName = pipe;
        options.RetryInterval = kRetry;
        options.Right = right;
        options.Notify = [this](DWORD message, NOTIFYICONDATAW& data) {
            if (message == NIM_MODIFY && (data.uFlags & NIF_INFO)) balloons.push_back({data.szInfo, data.dwInfoFlags});
            return TRUE;
        };
        options.RunElevated = [this](std::u16string_view arguments) {
            elevated.emplace_back(arguments);
            return true;
        };
        options.RunElevatedWithPassword = [this](std::u16string_view arguments, std::u16string_view password) {
            elevated.emplace_back(std::u16string(arguments) + u" <" + std::u16string(password) + u">");
            return true;
        };
        options.ShowBox = [this](const TShownBox& box) { boxes.push_back(box); };
        face = std::make_unique<TFaceWindow>(std::move(options));
    }

    bool Connected() {
        return PumpUntil([this] { return face->Model().Connected() && face->Model().Status(); });
    }

    std::vector<Balloon> balloons;
    std::vector<std::u16string> elevated;
    std::vector<TShownBox> boxes;
    std::unique_ptr<TFaceWindow> face;
};

TEST(WinFace, ListsTheStatusDrivesAndShowsTheEnginesBalloons) {
    const std::wstring pipe = UniquePipeName();
    ScriptedEngine engine(pipe);
    FaceFixture fixture(pipe);
    ASSERT_TRUE(fixture.Connected());
    TFaceWindow& face = *fixture.face;

    EXPECT_TRUE(Lists(face.MenuEntries(TPopupMenu::Eject), u"Eject: BACKUP (E:) - 15 Gb"));
    const auto tray = face.MenuEntries(TPopupMenu::Tray);
    bool modify = false;
    for (const auto& entry : tray) modify |= entry.text.starts_with(u"Modify: BACKUP (E:) - 15 Gb | Sharing@ \\\\");
    EXPECT_TRUE(modify);
    EXPECT_TRUE(Lists(tray, u"Add:   [Connect External Drive first]", true));

    // Reports reach a face once it subscribed.
    ASSERT_TRUE(PumpUntil([&] { return engine.HasSubscribers(); }));
    engine.Broadcast(TMessage{0, remote::TBalloon{remote::TBalloonIcon::Warning, u"E: could not be ejected"}});
    engine.Broadcast(TMessage{0, remote::TTrayIcon{remote::TTrayImage::Available}});
    engine.Broadcast(TMessage{0, remote::TMessageBox{remote::TBoxIcon::Error, u"E: is in use"}});
    ASSERT_TRUE(PumpUntil([&] { return !fixture.boxes.empty(); }));
    ASSERT_EQ(fixture.balloons.size(), 1u);
    EXPECT_EQ(fixture.balloons[0].text, L"E: could not be ejected");
    EXPECT_EQ(fixture.balloons[0].flags & NIIF_WARNING, static_cast<DWORD>(NIIF_WARNING));
    EXPECT_EQ(face.TrayIcon().Image(), TTrayImage::Shared);
    EXPECT_EQ(fixture.boxes[0], (TShownBox{u"E: is in use", TMessageIcon::Error}));
}

TEST(WinFace, TurnsGreyWhileTheEngineIsAwayAndFindsTheNextOneByItself) {
    const std::wstring pipe = UniquePipeName();
    ScriptedEngine engine(pipe);
    FaceFixture fixture(pipe);
    ASSERT_TRUE(fixture.Connected());
    TFaceWindow& face = *fixture.face;
    EXPECT_EQ(face.TrayIcon().Tip(), u"Automatically share an USB drive on your network");

    engine.Stop();
    ASSERT_TRUE(PumpUntil([&] { return !face.Model().Connected(); }));
    EXPECT_EQ(face.TrayIcon().Image(), TTrayImage::NotRunning);
    EXPECT_EQ(face.TrayIcon().Tip(), u"Dockvane service is not running");
    // What the engine that went said is not shown as if it were still so.
    EXPECT_FALSE(Lists(face.MenuEntries(TPopupMenu::Eject), u"Eject: BACKUP (E:) - 15 Gb"));
    EXPECT_EQ(face.MenuEntries(TPopupMenu::Tray)[3].text, u"Add:   [Connect External Drive first]");

    engine.Start();
    ASSERT_TRUE(fixture.Connected());
    EXPECT_EQ(face.TrayIcon().Image(), TTrayImage::Idle);
    EXPECT_EQ(face.TrayIcon().Tip(), u"Automatically share an USB drive on your network");
    EXPECT_TRUE(Lists(face.MenuEntries(TPopupMenu::Eject), u"Eject: BACKUP (E:) - 15 Gb"));
}

TEST(WinFace, EjectSendsTheDrivesLetterOrGoesThroughConsent) {
    struct Case {
        TChangeRight right;
        bool sent;
        std::vector<std::u16string> elevated;
    };
    const Case cases[] = {
        {TChangeRight::Direct, true, {}},
        {TChangeRight::Consent, false, {u"eject E"}},
        {TChangeRight::None, false, {}},
    };
    for (const Case& c : cases) {
        const std::wstring pipe = UniquePipeName();
        ScriptedEngine engine(pipe);
        FaceFixture fixture(pipe, c.right);
        ASSERT_TRUE(fixture.Connected());
        ASSERT_TRUE(PumpUntil([&] { return engine.HasSubscribers(); }));
        engine.ForgetAsked();
        fixture.face->RunCommand(kCmdEjectFirst);
        fixture.face->RunCommand(kCmdEjectFirst + 1);  // no drive in slot 1: nothing
        // The status that a changed menu makes the face ask for comes after whatever it sent before.
        engine.Broadcast(TMessage{0, remote::TMenuChanged{}});
        const auto askedStatus = [&] {
            for (const remote::TBody& body : engine.Asked()) {
                if (std::holds_alternative<remote::TGetStatus>(body)) return true;
            }
            return false;
        };
        ASSERT_TRUE(PumpUntil(askedStatus));
        std::vector<remote::TBody> expected;
        if (c.sent) expected.push_back(remote::TEjectDrive{TDriveLetter(u'E')});
        expected.push_back(remote::TGetStatus{});
        EXPECT_EQ(engine.Asked(), expected) << static_cast<int>(c.right);
        EXPECT_EQ(fixture.elevated, c.elevated);
    }
}

TEST(WinFace, AStandardUsersFaceShowsTheChangesDisabled) {
    const std::wstring pipe = UniquePipeName();
    ScriptedEngine engine(pipe);
    for (const TChangeRight right : {TChangeRight::None, TChangeRight::Consent}) {
        FaceFixture fixture(pipe, right);
        ASSERT_TRUE(fixture.Connected());
        const bool changes = right != TChangeRight::None;
        TFaceWindow& face = *fixture.face;
        EXPECT_TRUE(Lists(face.MenuEntries(TPopupMenu::Eject), u"Eject: BACKUP (E:) - 15 Gb", changes));
        const auto tray = face.MenuEntries(TPopupMenu::Tray);
        EXPECT_TRUE(Lists(tray, u"Add:   [Connect External Drive first]", changes));
        for (const auto& entry : tray) {
            if (entry.text.starts_with(u"Modify:")) {
                EXPECT_EQ(entry.enabled, changes);
            }
        }
        for (const std::u16string_view open : {u"Settings", u"Help", u"About", u"Exit"}) {
            EXPECT_TRUE(Lists(tray, open, true)) << ToUtf8(open);
        }
        // The settings window: the sounds are the person's own, the engine's settings are not.
        face.RunCommand(kCmdSettings);
        TSettingsWindow& settings = face.SettingsWindow();
        EXPECT_TRUE(settings.Visible());
        EXPECT_TRUE(::IsWindowEnabled(settings.Control(IDC_SETTINGS_SOUND_AVAILABLE)));
        for (const int id : {IDC_SETTINGS_RENEW_PASSWORD, IDC_SETTINGS_AUTOPLAY, IDC_SETTINGS_AUTOSTART}) {
            EXPECT_EQ(::IsWindowEnabled(settings.Control(id)) != FALSE, changes) << id;
        }
        settings.View().HideSettingsWindow();
        if (changes) continue;
        // Chosen anyway (a menu that was enabled a moment ago): nothing is asked, nothing elevated.
        engine.ForgetAsked();
        for (const UINT command : {kCmdModifyFirst, kCmdAdd, kCmdDomainUser, kCmdEjectFirst}) {
            face.RunCommand(command);
        }
        ASSERT_TRUE(PumpUntil([&] { return engine.HasSubscribers(); }));
        engine.Broadcast(TMessage{0, remote::TMenuChanged{}});
        ASSERT_TRUE(PumpUntil([&] { return !engine.Asked().empty(); }));
        EXPECT_EQ(engine.Asked(), std::vector<remote::TBody>{remote::TGetStatus{}});
        EXPECT_TRUE(fixture.elevated.empty());
    }
}

// The face's thread never waits for the engine: while the engine takes its time over an eject, a
// WM_NULL sent to the face every 50 ms is answered within the 100 ms the face may stall at most.
// Run by hand (--gtest_also_run_disabled_tests): a timed measurement, not a check for the suite. The
// test's thread is the face's: it goes on pumping until the prober has stopped, since a WM_NULL sent
// while it waited in join() would go unanswered until SendMessageTimeoutW gave up, and count as a
// stall of the face's own.
TEST(WinFace, DISABLED_StaysResponsiveWhileTheEngineTakesItsTimeOverAnEject) {
    const std::wstring pipe = UniquePipeName();
    ScriptedEngine engine(pipe);
    FaceFixture fixture(pipe);
    ASSERT_TRUE(fixture.Connected());
    ASSERT_TRUE(PumpUntil([&] { return engine.HasSubscribers(); }));
    engine.DelayEjectReplies(1500ms);

    const HWND window = fixture.face->Handle();
    std::atomic<bool> done{false};
    std::atomic<bool> stopped{false};
    std::atomic<long long> longest{0};
    std::thread prober([&] {
        while (!done) {
            const auto sent = std::chrono::steady_clock::now();
            DWORD_PTR result = 0;
            ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
            const auto took =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent).count();
            if (took > longest) longest = took;
            std::this_thread::sleep_for(50ms);
        }
        stopped = true;
    });
    fixture.face->RunCommand(kCmdEjectFirst);
    const bool balloon = PumpUntil([&] { return !fixture.balloons.empty(); });
    done = true;
    (void)PumpUntil([&] { return stopped.load(); });
    prober.join();
    ASSERT_TRUE(balloon);
    RecordProperty("LongestStallMs", static_cast<int>(longest.load()));
    std::printf("longest stall: %lld ms\n", longest.load());
    EXPECT_LT(longest.load(), 100);
}

// The windows of this thread with `title`: the dialogs a face opened.
std::vector<HWND> WindowsTitled(const std::wstring& title) {
    struct Search {
        std::wstring title;
        std::vector<HWND> found;
    } search{title, {}};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM context) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(context);
            wchar_t text[256] = {};
            ::GetWindowTextW(window, text, 256);
            if (s.title == text && ::IsWindowVisible(window)) s.found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Runs `step` every 50 ms on this thread, also inside the modal loop of a dialog the face opened, for
// as long as the object lives.
class ThreadTicker {
public:
    explicit ThreadTicker(std::function<void()> step) {
        Step() = std::move(step);
        timer_ = ::SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
            if (Step()) Step()();
        });
    }
    ~ThreadTicker() {
        ::KillTimer(nullptr, timer_);
        Step() = nullptr;
    }

private:
    static std::function<void()>& Step() {
        static std::function<void()> step;
        return step;
    }
    UINT_PTR timer_ = 0;
};

std::wstring ItemText(HWND dialog, int id) {
    wchar_t text[512] = {};
    ::GetDlgItemTextW(dialog, id, text, 512);
    return text;
}

// Modify opens the drive settings dialog with what the engine answered; its Update sends the change
// made there, or starts the elevated cli with it.
TEST(WinFace, ModifySendsTheChangeMadeInTheDialog) {
    const struct {
        TChangeRight right;
        bool sent;
        std::vector<std::u16string> elevated;
        std::wstring password;  // what the dialog shows
    } cases[] = {
        {TChangeRight::Direct, true, {}, L"master-pw"},
        {TChangeRight::Consent,
         false,
         {u"drive-settings E --share-name EAST2 --description \"Nightly \\\"full\\\" backup\" --account dockvane "
          u"--volume-label BACKUP --auto-remove"},
         L""},
    };
    for (const auto& c : cases) {
        const std::wstring pipe = UniquePipeName();
        ScriptedEngine engine(pipe);
        FaceFixture fixture(pipe, c.right);
        ASSERT_TRUE(fixture.Connected());
        std::wstring shownShare, shownPassword;
        int dialogsSeen = 0;
        bool closed = false;
        ThreadTicker ticker([&] {
            const std::vector<HWND> dialogs = WindowsTitled(L"Drive Settings");
            if (dialogs.empty()) return;
            ++dialogsSeen;
            const HWND dialog = dialogs.front();
            shownShare = ItemText(dialog, IDC_SHARE_NAME);
            shownPassword = ItemText(dialog, IDC_SHARE_PASSWORD);
            ::SetDlgItemTextW(dialog, IDC_SHARE_NAME, L"EAST2");
            ::SetDlgItemTextW(dialog, IDC_SHARE_DESCRIPTION, L"Nightly \"full\" backup");
            ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_UPDATE, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDC_UPDATE)));
            closed = true;
        });
        engine.ForgetAsked();
        fixture.face->RunCommand(kCmdModifyFirst);
        // A second Modify while the first is asked for or open is ignored.
        fixture.face->RunCommand(kCmdModifyFirst);
        ASSERT_TRUE(PumpUntil([&] { return closed && WindowsTitled(L"Drive Settings").empty(); }));
        EXPECT_EQ(dialogsSeen, 1);
        EXPECT_EQ(shownShare, L"backup");
        EXPECT_EQ(shownPassword, c.password);
        const remote::TBody change = remote::TChangeDriveSettings{
            TDriveLetter(u'E'), u"EAST2", u"Nightly \"full\" backup", u"dockvane", true, false, u"BACKUP"};
        if (c.sent) {
            ASSERT_TRUE(PumpUntil([&] {
                const auto asked = engine.Asked();
                return std::find(asked.begin(), asked.end(), change) != asked.end();
            }));
        } else {
            for (const remote::TBody& body : engine.Asked()) {
                EXPECT_FALSE(std::holds_alternative<remote::TChangeDriveSettings>(body));
            }
        }
        EXPECT_EQ(fixture.elevated, c.elevated);
    }
}

// What came behind the answer that opens a dialog is handled before the dialog opens, not after it
// closed: the dialog's own loop handles the news that come while it is open, and those are newer.
TEST(WinFace, NewsBehindTheLastAnswerAreHandledBeforeTheDialogOpens) {
    const std::wstring pipe = UniquePipeName();
    ScriptedEngine engine(pipe);
    engine.BalloonAfterDriveSettings();
    FaceFixture fixture(pipe);
    ASSERT_TRUE(fixture.Connected());
    ASSERT_TRUE(PumpUntil([&] { return engine.HasSubscribers(); }));
    std::optional<std::size_t> balloonsWhenOpen;
    ThreadTicker ticker([&] {
        const std::vector<HWND> dialogs = WindowsTitled(L"Drive Settings");
        if (dialogs.empty() || balloonsWhenOpen) return;
        balloonsWhenOpen = fixture.balloons.size();
        ::SendMessageW(dialogs.front(), WM_COMMAND, IDCANCEL, 0);
    });
    engine.ForgetAsked();
    fixture.face->RunCommand(kCmdModifyFirst);
    // The answer and the balloon behind it arrive before the face looks at its news again, so that
    // both are handled as one batch.
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (engine.Asked().empty() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(PumpUntil([&] { return balloonsWhenOpen && WindowsTitled(L"Drive Settings").empty(); }));
    EXPECT_EQ(balloonsWhenOpen, 1u);
}

// The engine's domain-user report opens the domain user dialog with the account the engine uses; its
// OK sends the account typed there, through consent with the password beside the arguments.
TEST(WinFace, TheDomainUserReportOpensTheDialogWhoseOkSendsTheAccount) {
    const struct {
        TChangeRight right;
        bool sent;
        std::vector<std::u16string> elevated;
        std::wstring password;  // what the dialog shows
    } cases[] = {
        {TChangeRight::Direct, true, {}, L"master-pw"},
        {TChangeRight::Consent, false, {u"domain-user \"OFFICE\\back up\" <s3cret pw>"}, L""},
    };
    for (const auto& c : cases) {
        const std::wstring pipe = UniquePipeName();
        ScriptedEngine engine(pipe);
        FaceFixture fixture(pipe, c.right);
        ASSERT_TRUE(fixture.Connected());
        ASSERT_TRUE(PumpUntil([&] { return engine.HasSubscribers(); }));
        std::wstring shownUser, shownPassword;
        bool closed = false;
        ThreadTicker ticker([&] {
            const std::vector<HWND> dialogs = WindowsTitled(L"Dockvane in domain user name settings");
            if (dialogs.empty() || closed) return;
            const HWND dialog = dialogs.front();
            shownUser = ItemText(dialog, IDC_DOMAIN_USER_NAME);
            shownPassword = ItemText(dialog, IDC_DOMAIN_PASSWORD);
            ::SetDlgItemTextW(dialog, IDC_DOMAIN_USER_NAME, L"OFFICE\\back up");
            ::SetDlgItemTextW(dialog, IDC_DOMAIN_PASSWORD, L"s3cret pw");
            ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            closed = true;
        });
        engine.Broadcast(TMessage{0, remote::TDomainUser{}});
        ASSERT_TRUE(
            PumpUntil([&] { return closed && WindowsTitled(L"Dockvane in domain user name settings").empty(); }));
        EXPECT_EQ(shownUser, L"dockvane");
        EXPECT_EQ(shownPassword, c.password);
        const remote::TBody change = remote::TSetDomainUser{u"OFFICE\\back up", u"s3cret pw"};
        if (c.sent) {
            ASSERT_TRUE(PumpUntil([&] {
                const auto asked = engine.Asked();
                return std::find(asked.begin(), asked.end(), change) != asked.end();
            }));
        }
        EXPECT_EQ(fixture.elevated, c.elevated);
    }
}

// The engine's auto-play report opens the AutoPlay dialog with its caption; another one while it is
// open opens no second dialog.
TEST(WinFace, TheAutoPlayReportOpensTheDialogOnce) {
    const std::wstring pipe = UniquePipeName();
    ScriptedEngine engine(pipe);
    FaceFixture fixture(pipe);
    ASSERT_TRUE(fixture.Connected());
    ASSERT_TRUE(PumpUntil([&] { return engine.HasSubscribers(); }));
    const TMessage report{0, remote::TAutoPlay{TDriveLetter(u'G'), u"STICK (G:)"}};
    std::size_t most = 0;
    int step = 0;
    ThreadTicker ticker([&] {
        const std::vector<HWND> dialogs = WindowsTitled(L"STICK (G:)");
        most = std::max(most, dialogs.size());
        if (step == 0 && !dialogs.empty()) {
            // The same drive once more, then a balloon: once the balloon shows, the report before it
            // was handled.
            engine.Broadcast(report);
            engine.Broadcast(TMessage{0, remote::TBalloon{remote::TBalloonIcon::Information, u"after"}});
            step = 1;
        } else if (step == 1 && !fixture.balloons.empty() && !dialogs.empty()) {
            ::SendMessageW(dialogs.front(), WM_COMMAND, IDCANCEL, 0);
            step = 2;
        }
    });
    engine.Broadcast(report);
    ASSERT_TRUE(PumpUntil([&] { return step == 2 && WindowsTitled(L"STICK (G:)").empty(); }));
    EXPECT_EQ(most, 1u);
}

// What Wine's token says of the face's process, for the report; the decision is tested natively.
TEST(WinFace, WhatTheTokenSaysUnderWine) {
    const TFaceToken token = ReadFaceToken();
    RecordProperty("AdministratorsEnabled", token.AdministratorsEnabled);
    RecordProperty("Elevated", token.Elevated);
    RecordProperty("ElevationAvailable", token.ElevationAvailable);
    std::printf("face token: administrators %d, elevated %d, elevation available %d\n", token.AdministratorsEnabled,
                token.Elevated, token.ElevationAvailable);
}

}  // namespace
}  // namespace dv::face
