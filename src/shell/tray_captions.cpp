#include "shell/tray_captions.h"

#include <cstddef>

namespace dv {

std::u16string DriveCaption(std::u16string_view volumeLabel, char16_t letter, std::u16string_view capacity) {
    std::u16string caption(volumeLabel);
    caption += u" (";
    caption += letter;
    caption += u":) - ";
    caption += capacity;
    return caption;
}

std::u16string ModifyCaption(std::u16string_view volumeLabel, char16_t letter, std::u16string_view capacity,
                             std::u16string_view computer, std::u16string_view shareName) {
    std::u16string caption = u"Modify: " + DriveCaption(volumeLabel, letter, capacity) + u" | Sharing@ \\\\";
    caption += computer;
    caption += u"\\";
    caption += shareName;
    return caption;
}

std::u16string EjectCaption(std::u16string_view volumeLabel, char16_t letter, std::u16string_view capacity) {
    return u"Eject: " + DriveCaption(volumeLabel, letter, capacity);
}

std::u16string AddCaption(const std::vector<TAddableDrive>& drives) {
    if (drives.empty()) return std::u16string(kNoUsbDriveCaption);
    std::u16string caption = u"Add: ";
    for (std::size_t i = 0; i < drives.size(); ++i) {
        caption += i == 0 ? u" " : u"/ ";
        caption += drives[i].Letter;
        caption += u":(" + drives[i].Capacity + u")";
    }
    return caption;
}

std::u16string HostCaption(std::u16string_view hostName) {
    return u"Host: " + std::u16string(hostName);
}

}  // namespace dv
