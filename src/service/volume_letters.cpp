#include "service/volume_letters.h"

#include <cstdint>
#include <iterator>
#include <vector>

#include "platform/text.h"

namespace dv {
namespace {

TVolumeBroadcast VolumeBroadcast(std::uint32_t eventCode, char16_t letter) {
    TVolumeBroadcast broadcast;
    broadcast.eventCode = eventCode;
    broadcast.deviceType = kDbtDevTypVolume;
    broadcast.unitMask = std::uint32_t{1} << (letter - u'A');
    return broadcast;
}

}  // namespace

std::optional<TVolumeBroadcast> TVolumeLetters::Arrived(std::u16string_view interfaceName,
                                                        std::optional<char16_t> letter) {
    if (interfaceName.empty()) return std::nullopt;
    StopWaiting(interfaceName);
    if (letter) letter = FoldCase(*letter);
    if (!letter || *letter < u'A' || *letter > u'Z') {
        waiting_.push_back({std::u16string(interfaceName), 0});
        return std::nullopt;
    }
    // A letter belongs to one volume. An interface still kept on it went without its removal being
    // heard; its removal, should it come late, must not take the letter from the volume there now.
    for (auto entry = letters_.begin(); entry != letters_.end();) {
        entry = entry->second == *letter ? letters_.erase(entry) : std::next(entry);
    }
    letters_[UpperCase(interfaceName)] = *letter;
    return VolumeBroadcast(kDbtDeviceArrival, *letter);
}

std::optional<TVolumeBroadcast> TVolumeLetters::Removed(std::u16string_view interfaceName) {
    StopWaiting(interfaceName);
    const auto found = letters_.find(UpperCase(interfaceName));
    if (found == letters_.end()) return std::nullopt;
    const char16_t letter = found->second;
    letters_.erase(found);
    return VolumeBroadcast(kDbtDeviceRemoveComplete, letter);
}

std::vector<TVolumeBroadcast> TVolumeLetters::LookAgain(const TLetterLookup& lookUp) {
    std::vector<TVolumeBroadcast> arrivals;
    // Arrived() changes the list: work on the volumes that waited when the look began.
    std::vector<TWaitingVolume> looked;
    looked.swap(waiting_);
    for (TWaitingVolume& volume : looked) {
        const std::optional<char16_t> letter = lookUp(volume.interfaceName);
        if (std::optional<TVolumeBroadcast> arrival = Arrived(volume.interfaceName, letter)) {
            arrivals.push_back(*arrival);
            continue;
        }
        // Arrived() put it back among the waiting ones, with no look counted.
        waiting_.back().looks = volume.looks + 1;
        if (waiting_.back().looks >= kLetterLooks) waiting_.pop_back();
    }
    return arrivals;
}

void TVolumeLetters::StopWaiting(std::u16string_view interfaceName) {
    const std::u16string key = UpperCase(interfaceName);
    std::erase_if(waiting_, [&key](const TWaitingVolume& volume) { return UpperCase(volume.interfaceName) == key; });
}

}  // namespace dv
