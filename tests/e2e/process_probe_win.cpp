// e2e_process_probe: what a running Dockvane holds, and its tray commands, for the end-to-end runs.
//   e2e_process_probe pid PID|NAME     pid=N, the Windows process id (what the stand-in library's
//                                      counts are named after)
//   e2e_process_probe stats PID|NAME   one line of KEY=VALUE: pid, threads, handles, gdi, user, private
//                                      (bytes), and for the last four how they were counted (*_via)
//   e2e_process_probe eject PID|NAME SLOT   the tray's "Eject:" item of that slot, as a click sends it
//   e2e_process_probe exit PID|NAME [MS]    the tray's Exit; waits up to MS (10000) for the process
//                                      and prints exit_code=N ms=N (exit code "running" if it did not end)
//   e2e_process_probe wait PID|NAME [MS]    waits up to MS (10000) for the process to end, as exit does
//                                      after its command (for a process someone else ends)
//   e2e_process_probe notices PID|NAME LETTER COUNT MS   COUNT removal notices of drive LETTER sent to
//                                      the volume observer's window within MS, from two threads at
//                                      once, as the system sends them; prints sent=N timed_out=N
// A NAME is an executable name (Dockvane.exe); the first process of that name is taken (for
// Dockvane.exe, DockvaneTray.exe when no process has that name). The tray's
// commands go to the old tray's main window or to a face's window, whichever the process has; its
// windows are looked for on every desktop of every window station (Wine runs a service in a window
// station of its own). UTF-8 on stdout, errors on stderr with exit code 1.
//
// Wine 8 keeps some of these figures to itself: GetProcessHandleCount answers 0, GetGuiResources is a
// stub and PrivateUsage stays 0. Then handles counts the process's entries in the system's handle
// list, gdi the live, non-stock entries of the process's GDI handle table (its address is in the
// process's PEB, as on Windows), user the process's windows on every desktop (top-level, child and
// message-only), which is where USER objects are lost in practice (menus, icons and hooks are not
// seen that way), and private is PagefileUsage (on Windows the same figure as PrivateUsage; Wine fills
// it with the anonymous resident memory and swap of the process).
#include "platform/windows_include.h"

#include <dbt.h>
#include <psapi.h>
#include <shellapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <functional>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "shell/app_messages_win.h"

namespace {

// The main window's class (the shell's window registers it), the face's, and the volume observer's.
constexpr wchar_t kMainWindowClass[] = L"DockvaneMainWindow";
constexpr wchar_t kFaceWindowClass[] = L"DockvaneFaceWindow";
constexpr wchar_t kObserverWindowClass[] = L"DockvaneVolumeObserver";

int Fail(const std::string& message) {
    std::cerr << "e2e_process_probe: " << message << '\n';
    return 1;
}

DWORD FindProcessByName(const std::wstring& name) {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more && !found; more = ::Process32NextW(snapshot, &entry)) {
        if (::lstrcmpiW(entry.szExeFile, name.c_str()) == 0) found = entry.th32ProcessID;
    }
    ::CloseHandle(snapshot);
    return found;
}

DWORD FindProcess(const std::wstring& what) {
    if (!what.empty() && what.find_first_not_of(L"0123456789") == std::wstring::npos) {
        return static_cast<DWORD>(std::wcstoul(what.c_str(), nullptr, 10));
    }
    if (const DWORD found = FindProcessByName(what)) return found;
    // The runs that still start the engine in the tray's own process ask for it as Dockvane.exe, the
    // name it had before the face took it; the test build calls that program DockvaneTray.exe.
    if (::lstrcmpiW(what.c_str(), L"Dockvane.exe") == 0) return FindProcessByName(L"DockvaneTray.exe");
    return 0;
}

long CountThreads(DWORD pid) {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    long count = 0;
    for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == pid) ++count;
    }
    ::CloseHandle(snapshot);
    return count;
}

