#include "drives/volume_observer.h"

namespace dv {

std::vector<TVolumeEventCall> DecodeVolumeBroadcast(const TVolumeBroadcast& broadcast) {
    std::vector<TVolumeEventCall> calls;
    TVolumeEventKind second;
    if (broadcast.eventCode == kDbtDeviceArrival) {
        second = TVolumeEventKind::Arrival;
    } else if (broadcast.eventCode == kDbtDeviceRemoveComplete) {
        second = TVolumeEventKind::Removal;
    } else {
        return calls;
    }
    if (broadcast.deviceType != kDbtDevTypVolume || (broadcast.flags & kDbtfNet) != 0) return calls;
    for (TVolumeEventKind kind : {TVolumeEventKind::AutoPlay, second}) {
        for (int bit = 0; bit < 26; ++bit) {
            if ((broadcast.unitMask & (std::uint32_t{1} << bit)) != 0) {
                calls.push_back({kind, static_cast<char16_t>(u'A' + bit)});
            }
        }
    }
    return calls;
}

void TVolumeObserver::WMDeviceChange(const TVolumeBroadcast& broadcast) {
    for (const TVolumeEventCall& call : DecodeVolumeBroadcast(broadcast)) {
        // A copy: a handler may assign the events anew while it runs.
        TVolumeNotifyEvent handler;
        switch (call.kind) {
            case TVolumeEventKind::AutoPlay: handler = OnVolumeAutoPlay; break;
            case TVolumeEventKind::Arrival: handler = OnVolumeArrival; break;
            case TVolumeEventKind::Removal: handler = OnVolumeRemoval; break;
        }
        if (handler) handler(call.letter);
    }
}

void TVolumeObserver::DeliverFromWindow(const TVolumeBroadcast& broadcast) noexcept {
    try {
        WMDeviceChange(broadcast);
    } catch (...) {
        if (onUncaughtError_) {
            try {
                onUncaughtError_(std::current_exception());
            } catch (...) {
                // The handler of last resort failed too; the window procedure must not unwind.
            }
        }
    }
}

}  // namespace dv
