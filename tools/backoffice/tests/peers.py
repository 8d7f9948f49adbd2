"""Loopback peers for the tests: a control client and a raw till socket."""

import json
import socket
import struct
import urllib.error
import urllib.request

IO_TIMEOUT = 5.0


class Control:
    def __init__(self, port):
        self.base = "http://127.0.0.1:%d" % port

    def request(self, method, path, body=None, timeout=IO_TIMEOUT):
        """Returns (status, decoded JSON reply)."""
        request = urllib.request.Request(self.base + path, data=body, method=method)
        try:
            with urllib.request.urlopen(request, timeout=timeout) as response:
                return response.status, json.loads(response.read().decode("utf-8"))
        except urllib.error.HTTPError as error:
            return error.code, json.loads(error.read().decode("utf-8"))

    def get(self, path, timeout=IO_TIMEOUT):
        status, reply = self.request("GET", path, timeout=timeout)
        assert status == 200, reply
        return reply

    def post(self, path, body=b"", timeout=IO_TIMEOUT):
        status, reply = self.request("POST", path, body, timeout)
        assert status == 200, reply
        return reply

    def wait(self, what, count, timeout=IO_TIMEOUT):
        return self.get("/wait?what=%s&count=%d&timeout=%s" % (what, count, timeout), timeout + IO_TIMEOUT)


def http_get(port, path, headers=None):
    """Returns (status, headers, body bytes) of a GET on the web port."""
    request = urllib.request.Request("http://127.0.0.1:%d%s" % (port, path), headers=headers or {})
    try:
        with urllib.request.urlopen(request, timeout=IO_TIMEOUT) as response:
            return response.status, response.headers, response.read()
    except urllib.error.HTTPError as error:
        return error.code, error.headers, error.read()


def http_post(port, path, body, content_type="application/json"):
    request = urllib.request.Request("http://127.0.0.1:%d%s" % (port, path), data=body,
                                     headers={"Content-Type": content_type}, method="POST")
    try:
        with urllib.request.urlopen(request, timeout=IO_TIMEOUT) as response:
            return response.status, response.read()
    except urllib.error.HTTPError as error:
        return error.code, error.read()


def frame(body, flag=0):
    """Framing written out independently of the simulator's own encoder."""
    return struct.pack("<I", (flag << 22) | len(body)) + body


class Till:
    """A till's end of the TCP link, reading packs with its own decoder."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=IO_TIMEOUT)
        self._buffer = b""

    def send(self, data):
        self.sock.sendall(data)

    def _read_exact(self, count):
        while len(self._buffer) < count:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise EOFError("connection closed with %d bytes buffered" % len(self._buffer))
            self._buffer += chunk
        data, self._buffer = self._buffer[:count], self._buffer[count:]
        return data

    def read_pack(self):
        (word,) = struct.unpack("<I", self._read_exact(4))
        return word >> 22, self._read_exact(word & 0x3FFFFF)

    def read_raw(self, count):
        return self._read_exact(count)

    def closed_by_peer(self):
        """True when the other end has closed (EOF or reset) within the time-out."""
        try:
            return self.sock.recv(1) == b""
        except ConnectionResetError:
            return True

    def close(self):
        self.sock.close()
