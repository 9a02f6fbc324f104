#include "service/volume_interfaces_win.h"

#include <gtest/gtest.h>

#include <dbt.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
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

    TVolumeInterfaces interfaces;
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

}  // namespace
}  // namespace dv
