"""A scripted HTTP server for the answers nginx would never give: cut
bodies, stalls, ignored or shifted ranges, malformed headers, chunked bodies,
errors for the first requests. Standard library only; listens on 127.0.0.1 on
a port of the system's choosing, answers each connection on a thread of its
own and closes it after one answer. Every wait is bounded, and so is the
server's whole life.

The answer is chosen by the request's path, "/<action>/<arguments>/<file>":

  /serve/<file>                   the file, honouring "Range: bytes=S-" (206)
  /cut/<n>/<file>                 as serve, but the connection closes after n body bytes
  /stall-head/<n>/<file>          n bytes of the header (0: none), then silence
  /trickle-head/<ms>/<file>       the header one byte every ms, then the body
  /stall-body/<n>/<file>          the header and n body bytes, then silence
  /trickle/<ms>/<file>            the header, then the body in small pieces, one every ms
  /ignore-range/<file>            200 and the whole file, whatever the range
  /range-from/<s>/<file>          206 with the file from byte s, whatever the range
  /huge-head/<file>               4096 header bytes without the blank line
  /no-length/<file>               the file without a length field, ended by the close
  /lower-length/<file>            the length field spelt "content-length: "
  /length/<n>/<file>              as serve, but the length field says n (any integer)
  /overlong/<n>/<file>            as serve, then n bytes more than the length field said
  /status/<code>/<file>           that status with a short text body
  /chunked/<file>                 the file in chunked transfer coding
  /fail-first/<k>/<code>/<file>   status code for the first k requests of this path, then serve
  /script/<name>/<file>           the next action of a script given by the test

A script is a list of actions in the same words ("status:500", "cut:1000",
"serve", ...), used one per request; the last one repeats.

A file's bytes may be anything that slices without copying, such as a
memoryview of a mapped file, so that files of several GiB can be served.
"""

import re
import socket
import threading
import time

from loopback_server import HOST, LoopbackServer, read_head

REQUEST_TIMEOUT = 10.0     # to receive a request header
SEND_TIMEOUT = 30.0        # a client that stops reading gives up the answer
STALL_LIMIT = 60.0         # a stalled answer closes after this, client or not
DRAIN_TIMEOUT = 5.0        # after the answer, for the client to close first
LIFETIME = 1800.0          # the server stops by itself after this
CHUNK = 65536
TRICKLE_PIECE = 1024       # bytes per piece of a trickled body

# Arguments each action takes from the path, before the file name.
ARITY = {"serve": 0, "cut": 1, "stall-head": 1, "trickle-head": 1, "stall-body": 1, "trickle": 1,
         "ignore-range": 0, "range-from": 1, "huge-head": 0, "no-length": 0, "lower-length": 0,
         "status": 1, "chunked": 0, "fail-first": 2, "script": 1, "length": 1,
         "overlong": 1}

REASONS = {200: "OK", 206: "Partial Content", 404: "Not Found", 416: "Range Not Satisfiable",
           500: "Internal Server Error", 503: "Service Unavailable"}


class Request:
    """One request as received: the request line, the header fields in
    order, and the Range header (None when there was none). `done` is set
    once its connection is closed, after the client closed its end when it
    did so within the drain time."""

    def __init__(self, line, headers, peer):
        self.line = line
        self.headers = headers
        self.peer = peer
        self.time = time.monotonic()
        self.done = threading.Event()
        parts = line.split(" ")
        self.method = parts[0]
        self.target = parts[1] if len(parts) > 1 else ""
        self.version = parts[2] if len(parts) > 2 else ""

    def header(self, name):
        for key, value in self.headers:
            if key.lower() == name.lower():
                return value
        return None

    @property
    def range(self):
        return self.header("Range")

    @property
    def range_start(self):
        """The first byte of a "bytes=S-" or "bytes=S-E" range, else None."""
        match = re.fullmatch(r"bytes=(\d+)-(\d*)", self.range or "")
        return int(match[1]) if match else None

    def __repr__(self):
        return "<%s range=%s>" % (self.line, self.range)


