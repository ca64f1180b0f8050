// The forms runtime on Windows: application information, forms built from layout
// tables as real windows, the message loop, the screen's pointer and the edge at
// which every call into the system is caught and reported.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/common/error_reporter.h"
#include "platform/forms.h"
#include "platform/win32/win32_handles.h"

namespace pelmora::win32 {

class Win32Form;

struct RuntimeOptions {
    // Named mutex that tells a second copy that one runs already.
    std::string instanceMutex = "Local\\Pelmora.Instance";
    // Called when the shell restarts, with the window that was told so.
    std::function<void(HWND)> onShellRestart;
    // Where reported errors go; the default writes to the debugger and stderr.
    platform::ErrorReporter::Sink errorSink;
};

// Error numbers the backend raises of its own.
namespace errnum {
inline constexpr std::int32_t OutOfMemory = 7;
inline constexpr std::int32_t InternalError = 51;
inline constexpr std::int32_t ObjectUnloaded = 364;
inline constexpr std::int32_t InvalidPropertyValue = 380;
inline constexpr std::int32_t AlreadyShownModally = 400;
inline constexpr std::int32_t InvalidPicture = 481;
inline constexpr std::int32_t CannotCreateWindow = 31002;
}  // namespace errnum

class Win32Runtime final : public platform::FormsRuntime {
  public:
    Win32Runtime(HINSTANCE instance, RuntimeOptions options);
    ~Win32Runtime() override;

    // Application information.
    platform::Bool16 prevInstance() override;
    std::string exeName() override;
    std::string title() override;
    std::int16_t major() override;
    std::int16_t minor() override;
    std::int16_t revision() override;

    void msgBox(std::string_view prompt, std::int16_t style) override;
    void end() override;

    platform::Form& load(const platform::FormLayout& layout, platform::FormEvents& events) override;
    void unload(platform::Form& form) override;
    void unload(const platform::FormLayout& layout) override;

    void setMousePointer(std::int16_t value) override;
    void reportError(std::string_view handler, const platform::Error& error) noexcept override;

    // Runs the message loop while a form is loaded and the program has not ended.
    void run();
    // Dispatches messages until done() holds, the program ends or the loop is told to quit.
    void pumpUntil(const std::function<bool()>& done);
    bool ended() const noexcept { return ended_; }
    bool anyLoaded() const noexcept { return !forms_.empty(); }

    // Calls into the system at the edge: whatever it throws is reported, never passed on.
    template <typename Body>
    void deliver(std::string_view handler, Body&& body) noexcept;

    // For the backend's windows.
    HINSTANCE instance() const noexcept { return instance_; }
    int dpi() const noexcept { return dpi_; }
    int toPixels(std::int32_t twips) const noexcept { return ::MulDiv(twips, dpi_, 1440); }
    HBITMAP picture(platform::PictureId id);
    SIZE pictureSize(platform::PictureId id);
    HICON icon(int size);
    HFONT font(const platform::FontDef& def);
    HCURSOR pointerCursor() const noexcept;
    UINT taskbarCreatedMessage() const noexcept { return taskbarCreated_; }
    void shellRestarted(HWND hwnd);
    void unloadAll();
    // A form's window went away without an unload (its owner was destroyed under it).
    void forgetForm(Win32Form& form) noexcept;
    Win32Form* formOf(HWND hwnd) const noexcept;
    const std::vector<std::unique_ptr<Win32Form>>& forms() const noexcept { return forms_; }

  private:
    // Reports the exception being handled; never throws.
    void reportCurrentException(std::string_view handler) noexcept;
    void registerClasses();
    void dispatch(MSG& msg);
    void unloadForm(Win32Form& form);
    bool retire(Win32Form& form);
    void destroyAll() noexcept;
    static void wake() noexcept;
    void collect() noexcept;
    HWND ownerForNewForm() const noexcept;

    HINSTANCE instance_;
    RuntimeOptions options_;
    platform::ErrorReporter reporter_;
    KernelHandle instanceMutex_;
    bool prevInstance_ = false;
    bool ended_ = false;
    int dpi_ = 96;
    int depth_ = 0;
    std::int16_t pointer_ = platform::pointer::Default;
    UINT taskbarCreated_ = 0;
    std::vector<ATOM> classes_;
    std::vector<std::unique_ptr<Win32Form>> forms_;
    // Unloaded forms wait here until no call into the system is on the stack.
    std::vector<std::unique_ptr<Win32Form>> retired_;

    struct Picture {
        platform::PictureId id;
        BitmapHandle bitmap;
    };
    std::vector<Picture> pictures_;
    struct Icon {
        int size;
        IconHandle handle;
    };
    std::vector<Icon> icons_;
    struct Font {
        std::string face;
        int height;
        platform::FontDef def;
        FontHandle handle;
    };
    std::vector<Font> fonts_;
};

template <typename Body>
void Win32Runtime::deliver(std::string_view handler, Body&& body) noexcept {
    if (ended_) {
        return;
    }
    ++depth_;
    try {
        body();
    } catch (...) {
        reportCurrentException(handler);
    }
    --depth_;
}

// The window classes of the backend.
inline constexpr const char* kFormClass = "PelmoraForm";
inline constexpr const char* kPictureClass = "PelmoraPicture";

}  // namespace pelmora::win32
