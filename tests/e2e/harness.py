"""End-to-end harness: runs the real program on a private X server and drives
it with real input (XTEST, through xdotool), reading its client area back
with XGetImage.

Each test script calls `main(tests)`; every test gets the X server and starts
its own copy of the program through `Session.launch`.
"""

import ctypes
import ctypes.util
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback
from pathlib import Path

from PIL import Image

import expected

CLIENT_SIZE = (expected.WIDTH, expected.HEIGHT)
TITLE = "Zorvane"
STARTUP_TIMEOUT = 20.0
SETTLE_TIMEOUT = 10.0
EXIT_TIMEOUT = 10.0


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def poll(predicate, timeout, interval=0.02):
    """Calls predicate until it returns something true or timeout passes;
    returns its last result."""
    deadline = time.monotonic() + timeout
    while True:
        result = predicate()
        if result or time.monotonic() >= deadline:
            return result
        time.sleep(interval)
        interval = min(interval * 1.5, 0.2)


# --- Xlib through ctypes: window tree, properties, pixels, client messages ---

class _XImageFuncs(ctypes.Structure):
    _fields_ = [
        ("create_image", ctypes.c_void_p),
        ("destroy_image", ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p)),
        ("get_pixel", ctypes.c_void_p),
        ("put_pixel", ctypes.c_void_p),
        ("sub_image", ctypes.c_void_p),
        ("add_pixel", ctypes.c_void_p),
    ]


class _XImage(ctypes.Structure):
    _fields_ = [
        ("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
        ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
        ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
        ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
        ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong),
        ("obdata", ctypes.c_void_p), ("f", _XImageFuncs),
    ]


class _XWindowAttributes(ctypes.Structure):
    _fields_ = [
        ("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
        ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
        ("root", ctypes.c_ulong), ("c_class", ctypes.c_int), ("bit_gravity", ctypes.c_int),
        ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int),
        ("backing_planes", ctypes.c_ulong), ("backing_pixel", ctypes.c_ulong),
        ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
        ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
        ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
        ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p),
    ]


class _XClientMessageEvent(ctypes.Structure):
    _fields_ = [
        ("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
        ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
        ("format", ctypes.c_int), ("data", ctypes.c_long * 5),
    ]


class _XEvent(ctypes.Union):
    _fields_ = [("xclient", _XClientMessageEvent), ("pad", ctypes.c_long * 24)]


class _XErrorEvent(ctypes.Structure):
    _fields_ = [
        ("type", ctypes.c_int), ("display", ctypes.c_void_p), ("resourceid", ctypes.c_ulong),
        ("serial", ctypes.c_ulong), ("error_code", ctypes.c_ubyte), ("request_code", ctypes.c_ubyte),
        ("minor_code", ctypes.c_ubyte),
    ]


_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.POINTER(_XErrorEvent))

ZPIXMAP = 2
IS_VIEWABLE = 2
CLIENT_MESSAGE = 33
XA_CARDINAL = 6
XA_ATOM = 4


