#!/usr/bin/python3
"""The How To Play and About windows, with real input: opened from the Help
menu and its keys, put away by their OK buttons and close boxes, beside a main
window that goes on working, and the shutdown with them open."""

import sys

from PIL import Image, ImageChops

import expected
import harness
from board_model import Board
from expected import GREEN, RED
from harness import check, poll

HOW_TO_PLAY = "How To Play"
ABOUT = "About Zorvane"
HOW_SIZE = (215, 292)
ABOUT_SIZE = (207, 150)

# With no window manager on the server every window opens at the top left;
# the tests move the help windows beside the main window (600 x 399 there).
PLACES = {HOW_TO_PLAY: (640, 0), ABOUT: (640, 360)}

BLACK, WHITE = (0, 0, 0), (255, 255, 255)
# The test server's desktop has no colour scheme of its own, so the toolkit's
# default one applies: black button text (the ground of How To Play's third
# text and the OK captions) and white selected text (its sixth text).
BUTTON_TEXT = BLACK
SELECTED_TEXT = WHITE

# Boxes in pixels: (x, y, width, height).
HOW_PICTURES = {
    "bulb_green.bmp": (6, 14),
    "bulb_blue.bmp": (6, 49),
    "eraser.bmp": (6, 86),
    "clear_screen.bmp": (6, 128),
}
# Each label with its ground and text colours.
HOW_LABELS = {
    "Label1": ((35, 11, 169, 28), BLACK, WHITE),
    "Label2": ((35, 47, 178, 28), BLACK, WHITE),
    "Label3": ((35, 83, 161, 30), BUTTON_TEXT, WHITE),
    "Label4": ((35, 121, 155, 42), BLACK, WHITE),
    "Label5": ((35, 171, 157, 41), BLACK, WHITE),
    "Label6": ((35, 220, 159, 30), BLACK, SELECTED_TEXT),
}
HOW_BUTTON = ((47, 259, 123, 26), (0, 255, 0))

ABOUT_LABELS = {
    "Label1": ((36, 4, 135, 20), WHITE, BUTTON_TEXT),
    "Label2": ((26, 26, 154, 33), WHITE, BUTTON_TEXT),
    "Label3": ((13, 59, 180, 26), WHITE, BUTTON_TEXT),
}
ABOUT_CENTRED = ("Label1", "Label2")
ABOUT_PICTURE_AT = (139, 83)
ABOUT_BUTTON = ((11, 109, 97, 34), (255, 192, 255))


def _corners(box):
    x, y, w, h = box
    return x, y, x + w, y + h


def _colours(image, box):
    return {c for _, c in image.crop(_corners(box)).getcolors(1 << 16)}


def _ink(image, box, ground):
    """The bounding box (x0, y0, x1, y1), end exclusive and in window
    coordinates, of the pixels in `box` that are not `ground`; None when there
    are none."""
    crop = image.crop(_corners(box))
    found = ImageChops.difference(crop, Image.new("RGB", crop.size, ground)).getbbox()
    if found is None:
        return None
    return box[0] + found[0], box[1] + found[1], box[0] + found[2], box[1] + found[3]


def _compare_outside(shot, want, boxes):
    """Exact comparison everywhere but inside `boxes`."""
    mask = Image.new("L", shot.size, 255)
    for box in boxes:
        mask.paste(0, _corners(box))
    return expected.differences(Image.composite(shot, want, mask), want)


def _label_complaints(shot, labels):
    complaints = []
    for name, (box, ground, text) in labels.items():
        colours = _colours(shot, box)
        if not colours <= {ground, text}:
            complaints.append(f"{name} holds colours {sorted(colours - {ground, text})} besides its ground "
                              f"{ground} and text {text}")
        if ground not in colours:
            complaints.append(f"{name} does not show its ground {ground}")
        if _ink(shot, box, ground) is None:
            complaints.append(f"{name} shows no text")
    return complaints


def _button_complaints(shot, button):
    """Graphical style: the face filled with its colour, the caption centred on
    it in the button-text colour. The edge is the runtime's own."""
    (x, y, w, h), face = button
    inside = (x + 2, y + 2, w - 4, h - 4)
    colours = _colours(shot, inside)
    complaints = []
    if colours != {face, BUTTON_TEXT}:
        complaints.append(f"the OK button's face shows {sorted(colours)}, expected {face} with a caption in "
                          f"{BUTTON_TEXT}")
    caption = _ink(shot, inside, face)
    if caption is None:
        return complaints + ["the OK button shows no caption"]
    left, right = caption[0] - x, x + w - caption[2]
    above, below = caption[1] - y, y + h - caption[3]
    if abs(left - right) > 2 or abs(above - below) > 3:
        complaints.append(f"the OK caption is not centred: margins {left} left, {right} right, "
                          f"{above} above, {below} below")
    return complaints


def how_to_play_base():
    want = Image.new("RGB", HOW_SIZE, BLACK)
    for name, at in HOW_PICTURES.items():
        want.paste(Image.open(expected.PICTURES / name).convert("RGB"), at)
    return want


