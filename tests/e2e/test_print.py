#!/usr/bin/python3
"""File > Print and Ctrl+P on a real print server: a CUPS scheduler of this
script's own, on a loopback port, whose default destination is a PDF queue
(cups-pdf) writing into a temporary folder. The program finds it through
CUPS_SERVER and never learns it is a test.

Needs root: cups-pdf runs only as root, and its per-queue settings file lives
in /etc/cups (the script writes one under a name of its own and removes it).
"""

import os
import sys

try:
    import PIL  # noqa: F401
except ImportError:
    # The harness needs PIL, which the system Python has.
    system_python = "/usr/bin/python3"
    if os.path.exists(system_python) and os.path.realpath(sys.executable) != os.path.realpath(system_python):
        os.execv(system_python, [system_python, *sys.argv])
    raise

import io
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import zlib
from pathlib import Path

from PIL import Image, ImageChops

import expected
import harness
from board_model import Board
from harness import Failure, check, poll
from test_save import start_clipboard_manager

PPD = Path("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd")
BACKEND = Path("/usr/lib/cups/backend/cups-pdf")
CUPS_PDF_CONFIG_DIR = Path("/etc/cups")
JOB_TIMEOUT = 90.0
# Fine enough that the rasteriser shows each picture pixel as a plain block
# (it smooths pictures enlarged less than four times).
RASTER_DPI = 300
# The picture on the page: the client area's proportions.
CLIENT_RATIO = expected.WIDTH / expected.HEIGHT


def run(*args, env=None, timeout=60):
    result = subprocess.run([str(a) for a in args], env=env, capture_output=True, text=True, timeout=timeout)
    if result.returncode != 0:
        raise Failure(f"{' '.join(map(str, args))} failed ({result.returncode}): {result.stderr.strip()}")
    return result.stdout


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


# --- the queue's driver description ---

class QueueDescription:
    """What the PPD says about the default sheet: its size and printable
    area in points (portrait, origin bottom-left), how a landscape page is
    turned onto it, and the resolutions offered."""

    def __init__(self, path):
        text = path.read_text(errors="replace")
        self.page_size = re.search(r"^\*DefaultPageSize:\s*(\S+)", text, re.M).group(1)
        key = re.escape(self.page_size)
        w, h = re.search(rf'^\*PaperDimension {key}(?:/[^:]*)?:\s*"([\d.]+)\s+([\d.]+)"', text, re.M).groups()
        self.paper = (float(w), float(h))
        area = re.search(rf'^\*ImageableArea {key}(?:/[^:]*)?:\s*"([^"]+)"', text, re.M).group(1)
        self.imageable = tuple(float(v) for v in area.split())
        found = re.search(r"^\*LandscapeOrientation:\s*(\S+)", text, re.M)
        self.landscape_turn = found.group(1) if found else "Plus90"
        dpis = [int(d) for d in re.findall(r"^\*Resolution (\d+)dpi", text, re.M)]
        self.finest_dpi = max(dpis) if dpis else 1200

    def landscape_printable(self):
        """The printable area of the page turned to landscape: (left, top,
        right, bottom) in points from the landscape page's top-left corner."""
        w, h = self.paper
        llx, lly, urx, ury = self.imageable
        left, bottom, right, top = llx, lly, w - urx, h - ury
        if self.landscape_turn == "Minus90":
            margins = (top, right, bottom, left)
        else:
            # Turned a quarter anticlockwise onto the sheet: the page's top
            # lies along the sheet's left edge.
            margins = (bottom, left, top, right)
        width, height = h, w
        return (margins[0], margins[1], width - margins[2], height - margins[3])


# --- the print server ---

