"""A scripted BI report service for end-to-end tests and benchmarks: HTTPS on
127.0.0.1:8443 with a certificate for "localhost" from a test CA made with
the openssl command line, once per test run (run_keys.py). Standard library
only (plus openssl).

The programs are built to trust exactly the CA file at build/bi-test-ca.pem
of the source tree; the service writes its CA there when it starts. With
other_ca=True it writes that file but serves a certificate from a second CA,
so a client that verifies the peer must refuse it.

Answers are chosen per request path from a script set by the test; each
request uses the next answer and the last one repeats:

  json(obj, status=200)   the compact JSON text of obj
  raw(body, status=200)   those bytes as the body
  partial(body, total)    a header promising `total` body bytes, the body, then silence
  hold()                  the request is read, then silence until the client leaves

Every request is recorded with its path, raw header lines in order, body
bytes and arrival time. Every wait is bounded.
"""

import json
import os
import socket
import ssl
import subprocess
import threading
import time
from pathlib import Path

from run_keys import key_folder

HOST = "127.0.0.1"
PORT = 8443
REPO_ROOT = Path(__file__).resolve().parents[2]
CA_FILE = REPO_ROOT / "build" / "bi-test-ca.pem"

INIT_PATH = "/sdk_init"
REPORT_PATH = "/auth/report"
TOKEN = "tok-5f2a9c71e0"

HEADER_LIMIT = 65536       # the client's heads are a few hundred bytes
REQUEST_TIMEOUT = 10.0     # handshake and request; the client gives up after 1 s anyway
HOLD_LIMIT = 60.0          # a held connection closes after this, client or not
LINGER = 2.0               # after an answer, for the client to close first
OPENSSL_TIMEOUT = 30.0     # key generation takes a few hundred ms
STOP_TIMEOUT = 5.0         # for the accept loop and the connection threads to end


def dumps(obj):
    """The client's serialisation: compact, keys in byte order, raw UTF-8."""
    return json.dumps(obj, sort_keys=True, separators=(",", ":"),
                      ensure_ascii=False).encode("utf-8")


def json_answer(obj, status=200):
    return ("body", status, dumps(obj))


def raw(body, status=200):
    return ("body", status, body)


def partial(body, total=None):
    return ("partial", 200, body, total or len(body) + 64)


def hold():
    return ("hold",)


def accept_init(token=TOKEN):
    return json_answer({"RES": 0, "MSG": token})


def refuse_init(error="bad sign", code=3):
    return json_answer({"RES": code, "ERR": error})


ACCEPT_EVENT = json_answer({"RES": 0})

REASONS = {200: "OK", 500: "Internal Server Error", 503: "Service Unavailable"}


def _openssl(args, folder):
    subprocess.run(["openssl"] + args, cwd=folder, check=True, timeout=OPENSSL_TIMEOUT,
                   stdin=subprocess.DEVNULL, capture_output=True)


def _make_ca(folder, name):
    _openssl(["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "2",
              "-keyout", name + ".key", "-out", name + ".pem",
              "-subj", "/CN=Fetchlet test CA " + name,
              "-addext", "basicConstraints=critical,CA:TRUE",
              "-addext", "keyUsage=critical,keyCertSign,cRLSign"], folder)


def _make_server_cert(folder, ca):
    """server-<ca>.pem and its key: a certificate for "localhost" from that CA."""
    (folder / "server.ext").write_text(
        "basicConstraints=CA:FALSE\n"
        "keyUsage=critical,digitalSignature,keyEncipherment\n"
        "extendedKeyUsage=serverAuth\n"
        "subjectAltName=DNS:localhost\n")
    name = "server-" + ca
    _openssl(["req", "-new", "-newkey", "rsa:2048", "-nodes", "-sha256",
              "-keyout", name + ".key", "-out", name + ".csr", "-subj", "/CN=localhost"], folder)
    _openssl(["x509", "-req", "-in", name + ".csr", "-CA", ca + ".pem", "-CAkey", ca + ".key",
              "-CAcreateserial", "-days", "2", "-sha256", "-extfile", "server.ext",
              "-out", name + ".pem"], folder)


def _make_keys(folder):
    """Both CAs and a server certificate from each."""
    for ca in ("trusted", "other"):
        _make_ca(folder, ca)
        _make_server_cert(folder, ca)


def _write_if_changed(path, data):
    """Replaces the file in one step, and only when its bytes change: a
    program starting meanwhile reads the old file or the new one, whole."""
    if path.exists() and path.read_bytes() == data:
        return
    path.parent.mkdir(parents=True, exist_ok=True)
    scratch = path.with_name(path.name + ".%d" % os.getpid())
    scratch.write_bytes(data)
    os.replace(scratch, path)


class BiRequest:
    """One request as received. `header_lines` are the raw header lines in
    order (without the request line); `headers` the same split at the first
    colon, the value unstripped."""

    def __init__(self, method, path, header_lines, body):
        self.method = method
        self.path = path
        self.header_lines = header_lines
        self.headers = [tuple(line.split(":", 1)) if ":" in line else (line, "")
                        for line in header_lines]
        self.body = body
        self.time = time.time()
        self.monotonic = time.monotonic()

    def header_values(self, name):
        return [value for key, value in self.headers if key.lower() == name.lower()]

    def json(self):
        return json.loads(self.body.decode("utf-8"))

    def __repr__(self):
        return "<%s %s %r %r>" % (self.method, self.path, self.header_lines, self.body)


