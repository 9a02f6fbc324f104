// What the application's dialog windows share: the window procedure that reaches the object, modal
// and modeless creation (tests create them modeless and read their controls back), message boxes
// that tests can answer, the clipboard and tooltips.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/handles_win.h"
#include "platform/windows_include.h"

namespace dv {

inline constexpr std::wstring_view kDialogTitle = L"Dockvane\u2122";

class TDialogBase {
public:
    explicit TDialogBase(int templateId) : templateId_(templateId) {}
    virtual ~TDialogBase();
    TDialogBase(const TDialogBase&) = delete;
    TDialogBase& operator=(const TDialogBase&) = delete;

    // Runs the dialog until it closes; answers its result (IDOK, IDCANCEL, or 0 for none). A dialog
    // that is open already is left as it is, and the answer is 0.
    INT_PTR ShowModal(HWND owner);
    // Creates the window and returns at once: for tests, which then send it messages.
    HWND CreateModeless(HWND owner);

    HWND Handle() const { return hwnd_; }
    // The result the dialog closed with; -1 while it is open.
    INT_PTR Result() const { return result_; }

    // Message boxes go through here; tests answer them without a window.
    std::function<int(HWND owner, std::wstring_view text, UINT flags)> MessageBoxHook;

protected:
    virtual INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    void EndWith(INT_PTR result);
    int Message(std::wstring_view text, UINT flags);
    HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
    std::wstring ItemText(int id) const;
    void SetItemText(int id, std::u16string_view text);
    // Hover hints for controls.
    void AddHint(int id, std::u16string_view hint);
    // The DPI the dialog is laid out for: the window's at its creation, then each new monitor's.
    UINT Dpi() const { return dpi_; }
    // A length in pixels at the dialog's DPI for one given at 96 DPI.
    int Scaled(int pixelsAt96) const;
    // The font of the dialog's own controls at its current DPI; fonts of its own derive from it.
    HFONT DialogFont() const;
    // After the dialog moved to a monitor of another DPI and was laid out again: fonts, pictures
    // and sizes of its own follow here.
    virtual void OnDpiChanged() {}
    // Runs the dialog's handler code; an error that escapes it is shown instead of crossing the
    // window procedure.
    void Guarded(const std::function<void()>& body);

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void LayOutForDpi(UINT dpi, const RECT& suggested);

    int templateId_;
    HWND hwnd_ = nullptr;
    HWND tooltips_ = nullptr;
    bool modal_ = false;
    INT_PTR result_ = -1;
    UINT dpi_ = 96;
    UniqueFont font_;  // the dialog font, once the DPI changed
};

// Replaces the clipboard's content with the text; false when the clipboard could not be opened.
bool SetClipboardUnicodeText(HWND owner, std::u16string_view text);
// Lets pending window messages run.
void ProcessPendingMessages();
// A size in pixels at the window's DPI for a size given at 96 DPI.
int ScaleForWindow(HWND hwnd, int pixelsAt96);

}  // namespace dv
