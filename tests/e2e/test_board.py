#!/usr/bin/python3
"""Choosing colours, placing bulbs, erasing and clearing, with real input."""

import random
import sys

import expected
import harness
from board_model import Board
from expected import BLUE, CYAN, GREEN, NONE, ORANGE, PURPLE, RED, WHITE, YELLOW
from harness import check

BULB_CODES = [WHITE, BLUE, CYAN, GREEN, YELLOW, ORANGE, RED, PURPLE]


def fresh_board(session):
    return Board(session.launch())


def test_first_click_places_a_blue_bulb(session):
    board = fresh_board(session)
    board.click_socket(0)
    board.check("the first click")


def test_palette_pictures_choose_their_colours(session):
    board = fresh_board(session)
    sockets = iter([0, 27, 28, 447, 200, 201, 229, 300])
    for code in expected.PALETTE_ORDER:
        board.palette(code)
        board.check(f"clicking the {expected.COLOUR_NAMES[code]} palette picture")  # choosing shows nothing
        board.click_socket(next(sockets))
        board.check(f"placing after the {expected.COLOUR_NAMES[code]} palette picture")
    board.palette(NONE)
    board.click_socket(27)
    board.check("erasing socket 27 after the eraser picture")


def test_function_keys_choose_their_colours(session):
    board = fresh_board(session)
    for code in BULB_CODES:
        board.key(code)
        board.click_socket(30 + 2 * code)
        board.check(f"{expected.COLOUR_KEYS[code]} then a socket")
    board.key(NONE)
    board.click_socket(30 + 2 * RED)
    board.check("F9 then a socket")


def test_menu_access_letters_choose_their_colours(session):
    board = fresh_board(session)
    for code in BULB_CODES:
        board.menu(code)
        board.click_socket(60 + 3 * code)
        board.check(f"Bulb Color > {expected.COLOUR_NAMES[code]} by its letter, then a socket")
    board.menu(NONE)
    board.click_socket(60 + 3 * GREEN)
    board.check("Bulb Color > None by its letter, then a socket")


def test_corner_sockets_are_reached_at_their_outermost_pixels(session):
    board = fresh_board(session)
    board.key(RED)
    board.click_socket(0, at=(20, 20))
    board.key(GREEN)
    board.click_socket(27, at=(580, 20))
    board.key(YELLOW)
    board.click_socket(28, at=(20, 40))
    board.key(CYAN)
    board.click_socket(420, at=(20, 340))
    board.key(PURPLE)
    board.click_socket(447, at=(580, 340))
    board.check("sockets 0, 27, 28, 420 and 447")


def test_shared_pixels_belong_to_the_higher_index(session):
    board = fresh_board(session)
    board.key(RED)
    board.click_socket(1, at=(40, 30))   # column shared by sockets 0 and 1
    board.check("a click on the column shared by sockets 0 and 1")
    board.key(GREEN)
    board.click_socket(28, at=(30, 40))  # row shared by sockets 0 and 28
    board.check("a click on the row shared by sockets 0 and 28")
    board.key(YELLOW)
    board.click_socket(29, at=(40, 40))  # the corner of 0, 1, 28 and 29
    board.check("a click on the pixel shared by sockets 0, 1, 28 and 29")
    board.key(CYAN)
    board.click_socket(0, at=(39, 39))   # the last pixel only socket 0 owns
    board.check("a click on socket 0's last own pixel")
    board.key(PURPLE)
    board.click_socket(447, at=(560, 320))  # shared with 418, 419 and 446
    board.check("a click on socket 447's top-left pixel")


def test_clicks_beside_the_sockets_change_nothing(session):
    board = fresh_board(session)
    board.key(GREEN)
    places = {
        "the frame, top left": (10, 10),
        "the frame, right": (590, 200),
        "the frame, bottom": (300, 350),
        "the label Choose a color:": (40, 369),
        "the strip between the palette and Erase:": (270, 370),
        "the strip right of the clear-screen picture": (500, 370),
        "where none2 lies": (560, 370),
    }
    for what, (x, y) in places.items():
        board.click_nothing(x, y)
        board.check(f"a click on {what}")
    board.click_socket(100)
    board.check("placing after clicks beside the sockets (green stays current)")