class XConnection:
    """A small Xlib client of our own, for what xdotool doesn't do."""

    def __init__(self, display_name):
        self.lib = lib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        lib.XOpenDisplay.restype = ctypes.c_void_p
        lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        lib.XDefaultRootWindow.restype = ctypes.c_ulong
        lib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        lib.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                   ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                                   ctypes.POINTER(ctypes.c_uint)]
        lib.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(_XWindowAttributes)]
        lib.XTranslateCoordinates.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int,
                                              ctypes.c_int, ctypes.POINTER(ctypes.c_int),
                                              ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_ulong)]
        lib.XGetImage.restype = ctypes.POINTER(_XImage)
        lib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                  ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        lib.XInternAtom.restype = ctypes.c_ulong
        lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        lib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                   ctypes.POINTER(_XEvent)]
        lib.XGetWindowProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long,
                                           ctypes.c_long, ctypes.c_int, ctypes.c_ulong,
                                           ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_int),
                                           ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong),
                                           ctypes.POINTER(ctypes.c_void_p)]
        lib.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
        lib.XFree.argtypes = [ctypes.c_void_p]
        lib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        lib.XFlush.argtypes = [ctypes.c_void_p]
        lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
        lib.XCreateSimpleWindow.restype = ctypes.c_ulong
        lib.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                            ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulong]
        lib.XMapRaised.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        lib.XDestroyWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        lib.XKillClient.argtypes = [ctypes.c_void_p, ctypes.c_ulong]

        self.errors = []

        def on_error(_display, event):
            # The default handler would end this process on, say, a window that
            # vanished between two calls.
            self.errors.append(event.contents.error_code)
            return 0

        self._on_error = _ERROR_HANDLER(on_error)
        lib.XSetErrorHandler(self._on_error)
        self.dpy = lib.XOpenDisplay(display_name.encode())
        if not self.dpy:
            raise Failure(f"cannot open X display {display_name}")
        self.root = lib.XDefaultRootWindow(self.dpy)

    def close(self):
        if self.dpy:
            self.lib.XCloseDisplay(self.dpy)
            self.dpy = None

    def _call(self, function, *args):
        self.errors.clear()
        result = function(*args)
        self.lib.XSync(self.dpy, 0)
        return result, not self.errors

    def children(self, window):
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        status, ok = self._call(self.lib.XQueryTree, self.dpy, window, ctypes.byref(root), ctypes.byref(parent),
                                ctypes.byref(children), ctypes.byref(count))
        if not status or not ok:
            return []
        result = [children[i] for i in range(count.value)]
        if children:
            self.lib.XFree(children)
        return result

    def parent(self, window):
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        status, ok = self._call(self.lib.XQueryTree, self.dpy, window, ctypes.byref(root), ctypes.byref(parent),
                                ctypes.byref(children), ctypes.byref(count))
        if children:
            self.lib.XFree(children)
        return parent.value if status and ok else None

    def attributes(self, window):
        attributes = _XWindowAttributes()
        status, ok = self._call(self.lib.XGetWindowAttributes, self.dpy, window, ctypes.byref(attributes))
        return attributes if status and ok else None

    def viewable(self, window):
        attributes = self.attributes(window)
        return attributes is not None and attributes.map_state == IS_VIEWABLE

    def origin_on_screen(self, window):
        x, y, child = ctypes.c_int(), ctypes.c_int(), ctypes.c_ulong()
        _, ok = self._call(self.lib.XTranslateCoordinates, self.dpy, window, self.root, 0, 0,
                           ctypes.byref(x), ctypes.byref(y), ctypes.byref(child))
        check(ok, f"window {window:#x} is gone")
        return x.value, y.value

    def name(self, window):
        name = ctypes.c_char_p()
        status, ok = self._call(self.lib.XFetchName, self.dpy, window, ctypes.byref(name))
        if not status or not ok or not name.value:
            return None
        value = name.value.decode(errors="replace")
        self.lib.XFree(name)
        return value

    def atom(self, name):
        return self.lib.XInternAtom(self.dpy, name.encode(), 0)

    def property_longs(self, window, name, kind):
        """A 32-bit-format property as a list of ints, or None."""
        actual_type, actual_format = ctypes.c_ulong(), ctypes.c_int()
        count, after, data = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p()
        status, ok = self._call(self.lib.XGetWindowProperty, self.dpy, window, self.atom(name), 0, 1 << 20, 0,
                                kind, ctypes.byref(actual_type), ctypes.byref(actual_format),
                                ctypes.byref(count), ctypes.byref(after), ctypes.byref(data))
        if status != 0 or not ok or not data.value:
            return None
        try:
            if actual_format.value != 32:
                return None
            # Xlib hands format-32 data back as longs.
            values = ctypes.cast(data, ctypes.POINTER(ctypes.c_ulong))
            return [values[i] & 0xFFFFFFFF for i in range(count.value)]
        finally:
            self.lib.XFree(data)

    def capture(self, window, width, height):
        image, ok = self._call(self.lib.XGetImage, self.dpy, window, 0, 0, width, height, 0xFFFFFFFF, ZPIXMAP)
        check(ok and bool(image), f"cannot read the pixels of window {window:#x}")
        try:
            ximage = image.contents
            check(ximage.bits_per_pixel == 32 and ximage.byte_order == 0,
                  f"unexpected pixel layout: {ximage.bits_per_pixel} bits, byte order {ximage.byte_order}")
            raw = ctypes.string_at(ximage.data, ximage.bytes_per_line * height)
            return Image.frombuffer("RGB", (width, height), raw, "raw", "BGRX", ximage.bytes_per_line, 1).copy()
        finally:
            image.contents.f.destroy_image(image)

    def pass_over(self, window, width, height):
        """Another program's window, plain magenta, shown over `window` and
        taken away: what it hid shows again only once the program paints it."""
        x, y = self.origin_on_screen(window)
        cover, ok = self._call(self.lib.XCreateSimpleWindow, self.dpy, self.root, x, y, width, height, 0, 0, 0xFF00FF)
        check(ok and cover, "cannot make a window to pass over the program's")
        self._call(self.lib.XMapRaised, self.dpy, cover)
        time.sleep(0.3)
        self._call(self.lib.XDestroyWindow, self.dpy, cover)

    def kill_client(self, window):
        """Closes the connection of the client that made `window`, as xkill does."""
        _, ok = self._call(self.lib.XKillClient, self.dpy, window)
        check(ok, f"killing the client of window {window:#x} failed")

    def send_delete_window(self, window):
        """What a window manager sends when the user clicks the close box."""
        event = _XEvent()
        event.xclient.type = CLIENT_MESSAGE
        event.xclient.window = window
        event.xclient.message_type = self.atom("WM_PROTOCOLS")
        event.xclient.format = 32
        event.xclient.data[0] = self.atom("WM_DELETE_WINDOW")
        event.xclient.data[1] = 0  # CurrentTime
        status, ok = self._call(self.lib.XSendEvent, self.dpy, window, 0, 0, ctypes.byref(event))
        check(status and ok, "sending WM_DELETE_WINDOW failed")