class PrintServer:
    """A private CUPS scheduler; with a queue, a cups-pdf queue as its
    default destination."""

    def __init__(self, with_queue):
        self.root = Path(tempfile.mkdtemp(prefix="zorvane-cups-"))
        os.chmod(self.root, 0o755)  # filters run as the lp user
        for name in ("conf", "spool", "cache", "state", "log", "out", "pdf-spool"):
            (self.root / name).mkdir()
        (self.root / "tmp").mkdir(mode=0o1777)
        os.chmod(self.root / "tmp", 0o1777)
        self.port = free_port()
        self.address = f"127.0.0.1:{self.port}"
        self.queue = None
        self.config_file = None
        self.process = None
        self.log = open(self.root / "log" / "cupsd.out", "wb")
        try:
            self.restart()
            if with_queue:
                self._add_queue()
        except BaseException:
            self.stop()
            raise

    def restart(self, settings=""):
        """Starts the scheduler, ending the one running; `settings` are added to its configuration."""
        self._end()
        self._write_config(settings)
        self.process = subprocess.Popen(
            ["cupsd", "-f", "-c", str(self.root / "conf" / "cupsd.conf"), "-s", str(self.root / "conf" / "cups-files.conf")],
            stdout=self.log, stderr=subprocess.STDOUT, start_new_session=True,
            preexec_fn=getattr(harness, "end_with_parent", None))
        check(poll(self._running, 20.0), f"the private CUPS scheduler did not start:\n{self.error_log()}")

    def _write_config(self, settings):
        r = self.root
        (r / "conf" / "cupsd.conf").write_text(f"""{settings}
Listen {self.address}
LogLevel info
WebInterface No
Browsing No
BrowseLocalProtocols none
DefaultAuthType None
PreserveJobFiles Yes
PreserveJobHistory Yes
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
""")
        (r / "conf" / "cups-files.conf").write_text(f"""ServerRoot {r}/conf
RequestRoot {r}/spool
CacheDir {r}/cache
StateDir {r}/state
TempDir {r}/tmp
AccessLog {r}/log/access_log
ErrorLog {r}/log/error_log
PageLog {r}/log/page_log
Printcap {r}/state/printcap
SystemGroup root
FileDevice No
Sandboxing Relaxed
""")

    def env(self):
        return {**os.environ, "CUPS_SERVER": self.address}

    def _running(self):
        if self.process.poll() is not None:
            raise Failure(f"cupsd ended with status {self.process.returncode}:\n{self.error_log()}")
        result = subprocess.run(["lpstat", "-r"], env=self.env(), capture_output=True, text=True)
        return "is running" in result.stdout

    def _add_queue(self):
        self.queue = f"zorvane-e2e-{os.getpid()}-{self.port}"
        # cups-pdf reads its settings for the queue from /etc/cups/cups-pdf-<name>.conf.
        self.config_file = CUPS_PDF_CONFIG_DIR / f"cups-pdf-{self.queue}.conf"
        self.config_file.write_text(f"""Out {self.root}/out
AnonDirName {self.root}/out
Spool {self.root}/pdf-spool
Log {self.root}/log
Grp root
""")
        env = self.env()
        run("lpadmin", "-p", self.queue, "-E", "-v", f"cups-pdf:/{self.queue}", "-P", PPD, env=env)
        run("lpadmin", "-d", self.queue, env=env)
        default = run("lpstat", "-d", env=env)
        check(self.queue in default, f"the queue is not the default destination: {default.strip()}")

    def outputs(self):
        return sorted((self.root / "out").glob("*.pdf"))

    def submitted(self):
        """The documents that programs sent, as the scheduler keeps them."""
        return sorted((self.root / "spool").glob("d*-001"))

    def pending_jobs(self):
        return run("lpstat", "-o", env=self.env()).strip()

    def wait_for_output(self, count):
        """Waits until `count` PDFs are written and no job is left."""
        def done():
            if self.pending_jobs():
                return None
            files = self.outputs()
            return files if len(files) >= count else None

        files = poll(done, JOB_TIMEOUT, interval=0.2)
        if not files:
            raise Failure(f"{len(self.outputs())} PDFs after {JOB_TIMEOUT:.0f} s, wanted {count}; "
                          f"jobs left: {self.pending_jobs() or 'none'}\n{self.error_log()}")
        return files

    def error_log(self):
        try:
            lines = (self.root / "log" / "error_log").read_text(errors="replace").splitlines()
        except OSError:
            return "(no scheduler log)"
        return "\n".join(lines[-30:])

    def stop(self):
        self._end()
        self.log.close()
        if self.config_file:
            self.config_file.unlink(missing_ok=True)
        shutil.rmtree(self.root, ignore_errors=True)

    def _end(self):
        if self.process and self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGCONT)
            os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()


