// Sizes at the DPI of a window or a screen point. The calls that tell a window's or a monitor's own
// DPI came with Windows 8.1 and 10; on older systems everything is drawn at the system's DPI.
#pragma once

#include "platform/windows_include.h"

namespace dv {

inline constexpr UINT kDefaultDpi = 96;

// The DPI the window is drawn at.
UINT DpiOfWindow(HWND window);
// The DPI of the monitor that holds the point (a popup menu shown there is drawn at it).
UINT DpiAtPoint(POINT point);
// A length in pixels at `dpi` for one given at 96 DPI.
inline int ScaleByDpi(int pixelsAt96, UINT dpi) {
    return ::MulDiv(pixelsAt96, static_cast<int>(dpi), kDefaultDpi);
}
// The side of a small icon (menus, the notification area, title bars) at `dpi`.
int SmallIconSize(UINT dpi);
// The system's message font (menus, message boxes) at `dpi`.
LOGFONTW MessageFontForDpi(UINT dpi);
// The icon resource at the given size, drawn down from its larger images where it has no image of
// that size.
HICON LoadIconOfSize(int resourceId, int size);

}  // namespace dv
