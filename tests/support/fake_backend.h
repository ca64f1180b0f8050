// A recording fake of the forms runtime and the OS calls, for tests. It keeps state
// as a real backend would (captions, alignments, check marks, window states, the
// window-procedure chain of each window, the tray icon as the shell keeps it),
// records every operation in order as readable text, fails chosen operations on
// request, and drives the events the program handles. Errors that reach its event
// edges are reported through reportError, as a real backend reports them.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/forms.h"
#include "platform/layout.h"
#include "platform/os_calls.h"
#include "platform/types.h"

namespace pelmora::fake {

class FakeBackend;

// Text forms used in the journal, so that tests can build expected entries.
std::string hex(std::uint64_t value);
std::string num(float value);  // the shortest text that reads back as the same float
std::string quoted(std::string_view text);
std::string controlId(std::string_view name, std::int16_t index);
std::string colourText(platform::Colour colour);

// One box drawn with Line.
struct Bar {
    std::int16_t flags = 0;
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    platform::Colour colour = 0;
};

class FakeLabel final : public platform::Label {
  public:
    FakeLabel(FakeBackend& backend, std::string id, const platform::ControlDef& def)
        : text(def.text), align(def.alignment), backend_(&backend), id_(std::move(id)) {}

    std::string caption() const override;
    void setCaption(std::string_view value) override;
    std::int16_t alignment() const override;
    void setAlignment(std::int16_t value) override;

    std::string text;
    std::int16_t align;

  private:
    FakeBackend* backend_;
    std::string id_;
};

class FakePictureBox final : public platform::PictureBox {
  public:
    FakePictureBox(FakeBackend& backend, std::string id, const platform::ControlDef& def,
                   platform::ScaleUnit unit);

    platform::Bool16 visible() const override;
    void setVisible(platform::Bool16 value) override;
    float left() const override;
    void setLeft(float value) override;
    void cls() override;
    void refresh() override;
    void scale(std::int16_t flags, float x1, float y1, float x2, float y2) override;
    void line(std::int16_t flags, float x1, float y1, float x2, float y2,
              platform::Colour colour) override;

    platform::Bool16 shown;
    float position;
    std::vector<Bar> bars;  // what is drawn now: Cls clears it
    int clsCount = 0;
    int refreshCount = 0;
    std::optional<std::array<float, 4>> userScale;

  private:
    FakeBackend* backend_;
    std::string id_;
    platform::ScaleUnit unit_;
};

class FakeTimer final : public platform::Timer {
  public:
    FakeTimer(FakeBackend& backend, std::string id, const platform::ControlDef& def)
        : on(platform::toBool16(def.enabled)),
          interval(def.interval),
          backend_(&backend),
          id_(std::move(id)) {}

    platform::Bool16 enabled() const override;
    void setEnabled(platform::Bool16 value) override;

    platform::Bool16 on;
    std::int32_t interval;

  private:
    FakeBackend* backend_;
    std::string id_;
};

class FakeMenu final : public platform::Menu {
  public:
    explicit FakeMenu(std::string name) : name(std::move(name)) {}
    std::string name;
};

class FakeMenuItem final : public platform::MenuItem {
  public:
    FakeMenuItem(FakeBackend& backend, std::string id, const platform::MenuDef& def)
        : mark(platform::toBool16(def.checked)), def(def), backend_(&backend), id_(std::move(id)) {}

    platform::Bool16 checked() const override;
    void setChecked(platform::Bool16 value) override;

    platform::Bool16 mark;
    platform::MenuDef def;

  private:
    FakeBackend* backend_;
    std::string id_;
};

class FakeForm final : public platform::Form {
  public:
    FakeForm(FakeBackend& backend, const platform::FormLayout& layout, platform::FormEvents& events,
             platform::Hwnd handle, std::uintptr_t icon);

    platform::Hwnd hWnd() const override;
    std::uintptr_t iconHandle() const override;
    std::int16_t windowState() const override;
    void setWindowState(std::int16_t state) override;
    void setFocus() override;
    void popupMenu(platform::Menu& menu) override;
    std::string caption() const override;
    void setCaption(std::string_view text) override;
    void show(std::int16_t modal) override;

    platform::Label& label(std::string_view name, std::int16_t index) override;
    platform::PictureBox& pictureBox(std::string_view name) override;
    platform::Timer& timer(std::string_view name) override;
    platform::Menu& menu(std::string_view name) override;
    platform::MenuItem& menuItem(std::string_view name, std::int16_t index) override;

    // State for tests, read and written without recording anything.
    FakeLabel& labelState(std::string_view name, std::int16_t index = platform::kNoIndex);
    FakePictureBox& pictureState(std::string_view name);
    FakeTimer& timerState(std::string_view name);
    FakeMenuItem& itemState(std::string_view name, std::int16_t index = platform::kNoIndex);
    bool hasControl(std::string_view name, std::int16_t index) const;
    const platform::MenuDef* menuEntry(std::string_view parent, std::int16_t index) const;

