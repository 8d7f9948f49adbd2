"""Reads single pixels of the X display's root window, as a viewer would see
them, through libX11 (ctypes: no image library needed). A layered window that
Wine paints and a kiosk browser both show up there."""

import ctypes
import ctypes.util
import time

Z_PIXMAP = 2
ALL_PLANES = ctypes.c_ulong(0xFFFFFFFF)


class PixelProbe:
    def __init__(self, display_name):
        self.x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x11.XGetImage.restype = ctypes.c_void_p
        self.x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                       ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x11.XGetPixel.restype = ctypes.c_ulong
        self.x11.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        self.x11.XDestroyImage.argtypes = [ctypes.c_void_p]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.display = self.x11.XOpenDisplay(display_name.encode())
        if not self.display:
            raise RuntimeError("cannot open X display %s" % display_name)
        self.root = self.x11.XDefaultRootWindow(self.display)

    def rgb(self, x, y):
        """(r, g, b) of the screen pixel at (x, y)."""
        image = self.x11.XGetImage(self.display, self.root, x, y, 1, 1, ALL_PLANES, Z_PIXMAP)
        if not image:
            return None
        value = self.x11.XGetPixel(image, 0, 0)
        self.x11.XDestroyImage(image)
        return (value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF

    def wait_for(self, x, y, matches, timeout, poll=0.0005):
        """Seconds (time.monotonic) at which pixel (x, y) first satisfied
        matches(rgb), or None after timeout seconds."""
        deadline = time.monotonic() + timeout
        while True:
            now = time.monotonic()
            colour = self.rgb(x, y)
            if colour is not None and matches(colour):
                return now
            if now > deadline:
                return None
            time.sleep(poll)

    def close(self):
        if self.display:
            self.x11.XCloseDisplay(self.display)
            self.display = None