# --- the X server ---

class XServer:
    def __init__(self, workdir, depth=24):
        read_end, write_end = os.pipe()
        self.log = open(workdir / f"xvfb{depth}.log", "wb")
        # -displayfd: the server picks a free display number and writes it once
        # it accepts connections.
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"1280x1024x{depth}", "-nolisten", "tcp",
             "-noreset"],
            pass_fds=(write_end,), stdout=self.log, stderr=subprocess.STDOUT, start_new_session=True,
            preexec_fn=end_with_parent)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + STARTUP_TIMEOUT
        os.set_blocking(read_end, False)
        while not number.endswith(b"\n"):
            if self.process.poll() is not None or time.monotonic() > deadline:
                os.close(read_end)
                self.stop()
                raise Failure("Xvfb did not start: " + (workdir / f"xvfb{depth}.log").read_text(errors="replace"))
            try:
                chunk = os.read(read_end, 16)
            except BlockingIOError:
                time.sleep(0.02)
                continue
            if not chunk:
                time.sleep(0.02)
            number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()
        self.x = XConnection(self.display)

    def stop(self):
        if getattr(self, "x", None):
            # Xlib ends this process on a connection to a server that is gone.
            if self.process.poll() is None:
                self.x.close()
            self.x = None
        _end(self.process)
        self.log.close()


def end_with_parent():
    """For preexec_fn: the child gets SIGTERM when this script dies, even by
    SIGKILL (as a test runner's timeout may send), so nothing outlives it."""
    libc = ctypes.CDLL(None, use_errno=True)
    PR_SET_PDEATHSIG = 1
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM, 0, 0, 0)


