#!/usr/bin/env python3
"""Native sender for the PackClient benchmark: listens on 127.0.0.1, prints
"port N", and on the first connection sends COUNT pack-framed bodies of SIZE
bytes as fast as the socket takes them, then waits for the client to close."""
import socket
import struct
import sys


def main():
    count, size = int(sys.argv[1]), int(sys.argv[2])
    frame = struct.pack("<I", size) + bytes(size)
    batch = max(1, (1 << 20) // len(frame))
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    print("port", listener.getsockname()[1], flush=True)
    conn, _ = listener.accept()
    sent = 0
    while sent < count:
        n = min(batch, count - sent)
        conn.sendall(frame * n)
        sent += n
    conn.settimeout(120)
    try:
        while conn.recv(65536):
            pass
    except OSError:
        pass


if __name__ == "__main__":
    main()
