#!/usr/bin/python3
"""File > Save writes the client area as it was when the command started, and
leaves the capture on the desktop's clipboard for other programs."""

import ctypes
import os
import shutil
import stat
import struct
import subprocess
import sys
from io import BytesIO
from pathlib import Path

from PIL import Image

import expected
import harness
from board_model import Board
from expected import GREEN, ORANGE, RED
from harness import check, poll, xdotool

DIALOG_TITLE = "Save As"
# 14-byte file header, 40-byte info header, 600 rows of 1800 bytes (no padding needed).
BMP_BYTES = 14 + 40 + expected.WIDTH * 3 * expected.HEIGHT
TEXT_TARGETS = {"UTF8_STRING", "STRING", "TEXT", "text/plain", "text/plain;charset=utf-8"}


# --- the desktop around the program ---

def top_levels(app):
    x = app.x
    return {w for w in x.children(x.root) if x.viewable(w)}


def new_window(app, before, title, what):
    """Waits for a viewable top-level window titled `title` that was not in
    `before`."""
    def found():
        return [w for w in top_levels(app) - before if app.x.name(w) == title]

    windows = poll(found, harness.SETTLE_TIMEOUT)
    check(windows, f"{what}: no window titled {title!r} appeared\n{app.log()}")
    check(len(windows) == 1, f"{what}: {len(windows)} new windows titled {title!r}")
    return windows[0]


def wait_gone(app, window, what):
    check(poll(lambda: not app.x.viewable(window), harness.SETTLE_TIMEOUT), f"{what} stayed open")


def wait_focus(app, window, what):
    """Keys typed before the new window holds the input focus would go elsewhere."""
    def focused():
        try:
            return int(xdotool(app.server.display, "getwindowfocus").strip()) == window
        except ValueError:
            return False

    check(poll(focused, harness.SETTLE_TIMEOUT), f"{what} never took the keyboard focus")


def clipboard(app, target):
    result = subprocess.run(["xclip", "-selection", "clipboard", "-t", target, "-o"],
                            env={**os.environ, "DISPLAY": app.server.display},
                            stdin=subprocess.DEVNULL, capture_output=True, timeout=20)
    return result.stdout if result.returncode == 0 else None


def clipboard_targets(app):
    data = clipboard(app, "TARGETS")
    return set(data.decode(errors="replace").split()) if data else set()


def set_clipboard_text(app, text):
    # xclip forks a child that serves the selection until another client takes
    # it; nothing may wait on that child's output.
    subprocess.run(["xclip", "-selection", "clipboard", "-i"], input=text.encode(),
                   env={**os.environ, "DISPLAY": app.server.display},
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20, check=True)
    check(poll(lambda: clipboard(app, "UTF8_STRING") == text.encode(), harness.SETTLE_TIMEOUT),
          "xclip's text never reached the clipboard")


def decoded(data):
    image = Image.open(BytesIO(data))
    image.load()
    return image


def check_clipboard_holds(app, shot, what):
    targets = clipboard_targets(app)
    check({"image/png", "image/bmp"} <= targets,
          f"{what}: the clipboard offers {sorted(targets)}, without image/png and image/bmp")
    for target in ("image/png", "image/bmp"):
        data = clipboard(app, target)
        check(data, f"{what}: reading {target} from the clipboard failed")
        detail = expected.differences(decoded(data), shot)
        if detail is not None:
            paths = app.session.save_images(f"clipboard-{target.replace('/', '-')}", decoded(data), shot)
            raise harness.Failure(f"{what}: the clipboard's {target} differs from the capture:\n{detail}\n"
                                  f"(saved {paths})")


def files_under(folder):
    return set(Path(folder).rglob("*"))


def saved_files_under(folder):
    """Files under `folder`, less each run's home folder."""
    return {p for p in files_under(folder) if "home" not in p.relative_to(folder).parts}


