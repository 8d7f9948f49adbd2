"""Pack framing of the till's TCP link.

Every message travels as a 4-byte little-endian header followed by its body.
The low 22 bits of the header hold the body length and the high 10 bits a flag
that both ends agree on (0 unless configured otherwise).
"""

import struct

HEADER_SIZE = 4
LENGTH_BITS = 22
LENGTH_MASK = (1 << LENGTH_BITS) - 1  # 0x3FFFFF, the largest length a header can carry
FLAG_MAX = (1 << (32 - LENGTH_BITS)) - 1  # 0x3FF
# The till refuses bodies above this size, so the simulator refuses them too:
# a peer that accepts more would hide a sender that ignores the limit.
MAX_PACK_SIZE = 0x300000


class FramingError(ValueError):
    """A header that cannot be encoded or must not be accepted."""


def encode_header(length, flag=0):
    if not 0 <= length <= LENGTH_MASK:
        raise FramingError("body length %d does not fit in a header" % length)
    if not 0 <= flag <= FLAG_MAX:
        raise FramingError("flag %d does not fit in a header" % flag)
    return struct.pack("<I", (flag << LENGTH_BITS) | length)


def encode_pack(body, flag=0):
    return encode_header(len(body), flag) + bytes(body)


def decode_header(header):
    (word,) = struct.unpack("<I", header)
    return word >> LENGTH_BITS, word & LENGTH_MASK


class PackDecoder:
    """Turns a byte stream, cut anywhere, back into whole packs.

    feed() returns the (flag, body) pairs completed by the new bytes. A header
    announcing more than max_size bytes sets `error`: the packs before it are
    still returned, nothing after it is decoded, and the caller is expected to
    close the connection since the stream cannot be resynchronised.
    """

    def __init__(self, max_size=MAX_PACK_SIZE):
        self._max_size = max_size
        self._buffer = bytearray()
        self._pending = None  # (flag, length) of a header whose body is incomplete
        self.error = None

    def buffered(self):
        return len(self._buffer)

    def feed(self, data):
        if self.error is not None:
            return []
        self._buffer += data
        packs = []
        while True:
            if self._pending is None:
                if len(self._buffer) < HEADER_SIZE:
                    return packs
                flag, length = decode_header(bytes(self._buffer[:HEADER_SIZE]))
                if length > self._max_size:
                    self.error = "pack of %d bytes exceeds the limit of %d" % (length, self._max_size)
                    return packs
                del self._buffer[:HEADER_SIZE]
                self._pending = (flag, length)
            flag, length = self._pending
            if len(self._buffer) < length:
                return packs
            packs.append((flag, bytes(self._buffer[:length])))
            del self._buffer[:length]
            self._pending = None
