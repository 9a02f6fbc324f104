#include "dialogs/dialog_base_win.h"

#include <commctrl.h>

#include <exception>

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
    const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner,
                                           DialogProc, reinterpret_cast<LPARAM>(this));
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

INT_PTR CALLBACK TDialogBase::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    TDialogBase* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<TDialogBase*>(lParam);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    } else {
        self = reinterpret_cast<TDialogBase*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (!self) return FALSE;
    const INT_PTR handled = self->HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
        self->tooltips_ = nullptr;  // owned by the dialog, gone with it
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
    // GetDpiForWindow exists from Windows 10 1607 on; older systems scale by the screen's DPI.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    UINT dpi = getDpiForWindow ? getDpiForWindow(hwnd) : 0;
    if (dpi == 0) {
        HDC screen = GetDC(nullptr);
        dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
        ReleaseDC(nullptr, screen);
    }
    return MulDiv(pixelsAt96, static_cast<int>(dpi), 96);
}

}  // namespace dv
