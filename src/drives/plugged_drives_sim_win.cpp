#include "drives/plugged_drives_sim_win.h"

#include <cstring>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "accounts/accounts_store_sim.h"
#include "drives/usb_drive_mgmt.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/handles_win.h"
#include "platform/text.h"
#include "platform/windows_include.h"
#include "platform/wine_drives_win.h"

#include <dbt.h>
#include <winioctl.h>

namespace dv {
namespace {

constexpr DWORD kLockWaitMs = 10000;
// Long enough for Dockvane to share a drive inside its handler: whoever plugs a drive in then knows
// that it has been dealt with when the broadcast returns.
constexpr UINT kBroadcastTimeoutMs = 15000;

// Sim devices: disk instances and their parents in ranges the configuration manager does not hand
// out, device numbers above any real disk's.
constexpr std::uint32_t kSimDiskInstanceBase = 0x7E000000;
constexpr std::uint32_t kSimParentInstanceBase = 0x7F000000;
constexpr std::int64_t kSimDeviceNumberBase = 0x7D000000;

std::u16string DriveName(char16_t letter) {
    return TDriveLetter(letter).Device();
}

bool LetterInUse(char16_t letter) {
    return (::GetLogicalDrives() & (1u << (letter - u'A'))) != 0;
}

bool UnderWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name") != nullptr;
}

char16_t CheckedLetter(char16_t letter) {
    letter = FoldCase(letter);
    if (letter < u'C' || letter > u'Z') throw Exception(u"USB drives use the letters C to Z.");
    return letter;
}

std::u16string SimDevicePath(char16_t letter) {
    return u"\\\\?\\dockvane-sim#disk#" + std::u16string(1, letter);
}

// The sim drive a device path names: "\\.\E:" or a sim interface path; 0 for any other.
char16_t SimLetterOfPath(std::u16string_view path) {
    const std::u16string_view volumePrefix = u"\\\\.\\";
    if (path.starts_with(volumePrefix)) return DriveLetterOf(path.substr(volumePrefix.size()));
    const std::u16string prefix = SimDevicePath(u'?');
    if (path.size() == prefix.size() && path.substr(0, prefix.size() - 1) == prefix.substr(0, prefix.size() - 1)) {
        return DriveLetterOf(path.substr(prefix.size() - 1));
    }
    return 0;
}

// The sim drives' interfaces first, then the real ones of the class.
class SimInterfaceSet : public IDeviceInterfaceSet {
public:
    SimInterfaceSet(std::vector<char16_t> letters, std::unique_ptr<IDeviceInterfaceSet> real)
        : letters_(std::move(letters)), real_(std::move(real)) {}

    bool Enumerate(std::uint32_t index) override {
        current_ = index;
        if (index < letters_.size()) return true;
        return real_ && real_->Enumerate(index - static_cast<std::uint32_t>(letters_.size()));
    }
    std::uint32_t DetailSize() override {
        if (current_ < letters_.size()) return 256;
        return real_ ? real_->DetailSize() : 0;
    }
    std::optional<DeviceInterfaceDetail> ReadDetail(std::uint32_t bufferBytes) override {
        if (current_ < letters_.size()) {
            const char16_t letter = letters_[current_];
            return DeviceInterfaceDetail{SimDevicePath(letter), kSimDiskInstanceBase + (letter - u'A')};
        }
        return real_ ? real_->ReadDetail(bufferBytes) : std::nullopt;
    }

private:
    std::vector<char16_t> letters_;
    std::unique_ptr<IDeviceInterfaceSet> real_;
    std::uint32_t current_ = 0;
};

void BroadcastOnThisDesktop(std::uint32_t event, char16_t letter) {
    DEV_BROADCAST_VOLUME record{};
    record.dbcv_size = sizeof(record);
    record.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    record.dbcv_unitmask = 1u << (FoldCase(letter) - u'A');
    // A hung window costs nothing; a busy one gets its time to handle the drive.
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(HWND_BROADCAST, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&record), SMTO_ABORTIFHUNG,
                          kBroadcastTimeoutMs, &result);
}

struct DesktopBroadcast {
    std::uint32_t event = 0;
    char16_t letter = 0;
    UniqueDesktop desktop;
};

DWORD WINAPI BroadcastOnDesktop(void* argument) {
    const auto* job = static_cast<const DesktopBroadcast*>(argument);
    // A fresh thread owns no window yet, so it may change its desktop.
    if (!::SetThreadDesktop(job->desktop.get())) return 1;
    BroadcastOnThisDesktop(job->event, job->letter);
    return 0;
}

