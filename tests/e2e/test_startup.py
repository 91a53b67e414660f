#!/usr/bin/python3
"""A start that cannot succeed, or a display lost: one line and status 1."""

import re
import subprocess
import sys
from pathlib import Path

import expected
import harness
from board_model import Board
from harness import check


def eight_bit(session, env):
    session.extra_servers.append(harness.XServer(session.workdir, depth=8))
    env["DISPLAY"] = session.extra_servers[-1].display


def damaged_copy(session, command):
    data = bytearray(Path(session.executable).read_bytes())
    at = data.find((expected.PICTURES / "empty_socket.bmp").read_bytes())
    check(at >= 0, "the empty socket's picture is not in the program")
    data[at:at + 2] = b"XX"  # no longer "BM"
    path = session.workdir / "zorvane-damaged"
    path.write_bytes(data)
    path.chmod(0o755)
    return [str(path)]


def without_font(session, command):
    (session.workdir / "empty").mkdir(exist_ok=True)
    return ["unshare", "--mount", "sh", "-c", 'mount --bind "$1" /usr/share/fonts/truetype/dejavu && shift && exec "$@"',
            "sh", str(session.workdir / "empty"), *command]


# What is changed, and the line the start ends with (None: it starts, and is
# still running a while later).
STARTS = [
    ("no display", lambda s, env: env.pop("DISPLAY") and env.pop("QT_QPA_PLATFORM"), None,
     r"no display is set .*xvfb-run"),
    ("a display that cannot be opened", lambda s, env: env.update(DISPLAY=":4711"), None, r"the X display {DISPLAY} cannot be opened; .*xvfb-run"),
    ("a platform that does not exist", lambda s, env: env.update(QT_QPA_PLATFORM="nonsense"), None,
     r'there is no platform plugin "nonsense" \(there are: [^)]*xcb'),
    ("an 8-bit display", eight_bit, None, r"the X display {DISPLAY} has 8-bit colour"),
    ("a damaged stored picture", None, damaged_copy, r"a picture of the main window cannot be decoded"),
    ("no font file", None, without_font, r"the font file .*DejaVuSans\.ttf cannot be loaded; install fonts-dejavu-core"),
    ("offscreen chosen, no display", lambda s, env: env.pop("DISPLAY") and env.update(QT_QPA_PLATFORM="offscreen"),
     None, None),
    ("offscreen chosen by argument", lambda s, env: env.pop("DISPLAY"), lambda s, c: c + ["-platform", "offscreen"],
     None),
]


def test_start_failures(session):
    session.extra_servers, problems = [], []
    try:
        for what, setup, wrap, line in STARTS:
            run, env = session.prepare_run()
            if setup:
                setup(session, env)
            command = wrap(session, [session.executable]) if wrap else [session.executable]
            process = subprocess.Popen(command, env=env, cwd=run, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                       stderr=subprocess.PIPE, text=True)
            try:
                stdout, stderr = process.communicate(timeout=60 if line else 3)
            except subprocess.TimeoutExpired:
                process.kill()
                stdout, stderr = process.communicate()
                if line is None:
                    continue
            pattern = line and "zorvane: cannot start: " + line.format(DISPLAY=re.escape(env.get("DISPLAY", "")))
            lines = stderr.splitlines()
            good = line is not None and (
                process.returncode == 1 and not stdout and len(lines) == 1 and re.match(pattern, lines[0]))
            if not good:
                problems.append(f"{what}: status {process.returncode}, stdout {stdout!r}, "
                                f"stderr {stderr!r}; wanted {pattern or 'a running program'}")
    finally:
        for server in session.extra_servers:
            server.stop()
    check(not problems, "\n".join(problems))


def ends_with_one_line_and_status_1(app, what):
    status = app.wait_exit()
    lines = app.log_path.read_text().strip().splitlines()
    check(status == 1 and len(lines) == 1, f"{what}: status {status}, wanted 1 and one line\n{app.log()}")


def test_window_killed_by_xkill(session):
    app = session.launch()
    app.click_socket(30)
    app.x.kill_client(app.window)
    ends_with_one_line_and_status_1(app, "xkill of the main window")


def test_x_server_killed_after_one_click(session):
    server = harness.XServer(session.workdir)
    try:
        board = Board(session.launch(server))
        board.click_socket(30)
        board.check("one click")
        harness._end(server.process)
        ends_with_one_line_and_status_1(board.app, "X server killed")
    finally:
        server.stop()


TESTS = [test_start_failures, test_window_killed_by_xkill, test_x_server_killed_after_one_click]

if __name__ == "__main__":
    sys.exit(harness.main(TESTS))
