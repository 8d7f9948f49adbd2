"""What the reference page (tools/backoffice/page/) looks like on the screen:
its colours from style.css and where its bands lie inside the window, for the
rendering tests and the run command. A rect is (left, top, right, bottom) in
screen pixels, as lumoctl reports the main window."""

from pixels import hex_colour

HEADER_RED = hex_colour("#c62828")
HEADER_HEIGHT = 96
TEXT_WHITE = hex_colour("#ffffff")
BODY_BACKGROUND = hex_colour("#f3f6fa")
BODY_TEXT = hex_colour("#1a2330")
AD_BLUE = hex_colour("#1565c0")
STATUS_DARK = hex_colour("#263238")
STATUS_HEIGHT = 48
ERROR_AMBER = hex_colour("#ffb300")
ERROR_HEIGHT = 44
MAIN_PADDING = 16
SIDE_PADDING = 32
SECTION_TITLE_HEIGHT = 36
# A 32 px sale line with its padding and border takes about 59 px.
SALE_LINES_HEIGHT = 180
PAY_LINE_HEIGHT = 40
# A row of pixels belongs to a line of text when it has this many text pixels.
TEXT_ROW_PIXELS = 3
# Anti-aliased glyph edges blend text into the background; this much
# difference per channel still counts as text colour.
TEXT_TOLERANCE = 40


def header_band(rect):
    left, top, right, _ = rect
    return left, top, right, top + HEADER_HEIGHT


def main_end(rect):
    """The main area keeps room for both lower bands: the status band directly
    below it, or the error band and the status band under that once an error shows."""
    return rect[3] - ERROR_HEIGHT - STATUS_HEIGHT


def status_band(rect, error_shown=False):
    top = main_end(rect) + (ERROR_HEIGHT if error_shown else 0)
    return rect[0], top, rect[2], top + STATUS_HEIGHT


def error_band(rect):
    return rect[0], main_end(rect), rect[2], main_end(rect) + ERROR_HEIGHT


def side_column(rect):
    """The right-hand part of the main area, where the advertisement box is."""
    left, top, right, _ = rect
    return left + (right - left) * 3 // 5, top + HEADER_HEIGHT, right, main_end(rect)


def sale_items_area(rect):
    """Where the first three sale lines go: the left part of the main area, under its title."""
    left, top, right, _ = rect
    area_top = top + HEADER_HEIGHT + MAIN_PADDING + SECTION_TITLE_HEIGHT
    return left + SIDE_PADDING, area_top, left + (right - left) // 2, area_top + SALE_LINES_HEIGHT


def sale_pay_area(rect):
    """The paid and change line at the foot of the sale column."""
    left, _, right, _ = rect
    bottom = main_end(rect) - MAIN_PADDING
    return left + SIDE_PADDING, bottom - PAY_LINE_HEIGHT, left + (right - left) * 3 // 5, bottom


def shows_page(screen, rect):
    """True when the screen holds the page's header, status band and
    background inside the window's rectangle."""
    return (screen.share(HEADER_RED, header_band(rect)) > 0.6
            and screen.share(STATUS_DARK, status_band(rect)) > 0.6
            and screen.share(BODY_BACKGROUND, rect) > 0.3)


def text_share(screen, area):
    """The fraction of the area covered by the page's body text colour."""
    return screen.share(BODY_TEXT, area, tolerance=TEXT_TOLERANCE)


def text_lines(screen, area):
    """The number of separate lines of body text in the area: runs of pixel
    rows that hold text, the gaps between lines having none."""
    left, top, right, bottom = screen.clip(area)
    lines, in_line = 0, False
    for y in range(top, bottom):
        row = (left, y, right, y + 1)
        has_text = text_share(screen, row) * (right - left) >= TEXT_ROW_PIXELS
        lines += has_text and not in_line
        in_line = has_text
    return lines