    const platform::FormLayout layout;
    platform::FormEvents& events;
    const std::string name;
    const platform::Hwnd handle;
    const std::uintptr_t icon;
    std::string captionText;
    std::int16_t state = 0;
    bool visible = false;
    bool modal = false;
    bool loaded = true;
    int focusCount = 0;

  private:
    using Key = std::pair<std::string, std::int16_t>;
    void lookup(std::string_view name, std::int16_t index, bool found, bool arrayExists) const;

    FakeBackend* backend_;
    std::map<Key, std::unique_ptr<FakeLabel>> labels_;
    std::map<std::string, std::unique_ptr<FakePictureBox>, std::less<>> pictures_;
    std::map<std::string, std::unique_ptr<FakeTimer>, std::less<>> timers_;
    std::map<std::string, std::unique_ptr<FakeMenu>, std::less<>> menus_;
    std::map<Key, std::unique_ptr<FakeMenuItem>> items_;
    std::vector<Key> others_;  // lines, images and buttons
};

// The figures the memory query reports.
struct MemoryFigures {
    std::uint32_t load = 49;
    std::uint64_t totalPhys = 512ull << 20;
    std::uint64_t availPhys = 256ull << 20;
    std::uint64_t totalPageFile = 1536ull << 20;
    std::uint64_t availPageFile = 1024ull << 20;
    std::uint64_t totalVirtual = 2048ull << 20;
    std::uint64_t availVirtual = 1900ull << 20;
    std::uint64_t availExtendedVirtual = 0;
};

// The tray icon as the shell keeps it.
struct TrayIcon {
    bool present = false;
    std::uint32_t hWnd = 0;
    std::uint32_t uID = 0;
    std::uint32_t callbackMessage = 0;
    std::uint32_t hIcon = 0;
    std::string tip;
    bool tipUnterminated = false;  // a tip field without a NUL was ever received
};

struct TrayRequest {
    std::uint32_t message = 0;
    platform::NOTIFYICONDATAA data{};
    std::int32_t result = 0;
};

struct Report {
    std::string handler;
    std::int32_t number = 0;
    std::string description;
};

struct MessageBox {
    std::string prompt;
    std::int16_t style = 0;
};

struct WindowMessage {
    platform::Hwnd hWnd = 0;
    std::uint32_t msg = 0;
    platform::WParam wParam = 0;
    platform::LParam lParam = 0;
    bool operator==(const WindowMessage&) const = default;
};

// The number of the error an injected failure raises unless a test names another.
inline constexpr std::int32_t kInjectedError = platform::errnum::InvalidProcedureCall;

class FakeBackend final : public platform::FormsRuntime, public platform::OsCalls {
  public:
    FakeBackend();
    ~FakeBackend() override;

    // ---- set-up ----
    platform::Bool16 previousInstance = platform::kFalse;
    std::string executableName = "Pelmora";
    std::string applicationTitle;
    std::int16_t versionMajor, versionMinor, versionRevision;
    MemoryFigures memory;
    // What a window's own default procedure returns.
    platform::LResult defaultProcResult = 0;

    // Fails the nth call of the operation named by key from now on (0: every call).
    // Runtime operations raise an Error; OS calls return 0 and change nothing.
    void failOn(std::string key, int nth = 0);
    // Fails it by raising this error, OS calls too.
    void failOn(std::string key, int nth, platform::Error error);
    void clearFailures();

    // Gives a window procedure a readable name in the journal.
    void nameProc(std::intptr_t proc, std::string name);
    // The choice made in the next popup menu: an item index, or nullopt to dismiss it.
    void chooseInNextPopup(std::optional<std::int16_t> index);
    // What happens while the next modal form is shown; a form still loaded afterwards
    // is closed by its frame.
    void whileModal(std::function<void()> script);

    // ---- events, as the user and the shell cause them; false when not delivered ----
    bool tick(std::string_view form, std::string_view timer);
    int tickUntilStopped(std::string_view form, std::string_view timer, int limit);
    bool mouseDown(std::string_view form, std::string_view control, std::int16_t index,
                   std::int16_t button, std::int16_t shift = 0, float x = 0, float y = 0);
    bool click(std::string_view form, std::string_view control,
               std::int16_t index = platform::kNoIndex);
    bool activate(std::string_view form);
    bool closeByFrame(std::string_view form);
    // A message sent to a window, through its procedure chain.
    platform::LResult sendToWindow(platform::Hwnd hWnd, std::uint32_t msg, platform::WParam wParam,
                                   platform::LParam lParam);
    // A mouse event on the tray icon, as the shell reports it; nullopt without an icon.
    std::optional<platform::LResult> trayMouse(platform::LParam event);