// Broadcasts on every desktop of the station, which is the process's own for the time; false when
// none of them could be opened.
bool BroadcastOnDesktopsOf(HWINSTA station, std::uint32_t event, char16_t letter) {
    std::vector<std::wstring> names;
    ::EnumDesktopsW(
        station,
        [](LPWSTR name, LPARAM list) -> BOOL {
            reinterpret_cast<std::vector<std::wstring>*>(list)->push_back(name);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&names));
    std::vector<std::unique_ptr<DesktopBroadcast>> jobs;
    for (const std::wstring& name : names) {
        auto job = std::make_unique<DesktopBroadcast>();
        job->event = event;
        job->letter = letter;
        job->desktop.reset(::OpenDesktopW(name.c_str(), 0, FALSE, GENERIC_ALL));
        if (job->desktop) jobs.push_back(std::move(job));
    }
    if (jobs.empty()) return false;
    std::vector<UniqueKernelHandle> owners;
    std::vector<HANDLE> threads;
    for (auto& job : jobs) {
        if (HANDLE thread = ::CreateThread(nullptr, 0, &BroadcastOnDesktop, job.get(), 0, nullptr)) {
            owners.emplace_back(thread);
            threads.push_back(thread);
        } else {
            BroadcastOnThisDesktop(event, letter);
        }
    }
    if (!threads.empty()) {
        ::WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
    }
    return true;
}

struct Announcement {
    std::uint32_t event;
    char16_t letter;
};

DWORD WINAPI AnnounceLater(void* argument) {
    std::unique_ptr<Announcement> announcement(static_cast<Announcement*>(argument));
    BroadcastVolumeChange(announcement->event, announcement->letter);
    return 0;
}

}  // namespace

void WithSimulationLock(const std::function<void()>& transaction) {
    const UniqueKernelHandle mutex(::CreateMutexW(nullptr, FALSE, L"DockvaneSimulationState"));
    if (!mutex) throw EOSError(u"The simulation's lock cannot be made.", ::GetLastError());
    const DWORD waited = ::WaitForSingleObject(mutex.get(), kLockWaitMs);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        throw EOSError(u"The simulation's files stay busy.", waited == WAIT_TIMEOUT ? WAIT_TIMEOUT : ::GetLastError());
    }
    struct Release {
        HANDLE mutex;
        ~Release() { ::ReleaseMutex(mutex); }
    } release{mutex.get()};
    transaction();
}

void BroadcastVolumeChange(std::uint32_t event, char16_t letter) {
    // HWND_BROADCAST reaches the windows of the sender's desktop only, and a program may run on a
    // desktop of its own (Wine's virtual desktops are such) or in a window station of its own (Wine
    // starts services in one). Each window station is made the process's own for as long as its
    // desktops are reached, since a thread takes a desktop of its process's window station only; one
    // thread per desktop switches to it and broadcasts there, as the system reaches every desktop.
    std::vector<std::wstring> stations;
    ::EnumWindowStationsW(
        [](LPWSTR name, LPARAM list) -> BOOL {
            reinterpret_cast<std::vector<std::wstring>*>(list)->push_back(name);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&stations));
    HWINSTA own = ::GetProcessWindowStation();
    bool reached = false;
    for (const std::wstring& name : stations) {
        HWINSTA station = ::OpenWindowStationW(name.c_str(), FALSE, WINSTA_ENUMDESKTOPS);
        if (station == nullptr) continue;
        if (::SetProcessWindowStation(station)) {
            reached = BroadcastOnDesktopsOf(station, event, letter) || reached;
            ::SetProcessWindowStation(own);
        }
        ::CloseWindowStation(station);
    }
    if (!reached) BroadcastOnThisDesktop(event, letter);
}

// --- The bay ---