def about_base():
    want = Image.new("RGB", ABOUT_SIZE, WHITE)
    want.paste(Image.open(expected.PICTURES / "about.bmp").convert("RGB"), ABOUT_PICTURE_AT)
    return want


def how_to_play_complaints(shot):
    """None when the screenshot is the How To Play window's composed client
    area as far as it can be told without the font: the four pictures from the
    stored files, black wherever no control lies, the texts in their colours
    and the button."""
    want = how_to_play_base()
    boxes = [box for box, _, _ in HOW_LABELS.values()] + [HOW_BUTTON[0]]
    complaints = []
    detail = _compare_outside(shot, want, boxes)
    if detail:
        complaints.append("outside the texts and the button:\n" + detail)
    complaints += _label_complaints(shot, HOW_LABELS)
    complaints += _button_complaints(shot, HOW_BUTTON)
    return "\n".join(complaints) or None


def about_complaints(shot):
    """The same for the About window: white ground, the picture cut at the
    client area's right and bottom edges (68 x 67 of its 72 x 72 show) and
    lying under Label3 in their 2-pixel band, the centred version and contact
    lines."""
    picture = Image.open(expected.PICTURES / "about.bmp").convert("RGB")
    want = about_base()
    boxes = [box for box, _, _ in ABOUT_LABELS.values()] + [ABOUT_BUTTON[0]]
    complaints = []
    detail = _compare_outside(shot, want, boxes)
    if detail:
        complaints.append("outside the texts and the button:\n" + detail)

    # Where Label3 lies over the picture only the label shows.
    label_box = ABOUT_LABELS["Label3"][0]
    px, py = ABOUT_PICTURE_AT
    band = (px, py, label_box[0] + label_box[2] - px, label_box[1] + label_box[3] - py)
    from_picture = _colours(picture, (0, 0, band[2], band[3])) - {WHITE, BUTTON_TEXT}
    check(from_picture, "the About picture shows nothing but white in the band under Label3: the test can't "
                        "tell which lies on top")
    leaked = _colours(shot, band) & from_picture
    if leaked:
        complaints.append(f"the picture shows through Label3 in their overlap: {sorted(leaked)}")

    complaints += _label_complaints(shot, ABOUT_LABELS)
    for name in ABOUT_CENTRED:
        box, ground, _ = ABOUT_LABELS[name]
        text = _ink(shot, box, ground)
        if text:
            left, right = text[0] - box[0], box[0] + box[2] - text[2]
            if abs(left - right) > 2:
                complaints.append(f"{name} is not centred: margins {left} and {right}")
    box, ground, _ = ABOUT_LABELS["Label3"]
    text = _ink(shot, box, ground)
    if text and text[0] - box[0] > 2:
        complaints.append(f"Label3 starts {text[0] - box[0]} pixels into its box, not at its left edge")
    complaints += _button_complaints(shot, ABOUT_BUTTON)
    return "\n".join(complaints) or None


PREDICTIONS = {HOW_TO_PLAY: (HOW_SIZE, how_to_play_complaints, how_to_play_base),
               ABOUT: (ABOUT_SIZE, about_complaints, about_base)}
