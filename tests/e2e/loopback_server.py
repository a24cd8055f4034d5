"""What the scripted peers share: a listener on 127.0.0.1 on a port of the
system's choosing, one thread per connection, a bounded life, and a stop that
closes every connection still open and waits a bounded time for its thread.
A peer defines `_handle(conn, peer)`; the connection is closed after it.
"""

import socket
import threading
import time

HOST = "127.0.0.1"
HEAD_LIMIT = 65536         # a request head longer than this is dropped
STOP_TIMEOUT = 5.0         # for the accept loop and each connection's thread


class LoopbackServer:
    """Use as a context manager; `port` is set on entry."""

    def __init__(self, lifetime, backlog=64):
        self.lifetime = lifetime
        self.backlog = backlog
        self.port = None
        self._lock = threading.Lock()
        self._stop = threading.Event()
        self._listener = None
        self._thread = None
        self._workers = []
        self._sockets = set()

    def __enter__(self):
        self._listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._listener.bind((HOST, 0))
        self._listener.listen(self.backlog)
        self._listener.settimeout(0.1)
        self.port = self._listener.getsockname()[1]
        self._deadline = time.monotonic() + self.lifetime
        self._thread = threading.Thread(target=self._accept_loop, daemon=True)
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def stop(self):
        self._stop.set()
        if self._thread:
            self._thread.join(STOP_TIMEOUT)
        if self._listener:
            self._listener.close()
        with self._lock:
            sockets = list(self._sockets)
        for sock in sockets:
            try:
                sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        for worker in self._workers:
            worker.join(STOP_TIMEOUT)

    def _accept_loop(self):
        while not self._stop.is_set() and time.monotonic() < self._deadline:
            try:
                conn, peer = self._listener.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            self._track(conn)
            worker = threading.Thread(target=self._serve, args=(conn, peer), daemon=True)
            self._workers = [w for w in self._workers if w.is_alive()] + [worker]
            worker.start()
        self._stop.set()

    def _serve(self, conn, peer):
        try:
            self._handle(conn, peer)
        finally:
            self._forget(conn)

    def _handle(self, conn, peer):
        raise NotImplementedError

    def _track(self, sock):
        """Closed by the stop, if still open: for any socket a peer opens."""
        with self._lock:
            self._sockets.add(sock)

    def _forget(self, sock):
        with self._lock:
            self._sockets.discard(sock)
        sock.close()


def read_head(conn, timeout):
    """A request's head as text and the bytes received after it; (None, b"")
    when the client sent no whole head in time or one too long."""
    conn.settimeout(timeout)
    data = b""
    while b"\r\n\r\n" not in data:
        if len(data) > HEAD_LIMIT:
            return None, b""
        chunk = conn.recv(4096)
        if not chunk:
            return None, b""
        data += chunk
    head, rest = data.split(b"\r\n\r\n", 1)
    return head.decode("latin-1"), rest