def _end(process, grace=3.0):
    if process.poll() is not None:
        return
    try:
        os.killpg(process.pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    try:
        process.wait(grace)
    except subprocess.TimeoutExpired:
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        process.wait()


def xdotool(display, *args, timeout=60):
    result = subprocess.run(["xdotool", *map(str, args)], env={**os.environ, "DISPLAY": display},
                            capture_output=True, text=True, timeout=timeout)
    if result.returncode != 0:
        raise Failure(f"xdotool {' '.join(map(str, args[:8]))}... failed: {result.stderr.strip()}")
    return result.stdout


# --- the program under test ---

class App:
    def __init__(self, session, process, log_path, server=None):
        self.session = session
        self.server = server or session.server
        self.x = self.server.x
        self.process = process
        self.log_path = log_path
        self.window = None
        self.client = None
        self.expectation = None

    # Windows

    def _top_levels(self):
        found = []
        for window in self.x.children(self.x.root):
            if self.x.name(window) == TITLE and self.x.viewable(window):
                found.append(window)
        return found

    def wait_for_window(self):
        def shown():
            check(self.process.poll() is None, f"the program ended during start-up with status "
                                               f"{self.process.returncode}\n{self.log()}")
            return self._top_levels()

        windows = poll(shown, STARTUP_TIMEOUT)
        check(windows, f"no window titled {TITLE!r} appeared within {STARTUP_TIMEOUT:.0f} s")
        check(len(windows) == 1, f"{len(windows)} windows titled {TITLE!r}")
        self.window = windows[0]
        # Cross-check with xdotool's own view of the title.
        title = xdotool(self.server.display, "getwindowname", self.window).strip()
        check(title == TITLE, f"window title is {title!r}")

        def client():
            return [w for w in self._descendants(self.window)
                    if self.x.viewable(w) and _size(self.x.attributes(w)) == CLIENT_SIZE]

        clients = poll(client, STARTUP_TIMEOUT)
        check(clients, "the window has no viewable child of the client area's size "
                       f"{CLIENT_SIZE[0]}x{CLIENT_SIZE[1]}:\n{self.tree()}")
        check(len(clients) == 1, f"{len(clients)} children of {CLIENT_SIZE[0]}x{CLIENT_SIZE[1]}")
        self.client = clients[0]
        return self

    def _descendants(self, window):
        for child in self.x.children(window):
            yield child
            yield from self._descendants(child)

    def tree(self, window=None, depth=0):
        window = window or self.window
        attributes = self.x.attributes(window)
        line = f"{'  ' * depth}{window:#x} {self.x.name(window)!r} {_size(attributes)}"
        return "\n".join([line] + [self.tree(c, depth + 1) for c in self.x.children(window)])

    # Pixels

    def screenshot(self):
        return self.x.capture(self.client, *CLIENT_SIZE)

    def wait_until_settled(self):
        """Waits for the first complete frame of the fresh window and takes the
        label pixels from it."""
        want = expected.build(expected.empty_board())
        outside = expected.label_mask().point(lambda v: 255 - v)
        empty_none2 = expected.build(expected.empty_board(), show_none2=True)

        previous = [None]

        def matches():
            # Two equal shots in a row, so the labels are not read from a frame
            # still being painted.
            shot = self.screenshot()
            steady = previous[0] is not None and shot.tobytes() == previous[0].tobytes()
            previous[0] = shot
            if not steady:
                return None
            for candidate in (want, empty_none2):
                masked = Image.composite(shot, candidate, outside)
                if expected.differences(masked, candidate) is None:
                    return shot
            return None

        shot = poll(matches, STARTUP_TIMEOUT)
        if shot is None:
            shot = self.screenshot()
            self.session.save_images("startup", shot, want)
            raise Failure("the fresh window never showed the empty board:\n"
                          + expected.differences(Image.composite(shot, want, outside), want))
        self.expectation = expected.Expectation(shot)
        for name, box in expected.LABEL_BOXES.items():
            colours = shot.crop(box).getcolors(1 << 16)
            check(colours and any(c != (0, 0, 0) for _, c in colours), f"{name} shows no text")
        return shot

    def expect(self, board, what="", timeout=SETTLE_TIMEOUT):
        """Waits until the client area shows `board`; fails with an account of
        the difference otherwise."""
        want = self.expectation.picture(board)
        shot = poll(lambda: (lambda s: s if expected.differences(s, want) is None else None)(self.screenshot()),
                    timeout)
        if shot is None:
            shot = self.screenshot()
            detail = expected.differences(shot, want)
            if detail is None:
                return
            paths = self.session.save_images(what or "expect", shot, want)
            raise Failure(f"client area differs from the expected picture{' after ' + what if what else ''}:\n"
                          f"{detail}\n(saved {paths})")

    # Input

    def focus(self):
        xdotool(self.server.display, "windowfocus", "--sync", self.window)

    def _screen_point(self, x, y):
        ox, oy = self.x.origin_on_screen(self.client)
        return ox + x, oy + y

    def click_args(self, x, y):
        sx, sy = self._screen_point(x, y)
        # click's own default pause of 100 ms after each click would set the pace.
        return ["mousemove", sx, sy, "click", "--delay", 0, 1]

    def click(self, x, y):
        sx, sy = self._screen_point(x, y)
        xdotool(self.server.display, "mousemove", "--sync", sx, sy, "click", 1)

    def click_socket(self, index):
        self.click(*expected.socket_centre(index))

    def key(self, *keys):
        self.focus()
        xdotool(self.server.display, "key", *keys)

    def _viewable_top_levels(self):
        return {w for w in self.x.children(self.x.root) if self.x.viewable(w)}

    def top_levels_titled(self, title):
        """The viewable top-level windows titled `title`."""
        return [w for w in self.x.children(self.x.root) if self.x.name(w) == title and self.x.viewable(w)]

    def wait_for_top_level(self, title, client_size, timeout=SETTLE_TIMEOUT):
        """Waits until exactly one viewable top-level window titled `title` is
        there, with a viewable client child of `client_size`; returns it as a
        TopLevel."""
        def shown():
            check(self.process.poll() is None, f"the program ended with status {self.process.returncode} "
                                               f"while {title!r} was awaited\n{self.log()}")
            return self.top_levels_titled(title)

        windows = poll(shown, timeout)
        check(windows, f"no window titled {title!r} appeared within {timeout:.0f} s")
        check(len(windows) == 1, f"{len(windows)} windows titled {title!r}")
        frame = windows[0]
        clients = poll(lambda: [w for w in self._descendants(frame)
                                if self.x.viewable(w) and _size(self.x.attributes(w)) == tuple(client_size)],
                       timeout)
        check(len(clients) == 1, f"{title!r} has {len(clients)} viewable children of its client area's size "
                                 f"{client_size[0]}x{client_size[1]}:\n{self.tree(frame)}")
        return TopLevel(self, title, frame, clients[0], tuple(client_size))

    def menu(self, open_key, letter):
        """Opens a menu of the menu bar by its access key (e.g. alt+b) and
        chooses an entry by its access letter, waiting for the popup to show
        and to go again."""
        self.focus()
        before = self._viewable_top_levels()
        xdotool(self.server.display, "key", open_key)
        popups = poll(lambda: self._viewable_top_levels() - before, SETTLE_TIMEOUT)
        check(popups, f"{open_key} opened no menu")
        xdotool(self.server.display, "key", letter)
        check(poll(lambda: not (self._viewable_top_levels() & popups), SETTLE_TIMEOUT),
              f"the menu opened by {open_key} stayed open after {letter!r}")

    def batch(self, args):
        """Runs many xdotool commands in one invocation, as fast as it sends them."""
        self.focus()
        xdotool(self.server.display, *args, timeout=300)

    def close_box(self):
        protocols = self.x.property_longs(self.window, "WM_PROTOCOLS", XA_ATOM) or []
        check(self.x.atom("WM_DELETE_WINDOW") in protocols,
              "the window does not take WM_DELETE_WINDOW, so a window manager's close box could not close it")
        self.x.send_delete_window(self.window)

    def icon(self):
        """The window's 32x32 icon from _NET_WM_ICON, as an RGBA image, or None."""
        values = self.x.property_longs(self.window, "_NET_WM_ICON", XA_CARDINAL)
        i = 0
        while values and i + 2 <= len(values):
            width, height = values[i], values[i + 1]
            pixels = values[i + 2:i + 2 + width * height]
            if (width, height) == (32, 32) and len(pixels) == 32 * 32:
                data = b"".join(bytes(((p >> 16) & 255, (p >> 8) & 255, p & 255, (p >> 24) & 255))
                                for p in pixels)
                return Image.frombytes("RGBA", (32, 32), data)
            i += 2 + width * height
        return None

    # Ending

    def wait_exit(self, timeout=EXIT_TIMEOUT):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"the program did not end within {timeout:.0f} s") from None

    def window_gone(self):
        return poll(lambda: not self._top_levels(), 2.0)

    def log(self):
        try:
            text = self.log_path.read_text(errors="replace").strip()
        except OSError:
            return ""
        return f"program output:\n{text}" if text else "(the program wrote nothing)"

    def stop(self):
        _end(self.process)