// --- Handles from the system's handle list, where the process's own count is not kept ---

struct SystemHandleEntry {
    void* object;
    ULONG_PTR processId;
    ULONG_PTR handleValue;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG handleAttributes;
    ULONG reserved;
};
struct SystemHandleList {
    ULONG_PTR count;
    ULONG_PTR reserved;
    SystemHandleEntry entries[1];
};
constexpr int kSystemExtendedHandleInformation = 64;
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);

using QuerySystemInformation = NTSTATUS(WINAPI*)(int, void*, ULONG, ULONG*);

long CountSystemHandles(DWORD pid) {
    const auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return -1;
    std::vector<unsigned char> buffer(1 << 20);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        const NTSTATUS status =
            query(kSystemExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 65536));
            continue;
        }
        if (status != 0) return -1;
        const auto* list = reinterpret_cast<const SystemHandleList*>(buffer.data());
        long count = 0;
        for (ULONG_PTR i = 0; i < list->count; ++i) {
            if (list->entries[i].processId == pid) ++count;
        }
        return count;
    }
    return -1;
}

// --- GDI objects from the handle table, where GetGuiResources does not count them ---

// One entry of the GDI handle table (64-bit layout).
struct GdiHandleEntry {
    std::uint64_t object;
    std::uint32_t owner;
    std::uint8_t extTypeAndStock;  // bits 0-6 the extended type, bit 7 set for a stock object
    std::uint8_t generation;
    std::uint8_t type;  // 0 for a free entry
    std::uint8_t flags;
    std::uint64_t userPointer;
};
static_assert(sizeof(GdiHandleEntry) == 24);
constexpr std::size_t kGdiHandleCount = 0x10000;
constexpr std::size_t kPebGdiSharedHandleTable = 0xF8;

using QueryInformationProcess = NTSTATUS(WINAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);

long CountGdiTableEntries(HANDLE process) {
    const auto query = reinterpret_cast<QueryInformationProcess>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    if (!query) return -1;
    PROCESS_BASIC_INFORMATION basic{};
    if (query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0 || !basic.PebBaseAddress) {
        return -1;
    }
    std::uint64_t table = 0;
    SIZE_T read = 0;
    if (!::ReadProcessMemory(process, reinterpret_cast<const char*>(basic.PebBaseAddress) + kPebGdiSharedHandleTable,
                             &table, sizeof table, &read) ||
        read != sizeof table || table == 0) {
        return -1;
    }
    std::vector<GdiHandleEntry> entries(kGdiHandleCount);
    if (!::ReadProcessMemory(process, reinterpret_cast<const void*>(table), entries.data(),
                             entries.size() * sizeof(GdiHandleEntry), &read) ||
        read != entries.size() * sizeof(GdiHandleEntry)) {
        return -1;
    }
    long count = 0;
    for (const GdiHandleEntry& entry : entries) {
        if (entry.type != 0 && (entry.extTypeAndStock & 0x80) == 0) ++count;
    }
    return count;
}

// --- Every desktop of every window station ---

BOOL CALLBACK CollectName(LPWSTR name, LPARAM found) {
    reinterpret_cast<std::vector<std::wstring>*>(found)->push_back(name);
    return TRUE;
}