def bind_keysyms(session, keysyms):
    """Puts keysyms missing from the server's keymap on free keycodes, so
    xdotool types them as any other key instead of remapping a keycode
    between press and release, which a busy client may read too late."""
    x = session.server.x
    lib = x.lib
    lib.XDisplayKeycodes.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int)]
    lib.XGetKeyboardMapping.restype = ctypes.POINTER(ctypes.c_ulong)
    lib.XGetKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_ubyte, ctypes.c_int, ctypes.POINTER(ctypes.c_int)]
    lib.XChangeKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                           ctypes.POINTER(ctypes.c_ulong), ctypes.c_int]
    low, high, per = ctypes.c_int(), ctypes.c_int(), ctypes.c_int()
    lib.XDisplayKeycodes(x.dpy, ctypes.byref(low), ctypes.byref(high))
    count = high.value - low.value + 1
    table = lib.XGetKeyboardMapping(x.dpy, low.value, count, ctypes.byref(per))
    try:
        rows = [[table[i * per.value + j] for j in range(per.value)] for i in range(count)]
    finally:
        x.lib.XFree(table)
    missing = [k for k in keysyms if not any(k in row for row in rows)]
    free = [low.value + i for i, row in enumerate(rows) if not any(row)]
    check(len(free) >= len(missing), "the keymap has no free keycodes")
    for keysym, keycode in zip(missing, free):
        entry = (ctypes.c_ulong * 1)(keysym)
        lib.XChangeKeyboardMapping(x.dpy, keycode, 1, entry, 1)
    lib.XSync(x.dpy, 0)


def folder(session, name):
    path = session.workdir / "files" / session.current_test / name
    path.mkdir(parents=True)
    return path


# --- the save dialog and its outcomes ---

class SaveDialog:
    def __init__(self, app, window):
        self.app = app
        self.window = window

    def type(self, text):
        xdotool(self.app.server.display, "type", "--delay", "8", text)

    def key(self, *keys):
        xdotool(self.app.server.display, "key", *keys)

    def wait_closed(self, what="the save dialog"):
        wait_gone(self.app, self.window, what)


def open_dialog(app, by="ctrl+s"):
    """Runs File > Save by Ctrl+S or by the access letters and waits until the
    dialog is up and takes keys."""
    before = top_levels(app)
    if by == "ctrl+s":
        app.key("ctrl+s")
    else:
        app.menu("alt+f", "s")
    window = new_window(app, before, DIALOG_TITLE, f"File > Save by {by}")
    check(app.x.name(app.window) == harness.TITLE, "the main window lost its title")
    wait_focus(app, window, "the save dialog")
    return SaveDialog(app, window)


def save_as(app, path, by="ctrl+s"):
    """Types `path` into a fresh showing of the dialog and confirms it."""
    dialog = open_dialog(app, by)
    dialog.type(str(path))
    dialog.key("Return")
    dialog.wait_closed()
    return dialog


def confirm_replace(app, dialog):
    """Answers the dialog's own question whether an existing file may be replaced."""
    question = new_window(app, {app.window, dialog.window}, DIALOG_TITLE, "replacing an existing file")
    wait_focus(app, question, "the question whether to replace the file")
    xdotool(app.server.display, "key", "alt+y")
    wait_gone(app, question, "the question whether to replace the file")


def save_again_under_shown_name(app, path, shot, what):
    """Saves with the name the dialog shows, answers yes to replacing it, and
    checks that `path` then holds `shot`."""
    dialog = open_dialog(app)
    dialog.key("Return")
    confirm_replace(app, dialog)
    dialog.wait_closed()
    check(poll(lambda: expected.differences(decoded(path.read_bytes()), shot) is None, harness.SETTLE_TIMEOUT),
          f"the second save did not replace {what} with the new capture")


