#include "drives/usb_drive_mgmt.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>

namespace dv {
namespace {

struct FakeVolume {
    bool hasEntry = true;
    std::uint32_t bus = kBusTypeUsb;
    std::uint32_t driveType = kDriveRemovable;
    std::optional<std::u16string> dosDevice = u"\\Device\\HarddiskVolume5";
    std::int64_t size = 16'000'000'000;
    std::optional<std::u16string> label = u"Backup";
    bool acceptsLabel = true;
};

// A scripted system: the volumes by letter, and what the error mode was when each query ran.
class FakeVolumes : public IVolumeQuery {
public:
    std::map<char16_t, FakeVolume> volumes;
    std::uint32_t errorMode = 0x8000;  // the caller's own mode, to be put back
    std::vector<std::uint32_t> modesDuringQueries;
    std::vector<std::u16string> labelsSet;
    bool labelQueryThrows = false;

    std::uint32_t LogicalDrives() override {
        std::uint32_t mask = 0;
        for (const auto& [letter, volume] : volumes) mask |= 1u << (letter - u'A');
        return mask;
    }
    std::uint32_t SetErrorMode(std::uint32_t mode) override { return std::exchange(errorMode, mode); }
    bool RootHasEntry(char16_t letter) override {
        modesDuringQueries.push_back(errorMode);
        return at(letter).hasEntry;
    }
    std::uint32_t BusType(char16_t letter) override {
        modesDuringQueries.push_back(errorMode);
        return at(letter).bus;
    }
    std::uint32_t DriveType(char16_t letter) override { return at(letter).driveType; }
    std::optional<std::u16string> DosDeviceName(char16_t letter) override { return at(letter).dosDevice; }
    std::int64_t TotalSize(char16_t letter) override { return at(letter).size; }
    std::optional<std::u16string> VolumeLabel(char16_t letter) override {
        modesDuringQueries.push_back(errorMode);
        if (labelQueryThrows) throw std::runtime_error("device gone");
        return at(letter).label;
    }
    bool ChangeVolumeLabel(char16_t letter, std::u16string_view label) override {
        labelsSet.emplace_back(label);
        if (!at(letter).acceptsLabel) return false;
        at(letter).label = std::u16string(label);
        return true;
    }

    FakeVolume& at(char16_t letter) {
        auto found = volumes.find(letter);
        if (found == volumes.end()) throw std::logic_error("query for a missing drive");
        return found->second;
    }
};

struct FakeInterface {
    std::uint32_t detailSize = 200;
    std::optional<DeviceInterfaceDetail> detail;
};

class FakeDevices : public IDeviceEject {
public:
    std::map<std::u16string, std::int64_t> numbers;  // by path; others answer -1
    std::map<DeviceInterfaceClass, std::vector<FakeInterface>> classes;
    std::vector<DeviceInterfaceClass> classesEnumerated;
    int setsOpen = 0;
    std::optional<std::uint32_t> parent = 900;
    std::deque<std::pair<std::uint32_t, std::uint32_t>> ejectAnswers;  // code, veto type
    std::vector<std::uint32_t> ejected;                                // device instances asked
    std::vector<std::uint32_t> sleeps;

    class Set : public IDeviceInterfaceSet {
    public:
        Set(FakeDevices& owner, std::vector<FakeInterface> list) : owner_(owner), list_(std::move(list)) {
            ++owner_.setsOpen;
        }
        ~Set() override { --owner_.setsOpen; }
        bool Enumerate(std::uint32_t index) override {
            current_ = index;
            return index < list_.size();
        }
        std::uint32_t DetailSize() override { return list_.at(current_).detailSize; }
        std::optional<DeviceInterfaceDetail> ReadDetail(std::uint32_t bufferBytes) override {
            if (list_.at(current_).detailSize > bufferBytes) throw std::logic_error("buffer overrun");
            return list_.at(current_).detail;
        }

    private:
        FakeDevices& owner_;
        std::vector<FakeInterface> list_;
        std::uint32_t current_ = 0;
    };

