// The drive manager on a drive letter that Wine's mount manager adds while the test runs, the way a
// USB stick appears. Skipped away from Wine.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "drives/byte_size.h"
#include "drives/usb_drive_mgmt.h"
#include "drives/volume_query_win.h"
#include "platform/handles_win.h"
#include "platform/text.h"
#include "platform/windows_include.h"
#include "testing/temp_folder.h"

#include <winioctl.h>

namespace dv {
namespace {

// Wine's own mount-manager request (the one winecfg sends), Wine 8 layout; the host path follows.
struct MountManagerUnixDrive {
    ULONG size;
    ULONG type;
    ULONG fs_type;
    DWORD serial;
    ULONGLONG unix_dev;
    WCHAR letter;
    USHORT mount_point_offset;
    USHORT device_offset;
    USHORT label_offset;
};
constexpr DWORD kIoctlDefineUnixDrive = CTL_CODE(0x6D, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

bool DefineUnixDrive(wchar_t letter, UINT type, const std::string& hostPath) {
    std::vector<char> buffer(sizeof(MountManagerUnixDrive) + (hostPath.empty() ? 0 : hostPath.size() + 1), 0);
    auto* request = reinterpret_cast<MountManagerUnixDrive*>(buffer.data());
    request->size = static_cast<ULONG>(buffer.size());
    request->type = type;
    request->fs_type = 1;  // FS_UNKNOWN in Wine's mount manager: a plain host folder
    request->letter = static_cast<WCHAR>(::towlower(letter));
    if (!hostPath.empty()) {
        request->mount_point_offset = sizeof(MountManagerUnixDrive);
        std::memcpy(buffer.data() + sizeof(MountManagerUnixDrive), hostPath.c_str(), hostPath.size() + 1);
    }
    UniqueFileHandle manager(::CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!manager) return false;
    DWORD returned = 0;
    return ::DeviceIoControl(manager.get(), kIoctlDefineUnixDrive, buffer.data(), static_cast<DWORD>(buffer.size()),
                             nullptr, 0, &returned, nullptr) != FALSE;
}

std::string UnixPathOf(const std::u16string& windowsPath) {
    using WineGetUnixFileName = char*(CDECL*)(LPCWSTR);
    const auto convert = reinterpret_cast<WineGetUnixFileName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (convert == nullptr) return {};
    char* unixPath = convert(ToWide(windowsPath).c_str());
    if (unixPath == nullptr) return {};
    std::string result(unixPath);
    ::HeapFree(::GetProcessHeap(), 0, unixPath);
    return result;
}

// A removable drive on a fresh host folder for the test's lifetime.
class MountedDrive {
public:
    MountedDrive() {
        hostPath_ = UnixPathOf(folder_.Path());
        if (hostPath_.empty()) return;
        const DWORD used = ::GetLogicalDrives();
        for (wchar_t candidate = L'Y'; candidate >= L'P'; --candidate) {
            if ((used & (1u << (candidate - L'A'))) == 0) {
                if (DefineUnixDrive(candidate, DRIVE_REMOVABLE, hostPath_)) letter_ = static_cast<char16_t>(candidate);
                break;
            }
        }
    }
    // Wine's mount manager reads a folder drive's label (".windows-label") when the drive is defined.
    bool Replug() {
        return DefineUnixDrive(static_cast<wchar_t>(letter_), DRIVE_NO_ROOT_DIR, "") &&
               DefineUnixDrive(static_cast<wchar_t>(letter_), DRIVE_REMOVABLE, hostPath_);
    }
    ~MountedDrive() {
        if (letter_ != 0) DefineUnixDrive(static_cast<wchar_t>(letter_), DRIVE_NO_ROOT_DIR, "");
    }
    MountedDrive(const MountedDrive&) = delete;
    MountedDrive& operator=(const MountedDrive&) = delete;

    char16_t letter() const { return letter_; }
    const dv::testing::TempFolder& folder() const { return folder_; }

private:
    dv::testing::TempFolder folder_;
    std::string hostPath_;
    char16_t letter_ = 0;
};

// Wine reports no USB bus; the simulation mode answers bus types the same way.
class UsbBusVolumes : public TWinVolumeQuery {
public:
    std::uint32_t BusType(char16_t) override { return kBusTypeUsb; }
};

TEST(WinUsbDriveManager, DriveAddedAtRunTime) {
    MountedDrive drive;
    if (drive.letter() == 0) GTEST_SKIP() << "no Wine mount manager here";
    const char16_t letter = drive.letter();
    const std::u16string name(1, letter);

    UsbBusVolumes volumes;
    TWinDeviceEject devices;
    TUSBDriveManager manager(volumes, devices);
    ASSERT_NE(volumes.LogicalDrives() & (1u << (letter - u'A')), 0u);
    EXPECT_EQ(volumes.DriveType(letter), kDriveRemovable);
    EXPECT_TRUE(IsRemovableDrive(volumes, letter));
    EXPECT_FALSE(IsTrueCryptVolume(volumes, letter));

    // An empty root is not a drive to share; the error mode comes back either way.
    ::SetErrorMode(SEM_NOOPENFILEERRORBOX);
    std::vector<std::u16string> list;
    manager.GetUsbDrives(list);
    EXPECT_EQ(std::count(list.begin(), list.end(), name), 0);
    EXPECT_EQ(::GetErrorMode(), static_cast<UINT>(SEM_NOOPENFILEERRORBOX));

    dv::testing::WriteBytes(drive.folder().path() / "velmora.conf", "[Share]\r\n");
    list.clear();
    manager.GetUsbDrives(list);
    EXPECT_EQ(std::count(list.begin(), list.end(), name), 1);
    EXPECT_TRUE(manager.areUsbDrivesAvailable({}));
    EXPECT_EQ(::GetErrorMode(), static_cast<UINT>(SEM_NOOPENFILEERRORBOX));
    ::SetErrorMode(0);

    ULARGE_INTEGER total{};
    ASSERT_TRUE(::GetDiskFreeSpaceExW((ToWide(name) + L":\\").c_str(), nullptr, &total, nullptr));
    TUSBDrvInfo info;
    manager.GetUSBDiskDriveInfo(letter, info);
    EXPECT_EQ(info.Capacity, FormatByteSize(u"GB", static_cast<double>(total.QuadPart)));

    dv::testing::WriteBytes(drive.folder().path() / ".windows-label", "Offsite disk");
    ASSERT_TRUE(drive.Replug());
    EXPECT_EQ(volumes.VolumeLabel(letter), u"Offsite disk");
    EXPECT_EQ(manager.GetVolumeLabel(letter), u"OFFSITE DISK");
    manager.GetUSBDiskDriveInfo(letter, info);
    EXPECT_EQ(info.VolLabel, u"OFFSITE DISK");

    EXPECT_TRUE(manager.chageDriveLabel(letter, u"Offsite disk"));  // the same: nothing is set
    ASSERT_TRUE(manager.chageDriveLabel(letter, u"Backup \u00e9t\u00e9"));
    ASSERT_TRUE(drive.Replug());
    EXPECT_EQ(volumes.VolumeLabel(letter), u"Backup \u00e9t\u00e9");
    EXPECT_EQ(manager.GetVolumeLabel(letter), u"BACKUP \u00c9T\u00c9");  // the locale's rules, not only ASCII

    // Wine ejects nothing (its configuration manager has no eject request): a refusal, not a crash.
    EXPECT_FALSE(manager.RemoveDriveByLetter(letter));
}

TEST(WinUsbDriveManager, TheSystemQueriesAnswerWithoutDrives) {
    TUSBDriveManager manager(SystemVolumeQuery(), SystemDeviceEject());
    std::vector<std::u16string> list;
    manager.GetUsbDrives(list);  // whatever the prefix holds; the point is that it answers
    EXPECT_EQ(manager.GetVolumeLabel(u'Q'), u"");  // no such drive
    EXPECT_FALSE(manager.chageDriveLabel(u'Q', u"X"));
    EXPECT_FALSE(manager.RemoveDriveByLetter(u'Q'));
    EXPECT_EQ(SystemVolumeQuery().TotalSize(u'Q'), -1);
}

}  // namespace
}  // namespace dv
