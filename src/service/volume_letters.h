// Which drive letter each volume interface stands on. A service hears of volumes by their device
// interface, not by letter: the letter is looked up when the volume arrives and kept, since it is
// gone by the time the removal is told. The mount manager may give a new volume its letter only a
// moment after the interface arrives: such a volume is looked at again until it has one.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drives/volume_observer.h"

namespace dv {

// How many times a volume that arrived on no letter is looked at again, one look every
// kLetterLookInterval, before it is taken for a volume that gets none (a hidden partition).
inline constexpr int kLetterLooks = 20;
inline constexpr int kLetterLookIntervalMs = 500;

// The letter a volume interface is mounted on now; nothing when it is on none (yet).
using TLetterLookup = std::function<std::optional<char16_t>(const std::u16string& interfaceName)>;

class TVolumeLetters {
public:
    // A volume interface arrived, mounted on `letter` (nothing: on no letter, or the letter is not
    // known yet). The broadcast that stands for it, to be handed to the volume observer; nothing for a
    // volume without a letter, which waits for LookAgain.
    std::optional<TVolumeBroadcast> Arrived(std::u16string_view interfaceName, std::optional<char16_t> letter);
    // A volume interface went: the removal of the letter it arrived on; nothing for an interface that
    // never arrived on a letter (one still waiting for its letter waits no more).
    std::optional<TVolumeBroadcast> Removed(std::u16string_view interfaceName);

    // Whether a volume waits for its letter.
    bool Waiting() const { return !waiting_.empty(); }
    // Looks up each waiting volume's letter once more: the arrivals of those that have one now, in
    // the order they arrived. One that has had kLetterLooks looks is waited for no more.
    std::vector<TVolumeBroadcast> LookAgain(const TLetterLookup& lookUp);

private:
    struct TWaitingVolume {
        std::u16string interfaceName;  // as the system gave it
        int looks = 0;
    };
    void StopWaiting(std::u16string_view interfaceName);

    // By the interface name in upper case: the system does not keep to one case for them.
    std::map<std::u16string, char16_t> letters_;
    // The volumes that arrived on no letter, oldest first.
    std::vector<TWaitingVolume> waiting_;
};

}  // namespace dv
