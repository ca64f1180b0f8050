// The few things only the X11 window system can do for a window: keeping it off the taskbar,
// turning the window manager's "above" state on and off, an empty title, and telling whether
// a window manager still runs. Each takes the display's connection and the window's id; with
// no connection (not on X11) each does nothing.
#pragma once

#include <cstdint>
#include <optional>

struct xcb_connection_t;

namespace pelmora::linux_os::x11 {

using WindowId = std::uint32_t;

// Keeps the window off the taskbar and the pager; call it before the window is first mapped.
void skipTaskbar(xcb_connection_t* c, WindowId window);

// Asks the window manager to keep the window above others, or to stop; the window keeps its
// position and size. An unmapped window carries the state for its first mapping.
void setAbove(xcb_connection_t* c, WindowId window, bool mapped, bool above);

// Leaves the window's title empty: toolkits name an untitled window after the program.
void clearTitle(xcb_connection_t* c, WindowId window);

// How far a window manager's frame reaches beyond the window on each side.
struct FrameExtents {
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;
};

// The frame the window manager says it put around the window (_NET_FRAME_EXTENTS); all sides 0
// while it has not said, as when it is still building the frame. Without a connection: no
// answer, the toolkit's guess stands.
std::optional<FrameExtents> frameExtents(xcb_connection_t* c, WindowId window);

// Whether a window manager is there to move the window: the window that its root window's
// _NET_SUPPORTING_WM_CHECK names still exists and names itself. A manager that was killed
// leaves the root's properties behind. Without a connection: true.
bool windowManagerRunning(xcb_connection_t* c, WindowId window);

}  // namespace pelmora::linux_os::x11