def check_bmp(app, path, shot, what):
    check(poll(lambda: path.exists(), harness.SETTLE_TIMEOUT),
          f"{what}: {path} was not written; its folder holds {sorted(os.listdir(path.parent))}")
    data = path.read_bytes()
    check(len(data) == BMP_BYTES, f"{what}: {path.name} has {len(data)} bytes, expected {BMP_BYTES}")
    magic, size, _, offset = struct.unpack_from("<2sIII", data, 0)
    header, width, height, planes, bits, compression = struct.unpack_from("<IiiHHI", data, 14)
    check((magic, size, offset, header) == (b"BM", BMP_BYTES, 54, 40),
          f"{what}: file header {magic!r} size {size} offset {offset}, info header of {header} bytes")
    check((width, height, planes, bits, compression) == (expected.WIDTH, expected.HEIGHT, 1, 24, 0),
          f"{what}: {width}x{height}, {planes} planes, {bits} bits, compression {compression}; "
          f"expected a bottom-up 600x380 uncompressed 24-bit picture")
    image = Image.open(path)
    check(image.format == "BMP", f"{what}: PIL reads {path.name} as {image.format}")
    detail = expected.differences(image, shot)
    if detail is not None:
        paths = app.session.save_images(what, image.convert("RGB"), shot)
        raise harness.Failure(f"{what}: {path.name} differs from the screenshot taken before the dialog "
                              f"opened:\n{detail}\n(saved {paths})")


def board_with_bulbs(session, **launch):
    board = Board(session.launch(**launch))
    board.click_socket(0)
    board.key(RED)
    for index in (29, 30, 200):
        board.click_socket(index)
    board.key(GREEN)
    board.click_socket(447)
    board.check("placing bulbs")
    return board


def check_still_takes_clicks(board, index, what):
    check(board.app.process.poll() is None, f"the program ended {what}\n{board.app.log()}")
    before = board.app.screenshot()
    board.key(ORANGE)
    board.click_socket(index)
    board.check(f"a socket click {what}")
    check(expected.differences(board.app.screenshot(), before) is not None,
          f"the socket click {what} changed nothing")


# --- the tests ---

def test_ctrl_s_writes_the_client_area_as_it_was(session):
    board = board_with_bulbs(session)
    app = board.app
    shot = app.screenshot()
    target = folder(session, "out") / "board.bmp"
    save_as(app, target)
    check_bmp(app, target, shot, "Ctrl+S")
    check(files_under(target.parent) == {target}, f"stray files: {sorted(files_under(target.parent))}")
    board.check("the save")
    check_clipboard_holds(app, shot, "after Ctrl+S")


def test_file_save_by_access_letters_writes_the_same(session):
    board = board_with_bulbs(session)
    app = board.app
    shot = app.screenshot()
    target = folder(session, "out") / "menu.bmp"
    save_as(app, target, by="alt+f s")
    check_bmp(app, target, shot, "File > Save by its access letters")
    check_clipboard_holds(app, shot, "after File > Save")


def test_second_showing_starts_from_the_first_name(session):
    board = board_with_bulbs(session)
    app = board.app
    target = folder(session, "out") / "twice.bmp"
    first = app.screenshot()
    save_as(app, target)
    check_bmp(app, target, first, "the first save")

    board.key(ORANGE)
    board.click_socket(100)
    board.check("a bulb placed between the saves")
    second = app.screenshot()
    # Nothing typed: Return takes the name the dialog shows, the one left by the
    # first save, and the dialog asks before replacing that file.
    save_again_under_shown_name(app, target, second, "the first name's file")
    check_bmp(app, target, second, "the second save")
    check(files_under(target.parent) == {target}, f"stray files: {sorted(files_under(target.parent))}")
    check_clipboard_holds(app, second, "after the second save")


