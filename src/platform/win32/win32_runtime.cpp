#include "platform/win32/win32_runtime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <utility>

#include "app/identity.h"
#include "platform/win32/win32_controls.h"
#include "platform/win32/win32_resource_ids.h"
#include "platform/win32/win32_window.h"

namespace pelmora::win32 {

namespace {

// Writes one report line to an attached debugger and to stderr.
void writeErrorLine(std::string_view line) {
    std::string text(line);
    text += '\n';
    ::OutputDebugStringA(text.c_str());
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}

int screenDpi() noexcept {
    WindowDc screen(nullptr);
    const int dpi = screen.get() != nullptr ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : 96;
}

// The cursors the screen's pointer values name; 0 is each window's own.
LPCSTR cursorFor(std::int16_t value) noexcept {
    switch (value) {
        case 1:
            return IDC_ARROW;
        case 2:
            return IDC_CROSS;
        case 3:
            return IDC_IBEAM;
        case 5:
        case 15:
            return IDC_SIZEALL;
        case 6:
            return IDC_SIZENESW;
        case 7:
            return IDC_SIZENS;
        case 8:
            return IDC_SIZENWSE;
        case 9:
            return IDC_SIZEWE;
        case 10:
            return IDC_UPARROW;
        case 11:
            return IDC_WAIT;
        case 12:
            return IDC_NO;
        case 13:
            return IDC_APPSTARTING;
        case 14:
            return IDC_HELP;
        default:
            return nullptr;
    }
}

}  // namespace

Win32Runtime::Win32Runtime(HINSTANCE instance, RuntimeOptions options)
    : instance_(instance),
      options_(std::move(options)),
      reporter_(options_.errorSink ? options_.errorSink
                                   : platform::ErrorReporter::Sink(&writeErrorLine)) {
    instanceMutex_.reset(::CreateMutexA(nullptr, FALSE, options_.instanceMutex.c_str()));
    prevInstance_ = instanceMutex_ && ::GetLastError() == ERROR_ALREADY_EXISTS;
    dpi_ = screenDpi();
    taskbarCreated_ = ::RegisterWindowMessageA("TaskbarCreated");
    registerClasses();
}

Win32Runtime::~Win32Runtime() {
    // Whatever is still loaded goes without events: the program is over.
    ended_ = true;
    destroyAll();
    retired_.clear();
    for (ATOM atom : classes_) {
        ::UnregisterClassA(MAKEINTATOM(atom), instance_);
    }
}

void Win32Runtime::registerClasses() {
    WNDCLASSEXA form{};
    form.cbSize = sizeof(form);
    form.lpfnWndProc = &Win32Form::windowProc;
    form.hInstance = instance_;
    form.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    form.lpszClassName = kFormClass;
    WNDCLASSEXA picture = form;
    picture.lpfnWndProc = &Win32PictureBox::windowProc;
    picture.lpszClassName = kPictureClass;
    for (const WNDCLASSEXA* cls : {&form, &picture}) {
        const ATOM atom = ::RegisterClassExA(cls);
        if (atom != 0) {
            classes_.push_back(atom);
        } else if (::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            throw platform::Error(
                errnum::CannotCreateWindow,
                std::string("Cannot register the window class ") + cls->lpszClassName);
        }
    }
}

platform::Bool16 Win32Runtime::prevInstance() {
    return platform::toBool16(prevInstance_);
}

std::string Win32Runtime::exeName() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            throw platform::Error(errnum::InternalError, "Cannot read the program's file name");
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const auto slash = path.find_last_of("\\/");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) {
        name.resize(dot);
    }
    return name;
}

std::string Win32Runtime::title() {
    return std::string(app::identity::kTitle);
}
std::int16_t Win32Runtime::major() {
    return app::identity::kMajor;
}
std::int16_t Win32Runtime::minor() {
    return app::identity::kMinor;
}
std::int16_t Win32Runtime::revision() {
    return app::identity::kRevision;
}

void Win32Runtime::msgBox(std::string_view prompt, std::int16_t style) {
    const std::string text(prompt);
    const std::string caption = title();
    UINT flags = static_cast<std::uint16_t>(style);
    // Like every modal box of the program, it keeps the user off the program's windows.
    if (!forms_.empty()) {
        flags |= MB_TASKMODAL;
    }
    ++depth_;
    ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags);
    --depth_;
}

void Win32Runtime::end() {
    if (ended_) {
        return;
    }
    ended_ = true;
    destroyAll();
    wake();
}

void Win32Runtime::destroyAll() noexcept {
    // Detached first: destroying an owner destroys the windows it owns, which then
    // look for their forms in the list.
    std::vector<std::unique_ptr<Win32Form>> all;
    all.swap(forms_);
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        (*it)->destroy();
    }
    try {
        for (auto& form : all) {
            retired_.push_back(std::move(form));
        }
    } catch (...) {
        // Left in all, the forms go now; nothing of theirs is on the stack at the end.
    }
}

