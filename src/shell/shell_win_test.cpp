// The controller's Windows side: the program entry as a real process, the tray icon and the
// directory watcher.
#include "platform/windows_include.h"

#include <shellapi.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "drives/plugged_drives_sim_win.h"
#include "logging/logs.h"
#include "platform/files.h"
#include "platform/handles_win.h"
#include "platform/text.h"
#include "platform/windows_include.h"
#include "resources/resource_ids.h"
#include "settings/app_settings.h"
#include "shell/app_messages_win.h"
#include "shell/main_window_win.h"
#include "shell/program_entry.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

using Clock = std::chrono::steady_clock;

// Pumps this thread's messages until `done` or the time is up.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        ::Sleep(10);
    }
    return true;
}

// --- The program entry, as a process of its own ---

// The tray with the engine in its own process, the program these checks belong to.
std::wstring TrayExe() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring exe(path);
    return exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"DockvaneTray.exe";
}

struct Child {
    UniqueKernelHandle process;
    DWORD id = 0;
};

Child Launch(const std::wstring& exe = TrayExe()) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring command = L"\"" + exe + L"\"";
    EXPECT_TRUE(
        ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    ::CloseHandle(info.hThread);
    return {UniqueKernelHandle(info.hProcess), info.dwProcessId};
}

// The tray copied into `folder` beside the stand-in network-management library and started there:
// simulation mode shares through that library. Wine prefers it only when WINEDLLOVERRIDES names it
// native first in the environment this test program was started with (ctest does), not when it is
// set from inside.
Child LaunchBesideTheStandIn(const testing::TempFolder& folder) {
    const std::wstring build = TrayExe().substr(0, TrayExe().find_last_of(L"\\/") + 1);
    const std::wstring here = ToWide(folder.Path()) + L"\\";
    EXPECT_TRUE(::CopyFileW(TrayExe().c_str(), (here + L"DockvaneTray.exe").c_str(), FALSE));
    EXPECT_TRUE(::CopyFileW((build + L"..\\tests\\standins\\netapi32\\netapi32.dll").c_str(),
                            (here + L"netapi32.dll").c_str(), FALSE));
    return Launch(here + L"DockvaneTray.exe");
}

// The message box the process shows, once it is there.
HWND FindMessageBox(DWORD processId, std::chrono::milliseconds limit) {
    struct Search {
        DWORD processId;
        HWND found = nullptr;
    } search{processId};
    PumpUntil(
        [&] {
            ::EnumWindows(
                [](HWND window, LPARAM parameter) -> BOOL {
                    auto* s = reinterpret_cast<Search*>(parameter);
                    DWORD owner = 0;
                    ::GetWindowThreadProcessId(window, &owner);
                    wchar_t className[32] = {};
                    ::GetClassNameW(window, className, 32);
                    if (owner == s->processId && ::IsWindowVisible(window) && std::wstring(className) == L"#32770") {
                        s->found = window;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        limit);
    return search.found;
}

std::u16string MessageText(HWND box) {
    wchar_t text[1024] = {};
    ::GetDlgItemTextW(box, 0xFFFF, text, 1024);
    return FromWide(text);
}

void Press(HWND box, int button) {
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, button)));
}

DWORD ExitCodeAfter(const Child& child, DWORD milliseconds) {
    if (::WaitForSingleObject(child.process.get(), milliseconds) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = 0;
    ::GetExitCodeProcess(child.process.get(), &code);
    return code;
}

void SetForceGuest(std::optional<DWORD> value) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Lsa", 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const UniqueRegistryKey owned(key);
    if (value) {
        ::RegSetValueExW(key, L"forceguest", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&*value), sizeof(DWORD));
    } else {
        ::RegDeleteValueW(key, L"forceguest");
    }
}

