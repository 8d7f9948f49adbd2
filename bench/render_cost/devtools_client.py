"""A minimal DevTools client over a WebSocket (no library needed): commands
with replies, and events handed to a callback on the reader thread."""

import base64
import json
import os
import socket
import struct
import threading
import urllib.request


class DevToolsClient:
    def __init__(self, port):
        targets = json.load(urllib.request.urlopen("http://127.0.0.1:%d/json/list" % port, timeout=10))
        url = next(t["webSocketDebuggerUrl"] for t in targets if t["type"] == "page")
        path = url.split(str(port), 1)[1]
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=30)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall(("GET %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\n"
                           "Connection: Upgrade\r\nSec-WebSocket-Key: %s\r\n"
                           "Sec-WebSocket-Version: 13\r\n\r\n" % (path, port, key)).encode())
        self.buffer = b""
        while b"\r\n\r\n" not in self.buffer:
            self.buffer += self._recv()
        self.buffer = self.buffer.split(b"\r\n\r\n", 1)[1]
        self.sock.settimeout(None)
        self.lock = threading.Lock()
        self.replies = {}
        self.answered = threading.Condition(self.lock)
        self.last_id = 0
        self.on_event = None
        self.reader = threading.Thread(target=self._read_loop, daemon=True)
        self.reader.start()

    def _recv(self):
        data = self.sock.recv(1 << 20)
        if not data:
            raise EOFError("DevTools connection closed")
        return data

    def _need(self, count):
        while len(self.buffer) < count:
            self.buffer += self._recv()

    def _message(self):
        self._need(2)
        length, offset = self.buffer[1] & 127, 2
        if length == 126:
            self._need(4)
            length, offset = struct.unpack(">H", self.buffer[2:4])[0], 4
        elif length == 127:
            self._need(10)
            length, offset = struct.unpack(">Q", self.buffer[2:10])[0], 10
        self._need(offset + length)
        payload = self.buffer[offset:offset + length]
        self.buffer = self.buffer[offset + length:]
        return json.loads(payload)

    def _read_loop(self):
        try:
            while True:
                message = self._message()
                if "id" in message:
                    with self.lock:
                        self.replies[message["id"]] = message
                        self.answered.notify_all()
                elif self.on_event:
                    self.on_event(message.get("method"), message.get("params", {}))
        except (EOFError, OSError, ValueError):
            with self.lock:
                self.replies[None] = True
                self.answered.notify_all()

    def post(self, method, params=None):
        with self.lock:
            self.last_id += 1
            ident = self.last_id
        data = json.dumps({"id": ident, "method": method, "params": params or {}}).encode()
        mask = os.urandom(4)
        header = bytes([0x81])
        if len(data) < 126:
            header += bytes([0x80 | len(data)])
        elif len(data) < 65536:
            header += bytes([0x80 | 126]) + struct.pack(">H", len(data))
        else:
            header += bytes([0x80 | 127]) + struct.pack(">Q", len(data))
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(data))
        with self.lock:
            self.sock.sendall(header + mask + masked)
        return ident

    def call(self, method, params=None, timeout=30):
        ident = self.post(method, params)
        with self.lock:
            self.answered.wait_for(lambda: ident in self.replies or None in self.replies, timeout)
            return self.replies.pop(ident, None)

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass
