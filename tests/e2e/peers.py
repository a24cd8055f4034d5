"""The program's peers for end-to-end tests: nginx as the statistics server
and the download sources, a statistics server that never answers, and the
reading of what the program sent. Everything listens on 127.0.0.1 only. Standard library only."""

import ctypes
import hashlib
import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import urllib.parse
from pathlib import Path

REPO_ROOT = Path(__file__).resolve().parents[2]
NGINX_CONF = REPO_ROOT / "tools" / "nginx" / "fetchlet.conf"

STATS_HOST = "127.0.0.1"
STATS_PORT = 8032
STATS_PATH = "/api/index"
DOWNLOAD_PORT = 8040
# The paths of the three download sources under the download server.
SOURCES = ("tarnnet/", "ashfallbattle/client/", "")

SIGN_KEY = "0f3c9a41d27be5806c1d4a9e3b72f058"
SERVICE_CODE = "30003"
MER_ID = "893762"
GAME_ID = "10027"
CHAN_ID = "platform_mini"
SDK_VERSION = "25.4.15.19.rl"

# Query keys of a statistics request, in the order the program sends them.
BASE_KEYS = ["serviceCode", "deviceId", "dataType", "merId", "gameid", "ts",
             "chanId", "sign"]
START_KEYS = ["osVersion", "sdkVersion"]

PR_SET_PDEATHSIG = 1
START_TIMEOUT = 10.0
STOP_TIMEOUT = 10.0


def die_with_parent():
    """preexec_fn for the servers the tests start: a test runner killed by
    its time-out takes them along instead of leaving them on the port."""
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def port_is_open(port, host=STATS_HOST, timeout=0.2):
    try:
        with socket.create_connection((host, port), timeout=timeout):
            return True
    except OSError:
        return False


