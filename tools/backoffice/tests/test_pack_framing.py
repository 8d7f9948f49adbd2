import struct

import pytest

from pack_framing import (FLAG_MAX, LENGTH_MASK, MAX_PACK_SIZE, FramingError, PackDecoder, decode_header,
                          encode_header, encode_pack)


def test_header_is_little_endian_with_flag_in_high_ten_bits():
    assert encode_header(5) == b"\x05\x00\x00\x00"
    assert encode_header(0x123456, flag=1) == struct.pack("<I", 0x00400000 | 0x123456)
    assert encode_header(LENGTH_MASK, flag=FLAG_MAX) == b"\xff\xff\xff\xff"


def test_decode_header_splits_flag_and_length():
    assert decode_header(b"\xff\xff\xff\xff") == (FLAG_MAX, LENGTH_MASK)
    assert decode_header(struct.pack("<I", (7 << 22) | 300)) == (7, 300)


@pytest.mark.parametrize("length,flag", [(-1, 0), (LENGTH_MASK + 1, 0), (1, -1), (1, FLAG_MAX + 1)])
def test_values_that_do_not_fit_are_refused(length, flag):
    with pytest.raises(FramingError):
        encode_header(length, flag)


def test_many_packs_in_one_segment_come_out_in_order():
    bodies = [b"", b"a", "苹果".encode("gbk"), bytes(range(256)) * 3]
    stream = b"".join(encode_pack(b, flag=i) for i, b in enumerate(bodies))
    assert PackDecoder().feed(stream) == [(i, b) for i, b in enumerate(bodies)]


def test_stream_cut_at_every_offset_gives_the_same_packs():
    bodies = [b'{"c":"login"}', b"", b"xyz" * 50]
    stream = b"".join(encode_pack(b) for b in bodies)
    for cut in range(len(stream) + 1):
        decoder = PackDecoder()
        packs = decoder.feed(stream[:cut]) + decoder.feed(stream[cut:])
        assert [body for _, body in packs] == bodies, "cut at %d" % cut
        assert decoder.buffered() == 0


def test_byte_by_byte_feed_completes_each_pack_on_its_last_byte():
    decoder = PackDecoder()
    stream = encode_pack(b"hello") + encode_pack(b"!")
    completed_at = []
    for offset in range(len(stream)):
        if decoder.feed(stream[offset:offset + 1]):
            completed_at.append(offset)
    assert completed_at == [8, 13]


def test_header_above_the_limit_stops_decoding_but_keeps_earlier_packs():
    decoder = PackDecoder(max_size=MAX_PACK_SIZE)
    assert decoder.feed(encode_header(MAX_PACK_SIZE)) == []  # exactly the limit is fine
    assert decoder.error is None
    decoder = PackDecoder()
    stream = encode_pack(b"before") + encode_header(MAX_PACK_SIZE + 1) + encode_pack(b"after")
    assert decoder.feed(stream) == [(0, b"before")]
    assert "exceeds" in decoder.error
    assert decoder.feed(encode_pack(b"later")) == []
