#include "dialogs/auto_play_dialog.h"

#include "platform/drive_letter.h"

namespace dv {

std::optional<std::u16string> TfmAutoPlay::OnClose(TDialogResult result) const {
    if (result != TDialogResult::Ok || ItemIndex != kOpenFolderItem || Drive == 0) return std::nullopt;
    return TDriveLetter(Drive).Root();
}

std::u16string AutoPlayCaption(std::u16string_view volumeLabel, char16_t drive) {
    return std::u16string(volumeLabel) + u" (" + std::u16string(1, drive) + u":)";
}

}  // namespace dv
