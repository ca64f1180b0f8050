// Helpers of the Windows backend tests: input and events recorded as text lines, the
// message loop run for a while or until something happened, and a window's pixels.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/core/native.h"
#include "platform/forms.h"
#include "platform/win32/win32_platform.h"

namespace pelmora::win32::test {

inline std::string pointText(int x, int y) {
    return std::to_string(x) + "," + std::to_string(y);
}

inline std::string buttonText(platform::MouseButton button) {
    switch (button) {
        case platform::MouseButton::Left:
            return "left";
        case platform::MouseButton::Right:
            return "right";
        case platform::MouseButton::Middle:
            return "middle";
    }
    return "?";
}

inline std::string modifierText(platform::Modifiers keys) {
    std::string text;
    text += keys.shift ? "S" : "";
    text += keys.control ? "C" : "";
    text += keys.alt ? "A" : "";
    return text.empty() ? "-" : text;
}

// The input a native window pushes, one line per event.
class RecordingInput final : public core::WindowInput {
  public:
    void mousePressed(std::optional<core::WidgetId> control, platform::MouseButton button,
                      platform::Modifiers modifiers, core::PixelPoint at) noexcept override {
        log.push_back("press " + (control ? std::to_string(*control) : std::string("-")) + " " +
                      buttonText(button) + " " + modifierText(modifiers) + " " +
                      pointText(at.x, at.y));
    }
    void buttonClicked(core::WidgetId button) noexcept override {
        log.push_back("click " + std::to_string(button));
    }
    void timerTicked(core::WidgetId timer) noexcept override {
        log.push_back("tick " + std::to_string(timer));
        if (onTick) {
            onTick(timer);
        }
    }
    void closeRequested() noexcept override { log.push_back("close"); }
    void activated() noexcept override { log.push_back("activate"); }
    void keyPressed(core::Key key, platform::Modifiers modifiers) noexcept override {
        log.push_back("key " + std::to_string(static_cast<int>(key)) + " " +
                      modifierText(modifiers));
    }
    void popupChosen(std::size_t row) noexcept override {
        log.push_back("chosen " + std::to_string(row));
    }
    void blockedPress() noexcept override { log.push_back("blocked"); }
    void screensChanged() noexcept override { log.push_back("screens"); }

    std::vector<std::string> log;
    std::function<void(core::WidgetId)> onTick;
};

// The system's events as the core delivers them, one line per event.
class RecordingEvents final : public platform::FormEvents {
  public:
    void onLoad() override { log.push_back("load"); }
    void onUnload(bool& cancel) override {
        log.push_back("unload");
        cancel = cancelUnload;
    }
    void onTerminate() override { log.push_back("terminate"); }
    void onActivate() override { log.push_back("activate"); }
    void onTimer(platform::ControlName timer) override {
        if (onTick) {
            onTick(timer);
        }
    }
    void onMouseDown(platform::ControlName control, std::int16_t index,
                     platform::MouseButton button, platform::Modifiers shift, float x,
                     float y) override {
        log.push_back("mouse " + std::string(control.empty() ? "Form" : control.text()) + " " +
                      std::to_string(index) + " " + buttonText(button) + " " + modifierText(shift) +
                      " " + pointText(static_cast<int>(x), static_cast<int>(y)));
    }
    void onClick(platform::ControlName control, std::int16_t index) override {
        log.push_back("click " + std::string(control.text()) + " " + std::to_string(index));
    }

    std::vector<std::string> log;
    std::function<void(platform::ControlName)> onTick;
    bool cancelUnload = false;
};

// Dispatches messages through the platform until done() holds or the time is up.
inline bool pumpUntil(Win32Platform& platform, const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        const auto left = end - std::chrono::steady_clock::now();
        if (left <= std::chrono::milliseconds(0)) {
            return false;
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(wait), QS_ALLINPUT);
        MSG msg{};
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            platform.dispatch(msg);
        }
    }
    return true;
}

inline void pumpFor(Win32Platform& platform, std::chrono::milliseconds time) {
    pumpUntil(
        platform, [] { return false; }, time);
}

// A window's client area as painted, read back pixel by pixel (0x00RRGGBB).
class Pixels {
  public:
    explicit Pixels(HWND hwnd) {
        ::RedrawWindow(hwnd, nullptr, nullptr,
                       RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_ERASE);
        RECT client{};
        ::GetClientRect(hwnd, &client);
        width_ = client.right;
        height_ = client.bottom;
        POINT origin{0, 0};
        ::ClientToScreen(hwnd, &origin);
        // Read from the screen: what the window and its children show together.
        WindowDc screen(nullptr);
        MemoryDc copy(::CreateCompatibleDC(screen.get()));
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        BitmapHandle bitmap(
            ::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        {
            SelectScope selected(copy.get(), bitmap.get());
            ::BitBlt(copy.get(), 0, 0, width_, height_, screen.get(), origin.x, origin.y, SRCCOPY);
        }
        const auto* words = static_cast<const std::uint32_t*>(bits);
        pixels_.assign(words, words + static_cast<std::size_t>(width_) * height_);
    }

    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }
    std::uint32_t at(int x, int y) const { return pixels_.at(y * width_ + x) & 0xFFFFFFu; }
    int count(RECT box, std::uint32_t rgb) const {
        int found = 0;
        for (int y = box.top; y < box.bottom; ++y) {
            for (int x = box.left; x < box.right; ++x) {
                found += at(x, y) == rgb ? 1 : 0;
            }
        }
        return found;
    }

  private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> pixels_;
};

// What the system sends a window whose screen changed its DPI: the new DPI and where the
// window should go.
inline void changeDpi(HWND hwnd, int dpi, RECT suggested) {
    constexpr UINT kDpiChanged = 0x02E0;  // WM_DPICHANGED
    ::SendMessageA(hwnd, kDpiChanged, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
}

// A child window's rectangle in its parent's client area.
inline RECT childRect(HWND child) {
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

inline SIZE clientSize(HWND hwnd) {
    RECT client{};
    ::GetClientRect(hwnd, &client);
    return {client.right, client.bottom};
}

// A COLORREF (0x00BBGGRR) as the pixels read back (0x00RRGGBB).
constexpr std::uint32_t rgbOf(COLORREF colour) noexcept {
    return ((colour & 0xFFu) << 16) | (colour & 0xFF00u) | ((colour >> 16) & 0xFFu);
}

}  // namespace pelmora::win32::test
