#include "dialogs/auto_play.h"

#include "platform/drive_letter.h"

namespace dv {

std::optional<std::u16string> TfmAutoPlay::FormClose(TModalResult result) const {
    if (result != mrOk || ItemIndex != kOpenFolderItem || Drive == 0) return std::nullopt;
    return TDriveLetter(Drive).Root();
}

std::u16string AutoPlayCaption(std::u16string_view volumeLabel, char16_t drive) {
    return std::u16string(volumeLabel) + u" (" + std::u16string(1, drive) + u":)";
}

}  // namespace dv
