// The application's icon in the notification area: one owner per icon, added when made and deleted
// when destroyed.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "platform/handles_win.h"
#include "platform/windows_include.h"

#include <shellapi.h>

namespace dv {

// The pictures the icon shows.
// NotRunning: a face whose engine is away.
enum class TTrayImage { Idle, Shared, Activity, NotRunning };

// The controller's image index (2 idle, 3 shared, 4 activity; 0 and 1 look idle as well).
TTrayImage TrayImageOfIndex(int index);

class TTrayIcon {
public:
    // How a record reaches the notification area: Shell_NotifyIconW, or a test's recorder.
    using NotifyFunction = std::function<BOOL(DWORD message, NOTIFYICONDATAW& data)>;

    // Adds the icon for `window`, which receives `callbackMessage` for it, with `tip` as its hint.
    TTrayIcon(HWND window, UINT id, UINT callbackMessage, std::u16string_view tip, NotifyFunction notify = {});
    ~TTrayIcon();
    TTrayIcon(const TTrayIcon&) = delete;
    TTrayIcon& operator=(const TTrayIcon&) = delete;

    // Adds the icon again, as it now looks: after Explorer restarted, the notification area knows
    // nothing of it. Whether the notification area took it.
    bool ReAdd();
    bool Added() const { return added_; }

    void SetImage(TTrayImage image);
    TTrayImage Image() const { return image_; }
    // The pictures at the small-icon size of `dpi`, shown at once.
    void SetDpi(UINT dpi);
    // The hint, shown at once.
    void SetTip(std::u16string_view tip);
    const std::u16string& Tip() const { return tip_; }
    // Replaces a balloon still shown.
    void ShowBalloon(std::u16string_view title, std::u16string_view text, bool warning, UINT timeoutMs);

private:
    // The record every call starts from, with the fields that `flags` name filled in.
    NOTIFYICONDATAW Record(UINT flags) const;
    bool Add();
    void Delete();
    BOOL Notify(DWORD message, NOTIFYICONDATAW& data) const;
    void LoadIcons(UINT dpi);

    HWND window_;
    UINT id_;
    UINT callbackMessage_;
    std::u16string tip_;
    NotifyFunction notify_;
    std::array<UniqueIcon, 4> icons_;  // by TTrayImage
    TTrayImage image_ = TTrayImage::Idle;
    UINT dpi_ = 0;
    bool added_ = false;
};

}  // namespace dv
