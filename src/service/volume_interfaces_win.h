// The volume interface notices of a service, as drive events. A service owns no window that the
// system's drive broadcasts reach (it runs in a session of its own on Windows), so it registers for
// the arrival and removal of volume interfaces with its status handle and maps each to its letter.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "drives/volume_observer.h"
#include "platform/windows_include.h"
#include "service/volume_letters.h"

namespace dv {

// A volume interface notice, read from the record that SERVICE_CONTROL_DEVICEEVENT carries.
struct TVolumeInterfaceNotice {
    bool arrival = false;  // else the removal
    std::u16string interfaceName;
};

// What a device event says of a volume interface: nothing for other events, other interface classes
// and records that are not whole. Only what the record's own size vouches for is read.
std::optional<TVolumeInterfaceNotice> ReadVolumeInterfaceNotice(DWORD eventType, const void* eventData);

// The drive letter a volume (its interface name or its volume name) is mounted on; nothing when it is
// on none (yet).
std::optional<char16_t> LetterOfVolume(const std::u16string& name);

class TVolumeInterfaces {
public:
    // The arrival of a volume that had no letter when it came, once it has one: called on a thread
    // of the system's pool, never while the interfaces' own lock is held.
    using TLateArrival = std::function<void(const TVolumeBroadcast&)>;

    // `lateArrival` hears the volumes that got their letter after their notice.
    explicit TVolumeInterfaces(TLateArrival lateArrival, TLetterLookup lookUp = &LetterOfVolume)
        : lookUp_(std::move(lookUp)), lateArrival_(std::move(lateArrival)) {}
    ~TVolumeInterfaces() { Unregister(); }
    TVolumeInterfaces(const TVolumeInterfaces&) = delete;
    TVolumeInterfaces& operator=(const TVolumeInterfaces&) = delete;

    // Asks for the notices of volume interfaces on the service's control handler; false (with the
    // system's error) when they are refused.
    bool Register(SERVICE_STATUS_HANDLE service, DWORD& error);
    // No more notices, no more looks for letters: returns once no late arrival is being told.
    void Unregister();

    // On the control handler's thread, for each device event: the broadcast that stands for it, to
    // hand to the volume observer on the engine's thread; nothing for an event of no drive letter
    // (yet: a volume that arrived on no letter is looked at again, and told to `lateArrival`).
    std::optional<TVolumeBroadcast> OnDeviceEvent(DWORD eventType, const void* eventData);

private:
    static void CALLBACK OnLookTimer(PTP_CALLBACK_INSTANCE, void* context, PTP_TIMER);
    void LookAgain();
    // Under mutex_: the timer runs while a volume waits for its letter.
    void KeepLooking();

    const TLetterLookup lookUp_;
    const TLateArrival lateArrival_;
    HDEVNOTIFY notices_ = nullptr;

    std::mutex mutex_;
    TVolumeLetters letters_;
    PTP_TIMER lookTimer_ = nullptr;
    bool looking_ = false;
    bool closed_ = false;
};

}  // namespace dv
