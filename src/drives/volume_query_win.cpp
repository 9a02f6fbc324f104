#include "drives/volume_query_win.h"

#include <cstddef>
#include <cwctype>
#include <utility>
#include <vector>

#include "platform/handles_win.h"
#include "platform/windows_include.h"

#include <cfgmgr32.h>
#include <setupapi.h>
#include <winioctl.h>

namespace dv {

// The portable side carries these system values as plain numbers.
static_assert(kDriveNoRootDir == DRIVE_NO_ROOT_DIR);
static_assert(kDriveRemovable == DRIVE_REMOVABLE);
static_assert(kDriveFixed == DRIVE_FIXED);
static_assert(kDriveRemote == DRIVE_REMOTE);
static_assert(kDriveCdRom == DRIVE_CDROM);
static_assert(kDriveRamDisk == DRIVE_RAMDISK);
static_assert(kBusTypeUnknown == BusTypeUnknown);
static_assert(kBusTypeScsi == BusTypeScsi);
static_assert(kBusTypeAta == BusTypeAta);
static_assert(kBusTypeUsb == BusTypeUsb);
static_assert(kBusTypeSata == BusTypeSata);
static_assert(kBusTypeSd == BusTypeSd);
static_assert(kSemFailCriticalErrors == SEM_FAILCRITICALERRORS);
static_assert(kCrSuccess == CR_SUCCESS);
static_assert(kCrNoSuchDevnode == CR_NO_SUCH_DEVNODE);
static_assert(kCrCallNotImplemented == CR_CALL_NOT_IMPLEMENTED);
static_assert(kPnpVetoTypeUnknown == PNP_VetoTypeUnknown);
static_assert(kCrRemoveVetoed == CR_REMOVE_VETOED);
static_assert(kPnpVetoDevice == PNP_VetoDevice);
static_assert(kPnpVetoOutstandingOpen == PNP_VetoOutstandingOpen);
namespace {

std::wstring Root(char16_t letter) {
    return std::wstring(1, static_cast<wchar_t>(letter)) + L":\\";
}

std::wstring Device(char16_t letter) {
    return std::wstring(1, static_cast<wchar_t>(letter)) + L":";
}

UniqueFileHandle OpenForQueries(const std::wstring& path) {
    // Access 0: the device answers queries without the volume being opened for reading, which
    // needs no rights and does not disturb a drive in use.
    return UniqueFileHandle(
        ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
}

// The interface classes of storage devices (ntddstor.h); spelled out here so that no GUID library
// is needed.
const GUID kGuidDevInterfaceDisk = {0x53f56307, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
const GUID kGuidDevInterfaceCdRom = {0x53f56308, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
const GUID kGuidDevInterfaceFloppy = {0x53f56311, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};

const GUID& GuidOf(DeviceInterfaceClass interfaceClass) {
    switch (interfaceClass) {
        case DeviceInterfaceClass::Floppy: return kGuidDevInterfaceFloppy;
        case DeviceInterfaceClass::CdRom: return kGuidDevInterfaceCdRom;
        case DeviceInterfaceClass::Disk:
        default: return kGuidDevInterfaceDisk;
    }
}

struct DeviceInfoListTraits {
    using Handle = HDEVINFO;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) noexcept { ::SetupDiDestroyDeviceInfoList(handle); }
};

class WinInterfaceSet : public IDeviceInterfaceSet {
public:
    WinInterfaceSet(UniqueHandle<DeviceInfoListTraits> set, const GUID& guid) : set_(std::move(set)), guid_(guid) {}

    bool Enumerate(std::uint32_t index) override {
        current_ = SP_DEVICE_INTERFACE_DATA{};
        current_.cbSize = sizeof(current_);
        return ::SetupDiEnumDeviceInterfaces(set_.get(), nullptr, &guid_, index, &current_) != FALSE;
    }

    std::uint32_t DetailSize() override {
        DWORD size = 0;
        ::SetupDiGetDeviceInterfaceDetailW(set_.get(), &current_, nullptr, 0, &size, nullptr);
        return size;
    }

    std::optional<DeviceInterfaceDetail> ReadDetail(std::uint32_t bufferBytes) override {
        // DWORD-aligned storage: the detail record's cbSize is followed by the path.
        std::vector<DWORD> buffer((bufferBytes + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof(info);
        if (!::SetupDiGetDeviceInterfaceDetailW(set_.get(), &current_, detail, bufferBytes, nullptr, &info)) {
            return std::nullopt;
        }
        const std::size_t maxChars =
            (bufferBytes - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(wchar_t);
        const std::wstring_view path(detail->DevicePath, ::wcsnlen(detail->DevicePath, maxChars));
        return DeviceInterfaceDetail{FromWide(path), info.DevInst};
    }

private:
    UniqueHandle<DeviceInfoListTraits> set_;
    GUID guid_;
    SP_DEVICE_INTERFACE_DATA current_{};
};

// cfgmgr32's entries, looked up when first needed. Wine's cfgmgr32 has no CM_Request_Device_EjectW,
// and a program that imports it does not even start there, so nothing of it is imported.
using CmGetParentFn = DWORD(WINAPI*)(DWORD* parent, DWORD devInst, ULONG flags);
using CmRequestDeviceEjectFn = DWORD(WINAPI*)(DWORD devInst, int* vetoType, wchar_t* vetoName, ULONG nameLength,
                                              ULONG flags);
using CmGetDeviceIdFn = DWORD(WINAPI*)(DWORD devInst, wchar_t* buffer, ULONG length, ULONG flags);

struct ConfigManager {
    CmGetParentFn getParent = nullptr;
    CmRequestDeviceEjectFn requestEject = nullptr;
    CmGetDeviceIdFn getDeviceId = nullptr;

    static const ConfigManager& Get() {
        static const ConfigManager instance = [] {
            ConfigManager cm;
            // Loaded once and kept for the run: the functions stay valid as long as the module does.
            HMODULE module = ::LoadLibraryExW(L"cfgmgr32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
            if (module == nullptr) return cm;
            cm.getParent =
                reinterpret_cast<CmGetParentFn>(reinterpret_cast<void*>(::GetProcAddress(module, "CM_Get_Parent")));
            cm.requestEject = reinterpret_cast<CmRequestDeviceEjectFn>(
                reinterpret_cast<void*>(::GetProcAddress(module, "CM_Request_Device_EjectW")));
            cm.getDeviceId = reinterpret_cast<CmGetDeviceIdFn>(
                reinterpret_cast<void*>(::GetProcAddress(module, "CM_Get_Device_IDW")));
            return cm;
        }();
        return instance;
    }
};

}  // namespace

std::uint32_t TWinVolumeQuery::LogicalDrives() {
    return ::GetLogicalDrives();
}

std::uint32_t TWinVolumeQuery::SetErrorMode(std::uint32_t mode) {
    return ::SetErrorMode(mode);
}

bool TWinVolumeQuery::RootHasEntry(char16_t letter) {
    const std::wstring pattern = Device(letter) + L"\\*.*";
    WIN32_FIND_DATAW data{};
    HANDLE search = ::FindFirstFileW(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return false;
    ::FindClose(search);
    return true;
}

std::uint32_t TWinVolumeQuery::BusType(char16_t letter) {
    const std::wstring path = L"\\\\.\\" + std::wstring(1, static_cast<wchar_t>(std::towlower(letter))) + L":";
    const UniqueFileHandle volume = OpenForQueries(path);
    if (!volume) return kBusTypeUnknown;
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    // Aligned for the descriptor that comes back at its start.
    alignas(STORAGE_DEVICE_DESCRIPTOR) unsigned char buffer[1024] = {};
    DWORD returned = 0;
    if (!::DeviceIoControl(volume.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), buffer, sizeof(buffer),
                           &returned, nullptr)) {
        return kBusTypeUnknown;
    }
    if (returned < offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof(STORAGE_BUS_TYPE)) return kBusTypeUnknown;
    return static_cast<std::uint32_t>(reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(buffer)->BusType);
}

std::uint32_t TWinVolumeQuery::DriveType(char16_t letter) {
    // The root with its backslash: without it the answer is about the current folder's drive.
    // https://learn.microsoft.com/windows/win32/api/fileapi/nf-fileapi-getdrivetypew
    return ::GetDriveTypeW(Root(letter).c_str());
}

std::optional<std::u16string> TWinVolumeQuery::DosDeviceName(char16_t letter) {
    wchar_t target[MAX_PATH + 1] = {};
    if (::QueryDosDeviceW(Device(letter).c_str(), target, MAX_PATH + 1) == 0) return std::nullopt;
    return FromWide(target);  // the first of the targets
}

std::int64_t TWinVolumeQuery::TotalSize(char16_t letter) {
    ULARGE_INTEGER total{};
    if (!::GetDiskFreeSpaceExW(Root(letter).c_str(), nullptr, &total, nullptr)) return -1;
    return static_cast<std::int64_t>(total.QuadPart);
}

std::optional<std::u16string> TWinVolumeQuery::VolumeLabel(char16_t letter) {
    wchar_t label[MAX_PATH + 1] = {};
    DWORD serial = 0;
    DWORD maxComponent = 0;
    DWORD flags = 0;
    if (!::GetVolumeInformationW(Root(letter).c_str(), label, MAX_PATH + 1, &serial, &maxComponent, &flags, nullptr,
                                 0)) {
        return std::nullopt;
    }
    return FromWide(label);
}

bool TWinVolumeQuery::ChangeVolumeLabel(char16_t letter, std::u16string_view label) {
    return ::SetVolumeLabelW(Root(letter).c_str(), ToWide(label).c_str()) != FALSE;
}

std::int64_t TWinDeviceEject::DeviceNumber(std::u16string_view path) {
    const UniqueFileHandle device = OpenForQueries(ToWide(path));
    if (!device) return -1;
    STORAGE_DEVICE_NUMBER number{};
    DWORD returned = 0;
    if (!::DeviceIoControl(device.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof(number),
                           &returned, nullptr)) {
        return -1;
    }
    return static_cast<std::int64_t>(number.DeviceNumber);
}

std::unique_ptr<IDeviceInterfaceSet> TWinDeviceEject::PresentInterfaces(DeviceInterfaceClass interfaceClass) {
    const GUID& guid = GuidOf(interfaceClass);
    UniqueHandle<DeviceInfoListTraits> set(
        ::SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set) return nullptr;
    return std::make_unique<WinInterfaceSet>(std::move(set), guid);
}

std::optional<std::uint32_t> TWinDeviceEject::Parent(std::uint32_t devInst) {
    const ConfigManager& cm = ConfigManager::Get();
    if (cm.getParent == nullptr) return std::nullopt;
    DWORD parent = 0;
    if (cm.getParent(&parent, devInst, 0) != kCrSuccess) return std::nullopt;
    return parent;
}

std::uint32_t TWinDeviceEject::RequestEject(std::uint32_t devInst, std::uint32_t& vetoType) {
    const ConfigManager& cm = ConfigManager::Get();
    if (cm.requestEject == nullptr) return kCrCallNotImplemented;
    int veto = static_cast<int>(vetoType);
    wchar_t vetoName[MAX_PATH] = {};
    const DWORD result = cm.requestEject(devInst, &veto, vetoName, MAX_PATH, 0);
    vetoType = static_cast<std::uint32_t>(veto);
    return result;
}

void TWinDeviceEject::Sleep(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

std::optional<std::u16string> TWinDeviceEject::DeviceInstanceId(std::uint32_t devInst) {
    const ConfigManager& cm = ConfigManager::Get();
    if (!cm.getDeviceId) return std::nullopt;
    wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
    if (cm.getDeviceId(devInst, id, MAX_DEVICE_ID_LEN + 1, 0) != CR_SUCCESS) return std::nullopt;
    id[MAX_DEVICE_ID_LEN] = L'\0';
    return FromWide(std::wstring_view(id));
}

IVolumeQuery& SystemVolumeQuery() {
    static TWinVolumeQuery volumes;
    return volumes;
}

IDeviceEject& SystemDeviceEject() {
    static TWinDeviceEject devices;
    return devices;
}

}  // namespace dv