std::optional<DWORD> ForceGuest() {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Lsa", L"forceguest", RRF_RT_DWORD,
                       nullptr, &value, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

// One test, run in sequence: instances of the product must not meet each other's mutex.
TEST(WinProgramEntry, ChecksRunInOrderWithTheirTextsAndExitCodes) {
    const std::optional<DWORD> saved = ForceGuest();

    // A second instance: only the notice, exit code 0, and the sharing value is not asked about.
    {
        SetForceGuest(1);
        const UniqueKernelHandle mutex(::CreateMutexW(nullptr, FALSE, L"VelmoraMutex"));
        const Child child = Launch();
        const HWND box = FindMessageBox(child.id, std::chrono::seconds(60));
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(MessageText(box), u"Dockvane\u2122 is already running.");
        Press(box, IDOK);
        EXPECT_EQ(ExitCodeAfter(child, 30000), 0u);
        EXPECT_EQ(ForceGuest(), 1u);
    }

    // Simple sharing, declined: the process ends and the value stays.
    {
        SetForceGuest(1);
        const Child child = Launch();
        const HWND box = FindMessageBox(child.id, std::chrono::seconds(60));
        ASSERT_NE(box, nullptr);
        EXPECT_NE(MessageText(box).find(u"Do you now want to switch Windows into full network sharing?"),
                  std::u16string::npos);
        Press(box, IDNO);
        EXPECT_EQ(ExitCodeAfter(child, 30000), 0u);
        EXPECT_EQ(ForceGuest(), 1u);
    }

    // Simple sharing, switched: the value is 0 and the application runs on without another question.
    {
        SetForceGuest(1);
        const Child child = Launch();
        const HWND box = FindMessageBox(child.id, std::chrono::seconds(60));
        ASSERT_NE(box, nullptr);
        Press(box, IDYES);
        PumpUntil([] { return ForceGuest() == 0u; }, std::chrono::seconds(30));
        EXPECT_EQ(ForceGuest(), 0u);
        EXPECT_EQ(ExitCodeAfter(child, 3000), STILL_ACTIVE);
        EXPECT_EQ(FindMessageBox(child.id, std::chrono::milliseconds(500)), nullptr);
        ::TerminateProcess(child.process.get(), 0);
        ::WaitForSingleObject(child.process.get(), 30000);
    }

    // Values 0 and 2 are full sharing: no question. The application starts: settings with a new
    // salt, the log's start line and the AutoPlay policy.
    for (const DWORD value : {0u, 2u}) {
        SetForceGuest(value);
        const std::u16string settings = GetSettingsFileName();
        SetAppLogFolder(u"");  // finding the settings pointed this process's log there too
        const std::u16string log = fs::GetCommonAppDataFolder() + u"\\Dockvane\\Velmora.log";
        (void)fs::RemoveFile(settings);
        (void)fs::RemoveFile(log);
        const Child child = Launch();
        EXPECT_EQ(FindMessageBox(child.id, std::chrono::seconds(5)), nullptr) << value;
        PumpUntil([&] { return fs::FileExists(settings) && fs::FileExists(log); }, std::chrono::seconds(30));
        TApplicationSettings stored(settings);
        stored.Load();
        EXPECT_EQ(stored.FPasswordSalt.size(), 32u);
        const auto lines = fs::ReadTextLines(log);
        ASSERT_TRUE(lines && lines->size() >= 2);
        EXPECT_TRUE((*lines)[1].ends_with(u"]Error> Start> Dockvane\u2122"));
        DWORD policy = 0;
        DWORD size = sizeof policy;
        EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer",
                                 L"NoDriveTypeAutoRun", RRF_RT_DWORD, nullptr, &policy, &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(ExitCodeAfter(child, 0), STILL_ACTIVE);
        ::TerminateProcess(child.process.get(), 0);
        ::WaitForSingleObject(child.process.get(), 30000);
        EXPECT_EQ(ForceGuest(), value);
    }

    SetForceGuest(saved);
}

// --- Exit while a worker waits ---

// A server on 127.0.0.1 that accepts connections and never answers.
class SilentServer {
public:
    SilentServer() {
        WSADATA data{};
        started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
        listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(listener_, 4) == 0 &&
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~SilentServer() {
        if (accepted_ != INVALID_SOCKET) ::closesocket(accepted_);
        if (listener_ != INVALID_SOCKET) ::closesocket(listener_);
        if (started_) ::WSACleanup();
    }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    int Port() const { return port_; }
    // Whether a client connected within the time.
    bool Accept(std::chrono::seconds limit) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener_, &readable);
        timeval wait{static_cast<long>(limit.count()), 0};
        if (::select(0, &readable, nullptr, nullptr, &wait) != 1) return false;
        accepted_ = ::accept(listener_, nullptr, nullptr);
        return accepted_ != INVALID_SOCKET;
    }

private:
    bool started_ = false;
    SOCKET listener_ = INVALID_SOCKET;
    SOCKET accepted_ = INVALID_SOCKET;
    int port_ = 0;
};

