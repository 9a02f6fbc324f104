#include "service/volume_interfaces_win.h"

#include <gtest/gtest.h>

#include <dbt.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/text.h"

namespace dv {
namespace {

constexpr GUID kVolumeClass = {0x53f5630d, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
constexpr GUID kDiskClass = {0x53f56307, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
const std::wstring kName = L"\\\\?\\STORAGE#Volume#{aa}#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";

// A device interface record with the name and its NUL, its size as given (0: the whole record).
std::vector<std::byte> InterfaceRecord(const GUID& interfaceClass, const std::wstring& name, std::size_t size = 0,
                                       DWORD deviceType = DBT_DEVTYP_DEVICEINTERFACE) {
    const std::size_t whole =
        offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (name.size() + 1) * sizeof(wchar_t);
    std::vector<std::byte> bytes(std::max(whole, sizeof(DEV_BROADCAST_DEVICEINTERFACE_W)));
    auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(bytes.data());
    record->dbcc_size = static_cast<DWORD>(size != 0 ? size : whole);
    record->dbcc_devicetype = deviceType;
    record->dbcc_classguid = interfaceClass;
    std::memcpy(record->dbcc_name, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    return bytes;
}

TEST(ReadVolumeInterfaceNotice, OnlyWholeVolumeInterfaceRecordsOfArrivalOrRemovalAreRead) {
    const std::size_t nameAt = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    const struct {
        const char* what;
        DWORD eventType;
        std::vector<std::byte> record;
        std::optional<bool> arrival;  // nothing: no notice
        std::wstring name;
    } cases[] = {
        {"an arrival", DBT_DEVICEARRIVAL, InterfaceRecord(kVolumeClass, kName), true, kName},
        {"a removal", DBT_DEVICEREMOVECOMPLETE, InterfaceRecord(kVolumeClass, kName), false, kName},
        {"a query to remove is no removal", DBT_DEVICEQUERYREMOVE, InterfaceRecord(kVolumeClass, kName), {}, {}},
        {"a disk's interface", DBT_DEVICEARRIVAL, InterfaceRecord(kDiskClass, kName), {}, {}},
        {"a record that is no interface",
         DBT_DEVICEARRIVAL,
         InterfaceRecord(kVolumeClass, kName, 0, DBT_DEVTYP_VOLUME),
         {},
         {}},
        {"a record shorter than its header",
         DBT_DEVICEARRIVAL,
         InterfaceRecord(kVolumeClass, kName, sizeof(DEV_BROADCAST_HDR)),
         {},
         {}},
        {"a name that runs past the record ends with it", DBT_DEVICEARRIVAL,
         InterfaceRecord(kVolumeClass, kName, nameAt + 8 * sizeof(wchar_t)), true, kName.substr(0, 8)},
        {"an empty name", DBT_DEVICEARRIVAL, InterfaceRecord(kVolumeClass, L""), {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<TVolumeInterfaceNotice> notice = ReadVolumeInterfaceNotice(c.eventType, c.record.data());
        ASSERT_EQ(notice.has_value(), c.arrival.has_value());
        if (!notice) continue;
        EXPECT_EQ(notice->arrival, *c.arrival);
        EXPECT_EQ(ToWide(notice->interfaceName), c.name);
    }
    EXPECT_FALSE(ReadVolumeInterfaceNotice(DBT_DEVICEARRIVAL, nullptr));
}

TEST(TVolumeInterfaces, AVolumeArrivesAndGoesOnItsLetter) {
    wchar_t volume[MAX_PATH] = {};
    if (!::GetVolumeNameForVolumeMountPointW(L"C:\\", volume, MAX_PATH)) GTEST_SKIP() << "C: has no volume name here";
    // A volume's name stands for its interface's: both lead to the same volume.
    const std::wstring name(volume);
    EXPECT_EQ(LetterOfVolume(FromWide(name)), u'C');
    EXPECT_FALSE(LetterOfVolume(u"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\"));

    TVolumeInterfaces interfaces([](const TVolumeBroadcast&) { ADD_FAILURE() << "a late arrival of C:"; });
    const std::vector<std::byte> record = InterfaceRecord(kVolumeClass, name);
    const std::optional<TVolumeBroadcast> arrival = interfaces.OnDeviceEvent(DBT_DEVICEARRIVAL, record.data());
    ASSERT_TRUE(arrival);
    EXPECT_EQ(arrival->eventCode, kDbtDeviceArrival);
    EXPECT_EQ(arrival->unitMask, 1u << 2);
    const std::optional<TVolumeBroadcast> removal = interfaces.OnDeviceEvent(DBT_DEVICEREMOVECOMPLETE, record.data());
    ASSERT_TRUE(removal);
    EXPECT_EQ(removal->eventCode, kDbtDeviceRemoveComplete);
    EXPECT_EQ(removal->unitMask, 1u << 2);
}

// The mount manager gives a new volume its letter a moment after its interface arrived: the volume is
// looked at again on the system's pool and told once it has one.
TEST(TVolumeInterfaces, AVolumeThatHasItsLetterOnlyLaterIsToldThen) {
    std::atomic<int> looks{0};
    std::mutex mutex;
    std::condition_variable told;
    std::vector<TVolumeBroadcast> late;
    TVolumeInterfaces interfaces(
        [&](const TVolumeBroadcast& arrival) {
            std::lock_guard lock(mutex);
            late.push_back(arrival);
            told.notify_all();
        },
        // No letter at the notice and at the first look; E: from the second look on.
        [&looks](const std::u16string& name) -> std::optional<char16_t> {
            EXPECT_EQ(ToWide(name), kName);
            return ++looks >= 3 ? std::optional(u'E') : std::nullopt;
        });
    const std::vector<std::byte> record = InterfaceRecord(kVolumeClass, kName);
    EXPECT_FALSE(interfaces.OnDeviceEvent(DBT_DEVICEARRIVAL, record.data()));
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(told.wait_for(lock, std::chrono::seconds(20), [&] { return !late.empty(); }));
        ASSERT_EQ(late.size(), 1u);
        EXPECT_EQ(late[0].eventCode, kDbtDeviceArrival);
        EXPECT_EQ(late[0].unitMask, 1u << 4);
    }
    const std::optional<TVolumeBroadcast> removal = interfaces.OnDeviceEvent(DBT_DEVICEREMOVECOMPLETE, record.data());
    ASSERT_TRUE(removal);
    EXPECT_EQ(removal->unitMask, 1u << 4);
    interfaces.Unregister();
    std::lock_guard lock(mutex);
    EXPECT_EQ(late.size(), 1u);
}

TEST(TVolumeInterfaces, NoVolumeIsLookedAtOnceTheNoticesAreUnregistered) {
    std::atomic<int> looks{0};
    TVolumeInterfaces interfaces([](const TVolumeBroadcast&) { ADD_FAILURE() << "a late arrival"; },
                                 [&looks](const std::u16string&) -> std::optional<char16_t> {
                                     ++looks;
                                     return std::nullopt;
                                 });
    const std::vector<std::byte> record = InterfaceRecord(kVolumeClass, kName);
    EXPECT_FALSE(interfaces.OnDeviceEvent(DBT_DEVICEARRIVAL, record.data()));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (looks < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_GE(looks, 2) << "the volume was not looked at again";
    interfaces.Unregister();
    const int after = looks;
    std::this_thread::sleep_for(std::chrono::milliseconds(kLetterLookIntervalMs * 3));
    EXPECT_EQ(looks, after);
    // A notice after the end is still read, but starts no looks.
    EXPECT_FALSE(interfaces.OnDeviceEvent(DBT_DEVICEARRIVAL, record.data()));
    std::this_thread::sleep_for(std::chrono::milliseconds(kLetterLookIntervalMs * 3));
    EXPECT_EQ(looks, after + 1);
}

}  // namespace
}  // namespace dv