class BiService:
    """Use as a context manager; `script(path, [answers])` sets what a path
    answers, `requests` holds what came in."""

    def __init__(self, port=PORT, other_ca=False, ca_file=CA_FILE):
        self.port = port
        self.other_ca = other_ca
        self.ca_file = Path(ca_file)
        self.requests = []
        self.connections = 0
        self._scripts = {INIT_PATH: [accept_init()], REPORT_PATH: [ACCEPT_EVENT]}
        self._used = {}
        self._lock = threading.Lock()
        self._stop = threading.Event()
        self._listener = None
        self._thread = None
        self._sockets = []
        self._workers = []

    def script(self, path, answers):
        with self._lock:
            self._scripts[path] = list(answers)
            self._used[path] = 0

    def requests_for(self, path):
        with self._lock:
            return [r for r in self.requests if r.path == path]

    def wait_requests(self, count, timeout=5.0):
        """The requests once there are at least `count` (or timeout passed)."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            with self._lock:
                if len(self.requests) >= count:
                    break
            time.sleep(0.02)
        with self._lock:
            return list(self.requests)

    # Life cycle.
    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self._cleanup()
            raise
        return self

    def __exit__(self, *exc):
        self._cleanup()

    def _start(self):
        keys = key_folder("bi-service", _make_keys)
        _write_if_changed(self.ca_file, (keys / "trusted.pem").read_bytes())
        signer = "server-other" if self.other_ca else "server-trusted"

        self._context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self._context.load_cert_chain(keys / (signer + ".pem"), keys / (signer + ".key"))
        self._listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._listener.bind((HOST, self.port))
        self._listener.listen(32)
        self._listener.settimeout(0.1)
        self._thread = threading.Thread(target=self._serve, daemon=True)
        self._thread.start()

    def _cleanup(self):
        self._stop.set()
        if self._thread:
            self._thread.join(STOP_TIMEOUT)
        if self._listener:
            self._listener.close()
        with self._lock:
            for conn in self._sockets:
                try:
                    conn.close()
                except OSError:
                    pass
        for worker in self._workers:
            worker.join(STOP_TIMEOUT)

    # Serving.
    def _serve(self):
        while not self._stop.is_set():
            try:
                conn, _ = self._listener.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            with self._lock:
                self.connections += 1
                self._sockets.append(conn)
            worker = threading.Thread(target=self._handle, args=(conn,), daemon=True)
            self._workers.append(worker)
            worker.start()

    def _next_answer(self, path):
        with self._lock:
            answers = self._scripts.get(path) or [raw(b"not found", 404)]
            index = self._used.get(path, 0)
            self._used[path] = index + 1
            return answers[min(index, len(answers) - 1)]

    def _handle(self, conn):
        try:
            conn.settimeout(REQUEST_TIMEOUT)
            tls = self._context.wrap_socket(conn, server_side=True)
        except (OSError, ssl.SSLError):
            conn.close()
            return
        with self._lock:
            self._sockets.append(tls)
        try:
            request = self._read_request(tls)
            if request is None:
                return
            with self._lock:
                self.requests.append(request)
            self._answer(tls, self._next_answer(request.path))
        except (OSError, ssl.SSLError, ValueError):
            pass
        finally:
            try:
                tls.close()
            except OSError:
                pass

    def _read_request(self, tls):
        data = b""
        while b"\r\n\r\n" not in data:
            if len(data) > HEADER_LIMIT:
                return None
            chunk = tls.recv(4096)
            if not chunk:
                return None
            data += chunk
        head, body = data.split(b"\r\n\r\n", 1)
        lines = head.decode("latin-1").split("\r\n")
        method, path = lines[0].split(" ")[:2]
        header_lines = lines[1:]
        lengths = [line.split(":", 1)[1].strip() for line in header_lines
                   if line.lower().startswith("content-length:")]
        length = int(lengths[0]) if lengths else 0
        while len(body) < length:
            chunk = tls.recv(65536)
            if not chunk:
                break
            body += chunk
        return BiRequest(method, path, header_lines, body)

    def _head(self, status, length):
        return ("HTTP/1.1 %d %s\r\nContent-Type: application/json\r\nContent-Length: %d\r\n"
                "Connection: close\r\n\r\n" % (status, REASONS.get(status, "Status"),
                                               length)).encode("ascii")

    def _answer(self, tls, answer):
        kind = answer[0]
        if kind == "body":
            _, status, body = answer
            tls.sendall(self._head(status, len(body)) + body)
            # Let the client close first, so the answer is not cut by a reset.
            tls.settimeout(LINGER)
            try:
                tls.recv(1)
            except (OSError, ssl.SSLError):
                pass
        elif kind == "partial":
            _, status, body, total = answer
            tls.sendall(self._head(status, total) + body)
            self._silence(tls)
        elif kind == "hold":
            self._silence(tls)

    def _silence(self, tls):
        """Sends nothing more until the client leaves, the service stops or
        the hold limit passes."""
        deadline = time.monotonic() + HOLD_LIMIT
        tls.settimeout(0.1)
        while not self._stop.is_set() and time.monotonic() < deadline:
            try:
                if not tls.recv(1):
                    return
            except socket.timeout:
                continue
            except (OSError, ssl.SSLError):
                return
