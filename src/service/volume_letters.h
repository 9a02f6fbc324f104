// Which drive letter each volume interface stands on. A service hears of volumes by their device
// interface, not by letter: the letter is looked up when the volume arrives and kept, since it is
// gone by the time the removal is told.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "drives/volume_observer.h"

namespace dv {

class TVolumeLetters {
public:
    // A volume interface arrived, mounted on `letter` (nothing: on no letter, or the letter is not
    // known yet). The broadcast that stands for it, to be handed to the volume observer; nothing for a
    // volume without a letter.
    std::optional<TVolumeBroadcast> Arrived(std::u16string_view interfaceName, std::optional<char16_t> letter);
    // A volume interface went: the removal of the letter it arrived on; nothing for an interface that
    // never arrived on a letter.
    std::optional<TVolumeBroadcast> Removed(std::u16string_view interfaceName);

private:
    // By the interface name in upper case: the system does not keep to one case for them.
    std::map<std::u16string, char16_t> letters_;
};

}  // namespace dv