def _size(attributes):
    return (attributes.width, attributes.height) if attributes else None


class TopLevel:
    """Another top-level window of the program (the main one is App's own):
    its pixels, input to it, and its close box."""

    def __init__(self, app, title, frame, client, size):
        self.app = app
        self.x = app.x
        self.display = app.server.display
        self.title = title
        self.frame = frame
        self.client = client
        self.size = size

    def viewable(self):
        return self.x.viewable(self.frame)

    def wait_hidden(self, timeout=SETTLE_TIMEOUT):
        check(poll(lambda: not self.viewable(), timeout), f"{self.title!r} is still on the screen")

    def wait_shown(self, timeout=SETTLE_TIMEOUT):
        check(poll(self.viewable, timeout), f"{self.title!r} did not come back on the screen")

    def move(self, x, y):
        """Puts the window's top-left corner at (x, y) of the screen, as the
        user would drag it; with no window manager on the server, new windows
        all open at the top left, over one another."""
        xdotool(self.display, "windowmove", "--sync", self.frame, x, y)
        check(poll(lambda: self.x.origin_on_screen(self.frame) == (x, y), SETTLE_TIMEOUT),
              f"{self.title!r} did not move to {x},{y}")

    def screenshot(self):
        return self.x.capture(self.client, *self.size)

    def wait_for_picture(self, predicate, timeout=SETTLE_TIMEOUT):
        """Polls screenshots until `predicate(shot)` returns None (no complaint);
        returns (shot, last complaint)."""
        state = {}

        def good():
            state["shot"] = shot = self.screenshot()
            state["complaint"] = predicate(shot)
            return state["complaint"] is None

        poll(good, timeout)
        return state["shot"], state["complaint"]

    def focus(self):
        xdotool(self.display, "windowfocus", "--sync", self.frame)

    def click(self, x, y):
        ox, oy = self.x.origin_on_screen(self.client)
        xdotool(self.display, "mousemove", "--sync", ox + x, oy + y, "click", 1)

    def key(self, *keys):
        self.focus()
        xdotool(self.display, "key", *keys)

    def close_box(self):
        protocols = self.x.property_longs(self.frame, "WM_PROTOCOLS", XA_ATOM) or []
        check(self.x.atom("WM_DELETE_WINDOW") in protocols,
              f"{self.title!r} does not take WM_DELETE_WINDOW, so a close box could not close it")
        self.x.send_delete_window(self.frame)


