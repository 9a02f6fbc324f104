// The application's AutoPlay dialog window. The controller keeps one for the whole run; the choice
// in its list carries over from one drive to the next.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "dialogs/auto_play_dialog.h"
#include "dialogs/dialog_base_win.h"

namespace dv {

class TAutoPlayWindow : public TDialogBase {
public:
    TAutoPlayWindow();
    ~TAutoPlayWindow() override;

    // Sets the drive and the caption ("BACKUP (E:)") and shows the dialog modally, without an owner;
    // on "Ok" with "Open folder to view files" chosen the drive root opens in Explorer. Does nothing
    // while the dialog is open already.
    void Show(char16_t drive, std::u16string_view caption);
    // The same steps without the modal loop, the window left hidden: for tests.
    HWND ShowModeless(char16_t drive, std::u16string_view caption);

    TfmAutoPlay& Logic() { return logic_; }
    // Opens a folder; tests record instead.
    std::function<void(HWND owner, const std::u16string& folder)> Explore;

private:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Close(TDialogResult result);
    void DrawItem(const DRAWITEMSTRUCT& item);
    // The pictures and the list's rows at the dialog's DPI.
    void FitToDpi();
    void OnDpiChanged() override { FitToDpi(); }

    TfmAutoPlay logic_;
    std::u16string caption_;
    HICON images_[2] = {nullptr, nullptr};
    HICON picture_ = nullptr;  // Image1, 32 x 32 at 100 %
    int imageSize_ = 0;        // of the pictures loaded
};

}  // namespace dv