void TSimDriveBay::Plug(char16_t letter, const std::u16string& folder) {
    letter = CheckedLetter(letter);
    if (folder.find_first_of(u"\t\r\n") != std::u16string::npos)
        throw Exception(u"A folder name with a tab or line break cannot be a drive.");
    const bool wine = UnderWine();
    std::u16string windowsPath = folder;
    std::string hostPath;
    if (wine) {
        hostPath = folder.starts_with(u'/') ? ToUtf8(folder) : WineHostPathOf(folder);
        if (folder.starts_with(u'/')) windowsPath = WineWindowsPathOf(hostPath);
        if (hostPath.empty()) throw Exception(u"The folder " + folder + u" has no host path.");
    }
    if (windowsPath.empty() || !fs::DirectoryExists(windowsPath)) {
        throw Exception(u"The folder " + folder + u" does not exist.");
    }
    WithSimulationLock([&] {
        TPluggedDrives drives = LoadPluggedDrives(folder_);
        if (drives.contains(letter)) throw Exception(u"Drive " + DriveName(letter) + u" is already plugged in.");
        if (LetterInUse(letter)) throw Exception(u"Drive " + DriveName(letter) + u" is already in use.");
        TSimAccountsStore(folder_, WithSimulationLock).Change([&](TSimAccounts& state) {
            ForgetFolderRights(state, letter);
        });
        // Recorded as USB before it appears, so that nobody sees it as another kind of drive.
        drives[letter] = wine ? FromUtf8(hostPath) : windowsPath;
        SavePluggedDrives(folder_, drives);
        const bool defined =
            wine ? DefineWineDrive(letter, DRIVE_REMOVABLE, hostPath)
                 : ::DefineDosDeviceW(0, ToWide(DriveName(letter)).c_str(), ToWide(windowsPath).c_str()) != FALSE;
        if (!defined) {
            drives.erase(letter);
            SavePluggedDrives(folder_, drives);
            throw Exception(u"The system refused to make drive " + DriveName(letter) + u".");
        }
    });
}

void TSimDriveBay::Unplug(char16_t letter) {
    letter = CheckedLetter(letter);
    WithSimulationLock([&] {
        TPluggedDrives drives = LoadPluggedDrives(folder_);
        const auto drive = drives.find(letter);
        if (drive == drives.end()) {
            throw Exception(u"Drive " + DriveName(letter) + u" was not plugged in by the simulation.");
        }
        // A letter that is gone already (the Wine server restarted) only leaves the list.
        if (LetterInUse(letter)) {
            const bool removed =
                drive->second.starts_with(u'/')
                    ? DefineWineDrive(letter, DRIVE_NO_ROOT_DIR, "")
                    : ::DefineDosDeviceW(DDD_REMOVE_DEFINITION, ToWide(DriveName(letter)).c_str(), nullptr) != FALSE;
            if (!removed) throw Exception(u"The system refused to remove drive " + DriveName(letter) + u".");
        }
        drives.erase(drive);
        SavePluggedDrives(folder_, drives);
    });
}

void TSimDriveBay::Block(char16_t letter, const std::u16string& process, std::uint32_t processId) {
    letter = CheckedLetter(letter);
    WithSimulationLock([&] {
        if (!LoadPluggedDrives(folder_).contains(letter)) {
            throw Exception(u"Drive " + DriveName(letter) + u" was not plugged in by the simulation.");
        }
        TSimEjectBlocks blocks = LoadEjectBlocks(folder_);
        blocks[letter] = {process, processId, kEjectAttempts};
        SaveEjectBlocks(folder_, blocks);
    });
}

TPluggedDrives TSimDriveBay::Drives() const {
    try {
        return LoadPluggedDrives(folder_);
    } catch (const Exception&) {
        return {};
    }
}

bool TSimDriveBay::IsPlugged(char16_t letter) const {
    return Drives().contains(FoldCase(letter));
}

// --- Volume and device queries ---

std::uint32_t TSimVolumeQuery::BusType(char16_t letter) {
    return bay_.IsPlugged(letter) ? kBusTypeUsb : TWinVolumeQuery::BusType(letter);
}

std::optional<std::u16string> TSimVolumeQuery::DosDeviceName(char16_t letter) {
    std::optional<std::u16string> name = TWinVolumeQuery::DosDeviceName(letter);
    // A folder drive may have no device behind it; the eject still needs to find one.
    if (!name && bay_.IsPlugged(letter)) name = u"\\Device\\DockvaneSimDisk" + std::u16string(1, FoldCase(letter));
    return name;
}

std::int64_t TSimDeviceEject::DeviceNumber(std::u16string_view path) {
    const char16_t letter = SimLetterOfPath(path);
    if (letter != 0 && bay_.IsPlugged(letter)) return kSimDeviceNumberBase + (letter - u'A');
    return TWinDeviceEject::DeviceNumber(path);
}