HWND MainWindowOf(DWORD processId, std::chrono::milliseconds limit) {
    struct Search {
        DWORD processId;
        HWND found = nullptr;
    } search{processId};
    PumpUntil(
        [&] {
            ::EnumWindows(
                [](HWND window, LPARAM parameter) -> BOOL {
                    auto* s = reinterpret_cast<Search*>(parameter);
                    DWORD owner = 0;
                    ::GetWindowThreadProcessId(window, &owner);
                    wchar_t className[32] = {};
                    ::GetClassNameW(window, className, 32);
                    if (owner == s->processId && std::wstring(className) == L"DockvaneMainWindow") {
                        s->found = window;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        limit);
    return search.found;
}

char16_t FreeDriveLetter() {
    const DWORD used = ::GetLogicalDrives();
    for (char16_t candidate = u'W'; candidate >= u'M'; --candidate) {
        if ((used & (1u << (candidate - u'A'))) == 0) return candidate;
    }
    return 0;
}

// A drive whose address does not answer: its ping worker waits (for up to its time-out) while the
// user chooses Exit. The process ends at once, with exit code 0, without a crash.
TEST(WinProgramExit, ExitWhileAPingWaitsOnASilentServerEndsAtOnceWithCodeZero) {
    if (WineHostPathOf(u"C:\\").empty()) GTEST_SKIP() << "the simulation's drives need Wine";
    SilentServer server;
    ASSERT_NE(server.Port(), 0);
    testing::TempFolder simulation;
    testing::TempFolder drive;
    testing::WriteBytes(drive.path() / "velmora.conf", "[Share]\r\nShareName=silent\r\nPingURL1=http://127.0.0.1:" +
                                                           std::to_string(server.Port()) + "/ping\r\n");
    TSimDriveBay bay(simulation.Path());
    const char16_t letter = FreeDriveLetter();
    ASSERT_NE(letter, 0);
    bay.Plug(letter, FromUtf8(WineHostPathOf(drive.Path())));

    testing::TempFolder program;
    ::SetEnvironmentVariableW(L"DOCKVANE_SIMULATION", ToWide(simulation.Path()).c_str());
    const Child child = LaunchBesideTheStandIn(program);
    ::SetEnvironmentVariableW(L"DOCKVANE_SIMULATION", nullptr);

    // The start-up shares the drive and its ping worker calls the address.
    const bool pinged = server.Accept(std::chrono::seconds(60));
    EXPECT_TRUE(pinged);
    const HWND window = MainWindowOf(child.id, std::chrono::seconds(10));
    EXPECT_NE(window, nullptr);
    if (pinged && window) {
        ::PostMessageW(window, WM_COMMAND, kCmdExit, 0);
        // The worker's own time-out is 30 s: the process must not wait for it.
        EXPECT_EQ(ExitCodeAfter(child, 5000), 0u);
    }
    if (ExitCodeAfter(child, 0) == STILL_ACTIVE) {
        ::TerminateProcess(child.process.get(), 1);
        ::WaitForSingleObject(child.process.get(), 30000);
    }
    bay.Unplug(letter);
}

// --- The tray icon ---

bool TrayIconExists(HWND window) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = 1;
    data.uFlags = NIF_TIP;
    return ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

TEST(WinMainWindow, TrayIconIsAddedAndRemovedWithTheWindow) {
    HWND handle = nullptr;
    {
        TMainWindow window;
        handle = window.Handle();
        ASSERT_NE(handle, nullptr);
        EXPECT_TRUE(window.TrayIconAdded());
        EXPECT_TRUE(TrayIconExists(handle));
        EXPECT_FALSE(::IsWindowVisible(handle));

        window.SetAddCaption(u"Add:  F:(7 Gb)");
        window.SetMenuSlot(TMenuSlots::Modify, 0, u"Modify: BACKUP (E:) - 15 Gb | Sharing@ \\\\OFFICE\\backup", true);
        window.SetMenuSlot(TMenuSlots::Eject, 0, u"Eject: BACKUP (E:) - 15 Gb", true);
        window.SetDomainUserItemVisible(false);
        const std::vector<std::u16string> tray = window.MenuTexts(TPopupMenu::Tray);
        ASSERT_GE(tray.size(), 5u);
        EXPECT_EQ(tray[0], u"The easy way to promote External Storage drive on the LAN  ");
        EXPECT_EQ(tray[1], u"Host:");
        EXPECT_EQ(tray[3], u"Add:  F:(7 Gb)");
        EXPECT_EQ(tray[4], u"Modify: BACKUP (E:) - 15 Gb | Sharing@ \\\\OFFICE\\backup");
        EXPECT_EQ(tray.back(), u"Exit");
        const std::vector<std::u16string> eject = window.MenuTexts(TPopupMenu::Eject);
        EXPECT_EQ(eject, (std::vector<std::u16string>{u"Dockvane", u"Eject: BACKUP (E:) - 15 Gb"}));
    }
    EXPECT_FALSE(TrayIconExists(handle));
}

TEST(WinMainWindow, TimersTickOnTheWindowsThread) {
    TMainWindow window;
    window.SetTimerInterval(TTimer::Poll, 50);
    EXPECT_FALSE(window.TimerEnabled(TTimer::Poll));
    window.SetTimerEnabled(TTimer::Poll, true);
    EXPECT_TRUE(window.TimerEnabled(TTimer::Poll));
    window.SetTimerEnabled(TTimer::Poll, false);
    EXPECT_FALSE(window.TimerEnabled(TTimer::Poll));
}

// --- The settings window ---

std::u16string TextOf(HWND window) {
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    return FromWide(text);
}

TEST(WinMainWindow, SettingsWindowHasItsControlsInOrder) {
    TMainWindow window;
    TSettingsWindow& settings = window.SettingsWindow();
    HWND handle = settings.Handle();
    ASSERT_NE(handle, nullptr);
    EXPECT_FALSE(::IsWindowVisible(handle));
    EXPECT_EQ(TextOf(handle), u"Dockvane\u2122 Settings");
    // 384 x 341 pixels with the standard dialog font at 96 DPI; in dialog units, so that it grows
    // with the system's font and scaling.
    RECT expected{0, 0, 256, 210};
    ::MapDialogRect(handle, &expected);
    RECT client{};
    ::GetClientRect(handle, &client);
    EXPECT_EQ(client.right, expected.right);
    EXPECT_EQ(client.bottom, expected.bottom);
    const LONG style = ::GetWindowLongW(handle, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX | WS_THICKFRAME));
    EXPECT_TRUE(::GetWindowLongW(handle, GWL_EXSTYLE) & WS_EX_APPWINDOW);

    // Labels and buttons, top to bottom.
    std::vector<std::u16string> texts;
    for (HWND child = ::GetWindow(handle, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[32] = {};
        ::GetClassNameW(child, className, 32);
        if (std::wstring(className) != L"ComboBox") texts.push_back(TextOf(child));
    }
    EXPECT_EQ(texts, (std::vector<std::u16string>{
                         u"Sounds", u"Backup available", u"Play", u"Backup done", u"Play", u"Security",
                         u"Master password", u"Renew master password", u"Software Update", u"Check for new releases",
                         u"Show Auto-play dialog for External Storage Devices", u"Auto-play mode", u"Startup",
                         u"Start on logon", u"", u"OK", u"Cancel"}));

    // The AutoPlay choices; Cancel is the default button and comes after OK in the tab order.
    HWND autoPlay = settings.Control(IDC_SETTINGS_AUTOPLAY);
    ASSERT_EQ(::SendMessageW(autoPlay, CB_GETCOUNT, 0, 0), 3);
    wchar_t entry[64] = {};
    ::SendMessageW(autoPlay, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(entry));
    EXPECT_STREQ(entry, L"Disable for Dockvane disks");
    EXPECT_EQ(LOWORD(::SendMessageW(handle, DM_GETDEFID, 0, 0)), IDCANCEL);
    EXPECT_EQ(::GetNextDlgTabItem(handle, settings.Control(IDOK), FALSE), settings.Control(IDCANCEL));

    // The boxes the controller fills, as the controls show them.
    ISettingsView& view = window.Settings();
    view.SetSoundEntries(TSoundBox::Available, {u"Silent (no sound)", u"Defaut backup available sound", u"x.wav"});
    view.SelectSound(TSoundBox::Available, 2);
    EXPECT_EQ(view.SoundEntries(TSoundBox::Available).back(), u"x.wav");
    EXPECT_EQ(view.SelectedSound(TSoundBox::Available), 2);
    EXPECT_EQ(::SendMessageW(settings.Control(IDC_SETTINGS_SOUND_AVAILABLE), CB_GETCURSEL, 0, 0), 2);
    view.SetAutostartChecked(true);
    EXPECT_TRUE(view.AutostartChecked());
    EXPECT_EQ(::SendMessageW(settings.Control(IDC_SETTINGS_AUTOSTART), BM_GETCHECK, 0, 0), BST_CHECKED);
    view.SetAutoPlaySelection(1);
    EXPECT_EQ(::SendMessageW(autoPlay, CB_GETCURSEL, 0, 0), 1);
    view.SetAutoPlaySelection(-1);
    EXPECT_EQ(::SendMessageW(autoPlay, CB_GETCURSEL, 0, 0), CB_ERR);
}

}  // namespace
}  // namespace dv
