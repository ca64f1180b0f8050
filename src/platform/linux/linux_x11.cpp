#include "platform/linux/linux_x11.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

namespace pelmora::linux_os::x11 {

namespace {

// xcb hands replies over to the caller, who frees them with free().
struct FreeReply {
    void operator()(void* reply) const noexcept { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    const auto cookie = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, cookie, nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

xcb_window_t rootOf(xcb_connection_t* c, xcb_window_t window) {
    Reply<xcb_get_geometry_reply_t> reply(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    return reply ? reply->root : xcb_window_t{XCB_WINDOW_NONE};
}

// The window's own _NET_WM_STATE list, as it is before the window is mapped.
std::vector<xcb_atom_t> readState(xcb_connection_t* c, xcb_window_t window, xcb_atom_t state) {
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, state, XCB_ATOM_ATOM, 0, 64), nullptr));
    std::vector<xcb_atom_t> atoms;
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
        atoms.assign(data, data + xcb_get_property_value_length(reply.get()) / 4);
    }
    return atoms;
}

void writeState(xcb_connection_t* c, xcb_window_t window, xcb_atom_t state,
                const std::vector<xcb_atom_t>& atoms) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, state, XCB_ATOM_ATOM, 32,
                        static_cast<std::uint32_t>(atoms.size()), atoms.data());
}

void changeUnmappedState(xcb_connection_t* c, xcb_window_t window,
                         std::initializer_list<xcb_atom_t> change, bool add) {
    const xcb_atom_t state = atom(c, "_NET_WM_STATE");
    std::vector<xcb_atom_t> atoms = readState(c, window, state);
    for (const xcb_atom_t a : change) {
        const auto it = std::find(atoms.begin(), atoms.end(), a);
        if (add && it == atoms.end()) {
            atoms.push_back(a);
        } else if (!add && it != atoms.end()) {
            atoms.erase(it);
        }
    }
    writeState(c, window, state, atoms);
}

// The window a WINDOW property names, or none when the window or the property is missing.
xcb_window_t windowProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property) {
    // A window that is gone is an answer here, not an error for Qt to report.
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, property, XCB_ATOM_WINDOW, 0, 1), &error));
    std::free(error);
    if (!reply || reply->format != 32 || reply->type != XCB_ATOM_WINDOW ||
        xcb_get_property_value_length(reply.get()) < 4) {
        return XCB_WINDOW_NONE;
    }
    return *static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
}

}  // namespace

void skipTaskbar(xcb_connection_t* c, WindowId id) {
    if (c == nullptr) {
        return;
    }
    // Qt keeps state atoms it did not set itself when it maps the window.
    changeUnmappedState(
        c, id, {atom(c, "_NET_WM_STATE_SKIP_TASKBAR"), atom(c, "_NET_WM_STATE_SKIP_PAGER")}, true);
    xcb_flush(c);
}

void setAbove(xcb_connection_t* c, WindowId id, bool mapped, bool above) {
    if (c == nullptr) {
        return;
    }
    const xcb_atom_t aboveAtom = atom(c, "_NET_WM_STATE_ABOVE");
    if (!mapped) {
        changeUnmappedState(c, id, {aboveAtom}, above);
        xcb_flush(c);
        return;
    }
    // A mapped window asks the window manager, which owns its state from then on.
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = id;
    message.type = atom(c, "_NET_WM_STATE");
    message.data.data32[0] = above ? 1 : 0;  // _NET_WM_STATE_ADD or _REMOVE
    message.data.data32[1] = aboveAtom;
    message.data.data32[2] = 0;
    message.data.data32[3] = 1;  // a normal application asks
    xcb_send_event(c, 0, rootOf(c, id),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(c);
}

void clearTitle(xcb_connection_t* c, WindowId id) {
    if (c == nullptr) {
        return;
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, atom(c, "_NET_WM_NAME"),
                        atom(c, "UTF8_STRING"), 8, 0, nullptr);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0,
                        nullptr);
    xcb_flush(c);
}

std::optional<FrameExtents> frameExtents(xcb_connection_t* c, WindowId id) {
    if (c == nullptr) {
        return std::nullopt;
    }
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, id, atom(c, "_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, 0, 4),
        nullptr));
    if (!reply || reply->format != 32 || reply->type != XCB_ATOM_CARDINAL ||
        xcb_get_property_value_length(reply.get()) < 16) {
        return FrameExtents{};
    }
    const auto* sides = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    // Left, right, top, bottom; each side is bounded so that sums with positions stay in range.
    const auto side = [&](int i) {
        return static_cast<int>(std::min<std::uint32_t>(sides[i], 4096));
    };
    return FrameExtents{side(0), side(1), side(2), side(3)};
}

bool windowManagerRunning(xcb_connection_t* c, WindowId id) {
    if (c == nullptr) {
        return true;
    }
    const xcb_atom_t check = atom(c, "_NET_SUPPORTING_WM_CHECK");
    const xcb_window_t named = windowProperty(c, rootOf(c, id), check);
    return named != XCB_WINDOW_NONE && windowProperty(c, named, check) == named;
}

}  // namespace pelmora::linux_os::x11