def launch_with(session, server):
    """Starts the program with `server` as its print system (None: a port
    where no scheduler listens)."""
    saved = os.environ.get("CUPS_SERVER")
    os.environ["CUPS_SERVER"] = server.address if server else f"127.0.0.1:{free_port()}"
    try:
        return session.launch()
    finally:
        if saved is None:
            del os.environ["CUPS_SERVER"]
        else:
            os.environ["CUPS_SERVER"] = saved


# --- reading the documents ---

def page_count_and_size(pdf):
    info = run("pdfinfo", pdf)
    pages = int(re.search(r"^Pages:\s+(\d+)", info, re.M).group(1))
    w, h = re.search(r"^Page size:\s+([\d.]+) x ([\d.]+) pts", info, re.M).groups()
    return pages, (float(w), float(h))


def _objects(data):
    return {int(m.group(1)): m.group(2)
            for m in re.finditer(rb"(\d+) 0 obj(.*?)endobj", data, re.S)}


def _stream(body):
    m = re.search(rb"stream\r?\n", body)
    raw = body[m.end():body.rfind(b"endstream")]
    return zlib.decompress(raw) if b"/FlateDecode" in body[:m.start()] else raw


def _multiply(a, b):
    """a x b for PDF matrices [a b c d e f]."""
    return [a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3],
            a[2] * b[0] + a[3] * b[2], a[2] * b[1] + a[3] * b[3],
            a[4] * b[0] + a[5] * b[2] + b[4], a[4] * b[1] + a[5] * b[3] + b[5]]


def image_placements(pdf):
    """Where a one-page PDF draws its images: (name, width, height) in pixels
    with the box (left, top, right, bottom) in points from the page's
    top-left corner, for every image the page's content paints."""
    data = Path(pdf).read_bytes()
    objects = _objects(data)
    pages = [body for body in objects.values() if re.search(rb"/Type\s*/Page\b", body)]
    check(len(pages) == 1, f"{pdf} has {len(pages)} page objects")
    page = pages[0]
    box = [float(v) for v in re.search(rb"/MediaBox\s*\[([^\]]*)\]", page).group(1).split()]
    page_height = box[3] - box[1]
    contents = re.search(rb"/Contents\s+(\d+) 0 R", page)
    content = _stream(objects[int(contents.group(1))])
    resources = page
    if m := re.search(rb"/Resources\s+(\d+) 0 R", page):
        resources = objects[int(m.group(1))]
    names = {}
    if m := re.search(rb"/XObject\s*<<(.*?)>>", resources, re.S):
        names = {n: int(o) for n, o in re.findall(rb"/(\S+?)\s+(\d+) 0 R", m.group(1))}
    elif m := re.search(rb"/XObject\s+(\d+) 0 R", resources):
        names = {n: int(o) for n, o in re.findall(rb"/(\S+?)\s+(\d+) 0 R", objects[int(m.group(1))])}

    placements = []
    ctm, stack, operands = [1, 0, 0, 1, 0, 0], [], []
    for token in re.findall(rb"/[^\s/\[\]()<>]+|[-+]?(?:\d+\.?\d*|\.\d+)|[A-Za-z'\"*]+", content):
        if token[0:1] == b"/":
            operands.append(token[1:])
        elif re.fullmatch(rb"[-+]?(?:\d+\.?\d*|\.\d+)", token):
            operands.append(float(token))
        else:
            if token == b"q":
                stack.append(ctm)
            elif token == b"Q":
                ctm = stack.pop() if stack else [1, 0, 0, 1, 0, 0]
            elif token == b"cm":
                ctm = _multiply([float(v) for v in operands[-6:]], ctm)
            elif token == b"Do":
                name = operands[-1]
                body = objects.get(names.get(name, -1), b"")
                if re.search(rb"/Subtype\s*/Image", body):
                    w = int(re.search(rb"/Width\s+(\d+)", body).group(1))
                    h = int(re.search(rb"/Height\s+(\d+)", body).group(1))
                    corners = [(ctm[0] * x + ctm[2] * y + ctm[4], ctm[1] * x + ctm[3] * y + ctm[5])
                               for x, y in ((0, 0), (1, 0), (0, 1), (1, 1))]
                    xs, ys = [c[0] for c in corners], [c[1] for c in corners]
                    placements.append((name.decode(), w, h,
                                       (min(xs) - box[0], page_height - (max(ys) - box[1]),
                                        max(xs) - box[0], page_height - (min(ys) - box[1]))))
            operands = []
    return (box[2] - box[0], page_height), placements


