#include "service/volume_letters.h"

#include <cstdint>
#include <iterator>

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
    if (letter) letter = FoldCase(*letter);
    if (!letter || *letter < u'A' || *letter > u'Z' || interfaceName.empty()) return std::nullopt;
    // A letter belongs to one volume. An interface still kept on it went without its removal being
    // heard; its removal, should it come late, must not take the letter from the volume there now.
    for (auto entry = letters_.begin(); entry != letters_.end();) {
        entry = entry->second == *letter ? letters_.erase(entry) : std::next(entry);
    }
    letters_[UpperCase(interfaceName)] = *letter;
    return VolumeBroadcast(kDbtDeviceArrival, *letter);
}

std::optional<TVolumeBroadcast> TVolumeLetters::Removed(std::u16string_view interfaceName) {
    const auto found = letters_.find(UpperCase(interfaceName));
    if (found == letters_.end()) return std::nullopt;
    const char16_t letter = found->second;
    letters_.erase(found);
    return VolumeBroadcast(kDbtDeviceRemoveComplete, letter);
}

}  // namespace dv