def test_cancel_writes_nothing_and_leaves_the_capture_on_the_clipboard(session):
    board = board_with_bulbs(session)
    app = board.app
    set_clipboard_text(app, "hi")
    files_before = saved_files_under(session.workdir)

    dialog = open_dialog(app)
    dialog.key("Escape")
    dialog.wait_closed("the dialog, after Escape,")
    check_still_takes_clicks(board, 300, "after Cancel")
    targets = clipboard_targets(app)
    check(not (targets & TEXT_TARGETS), f"the text set before the save is still offered: {sorted(targets)}")
    check(clipboard(app, "UTF8_STRING") != b"hi", "the clipboard still holds the text set before the save")

    # A name typed and then cancelled is no more written than none at all.
    shot = app.screenshot()
    dialog = open_dialog(app)
    dialog.type(str(session.workdir / "cancelled.bmp"))
    dialog.key("Escape")
    dialog.wait_closed("the dialog, after a name and Escape,")
    check_still_takes_clicks(board, 301, "after a name and Cancel")
    check(not [w for w in top_levels(app) if w != app.window],
          "a window other than the main window is open after Cancel")
    added = saved_files_under(session.workdir) - files_before
    check(not added, f"Cancel wrote {sorted(map(str, added))}")
    check_clipboard_holds(app, shot, "after Cancel")


def test_typed_extension_is_kept_and_a_bare_name_gets_bmp(session):
    board = board_with_bulbs(session)
    app = board.app
    out = folder(session, "out")
    shot = app.screenshot()
    save_as(app, out / "picture.txt")
    check_bmp(app, out / "picture.txt", shot, "a .txt name")
    # The dialog puts its default extension on a name typed without one.
    save_as(app, out / "plain")
    check_bmp(app, out / "plain.BMP", shot, "a name without extension")
    written = {p.name for p in files_under(out)}
    check(written == {"picture.txt", "plain.BMP"}, f"the folder holds {sorted(written)}")


def test_name_is_used_as_typed(session):
    bind_keysyms(session, [0x00e4, 0x20ac])  # adiaeresis, EuroSign
    board = board_with_bulbs(session)
    app = board.app
    out = folder(session, "out")
    names = ["my picture \u00e4\u20ac.bmp", "-dash.bmp", 'it\'s "quoted".bmp']
    shot = app.screenshot()
    for name in names:
        save_as(app, out / name)
        check_bmp(app, out / name, shot, f"the name {name!r}")
    written = {p.name for p in files_under(out)}
    check(written == set(names), f"the folder holds {sorted(written)}, expected {sorted(names)}")

    # The quoted name comes back whole in the next showing, and the dialog asks
    # before replacing that file, not some other.
    board.click_socket(100)
    board.check("a bulb placed between the saves")
    second = app.screenshot()
    save_again_under_shown_name(app, out / names[-1], second, repr(names[-1]))
    written = {p.name for p in files_under(out)}
    check(written == set(names), f"the folder holds {sorted(written)}, expected {sorted(names)}")


def failed_save(app, path, reply_replace, meanwhile=lambda: None):
    """A save under `path` that cannot be written: the dialog closes, the
    program shows the failure in a box of its own and goes on once the box is
    dismissed; `meanwhile` runs while the dialog is open. Returns its picture."""
    dialog = open_dialog(app)
    dialog.type(str(path))
    meanwhile()
    dialog.key("Return")
    if reply_replace:
        confirm_replace(app, dialog)
    dialog.wait_closed()
    box = new_window(app, {app.window}, harness.TITLE, f"saving to {path}")
    check(box != app.window, "the failure went to the main window itself")
    wait_focus(app, box, "the message box")
    attributes = app.x.attributes(box)
    picture = app.x.capture(box, attributes.width, attributes.height)
    xdotool(app.server.display, "key", "Return")
    wait_gone(app, box, "the message box, after Return,")
    check(app.process.poll() is None, f"the program ended after the failed save\n{app.log()}")
    return picture


