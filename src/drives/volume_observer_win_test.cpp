// The observer's window under a real system: broadcasts from another process, as the system sends
// them when a drive comes or goes.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "drives/test_process_win.h"
#include "drives/volume_observer.h"
#include "platform/windows_include.h"

#include <dbt.h>

namespace dv {
namespace {

using dv::testing::RunHelperPumping;

class Recorder {
public:
    std::vector<std::u16string> calls;
    int uncaught = 0;

    TVolumeNotifyEvent Record(const char16_t* name) {
        return [this, name](char16_t letter) { calls.push_back(name + std::u16string(1, letter)); };
    }
};

long Broadcast(DWORD event, DWORD mask, DWORD flags, DWORD deviceType = DBT_DEVTYP_VOLUME) {
    return RunHelperPumping(L"broadcast " + std::to_wstring(event) + L" " + std::to_wstring(mask) + L" " +
                            std::to_wstring(flags) + L" " + std::to_wstring(deviceType));
}

// One test for all broadcasts: other test processes may run at the same time, and every broadcast
// reaches them too. Masks use letters no other test of this program broadcasts.
TEST(WinVolumeObserver, BroadcastsFromAnotherProcessArriveAsEvents) {
    Recorder recorder;
    TVolumeObserver observer([&recorder](std::exception_ptr) { ++recorder.uncaught; });
    ASSERT_TRUE(observer.Initialize());
    HWND window = static_cast<HWND>(observer.WindowHandle());
    ASSERT_TRUE(::IsWindow(window));
    EXPECT_EQ(::GetParent(window), nullptr);  // top-level: broadcasts reach it
    EXPECT_FALSE(::IsWindowVisible(window));
    observer.OnVolumeAutoPlay = recorder.Record(u"AutoPlay ");
    observer.OnVolumeArrival = recorder.Record(u"Arrival ");
    observer.OnVolumeRemoval = recorder.Record(u"Removal ");

    const DWORD eg = (1u << 4) | (1u << 6);
    ASSERT_EQ(Broadcast(DBT_DEVICEARRIVAL, eg, 0), 0);
    EXPECT_EQ(recorder.calls, (std::vector<std::u16string>{u"AutoPlay E", u"AutoPlay G", u"Arrival E", u"Arrival G"}));

    recorder.calls.clear();
    ASSERT_EQ(Broadcast(DBT_DEVICEREMOVECOMPLETE, 1u << 4, DBTF_MEDIA), 0);
    EXPECT_EQ(recorder.calls, (std::vector<std::u16string>{u"AutoPlay E", u"Removal E"}));

    recorder.calls.clear();
    ASSERT_EQ(Broadcast(DBT_DEVICEARRIVAL, eg, DBTF_NET), 0);
    ASSERT_EQ(Broadcast(DBT_DEVICEQUERYREMOVE, eg, 0), 0);
    ASSERT_EQ(Broadcast(DBT_DEVICEARRIVAL, eg, 0, DBT_DEVTYP_PORT), 0);
    EXPECT_TRUE(recorder.calls.empty());

    // A failing handler: the error goes to the handler of last resort, and the observer goes on.
    observer.OnVolumeArrival = [&recorder](char16_t letter) {
        recorder.calls.push_back(u"Arrival " + std::u16string(1, letter));
        throw std::runtime_error("share failed");
    };
    ASSERT_EQ(Broadcast(DBT_DEVICEARRIVAL, eg, 0), 0);
    EXPECT_EQ(recorder.calls, (std::vector<std::u16string>{u"AutoPlay E", u"AutoPlay G", u"Arrival E"}));
    EXPECT_EQ(recorder.uncaught, 1);
    EXPECT_TRUE(::IsWindow(window));
}

TEST(WinVolumeObserver, RecordsAreReadOnlyAsFarAsTheirSizeVouches) {
    Recorder recorder;
    TVolumeObserver observer;
    ASSERT_TRUE(observer.Initialize());
    observer.OnVolumeAutoPlay = recorder.Record(u"AutoPlay ");
    HWND window = static_cast<HWND>(observer.WindowHandle());

    DEV_BROADCAST_VOLUME record{};
    record.dbcv_size = sizeof(record);
    record.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    record.dbcv_unitmask = 1u << 25;
    EXPECT_EQ(::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&record)), 0);
    EXPECT_EQ(recorder.calls, std::vector<std::u16string>{u"AutoPlay Z"});

    recorder.calls.clear();
    record.dbcv_size = sizeof(DEV_BROADCAST_HDR);  // a header that claims a volume but carries no mask
    ::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&record));
    ::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
    ::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    EXPECT_TRUE(recorder.calls.empty());

    // Other messages go to the default procedure.
    wchar_t title[64] = {};
    EXPECT_GT(::SendMessageW(window, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(title)), 0);
}

TEST(WinVolumeObserver, TheWindowGoesWithTheObserver) {
    HWND window = nullptr;
    {
        TVolumeObserver observer;
        window = static_cast<HWND>(observer.WindowHandle());
        ASSERT_TRUE(::IsWindow(window));
    }
    EXPECT_FALSE(::IsWindow(window));
}

}  // namespace
}  // namespace dv