class FaultServer(LoopbackServer):
    """Use as a context manager. `files` maps a file name to its bytes;
    `requests` lists every request received, in order."""

    def __init__(self, files=None, lifetime=LIFETIME, stall_limit=STALL_LIMIT):
        super().__init__(lifetime)
        self.files = dict(files or {})
        self.stall_limit = stall_limit
        self.requests = []
        self._scripts = {}
        self._counts = {}

    # What tests use.
    def url(self, path):
        return "http://%s:%d%s" % (HOST, self.port, path)

    def script(self, name, actions):
        """Registers the answers of /script/<name>/...; returns nothing."""
        with self._lock:
            self._scripts[name] = [a.split(":") for a in actions]
            self._counts.pop("/script/" + name, None)

    def requests_for(self, path):
        with self._lock:
            return [r for r in self.requests if r.target == path]

    # Serving.
    def _handle(self, conn, peer):
        request = None
        try:
            request = self._read_request(conn, peer)
            if request is not None:
                with self._lock:
                    self.requests.append(request)
                conn.settimeout(SEND_TIMEOUT)
                self._answer(conn, request)
        except OSError:
            pass    # the client went away; that is its business
        finally:
            conn.close()
            if request is not None:
                request.done.set()

    @staticmethod
    def _read_request(conn, peer):
        head, _ = read_head(conn, REQUEST_TIMEOUT)
        if head is None:
            return None
        lines = head.split("\r\n")
        headers = []
        for line in lines[1:]:
            name, _, value = line.partition(":")
            headers.append((name, value.strip()))
        return Request(lines[0], headers, peer)

    def _action(self, request):
        """(action words, file name) for the request's path."""
        path = request.target.split("?", 1)[0]
        parts = path.strip("/").split("/")
        name = parts[0] if parts else ""
        arity = ARITY.get(name)
        if arity is None or len(parts) != arity + 2:
            return ["status", "404"], ""
        args, file_name = parts[1:1 + arity], parts[-1]
        if name == "fail-first":
            count = self._count(path)
            return (["status", args[1]] if count < int(args[0]) else ["serve"]), file_name
        if name == "script":
            count = self._count("/script/" + args[0])
            with self._lock:
                actions = self._scripts.get(args[0], [["status", "404"]])
            return actions[min(count, len(actions) - 1)], file_name
        return [name] + args, file_name

    def _count(self, key):
        with self._lock:
            count = self._counts.get(key, 0)
            self._counts[key] = count + 1
        return count

    def _answer(self, conn, request):
        words, file_name = self._action(request)
        kind, args = words[0], [int(a) for a in words[1:]]
        data = self.files.get(file_name)
        if kind == "status" or data is None:
            code = args[0] if kind == "status" else 404
            body = ("%d %s\n" % (code, REASONS.get(code, "Error"))).encode("ascii")
            self._send_head(conn, code, [("Content-Type", "text/plain"),
                                         ("Content-Length", str(len(body)))])
            self._send_body(conn, request, body)
        elif kind == "huge-head":
            head = b"HTTP/1.1 206 Partial Content\r\nX-Filler: "
            conn.sendall(head + b"x" * (4096 - len(head)))
            self._linger(conn)
            return
        elif kind == "stall-head":
            head = self._partial_head(request, data)
            conn.sendall(head[:args[0]])
            self._linger(conn)
            return
        elif kind == "trickle-head":
            head = self._partial_head(request, data)
            if self._trickle(conn, request, head, args[0] / 1000.0, 1):
                self._send_body(conn, request, data[request.range_start or 0:])
        elif kind == "chunked":
            start = request.range_start or 0
            self._send_head(conn, 200, [("Transfer-Encoding", "chunked")])
            body = b"".join(b"%x\r\n%s\r\n" % (len(data[i:i + CHUNK]), data[i:i + CHUNK])
                            for i in range(start, len(data), CHUNK)) + b"0\r\n\r\n"
            self._send_body(conn, request, body)
        elif kind == "ignore-range":
            self._send_head(conn, 200, [("Content-Length", str(len(data)))])
            self._send_body(conn, request, data)
        elif kind == "range-from":
            start = args[0]
            self._send_head(conn, 206, self._range_fields(start, data))
            self._send_body(conn, request, data[start:])
        elif kind in ("no-length", "lower-length"):
            start = request.range_start or 0
            fields = [("Content-Range", "bytes %d-%d/%d" % (start, len(data) - 1, len(data)))]
            if kind == "lower-length":
                fields.append(("content-length", str(len(data) - start)))
            self._send_head(conn, 206, fields)
            self._send_body(conn, request, data[start:])
        else:   # serve, cut, stall-body, trickle, length, overlong
            start = request.range_start
            if start is not None and start >= len(data):
                self._send_head(conn, 416, [("Content-Range", "bytes */%d" % len(data)),
                                            ("Content-Length", "0")])
                self._finish(conn)
                return
            if start is None:
                fields = [("Content-Length", str(len(data)))]
                code, body = 200, data
            else:
                fields = self._range_fields(start, data)
                code, body = 206, data[start:]
            if kind == "length":
                fields = [f if f[0] != "Content-Length" else (f[0], str(args[0])) for f in fields]
            self._send_head(conn, code, fields)
            if kind == "overlong":
                body = bytes(body) + b"\xa5" * args[0]
            if kind == "cut":
                body = body[:args[0]]
            elif kind == "stall-body":
                if request.method != "HEAD":
                    conn.sendall(body[:args[0]])
                self._linger(conn)
                return
            if kind == "trickle":
                self._trickle(conn, request, body, args[0] / 1000.0)
            else:
                self._send_body(conn, request, body)
        self._finish(conn)

    @staticmethod
    def _range_fields(start, data):
        return [("Content-Range", "bytes %d-%d/%d" % (start, len(data) - 1, len(data))),
                ("Content-Length", str(len(data) - start))]

    def _partial_head(self, request, data):
        start = request.range_start or 0
        fields = self._range_fields(start, data)
        return self._head(206, fields)

    @staticmethod
    def _head(code, fields):
        lines = ["HTTP/1.1 %d %s" % (code, REASONS.get(code, "Error"))]
        lines += ["%s: %s" % field for field in fields]
        lines += ["Connection: close", "", ""]
        return "\r\n".join(lines).encode("latin-1")

    def _send_head(self, conn, code, fields):
        conn.sendall(self._head(code, fields))

    @staticmethod
    def _send_body(conn, request, body):
        if request.method == "HEAD":
            return
        view = memoryview(body)
        for offset in range(0, len(view), CHUNK):
            conn.sendall(view[offset:offset + CHUNK])

    def _trickle(self, conn, request, body, pause, piece=TRICKLE_PIECE):
        """The bytes in small pieces with a pause before each after the first:
        bytes keep coming, never fast. A client that leaves ends it, and so
        do the stall limit and the server's stop; True when all were sent."""
        if request.method == "HEAD":
            return True
        view = memoryview(body)
        deadline = time.monotonic() + self.stall_limit
        for offset in range(0, len(view), piece):
            if offset and self._stop.wait(pause):
                return False
            if time.monotonic() >= deadline:
                return False
            conn.sendall(view[offset:offset + piece])
        return True

    def _finish(self, conn):
        """Ends the answer with a FIN, not a reset: the client must see every
        byte sent and then the close."""
        try:
            conn.shutdown(socket.SHUT_WR)
        except OSError:
            return
        conn.settimeout(0.2)
        deadline = time.monotonic() + DRAIN_TIMEOUT
        while time.monotonic() < deadline and not self._stop.is_set():
            try:
                if not conn.recv(CHUNK):
                    return
            except socket.timeout:
                continue
            except OSError:
                return

    def _linger(self, conn):
        """Holds the connection open and silent until the client gives up,
        the stall limit passes or the server stops."""
        conn.settimeout(0.2)
        deadline = time.monotonic() + self.stall_limit
        while time.monotonic() < deadline and not self._stop.is_set():
            try:
                if not conn.recv(CHUNK):
                    return
            except socket.timeout:
                continue
            except OSError:
                return
