"""The main window's client area as it should look, built from the stored
picture files and the board rule alone, never from the program's own drawing.

Label text can't be predicted pixel for pixel (it depends on the font
rasteriser), so the label boxes are taken from a screenshot of the fresh
window instead; see `Expectation`.
"""

from pathlib import Path

from PIL import Image, ImageChops

PICTURES = Path(__file__).resolve().parent.parent.parent / "pictures"

WIDTH, HEIGHT = 600, 380
COLUMNS, ROWS = 28, 16
SOCKETS = COLUMNS * ROWS

# Colour codes, as the menu lists them.
WHITE, BLUE, CYAN, GREEN, YELLOW, ORANGE, RED, PURPLE, NONE = range(9)
COLOUR_NAMES = ["white", "blue", "cyan", "green", "yellow", "orange", "red", "purple", "none"]
# F1..F9 choose the codes 0..8; the access letters of the "Bulb Color" entries.
COLOUR_KEYS = [f"F{code + 1}" for code in range(9)]
COLOUR_LETTERS = ["w", "b", "c", "g", "y", "o", "r", "p", "n"]

# Palette strip, left to right: codes 1..7 then 0, 20 pixels apart from x=100.
PALETTE_ORDER = [BLUE, CYAN, GREEN, YELLOW, ORANGE, RED, PURPLE, WHITE]
PALETTE_X = {code: 100 + 20 * slot for slot, code in enumerate(PALETTE_ORDER)}
STRIP_Y = 360
ERASER_AT = (320, 360)
CLEAR_SCREEN_AT = (433, 360)  # 6500 twips is 433 1/3 pixels
NONE2_AT = (550, 360)

# Label boxes (x0, y0, x1, y1), end exclusive, rounded outwards from twips and
# cut at the client area's bottom edge.
LABEL_BOXES = {
    "Label1": (18, 362, 99, 378),    # "Choose a color:"
    "Label2": (282, 362, 323, 380),  # "Erase:"
    "Label3": (360, 362, 441, 380),  # "Clear Screen:"
}


def _load(name):
    return Image.open(PICTURES / name).convert("RGB")


class Pictures:
    def __init__(self):
        self.background = _load("background.bmp")
        self.empty = _load("empty_socket.bmp")
        self.eraser = _load("eraser.bmp")
        self.clear_screen = _load("clear_screen.bmp")
        self.bulbs = {code: _load(f"bulb_{COLOUR_NAMES[code]}.bmp") for code in range(8)}

    def for_code(self, code):
        return self.empty if code == NONE else self.bulbs[code]


_pictures = None


def pictures():
    global _pictures
    if _pictures is None:
        _pictures = Pictures()
    return _pictures


def socket_origin(index):
    return 20 + 20 * (index % COLUMNS), 20 + 20 * (index // COLUMNS)


def socket_centre(index):
    x, y = socket_origin(index)
    return x + 10, y + 10


def socket_at(x, y):
    """The socket that owns client pixel (x, y) by the board rule (the higher
    index wins on shared pixels), or None."""
    if not (20 <= x <= 580 and 20 <= y <= 340):
        return None
    column = min((x - 20) // 20, COLUMNS - 1)
    row = min((y - 20) // 20, ROWS - 1)
    return row * COLUMNS + column


def build(board, show_none2=False):
    """The client area for `board`: a list of 448 colour codes, NONE for an
    empty socket."""
    assert len(board) == SOCKETS
    p = pictures()
    image = Image.new("RGB", (WIDTH, HEIGHT), (0, 0, 0))
    image.paste(p.background, (0, 0))
    for index, code in enumerate(board):
        # Lower indices first, so each socket covers its left and upper
        # neighbour's shared pixel. A 20x20 bulb leaves the socket's last column
        # and row to whatever lies beneath.
        image.paste(p.for_code(code), socket_origin(index))
    for code, x in PALETTE_X.items():
        image.paste(p.bulbs[code], (x, STRIP_Y))
    image.paste(p.eraser, ERASER_AT)
    image.paste(p.clear_screen, CLEAR_SCREEN_AT)
    if show_none2:
        image.paste(p.empty, NONE2_AT)
    return image


def _picture_boxes():
    boxes = [(x, STRIP_Y, x + 20, STRIP_Y + 20) for x in PALETTE_X.values()]
    boxes.append((*ERASER_AT, ERASER_AT[0] + 20, ERASER_AT[1] + 20))
    boxes.append((*CLEAR_SCREEN_AT, CLEAR_SCREEN_AT[0] + 20, CLEAR_SCREEN_AT[1] + 20))
    return boxes


def label_mask():
    """White where only a label decides the pixel: its box, less the pictures
    that lie on top of it."""
    mask = Image.new("L", (WIDTH, HEIGHT), 0)
    for box in LABEL_BOXES.values():
        mask.paste(255, box)
    for box in _picture_boxes():
        mask.paste(0, box)
    return mask


class Expectation:
    """Expected pictures for one run of the program: the built picture, with
    the label pixels of that run's first screenshot."""

    def __init__(self, first_screenshot):
        self.mask = label_mask()
        self.labels = first_screenshot.convert("RGB")
        # none2 may be hidden or shown inert; whichever the fresh window shows
        # must then hold for the whole run.
        x, y = NONE2_AT
        region = first_screenshot.crop((x, y, x + 21, HEIGHT))
        self.show_none2 = region.tobytes() == pictures().empty.crop((0, 0, 21, HEIGHT - y)).tobytes()

    def picture(self, board):
        image = build(board, self.show_none2)
        image.paste(self.labels, (0, 0), self.mask)
        return image


def empty_board():
    return [NONE] * SOCKETS


def differences(got, want, limit=8):
    """None when equal; otherwise a short account of where they differ."""
    got = got.convert("RGB")
    want = want.convert("RGB")
    if got.size != want.size:
        return f"size {got.size[0]}x{got.size[1]}, expected {want.size[0]}x{want.size[1]}"
    diff = ImageChops.difference(got, want)
    box = diff.getbbox()
    if box is None:
        return None
    g, w = got.load(), want.load()
    pixels = [(x, y) for y in range(box[1], box[3]) for x in range(box[0], box[2]) if g[x, y] != w[x, y]]
    sockets = sorted({s for s in (socket_at(x, y) for x, y in pixels) if s is not None})
    lines = [f"{len(pixels)} pixels differ within x {box[0]}..{box[2] - 1}, y {box[1]}..{box[3] - 1}"]
    if sockets:
        shown = ", ".join(map(str, sockets[:20])) + (" ..." if len(sockets) > 20 else "")
        lines.append(f"sockets touched ({len(sockets)}): {shown}")
    for x, y in pixels[:limit]:
        lines.append(f"  ({x}, {y}): got {g[x, y]}, expected {w[x, y]}")
    return "\n".join(lines)
