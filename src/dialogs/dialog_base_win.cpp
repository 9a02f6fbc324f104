#include "dialogs/dialog_base_win.h"

#include <commctrl.h>

#include <algorithm>
#include <cstddef>
#include <exception>
#include <utility>

#include "platform/dpi_win.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace dv {

TDialogBase::~TDialogBase() {
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

namespace {

// The dialogs use the progress bar and tooltips; their classes must be registered before a template
// that names them is created.
void RegisterCommonControls() {
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&classes);
}

}  // namespace

INT_PTR TDialogBase::ShowModal(HWND owner) {
    // A second window for the same object would take over its handle: the first could then no
    // longer be closed.
    if (hwnd_) return 0;
    RegisterCommonControls();
    modal_ = true;
    result_ = -1;
    const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner, DialogProc,
                                           reinterpret_cast<LPARAM>(this));
    hwnd_ = nullptr;
    return result;
}

HWND TDialogBase::CreateModeless(HWND owner) {
    RegisterCommonControls();
    modal_ = false;
    result_ = -1;
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner, DialogProc,
                              reinterpret_cast<LPARAM>(this));
}

void TDialogBase::EndWith(INT_PTR result) {
    result_ = result;
    if (modal_) {
        EndDialog(hwnd_, result);
    } else {
        DestroyWindow(hwnd_);
    }
}

int TDialogBase::Message(std::wstring_view text, UINT flags) {
    if (MessageBoxHook) return MessageBoxHook(hwnd_, text, flags);
    const std::wstring copy(text);
    return MessageBoxW(hwnd_, copy.c_str(), std::wstring(kDialogTitle).c_str(), flags);
}

std::wstring TDialogBase::ItemText(int id) const {
    HWND item = Item(id);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
    return text;
}

void TDialogBase::SetItemText(int id, std::u16string_view text) {
    const std::wstring wide = ToWide(text);
    // Only a real change: edits would otherwise lose their caret and selection.
    if (ItemText(id) != wide) SetDlgItemTextW(hwnd_, id, wide.c_str());
}

void TDialogBase::AddHint(int id, std::u16string_view hint) {
    if (!tooltips_) {
        tooltips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
    }
    std::wstring text = ToWide(hint);
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V1_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(Item(id));
    tool.lpszText = text.data();
    SendMessageW(tooltips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void TDialogBase::Guarded(const std::function<void()>& body) {
    try {
        body();
    } catch (const Exception& error) {
        Message(ToWide(error.Message()), MB_OK | MB_ICONERROR);
    } catch (const std::exception& error) {
        Message(ToWide(FromUtf8(error.what())), MB_OK | MB_ICONERROR);
    }
}

int TDialogBase::Scaled(int pixelsAt96) const {
    return ScaleByDpi(pixelsAt96, dpi_);
}

HFONT TDialogBase::DialogFont() const {
    if (font_) return font_.get();
    return reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0));
}

namespace {

// The dialog manager of Windows 10 1703 and later lays per-monitor (v2) dialogs out again by itself;
// the dialogs do it themselves instead, the same way on every system, so that it happens only once.
void LeaveDpiChangesToTheDialog(HWND dialog) {
    using SetDialogDpiChangeBehaviorFn = BOOL(WINAPI*)(HWND, int, int);
    static const auto setBehavior = reinterpret_cast<SetDialogDpiChangeBehaviorFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetDialogDpiChangeBehavior")));
    constexpr int kDisableAll = 1;  // DDC_DISABLE_ALL
    if (setBehavior) setBehavior(dialog, kDisableAll, kDisableAll);
}

int ScaleBetween(int value, UINT from, UINT to) {
    return MulDiv(value, static_cast<int>(to), static_cast<int>(from));
}

int CellHeight(HWND window, HFONT font) {
    HDC dc = GetDC(window);
    const HGDIOBJ previous = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, previous);
    ReleaseDC(window, dc);
    return static_cast<int>(metrics.tmHeight);
}

// Sizes round up: a control a pixel short cuts its text's last line or letter.
int ScaleSizeBetween(int size, UINT from, UINT to) {
    return static_cast<int>((static_cast<long long>(size) * to + from - 1) / from);
}

}  // namespace

void TDialogBase::LayOutForDpi(UINT dpi, const RECT& suggested) {
    const UINT from = dpi_;
    if (dpi == 0 || dpi == from) return;
    dpi_ = dpi;
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);

    // The template's font at the new DPI, for every control that had the old one.
    const HFONT oldFont = DialogFont();
    LOGFONTW logical{};
    GetObjectW(oldFont, sizeof logical, &logical);
    // Everything grows by the ratio of the DPIs; a font's cell does not always grow in step with its
    // height, so the new font is the largest whose cell stays within the grown one.
    const int cellLimit = ScaleSizeBetween(CellHeight(hwnd_, oldFont), from, dpi);
    logical.lfHeight = ScaleBetween(logical.lfHeight, from, dpi);
    UniqueFont newFont(CreateFontIndirectW(&logical));
    for (int tries = 0; tries < 4 && CellHeight(hwnd_, newFont.get()) > cellLimit && logical.lfHeight != 0; ++tries) {
        logical.lfHeight += logical.lfHeight < 0 ? 1 : -1;
        newFont.reset(CreateFontIndirectW(&logical));
    }

    for (HWND child = GetWindow(hwnd_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT place{};
        GetWindowRect(child, &place);
        wchar_t type[16] = {};
        GetClassNameW(child, type, 16);
        // A combo box's height is that of its open list.
        if (_wcsicmp(type, L"ComboBox") == 0)
            SendMessageW(child, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&place));
        MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&place), 2);
        if (reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)) == oldFont) {
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(newFont.get()), FALSE);
        }
        const int left = ScaleBetween(place.left, from, dpi);
        const int top = ScaleBetween(place.top, from, dpi);
        SetWindowPos(child, nullptr, left, top, ScaleSizeBetween(place.right - place.left, from, dpi),
                     ScaleSizeBetween(place.bottom - place.top, from, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
    }
    font_ = std::move(newFont);  // the old one is no longer selected into any control
    OnDpiChanged();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

INT_PTR CALLBACK TDialogBase::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    TDialogBase* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<TDialogBase*>(lParam);
        self->hwnd_ = hwnd;
        self->dpi_ = DpiOfWindow(hwnd);
        self->font_.reset();
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        LeaveDpiChangesToTheDialog(hwnd);
    } else {
        self = reinterpret_cast<TDialogBase*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (!self) return FALSE;
    if (message == WM_DPICHANGED) {
        // https://learn.microsoft.com/windows/win32/hidpi/wm-dpichanged
        self->LayOutForDpi(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return TRUE;
    }
    const INT_PTR handled = self->HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
        self->tooltips_ = nullptr;  // owned by the dialog, gone with it
        self->font_.reset();        // no control is left to use it
    }
    return handled;
}

bool SetClipboardUnicodeText(HWND owner, std::u16string_view text) {
    if (!OpenClipboard(owner)) return false;
    EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    bool stored = false;
    if (memory) {
        auto* target = static_cast<wchar_t*>(GlobalLock(memory));
        std::copy(text.begin(), text.end(), target);
        target[text.size()] = L'\0';
        GlobalUnlock(memory);
        stored = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        if (!stored) GlobalFree(memory);  // the clipboard took it only on success
    }
    CloseClipboard();
    return stored;
}

void ProcessPendingMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

int ScaleForWindow(HWND hwnd, int pixelsAt96) {
    return ScaleByDpi(pixelsAt96, DpiOfWindow(hwnd));
}

}  // namespace dv