    std::int64_t DeviceNumber(std::u16string_view path) override {
        auto found = numbers.find(std::u16string(path));
        return found == numbers.end() ? -1 : found->second;
    }
    std::unique_ptr<IDeviceInterfaceSet> PresentInterfaces(DeviceInterfaceClass interfaceClass) override {
        classesEnumerated.push_back(interfaceClass);
        auto found = classes.find(interfaceClass);
        if (found == classes.end()) return nullptr;
        return std::make_unique<Set>(*this, found->second);
    }
    std::optional<std::uint32_t> Parent(std::uint32_t) override { return parent; }
    std::uint32_t RequestEject(std::uint32_t devInst, std::uint32_t& vetoType) override {
        ejected.push_back(devInst);
        if (ejectAnswers.empty()) return 0x17;  // CR_REMOVE_VETOED
        const auto [code, veto] = ejectAnswers.front();
        ejectAnswers.pop_front();
        vetoType = veto;
        return code;
    }
    void Sleep(std::uint32_t milliseconds) override { sleeps.push_back(milliseconds); }
    std::map<std::uint32_t, std::u16string> instanceIds;  // others: the system does not tell
    std::optional<std::u16string> DeviceInstanceId(std::uint32_t devInst) override {
        auto found = instanceIds.find(devInst);
        if (found == instanceIds.end()) return std::nullopt;
        return found->second;
    }
};

class UsbDriveManagerTest : public ::testing::Test {
public:
    FakeVolumes volumes;
    FakeDevices devices;
    TUSBDriveManager manager{volumes, devices};

