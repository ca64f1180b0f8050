// The native platform on Windows: the window classes, the program's pictures, icons and
// fonts, the single-instance mutex, the screen's pointer, work posted to the event loop
// through a hidden message-only window, and the message loop itself.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/native.h"
#include "platform/win32/win32_handles.h"

namespace pelmora::win32 {

struct PlatformOptions {
    // Named mutex that tells a second copy that one runs already.
    std::string instanceMutex = "Local\\Pelmora.Instance";
    // Where report lines go; empty: to an attached debugger and to stderr.
    std::function<void(std::string_view line)> reportSink;
    // Told when the shell has restarted, with the window that heard of it.
    std::function<void(HWND window)> onShellRestart;
    // Dots per inch of every screen, as if the system said so; 0: what the system says.
    int dpi = 0;
};

// Pixels at 96 DPI, as the core gives them, in device pixels at a DPI; and back.
inline int toDevice(int pixels, int dpi) noexcept {
    return ::MulDiv(pixels, dpi, 96);
}
inline int fromDevice(int pixels, int dpi) noexcept {
    return ::MulDiv(pixels, 96, dpi);
}

// The calls only newer systems have (7; 8.1; 10 1607), looked up when the program starts:
// null where the running one lacks them.
struct NewerCalls {
    // For windows on screens of different DPIs.
    UINT(WINAPI* getDpiForWindow)(HWND) = nullptr;
    BOOL(WINAPI* adjustWindowRectExForDpi)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
    int(WINAPI* getSystemMetricsForDpi)(int, UINT) = nullptr;
    HRESULT(WINAPI* getDpiForMonitor)(HMONITOR, int, UINT*, UINT*) = nullptr;
    // Lets a message of a process of lower integrity through to a window.
    BOOL(WINAPI* changeWindowMessageFilterEx)(HWND, UINT, DWORD, void*) = nullptr;
};

class Win32Platform final : public core::NativePlatform {
  public:
    Win32Platform(HINSTANCE instance, PlatformOptions options = {});
    ~Win32Platform() override;

    std::unique_ptr<core::NativeWindow> createWindow(const core::WindowSpec& geometry,
                                                     core::WindowInput& input) override;
    bool otherInstanceRunning() override;
    std::string executableName() override;
    void messageBox(std::string_view title, std::string_view prompt,
                    platform::MsgBoxIcon icon) override;
    void setPointer(platform::MousePointer pointer) override;
    std::vector<core::PixelRect> workAreas() override;
    core::PixelPoint pointerPosition() override;
    void post(std::function<void()> work) override;
    void quit() override;
    void writeReportLine(std::string_view line) noexcept override;

    // Runs the event loop until quit().
    void run();
    // Waits for one message and dispatches it; false once the loop is to stop.
    bool pumpOne();
    // Dispatches a message taken from the queue, with the dialog keys of forms with buttons.
    void dispatch(MSG& msg);
    // Whether any window of a form exists in this thread.
    bool hasFormWindows() const;

    // For the windows. Pixels from the core are pixels at 96 DPI; each window scales them to
    // the DPI of the screen it is on.
    HINSTANCE instance() const noexcept { return instance_; }
    // The session's DPI, which windows start at; a window's; a screen's.
    int systemDpi() const noexcept { return systemDpi_; }
    int windowDpi(HWND hwnd) const noexcept;
    int monitorDpi(HMONITOR monitor) const noexcept;
    // The outer size of a window of that style around a client area, at a DPI.
    SIZE frameSize(SIZE client, DWORD style, DWORD exStyle, int dpi) const noexcept;
    int systemMetric(int index, int dpi) const noexcept;
    HBITMAP picture(platform::PictureId id);
    // A picture's size as drawn at a DPI, in device pixels.
    SIZE pictureSize(platform::PictureId id, int dpi);
    HICON icon(int size);
    HFONT font(const platform::FontDef& def, int dpi);
    // The cursor the screen's pointer asks for, or null for each window's own.
    HCURSOR pointerCursor() const noexcept;
    UINT taskbarCreatedMessage() const noexcept { return taskbarCreated_; }
    // Lets the shell's announcement that it restarted reach a window even when the program
    // runs with more rights than the shell (elevated).
    void hearShellRestarts(HWND hwnd) const noexcept;
    void shellRestarted(HWND hwnd) noexcept;

    static constexpr const char* kFormClass = "PelmoraForm";
    static constexpr const char* kPictureClass = "PelmoraPicture";
    static constexpr const char* kPostClass = "PelmoraPost";
    static constexpr int kIconSize = 32;

  private:
    static LRESULT CALLBACK postProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void registerClasses();
    void runPosted() noexcept;

    HINSTANCE instance_;
    PlatformOptions options_;
    ModuleHandle shcore_;
    NewerCalls newer_;
    int systemDpi_ = 96;
    UINT taskbarCreated_ = 0;
    std::vector<ATOM> classes_;
    KernelHandle instanceMutex_;
    bool otherInstance_ = false;
    platform::MousePointer pointer_ = platform::MousePointer::Default;
    bool quitting_ = false;
    WindowHandle postWindow_;
    std::deque<std::function<void()>> posted_;

    std::map<platform::PictureId, BitmapHandle> pictures_;
    std::map<int, IconHandle> icons_;          // by size
    std::map<std::string, FontHandle> fonts_;  // by the bytes of their LOGFONTA
};

// A colour of the layouts as GDI takes it: system colours looked up.
COLORREF toColorRef(platform::Colour colour) noexcept;

}  // namespace pelmora::win32
