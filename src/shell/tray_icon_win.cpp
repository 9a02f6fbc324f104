#include "shell/tray_icon_win.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "platform/dpi_win.h"
#include "resources/resource_ids.h"

namespace dv {
namespace {

template <std::size_t N>
void CopyText(wchar_t (&target)[N], std::u16string_view text) {
    const std::size_t length = std::min(text.size(), N - 1);
    std::copy_n(text.begin(), length, target);
    target[length] = L'\0';
}

}  // namespace

TTrayImage TrayImageOfIndex(int index) {
    switch (index) {
        case 3: return TTrayImage::Shared;
        case 4: return TTrayImage::Activity;
        default: return TTrayImage::Idle;
    }
}

TTrayIcon::TTrayIcon(HWND window, UINT id, UINT callbackMessage, std::u16string_view tip, NotifyFunction notify)
    : window_(window), id_(id), callbackMessage_(callbackMessage), tip_(tip), notify_(std::move(notify)) {
    LoadIcons(DpiOfWindow(window));
    Add();
}

void TTrayIcon::LoadIcons(UINT dpi) {
    const int size = SmallIconSize(dpi);
    const int ids[] = {IDI_TRAY_DEFAULT, IDI_TRAY_GREEN, IDI_TRAY_RED, IDI_TRAY_GREY};
    for (std::size_t i = 0; i < icons_.size(); ++i) icons_[i].reset(LoadIconOfSize(ids[i], size));
    dpi_ = dpi;
}

void TTrayIcon::SetDpi(UINT dpi) {
    if (dpi == dpi_) return;
    LoadIcons(dpi);
    if (!added_) return;
    NOTIFYICONDATAW data = Record(NIF_ICON);
    Notify(NIM_MODIFY, data);
}

TTrayIcon::~TTrayIcon() {
    Delete();
}

BOOL TTrayIcon::Notify(DWORD message, NOTIFYICONDATAW& data) const {
    return notify_ ? notify_(message, data) : ::Shell_NotifyIconW(message, &data);
}

NOTIFYICONDATAW TTrayIcon::Record(UINT flags) const {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window_;
    data.uID = id_;
    data.uFlags = flags;
    if (flags & NIF_MESSAGE) data.uCallbackMessage = callbackMessage_;
    if (flags & NIF_ICON) data.hIcon = icons_[static_cast<std::size_t>(image_)].get();
    if (flags & NIF_TIP) CopyText(data.szTip, tip_);
    return data;
}

bool TTrayIcon::Add() {
    // Version 4 shows the hint only when asked to.
    NOTIFYICONDATAW data = Record(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP);
    added_ = Notify(NIM_ADD, data) != FALSE;
    // Version 4: the anchor point of a click comes with the message, a right click arrives as
    // WM_CONTEXTMENU and a left one as NIN_SELECT, and the keyboard reaches the icon.
    // https://learn.microsoft.com/windows/win32/api/shellapi/nf-shellapi-shell_notifyiconw
    data.uVersion = NOTIFYICON_VERSION_4;
    Notify(NIM_SETVERSION, data);
    return added_;
}

void TTrayIcon::Delete() {
    if (!added_) return;
    NOTIFYICONDATAW data = Record(0);
    Notify(NIM_DELETE, data);
    added_ = false;
}

bool TTrayIcon::ReAdd() {
    // A notification area that still knows the icon refuses to add it twice.
    NOTIFYICONDATAW data = Record(0);
    Notify(NIM_DELETE, data);
    added_ = false;
    return Add();
}

void TTrayIcon::SetImage(TTrayImage image) {
    if (image == image_) return;
    image_ = image;
    NOTIFYICONDATAW data = Record(NIF_ICON);
    Notify(NIM_MODIFY, data);
}

void TTrayIcon::SetTip(std::u16string_view tip) {
    if (tip == tip_) return;
    tip_ = tip;
    if (!added_) return;
    NOTIFYICONDATAW data = Record(NIF_TIP | NIF_SHOWTIP);
    Notify(NIM_MODIFY, data);
}

void TTrayIcon::ShowBalloon(std::u16string_view title, std::u16string_view text, bool warning, UINT timeoutMs) {
    NOTIFYICONDATAW data = Record(NIF_INFO);
    CopyText(data.szInfo, text);
    CopyText(data.szInfoTitle, title);
    data.dwInfoFlags = warning ? NIIF_WARNING : NIIF_INFO;
    data.uTimeout = timeoutMs;
    Notify(NIM_MODIFY, data);
}

}  // namespace dv
