"""What the board should show, kept alongside the real program: each way of
choosing, placing and clearing drives the program and updates the model."""

import expected


class Board:
    def __init__(self, app):
        self.app = app
        self.cells = expected.empty_board()
        self.colour = expected.BLUE  # current at start

    # Choosing

    def palette(self, code):
        """A click on the palette picture of `code`; for NONE the eraser picture."""
        if code == expected.NONE:
            x, y = expected.ERASER_AT
        else:
            x, y = expected.PALETTE_X[code], expected.STRIP_Y
        self.app.click(x + 10, y + 10)
        self.colour = code

    def erase_label(self):
        # A pixel of "Erase:" that the eraser picture doesn't cover.
        self.app.click(290, 370)
        self.colour = expected.NONE

    def key(self, code):
        self.app.key(expected.COLOUR_KEYS[code])
        self.colour = code

    def menu(self, code):
        self.app.menu("alt+b", expected.COLOUR_LETTERS[code])
        self.colour = code

    # Placing

    def click_socket(self, index, at=None):
        self.app.click(*(at or expected.socket_centre(index)))
        self.cells[index] = self.colour

    def click_nothing(self, x, y):
        """A click where no socket or choosing control lies."""
        self.app.click(x, y)

    # Clearing

    def _cleared(self):
        self.cells = expected.empty_board()

    def clear_by_menu_bar(self):
        self.app.key("alt+c")
        self._cleared()

    def clear_by_icon(self):
        x, y = expected.CLEAR_SCREEN_AT
        self.app.click(x + 10, y + 10)
        self._cleared()

    def clear_by_label(self):
        self.app.click(380, 368)
        self._cleared()

    def check(self, what):
        self.app.expect(self.cells, what)