    // ---- state ----
    FakeForm* form(std::string_view name);  // a loaded form, or nullptr
    FakeForm& loadedForm(std::string_view name);
    bool ended() const noexcept { return ended_; }
    bool programEnded() const noexcept { return programEnded_; }
    std::int16_t mousePointer() const noexcept { return mousePointer_; }
    std::vector<std::int16_t> mousePointerHistory;
    bool topmost(platform::Hwnd hWnd) const;
    int drags(platform::Hwnd hWnd) const;
    std::intptr_t wndProc(platform::Hwnd hWnd) const;
    std::intptr_t defaultProcOf(platform::Hwnd hWnd) const;
    std::string procText(std::intptr_t proc) const;
    const TrayIcon& trayIcon() const noexcept { return tray_; }
    const std::vector<TrayRequest>& trayRequests() const noexcept { return trayRequests_; }
    const std::vector<Report>& reports() const noexcept { return reports_; }
    const std::vector<MessageBox>& messageBoxes() const noexcept { return messageBoxes_; }
    const std::vector<WindowMessage>& defaultProcMessages() const noexcept {
        return defaultMessages_;
    }
    std::optional<std::string> focusedForm;

    // ---- the journal ----
    const std::vector<std::string>& journal() const noexcept { return journal_; }
    // Entries from position `from` on that begin with one of the prefixes (all if none).
    std::vector<std::string> entries(std::vector<std::string_view> prefixes = {},
                                     std::size_t from = 0) const;
    std::size_t mark() const noexcept { return journal_.size(); }

    // ---- FormsRuntime ----
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

    // ---- OsCalls ----
    std::int32_t GlobalMemoryStatusEx(platform::MEMORYSTATUSEX& status) override;
    std::int32_t Shell_NotifyIconA(std::uint32_t dwMessage,
                                   platform::NOTIFYICONDATAA& data) override;
    std::intptr_t SetWindowLongA(platform::Hwnd hWnd, std::int32_t nIndex,
                                 std::intptr_t dwNewLong) override;
    platform::LResult CallWindowProcA(std::intptr_t lpPrevWndFunc, platform::Hwnd hWnd,
                                      std::uint32_t msg, platform::WParam wParam,
                                      platform::LParam lParam) override;
    std::int32_t SetWindowPos(platform::Hwnd hWnd, std::intptr_t hWndInsertAfter, std::int32_t x,
                              std::int32_t y, std::int32_t cx, std::int32_t cy,
                              std::uint32_t uFlags) override;
    std::int32_t ReleaseCapture() override;
    platform::LResult SendMessageA(platform::Hwnd hWnd, std::uint32_t msg, platform::WParam wParam,
                                   platform::LParam lParam) override;

    // ---- used by the fake's runtime objects ----
    // Records an operation, or fails it as a rule says: runtime operations raise.
    void op(const std::string& key, const std::string& entry);
    void write(const std::string& target, std::string_view property, const std::string& value);
    void read(const std::string& target, std::string_view property, const std::string& value);
    // Counts a control lookup (not journaled) and fails it as a rule says.
    void lookup(const std::string& key);
    // Delivers an event to the system, reporting what escapes it as a real edge does.
    bool deliver(const std::string& handler, const std::string& detail,
                 const std::function<void()>& event);
    void showForm(FakeForm& form, std::int16_t modal);
    void popup(FakeForm& form, FakeMenu& menu);

  private:
    struct FailRule {
        std::string key;
        int nth = 0;
        long long seenBefore = 0;
        std::optional<platform::Error> error;
    };
    // Finds the rule failing this call of key, counting the call.
    const FailRule* failing(const std::string& key);
    // Records an OS call; false when it is to fail quietly (raises for a rule with an error).
    bool osCall(const std::string& key, const std::string& entry);
    platform::LResult dispatch(platform::Hwnd hWnd, std::uint32_t msg, platform::WParam wParam,
                               platform::LParam lParam);
    platform::LResult invoke(std::intptr_t proc, platform::Hwnd hWnd, std::uint32_t msg,
                             platform::WParam wParam, platform::LParam lParam);
    FakeForm* windowForm(platform::Hwnd hWnd) const;
    void endProgram();

    std::vector<std::string> journal_;
    std::map<std::string, long long, std::less<>> counts_;
    std::vector<FailRule> rules_;
    std::map<std::string, std::unique_ptr<FakeForm>, std::less<>> loaded_;
    std::vector<std::unique_ptr<FakeForm>> unloaded_;  // kept: the system may still hold them
    std::vector<platform::FormEvents*> everLoaded_;
    std::map<platform::Hwnd, std::intptr_t> procs_;
    std::map<platform::Hwnd, std::intptr_t> defaultProcs_;
    std::map<platform::Hwnd, bool> topmost_;
    std::map<platform::Hwnd, int> drags_;
    std::map<std::intptr_t, std::string> procNames_;
    std::deque<std::optional<std::int16_t>> popupChoices_;
    std::deque<std::function<void()>> modalScripts_;
    std::vector<MessageBox> messageBoxes_;
    std::vector<Report> reports_;
    std::vector<TrayRequest> trayRequests_;
    std::vector<WindowMessage> defaultMessages_;
    TrayIcon tray_;
    std::int16_t mousePointer_ = 0;
    int formsCreated_ = 0;
    bool ended_ = false;
    bool programEnded_ = false;
};

}  // namespace pelmora::fake
