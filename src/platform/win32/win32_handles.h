// Move-only owners of the OS handles the Windows backend creates, and scoped
// helpers for painting and for objects selected into a device context.
#pragma once

#include <windows.h>

#include <algorithm>
#include <utility>

namespace pelmora::win32 {

// Owns one handle; Close is called on it once, unless it was released.
template <typename Handle, auto Close>
class Owned {
  public:
    Owned() = default;
    explicit Owned(Handle handle) noexcept : handle_(handle) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : handle_(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~Owned() { reset(); }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Handle{}; }
    Handle release() noexcept { return std::exchange(handle_, Handle{}); }
    void reset(Handle handle = Handle{}) noexcept {
        const Handle old = std::exchange(handle_, handle);
        if (old != Handle{}) {
            Close(old);
        }
    }

  private:
    Handle handle_{};
};

using WindowHandle = Owned<HWND, &::DestroyWindow>;
using IconHandle = Owned<HICON, &::DestroyIcon>;
using MenuHandle = Owned<HMENU, &::DestroyMenu>;
using MemoryDc = Owned<HDC, &::DeleteDC>;
using KernelHandle = Owned<HANDLE, &::CloseHandle>;
using ModuleHandle = Owned<HMODULE, &::FreeLibrary>;
using BitmapHandle = Owned<HBITMAP, &::DeleteObject>;
using FontHandle = Owned<HFONT, &::DeleteObject>;
using BrushHandle = Owned<HBRUSH, &::DeleteObject>;
using PenHandle = Owned<HPEN, &::DeleteObject>;

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

// A memory DC with a bitmap of its own selected into it: an off-screen surface. The bitmap
// leaves the DC before either is deleted.
class Canvas {
  public:
    Canvas(HDC compatible, int width, int height)
        : dc_(::CreateCompatibleDC(compatible)),
          bitmap_(::CreateCompatibleBitmap(compatible, std::max(width, 1), std::max(height, 1))),
          selected_(dc_.get(), bitmap_.get()),
          width_(width),
          height_(height) {}

    explicit operator bool() const noexcept { return dc_ && bitmap_; }
    HDC dc() const noexcept { return dc_.get(); }
    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }

  private:
    MemoryDc dc_;
    BitmapHandle bitmap_;
    SelectScope selected_;
    int width_;
    int height_;
};

// A function of a system DLL that older systems lack (or that is loaded only when needed),
// or null.
template <typename Function>
void lookUp(Function& into, HMODULE module, const char* name) noexcept {
    // Through the generic function type, which converts to any other.
    into = module == nullptr ? nullptr
                             : reinterpret_cast<Function>(
                                   reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

}  // namespace pelmora::win32
