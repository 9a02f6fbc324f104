// One move-only owner for every kind of Win32 handle.
#pragma once

#include <utility>

#include "platform/windows_include.h"

namespace dv {

template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Handle get() const noexcept { return handle_; }
    bool valid() const noexcept { return handle_ != Traits::Invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    Handle release() noexcept { return std::exchange(handle_, Traits::Invalid()); }
    void reset(Handle handle = Traits::Invalid()) noexcept {
        if (valid()) Traits::Close(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = Traits::Invalid();
};

// Kernel objects that CreateFileW and its kind report as INVALID_HANDLE_VALUE when they fail.
struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) noexcept { ::CloseHandle(handle); }
};
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;

// Kernel objects that report failure as NULL (threads, events, mutexes, processes).
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { ::CloseHandle(handle); }
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

struct RegistryKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { ::RegCloseKey(handle); }
};
using UniqueRegistryKey = UniqueHandle<RegistryKeyTraits>;

// Modules from LoadLibraryExW (message tables loaded as data files, among others).
struct ModuleHandleTraits {
    using Handle = HMODULE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { ::FreeLibrary(handle); }
};
using UniqueModule = UniqueHandle<ModuleHandleTraits>;

// Directory-change handles report failure as INVALID_HANDLE_VALUE and have a closer of their own.
struct ChangeNotificationTraits {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) noexcept { ::FindCloseChangeNotification(handle); }
};
using UniqueChangeNotification = UniqueHandle<ChangeNotificationTraits>;

// --- User-interface and GDI objects ---

struct DesktopTraits {
    using Handle = HDESK;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { ::CloseDesktop(handle); }
};
using UniqueDesktop = UniqueHandle<DesktopTraits>;

struct WindowTraits {
    using Handle = HWND;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { ::DestroyWindow(handle); }
};
using UniqueWindow = UniqueHandle<WindowTraits>;

// A menu that is not attached to a window: one attached is destroyed with it.
struct MenuTraits {
    using Handle = HMENU;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { ::DestroyMenu(handle); }
};
using UniqueMenu = UniqueHandle<MenuTraits>;

// Icons from LoadImageW without LR_SHARED, and CreateIcon* icons.
struct IconTraits {
    using Handle = HICON;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { ::DestroyIcon(handle); }
};
using UniqueIcon = UniqueHandle<IconTraits>;

// Fonts, brushes, pens and bitmaps made by the application (not stock objects, not the system's
// colour brushes). They must not be selected into a device context when they go.
template <typename GdiHandle>
struct GdiObjectTraits {
    using Handle = GdiHandle;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { ::DeleteObject(handle); }
};
using UniqueFont = UniqueHandle<GdiObjectTraits<HFONT>>;
using UniqueBrush = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using UniquePen = UniqueHandle<GdiObjectTraits<HPEN>>;
using UniqueBitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;

// A window's (or, with no window, the screen's) device context for as long as the scope runs.
class ScopedWindowDC {
public:
    explicit ScopedWindowDC(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
    ~ScopedWindowDC() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    ScopedWindowDC(const ScopedWindowDC&) = delete;
    ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;

    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a device context and puts the one it replaced back at the end of the scope,
// before the object's owner may delete it.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~ScopedSelectObject() {
        if (previous_ && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
    }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace dv