def wait_until(predicate, timeout, interval=0.05):
    """Polls predicate until it returns a true value or timeout passes; returns
    the last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval)


def url_encode(text):
    """The program's UrlEncode: UTF-8 bytes, unreserved characters kept, "+"
    for a space, upper-case percent escapes for everything else."""
    unreserved = set(b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                     b"0123456789-_.!~*'()")
    out = []
    for byte in text.encode("utf-8"):
        if byte in unreserved:
            out.append(chr(byte))
        elif byte == 0x20:
            out.append("+")
        else:
            out.append("%%%02X" % byte)
    return "".join(out)


def expected_sign(device_id, ts):
    text = SIGN_KEY + device_id + CHAN_ID + ts
    return hashlib.md5(text.encode("ascii")).hexdigest()


class StatsRequest:
    """One request as nginx recorded it. `raw` keeps every query value as the
    program sent it, `fields` the decoded values; `keys` the order of keys."""

    LINE = re.compile(r'^(?P<msec>\S+) (?P<port>\d+) (?P<status>\d+) '
                      r'(?P<method>\S+) "(?P<agent>.*)" (?P<uri>\S+)$')

    def __init__(self, line):
        match = self.LINE.match(line)
        if not match:
            raise ValueError("unreadable access log line: %r" % line)
        self.line = line
        self.time = float(match["msec"])
        self.status = int(match["status"])
        self.method = match["method"]
        self.agent = match["agent"]
        self.uri = match["uri"]
        split = urllib.parse.urlsplit(self.uri)
        self.path = split.path
        self.query = split.query
        self.keys = []
        self.raw = {}
        self.fields = {}
        for pair in split.query.split("&") if split.query else []:
            key, sep, value = pair.partition("=")
            if not sep:
                raise ValueError("query part without '=': %r in %s" % (pair, self.uri))
            if key in self.raw:
                raise ValueError("key %r twice in %s" % (key, self.uri))
            self.keys.append(key)
            self.raw[key] = value
            self.fields[key] = urllib.parse.unquote_plus(value, encoding="utf-8",
                                                         errors="strict")

    @property
    def data_type(self):
        return int(self.fields.get("dataType", "0"))

    @property
    def extend(self):
        return self.fields.get("extend", "")

    def __repr__(self):
        return "<%s dataType=%s extend=%r>" % (self.path, self.fields.get("dataType"),
                                               self.extend)


def stats_problems(request):
    """Everything wrong with one statistics request's form, as a list of
    texts (empty when it is right). The extend value must be exactly what
    UrlEncode makes of its decoded text; every other value is sent unescaped."""
    problems = []
    if request.method != "GET" or request.path != STATS_PATH:
        problems.append("request %s %s" % (request.method, request.path))
    want_keys = list(BASE_KEYS)
    if request.fields.get("dataType") == "101":
        want_keys += START_KEYS
    if "extend" in request.raw:
        want_keys.append("extend")
    if request.keys != want_keys:
        problems.append("keys %s, expected %s" % (request.keys, want_keys))
    for key, raw in request.raw.items():
        if key != "extend" and raw != request.fields[key]:
            problems.append("%s sent escaped: %r" % (key, raw))
    fixed = {"serviceCode": SERVICE_CODE, "merId": MER_ID, "gameid": GAME_ID,
             "chanId": CHAN_ID}
    for key, value in fixed.items():
        if request.fields.get(key) != value:
            problems.append("%s=%r, expected %r" % (key, request.fields.get(key), value))
    forms = {"deviceId": r"[0-9a-f]{32}", "dataType": r"-?\d+", "ts": r"\d{13}",
             "sign": r"[0-9a-f]{32}"}
    for key, form in forms.items():
        if not re.fullmatch(form, request.fields.get(key, "")):
            problems.append("%s=%r is not of the form %s" % (key, request.fields.get(key), form))
    if not problems:
        sign = expected_sign(request.fields["deviceId"], request.fields["ts"])
        if request.fields["sign"] != sign:
            problems.append("sign %s, expected %s" % (request.fields["sign"], sign))
    if "extend" in request.raw:
        raw = request.raw["extend"]
        if request.fields["extend"] == "":
            problems.append("empty extend sent")
        elif url_encode(request.fields["extend"]) != raw:
            problems.append("extend not encoded as UrlEncode does:\n  sent     %s\n"
                            "  expected %s" % (raw, url_encode(request.fields["extend"])))
    return problems


class DownloadRequest:
    """One request to the download sources as nginx recorded it; `range` is
    the Range header as sent, None when there was none."""

    LINE = re.compile(r'^(?P<msec>\S+) (?P<port>\d+) (?P<status>\d+) (?P<method>\S+) '
                      r'"(?P<range>.*)" (?P<sent>\d+) "(?P<agent>.*)" (?P<uri>\S+)$')

    def __init__(self, line):
        match = self.LINE.match(line)
        if not match:
            raise ValueError("unreadable access log line: %r" % line)
        self.line = line
        self.status = int(match["status"])
        self.method = match["method"]
        self.range = None if match["range"] == "-" else match["range"]
        self.body_bytes = int(match["sent"])
        self.agent = match["agent"]
        self.uri = match["uri"]

    def __repr__(self):
        return "<%s %s %s range=%s>" % (self.method, self.uri, self.status, self.range)


class Nginx:
    """nginx with the tree's configuration in a prefix of its own: the
    statistics server and the download sources, which serve `html` (the
    files tests put there). Use as a context manager; `stats_requests()` and
    `download_requests()` read what it recorded."""

    def __init__(self, prefix=None):
        self._own_prefix = prefix is None
        self.prefix = Path(prefix or tempfile.mkdtemp(prefix="fetchlet-nginx-"))
        self.process = None

    @property
    def html(self):
        return self.prefix / "html"

    def source_folder(self, source=0):
        """The folder download source 0, 1 or 2 serves."""
        return self.html / ("source%d" % source)

    def url(self, name, source=SOURCES[0]):
        """The address of a file of the html folder on one download source."""
        return "http://%s:%d/%s%s" % (STATS_HOST, DOWNLOAD_PORT, source, name)

    def start(self):
        for port in (STATS_PORT, DOWNLOAD_PORT):
            if port_is_open(port):
                raise RuntimeError("port %d is already in use: another server runs" % port)
        for folder in ("logs", "temp", "html"):
            (self.prefix / folder).mkdir(parents=True, exist_ok=True)
        os.chmod(self.html, 0o755)
        for source in range(len(SOURCES)):
            self.source_folder(source).mkdir(exist_ok=True)
            os.chmod(self.source_folder(source), 0o755)
        # nginx's workers run as an unprivileged user when started by root:
        # they must be able to reach what the prefix serves.
        os.chmod(self.prefix, 0o755)
        nginx = shutil.which("nginx") or "/usr/sbin/nginx"
        with open(self.prefix / "logs" / "stderr.log", "wb") as stderr:
            self.process = subprocess.Popen(
                [nginx, "-p", str(self.prefix) + "/", "-c", str(NGINX_CONF),
                 "-e", "logs/error.log", "-g", "daemon off;"],
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=stderr,
                preexec_fn=die_with_parent)
        up = wait_until(lambda: self.process.poll() is not None or (
            port_is_open(STATS_PORT) and port_is_open(DOWNLOAD_PORT)), START_TIMEOUT)
        if not up or self.process.poll() is not None:
            errors = self.error_log()
            self.stop()
            raise RuntimeError("nginx did not start:\n" + errors)
        return self

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGQUIT)
            try:
                self.process.wait(STOP_TIMEOUT)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(STOP_TIMEOUT)
        self.process = None

    def cleanup(self):
        self.stop()
        if self._own_prefix:
            shutil.rmtree(self.prefix, ignore_errors=True)

    def __enter__(self):
        try:
            return self.start()
        except BaseException:
            self.cleanup()
            raise

    def __exit__(self, *exc):
        self.cleanup()

    def error_log(self):
        texts = []
        for name in ("stderr.log", "error.log"):
            path = self.prefix / "logs" / name
            if path.exists():
                texts.append(path.read_text(errors="replace"))
        return "".join(texts)

    def access_lines(self, log="stats.log"):
        path = self.prefix / "logs" / log
        if not path.exists():
            return []
        return path.read_text(encoding="ascii", errors="replace").splitlines()

    def stats_requests(self):
        return [StatsRequest(line) for line in self.access_lines()]

    def download_requests(self):
        return [DownloadRequest(line) for line in self.access_lines("downloads.log")]

    def put_file(self, name, data, sources=(0, 1, 2)):
        """Puts a file where the given download sources serve it (one copy,
        hard-linked); readable by nginx's unprivileged workers."""
        first = None
        for source in sources:
            path = self.source_folder(source) / name
            if path.exists():
                path.unlink()
            if first is None:
                path.write_bytes(data)
                os.chmod(path, 0o644)
                first = path
            else:
                os.link(first, path)
        return first

    def remove_file(self, name, sources=(0, 1, 2)):
        for source in sources:
            path = self.source_folder(source) / name
            if path.exists():
                path.unlink()

    def wait_stats(self, predicate, timeout=5.0):
        """Polls the access log until predicate(requests) holds or timeout
        passes; returns the requests either way."""
        result = []

        def check():
            result[:] = self.stats_requests()
            return predicate(result)

        wait_until(check, timeout)
        return list(result)