// Calls visit(desktop) for every desktop that opens with that access, until it answers true. A
// desktop opens, and a thread goes onto it, only in the process's own window station: each station
// is made the process's own while its desktops are visited.
void ForEachDesktop(ACCESS_MASK access, const std::function<bool(HDESK)>& visit) {
    std::vector<std::wstring> stations;
    ::EnumWindowStationsW(&CollectName, reinterpret_cast<LPARAM>(&stations));
    HWINSTA own = ::GetProcessWindowStation();
    bool done = false;
    auto visitStation = [&](HWINSTA station) {
        std::vector<std::wstring> desktops;
        ::EnumDesktopsW(station, &CollectName, reinterpret_cast<LPARAM>(&desktops));
        for (const std::wstring& name : desktops) {
            HDESK desktop = ::OpenDesktopW(name.c_str(), 0, FALSE, access);
            if (!desktop) continue;
            done = visit(desktop);
            ::CloseDesktop(desktop);
            if (done) return;
        }
    };
    bool reached = false;
    for (const std::wstring& name : stations) {
        if (done) break;
        HWINSTA station = ::OpenWindowStationW(name.c_str(), FALSE, WINSTA_ENUMDESKTOPS);
        if (!station) continue;
        if (::SetProcessWindowStation(station)) {
            reached = true;
            visitStation(station);
            ::SetProcessWindowStation(own);
        }
        ::CloseWindowStation(station);
    }
    if (!reached) visitStation(own);
}

// --- Windows of a process on every desktop ---

struct WindowCount {
    DWORD pid = 0;
    std::set<HWND> seen;
};

void Note(HWND window, WindowCount& count) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == count.pid) count.seen.insert(window);
}

BOOL CALLBACK NoteChild(HWND window, LPARAM count) {
    Note(window, *reinterpret_cast<WindowCount*>(count));
    return TRUE;
}

BOOL CALLBACK NoteTopLevel(HWND window, LPARAM count) {
    Note(window, *reinterpret_cast<WindowCount*>(count));
    ::EnumChildWindows(window, &NoteChild, count);
    return TRUE;
}

struct DesktopJob {
    HDESK desktop = nullptr;
    WindowCount* count = nullptr;
};

// Message-only windows are found only from a thread on their desktop.
DWORD WINAPI CountOnDesktop(void* argument) {
    auto* job = static_cast<DesktopJob*>(argument);
    if (!::SetThreadDesktop(job->desktop)) return 1;
    ::EnumWindows(&NoteTopLevel, reinterpret_cast<LPARAM>(job->count));
    for (HWND window = ::FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); window;
         window = ::FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr)) {
        NoteTopLevel(window, reinterpret_cast<LPARAM>(job->count));
    }
    return 0;
}

long CountWindows(DWORD pid) {
    WindowCount count;
    count.pid = pid;
    ForEachDesktop(GENERIC_ALL, [&count](HDESK desktop) {
        DesktopJob job;
        job.desktop = desktop;
        job.count = &count;
        if (HANDLE thread = ::CreateThread(nullptr, 0, &CountOnDesktop, &job, 0, nullptr)) {
            ::WaitForSingleObject(thread, 10000);
            ::CloseHandle(thread);
        }
        return false;
    });
    return static_cast<long>(count.seen.size());
}

// --- The process's windows ---

struct WindowSearch {
    DWORD pid = 0;
    const wchar_t* windowClass = nullptr;
    HWND found = nullptr;
};

BOOL CALLBACK FindWindowOfClass(HWND window, LPARAM search) {
    auto& s = *reinterpret_cast<WindowSearch*>(search);
    wchar_t name[64] = {};
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == s.pid && ::GetClassNameW(window, name, 64) > 0 && std::wstring(name) == s.windowClass) {
        s.found = window;
        return FALSE;
    }
    return TRUE;
}

