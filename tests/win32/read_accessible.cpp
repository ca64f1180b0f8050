// Reads what a screen reader reads of the program's windows, from another process, through
// MSAA: for each visible window of the program's form class, its window object, then what
// its client area holds (painted texts and pictures as simple children) and, in turn, each
// child window's. Runs under Wine beside the program; prints one line per object:
//
//   <indent><role> "<name>" [value "<value>"] [description "<description>"] [default]
//
//   read_accessible          every window of the program, by title ("" for the main window)
#include <windows.h>
// windows.h first: oleacc.h needs its types.
#include <oleacc.h>

#include <cstdio>
#include <string>

namespace {

// Spelt out: the import library's constant has been wrong.
constexpr GUID kIidAccessible = {
    0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

std::string narrow(BSTR text) {
    std::string out;
    if (text != nullptr) {
        const int length = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
        out.resize(static_cast<std::size_t>(length > 0 ? length - 1 : 0));
        ::WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), length, nullptr, nullptr);
        ::SysFreeString(text);
    }
    return out;
}

// One line for an object, or for one of its simple children.
void print(IAccessible& object, LONG child, int depth) {
    VARIANT id{};
    id.vt = VT_I4;
    id.lVal = child;
    VARIANT role{};
    char roleText[64] = "?";
    if (object.get_accRole(id, &role) == S_OK && role.vt == VT_I4) {
        ::GetRoleTextA(static_cast<DWORD>(role.lVal), roleText, sizeof roleText);
    }
    BSTR text = nullptr;
    object.get_accName(id, &text);
    std::string line = std::string(2 * depth, ' ') + roleText + " \"" + narrow(text) + "\"";
    text = nullptr;
    if (object.get_accValue(id, &text) == S_OK) {
        line += " value \"" + narrow(text) + "\"";
    }
    text = nullptr;
    if (object.get_accDescription(id, &text) == S_OK) {
        const std::string description = narrow(text);
        line += description.empty() ? "" : " description \"" + description + "\"";
    }
    VARIANT state{};
    if (object.get_accState(id, &state) == S_OK && state.vt == VT_I4 &&
        (state.lVal & STATE_SYSTEM_DEFAULT) != 0) {
        line += " default";
    }
    std::printf("%s\n", line.c_str());
}

IAccessible* objectOf(HWND window, LONG which) {
    IAccessible* object = nullptr;
    if (FAILED(::AccessibleObjectFromWindow(window, static_cast<DWORD>(which), kIidAccessible,
                                            reinterpret_cast<void**>(&object)))) {
        return nullptr;
    }
    return object;
}

// What a client area holds: its simple children, then its child windows.
void printClient(HWND window, int depth) {
    IAccessible* client = objectOf(window, OBJID_CLIENT);
    if (client == nullptr) {
        return;
    }
    LONG count = 0;
    client->get_accChildCount(&count);
    for (LONG child = 1; child <= count; ++child) {
        VARIANT id{};
        id.vt = VT_I4;
        id.lVal = child;
        IDispatch* own = nullptr;
        if (client->get_accChild(id, &own) == S_FALSE) {
            print(*client, child, depth);
        } else if (own != nullptr) {
            own->Release();
        }
    }
    client->Release();
    for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (::IsWindowVisible(child)) {
            if (IAccessible* object = objectOf(child, OBJID_CLIENT)) {
                print(*object, CHILDID_SELF, depth);
                object->Release();
            }
            printClient(child, depth + 1);
        }
    }
}

}  // namespace

int main() {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::printf("read_accessible: no COM\n");
        return 1;
    }
    int windows = 0;
    for (HWND window = ::FindWindowExA(nullptr, nullptr, "PelmoraForm", nullptr); window != nullptr;
         window = ::FindWindowExA(nullptr, window, "PelmoraForm", nullptr)) {
        if (!::IsWindowVisible(window)) {
            continue;
        }
        IAccessible* object = objectOf(window, OBJID_WINDOW);
        if (object == nullptr) {
            std::printf("read_accessible: no accessible object for a window\n");
            return 1;
        }
        print(*object, CHILDID_SELF, 0);
        object->Release();
        printClient(window, 1);
        ++windows;
    }
    ::CoUninitialize();
    return windows > 0 ? 0 : 1;
}
