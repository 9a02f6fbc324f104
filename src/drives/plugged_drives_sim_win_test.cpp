// The simulation's drives under Wine: plugged in through the mount manager, seen as USB drives by
// the drive manager, ejected by it, and announced to the windows. Skipped away from Wine.
#include "drives/plugged_drives_sim_win.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "accounts/accounts_store_sim.h"
#include "drives/eject_blocker.h"
#include "drives/usb_drive_mgmt.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/windows_include.h"
#include "testing/temp_folder.h"

#include <dbt.h>

namespace dv {
namespace {

using dv::testing::TempFolder;

char16_t FreeLetter() {
    const DWORD used = ::GetLogicalDrives();
    for (char16_t candidate = u'X'; candidate >= u'M'; --candidate) {
        if ((used & (1u << (candidate - u'A'))) == 0) return candidate;
    }
    return 0;
}

bool Present(char16_t letter) {
    return (::GetLogicalDrives() & (1u << (letter - u'A'))) != 0;
}

// A hidden top-level window that records the volume broadcasts it gets.
class BroadcastListener {
public:
    BroadcastListener() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &BroadcastListener::Procedure;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"DockvaneSimBroadcastListener";
        ::RegisterClassW(&windowClass);
        window_ = ::CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                    windowClass.hInstance, nullptr);
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~BroadcastListener() { ::DestroyWindow(window_); }
    BroadcastListener(const BroadcastListener&) = delete;
    BroadcastListener& operator=(const BroadcastListener&) = delete;

    // Pumps until a broadcast of `event` for the letter came, or 10 s passed.
    bool Received(WPARAM event, char16_t letter) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            for (const auto& [got, mask] : received_) {
                if (got == event && mask == (1u << (letter - u'A'))) return true;
            }
            MSG message;
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
            ::Sleep(10);
        }
        return false;
    }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<BroadcastListener*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && message == WM_DEVICECHANGE && lParam != 0) {
            const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
            if (header->dbch_devicetype == DBT_DEVTYP_VOLUME) {
                self->received_.emplace_back(wParam,
                                             reinterpret_cast<const DEV_BROADCAST_VOLUME*>(lParam)->dbcv_unitmask);
            }
            return TRUE;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    HWND window_ = nullptr;
    std::vector<std::pair<WPARAM, DWORD>> received_;
};

class SimDrivesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (WineHostPathOf(u"C:\\").empty()) GTEST_SKIP() << "not under Wine";
        letter = FreeLetter();
        ASSERT_NE(letter, 0);
        dv::testing::WriteBytes(root.path() / "velmora.conf", "[Share]\r\n");
    }
    void TearDown() override {
        if (letter != 0 && bay.IsPlugged(letter)) bay.Unplug(letter);
    }

    TempFolder state;
    TempFolder root;
    TSimDriveBay bay{state.Path()};
    TSimVolumeQuery volumes{bay};
    TSimDeviceEject devices{bay};
    char16_t letter = 0;
};

TEST_F(SimDrivesTest, APluggedDriveIsAUsbDriveThatTheDriveManagerEjects) {
    bay.Plug(letter, FromUtf8(WineHostPathOf(root.Path())));
    ASSERT_TRUE(Present(letter));
    EXPECT_EQ(volumes.DriveType(letter), kDriveRemovable);
    EXPECT_EQ(volumes.BusType(letter), kBusTypeUsb);
    // The system's own drives keep their real answers.
    EXPECT_EQ(volumes.BusType(u'C'), TWinVolumeQuery().BusType(u'C'));
    EXPECT_TRUE(fs::FileExists(std::u16string(1, letter) + u":\\velmora.conf"));
    EXPECT_EQ(LoadPluggedDrives(state.Path()).count(letter), 1u);

    TUSBDriveManager manager(volumes, devices);
    std::vector<std::u16string> usb;
    manager.GetUsbDrives(usb);
    EXPECT_EQ(usb, std::vector<std::u16string>{std::u16string(1, letter)});

    BroadcastListener listener;
    EXPECT_TRUE(manager.RemoveDriveByLetter(letter));
    EXPECT_FALSE(Present(letter));
    EXPECT_FALSE(bay.IsPlugged(letter));
    // The removal is announced after the eject returned, as the system does.
    EXPECT_TRUE(listener.Received(DBT_DEVICEREMOVECOMPLETE, letter));
    // Nothing left to eject.
    EXPECT_FALSE(manager.RemoveDriveByLetter(letter));
}

TEST_F(SimDrivesTest, WindowsPathsPlugAndTheArrivalReachesEveryWindow) {
    bay.Plug(letter, root.Path());
    ASSERT_TRUE(Present(letter));
    BroadcastListener listener;
    // From another thread, as another process would: the listener's thread pumps meanwhile.
    HANDLE thread = ::CreateThread(
        nullptr, 0,
        [](void* argument) -> DWORD {
            BroadcastVolumeChange(DBT_DEVICEARRIVAL, *static_cast<char16_t*>(argument));
            return 0;
        },
        &letter, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(listener.Received(DBT_DEVICEARRIVAL, letter));
    // The broadcast waits for every window of this thread, so the thread keeps pumping until it ends.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (::MsgWaitForMultipleObjects(1, &thread, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0 &&
           std::chrono::steady_clock::now() < deadline) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    }
    EXPECT_EQ(::WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    ::CloseHandle(thread);
    bay.Unplug(letter);
    EXPECT_FALSE(Present(letter));
}