    std::vector<std::u16string> UsbDrives() {
        std::vector<std::u16string> list;
        manager.GetUsbDrives(list);
        return list;
    }
};

TEST_F(UsbDriveManagerTest, BusTypeDecidesAndUnknownBusFallsBackToRemovableOrTrueCrypt) {
    const struct {
        const char* what;
        FakeVolume volume;
        bool listed;
    } cases[] = {
        {"USB stick", {}, true},
        {"USB hard disk reported as fixed", {.driveType = kDriveFixed}, true},
        {"internal SATA disk reported as removable", {.bus = kBusTypeSata}, false},
        {"SD card slot", {.bus = kBusTypeSd}, false},
        {"ATA disk", {.bus = kBusTypeAta, .driveType = kDriveFixed}, false},
        {"unknown bus, removable", {.bus = kBusTypeUnknown}, true},
        {"unknown bus, fixed", {.bus = kBusTypeUnknown, .driveType = kDriveFixed}, false},
        {"unknown bus, TrueCrypt volume",
         {.bus = kBusTypeUnknown, .driveType = kDriveFixed, .dosDevice = u"\\Device\\TrueCryptVolumeF"},
         true},
        {"TrueCrypt name not at the start",
         {.bus = kBusTypeUnknown, .driveType = kDriveFixed, .dosDevice = u"\\??\\Device\\TrueCryptVolumeF"},
         false},
        {"root lists nothing (empty card reader or blank medium)", {.hasEntry = false}, false},
        {"size unknown", {.size = -1}, false},
        {"size zero", {.size = 0}, false},
    };
    for (const auto& c : cases) {
        volumes.volumes = {{u'E', c.volume}};
        EXPECT_EQ(UsbDrives(), c.listed ? std::vector<std::u16string>{u"E"} : std::vector<std::u16string>{}) << c.what;
    }
}

TEST_F(UsbDriveManagerTest, LettersInOrderFromCAppendedToTheList) {
    volumes.volumes = {{u'A', {}}, {u'B', {}}, {u'Z', {}}, {u'C', {}}, {u'G', {.bus = kBusTypeSata}}, {u'E', {}}};
    std::vector<std::u16string> list{u"X"};
    manager.GetUsbDrives(list);
    EXPECT_EQ(list, (std::vector<std::u16string>{u"X", u"C", u"E", u"Z"}));
}

TEST_F(UsbDriveManagerTest, QueriesRunWithCriticalErrorsSilencedAndTheModeComesBack) {
    volumes.volumes = {{u'E', {}}, {u'F', {.hasEntry = false}}};
    (void)UsbDrives();
    (void)manager.GetVolumeLabel(u'E');
    ASSERT_FALSE(volumes.modesDuringQueries.empty());
    for (std::uint32_t mode : volumes.modesDuringQueries) EXPECT_EQ(mode, kSemFailCriticalErrors);
    EXPECT_EQ(volumes.errorMode, 0x8000u);

    // Also when a query fails on the way.
    volumes.labelQueryThrows = true;
    EXPECT_FALSE(manager.chageDriveLabel(u'E', u"NEW"));
    EXPECT_EQ(volumes.errorMode, 0x8000u);
    EXPECT_TRUE(volumes.labelsSet.empty());
}

TEST_F(UsbDriveManagerTest, AvailableMeansAUsbDriveNotYetAttached) {
    volumes.volumes = {{u'E', {}}, {u'F', {}}, {u'G', {.bus = kBusTypeSata}}};
    EXPECT_TRUE(manager.areUsbDrivesPresent());
    EXPECT_TRUE(manager.areUsbDrivesAvailable({}));
    EXPECT_TRUE(manager.areUsbDrivesAvailable({u"E"}));
    EXPECT_FALSE(manager.areUsbDrivesAvailable({u"e", u"F"}));
    EXPECT_FALSE(manager.areUsbDrivesAvailable({u"G", u"F", u"E"}));
    EXPECT_TRUE(manager.areUsbDrivesAvailable({u"E", u"E", u"G"}));  // one entry removes one letter

    volumes.volumes = {{u'G', {.bus = kBusTypeSata}}};
    EXPECT_FALSE(manager.areUsbDrivesPresent());
    EXPECT_FALSE(manager.areUsbDrivesAvailable({}));
}

TEST_F(UsbDriveManagerTest, LabelsAndCapacity) {
    volumes.volumes = {{u'E', {.label = u"Sicherung \u00e4"}}, {u'F', {.size = -1, .label = std::nullopt}}};
    EXPECT_EQ(manager.GetVolumeLabel(u'E'), u"SICHERUNG \u00c4");
    TUSBDrvInfo info;
    manager.GetUSBDiskDriveInfo(u'E', info);
    EXPECT_EQ(info.VolLabel, u"SICHERUNG \u00c4");
    EXPECT_EQ(info.Capacity, u"15 Gb");
    manager.GetUSBDiskDriveInfo(u'F', info);
    EXPECT_EQ(info.VolLabel, u"");
    EXPECT_EQ(info.Capacity, u"0 Gb");
}

TEST_F(UsbDriveManagerTest, ChangeLabelSetsOnlyWhatDiffers) {
    volumes.volumes = {{u'E', {.label = u"Backup"}}, {u'F', {.label = std::nullopt}}};
    EXPECT_TRUE(manager.chageDriveLabel(u'E', u"Backup"));
    EXPECT_TRUE(volumes.labelsSet.empty());

    EXPECT_TRUE(manager.chageDriveLabel(u'E', u"BACKUP"));  // case counts
    EXPECT_EQ(volumes.labelsSet, std::vector<std::u16string>{u"BACKUP"});

    EXPECT_TRUE(manager.chageDriveLabel(u'F', u"Offsite"));  // unreadable label reads as empty

    volumes.at(u'E').acceptsLabel = false;  // too long, write-protected...
    EXPECT_FALSE(manager.chageDriveLabel(u'E', u"A VERY LONG LABEL FOR FAT"));
    EXPECT_FALSE(manager.chageDriveLabel(0, u"X"));
}

// The eject: E: is device number 2 among three disks.
class RemoveDriveTest : public UsbDriveManagerTest {
public:
    void SetUp() override {
        volumes.volumes = {{u'E', {}}};
        devices.numbers = {{u"\\\\.\\E:", 2}, {u"disk0", 0}, {u"disk1", 1}, {u"disk2", 2}, {u"floppy0", 2}};
        devices.classes[DeviceInterfaceClass::Disk] = {
            {200, DeviceInterfaceDetail{u"disk0", 100}},
            {200, DeviceInterfaceDetail{u"disk1", 101}},
            {200, DeviceInterfaceDetail{u"disk2", 102}},
        };
        devices.classes[DeviceInterfaceClass::Floppy] = {{200, DeviceInterfaceDetail{u"floppy0", 300}}};
    }
};

TEST_F(RemoveDriveTest, EjectAttempts) {
    const struct {
        const char* what;
        std::deque<std::pair<std::uint32_t, std::uint32_t>> answers;
        bool result;
        std::size_t attempts;
    } cases[] = {
        {"accepted at once", {{kCrSuccess, 0}}, true, 1},
        {"refused, then accepted", {{0x17, 5}, {kCrSuccess, 0}}, true, 2},
        {"refused three times", {{0x17, 5}, {0x17, 5}, {0x17, 5}}, false, 3},
        {"accepted with a veto, then accepted", {{kCrSuccess, 6}, {kCrSuccess, 0}}, true, 2},
        {"no eject request on this system",
         {{kCrCallNotImplemented, 0}, {kCrCallNotImplemented, 0}, {kCrCallNotImplemented, 0}},
         false,
         3},
    };
    for (const auto& c : cases) {
        devices.ejectAnswers = c.answers;
        devices.ejected.clear();
        devices.sleeps.clear();
        EXPECT_EQ(manager.RemoveDriveByLetter(u'E'), c.result) << c.what;
        EXPECT_EQ(devices.ejected, std::vector<std::uint32_t>(c.attempts, 900u)) << c.what;  // the parent
        // A wait after each refused attempt, the last one included.
        EXPECT_EQ(devices.sleeps, std::vector<std::uint32_t>(c.result ? c.attempts - 1 : c.attempts, 500u)) << c.what;
        EXPECT_EQ(devices.setsOpen, 0) << c.what;
    }
}

TEST_F(RemoveDriveTest, FindsTheDeviceByNumberInTheRightClass) {
    devices.ejectAnswers = {{kCrSuccess, 0}};
    ASSERT_TRUE(manager.RemoveDriveByLetter(u'E'));
    EXPECT_EQ(devices.classesEnumerated, std::vector<DeviceInterfaceClass>{DeviceInterfaceClass::Disk});

    // A floppy drive is looked for among floppies.
    volumes.at(u'E').dosDevice = u"\\Device\\Floppy0";
    devices.classesEnumerated.clear();
    devices.ejectAnswers = {{kCrSuccess, 0}};
    devices.parent = 901;
    ASSERT_TRUE(manager.RemoveDriveByLetter(u'E'));
    EXPECT_EQ(devices.classesEnumerated, std::vector<DeviceInterfaceClass>{DeviceInterfaceClass::Floppy});
}

TEST_F(RemoveDriveTest, NothingIsEjectedWhenTheDeviceCannotBeFound) {
    const struct {
        const char* what;
        std::function<void(RemoveDriveTest&)> arrange;
        bool enumerates;
    } cases[] = {
        {"volume cannot be opened or gives no number",
         [](RemoveDriveTest& t) { t.devices.numbers.erase(u"\\\\.\\E:"); }, false},
        {"no DOS device name", [](RemoveDriveTest& t) { t.volumes.at(u'E').dosDevice.reset(); }, false},
        {"network drive", [](RemoveDriveTest& t) { t.volumes.at(u'E').driveType = kDriveRemote; }, false},
        {"RAM disk", [](RemoveDriveTest& t) { t.volumes.at(u'E').driveType = kDriveRamDisk; }, false},
        {"no interface set", [](RemoveDriveTest& t) { t.devices.classes.clear(); }, true},
        {"own interface needs a detail over 1024 bytes",
         [](RemoveDriveTest& t) { t.devices.classes[DeviceInterfaceClass::Disk][2].detailSize = 1025; }, true},
        {"own interface gives no detail size",
         [](RemoveDriveTest& t) { t.devices.classes[DeviceInterfaceClass::Disk][2].detailSize = 0; }, true},
        {"own interface detail cannot be read",
         [](RemoveDriveTest& t) { t.devices.classes[DeviceInterfaceClass::Disk][2].detail.reset(); }, true},
        {"own interface cannot be opened", [](RemoveDriveTest& t) { t.devices.numbers.erase(u"disk2"); }, true},
        {"no parent device", [](RemoveDriveTest& t) { t.devices.parent.reset(); }, true},
    };
    for (const auto& c : cases) {
        SetUp();
        volumes.at(u'E') = FakeVolume{};
        devices.parent = 900;
        devices.classesEnumerated.clear();
        devices.ejected.clear();
        devices.ejectAnswers = {{kCrSuccess, 0}};
        c.arrange(*this);
        EXPECT_FALSE(manager.RemoveDriveByLetter(u'E')) << c.what;
        EXPECT_TRUE(devices.ejected.empty()) << c.what;
        EXPECT_EQ(!devices.classesEnumerated.empty(), c.enumerates) << c.what;
        EXPECT_EQ(devices.setsOpen, 0) << c.what;
    }
}

// The system log names a refusal by the device's instance ID: a refused eject hands over those of the
// device asked to leave and of the disk on it; an eject that never reached the system none.
TEST_F(RemoveDriveTest, RefusedEjectNamesItsDevices) {
    const std::u16string usb = u"USB\\VID_0781&PID_5567\\4C530001";
    const std::u16string disk = u"USBSTOR\\DISK&VEN_SANDISK\\4C530001&0";
    const struct {
        const char* what;
        std::deque<std::pair<std::uint32_t, std::uint32_t>> answers;
        std::map<std::uint32_t, std::u16string> ids;
        bool result;
        std::vector<std::u16string> refused;
    } cases[] = {
        {"refused", {}, {{900, usb}, {102, disk}}, false, {usb, disk}},
        {"refused, the disk's ID unknown", {}, {{900, usb}}, false, {usb}},
        {"accepted", {{kCrSuccess, 0}}, {{900, usb}, {102, disk}}, true, {}},
        {"no eject request on this system",
         {{kCrCallNotImplemented, 0}, {kCrCallNotImplemented, 0}, {kCrCallNotImplemented, 0}},
         {{900, usb}, {102, disk}},
         false,
         {}},
    };
    for (const auto& c : cases) {
        devices.ejectAnswers = c.answers;
        devices.instanceIds = c.ids;
        std::vector<std::u16string> refused{u"left over from before"};
        EXPECT_EQ(manager.RemoveDriveByLetter(u'E', refused), c.result) << c.what;
        EXPECT_EQ(refused, c.refused) << c.what;
    }
    devices.numbers.erase(u"disk2");  // the drive's device is not found: nothing was asked
    std::vector<std::u16string> refused;
    EXPECT_FALSE(manager.RemoveDriveByLetter(u'E', refused));
    EXPECT_TRUE(refused.empty());
}

TEST_F(RemoveDriveTest, InterfaceOverTheBufferIsSkippedAndTheSearchGoesOn) {
    // Another disk's oversized interface comes first; the drive's own one is still found.
    devices.classes[DeviceInterfaceClass::Disk][0].detailSize = 4096;
    devices.ejectAnswers = {{kCrSuccess, 0}};
    EXPECT_TRUE(manager.RemoveDriveByLetter(u'E'));
}

TEST_F(RemoveDriveTest, OnlyUpperCaseLettersAreDrives) {
    for (char16_t letter : {u'e', u'@', u'[', char16_t{0}, u'1'}) {
        EXPECT_FALSE(manager.RemoveDriveByLetter(letter)) << static_cast<int>(letter);
    }
    EXPECT_TRUE(devices.ejected.empty());
}

TEST(InterfaceClassFor, ByDriveTypeAndDosDeviceName) {
    EXPECT_EQ(InterfaceClassFor(kDriveRemovable, u"\\Device\\Floppy0"), DeviceInterfaceClass::Floppy);
    EXPECT_EQ(InterfaceClassFor(kDriveRemovable, u"\\Device\\HarddiskVolume3"), DeviceInterfaceClass::Disk);
    EXPECT_EQ(InterfaceClassFor(kDriveFixed, u"\\Device\\Floppy0"), DeviceInterfaceClass::Disk);
    EXPECT_EQ(InterfaceClassFor(kDriveCdRom, u"\\Device\\CdRom0"), DeviceInterfaceClass::CdRom);
    for (std::uint32_t type : {0u, kDriveNoRootDir, kDriveRemote, kDriveRamDisk}) {
        EXPECT_EQ(InterfaceClassFor(type, u""), std::nullopt) << type;
    }
}

}  // namespace
}  // namespace dv
