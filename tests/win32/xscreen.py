"""Screen modes of an X display through libXrandr, for the end-to-end tests: a smaller mode
offered beside the one Xvfb starts with, so that the screen can shrink to it as a monitor
that goes away leaves a smaller desktop.

The modes belong to the connection that made them: keep the Screen until the test ends.
"""
import ctypes
from ctypes import (POINTER, Structure, byref, c_char_p, c_int, c_uint, c_ulong, c_ushort,
                    c_void_p)

XID = c_ulong


class _ModeInfo(Structure):
    _fields_ = [("id", XID), ("width", c_uint), ("height", c_uint), ("dotClock", c_ulong),
                ("hSyncStart", c_uint), ("hSyncEnd", c_uint), ("hTotal", c_uint),
                ("hSkew", c_uint), ("vSyncStart", c_uint), ("vSyncEnd", c_uint),
                ("vTotal", c_uint), ("name", c_char_p), ("nameLength", c_uint),
                ("modeFlags", c_ulong)]


class _Resources(Structure):
    _fields_ = [("timestamp", c_ulong), ("configTimestamp", c_ulong), ("ncrtc", c_int),
                ("crtcs", POINTER(XID)), ("noutput", c_int), ("outputs", POINTER(XID)),
                ("nmode", c_int), ("modes", POINTER(_ModeInfo))]


def _libraries():
    x11 = ctypes.CDLL("libX11.so.6")
    xrandr = ctypes.CDLL("libXrandr.so.2")
    x11.XOpenDisplay.restype = c_void_p
    x11.XOpenDisplay.argtypes = [c_char_p]
    x11.XDefaultRootWindow.restype = c_ulong
    x11.XDefaultRootWindow.argtypes = [c_void_p]
    x11.XSync.argtypes = [c_void_p, c_int]
    x11.XCloseDisplay.argtypes = [c_void_p]
    xrandr.XRRGetScreenResources.restype = POINTER(_Resources)
    xrandr.XRRGetScreenResources.argtypes = [c_void_p, c_ulong]
    xrandr.XRRFreeScreenResources.argtypes = [POINTER(_Resources)]
    xrandr.XRRCreateMode.restype = XID
    xrandr.XRRCreateMode.argtypes = [c_void_p, c_ulong, POINTER(_ModeInfo)]
    xrandr.XRRAddOutputMode.argtypes = [c_void_p, XID, XID]
    return x11, xrandr


class Screen:
    """A connection to an X display that can offer it more screen modes."""

    def __init__(self, display):
        self.x11, self.xrandr = _libraries()
        self.display = self.x11.XOpenDisplay(display.encode())
        if not self.display:
            raise RuntimeError(f"cannot open the display {display}")
        self.root = self.x11.XDefaultRootWindow(self.display)

    def offer_mode(self, width, height):
        """Adds a mode of that size to the first output; the screen keeps its own size."""
        resources = self.xrandr.XRRGetScreenResources(self.display, self.root)
        try:
            name = f"{width}x{height}".encode()
            mode = _ModeInfo(0, width, height, width * height * 60, width, width, width, 0,
                             height, height, height, name, len(name), 0)
            made = self.xrandr.XRRCreateMode(self.display, self.root, byref(mode))
            self.xrandr.XRRAddOutputMode(self.display, resources.contents.outputs[0], made)
        finally:
            self.xrandr.XRRFreeScreenResources(resources)
        self.x11.XSync(self.display, 0)

    def close(self):
        if self.display:
            self.x11.XCloseDisplay(self.display)
            self.display = None