def test_erasing_by_picture_label_key_and_menu(session):
    board = fresh_board(session)
    board.key(ORANGE)
    for index in range(140, 148):
        board.click_socket(index)
    board.check("placing orange bulbs")
    erasers = [
        ("the eraser picture", lambda: board.palette(NONE)),
        ("the label Erase:", board.erase_label),
        ("F9", lambda: board.key(NONE)),
        ("Bulb Color > None", lambda: board.menu(NONE)),
    ]
    for number, (what, choose) in enumerate(erasers):
        board.key(ORANGE)
        choose()
        board.click_socket(140 + 2 * number)
        board.check(f"erasing after {what}")
    # An empty socket erased again stays empty.
    board.click_socket(140)
    board.check("erasing an empty socket")


def test_colour_before_the_eraser_is_not_remembered(session):
    board = fresh_board(session)
    board.key(RED)
    board.palette(NONE)
    board.key(YELLOW)
    board.click_socket(50)
    board.check("yellow after red and the eraser")


def test_clearing_by_menu_bar_icon_and_label_keeps_the_colour(session):
    board = fresh_board(session)
    clears = [
        ("the Clear Screen command of the menu bar", board.clear_by_menu_bar),
        ("the clear-screen picture", board.clear_by_icon),
        ("the label Clear Screen:", board.clear_by_label),
    ]
    for number, (what, clear) in enumerate(clears):
        code = [ORANGE, WHITE, PURPLE][number]
        board.key(code)
        for index in (0, 27, 28, 447, 223 + number):
            board.click_socket(index)
        board.check(f"placing before clearing by {what}")
        clear()
        board.check(f"clearing by {what}")
        board.click_socket(300 + number)
        board.check(f"the first click after clearing by {what}")


def test_clearing_keeps_the_eraser(session):
    board = fresh_board(session)
    board.key(CYAN)
    board.click_socket(10)
    board.erase_label()
    board.clear_by_icon()
    board.check("clearing")
    board.click_socket(10)
    board.check("a click after clearing with the eraser chosen")
    board.key(BLUE)
    board.click_socket(11)
    board.check("blue after that")


def test_two_thousand_fast_clicks_all_land(session):
    board = fresh_board(session)
    app = board.app
    rng = random.Random(20240601)
    groups = []
    last = None
    for _ in range(2000):
        if rng.random() < 0.3:
            code = rng.randrange(9)
            groups.append(["key", "--delay", 0, expected.COLOUR_KEYS[code]])
            board.colour = code
        # Now and then the same socket again at once: a quick second click
        # (within the double-click time) must count as a click too.
        if last is not None and rng.random() < 0.05:
            index = last
        else:
            index = rng.randrange(expected.SOCKETS)
        last = index
        x0, y0 = expected.socket_origin(index)
        # Anywhere in the part of the socket that no neighbour covers.
        groups.append(app.click_args(x0 + rng.randrange(20), y0 + rng.randrange(20)))
        board.cells[index] = board.colour
    # Many commands to one xdotool, which sends them back to back; chunks keep
    # the argument lists modest.
    for start in range(0, len(groups), 200):
        app.batch([arg for group in groups[start:start + 200] for arg in group])
    board.app.expect(board.cells, "2,000 clicks", timeout=60)
    check(app.process.poll() is None, "the program ended during the clicks")


TESTS = [
    test_first_click_places_a_blue_bulb,
    test_palette_pictures_choose_their_colours,
    test_function_keys_choose_their_colours,
    test_menu_access_letters_choose_their_colours,
    test_corner_sockets_are_reached_at_their_outermost_pixels,
    test_shared_pixels_belong_to_the_higher_index,
    test_clicks_beside_the_sockets_change_nothing,
    test_erasing_by_picture_label_key_and_menu,
    test_colour_before_the_eraser_is_not_remembered,
    test_clearing_by_menu_bar_icon_and_label_keeps_the_colour,
    test_clearing_keeps_the_eraser,
    test_two_thousand_fast_clicks_all_land,
]

if __name__ == "__main__":
    sys.exit(harness.main(TESTS))
