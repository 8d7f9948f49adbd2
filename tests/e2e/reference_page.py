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
# The sale table's head row (its column names, in grey) sits between the
# section title and the first item; it is 5 % of the window's height, an item
# row 7 %, each with a 1 px border (41 and 57 px at 800 px high).
TABLE_HEAD_SHARE = 0.05
SALE_ROW_SHARE = 0.07
SALE_ROWS = 3
PAY_LINE_HEIGHT = 40
# The sale column takes 3/5 of the main area beside the side column, with
# this gap between them.
SALE_SIDE_GAP = 24
# Glyphs of one cell are closer than this; cells of a row are further apart.
COLUMN_GAP = 16
# A row of pixels belongs to a line of text when it has this many text pixels.
TEXT_ROW_PIXELS = 3
# Anti-aliased glyph edges blend text into the background; this much
# difference per channel still counts as text colour.
TEXT_TOLERANCE = 40


def header_band(rect):
    left, top, right, _ = rect
    return left, top, right, top + HEADER_HEIGHT


def main_end(rect, error_shown=False):
    """The page fills the window: the status band is always at the window's
    foot, and the error band, once shown, directly above it; the main area
    ends where the lowest shown band begins."""
    return rect[3] - STATUS_HEIGHT - (ERROR_HEIGHT if error_shown else 0)


def status_band(rect, error_shown=False):
    return rect[0], rect[3] - STATUS_HEIGHT, rect[2], rect[3]


def error_band(rect):
    return rect[0], main_end(rect, True), rect[2], main_end(rect)


def side_column(rect):
    """The right-hand part of the main area, where the advertisement box is."""
    left, top, right, _ = rect
    return left + (right - left) * 3 // 5, top + HEADER_HEIGHT, right, main_end(rect)


def sale_items_area(rect):
    """Where the first three sale rows go: the left part of the main area, under
    its title and the table's head row."""
    left, top, right, bottom = rect
    height = bottom - top
    area_top = (top + HEADER_HEIGHT + MAIN_PADDING + SECTION_TITLE_HEIGHT
                + int(height * TABLE_HEAD_SHARE + 1))
    rows = int(SALE_ROWS * (height * SALE_ROW_SHARE + 1))
    return left + SIDE_PADDING, area_top, left + (right - left) // 2, area_top + rows


def sale_row_area(rect, index):
    """The whole width of the sale column at item row `index` (from 0)."""
    left, top, right, bottom = rect
    row = (bottom - top) * SALE_ROW_SHARE + 1
    area_top = sale_items_area(rect)[1] + int(index * row)
    column_right = left + SIDE_PADDING + (right - left - 2 * SIDE_PADDING - SALE_SIDE_GAP) * 3 // 5
    return left + SIDE_PADDING, area_top, column_right, area_top + int(row)


def text_runs(screen, area, gap=COLUMN_GAP):
    """The (left, right) pixel columns of each run of body text in the area,
    runs being apart by at least `gap` columns without text: the cells of a
    sale row, or the words of a line of running text."""
    left, top, right, bottom = screen.clip(area)
    runs, start, last = [], None, None
    for x in range(left, right):
        if text_share(screen, (x, top, x + 1, bottom)) * (bottom - top) < 1:
            continue
        if start is not None and x - last > gap:
            runs.append((start, last + 1))
            start = None
        if start is None:
            start = x
        last = x
    if start is not None:
        runs.append((start, last + 1))
    return runs


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
