// Turns the system's device-change broadcasts into per-drive events: a volume may need the AutoPlay
// choice, a volume arrived, a volume went.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <vector>

namespace dv {

// Called with one drive letter, 'A'..'Z'.
using TVolumeNotifyEvent = std::function<void(char16_t DriveLetter)>;
// Receives an error that escaped an event handler; the observer stays in service.
using TUncaughtErrorHandler = std::function<void(std::exception_ptr)>;

inline constexpr std::uint32_t kDbtDeviceArrival = 0x8000;         // DBT_DEVICEARRIVAL
inline constexpr std::uint32_t kDbtDeviceQueryRemove = 0x8001;     // DBT_DEVICEQUERYREMOVE
inline constexpr std::uint32_t kDbtDeviceRemovePending = 0x8003;   // DBT_DEVICEREMOVEPENDING
inline constexpr std::uint32_t kDbtDeviceRemoveComplete = 0x8004;  // DBT_DEVICEREMOVECOMPLETE
inline constexpr std::uint32_t kDbtDevTypVolume = 2;               // DBT_DEVTYP_VOLUME
inline constexpr std::uint32_t kDbtDevTypPort = 3;                 // DBT_DEVTYP_PORT
inline constexpr std::uint32_t kDbtDevTypDeviceInterface = 5;      // DBT_DEVTYP_DEVICEINTERFACE
inline constexpr std::uint16_t kDbtfMedia = 0x0001;                // DBTF_MEDIA
inline constexpr std::uint16_t kDbtfNet = 0x0002;                  // DBTF_NET

// What one WM_DEVICECHANGE message says. `deviceType` is 0 when the message carries no complete
// record; the mask and the flags are read only from a complete volume record.
struct TVolumeBroadcast {
    std::uint32_t eventCode = 0;
    std::uint32_t deviceType = 0;
    std::uint32_t unitMask = 0;  // bit 0 = A: ... bit 25 = Z:
    std::uint16_t flags = 0;
};

enum class TVolumeEventKind { AutoPlay, Arrival, Removal };

struct TVolumeEventCall {
    TVolumeEventKind kind;
    char16_t letter;
    bool operator==(const TVolumeEventCall&) const = default;
};

// The events one broadcast stands for, in the order they are delivered: the AutoPlay event for every
// letter in ascending order, then the arrival or removal event for every letter likewise. Network
// volumes, records that are no volume and other event codes stand for nothing.
std::vector<TVolumeEventCall> DecodeVolumeBroadcast(const TVolumeBroadcast& broadcast);

class TVolumeObserver {
public:
    // Creates the hidden window that receives the broadcasts (on Windows).
    explicit TVolumeObserver(TUncaughtErrorHandler onUncaughtError = {});
    ~TVolumeObserver();
    TVolumeObserver(const TVolumeObserver&) = delete;
    TVolumeObserver& operator=(const TVolumeObserver&) = delete;

    // Whether the observer can receive broadcasts (its window exists).
    bool Initialize();

    // Unassigned events are not called.
    TVolumeNotifyEvent OnVolumeArrival;
    TVolumeNotifyEvent OnVolumeRemoval;
    TVolumeNotifyEvent OnVolumeAutoPlay;

    // Delivers the events of one broadcast. An error from a handler ends the delivery (the remaining
    // letters are not delivered) and passes to the caller.
    void WMDeviceChange(const TVolumeBroadcast& broadcast);

    // The window's procedure hands broadcasts here: errors go to the uncaught-error handler.
    void DeliverFromWindow(const TVolumeBroadcast& broadcast) noexcept;

    // The hidden window (HWND on Windows; nothing elsewhere).
    void* WindowHandle() const { return windowHandle_; }

private:
    void* windowHandle_ = nullptr;
    TUncaughtErrorHandler onUncaughtError_;
};

}  // namespace dv
