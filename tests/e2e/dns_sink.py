"""A name server that reads every query and never answers, and a way to run a
command with it as the only name server: the command runs in a mount
namespace of its own, where a private resolv.conf is bound over
/etc/resolv.conf. The system's resolver then waits as long as the resolver
options below allow, so a program that still returns on time has bounded its
look-ups itself. Standard library only.

    with DnsSink() as sink:
        subprocess.run(sink.wrap(["some-program", "http://name.test/"]), timeout=...)
        assert "name.test" in sink.names()

Binding port 53 needs root (or a lowered net.ipv4.ip_unprivileged_port_start);
the namespace needs root or user namespaces. Without them DnsSink raises
Unavailable, a unittest.SkipTest, so a test class that opens it in
setUpClass is skipped with the reason."""

import errno
import os
import shutil
import socket
import subprocess
import tempfile
import threading
import unittest

# Loopback addresses the sink tries in turn for port 53: two tests with a
# sink each can run side by side. 127.0.0.53 is left to a local resolver.
SINK_ADDRESSES = ["127.53.0.%d" % last for last in range(1, 33)]
DNS_PORT = 53
# Each of the resolver's tries waits this long, this many times: far longer
# than any limit a test checks.
RESOLVER_OPTIONS = "options timeout:30 attempts:3"
READ_INTERVAL = 0.2      # how often the reader looks at its stop flag
CHECK_TIMEOUT = 20.0     # the namespace's trial run
STOP_TIMEOUT = 5.0
HEADER_SIZE = 12         # a DNS message's fixed header, before the question


class Unavailable(unittest.SkipTest):
    """The sink or its namespace cannot be set up on this machine."""


def query_name(message):
    """The name asked for in a DNS query, lower case; None when unreadable."""
    labels = []
    at = HEADER_SIZE
    while at < len(message):
        length = message[at]
        if length == 0:
            return ".".join(labels).lower()
        if length & 0xC0:      # a compression pointer: never in a query's question
            return None
        label = message[at + 1:at + 1 + length]
        if len(label) != length:
            return None
        labels.append(label.decode("ascii", "replace"))
        at += 1 + length
    return None


class DnsSink:
    def __init__(self):
        self.address = None
        self._socket = None
        self._thread = None
        self._stop = threading.Event()
        self._lock = threading.Lock()
        self._names = []
        self._folder = None
        self.resolv_conf = None

    def __enter__(self):
        try:
            self._bind()
            self._folder = tempfile.mkdtemp(prefix="fetchlet-dns-sink-")
            self.resolv_conf = os.path.join(self._folder, "resolv.conf")
            with open(self.resolv_conf, "w", encoding="ascii") as conf:
                conf.write("nameserver %s\n%s\n" % (self.address, RESOLVER_OPTIONS))
            os.chmod(self._folder, 0o755)
            os.chmod(self.resolv_conf, 0o644)
            self._check_namespace()
        except BaseException:
            self.__exit__()
            raise
        self._thread = threading.Thread(target=self._read, name="dns-sink", daemon=True)
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        if self._thread:
            self._thread.join(STOP_TIMEOUT)
        if self._socket:
            self._socket.close()
        if self._folder:
            shutil.rmtree(self._folder, ignore_errors=True)

    def prefix(self):
        """The command line that runs what follows it under the private
        resolv.conf. Root only needs a mount namespace; anyone else maps
        itself to root in a user namespace of its own for the mount."""
        unshare = ["unshare", "-m"] if os.geteuid() == 0 else ["unshare", "-r", "-m"]
        script = 'mount --bind "$1" /etc/resolv.conf && shift && exec "$@"'
        return unshare + ["sh", "-c", script, "sh", self.resolv_conf]

    def wrap(self, command):
        return self.prefix() + list(command)

    def names(self):
        """The names asked so far, in the order the queries came."""
        with self._lock:
            return list(self._names)

    def _bind(self):
        errors = []
        for address in SINK_ADDRESSES:
            sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            try:
                sock.bind((address, DNS_PORT))
            except OSError as error:
                sock.close()
                errors.append(error)
                if error.errno in (errno.EACCES, errno.EPERM):  # no address will do
                    break
                continue
            sock.settimeout(READ_INTERVAL)
            self._socket = sock
            self.address = address
            return
        raise Unavailable("no name server sink on port %d of %s..%s: %s" % (
            DNS_PORT, SINK_ADDRESSES[0], SINK_ADDRESSES[-1], errors[-1]))

    def _check_namespace(self):
        """A trial run that must see the private resolv.conf."""
        if not shutil.which("unshare"):
            raise Unavailable("no unshare command for a private resolv.conf")
        try:
            result = subprocess.run(self.wrap(["cat", "/etc/resolv.conf"]),
                                    stdin=subprocess.DEVNULL, capture_output=True,
                                    timeout=CHECK_TIMEOUT)
        except subprocess.TimeoutExpired:
            raise Unavailable("the private resolv.conf's trial run did not end within %d s"
                              % CHECK_TIMEOUT) from None
        seen = result.stdout.decode("ascii", "replace")
        if result.returncode != 0 or ("nameserver %s\n" % self.address) not in seen:
            raise Unavailable("cannot bind a private resolv.conf in a mount namespace "
                              "(exit %d): %s" % (result.returncode,
                                                 result.stderr.decode("utf-8", "replace").strip()))

    def _read(self):
        while not self._stop.is_set():
            try:
                message, _ = self._socket.recvfrom(4096)
            except socket.timeout:
                continue
            except OSError:
                return
            name = query_name(message)
            if name is not None:
                with self._lock:
                    self._names.append(name)