void Win32Runtime::wake() noexcept {
    // The loop waiting in GetMessage looks at its condition again.
    ::PostThreadMessageA(::GetCurrentThreadId(), WM_NULL, 0, 0);
}

HWND Win32Runtime::ownerForNewForm() const noexcept {
    const HWND active = ::GetActiveWindow();
    if (Win32Form* form = formOf(active)) {
        return form->hwnd();
    }
    return forms_.empty() ? nullptr : forms_.front()->hwnd();
}

platform::Form& Win32Runtime::load(const platform::FormLayout& layout,
                                   platform::FormEvents& events) {
    for (auto& form : forms_) {
        if (sameName(form->name(), layout.form.name)) {
            return *form;
        }
    }
    if (ended_) {
        throw platform::Error(errnum::ObjectUnloaded, "The program has ended");
    }
    auto form = std::make_unique<Win32Form>(*this, layout, events, ownerForNewForm());
    form->create();
    Win32Form& loaded = *form;
    forms_.push_back(std::move(form));
    loaded.raise("Form_Load", [&] { events.onLoad(); });
    return loaded;
}

void Win32Runtime::unload(platform::Form& form) {
    if (auto* ours = dynamic_cast<Win32Form*>(&form)) {
        unloadForm(*ours);
    }
}

void Win32Runtime::unload(const platform::FormLayout& layout) {
    for (auto& form : forms_) {
        if (sameName(form->name(), layout.form.name)) {
            unloadForm(*form);
            return;
        }
    }
}

void Win32Runtime::unloadForm(Win32Form& form) {
    if (!form.loaded() || form.unloading()) {
        return;
    }
    form.setUnloading(true);
    // Forms it owns go first: the OS would destroy their windows with it.
    std::vector<Win32Form*> owned;
    for (auto& other : forms_) {
        if (other.get() != &form && other->owner() == form.hwnd() && form.hwnd() != nullptr) {
            owned.push_back(other.get());
        }
    }
    for (Win32Form* other : owned) {
        unloadForm(*other);
        if (other->loaded()) {
            form.setUnloading(false);
            return;
        }
    }
    std::int16_t cancel = 0;
    form.raise("Form_Unload", [&] { form.events().onUnload(cancel); });
    if (cancel != 0 && !ended_) {
        form.setUnloading(false);
        return;
    }
    form.destroy();
    retire(form);
    form.raise("Form_Terminate", [&] { form.events().onTerminate(); });
    if (forms_.empty()) {
        wake();
    }
}

bool Win32Runtime::retire(Win32Form& form) {
    const auto it = std::find_if(forms_.begin(), forms_.end(),
                                 [&](const auto& held) { return held.get() == &form; });
    if (it == forms_.end()) {
        return false;
    }
    retired_.push_back(std::move(*it));
    forms_.erase(it);
    return true;
}

void Win32Runtime::forgetForm(Win32Form& form) noexcept {
    try {
        if (retire(form) && forms_.empty()) {
            wake();
        }
    } catch (...) {
        // Out of memory while moving a pointer: the form stays listed, already destroyed.
    }
}

void Win32Runtime::unloadAll() {
    while (!forms_.empty()) {
        Win32Form& last = *forms_.back();
        unloadForm(last);
        if (!forms_.empty() && forms_.back().get() == &last) {
            break;  // cancelled
        }
    }
}

void Win32Runtime::setMousePointer(std::int16_t value) {
    if (value != platform::pointer::Default && cursorFor(value) == nullptr) {
        throw platform::Error(errnum::InvalidPropertyValue, "Invalid property value");
    }
    pointer_ = value;
    POINT at{};
    ::GetCursorPos(&at);
    const HWND under = ::WindowFromPoint(at);
    if (under != nullptr && formOf(::GetAncestor(under, GA_ROOT)) != nullptr) {
        HCURSOR cursor = pointerCursor();
        ::SetCursor(cursor != nullptr ? cursor : ::LoadCursorA(nullptr, IDC_ARROW));
    }
}

HCURSOR Win32Runtime::pointerCursor() const noexcept {
    const LPCSTR id = cursorFor(pointer_);
    return id != nullptr ? ::LoadCursorA(nullptr, id) : nullptr;
}

void Win32Runtime::reportError(std::string_view handler, const platform::Error& error) noexcept {
    reporter_.report(handler, error);
}

void Win32Runtime::reportCurrentException(std::string_view handler) noexcept {
    try {
        throw;
    } catch (const platform::Error& error) {
        reportError(handler, error);
    } catch (const std::bad_alloc&) {
        try {
            reportError(handler, platform::Error(errnum::OutOfMemory, "Out of memory"));
        } catch (...) {
        }
    } catch (const std::exception& error) {
        try {
            reportError(handler, platform::Error(errnum::InternalError, error.what()));
        } catch (...) {
        }
    } catch (...) {
        try {
            reportError(handler, platform::Error(errnum::InternalError, "Unknown error"));
        } catch (...) {
        }
    }
}

