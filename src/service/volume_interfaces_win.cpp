#include "service/volume_interfaces_win.h"

#include <dbt.h>

#include <cstddef>
#include <cwchar>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace dv {
namespace {

// GUID_DEVINTERFACE_VOLUME, spelled out: the header's own needs the GUID defined in exactly one unit.
constexpr GUID kVolumeInterfaceClass = {0x53f5630d, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};

}  // namespace

std::optional<TVolumeInterfaceNotice> ReadVolumeInterfaceNotice(DWORD eventType, const void* eventData) {
    if (eventType != DBT_DEVICEARRIVAL && eventType != DBT_DEVICEREMOVECOMPLETE) return std::nullopt;
    const auto* header = static_cast<const DEV_BROADCAST_HDR*>(eventData);
    if (header == nullptr || header->dbch_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) ||
        header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
        return std::nullopt;
    }
    const auto* notice = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(eventData);
    if (notice->dbcc_classguid != kVolumeInterfaceClass) return std::nullopt;
    // The name ends at its NUL or at the record's end, whichever comes first.
    const std::size_t room =
        (header->dbch_size - offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name)) / sizeof(wchar_t);
    const std::wstring_view name(notice->dbcc_name, ::wcsnlen(notice->dbcc_name, room));
    if (name.empty()) return std::nullopt;
    return TVolumeInterfaceNotice{eventType == DBT_DEVICEARRIVAL, FromWide(name)};
}

std::optional<char16_t> LetterOfVolume(const std::u16string& name) {
    std::wstring mountPoint = ToWide(name);
    if (mountPoint.empty()) return std::nullopt;
    if (mountPoint.back() != L'\\') mountPoint += L'\\';
    // An interface's name leads to its volume's name; a volume's name is one already.
    wchar_t volume[MAX_PATH] = {};
    if (StartsWithIgnoreCase(name, u"\\\\?\\Volume{") && mountPoint.size() < MAX_PATH) {
        mountPoint.copy(volume, mountPoint.size());
    } else if (!::GetVolumeNameForVolumeMountPointW(mountPoint.c_str(), volume, MAX_PATH)) {
        return std::nullopt;
    }
    std::vector<wchar_t> paths(MAX_PATH + 1);
    DWORD needed = 0;
    if (!::GetVolumePathNamesForVolumeNameW(volume, paths.data(), static_cast<DWORD>(paths.size()), &needed)) {
        if (::GetLastError() != ERROR_MORE_DATA || needed == 0) return std::nullopt;
        paths.assign(needed + 1, L'\0');
        if (!::GetVolumePathNamesForVolumeNameW(volume, paths.data(), static_cast<DWORD>(paths.size()), &needed)) {
            return std::nullopt;
        }
    }
    paths.back() = L'\0';
    // Paths, each ended by a NUL, the list by another: the letter is the one that is a drive's root.
    for (const wchar_t* path = paths.data(); *path != L'\0'; path += std::wcslen(path) + 1) {
        if (std::wcslen(path) == 3 && path[1] == L':' && path[2] == L'\\') return static_cast<char16_t>(path[0]);
    }
    return std::nullopt;
}

bool TVolumeInterfaces::Register(SERVICE_STATUS_HANDLE service, DWORD& error) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kVolumeInterfaceClass;
    notices_ = ::RegisterDeviceNotificationW(service, &filter, DEVICE_NOTIFY_SERVICE_HANDLE);
    error = notices_ ? NO_ERROR : ::GetLastError();
    return notices_ != nullptr;
}

void TVolumeInterfaces::Unregister() {
    if (notices_) ::UnregisterDeviceNotification(notices_);
    notices_ = nullptr;
    PTP_TIMER timer = nullptr;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        looking_ = false;
        timer = std::exchange(lookTimer_, nullptr);
    }
    if (!timer) return;
    // A look under way ends first: it may be telling an arrival.
    ::SetThreadpoolTimer(timer, nullptr, 0, 0);
    ::WaitForThreadpoolTimerCallbacks(timer, TRUE);
    ::CloseThreadpoolTimer(timer);
}

std::optional<TVolumeBroadcast> TVolumeInterfaces::OnDeviceEvent(DWORD eventType, const void* eventData) {
    const std::optional<TVolumeInterfaceNotice> notice = ReadVolumeInterfaceNotice(eventType, eventData);
    if (!notice) return std::nullopt;
    // The letter of a volume that arrives is looked up now; by its removal it is gone.
    const std::optional<char16_t> letter = notice->arrival ? lookUp_(notice->interfaceName) : std::optional<char16_t>();
    std::lock_guard lock(mutex_);
    std::optional<TVolumeBroadcast> broadcast =
        notice->arrival ? letters_.Arrived(notice->interfaceName, letter) : letters_.Removed(notice->interfaceName);
    KeepLooking();
    return broadcast;
}

void CALLBACK TVolumeInterfaces::OnLookTimer(PTP_CALLBACK_INSTANCE, void* context, PTP_TIMER) {
    static_cast<TVolumeInterfaces*>(context)->LookAgain();
}

void TVolumeInterfaces::LookAgain() {
    std::vector<TVolumeBroadcast> arrivals;
    {
        std::lock_guard lock(mutex_);
        if (closed_) return;
        arrivals = letters_.LookAgain(lookUp_);
        KeepLooking();
    }
    if (!lateArrival_) return;
    for (const TVolumeBroadcast& arrival : arrivals) lateArrival_(arrival);
}

void TVolumeInterfaces::KeepLooking() {
    const bool wanted = letters_.Waiting() && !closed_;
    if (wanted == looking_) return;
    if (wanted && !lookTimer_) {
        lookTimer_ = ::CreateThreadpoolTimer(&TVolumeInterfaces::OnLookTimer, this, nullptr);
        if (!lookTimer_) return;  // no pool: the volume is not looked at again, as before
    }
    looking_ = wanted;
    if (!wanted) {
        ::SetThreadpoolTimer(lookTimer_, nullptr, 0, 0);
        return;
    }
    // Relative times are negative, in 100 ns.
    ULARGE_INTEGER due{};
    due.QuadPart = static_cast<ULONGLONG>(-static_cast<LONGLONG>(kLetterLookIntervalMs) * 10000);
    FILETIME dueTime{due.LowPart, due.HighPart};
    ::SetThreadpoolTimer(lookTimer_, &dueTime, kLetterLookIntervalMs, 0);
}

}  // namespace dv