class Session:
    """One X server for a test script, and the programs started on it."""

    def __init__(self, executable):
        self.executable = str(Path(executable).resolve())
        self.workdir = Path(tempfile.mkdtemp(prefix="zorvane-e2e-"))
        # Pictures of failed comparisons outlive the run; ctest points this into
        # the build tree.
        self.artifacts = Path(os.environ.get("ZORVANE_E2E_ARTIFACTS",
                                             Path(tempfile.gettempdir()) / "zorvane-e2e-artifacts"))
        self.apps = []
        self.launches = 0
        self.current_test = "test"
        self.server = XServer(self.workdir)

    def prepare_run(self, server=None, home_files=()):
        """A fresh folder for one run of the program, and its environment on
        `server` (the session's own by default); the empty files `home_files`
        are made in its fresh home folder first."""
        self.launches += 1
        run = self.workdir / f"run{self.launches}"
        home, runtime = run / "home", run / "runtime"
        home.mkdir(parents=True)
        runtime.mkdir(mode=0o700)
        for name in home_files:
            (home / name).parent.mkdir(parents=True, exist_ok=True)
            (home / name).touch()
        env = {k: v for k, v in os.environ.items()
               if k not in ("WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "SESSION_MANAGER", "XAUTHORITY")}
        env.update(DISPLAY=(server or self.server).display, QT_QPA_PLATFORM="xcb", HOME=str(home),
                   XDG_RUNTIME_DIR=str(runtime), XDG_CONFIG_HOME=str(home / ".config"),
                   XDG_CACHE_HOME=str(home / ".cache"), XDG_DATA_HOME=str(home / ".local/share"))
        return run, env

    def launch(self, server=None, prefix=(), home_files=()):
        """Starts the program (on `server`, the session's own by default) and
        waits until its fresh window shows its first complete frame. `prefix`
        goes before the program's command line."""
        run, env = self.prepare_run(server, home_files)
        log_path = run / "output.log"
        with open(log_path, "wb") as log:
            process = subprocess.Popen([*prefix, self.executable], env=env, cwd=run, stdin=subprocess.DEVNULL,
                                       stdout=log, stderr=subprocess.STDOUT, start_new_session=True,
                                       preexec_fn=end_with_parent)
        app = App(self, process, log_path, server)
        app.home = run / "home"
        self.apps.append(app)
        app.wait_for_window()
        app.wait_until_settled()
        return app

    def save_images(self, what, got, want):
        self.artifacts.mkdir(parents=True, exist_ok=True)
        stem = re.sub(r"[^A-Za-z0-9_.-]+", "_", f"{self.current_test}-{what}")[:120]
        got_path, want_path = self.artifacts / f"{stem}-got.png", self.artifacts / f"{stem}-expected.png"
        got.save(got_path)
        want.save(want_path)
        return f"{got_path}, {want_path}"

    def end_apps(self):
        for app in self.apps:
            app.stop()
        self.apps.clear()

    def close(self):
        self.end_apps()
        self.server.stop()
        shutil.rmtree(self.workdir, ignore_errors=True)


def main(tests):
    if len(sys.argv) != 2:
        print(f"usage: {sys.argv[0]} PATH-TO-ZORVANE", file=sys.stderr)
        return 2
    for tool in ("Xvfb", "xdotool"):
        if shutil.which(tool) is None:
            print(f"{tool} is missing; scripts/deps installs it", file=sys.stderr)
            return 2

    session = None

    def on_signal(number, _frame):
        raise SystemExit(128 + number)

    signal.signal(signal.SIGTERM, on_signal)
    passed = failed = 0
    try:
        session = Session(sys.argv[1])
        only = os.environ.get("ZORVANE_E2E_ONLY")
        for test in tests:
            if only and only not in test.__name__:
                continue
            session.current_test = test.__name__
            started = time.monotonic()
            try:
                test(session)
            except Exception as error:
                failed += 1
                detail = str(error) if isinstance(error, Failure) else traceback.format_exc()
                print(f"FAIL {test.__name__}: {detail}")
                for app in session.apps:
                    print(app.log())
            else:
                passed += 1
                print(f"PASS {test.__name__} ({time.monotonic() - started:.1f} s)")
            finally:
                session.end_apps()
            sys.stdout.flush()
    except Failure as error:
        failed += 1
        print(f"FAIL setting up: {error}")
    finally:
        if session:
            session.close()
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 and passed > 0 else 1
