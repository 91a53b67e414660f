#!/usr/bin/python3
"""What the program does when it cannot start, or loses its display: one line
and status 1, never an abort, a core or the toolkit's own lines."""

import os
import re
import subprocess
import sys
from pathlib import Path

import expected
import harness
from board_model import Board
from harness import check

FONT_FOLDER = "/usr/share/fonts/truetype/dejavu"


def free_display():
    """A display name no X server answers on."""
    number = 90
    while Path(f"/tmp/.X11-unix/X{number}").exists():
        number += 1
    return f":{number}"


def damaged_copy(session):
    """The program with one of the main window's stored pictures spoilt."""
    data = bytearray(Path(session.executable).read_bytes())
    picture = (expected.PICTURES / "empty_socket.bmp").read_bytes()
    check(data.count(picture) == 1, "the empty socket's picture is not in the program exactly once")
    at = data.find(picture)
    data[at:at + 2] = b"XX"  # no longer "BM"
    path = session.workdir / "zorvane-damaged"
    path.write_bytes(data)
    path.chmod(0o755)
    return str(path)


def without_font(session, command):
    """`command` in a mount namespace where the font folder is empty."""
    check(os.geteuid() == 0, "hiding the font folder needs root")
    empty = session.workdir / "no-fonts"
    empty.mkdir(exist_ok=True)
    return ["unshare", "--mount", "sh", "-c", f'mount --bind "$1" {FONT_FOLDER} && shift && exec "$@"', "sh",
            str(empty), *command]


def eight_bit(session, env):
    server = harness.XServer(session.workdir, depth=8)
    session.extra_servers.append(server)
    env["DISPLAY"] = server.display
    return server.display


# Each row: how the start is set up (env changes, the command) and the one line
# it must end with; status 0 rows must start as usual (they end at the first frame).
STARTS = [
    ("no display", lambda s, env: env.pop("DISPLAY") and env.pop("QT_QPA_PLATFORM"),
     None, 1, r"no display is set .*xvfb-run"),
    ("a display that cannot be opened", lambda s, env: env.update(DISPLAY=free_display()),
     None, 1, r"the X display {DISPLAY} cannot be opened; .*xvfb-run"),
    ("a platform that does not exist", lambda s, env: env.update(QT_QPA_PLATFORM="nonsense"),
     None, 1, r'there is no platform plugin "nonsense" \(there are: [^)]*xcb'),
    ("an 8-bit display", eight_bit,
     None, 1, r"the X display {DISPLAY} has 8-bit colour"),
    ("a damaged stored picture", lambda s, env: None,
     lambda s, command: [damaged_copy(s)], 1, r"a picture of the main window cannot be decoded"),
    ("no font file", lambda s, env: None,
     without_font, 1, r"the font file .*DejaVuSans\.ttf cannot be loaded; install fonts-dejavu-core"),
    ("offscreen chosen, no display", lambda s, env: env.pop("DISPLAY") and env.update(QT_QPA_PLATFORM="offscreen"),
     None, 0, None),
    ("offscreen chosen by argument", lambda s, env: env.pop("DISPLAY"),
     lambda s, command: command + ["-platform", "offscreen"], 0, None),
]


def test_start_failures(session):
    session.extra_servers = []
    problems = []
    try:
        for what, setup, wrap, status, line in STARTS:
            run, env = session.prepare_run()
            setup(session, env)
            env["ZORVANE_BENCH_EXIT_AFTER_FIRST_FRAME"] = "1"
            command = [session.executable]
            if wrap:
                command = wrap(session, command)
            result = subprocess.run(command, env=env, cwd=run, stdin=subprocess.DEVNULL, capture_output=True,
                                    text=True, timeout=60)
            lines = result.stderr.splitlines()
            report = f"{what}: status {result.returncode}, stdout {result.stdout!r}, stderr {result.stderr!r}"
            if result.returncode != status:
                problems.append(report)
            elif status == 1:
                pattern = "zorvane: cannot start: " + line.format(DISPLAY=re.escape(env.get("DISPLAY", "")))
                if result.stdout or len(lines) != 1 or not re.match(pattern, lines[0]):
                    problems.append(f"{report}; wanted one line matching {pattern!r}")
    finally:
        for server in session.extra_servers:
            server.stop()
    check(not problems, "\n".join(problems))


def ends_with_one_line_and_status_1(app, what):
    status = app.wait_exit()
    output = app.log_path.read_text(errors="replace").strip().splitlines()
    check(status == 1, f"{what}: exit status {status}\n{app.log()}")
    check(len(output) == 1, f"{what}: wanted one line\n{app.log()}")


def test_window_killed_by_xkill(session):
    app = session.launch()
    app.click_socket(30)
    app.x.kill_client(app.window)
    ends_with_one_line_and_status_1(app, "xkill of the main window")


def test_x_server_killed_after_one_click(session):
    server = harness.XServer(session.workdir)
    try:
        app = session.launch(server)
        board = Board(app)
        board.click_socket(30)
        board.check("one click")
        harness._end(server.process)
        ends_with_one_line_and_status_1(app, "X server killed")
    finally:
        server.stop()


TESTS = [
    test_start_failures,
    test_window_killed_by_xkill,
    test_x_server_killed_after_one_click,
]

if __name__ == "__main__":
    sys.exit(harness.main(TESTS))