def test_failed_save_is_reported_and_the_program_goes_on(session):
    board = board_with_bulbs(session)
    app = board.app
    out = folder(session, "out")
    locked = out / "locked.bmp"
    locked.write_bytes(b"keep these bytes")
    locked.chmod(0o444)

    shot = app.screenshot()
    missing = out / "missing" / "picture.bmp"
    first_box = failed_save(app, missing, reply_replace=False)
    check(not missing.parent.exists(), "the missing folder was made")
    check(files_under(out) == {locked}, f"the folder holds {sorted(map(str, files_under(out)))}")
    check_clipboard_holds(app, shot, "after the save into a missing folder")
    check_still_takes_clicks(board, 60, "after the save into a missing folder")

    shot = app.screenshot()
    second_box = failed_save(app, locked, reply_replace=True)
    check(locked.read_bytes() == b"keep these bytes", "the read-only file was changed")
    check(stat.S_IMODE(locked.stat().st_mode) == 0o444, "the read-only file's mode was changed")
    check(files_under(out) == {locked}, f"the folder holds {sorted(map(str, files_under(out)))}")
    check_clipboard_holds(app, shot, "after the save over a read-only file")
    check(expected.differences(first_box, second_box) is not None,
          "the two failures were shown with the same text")
    check_still_takes_clicks(board, 61, "after the save over a read-only file")

    # And the next save goes through.
    shot = app.screenshot()
    good = out / "good.bmp"
    save_as(app, good)
    check_bmp(app, good, shot, "the save after two failed ones")


# --- what else is on the desktop ---

def start_clipboard_manager(app):
    """xclipboard takes each new clipboard text over from the program that set
    it and serves its own copy; it opens away from the program's window."""
    manager = subprocess.Popen(["xclipboard", "-geometry", "+800+600"],
                               env={**os.environ, "DISPLAY": app.server.display}, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, start_new_session=True, preexec_fn=harness.end_with_parent)
    check(poll(lambda: clipboard_targets(app), harness.SETTLE_TIMEOUT), "xclipboard never took the clipboard")
    return manager


# What is around the program: how it starts, a clipboard manager beside it,
# whether it may write files. It leaves no settings in its home folder.
LOCK = ".config/QtProject.conf.lock"
AROUND = [
    ("a clipboard manager", {}, True, True),
    ("a fresh empty settings lock", dict(home_files=[LOCK]), False, True),
    ("no room for any file", dict(prefix=["prlimit", "--fsize=0"]), False, False),
]


def test_save_with_things_around(session):
    for what, launch, with_manager, writes in AROUND:
        board = board_with_bulbs(session, **launch)
        app, out = board.app, folder(session, what.replace(" ", "-"))
        manager = start_clipboard_manager(app) if with_manager else None
        try:
            if writes:
                shot = app.screenshot()
                save_as(app, out / "kept.bmp")
                check_bmp(app, out / "kept.bmp", shot, f"a save beside {what}")
            # Text copied while the dialog is open replaces the capture: no picture to write.
            failed_save(app, out / "replaced.bmp", False, lambda: set_clipboard_text(app, "copied meanwhile"))
            check(files_under(out) == ({out / "kept.bmp"} if writes else set()), f"{what}: {sorted(files_under(out))}")
            board.check(f"the board, beside {what}")
            left = files_under(app.home / ".config") - {app.home / name for name in launch.get("home_files", ())}
            check(not left, f"beside {what}, the program left {sorted(map(str, left))}")
        finally:
            if manager:
                harness._end(manager)
            session.end_apps()


TESTS = [
    test_ctrl_s_writes_the_client_area_as_it_was,
    test_file_save_by_access_letters_writes_the_same,
    test_second_showing_starts_from_the_first_name,
    test_cancel_writes_nothing_and_leaves_the_capture_on_the_clipboard,
    test_typed_extension_is_kept_and_a_bare_name_gets_bmp,
    test_name_is_used_as_typed,
    test_failed_save_is_reported_and_the_program_goes_on,
    test_save_with_things_around,
]

if __name__ == "__main__":
    for tool in ("xclip", "xclipboard", "prlimit"):
        if shutil.which(tool) is None:
            print(f"{tool} is missing; scripts/deps installs it", file=sys.stderr)
            sys.exit(2)
    sys.exit(harness.main(TESTS))
