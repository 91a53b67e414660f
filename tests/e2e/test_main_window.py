#!/usr/bin/python3
"""The main window opens as described and ends the program cleanly."""

import sys

from PIL import Image

import expected
import harness
from board_model import Board
from harness import check


def test_opens_with_the_empty_board(session):
    # launch() already found the window by its title and a client area of
    # 600x380, and waited for the empty board to show.
    app = session.launch()
    app.expect(expected.empty_board(), "start")
    check(app.process.poll() is None, "the program ended by itself")


def test_window_icon_is_the_stored_icon(session):
    app = session.launch()
    icon = app.icon()
    check(icon is not None, "the window has no 32x32 icon in _NET_WM_ICON")
    stored = Image.open(expected.PICTURES / "icon.ico").convert("RGBA")
    detail = expected.differences(icon.convert("RGB"), stored.convert("RGB"))
    check(detail is None, f"the window icon differs from pictures/icon.ico:\n{detail}")


def test_ctrl_x_ends_with_status_0(session):
    app = session.launch()
    app.key("ctrl+x")
    status = app.wait_exit()
    check(status == 0, f"exit status {status}\n{app.log()}")
    check(app.window_gone(), "the window is still there")


def test_file_exit_through_the_menu_ends_with_status_0(session):
    app = session.launch()
    app.menu("alt+f", "e")
    status = app.wait_exit()
    check(status == 0, f"exit status {status}\n{app.log()}")


def test_close_box_ends_with_status_0(session):
    app = session.launch()
    app.close_box()
    status = app.wait_exit()
    check(status == 0, f"exit status {status}\n{app.log()}")
    check(app.window_gone(), "the window is still there")


def test_close_box_with_bulbs_placed_asks_nothing(session):
    app = session.launch()
    board = Board(app)
    for index in (0, 100, 447):
        board.click_socket(index)
    board.key(expected.RED)
    board.click_socket(200)
    board.check("placing bulbs")
    app.close_box()
    status = app.wait_exit()
    check(status == 0, f"exit status {status}\n{app.log()}")


def test_next_start_shows_an_empty_board_again(session):
    app = session.launch()
    board = Board(app)
    board.key(expected.GREEN)
    for index in (5, 6, 7):
        board.click_socket(index)
    board.check("placing bulbs")
    app.key("ctrl+x")
    check(app.wait_exit() == 0, "first run did not end with status 0")
    # launch() waits for the empty board; a blue bulb shows that Blue is
    # current again.
    again = session.launch()
    board = Board(again)
    board.click_socket(5)
    board.check("the first click of the second run")


TESTS = [
    test_opens_with_the_empty_board,
    test_window_icon_is_the_stored_icon,
    test_ctrl_x_ends_with_status_0,
    test_file_exit_through_the_menu_ends_with_status_0,
    test_close_box_ends_with_status_0,
    test_close_box_with_bulbs_placed_asks_nothing,
    test_next_start_shows_an_empty_board_again,
]

if __name__ == "__main__":
    sys.exit(harness.main(TESTS))