def rasterise(pdf, workdir):
    prefix = workdir / f"raster-{Path(pdf).stem}"
    run("pdftoppm", "-r", RASTER_DPI, "-png", "-singlefile", pdf, prefix)
    return Image.open(f"{prefix}.png").convert("RGB")


def ink_box(image):
    """The box of everything on the sheet that is not blank paper."""
    grey = ImageChops.invert(image).convert("L").point(lambda v: 255 if v > 24 else 0)
    return grey.getbbox()


def compare(raster, box, shot):
    """A tolerant measure of likeness: each pixel of the screenshot against
    the printed sheet at the middle of that pixel's cell, where the scaling
    leaves its colour alone. Gives the mean difference per channel and the
    share of pixels off by more than a visible step."""
    left, top, right, bottom = box
    cell_w, cell_h = (right - left) / shot.width, (bottom - top) / shot.height
    printed = raster.load()
    wanted = shot.load()
    total, strong = 0, 0
    for y in range(shot.height):
        py = int(top + (y + 0.5) * cell_h)
        for x in range(shot.width):
            got = printed[int(left + (x + 0.5) * cell_w), py]
            want = wanted[x, y]
            d = (abs(got[0] - want[0]), abs(got[1] - want[1]), abs(got[2] - want[2]))
            total += d[0] + d[1] + d[2]
            strong += max(d) > 48
    count = shot.width * shot.height
    return total / (3 * count), strong / count


# --- checking one print ---

