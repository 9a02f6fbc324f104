// What the dialogs share with those who show them: the drive settings dialog's two modes, how a
// dialog closed, and what the drive settings dialog hands back.
#pragma once

#include <string>

namespace dv {

enum TMode { mAdd, mModify };

// How a dialog closed; the values are those the dialog's window ends with (IDOK, IDCANCEL).
enum class TDialogResult { None = 0, Ok = 1, Cancel = 2 };

// What the caller of the drive settings dialog takes back after "Update": the selected drive and the
// volume name field.
struct TDriveSettingsResult {
    std::u16string Drive;
    std::u16string VolumeName;
};

}  // namespace dv
