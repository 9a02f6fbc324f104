// e2e_message_boxes: what the message boxes on the desktop say, for the end-to-end checks. X shows a
// box's title but not its text; the text lives in the box's static control, which only the Windows
// side can read.
//   e2e_message_boxes            one line per visible dialog box on any desktop: TITLE<TAB>TEXT
//   e2e_message_boxes balloons   one line per balloon shown in a notification area: TEXT (Wine's
//                                notification area shows a balloon as a tooltip window)
// A line break inside the text is written \n (\r for a carriage return), a backslash \\, a tab \t.
// UTF-8 on stdout.
#include "platform/windows_include.h"

#include <cstddef>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr UINT kTextTimeoutMs = 2000;

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::string Escaped(const std::wstring& text) {
    std::string out;
    for (char c : ToUtf8(text)) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    const int length = ::GetClassNameW(window, name, 64);
    return std::wstring(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

// WM_GETTEXT crosses processes (the system copies the text back); a hung box must not hang us.
std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs, &length)) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                               kTextTimeoutMs, &copied)) {
        return {};
    }
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM found) {
    if (ClassOf(child) == L"Static") {
        std::wstring text = TextOf(child);
        if (!text.empty()) {
            auto& all = *reinterpret_cast<std::wstring*>(found);
            if (!all.empty()) all += L"\n";
            all += text;
        }
    }
    return TRUE;
}

// IsWindowVisible looks at the parents too, which it cannot on another thread's desktop: the window's
// own style tells whether it is shown.
BOOL CALLBACK CollectBox(HWND window, LPARAM found) {
    if ((::GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0 && ClassOf(window) == L"#32770") {
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    }
    return TRUE;
}

BOOL CALLBACK CollectBalloon(HWND window, LPARAM found) {
    if ((::GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0 && ClassOf(window) == L"tooltips_class32") {
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    }
    return TRUE;
}

BOOL CALLBACK CollectDesktop(LPWSTR name, LPARAM found) {
    reinterpret_cast<std::vector<std::wstring>*>(found)->push_back(name);
    return TRUE;
}

// A program in Wine's virtual desktop sits on a desktop of its own, not on the one this tool starts in.
std::vector<HWND> VisibleWindows(WNDENUMPROC collect) {
    std::vector<std::wstring> desktops;
    ::EnumDesktopsW(::GetProcessWindowStation(), &CollectDesktop, reinterpret_cast<LPARAM>(&desktops));
    std::vector<HWND> boxes;
    for (const std::wstring& name : desktops) {
        HDESK desktop = ::OpenDesktopW(name.c_str(), 0, FALSE, DESKTOP_READOBJECTS | DESKTOP_ENUMERATE);
        if (desktop == nullptr) continue;
        ::EnumDesktopWindows(desktop, collect, reinterpret_cast<LPARAM>(&boxes));
        ::CloseDesktop(desktop);
    }
    return boxes;
}

}  // namespace

int main(int argc, char** argv) {
    const bool balloons = argc == 2 && std::string(argv[1]) == "balloons";
    if (argc != 1 && !balloons) {
        std::cerr << "usage: e2e_message_boxes [balloons]   (one line per visible dialog box: TITLE<TAB>TEXT;\n"
                     "                                     per balloon: TEXT)\n";
        return 1;
    }
    if (balloons) {
        for (HWND balloon : VisibleWindows(&CollectBalloon)) {
            const std::wstring text = TextOf(balloon);
            if (!text.empty()) std::cout << Escaped(text) << '\n';
        }
        std::cout.flush();
        return 0;
    }
    for (HWND box : VisibleWindows(&CollectBox)) {
        std::wstring text;
        ::EnumChildWindows(box, &CollectStaticText, reinterpret_cast<LPARAM>(&text));
        std::cout << Escaped(TextOf(box)) << '\t' << Escaped(text) << '\n';
    }
    std::cout.flush();
    return 0;
}