std::unique_ptr<IDeviceInterfaceSet> TSimDeviceEject::PresentInterfaces(DeviceInterfaceClass interfaceClass) {
    std::vector<char16_t> letters;
    if (interfaceClass != DeviceInterfaceClass::CdRom) {
        for (const auto& [letter, folder] : bay_.Drives()) letters.push_back(letter);
    }
    return std::make_unique<SimInterfaceSet>(std::move(letters), TWinDeviceEject::PresentInterfaces(interfaceClass));
}

std::optional<std::uint32_t> TSimDeviceEject::Parent(std::uint32_t devInst) {
    if (devInst >= kSimDiskInstanceBase && devInst < kSimDiskInstanceBase + 26) {
        return devInst - kSimDiskInstanceBase + kSimParentInstanceBase;
    }
    return TWinDeviceEject::Parent(devInst);
}

std::uint32_t TSimDeviceEject::RequestEject(std::uint32_t devInst, std::uint32_t& vetoType) {
    if (devInst < kSimParentInstanceBase || devInst >= kSimParentInstanceBase + 26) {
        return TWinDeviceEject::RequestEject(devInst, vetoType);
    }
    const auto letter = static_cast<char16_t>(u'A' + (devInst - kSimParentInstanceBase));
    if (!bay_.IsPlugged(letter)) return kCrNoSuchDevnode;
    if (Refuses(letter)) {
        vetoType = kPnpVetoOutstandingOpen;
        return kCrRemoveVetoed;
    }
    try {
        bay_.Unplug(letter);
    } catch (const Exception&) {
        vetoType = kPnpVetoDevice;
        return kCrRemoveVetoed;
    }
    // The system announces a removal after the eject has returned, from outside the program: a
    // thread of its own sends it, and the program's window gets it once its thread is free again.
    // Nobody waits for the thread; its handle is closed at once.
    auto* announcement = new Announcement{kDbtDeviceRemoveComplete, letter};
    if (HANDLE thread = ::CreateThread(nullptr, 0, &AnnounceLater, announcement, 0, nullptr)) {
        ::CloseHandle(thread);
    } else {
        delete announcement;
    }
    return kCrSuccess;
}

bool TSimDeviceEject::Refuses(char16_t letter) {
    bool refused = false;
    try {
        WithSimulationLock([&] {
            TSimEjectBlocks blocks = LoadEjectBlocks(bay_.Folder());
            const auto block = blocks.find(letter);
            if (block == blocks.end()) return;
            refused = true;
            // As the system does, every refused request leaves its event.
            AppendSimEvent(bay_.Folder(), RenderRefusalEvent(DeviceInstanceOf(letter), block->second.Process,
                                                             block->second.ProcessId, TSimEventLog(bay_).Now()));
            if (--block->second.AttemptsLeft <= 0) blocks.erase(block);
            SaveEjectBlocks(bay_.Folder(), blocks);
        });
    } catch (const Exception&) {
        // State that cannot be read or written blocks nothing.
    }
    return refused;
}

std::u16string TSimDeviceEject::DeviceInstanceOf(char16_t letter) {
    return u"USB\\VID_1D6B&PID_D0CC\\DOCKVANESIM" + std::u16string(1, FoldCase(letter));
}

std::optional<std::u16string> TSimDeviceEject::DeviceInstanceId(std::uint32_t devInst) {
    if (devInst >= kSimParentInstanceBase && devInst < kSimParentInstanceBase + 26) {
        return DeviceInstanceOf(static_cast<char16_t>(u'A' + (devInst - kSimParentInstanceBase)));
    }
    if (devInst >= kSimDiskInstanceBase && devInst < kSimDiskInstanceBase + 26) {
        return u"USBSTOR\\DISK&VEN_DOCKVANE&PROD_SIM\\DOCKVANESIM" +
               std::u16string(1, static_cast<char16_t>(u'A' + (devInst - kSimDiskInstanceBase))) + u"&0";
    }
    return TWinDeviceEject::DeviceInstanceId(devInst);
}

// --- The simulation's log ---

std::int64_t TSimEventLog::Now() {
    // The simulated log keeps the system log's clock.
    return SystemEjectBlockers().Now();
}

std::vector<std::u16string> TSimEventLog::RefusalEvents(std::int64_t) {
    try {
        return LoadSimEvents(bay_.Folder());
    } catch (const Exception&) {
        return {};
    }
}

}  // namespace dv