// dvsim block: the next eject is refused, every request of it leaving an event that names the
// process, and the eject after it goes through.
TEST_F(SimDrivesTest, ABlockRefusesTheNextEjectAndTheLogNamesTheProcess) {
    EXPECT_THROW(bay.Block(letter, u"dllhost.exe", 9176), Exception);  // not plugged in
    bay.Plug(letter, FromUtf8(WineHostPathOf(root.Path())));
    bay.Block(letter, u"\\Device\\HarddiskVolume3\\Windows\\System32\\dllhost.exe", 9176);
    TSimEventLog log(bay);
    TUSBDriveManager manager(volumes, devices);
    const std::int64_t since = log.Now() - kTicksPerSecond;
    std::vector<std::u16string> refused;
    EXPECT_FALSE(manager.RemoveDriveByLetter(letter, refused));
    EXPECT_TRUE(Present(letter));
    ASSERT_FALSE(refused.empty());
    EXPECT_EQ(refused.front(), TSimDeviceEject::DeviceInstanceOf(letter));
    EXPECT_EQ(log.RefusalEvents(since).size(), static_cast<std::size_t>(kEjectAttempts));
    const std::optional<TEjectBlocker> blocker = FindEjectBlocker(log, refused, since);
    ASSERT_TRUE(blocker);
    EXPECT_EQ(blocker->ProcessName, u"dllhost.exe");
    EXPECT_EQ(blocker->ProcessId, 9176u);
    // Another drive's refusals name nobody for this one.
    EXPECT_FALSE(FindEjectBlocker(log, {TSimDeviceEject::DeviceInstanceOf(letter == u'X' ? u'Y' : u'X')}, since));
    EXPECT_TRUE(LoadEjectBlocks(state.Path()).empty());

    BroadcastListener listener;
    EXPECT_TRUE(manager.RemoveDriveByLetter(letter, refused));
    EXPECT_TRUE(refused.empty());
    EXPECT_FALSE(Present(letter));
    EXPECT_TRUE(listener.Received(DBT_DEVICEREMOVECOMPLETE, letter));
}

// Where the system has no log of refusals (Wine), or the library is missing, nothing is named and
// nothing fails.
// dvsim reads the state while Dockvane writes it and the other way round, without the lock.
TEST(SimStateFile, AReaderThatHoldsTheFileForAMomentDelaysItsReplacementOnly) {
    TempFolder folder;
    const std::u16string path = folder.File(u"usb-drives.tsv");
    fs::ReplaceFileContents(path, "E\tZ:\\old\n");
    const auto openForReading = [&] {
        return ::CreateFileW(ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE reader = openForReading();
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    // What every writer of the state did before: the system refuses while the reader is there.
    EXPECT_THROW(fs::ReplaceFileContents(path, "E\tZ:\\refused\n"), EFCreateError);

    std::thread closer([reader] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        ::CloseHandle(reader);
    });
    EXPECT_NO_THROW(ReplaceSimStateFile(path, "E\tZ:\\new\n"));
    closer.join();
    EXPECT_EQ(fs::ReadReplaceableFile(path), std::optional<std::string>("E\tZ:\\new\n"));

    // A reader that never lets go still ends in the failure, after a moment.
    reader = openForReading();
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_THROW(ReplaceSimStateFile(path, "E\tZ:\\never\n"), EFCreateError);
    ::CloseHandle(reader);
}

TEST(SystemEventLog, AnswersWithoutFailing) {
    IEjectBlockerSource& log = SystemEjectBlockers();
    const std::int64_t now = log.Now();
    EXPECT_GT(now, ParseSystemTime(u"2020-01-01T00:00:00Z").value());
    for (const std::u16string& event : log.RefusalEvents(now - 60 * kTicksPerSecond)) {
        const std::optional<TPnpEvent> parsed = ParsePnpEvent(event);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->EventId, kRemovalVetoedEventId);
    }
}

TEST_F(SimDrivesTest, RefusalsLeaveEverythingAsItWas) {
    const std::u16string folder = root.Path();
    const struct {
        const char* name;
        char16_t letter;
        std::u16string folder;
    } cases[] = {
        {"system drive", u'C', folder},
        {"floppy letter", u'A', folder},
        {"no such folder", letter, folder + u"\\missing"},
        {"tab in the name", letter, folder + u"\tx"},
    };
    for (const auto& c : cases) {
        EXPECT_THROW(bay.Plug(c.letter, c.folder), Exception) << c.name;
    }
    EXPECT_FALSE(Present(letter));
    EXPECT_TRUE(bay.Drives().empty());
    EXPECT_THROW(bay.Unplug(letter), Exception);
    EXPECT_THROW(bay.Unplug(u'C'), Exception);

    bay.Plug(letter, folder);
    EXPECT_THROW(bay.Plug(letter, folder), Exception);
    EXPECT_EQ(bay.Drives().size(), 1u);
    EXPECT_TRUE(Present(letter));
}

}  // namespace
}  // namespace dv
