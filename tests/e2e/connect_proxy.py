"""An HTTP proxy for end-to-end tests that tunnels CONNECT requests, as a
company's proxy does for HTTPS, and refuses everything else. Listens on
127.0.0.1 on a port of the system's choosing and logs every request it gets:
its method, its target ("host:port" for a CONNECT), its Proxy-Authorization
field and the status it answered. Given credentials, it asks for Basic
authentication (407) from a request that does not carry them. Standard
library only; every wait is bounded, and so is the proxy's whole life.
"""

import base64
import select
import socket
import time

from loopback_server import HOST, LoopbackServer, read_head

REQUEST_TIMEOUT = 10.0     # to receive a request head
CONNECT_TIMEOUT = 5.0      # to reach the tunnel's target
TUNNEL_IDLE = 30.0         # a tunnel with no byte either way for this long closes
LIFETIME = 600.0           # the proxy stops by itself after this
CHUNK = 65536
REALM = "fetchlet-test"

REASONS = {200: "Connection established", 400: "Bad Request",
           405: "Method Not Allowed", 407: "Proxy Authentication Required",
           502: "Bad Gateway"}


def basic_credentials(user, password):
    """The Proxy-Authorization value a client sends for these credentials."""
    return "Basic " + base64.b64encode(("%s:%s" % (user, password)).encode()).decode()


class ProxyRequest:
    """One request as received, with the status the proxy answered."""

    def __init__(self, method, target, authorization):
        self.method = method
        self.target = target
        self.authorization = authorization
        self.status = None

    def __repr__(self):
        return "<%s %s %s auth=%r>" % (self.method, self.target, self.status, self.authorization)


class ConnectProxy(LoopbackServer):
    """Use as a context manager. `credentials` is a (user, password) pair the
    proxy asks for, or None; `requests` lists what came in, in order."""

    def __init__(self, credentials=None, lifetime=LIFETIME):
        super().__init__(lifetime, backlog=32)
        self.credentials = credentials
        self.requests = []

    # What tests use.
    def url(self, credentials=None):
        """The proxy's address as the environment gives it to a client."""
        user = "%s:%s@" % credentials if credentials else ""
        return "http://%s%s:%d" % (user, HOST, self.port)

    def log(self):
        with self._lock:
            return list(self.requests)

    def tunnels(self):
        """The targets of the CONNECTs the proxy tunnelled, in order."""
        return [r.target for r in self.log() if r.method == "CONNECT" and r.status == 200]

    # Serving.
    def _handle(self, conn, peer):
        try:
            head, rest = read_head(conn, REQUEST_TIMEOUT)
            if head is None:
                return
            request = self._parse(head)
            with self._lock:
                self.requests.append(request)
            if request.method != "CONNECT":
                # Only the BI client's HTTPS may come here: a plain request
                # would be another transport using the proxy.
                self._answer(conn, request, 405)
            elif ":" not in request.target:
                self._answer(conn, request, 400)
            elif self.credentials and request.authorization != basic_credentials(*self.credentials):
                self._answer(conn, request, 407)
            else:
                self._tunnel(conn, request, rest)
        except OSError:
            pass    # the client went away; that is its business

    @staticmethod
    def _parse(head):
        lines = head.split("\r\n")
        parts = lines[0].split(" ")
        method = parts[0]
        target = parts[1] if len(parts) > 1 else ""
        authorization = None
        for line in lines[1:]:
            name, _, value = line.partition(":")
            if name.strip().lower() == "proxy-authorization":
                authorization = value.strip()
        return ProxyRequest(method, target, authorization)

    def _answer(self, conn, request, status):
        request.status = status
        extra = ""
        if status == 407:
            extra = 'Proxy-Authenticate: Basic realm="%s"\r\n' % REALM
        conn.sendall(("HTTP/1.1 %d %s\r\n%sContent-Length: 0\r\nConnection: close\r\n\r\n"
                      % (status, REASONS[status], extra)).encode("latin-1"))

    def _tunnel(self, conn, request, rest):
        host, _, port = request.target.rpartition(":")
        try:
            upstream = socket.create_connection((host.strip("[]"), int(port)), CONNECT_TIMEOUT)
        except (OSError, ValueError):
            self._answer(conn, request, 502)
            return
        self._track(upstream)
        try:
            request.status = 200
            conn.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
            if rest:
                upstream.sendall(rest)
            self._relay(conn, upstream)
        finally:
            self._forget(upstream)

    def _relay(self, conn, upstream):
        """Copies bytes both ways until one side closes, nothing moves for
        TUNNEL_IDLE, or the proxy stops."""
        peers = {conn: upstream, upstream: conn}
        idle_since = time.monotonic()
        while not self._stop.is_set() and time.monotonic() - idle_since < TUNNEL_IDLE:
            ready, _, _ = select.select(list(peers), [], [], 0.1)
            for sock in ready:
                data = sock.recv(CHUNK)
                if not data:
                    return
                peers[sock].sendall(data)
                idle_since = time.monotonic()
