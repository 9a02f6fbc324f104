// The drive settings dialog's window.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "dialogs/dialog_base_win.h"
#include "dialogs/drive_settings_dialog.h"

namespace dv {

class TModifyNASWindow : public TDialogBase, private IModifyNASView {
public:
    // `drive`: the drive to show in mModify (its letter), ignored in mAdd.
    TModifyNASWindow(IDriveSettingsHost& host, TMode mode, char16_t drive);
    ~TModifyNASWindow() override;

    // Valid once the window exists.
    TfmModifyNAS& Logic() { return *logic_; }

private:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnInit();
    void OnCommand(int id, int code);
    // Controls <-> the logic's copy of them.
    void Render();
    void Collect();

    // IModifyNASView
    void ShowMessage(std::u16string_view text, TMessageKind kind) override;
    bool Confirm(std::u16string_view text) override;
    void FocusShareName() override;
    void ShowBusy() override;
    void EndBusy() override;
    void CloseDialog(TDialogResult result) override;
    void SetClipboardText(std::u16string_view text) override;

    IDriveSettingsHost& host_;
    TMode mode_;
    char16_t drive_;
    std::unique_ptr<TfmModifyNAS> logic_;
    HBRUSH readOnlyBrush_ = nullptr;
    bool closing_ = false;
};

// Shows the dialog modally, without an owner (it has its own taskbar button). In mModify the dialog
// shows `drive`. Answers the selected drive and the volume name after "Update" (the configuration
// file is then written), nothing after every other way out.
std::optional<TDriveSettingsResult> ShowDriveSettingsDialog(IDriveSettingsHost& host, TMode mode, char16_t drive);

}  // namespace dv
