"""The server end of the till's TCP link: accepts tills, records what they
send, pushes packs to them, and can drop them or stop listening on demand."""

import itertools
import os
import select
import socket
import threading

from pack_framing import MAX_PACK_SIZE, PackDecoder, encode_pack

RECV_CHUNK = 65536
# A till that stops reading must not block a push (and the control request
# behind it) for ever; after this many seconds of a full socket it is dropped.
SEND_TIMEOUT_SECONDS = 10.0
# How long drop/stop wait for a reader thread to notice its closed socket.
READER_JOIN_SECONDS = 5.0
LISTEN_BACKLOG = 16


class ClientConnection:
    """One accepted till: a reader thread and a send lock around one socket."""

    def __init__(self, conn_id, sock, service):
        self.conn_id = conn_id
        self._sock = sock
        self._service = service
        self._send_lock = threading.Lock()
        self._closed = threading.Event()
        self.thread = threading.Thread(target=self._read_loop, name="tcp-conn-%d" % conn_id)

    def send(self, data):
        with self._send_lock:
            try:
                self._sock.sendall(data)
                return True
            except OSError:
                return False

    def shutdown(self):
        """Ends both directions; the reader thread then closes the socket."""
        if self._closed.is_set():
            return
        try:
            self._sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    def _read_loop(self):
        decoder = PackDecoder(MAX_PACK_SIZE)
        recorder = self._service.recorder
        try:
            while True:
                try:
                    data = self._sock.recv(RECV_CHUNK)
                except socket.timeout:
                    continue
                except OSError:
                    break
                if not data:
                    break
                for flag, body in decoder.feed(data):
                    recorder.add_received(self.conn_id, flag, body)
                if decoder.error is not None:
                    # The stream cannot be resynchronised: close, as the till would.
                    recorder.add_connection_error(self.conn_id, decoder.error)
                    break
        finally:
            self._closed.set()
            self._service.forget(self)
            self._sock.close()


class TcpService:
    def __init__(self, host, port, recorder):
        self.host = host
        self.port = port  # 0 until the first start picks one; kept for restarts
        self.recorder = recorder
        self._lock = threading.Lock()
        self._listener = None
        self._accept_thread = None
        self._wake_r = self._wake_w = None
        self._connections = {}
        self._readers = []
        self._ids = itertools.count(1)
        self._closed = False

    # --- listening ---------------------------------------------------------
    def start(self):
        """Listens (again) on the same port; returns the port, or raises OSError."""
        with self._lock:
            if self._closed:
                raise OSError("the simulator is shutting down")
            if self._listener is not None:
                return self.port
            listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            try:
                # Dropped tills leave TIME_WAIT entries; a restart must still bind.
                listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
                listener.bind((self.host, self.port))
                listener.listen(LISTEN_BACKLOG)
            except OSError:
                listener.close()
                raise
            self.port = listener.getsockname()[1]
            self._listener = listener
            self._wake_r, self._wake_w = os.pipe()
            self._accept_thread = threading.Thread(target=self._accept_loop, name="tcp-accept")
            self._accept_thread.start()
            return self.port

    def stop(self):
        """Closes the listener and every connection; true if it was listening."""
        with self._lock:
            listener, thread = self._listener, self._accept_thread
            self._listener = self._accept_thread = None
            wake_r, wake_w = self._wake_r, self._wake_w
        if listener is not None:
            os.write(wake_w, b"x")
            thread.join()
            listener.close()
            os.close(wake_r)
            os.close(wake_w)
        self.drop()
        return listener is not None

    def close(self):
        """Stops for good: a later start() fails."""
        with self._lock:
            self._closed = True
        self.stop()

    def is_listening(self):
        with self._lock:
            return self._listener is not None

    def _accept_loop(self):
        listener, wake_r = self._listener, self._wake_r
        while True:
            ready, _, _ = select.select([listener, wake_r], [], [])
            if wake_r in ready:
                return
            try:
                sock, _ = listener.accept()
            except OSError:
                continue
            self._adopt(sock)

    def _adopt(self, sock):
        sock.settimeout(SEND_TIMEOUT_SECONDS)
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        conn = ClientConnection(next(self._ids), sock, self)
        # Registered, counted and started in one step, so that neither a drop
        # nor the reader's own end can see the connection half set up.
        with self._lock:
            self._connections[conn.conn_id] = conn
            self._readers = [t for t in self._readers if t.is_alive()]
            self._readers.append(conn.thread)
            self.recorder.connection_opened()
            conn.thread.start()

    def forget(self, conn):
        """Called once by each reader thread as it ends."""
        with self._lock:
            known = self._connections.pop(conn.conn_id, None) is conn
        if known:
            self.recorder.connection_closed()

    # --- control actions ---------------------------------------------------
    def connection_ids(self):
        with self._lock:
            return sorted(self._connections)

    def push(self, body, flag=0, raw=False, conn_id=None):
        """Sends one pack (or raw bytes) to every till, or to one; returns how
        many got all the bytes. A till whose send fails is dropped."""
        data = bytes(body) if raw else encode_pack(body, flag)
        with self._lock:
            targets = [c for i, c in sorted(self._connections.items()) if conn_id in (None, i)]
        sent = 0
        for conn in targets:
            if conn.send(data):
                sent += 1
            else:
                self._close([conn])
        return sent

    def drop(self):
        """Closes every connection and waits until their readers have ended."""
        with self._lock:
            targets = list(self._connections.values())
        self._close(targets)
        return len(targets)

    def _close(self, targets):
        for conn in targets:
            conn.shutdown()
        for conn in targets:
            if conn.thread is not threading.current_thread():
                conn.thread.join(READER_JOIN_SECONDS)

    def join_readers(self):
        with self._lock:
            readers = list(self._readers)
        for thread in readers:
            thread.join(READER_JOIN_SECONDS)