Win32Form* Win32Runtime::formOf(HWND hwnd) const noexcept {
    if (hwnd == nullptr) {
        return nullptr;
    }
    for (const auto& form : forms_) {
        if (form->hwnd() == hwnd) {
            return form.get();
        }
    }
    return nullptr;
}

void Win32Runtime::dispatch(MSG& msg) {
    // Tab, Enter and Escape work as in a dialog on forms with buttons.
    if (msg.hwnd != nullptr) {
        Win32Form* form = formOf(::GetAncestor(msg.hwnd, GA_ROOT));
        if (form != nullptr && form->hasDialogKeys() && ::IsDialogMessageA(form->hwnd(), &msg)) {
            return;
        }
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
}

void Win32Runtime::pumpUntil(const std::function<bool()>& done) {
    MSG msg{};
    while (!ended_ && !done()) {
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            // The outer loop must see the quit request too.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (got == -1) {
            return;
        }
        dispatch(msg);
    }
}

void Win32Runtime::run() {
    MSG msg{};
    collect();
    while (!ended_ && !forms_.empty()) {
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            break;
        }
        dispatch(msg);
        collect();
    }
}

void Win32Runtime::collect() noexcept {
    if (depth_ == 0) {
        retired_.clear();
    }
}

HBITMAP Win32Runtime::picture(platform::PictureId id) {
    for (const auto& held : pictures_) {
        if (held.id == id) {
            return held.bitmap.get();
        }
    }
    int resource = 0;
    if (id == platform::PictureId::Skin) {
        resource = PELMORA_BITMAP_SKIN;
    } else if (id == platform::PictureId::Scale) {
        resource = PELMORA_BITMAP_SCALE;
    }
    BitmapHandle bitmap;
    if (resource != 0) {
        bitmap.reset(static_cast<HBITMAP>(::LoadImageA(instance_, MAKEINTRESOURCEA(resource),
                                                       IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    }
    if (!bitmap) {
        throw platform::Error(errnum::InvalidPicture, "Invalid picture");
    }
    pictures_.push_back({id, std::move(bitmap)});
    return pictures_.back().bitmap.get();
}

SIZE Win32Runtime::pictureSize(platform::PictureId id) {
    if (id == platform::PictureId::Icon) {
        return {app::identity::kIconSize, app::identity::kIconSize};
    }
    BITMAP info{};
    ::GetObjectA(picture(id), sizeof(info), &info);
    return {info.bmWidth, info.bmHeight};
}

HICON Win32Runtime::icon(int size) {
    for (const auto& held : icons_) {
        if (held.size == size) {
            return held.handle.get();
        }
    }
    IconHandle icon(static_cast<HICON>(
        ::LoadImageA(instance_, MAKEINTRESOURCEA(PELMORA_ICON_GROUP), IMAGE_ICON, size, size, 0)));
    if (!icon) {
        throw platform::Error(errnum::InvalidPicture, "Invalid picture");
    }
    icons_.push_back({size, std::move(icon)});
    return icons_.back().handle.get();
}

HFONT Win32Runtime::font(const platform::FontDef& def) {
    LOGFONTA logical{};
    if (def.face.empty()) {
        // The default dialog font, at its own size unless one is given.
        ::GetObjectA(::GetStockObject(DEFAULT_GUI_FONT), sizeof(logical), &logical);
    } else {
        const std::size_t length = std::min(def.face.size(), std::size_t{LF_FACESIZE - 1});
        std::copy_n(def.face.data(), length, logical.lfFaceName);
        logical.lfCharSet = def.charset;
        logical.lfWeight = def.weight;
        logical.lfItalic = def.italic ? TRUE : FALSE;
        logical.lfUnderline = def.underline ? TRUE : FALSE;
        logical.lfStrikeOut = def.strikeout ? TRUE : FALSE;
        logical.lfOutPrecision = OUT_DEFAULT_PRECIS;
        logical.lfClipPrecision = CLIP_DEFAULT_PRECIS;
        logical.lfQuality = DEFAULT_QUALITY;
        logical.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    }
    if (def.points > 0.0f) {
        const int hundredths = static_cast<int>(std::lround(def.points * 100.0f));
        logical.lfHeight = -::MulDiv(hundredths, dpi_, 7200);
    }
    const std::string face(logical.lfFaceName);
    for (const auto& held : fonts_) {
        if (held.face == face && held.height == logical.lfHeight && held.def.weight == def.weight &&
            held.def.charset == def.charset && held.def.italic == def.italic &&
            held.def.underline == def.underline && held.def.strikeout == def.strikeout &&
            held.def.face.empty() == def.face.empty()) {
            return held.handle.get();
        }
    }
    FontHandle handle(::CreateFontIndirectA(&logical));
    if (!handle) {
        throw platform::Error(errnum::InternalError, "Cannot create the font " + face);
    }
    fonts_.push_back({face, static_cast<int>(logical.lfHeight), def, std::move(handle)});
    return fonts_.back().handle.get();
}

void Win32Runtime::shellRestarted(HWND hwnd) {
    if (options_.onShellRestart) {
        options_.onShellRestart(hwnd);
    }
}

}  // namespace pelmora::win32