def check_printed(session, server, shot, document, output, what):
    description = QueueDescription(PPD)
    tolerance = 72.0 / description.finest_dpi  # one device pixel at most

    # The document the program sent: one landscape page, the client area's
    # pixels drawn at the printable area's top-left corner, as large as fits.
    page, placements = image_placements(document)
    check(page[0] > page[1], f"{what}: the page sent is {page[0]:.1f} x {page[1]:.1f} pt, not landscape")
    check(len(placements) == 1, f"{what}: the page paints {len(placements)} images, expected one")
    _, pw, ph, (left, top, right, bottom) = placements[0]
    check((pw, ph) == (expected.WIDTH, expected.HEIGHT),
          f"{what}: the picture sent is {pw} x {ph} pixels, expected the client area's "
          f"{expected.WIDTH} x {expected.HEIGHT}")
    area = description.landscape_printable()
    check(abs(left - area[0]) <= tolerance and abs(top - area[1]) <= tolerance,
          f"{what}: the picture starts at ({left:.3f}, {top:.3f}) pt, the printable area at "
          f"({area[0]:.3f}, {area[1]:.3f})")
    width, height = right - left, bottom - top
    check(right <= area[2] + tolerance and bottom <= area[3] + tolerance,
          f"{what}: the picture ({width:.3f} x {height:.3f} pt) overruns the printable area")
    check(abs(right - area[2]) <= tolerance or abs(bottom - area[3]) <= tolerance,
          f"{what}: the picture ({width:.3f} x {height:.3f} pt) could be larger: the printable area "
          f"is {area[2] - area[0]:.3f} x {area[3] - area[1]:.3f} pt")
    check(abs(height - width / CLIENT_RATIO) <= tolerance,
          f"{what}: the picture is {width:.3f} x {height:.3f} pt; the client area's proportions give "
          f"a height of {width / CLIENT_RATIO:.3f}")

    # What the queue made of it: one sheet, which shows that page.
    pages, sheet = page_count_and_size(output)
    check(pages == 1, f"{what}: the PDF written has {pages} pages")
    raster = rasterise(output, session.workdir)
    if sheet[0] < sheet[1]:
        # A portrait sheet carries the landscape page turned by the queue's rule.
        raster = raster.rotate(90 if description.landscape_turn == "Minus90" else -90, expand=True)
    scale = RASTER_DPI / 72.0
    ink = ink_box(raster)
    check(ink is not None, f"{what}: the printed sheet is blank")
    want = (left * scale, top * scale, right * scale, bottom * scale)
    off = max(abs(a - b) for a, b in zip(ink, want))
    check(off <= 2.0, f"{what}: the ink on the sheet lies at {ink} (pixels at {RASTER_DPI} dpi), "
                      f"expected {tuple(round(v, 1) for v in want)}")
    mean, share = compare(raster, want, shot)
    if mean > 3.0 or share > 0.005:
        printed = raster.crop(tuple(round(v) for v in want)).resize(shot.size, Image.BOX)
        paths = session.save_images(what, printed, shot)
        raise Failure(f"{what}: the printed picture differs from the screenshot: mean difference "
                      f"{mean:.2f} per channel, {share:.2%} of pixels off by more than 48 (saved {paths})")


def check_clipboard_holds(session, app, shot):
    if shutil.which("xclip") is None:
        return
    env = {**os.environ, "DISPLAY": session.server.display}
    result = subprocess.run(["xclip", "-selection", "clipboard", "-t", "image/png", "-o"], env=env,
                            capture_output=True, timeout=30)
    check(result.returncode == 0 and result.stdout, "the clipboard holds no image after printing")
    pasted = Image.open(io.BytesIO(result.stdout)).convert("RGB")
    detail = expected.differences(pasted, shot)
    check(detail is None, f"the clipboard does not hold the client area:\n{detail}")


def new_top_levels(app, before):
    return app._viewable_top_levels() - before - {app.window}


def draw_something(app):
    board = Board(app)
    board.key(expected.RED)
    for index in (0, 27, 100, 420, 447):
        board.click_socket(index)
    board.key(expected.YELLOW)
    for index in range(200, 210):
        board.click_socket(index)
    board.check("placing bulbs before printing")
    return board


def print_and_check(session, server, app, press, what, count, clipboard=True):
    shot = app.screenshot()
    before = app._viewable_top_levels()
    press()
    outputs = server.wait_for_output(count)
    check(len(outputs) == count, f"{what}: {len(outputs)} PDFs written, expected {count}")
    documents = server.submitted()
    check(len(documents) == count, f"{what}: {len(documents)} documents sent, expected {count}")
    extra = new_top_levels(app, before)
    check(not extra, f"{what}: a window opened: {app.tree()}")
    check(app.process.poll() is None, f"{what}: the program ended")
    newest_output = max(outputs, key=lambda p: p.stat().st_mtime_ns)
    check_printed(session, server, shot, documents[-1], newest_output, what)
    if clipboard:
        check_clipboard_holds(session, app, shot)


# --- the tests ---

def test_ctrl_p_prints_the_client_area_on_one_landscape_page(session):
    # Also beside a clipboard manager, which takes the capture over as text
    # only: the page still comes from the program's own hand-over.
    for with_manager in (False, True):
        server = PrintServer(with_queue=True)
        app = manager = None
        try:
            app = launch_with(session, server)
            draw_something(app)
            manager = start_clipboard_manager(app) if with_manager else None
            print_and_check(session, server, app, lambda: app.key("ctrl+p"), "Ctrl+P", 1, clipboard=not with_manager)
        finally:
            if manager:
                manager.kill()
            if app:
                app.stop()
            server.stop()