// The process's top-level window of that class on the desktop; nullptr without one.
HWND WindowOn(HDESK desktop, DWORD pid, const wchar_t* windowClass) {
    WindowSearch search;
    search.pid = pid;
    search.windowClass = windowClass;
    ::EnumDesktopWindows(desktop, &FindWindowOfClass, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The process's top-level window of that class, on whichever desktop it is.
HWND WindowOf(DWORD pid, const wchar_t* windowClass) {
    HWND found = nullptr;
    ForEachDesktop(DESKTOP_READOBJECTS | DESKTOP_ENUMERATE, [&](HDESK desktop) {
        found = WindowOn(desktop, pid, windowClass);
        return found != nullptr;
    });
    return found;
}

// The window the tray's commands go to: the old tray's main window, or the face's.
HWND MainWindowOf(DWORD pid) {
    HWND window = WindowOf(pid, kMainWindowClass);
    return window ? window : WindowOf(pid, kFaceWindowClass);
}

// --- Commands ---

int Stats(DWORD pid) {
    HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process) return Fail("cannot open process " + std::to_string(pid));
    DWORD handles = 0;
    long handleCount = ::GetProcessHandleCount(process, &handles) ? static_cast<long>(handles) : -1;
    std::string handlesVia = "GetProcessHandleCount";
    if (handleCount <= 0) {  // no process runs without a handle: the count is not kept
        handleCount = CountSystemHandles(pid);
        handlesVia = "system-list";
    }

    ::SetLastError(0);
    long gdi = static_cast<long>(::GetGuiResources(process, GR_GDIOBJECTS));
    std::string gdiVia = "GetGuiResources";
    if (gdi == 0 && ::GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) {
        gdi = CountGdiTableEntries(process);
        gdiVia = "handle-table";
    }
    ::SetLastError(0);
    long user = static_cast<long>(::GetGuiResources(process, GR_USEROBJECTS));
    std::string userVia = "GetGuiResources";
    if (user == 0 && ::GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) {
        user = CountWindows(pid);
        userVia = "windows";
    }

    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    const bool haveMemory =
        ::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory) != FALSE;
    ::CloseHandle(process);
    const long threads = CountThreads(pid);
    // Where PrivateUsage is not filled in, PagefileUsage (the commit charge) stands in for it.
    long long privateBytes = -1;
    std::string privateVia = "PrivateUsage";
    if (haveMemory) {
        privateBytes = static_cast<long long>(memory.PrivateUsage);
        if (privateBytes == 0) {
            privateBytes = static_cast<long long>(memory.PagefileUsage);
            privateVia = "PagefileUsage";
        }
    }
    std::cout << "pid=" << pid << " threads=" << threads << " handles=" << handleCount << " handles_via=" << handlesVia
              << " gdi=" << gdi << " gdi_via=" << gdiVia << " user=" << user << " user_via=" << userVia
              << " private=" << privateBytes << " private_via=" << privateVia << '\n';
    return 0;
}

int PostCommand(DWORD pid, UINT command) {
    HWND window = MainWindowOf(pid);
    if (!window) return Fail("no main window of process " + std::to_string(pid));
    if (!::PostMessageW(window, WM_COMMAND, MAKEWPARAM(command, 0), 0)) return Fail("the command was not posted");
    return 0;
}

// Waits for the process to end, after the command when there is one; prints exit_code=N ms=N.
int AwaitEnd(DWORD pid, DWORD waitMs, std::optional<UINT> command) {
    HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return Fail("cannot open process " + std::to_string(pid));
    const ULONGLONG began = ::GetTickCount64();
    if (command) {
        if (const int code = PostCommand(pid, *command); code != 0) {
            ::CloseHandle(process);
            return code;
        }
    } else {
        std::cout << "waiting" << std::endl;  // the caller may end the process from now on
    }
    const DWORD waited = ::WaitForSingleObject(process, waitMs);
    const ULONGLONG took = ::GetTickCount64() - began;
    DWORD exitCode = 0;
    ::GetExitCodeProcess(process, &exitCode);
    ::CloseHandle(process);
    if (waited == WAIT_OBJECT_0) {
        std::cout << "exit_code=" << exitCode << " ms=" << took << '\n';
    } else {
        std::cout << "exit_code=running ms=" << took << '\n';
    }
    return 0;
}

// Removal notices of one drive, sent to the observer's window the way the system sends a device
// broadcast: a sent message with the volume record, each sender waiting for its answer. The senders
// run on the window's desktop, as the system's broadcast reaches it there.
struct Sender {
    HDESK desktop;
    HWND window;
    DEV_BROADCAST_VOLUME volume;
    unsigned long count;
    unsigned long gapMs;
    long sent = 0;
    long timedOut = 0;
};

