// The captions of the tray menus' entries, from what is known of the drives: the controller builds
// them from its managers, a face from the engine's status, and both must read alike.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace dv {

inline constexpr std::u16string_view kNoUsbDriveCaption = u"Add:   [Connect External Drive first]";

// "BACKUP (E:) - 15 Gb": the part both per-drive entries share.
std::u16string DriveCaption(std::u16string_view volumeLabel, char16_t letter, std::u16string_view capacity);
// "Modify: BACKUP (E:) - 15 Gb | Sharing@ \\OFFICE\backup"
std::u16string ModifyCaption(std::u16string_view volumeLabel, char16_t letter, std::u16string_view capacity,
                             std::u16string_view computer, std::u16string_view shareName);
// "Eject: BACKUP (E:) - 15 Gb"
std::u16string EjectCaption(std::u16string_view volumeLabel, char16_t letter, std::u16string_view capacity);

// A USB drive the Add entry offers.
struct TAddableDrive {
    char16_t Letter = u'C';
    std::u16string Capacity;
};
// "Add:  F:(7 Gb)/ G:(15 Gb)" in the given order; with none, the caption that asks for a drive.
std::u16string AddCaption(const std::vector<TAddableDrive>& drives);

// "Host: " and the host's name as the system services give it.
std::u16string HostCaption(std::u16string_view hostName);

}  // namespace dv
