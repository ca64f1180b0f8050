// The native platform on Qt Widgets: makes the windows and keeps the live ones by handle for
// the OS calls, the single-instance lock, the message box, the screen's pointer, posted work,
// the end of the event loop and where report lines go.
#pragma once

#include <QIcon>
#include <QImage>
#include <QObject>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/core/native.h"
#include "platform/linux/linux_instance.h"

namespace pelmora::qt {

class QtWindow;

struct PlatformOptions {
    // The single-instance lock file; empty takes no lock.
    std::string lockPath;
    // Why there is no safe place for the lock; told once, when the program asks.
    std::string lockProblem;
    // Empty: the running file's name without its extension.
    std::string executableName;
    // Where report lines go; empty: standard error.
    std::function<void(std::string_view line)> reportSink;
    // Leaves the event loop; empty: the application's event loop exits with status 0.
    std::function<void()> quit;
};

// Told when a window goes and when the program ends, so that what belongs to them (tray
// icons) goes too.
class WindowObserver {
  public:
    virtual void windowDestroyed(platform::Hwnd hWnd) noexcept = 0;
    virtual void programEnded() noexcept = 0;

  protected:
    ~WindowObserver() = default;
};

// A popup menu that a tray host shows by itself (a StatusNotifierItem host's D-Bus menu).
class HostMenu {
  public:
    // Shows these rows from now on. A row chosen from the host later goes to chosen, from the
    // event loop, while receiver lives.
    virtual void fill(std::span<const core::PopupRow> rows, QObject& receiver,
                      std::function<void(std::size_t row)> chosen) = 0;

  protected:
    ~HostMenu() = default;
};

class QtPlatform final : public core::NativePlatform {
  public:
    explicit QtPlatform(PlatformOptions options = {});
    ~QtPlatform() override;

    std::unique_ptr<core::NativeWindow> createWindow(const core::WindowSpec& shape,
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

    // A live window by its handle, or nullptr.
    QtWindow* findWindow(platform::Hwnd hWnd) const noexcept;
    // A live window's icon by its handle, or nullptr.
    const QIcon* findIcon(std::uintptr_t handle) const noexcept;
    std::size_t windowCount() const noexcept { return windows_.size(); }
    void setWindowObserver(WindowObserver* observer) noexcept { observer_ = observer; }
    // One of the embedded pictures, decoded once; none is a null image.
    const QImage& picture(platform::PictureId id);
    // While a tray host asks for the menu it shows itself, popups go into that menu instead
    // of opening at the pointer.
    HostMenu* hostMenuRequest() const noexcept { return hostMenuRequest_; }
    void setHostMenuRequest(HostMenu* menu) noexcept { hostMenuRequest_ = menu; }

    // From the windows, as they come and go.
    void windowCreated(QtWindow& window);
    void windowDestroyed(QtWindow& window) noexcept;

  private:
    platform::Hwnd nextHandle() noexcept;

    PlatformOptions options_;
    std::optional<linux_os::InstanceLock> lock_;
    std::map<platform::Hwnd, QtWindow*> windows_;
    std::map<platform::PictureId, QImage> pictures_;
    // Decoded once: every About box shows the same icon.
    std::map<platform::PictureId, QIcon> icons_;
    QImage noPicture_;
    WindowObserver* observer_ = nullptr;
    HostMenu* hostMenuRequest_ = nullptr;
    platform::Hwnd lastHandle_ = 0x1000;
    bool pointerOverridden_ = false;
    // Posted work runs on this object: it is dropped if the platform goes first.
    QObject context_;
};

}  // namespace pelmora::qt
