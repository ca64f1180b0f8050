#include "platform/win32/win32_accessible.h"

#include <commctrl.h>
#include <oleacc.h>

#include <atomic>
#include <string>
#include <utility>

namespace pelmora::win32 {

namespace {

// Spelt out: the import library's constant has been wrong.
constexpr GUID kIidAccessible = {
    0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

using core::AccessibleRole;

// What answering takes of COM and the accessibility library, loaded the first time assistive
// technology asks: a program that nobody reads out never loads them.
struct Libraries {
    decltype(&::CoInitializeEx) coInitializeEx = nullptr;
    decltype(&::CreateStdAccessibleObject) createStdAccessibleObject = nullptr;
    decltype(&::LresultFromObject) lresultFromObject = nullptr;
    decltype(&::SysAllocStringLen) sysAllocStringLen = nullptr;
};

const Libraries* libraries() noexcept {
    static const Libraries loaded = [] {
        Libraries l;
        const HMODULE ole32 = ::LoadLibraryA("ole32.dll");
        const HMODULE oleacc = ::LoadLibraryA("oleacc.dll");
        const HMODULE oleaut32 = ::LoadLibraryA("oleaut32.dll");
        lookUp(l.coInitializeEx, ole32, "CoInitializeEx");
        lookUp(l.createStdAccessibleObject, oleacc, "CreateStdAccessibleObject");
        lookUp(l.lresultFromObject, oleacc, "LresultFromObject");
        lookUp(l.sysAllocStringLen, oleaut32, "SysAllocStringLen");
        // Started on this thread, the one that answers.
        if (l.coInitializeEx == nullptr ||
            FAILED(l.coInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
            l.coInitializeEx = nullptr;
        }
        return l;
    }();
    const bool ready = loaded.coInitializeEx != nullptr && loaded.createStdAccessibleObject &&
                       loaded.lresultFromObject != nullptr && loaded.sysAllocStringLen;
    return ready ? &loaded : nullptr;
}

// By role, in the order of the roles. A form's window object is a window or a dialog, its
// client area the client; a picture box is what it is as either.
constexpr LONG kRoles[] = {ROLE_SYSTEM_CLIENT,     ROLE_SYSTEM_WINDOW,    ROLE_SYSTEM_DIALOG,
                           ROLE_SYSTEM_STATICTEXT, ROLE_SYSTEM_PANE,      ROLE_SYSTEM_PROGRESSBAR,
                           ROLE_SYSTEM_GRAPHIC,    ROLE_SYSTEM_PUSHBUTTON};

LONG roleOf(AccessibleRole role, bool client) noexcept {
    const bool form = role == AccessibleRole::Window || role == AccessibleRole::Dialog;
    return form && client ? ROLE_SYSTEM_CLIENT : kRoles[static_cast<std::size_t>(role)];
}

HRESULT giveText(const std::string& text, BSTR* out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    if (text.empty()) {
        return S_FALSE;
    }
    const int length =
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    *out = libraries()->sysAllocStringLen(nullptr, static_cast<UINT>(length));
    if (*out == nullptr) {
        return E_OUTOFMEMORY;
    }
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), *out, length);
    return S_OK;
}

// A painted widget as it was when asked for: what it tells and where it shows.
struct Element {
    core::Accessible told;
    RECT screen;
    bool visible;
};

// The surface as the core told it, its painted widgets as simple children 1..n, then the
// child windows as the system's own object lists them. What the system's object knows
// (where the window is, its state, its parent, the focus) it answers for the surface.
class Surface final : public IAccessible {
  public:
    Surface(IAccessible* system, core::Accessible told, bool client, std::vector<Element> elements)
        : system_(system),
          told_(std::move(told)),
          client_(client),
          elements_(std::move(elements)) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kIidAccessible) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            system_->Release();
            delete this;
        }
        return left;
    }

    // IDispatch: not offered; clients call the interface itself.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return system_->get_accParent(parent);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        LONG windows = 0;
        system_->get_accChildCount(&windows);
        *count = painted() + windows;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        *out = nullptr;
        if (child.vt != VT_I4 || child.lVal <= 0) {
            return E_INVALIDARG;
        }
        if (child.lVal <= painted()) {
            return S_FALSE;  // a simple child: asked of through this object
        }
        child.lVal -= painted();
        return system_->get_accChild(child, out);
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        const core::Accessible* told = tell(child);
        return told != nullptr ? giveText(told->name, name) : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        const core::Accessible* told = tell(child);
        return told != nullptr ? giveText(told->valueText, value) : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        const core::Accessible* told = tell(child);
        return told != nullptr ? giveText(told->description, text) : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        const core::Accessible* told = tell(child);
        if (told == nullptr) {
            return E_INVALIDARG;
        }
        role->vt = VT_I4;
        role->lVal = roleOf(told->role, client_ || told != &told_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        const Element* element = elementOf(child);
        if (element == nullptr) {
            if (!self(child)) {
                return E_INVALIDARG;
            }
            const HRESULT result = system_->get_accState(child, state);
            if (result == S_OK && state->vt == VT_I4 && told_.isDefault) {
                state->lVal |= STATE_SYSTEM_DEFAULT;
            }
            return result;
        }
        state->vt = VT_I4;
        state->lVal = STATE_SYSTEM_READONLY | (element->visible ? 0 : STATE_SYSTEM_INVISIBLE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* help) override { return nothing(help); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
        *topic = 0;
        return nothing(file);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* keys) override {
        return nothing(keys);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        return system_->get_accFocus(focus);
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        return system_->get_accSelection(selection);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT, BSTR* action) override {
        return nothing(action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        return self(child) ? system_->accSelect(flags, child) : DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) override {
        const Element* element = elementOf(child);
        if (element == nullptr) {
            return self(child) ? system_->accLocation(left, top, width, height, child)
                               : E_INVALIDARG;
        }
        *left = element->screen.left;
        *top = element->screen.top;
        *width = element->screen.right - element->screen.left;
        *height = element->screen.bottom - element->screen.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        return self(start) ? system_->accNavigate(direction, start, end) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override {
        const POINT at{x, y};
        for (std::size_t i = 0; i < elements_.size(); ++i) {
            if (elements_[i].visible && ::PtInRect(&elements_[i].screen, at)) {
                child->vt = VT_I4;
                child->lVal = static_cast<LONG>(i + 1);
                return S_OK;
            }
        }
        return system_->accHitTest(x, y, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return self(child) ? system_->accDoDefaultAction(child) : DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

  private:
    LONG painted() const noexcept { return static_cast<LONG>(elements_.size()); }
    static bool self(const VARIANT& child) noexcept {
        return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
    }
    const Element* elementOf(const VARIANT& child) const noexcept {
        return child.vt == VT_I4 && child.lVal > 0 && child.lVal <= painted()
                   ? &elements_[static_cast<std::size_t>(child.lVal - 1)]
                   : nullptr;
    }
    const core::Accessible* tell(const VARIANT& child) const noexcept {
        const Element* element = elementOf(child);
        return element != nullptr ? &element->told : self(child) ? &told_ : nullptr;
    }
    static HRESULT nothing(BSTR* out) {
        *out = nullptr;
        return S_FALSE;
    }

    std::atomic<ULONG> references_{1};
    IAccessible* system_;
    core::Accessible told_;
    bool client_;
    std::vector<Element> elements_;
};

bool told(const Widget& widget) noexcept {
    return widget.told.role != AccessibleRole::None;
}

LRESULT CALLBACK answeringControl(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                  UINT_PTR /*id*/, DWORD_PTR told) {
    if (msg == WM_GETOBJECT) {
        if (const LRESULT answer = answerAccessible(
                hwnd, wParam, lParam, *reinterpret_cast<const core::Accessible*>(told), {})) {
            return answer;
        }
    } else if (msg == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hwnd, &answeringControl, 0);
    }
    return ::DefSubclassProc(hwnd, msg, wParam, lParam);
}

}  // namespace

LRESULT answerAccessible(HWND surface, WPARAM wParam, LPARAM lParam, const core::Accessible& self,
                         const std::vector<Widget*>& painted) noexcept {
    const auto object = static_cast<LONG>(lParam);
    if (object != OBJID_CLIENT && object != OBJID_WINDOW) {
        return 0;
    }
    const bool client = object == OBJID_CLIENT;
    const Libraries* loaded = libraries();
    IAccessible* system = nullptr;
    if (loaded == nullptr ||
        FAILED(loaded->createStdAccessibleObject(surface, object, kIidAccessible,
                                                 reinterpret_cast<void**>(&system)))) {
        return 0;
    }
    try {
        // The painted widgets are children of the client area, back to front as they are
        // painted (the order Qt's tree has too); the window object's children are the
        // system's (its client area among them).
        std::vector<Element> elements;
        for (auto it = painted.rbegin(); it != painted.rend(); ++it) {
            const Widget* widget = *it;
            if (client && told(*widget)) {
                RECT screen = widget->bounds();
                ::MapWindowPoints(surface, nullptr, reinterpret_cast<POINT*>(&screen), 2);
                elements.push_back({widget->told, screen, widget->visible()});
            }
        }
        auto* surfaceObject = new Surface(system, self, client, std::move(elements));
        const LRESULT answer = loaded->lresultFromObject(kIidAccessible, wParam, surfaceObject);
        surfaceObject->Release();
        return answer;
    } catch (...) {
        system->Release();
        return 0;
    }
}

void answerAccessibleFor(HWND control, const core::Accessible& told) {
    ::SetWindowSubclass(control, &answeringControl, 0, reinterpret_cast<DWORD_PTR>(&told));
}

LONG accessibleChild(const std::vector<Widget*>& painted, const Widget& widget) noexcept {
    LONG child = 0;
    for (auto it = painted.rbegin(); it != painted.rend(); ++it) {
        const Widget* candidate = *it;
        child += told(*candidate) ? 1 : 0;
        if (candidate == &widget) {
            return told(widget) ? child : 0;
        }
    }
    return 0;
}

void announceAccessible(HWND surface, LONG child, const core::Accessible& before,
                        const core::Accessible& now) noexcept {
    if (now.name != before.name) {
        ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, surface, OBJID_CLIENT, child);
    }
    if (now.value != before.value) {
        ::NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, surface, OBJID_CLIENT, child);
    }
    if (now.description != before.description) {
        ::NotifyWinEvent(EVENT_OBJECT_DESCRIPTIONCHANGE, surface, OBJID_CLIENT, child);
    }
}

}  // namespace pelmora::win32
