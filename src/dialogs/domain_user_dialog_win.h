// The domain user dialog's window over the account logic of dialogs/domain_user_dialog.h.
#pragma once

#include <memory>

#include "dialogs/dialog_base_win.h"
#include "dialogs/domain_user_dialog.h"

namespace dv {

class TDomainUserNameWindow : public TDialogBase {
public:
    TDomainUserNameWindow(TUserManager& userManager, TApplicationSettings& settings);
    // Over another logic (a face's, which asks the engine); `logic` outlives the window.
    explicit TDomainUserNameWindow(IDomainUserLogic& logic);
    ~TDomainUserNameWindow() override;

    // Fills the fields and shows the dialog modally; returns once it has closed and stored (or not).
    void SetShareUser(HWND owner);

private:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void LoadShareUser();
    void Close(TDialogResult result);

    std::unique_ptr<TfmDomainUserName> own_;
    IDomainUserLogic& logic_;
    HBRUSH band_ = nullptr;
};

// What the tray command runs: create the dialog with `owner`, SetShareUser, destroy it.
void ShowDomainUserDialog(HWND owner, TUserManager& userManager, TApplicationSettings& settings);

}  // namespace dv
