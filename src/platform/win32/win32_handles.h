// Move-only owners of the OS handles the Windows backend creates, and scoped
// helpers for painting and for objects selected into a device context.
#pragma once

#include <windows.h>

#include <utility>

namespace pelmora::win32 {

// Owns one handle; Close is called on it once, unless it was released.
template <typename Handle, typename Close>
class Owned {
  public:
    Owned() = default;
    explicit Owned(Handle handle) noexcept : handle_(handle) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.handle_, Handle{}));
        }
        return *this;
    }
    ~Owned() { reset(); }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Handle{}; }
    Handle release() noexcept { return std::exchange(handle_, Handle{}); }
    void reset(Handle handle = Handle{}) noexcept {
        const Handle old = std::exchange(handle_, handle);
        if (old != Handle{}) {
            Close{}(old);
        }
    }

  private:
    Handle handle_{};
};

struct DestroyWindowFn {
    void operator()(HWND h) const noexcept { ::DestroyWindow(h); }
};
struct DestroyIconFn {
    void operator()(HICON h) const noexcept { ::DestroyIcon(h); }
};
struct DestroyMenuFn {
    void operator()(HMENU h) const noexcept { ::DestroyMenu(h); }
};
struct DeleteDcFn {
    void operator()(HDC h) const noexcept { ::DeleteDC(h); }
};
struct CloseHandleFn {
    void operator()(HANDLE h) const noexcept { ::CloseHandle(h); }
};
struct FreeLibraryFn {
    void operator()(HMODULE h) const noexcept { ::FreeLibrary(h); }
};
template <typename T>
struct DeleteObjectFn {
    void operator()(T h) const noexcept { ::DeleteObject(h); }
};

using WindowHandle = Owned<HWND, DestroyWindowFn>;
using IconHandle = Owned<HICON, DestroyIconFn>;
using MenuHandle = Owned<HMENU, DestroyMenuFn>;
using MemoryDc = Owned<HDC, DeleteDcFn>;
using KernelHandle = Owned<HANDLE, CloseHandleFn>;
using ModuleHandle = Owned<HMODULE, FreeLibraryFn>;
using BitmapHandle = Owned<HBITMAP, DeleteObjectFn<HBITMAP>>;
using FontHandle = Owned<HFONT, DeleteObjectFn<HFONT>>;
using BrushHandle = Owned<HBRUSH, DeleteObjectFn<HBRUSH>>;
using PenHandle = Owned<HPEN, DeleteObjectFn<HPEN>>;

// BeginPaint/EndPaint for one WM_PAINT.
class PaintScope {
  public:
    explicit PaintScope(HWND hwnd) noexcept : hwnd_(hwnd), dc_(::BeginPaint(hwnd, &ps_)) {}
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    ~PaintScope() { ::EndPaint(hwnd_, &ps_); }

    HDC dc() const noexcept { return dc_; }
    const RECT& dirty() const noexcept { return ps_.rcPaint; }

  private:
    HWND hwnd_;
    PAINTSTRUCT ps_{};
    HDC dc_;
};

// GetDC/ReleaseDC, for measuring text and making compatible surfaces; with whole, the
// window's frame included (GetWindowDC).
class WindowDc {
  public:
    explicit WindowDc(HWND hwnd, bool whole = false) noexcept
        : hwnd_(hwnd), dc_(whole ? ::GetWindowDC(hwnd) : ::GetDC(hwnd)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc_ != nullptr) {
            ::ReleaseDC(hwnd_, dc_);
        }
    }

    HDC get() const noexcept { return dc_; }

  private:
    HWND hwnd_;
    HDC dc_;
};

// Selects a GDI object into a DC and puts the previous one back on scope exit.
class SelectScope {
  public:
    SelectScope(HDC dc, HGDIOBJ object) noexcept
        : dc_(dc), previous_(object != nullptr ? ::SelectObject(dc, object) : nullptr) {}
    SelectScope(const SelectScope&) = delete;
    SelectScope& operator=(const SelectScope&) = delete;
    ~SelectScope() {
        if (previous_ != nullptr) {
            ::SelectObject(dc_, previous_);
        }
    }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A memory DC with a bitmap of its own selected into it: an off-screen surface.
class Canvas {
  public:
    Canvas() = default;
    Canvas(HDC compatible, int width, int height)
        : dc_(::CreateCompatibleDC(compatible)),
          bitmap_(
              ::CreateCompatibleBitmap(compatible, width > 0 ? width : 1, height > 0 ? height : 1)),
          width_(width),
          height_(height) {
        if (dc_ && bitmap_) {
            previous_ = ::SelectObject(dc_.get(), bitmap_.get());
        }
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    Canvas(Canvas&& other) noexcept
        : dc_(std::move(other.dc_)),
          bitmap_(std::move(other.bitmap_)),
          previous_(std::exchange(other.previous_, nullptr)),
          width_(other.width_),
          height_(other.height_) {}
    Canvas& operator=(Canvas&& other) noexcept {
        if (this != &other) {
            unselect();
            dc_ = std::move(other.dc_);
            bitmap_ = std::move(other.bitmap_);
            previous_ = std::exchange(other.previous_, nullptr);
            width_ = other.width_;
            height_ = other.height_;
        }
        return *this;
    }
    ~Canvas() { unselect(); }

    explicit operator bool() const noexcept { return dc_ && bitmap_; }
    HDC dc() const noexcept { return dc_.get(); }
    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }

  private:
    // The bitmap must leave the DC before either is deleted.
    void unselect() noexcept {
        if (previous_ != nullptr && dc_) {
            ::SelectObject(dc_.get(), previous_);
            previous_ = nullptr;
        }
    }

    MemoryDc dc_;
    BitmapHandle bitmap_;
    HGDIOBJ previous_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

// A function of a system DLL that older systems lack (or that is loaded only when needed),
// or null.
template <typename Function>
Function lookUp(HMODULE module, const char* name) noexcept {
    if (module == nullptr) {
        return nullptr;
    }
    // Through the generic function type, which converts to any other.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

}  // namespace pelmora::win32
