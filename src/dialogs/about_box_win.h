// The About box: the release, the home page as a link, and the end-user agreement.
#pragma once

#include "dialogs/dialog_base_win.h"
#include "dialogs/web_links.h"

#include <string_view>

namespace dv {

inline constexpr std::u16string_view kReleaseUnknown = u"not available";

class TAboutBox : public TDialogBase {
public:
    // `system`: where pages open and the version comes from (the running executable by default).
    explicit TAboutBox(IWebSystem& system = DefaultWebSystem());
    ~TAboutBox() override;

    TWebLinks WebLinks;

private:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void FillTexts();
    // The fonts and the picture at the dialog's DPI.
    void MakeFontsAndIcon();
    void OnDpiChanged() override { MakeFontsAndIcon(); }
    void FreeGdiObjects();

    IWebSystem& system_;
    HBRUSH background_ = nullptr;
    HFONT bold_ = nullptr;
    HFONT link_ = nullptr;
    HFONT fixed_ = nullptr;
    HICON icon_ = nullptr;
};

// Shows the About box modally, without an owner.
void ShowAboutBox();

}  // namespace dv
