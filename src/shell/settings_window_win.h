// The settings window: a dialog made from its template, created hidden with the main window and
// kept until exit.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "dialogs/dialog_base_win.h"
#include "platform/handles_win.h"
#include "shell/settings_window.h"

namespace dv {

class TSettingsWindow : public TDialogBase, private ISettingsWindow {
public:
    TSettingsWindow();
    ~TSettingsWindow() override;

    // Makes the window, hidden.
    void Create();

    // The controller's view of the window.
    TfmSettings& View() { return logic_; }
    bool Visible() const;
    HWND Control(int id) const { return Item(id); }

    // What the user did, for the controller; the state is up to date when it is called.
    std::function<void(TSettingsAction action, const TSettingsControls& controls)> OnAction;
    // The close button.
    std::function<void()> OnClose;

private:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnInit();
    void OnDpiChanged() override;
    void MakeHeadingFont();
    void OnCommand(int id, int code);
    bool OnDrawItem(const DRAWITEMSTRUCT& item);
    // The control's state as the user left it.
    void Collect(int id);
    HWND ControlOf(TSettingsControl control) const;

    // --- ISettingsWindow ---
    void Render(TSettingsControl control) override;
    void ShowCentred() override;
    void Hide() override;
    std::optional<std::u16string> ChooseFile(std::u16string_view filter, std::u16string_view folder) override;

    TfmSettings logic_;
    UniqueFont headingFont_;
};

}  // namespace dv