class StatsPortServer:
    """Listens on the statistics port in place of nginx and hands every
    connection to handle(), on a thread of its own."""

    def __init__(self, port=STATS_PORT):
        self.port = port
        self._stop = threading.Event()
        self._listener = None
        self._thread = None

    def __enter__(self):
        self._listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._listener.bind((STATS_HOST, self.port))
        self._listener.listen(32)
        self._listener.settimeout(0.1)
        self._thread = threading.Thread(target=self._serve, daemon=True)
        self._thread.start()
        return self

    def _serve(self):
        while not self._stop.is_set():
            try:
                conn, _ = self._listener.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            threading.Thread(target=self.handle, args=(conn,), daemon=True).start()

    def handle(self, conn):
        raise NotImplementedError

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join(5)
        self._listener.close()


class SilentServer(StatsPortServer):
    """Accepts every connection and never answers: the sender's transfers
    must give up on their own."""

    def __init__(self, port=STATS_PORT):
        super().__init__(port)
        self.connections = 0
        self._sockets = []
        self._lock = threading.Lock()

    def handle(self, conn):
        with self._lock:
            self.connections += 1
            self._sockets.append(conn)

    def __exit__(self, *exc):
        super().__exit__(*exc)
        with self._lock:
            for conn in self._sockets:
                conn.close()


class RefuseOnceStatsServer(StatsPortServer):
    """Answers each statistics request 500 the first time its URI is asked
    and 200 after that, and records every request line with its Range field:
    the sender's first transfer fails, its fallback must follow."""

    def __init__(self, port=STATS_PORT):
        super().__init__(port)
        self.requests = []          # (request target, Range value or None)
        self._seen = set()
        self._lock = threading.Lock()

    def handle(self, conn):
        with conn:
            conn.settimeout(5.0)
            head = b""
            try:
                while b"\r\n\r\n" not in head and len(head) < 65536:
                    data = conn.recv(4096)
                    if not data:
                        return
                    head += data
            except OSError:
                return
            lines = head.split(b"\r\n\r\n", 1)[0].decode("latin-1").split("\r\n")
            target = lines[0].split(" ")[1] if len(lines[0].split(" ")) > 1 else ""
            ranges = [line.split(":", 1)[1].strip() for line in lines[1:]
                      if line.lower().startswith("range:")]
            with self._lock:
                self.requests.append((target, ranges[0] if ranges else None))
                first = target not in self._seen
                self._seen.add(target)
            answer = (b"HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n"
                      b"Connection: close\r\n\r\n" if first else
                      b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok")
            try:
                conn.sendall(answer)
            except OSError:
                pass

    def snapshot(self):
        with self._lock:
            return list(self.requests)