DWORD WINAPI SendNotices(void* data) {
    auto& s = *static_cast<Sender*>(data);
    ::SetThreadDesktop(s.desktop);
    for (unsigned long i = 0; i < s.count; ++i) {
        DWORD_PTR result = 0;
        if (::SendMessageTimeoutW(s.window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE,
                                  reinterpret_cast<LPARAM>(&s.volume), SMTO_NORMAL, 15000, &result)) {
            ++s.sent;
        } else {
            ++s.timedOut;
        }
        ::Sleep(s.gapMs);
    }
    return 0;
}

int Notices(DWORD pid, wchar_t letter, unsigned long count, unsigned long spreadMs) {
    if (letter < L'A' || letter > L'Z') return Fail("a drive letter is A to Z");
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << (letter - L'A');
    const unsigned long perSender = (count + 1) / 2;
    const unsigned long gapMs = spreadMs / std::max(1ul, perSender);
    bool found = false;
    long sent = 0;
    long timedOut = 0;
    ForEachDesktop(GENERIC_ALL, [&](HDESK desktop) {
        HWND window = WindowOn(desktop, pid, kObserverWindowClass);
        if (!window) return false;
        found = true;
        Sender senders[2] = {{desktop, window, volume, perSender, gapMs},
                             {desktop, window, volume, count - perSender, gapMs}};
        HANDLE threads[2] = {};
        for (int i = 0; i < 2; ++i) threads[i] = ::CreateThread(nullptr, 0, &SendNotices, &senders[i], 0, nullptr);
        for (HANDLE thread : threads) {
            if (thread) {
                ::WaitForSingleObject(thread, INFINITE);
                ::CloseHandle(thread);
            }
        }
        sent = senders[0].sent + senders[1].sent;
        timedOut = senders[0].timedOut + senders[1].timedOut;
        return true;
    });
    if (!found) return Fail("no volume observer window of process " + std::to_string(pid));
    std::cout << "sent=" << sent << " timed_out=" << timedOut << '\n';
    return 0;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    const std::vector<std::wstring> args(argv ? argv + 1 : nullptr, argv ? argv + argc : nullptr);
    ::LocalFree(argv);
    if (args.size() < 2) {
        std::cerr << "usage: e2e_process_probe pid PID|NAME | stats PID|NAME | eject PID|NAME SLOT | exit PID|NAME "
                     "[MS] | wait PID|NAME [MS] | notices PID|NAME LETTER COUNT MS\n";
        return 1;
    }
    const DWORD pid = FindProcess(args[1]);
    if (pid == 0) return Fail("no such process");
    if (args[0] == L"pid" && args.size() == 2) {
        std::cout << "pid=" << pid << '\n';
        return 0;
    }
    if (args[0] == L"stats" && args.size() == 2) return Stats(pid);
    if (args[0] == L"eject" && args.size() == 3) {
        const unsigned long slot = std::wcstoul(args[2].c_str(), nullptr, 10);
        if (slot >= 12) return Fail("a slot is 0 to 11");
        return PostCommand(pid, dv::kCmdEjectFirst + static_cast<UINT>(slot));
    }
    if ((args[0] == L"exit" || args[0] == L"wait") && args.size() <= 3) {
        const DWORD waitMs = args.size() == 3 ? static_cast<DWORD>(std::wcstoul(args[2].c_str(), nullptr, 10)) : 10000;
        return AwaitEnd(pid, waitMs, args[0] == L"exit" ? std::optional<UINT>(dv::kCmdExit) : std::nullopt);
    }
    if (args[0] == L"notices" && args.size() == 5 && args[2].size() == 1) {
        return Notices(pid, static_cast<wchar_t>(std::towupper(args[2][0])), std::wcstoul(args[3].c_str(), nullptr, 10),
                       std::wcstoul(args[4].c_str(), nullptr, 10));
    }
    return Fail("unknown command");
}