def test_file_print_by_access_letters_and_again_makes_two_documents(session):
    server = PrintServer(with_queue=True)
    try:
        app = launch_with(session, server)
        board = draw_something(app)
        print_and_check(session, server, app, lambda: app.menu("alt+f", "p"), "File > Print", 1)
        board.key(expected.GREEN)
        board.click_socket(300)
        board.check("a bulb after the first print")
        print_and_check(session, server, app, lambda: app.key("ctrl+p"), "the second print", 2)
    finally:
        server.stop()


def _dismiss_message(session, app, what, while_waiting=None):
    before = app._viewable_top_levels()
    app.key("ctrl+p")
    if while_waiting:
        while_waiting(before)
    boxes = poll(lambda: new_top_levels(app, before), harness.SETTLE_TIMEOUT)
    check(boxes, f"{what}: Print showed no message")
    check(app.process.poll() is None, f"{what}: the program ended")
    box = next(iter(boxes))
    harness.xdotool(session.server.display, "windowfocus", "--sync", box)
    harness.xdotool(session.server.display, "key", "Return")
    check(poll(lambda: not (app._viewable_top_levels() & boxes), harness.SETTLE_TIMEOUT),
          f"{what}: the message stayed after Return")


def test_without_a_destination_print_shows_a_message_and_the_program_goes_on(session):
    server = PrintServer(with_queue=False)
    try:
        for what, print_system in (("no queue set up", server), ("no print server", None)):
            app = launch_with(session, print_system)
            board = Board(app)
            board.click_socket(5)
            board.check(f"{what}: a bulb before printing")
            _dismiss_message(session, app, what)
            # The program takes clicks and shows them, the board as it was.
            board.key(expected.PURPLE)
            board.click_socket(6)
            board.check(f"{what}: a bulb after the message")
            check(app.process.poll() is None, f"{what}: the program ended")
            # Nothing was written in place of a print.
            run_dir = Path(app.log_path).parent
            strays = [p for p in run_dir.rglob("*") if p.suffix.lower() in (".pdf", ".ps")]
            check(not strays, f"{what}: files written instead of printing: {strays}")
            check(not server.submitted() and not server.outputs(), f"{what}: a job reached the scheduler")
            session.end_apps()
    finally:
        server.stop()


def test_a_queue_refusing_jobs_shows_a_message_and_the_program_goes_on(session):
    server = PrintServer(with_queue=True)
    try:
        run("cupsreject", server.queue, env=server.env())
        app = launch_with(session, server)
        board = Board(app)
        board.click_socket(40)
        board.check("a bulb before printing")
        shot = app.screenshot()
        _dismiss_message(session, app, "a refused job")
        board.click_socket(41)
        board.check("a bulb after the message")
        check(app.process.poll() is None, "the program ended")
        check(not server.outputs(), "a PDF was written although the queue refuses jobs")
        # The failure came after the hand-over: the capture stays on the clipboard.
        check_clipboard_holds(session, app, shot)
    finally:
        server.stop()


