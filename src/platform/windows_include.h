// The one way to <windows.h>. Only Windows-side files (*_win.cpp) include this header.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601  // Windows 7: the oldest system the build targets
#endif

#include <windows.h>

#include <string>
#include <string_view>

namespace dv {

// wchar_t is UTF-16 on Windows: the application's text crosses to the API as a plain copy.
inline std::wstring ToWide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}
inline std::u16string FromWide(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace dv
