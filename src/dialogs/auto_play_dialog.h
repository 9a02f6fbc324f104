// The application's own AutoPlay dialog: what a choice does when the dialog closes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "dialogs/dialog_types.h"

namespace dv {

inline constexpr std::u16string_view kAutoPlayDesignCaption = u"Disk-label";
inline constexpr std::u16string_view kAutoPlayContent =
    u"This disk or drive contains more than one type of\r\ncontent.";
inline constexpr std::u16string_view kAutoPlayQuestion = u"What do you want Windows to do?";
inline constexpr std::u16string_view kOpenFolderAction = u"Open folder to view files";
inline constexpr std::u16string_view kTakeNoAction = u"Take no action";
inline constexpr int kOpenFolderItem = 0;

class TfmAutoPlay {
public:
    // The drive the dialog is about; 0 for none.
    char16_t Drive = 0;
    // The list's selection, kept from one showing to the next; -1 for none.
    int ItemIndex = -1;

    // The folder to open in Explorer when the dialog closes: the drive root after "Ok" with "Open
    // folder to view files" selected, nothing in every other case.
    std::optional<std::u16string> OnClose(TDialogResult result) const;
};

// The caption the dialog shows for a drive: "BACKUP (E:)".
std::u16string AutoPlayCaption(std::u16string_view volumeLabel, char16_t drive);

}  // namespace dv
