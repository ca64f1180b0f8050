// The few things only the X11 window system can do for a window: keeping it off the taskbar
// and turning the window manager's "above" state on and off. Elsewhere they do nothing.
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

}  // namespace pelmora::qt::x11
