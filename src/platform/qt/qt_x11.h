// The few things only the X11 window system can do for a window: keeping it off the taskbar,
// turning the window manager's "above" state on and off, an empty title, and telling whether
// a window manager still runs. Elsewhere they do nothing.
#pragma once

class QWidget;

namespace pelmora::qt::x11 {

// True when the program runs on an X11 display.
bool available();

// Keeps the window off the taskbar and the pager; call it before the window is first shown.
void skipTaskbar(QWidget& window);

// Asks the window manager to keep the window above others, or to stop; the window keeps its
// position and size, and Qt does not re-create it.
void setAbove(QWidget& window, bool above);

// Leaves the window's title empty: Qt names an untitled window after the program.
void clearTitle(QWidget& window);

// Whether a window manager is there to move the window: the window that its root window's
// _NET_SUPPORTING_WM_CHECK names still exists and names itself. A manager that was killed
// leaves the root's properties behind. Elsewhere than on X11 the toolkit knows: true.
bool windowManagerRunning(QWidget& window);

}  // namespace pelmora::qt::x11
