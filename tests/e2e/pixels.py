"""Pixels of the virtual display: one capture of the whole screen as RGB bytes,
with the colour checks the rendering tests and the run command need. The
capture comes as a binary PPM from ImageMagick's `import` (no image library
needed); `save_png` writes the same pixels as a PNG for people to look at."""

import struct
import subprocess
import zlib
from pathlib import Path

CAPTURE_TIMEOUT_SECONDS = 30
# Colour channels may differ this much from the page's CSS colour and still
# count as that colour (the layered window's alpha blending rounds).
COLOUR_TOLERANCE = 6


def hex_colour(text):
    """(r, g, b) of a CSS colour written as #rrggbb."""
    text = text.lstrip("#")
    return tuple(int(text[i:i + 2], 16) for i in (0, 2, 4))


def close(a, b, tolerance=COLOUR_TOLERANCE):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


class Screen:
    """One capture: width, height and rows of RGB bytes."""

    def __init__(self, width, height, rgb):
        if len(rgb) != width * height * 3:
            raise ValueError("capture holds %d bytes for %dx%d" % (len(rgb), width, height))
        self.width, self.height, self.rgb = width, height, rgb

    def pixel(self, x, y):
        if not (0 <= x < self.width and 0 <= y < self.height):
            raise IndexError("(%d, %d) is outside the %dx%d screen" % (x, y, self.width, self.height))
        at = (y * self.width + x) * 3
        return tuple(self.rgb[at:at + 3])

    def clip(self, rect):
        """(left, top, right, bottom) cut to the screen."""
        left, top, right, bottom = rect
        return max(0, left), max(0, top), min(self.width, right), min(self.height, bottom)

    def share(self, colour, rect, tolerance=COLOUR_TOLERANCE):
        """The fraction of the pixels in rect that have `colour`."""
        left, top, right, bottom = self.clip(rect)
        total = max(0, right - left) * max(0, bottom - top)
        if total == 0:
            return 0.0
        hits = 0
        for y in range(top, bottom):
            row = self.rgb[(y * self.width + left) * 3:(y * self.width + right) * 3]
            hits += sum(1 for i in range(0, len(row), 3) if close(row[i:i + 3], colour, tolerance))
        return hits / total

    def region(self, rect):
        """The bytes of rect, row by row, for comparing two captures."""
        left, top, right, bottom = self.clip(rect)
        return b"".join(self.rgb[(y * self.width + left) * 3:(y * self.width + right) * 3]
                        for y in range(top, bottom))

    def save_png(self, path):
        """Writes the capture as an 8-bit RGB PNG."""
        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
        stride = self.width * 3
        raw = b"".join(b"\0" + self.rgb[y * stride:(y + 1) * stride] for y in range(self.height))
        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)
        data = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 6))
                + chunk(b"IEND", b""))
        Path(path).write_bytes(data)
        return Path(path)


def parse_ppm(data):
    """A binary PPM (P6, 8 bits a channel) as a Screen."""
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at) + 1
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise ValueError("not an 8-bit binary PPM: %r" % fields)
    width, height = int(fields[1]), int(fields[2])
    return Screen(width, height, data[at + 1:at + 1 + width * height * 3])


def capture(env, png_path=None):
    """The whole display now; also saved as png_path when given."""
    done = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], env=env,
                          capture_output=True, check=True, timeout=CAPTURE_TIMEOUT_SECONDS)
    screen = parse_ppm(done.stdout)
    if png_path:
        screen.save_png(png_path)
    return screen