OK_CENTRES = {
    HOW_TO_PLAY: (HOW_BUTTON[0][0] + HOW_BUTTON[0][2] // 2, HOW_BUTTON[0][1] + HOW_BUTTON[0][3] // 2),
    ABOUT: (ABOUT_BUTTON[0][0] + ABOUT_BUTTON[0][2] // 2, ABOUT_BUTTON[0][1] + ABOUT_BUTTON[0][3] // 2),
}
OPEN_KEYS = {HOW_TO_PLAY: "ctrl+h", ABOUT: "ctrl+a"}
MENU_LETTERS = {HOW_TO_PLAY: "h", ABOUT: "a"}


def appeared(app, title):
    """The help window `title`, once it is there, moved to its place."""
    window = app.wait_for_top_level(title, PREDICTIONS[title][0])
    window.move(*PLACES[title])
    return window


def open_by_key(app, title):
    app.key(OPEN_KEYS[title])
    return appeared(app, title)


def open_by_menu(app, title):
    app.menu("alt+h", MENU_LETTERS[title])
    return appeared(app, title)


def check_shows_its_picture(session, window, what):
    _, complain, base = PREDICTIONS[window.title]
    shot, complaint = window.wait_for_picture(complain)
    if complaint:
        # The expected picture shows what can be predicted: the texts' boxes are left out.
        paths = session.save_images(f"{window.title}-{what}", shot, base())
        raise harness.Failure(f"{window.title!r} {what}:\n{complaint}\n(saved {paths})")


def check_still_one(app, window, what):
    """For a moment after `what`: the one window titled as `window`, the same one."""
    def changed():
        return app.top_levels_titled(window.title) != [window.frame]
    check(not poll(changed, 1.0), f"after {what} the windows titled {window.title!r} are "
                                  f"{app.top_levels_titled(window.title)}, not just {window.frame:#x}")


def check_running(app, what):
    check(app.process.poll() is None, f"the program ended after {what}\n{app.log()}")


def test_ctrl_h_opens_how_to_play(session):
    app = session.launch()
    how = open_by_key(app, HOW_TO_PLAY)
    check_shows_its_picture(session, how, "opened by Ctrl+H")
    check_running(app, "Ctrl+H")


def test_help_menu_opens_how_to_play_once(session):
    app = session.launch()
    how = open_by_menu(app, HOW_TO_PLAY)
    check_shows_its_picture(session, how, "opened by Help > How To Play")
    # Shown, and its Help command again: no second window.
    app.menu("alt+h", "h")
    check_still_one(app, how, "Help > How To Play again")
    app.key("ctrl+h")
    check_still_one(app, how, "Ctrl+H again")
    check_shows_its_picture(session, how, "after its Help command again")


def test_ctrl_a_opens_about(session):
    app = session.launch()
    about = open_by_key(app, ABOUT)
    check_shows_its_picture(session, about, "opened by Ctrl+A")
    app.menu("alt+h", "a")
    check_still_one(app, about, "Help > About again")
    check_shows_its_picture(session, about, "after Help > About")


def test_main_window_works_with_both_open(session):
    app = session.launch()
    how = open_by_key(app, HOW_TO_PLAY)
    about = open_by_menu(app, ABOUT)
    board = Board(app)
    board.click_socket(0)
    board.check("a click on socket 0 with both help windows open")
    board.menu(RED)
    board.click_socket(29)
    board.key(GREEN)
    board.click_socket(447)
    board.palette(expected.CYAN)
    board.click_socket(200)
    board.check("Bulb Color > Red, F4 and the cyan bulb with both help windows open")
    board.clear_by_menu_bar()
    board.check("Clear Screen with both help windows open")
    for window in (how, about):
        check(window.viewable(), f"{window.title!r} went away while the main window was used")
        check_shows_its_picture(session, window, "while the main window was used")


def test_ok_buttons_hide_their_windows(session):
    app = session.launch()
    how = open_by_key(app, HOW_TO_PLAY)
    about = open_by_key(app, ABOUT)

    how.click(*OK_CENTRES[HOW_TO_PLAY])
    how.wait_hidden()
    check(about.viewable(), "How To Play's OK button took the About window away too")
    about.key("space")
    about.wait_hidden()
    check_running(app, "the OK buttons")

    # Hidden, not unloaded: the Help commands show the very same windows.
    app.key("ctrl+h")
    how.wait_shown()
    check_still_one(app, how, "Ctrl+H on the hidden window")
    check_shows_its_picture(session, how, "shown again")
    app.menu("alt+h", "a")
    about.wait_shown()
    check_still_one(app, about, "Help > About on the hidden window")
    check_shows_its_picture(session, about, "shown again")

    # The other way round: Return with How To Play active, the mouse on About.
    how.key("Return")
    how.wait_hidden()
    about.click(*OK_CENTRES[ABOUT])
    about.wait_hidden()
    check_running(app, "the OK buttons the second time")
    Board(app).check("the OK buttons")


def test_close_box_unloads_and_help_builds_it_again(session):
    app = session.launch()
    for title in (HOW_TO_PLAY, ABOUT):
        first = open_by_key(app, title)
        first.close_box()
        check(poll(lambda: not app.top_levels_titled(title), harness.SETTLE_TIMEOUT),
              f"{title!r} is still there after its close box")
        check(poll(lambda: first.frame not in app.x.children(app.x.root), harness.SETTLE_TIMEOUT),
              f"{title!r} was hidden by its close box, not unloaded")
        check_running(app, f"the close box of {title!r}")
        again = open_by_key(app, title)
        check(again.frame != first.frame, f"{title!r} came back as the same window, not built afresh")
        check_shows_its_picture(session, again, "built again after its close box")
    Board(app).check("closing the help windows")


def _ends_with_both_open(session, end, what):
    app = session.launch()
    open_by_key(app, HOW_TO_PLAY)
    open_by_key(app, ABOUT)
    end(app)
    status = app.wait_exit()
    check(status == 0, f"{what} with both help windows open: exit status {status}\n{app.log()}")
    for title in (harness.TITLE, HOW_TO_PLAY, ABOUT):
        check(not app.top_levels_titled(title), f"{title!r} is still on the screen after {what}")


def test_ctrl_x_with_both_open_ends_with_status_0(session):
    _ends_with_both_open(session, lambda app: app.key("ctrl+x"), "Ctrl+X")


def test_main_close_box_with_both_open_ends_with_status_0(session):
    _ends_with_both_open(session, lambda app: app.close_box(), "the main window's close box")


TESTS = [
    test_ctrl_h_opens_how_to_play,
    test_help_menu_opens_how_to_play_once,
    test_ctrl_a_opens_about,
    test_main_window_works_with_both_open,
    test_ok_buttons_hide_their_windows,
    test_close_box_unloads_and_help_builds_it_again,
    test_ctrl_x_with_both_open_ends_with_status_0,
    test_main_close_box_with_both_open_ends_with_status_0,
]

if __name__ == "__main__":
    sys.exit(harness.main(TESTS))
