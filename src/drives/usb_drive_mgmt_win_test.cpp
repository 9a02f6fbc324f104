// The drive manager on a drive letter that Wine's mount manager adds while the test runs, the way a
// USB stick appears. Skipped away from Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "drives/byte_size.h"
#include "drives/plugged_drives_sim_win.h"
#include "drives/usb_drive_mgmt.h"
#include "drives/volume_query_win.h"
#include "platform/handles_win.h"
#include "platform/text.h"
#include "platform/windows_include.h"
#include "testing/temp_folder.h"

#include <winioctl.h>

namespace dv {
namespace {

bool DefineUnixDrive(wchar_t letter, UINT type, const std::string& hostPath) {
    return DefineWineDrive(static_cast<char16_t>(letter), type, hostPath);
}

std::string UnixPathOf(const std::u16string& windowsPath) {
    return WineHostPathOf(windowsPath);
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
    manager.GetUsbDrives(list);                    // whatever the prefix holds; the point is that it answers
    EXPECT_EQ(manager.GetVolumeLabel(u'Q'), u"");  // no such drive
    EXPECT_FALSE(manager.chageDriveLabel(u'Q', u"X"));
    EXPECT_FALSE(manager.RemoveDriveByLetter(u'Q'));
    EXPECT_EQ(SystemVolumeQuery().TotalSize(u'Q'), -1);
}

}  // namespace
}  // namespace dv