def test_print_queue_faults_leave_the_program_and_the_board_and_a_later_print_works(session):
    """Each fault met while the program runs, then mended. No server, no
    destination and a queue refusing jobs from the program's start are
    test_without_a_destination_print_shows_a_message_and_the_program_goes_on
    and test_a_queue_refusing_jobs_shows_a_message_and_the_program_goes_on;
    here they come later, and go."""
    server = PrintServer(with_queue=True)
    queue = server.queue
    command = lambda *args: lambda: run(*args, env=server.env())  # noqa: E731
    signal_server = lambda number: lambda: os.kill(server.process.pid, number)  # noqa: E731

    def repaints_while_waiting(before):
        time.sleep(0.5)
        session.server.x.pass_over(app.client, *harness.CLIENT_SIZE)
        app.expect(board.cells, "a window passed over it while Print waited", timeout=3.0)
        check(not new_top_levels(app, before), "the window painted only after Print gave up")

    def no_default():
        server._end()
        printers = server.root / "conf" / "printers.conf"
        printers.write_text(printers.read_text().replace("<DefaultPrinter ", "<Printer "))
        server.restart()

    rows = {  # fault, mend, what Print does meanwhile (None: takes the job without a word)
        "no print server": (server._end, server.restart, "message"),
        "no default destination": (no_default, command("lpadmin", "-d", queue), "message"),
        # A disabled queue is a paused printer: the print system holds the job
        # until it is enabled, so Print has nothing to report.
        "the destination disabled": (command("cupsdisable", queue), command("cupsenable", queue), None),
        "the destination refusing jobs": (command("cupsreject", queue), command("cupsaccept", queue), "message"),
        # The scheduler stops reading a request this large, and the job is cancelled.
        "the job cut off by the server": (lambda: server.restart("MaxRequestSize 4k"), server.restart, "message"),
        "the print server stopped": (signal_server(signal.SIGSTOP), signal_server(signal.SIGCONT),
                                     repaints_while_waiting),
    }
    try:
        app = launch_with(session, server)
        board = Board(app)
        run_dir = Path(app.log_path).parent
        printed = 0
        for index, (what, (fault, mend, meanwhile)) in enumerate(rows.items()):
            board.key(expected.PALETTE_ORDER[index])
            board.click_socket(index * 3)
            board.check(f"{what}: a bulb before printing")
            files = set(run_dir.rglob("*"))
            fault()
            if meanwhile:
                _dismiss_message(session, app, what, meanwhile if callable(meanwhile) else None)
            else:
                before = app._viewable_top_levels()
                app.key("ctrl+p")
                check(poll(server.pending_jobs, JOB_TIMEOUT), f"{what}: no job waits in the queue")
                check(not poll(lambda: new_top_levels(app, before), 1.0), f"{what}: Print showed a message")
            board.click_socket(index * 3 + 1)
            board.check(f"{what}: a bulb after printing")
            check(len(server.outputs()) == printed, f"{what}: a PDF was written")
            strays = set(run_dir.rglob("*")) - files - {Path(app.log_path)}
            check(not strays, f"{what}: files written instead of printing: {sorted(strays)}")
            mend()
            printed += 1 if meanwhile else 2  # a held job prints once its queue is enabled
            if not meanwhile:
                server.wait_for_output(printed - 1)
            print_and_check(session, server, app, lambda: app.key("ctrl+p"), f"{what}, mended", printed)
    finally:
        server.stop()


TESTS = [
    test_ctrl_p_prints_the_client_area_on_one_landscape_page,
    test_file_print_by_access_letters_and_again_makes_two_documents,
    test_without_a_destination_print_shows_a_message_and_the_program_goes_on,
    test_a_queue_refusing_jobs_shows_a_message_and_the_program_goes_on,
    test_print_queue_faults_leave_the_program_and_the_board_and_a_later_print_works,
]


def _preflight():
    missing = [tool for tool in ("cupsd", "lpadmin", "lpstat", "cupsreject", "cupsaccept", "cupsdisable",
                                 "cupsenable", "pdfinfo", "pdftoppm")
               if shutil.which(tool) is None]
    if missing:
        return f"missing tools: {', '.join(missing)}"
    if not BACKEND.exists() or not PPD.exists():
        return "cups-pdf (printer-driver-cups-pdf) is not installed"
    if os.geteuid() != 0:
        return "the cups-pdf backend runs only for a root scheduler: run as root"
    return None


if __name__ == "__main__":
    problem = _preflight()
    if problem:
        print(f"FAIL setting up: {problem}")
        print("0 passed, 1 failed")
        sys.exit(1)
    sys.exit(harness.main(TESTS))
