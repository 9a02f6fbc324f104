// The directory watcher under real change handles and threads, among them the restarts that a device
// notice runs inside a Stop or a Start of the watcher.
#include "platform/windows_include.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/handles_win.h"
#include "platform/text.h"
#include "shell/directory_watcher_win.h"
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
        ::Sleep(5);
    }
    return true;
}

int ThreadsOfThisProcess() {
    const UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++count;
    }
    return count;
}

// What a device notice's handler may do to the watcher while the user-interface thread is inside one
// of the watcher's own calls.
enum class Nested : WPARAM { Stop, StopAndStart, Start };

class WinWatcherTest : public ::testing::Test {
protected:
    static constexpr UINT kChange = WM_APP + 7;
    static constexpr UINT kNotice = WM_APP + 8;

    void SetUp() override {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            auto* self = reinterpret_cast<WinWatcherTest*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
            if (self && message == kChange) {
                if (self->watcher) self->watcher->HandOver(wParam, lParam);
                return 0;
            }
            if (self && message == kNotice) {
                self->OnNotice(static_cast<Nested>(wParam));
                return 0;
            }
            return ::DefWindowProcW(window, message, wParam, lParam);
        };
        windowClass.lpszClassName = L"DockvaneWatcherTest";
        ::RegisterClassW(&windowClass);
        window = ::CreateWindowW(L"DockvaneWatcherTest", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        watcher = std::make_unique<TWinDirectoryWatcher>(window, kChange);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    void TearDown() override {
        watcher.reset();
        ::DestroyWindow(window);
    }

    // A device notice's handler restarts the watcher, as the removal of a drive does.
    void OnNotice(Nested what) {
        ++notices;
        try {
            if (what != Nested::Start) watcher->Stop();
            if (what != Nested::Stop) watcher->Start();
        } catch (const std::exception&) {
            ++failedStarts;
        }
    }

    HWND window = nullptr;
    std::unique_ptr<TWinDirectoryWatcher> watcher;
    int notices = 0;
    int failedStarts = 0;
};

TEST_F(WinWatcherTest, FileWrittenUnderAWatchedFolderIsReported) {
    testing::TempFolder folder;
    std::vector<std::u16string> changes;
    watcher->OnChange = [&](const std::u16string& directory) { changes.push_back(directory); };
    watcher->Entries.push_back({folder.Path(), true, kFileNotifyChangeSize | kFileNotifyChangeLastWrite});
    watcher->Start();
    ASSERT_TRUE(watcher->Active());
    // In the watched folder itself: Wine reports no changes below it, Windows does.
    testing::WriteBytes(folder.path() / "copied.bin", std::string(4096, 'x'));
    EXPECT_TRUE(PumpUntil([&] { return !changes.empty(); }, std::chrono::seconds(20)));
    if (!changes.empty()) {
        EXPECT_EQ(changes.front(), folder.Path());
    }
    watcher->Stop();
    EXPECT_FALSE(watcher->Active());
}

TEST_F(WinWatcherTest, MissingFolderFailsTheStartAndWatchesNothing) {
    testing::TempFolder folder;
    watcher->Entries.push_back({folder.Path(), true, kFileNotifyChangeLastWrite});
    watcher->Entries.push_back({folder.File(u"missing"), true, kFileNotifyChangeLastWrite});
    EXPECT_ANY_THROW(watcher->Start());
    EXPECT_FALSE(watcher->Active());

    watcher->Entries.assign(65, {folder.Path(), true, kFileNotifyChangeLastWrite});
    EXPECT_ANY_THROW(watcher->Start());
    EXPECT_FALSE(watcher->Active());
}

// Two threads send device notices, as the system does, while this thread restarts the watcher: every
// notice runs inside the wait of a Stop, and restarts the watcher there. Each outer call still returns,
// no worker is left behind, and changes keep arriving from the folders watched.
TEST_F(WinWatcherTest, RestartsNestedInsideAStopOrStartAllReturnAndLeaveNoWorker) {
    testing::TempFolder first, second;
    watcher->Entries.push_back({first.Path(), true, kFileNotifyChangeSize | kFileNotifyChangeLastWrite});
    watcher->Entries.push_back({second.Path(), true, kFileNotifyChangeSize | kFileNotifyChangeLastWrite});
    int changes = 0;
    watcher->OnChange = [&](const std::u16string& directory) {
        ++changes;
        EXPECT_TRUE(directory == first.Path() || directory == second.Path()) << ToUtf8(directory);
    };

    // A watcher that hangs would hang the whole run: after a generous time this ends it with a failure.
    std::atomic<bool> finished{false};
    std::thread watchdog([&finished] {
        for (int i = 0; i < 600 && !finished; ++i) ::Sleep(100);
        if (!finished) {
            std::fputs("The watcher hung: an outer Stop or Start never returned.\n", stderr);
            std::fflush(stderr);
            ::TerminateProcess(::GetCurrentProcess(), 3);
        }
    });

    // Restarts on this thread with each gap between them, while the notices come; the longest call.
    // With `writes`, files change meanwhile, so that workers are handing changes over too; without,
    // the folders stay as quiet as a drive nobody writes to, whose change handles never signal.
    auto storm = [&](int rounds, bool writes) {
        std::atomic<bool> sending{true};
        std::atomic<int> sendersDone{0};
        auto sender = [&](int seed) {
            int i = seed;
            while (sending) {
                DWORD_PTR result = 0;
                ::SendMessageTimeoutW(window, kNotice, static_cast<WPARAM>(i % 3), 0, SMTO_NORMAL, 10'000, &result);
                if (writes && i % 4 == 0)
                    testing::WriteBytes((seed ? first : second).path() / "copied.bin", std::string(512, 'x'));
                ::Sleep(static_cast<DWORD>(i * 7 % 16));
                ++i;
            }
            ++sendersDone;
        };
        std::thread notices1(sender, 0), notices2(sender, 1);
        Clock::duration longest{};
        for (const int gapMs : {0, 20, 200}) {
            for (int round = 0; round < (gapMs == 200 ? (rounds + 1) / 2 : rounds); ++round) {
                auto started = Clock::now();
                watcher->Stop();
                longest = std::max(longest, Clock::now() - started);
                started = Clock::now();
                watcher->Start();
                longest = std::max(longest, Clock::now() - started);
                PumpUntil([] { return false; }, std::chrono::milliseconds(gapMs));
            }
        }
        sending = false;
        // The senders may wait for this thread to take their last notice.
        PumpUntil([&] { return sendersDone == 2; }, std::chrono::seconds(30));
        notices1.join();
        notices2.join();
        watcher->Stop();
        return longest;
    };

    // Once to warm up, so that the threads the system starts on first use (its thread pool) are there
    // before the count; then the run that counts.
    (void)storm(2, true);
    const int baseline = ThreadsOfThisProcess();
    ASSERT_GT(baseline, 0);
    notices = 0;
    const Clock::duration longest = std::max(storm(20, false), storm(20, true));
    finished = true;
    watchdog.join();

    EXPECT_GT(notices, 20) << "too few notices ran inside the watcher's calls to show anything";
    EXPECT_EQ(failedStarts, 0);
    EXPECT_LT(longest, std::chrono::seconds(5)) << "the longest outer call";
    EXPECT_FALSE(watcher->Active());
    // Every worker has ended: the process has the threads it had before.
    EXPECT_TRUE(PumpUntil([&] { return ThreadsOfThisProcess() <= baseline; }, std::chrono::seconds(5)))
        << ThreadsOfThisProcess() << " threads, " << baseline << " before";

    // And the watcher still works after all that.
    changes = 0;
    watcher->Start();
    testing::WriteBytes(first.path() / "after.bin", std::string(4096, 'x'));
    EXPECT_TRUE(PumpUntil([&] { return changes > 0; }, std::chrono::seconds(20)));
    watcher->Stop();
}

}  // namespace
}  // namespace dv
