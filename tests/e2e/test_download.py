"""End-to-end tests of the download engine: the own HTTP client (resume with
byte ranges, its error texts, its progress) and the three methods in turn,
through the download probe built for each target, against nginx on
127.0.0.1:8040 and the scripted fault server.

  python3 test_download.py --target linux --probe build/linux/tests/download_probe
  python3 test_download.py --target windows --probe build/windows/tests/download_probe.exe
"""

import argparse
import contextlib
import hashlib
import json
import mmap
import os
import random
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

import wine
from fault_server import FaultServer
from peers import SOURCES, Nginx, wait_until

MIB = 1 << 20
MIN_TOTAL = 0x500000          # the own client refuses totals up to this many bytes
BIG_SIZE = 6_000_000          # above it, and not a multiple of any chunk size
CUT_AT = 1_000_000
STALL_RECEIVE_MS = 1000       # the receive limit the stall cases run with
PROBE_TIMEOUT = 120.0         # one probe run; the slowest is every method failing
LOG_TIMEOUT = 5.0             # nginx writes a request's line when it is done
SYSTEM_REQUESTS = 11          # the URL cache's 10 attempts and the file download's 1
SOCKET_ATTEMPTS = 10          # the own client's attempts after them

MATRIX_SIZE = 64 * MIB
MATRIX_CUT_POINTS = 100       # at least, over all runs
FOUR_GIB = 4 << 30
HUGE_SIZE = FOUR_GIB + 48 * MIB + 12345

NOT_FOUND = -2146697210       # 0x800C0006, the file download's status for a 404
ABORTED = -2147467260         # 0x80004004, a download given up on the sink's word

STOP_BOUND_MS = 2000          # a stopped call returns within this; its natural wait is 30 s
SETTLE = 0.5                  # for a request already on its way to reach the fault server's log
TEXT_STOPPED = "download stopped."

TEXT_CONNECTING = "正在连接下载服务器..."
TEXT_SENDING = "准备下载..."
TEXT_REDIRECTING = "正在重定向..."
TEXT_BEGIN = "开始下载数据"
TEXT_DOWNLOADING = ("正在下载《Ashfall》战网.", "正在下载《Ashfall》战网..",
                    "正在下载《Ashfall》战网...", "正在下载《Ashfall》战网...",
                    "正在下载《Ashfall》战网...", "正在下载《Ashfall》战网...")
SOCKET_CODES = [2, 11, 3, 4, 5]

LOG_CACHE_FAILED = "URLDownloadToCacheFile failed."
LOG_FILE_FAILED = "URLDownloadToFile failed."
LOG_BY_FILE = LOG_CACHE_FAILED + "used URLDownloadToFile() downloaded."
LOG_BY_SOCKET = LOG_CACHE_FAILED + LOG_FILE_FAILED + "used DownloadFileBySocket() downloaded."
LOG_ALL_FAILED = LOG_CACHE_FAILED + LOG_FILE_FAILED + "DownloadFileBySocket failed:"


class Options:
    target = None
    probe = None


def payload(size, seed):
    """Deterministic bytes that no off-by-one can pass unnoticed."""
    return random.Random(seed).randbytes(size)


def digest(data):
    return hashlib.sha256(data).hexdigest()


def explains_download_texts(texts):
    """Whether some rising run of progress steps (tenths of the bar, 0 to
    100, ending at 100) makes the window show exactly these texts: a text is
    shown when a step's remainder by 3 differs from that of the step last
    shown, and the step's remainder by 6 picks the dots. Chunk sizes decide
    which steps a download visits, so every possible run is tried."""
    steps = {0}     # the steps the last shown text may have come from
    for text in texts:
        steps = {step for last in steps for step in range(last + 1, 101)
                 if step % 3 != last % 3 and TEXT_DOWNLOADING[step % 6] == text}
        if not steps:
            return False
    # The last chunk is at step 100 and must not have changed the text again.
    return any(last == 100 or last % 3 == 100 % 3 for last in steps)


def md5_of(path, start=0, end=None):
    """MD5 of a file's bytes from start to end, read in pieces."""
    md5 = hashlib.md5()
    with open(path, "rb") as source:
        source.seek(start)
        left = (end if end is not None else os.path.getsize(path)) - start
        while left > 0:
            piece = source.read(min(left, 8 * MIB))
            if not piece:
                break
            md5.update(piece)
            left -= len(piece)
    return md5.hexdigest()


def files_under(folder):
    """Every file under folder, by relative path, with its MD5."""
    return {str(path.relative_to(folder)): md5_of(path)
            for path in sorted(folder.rglob("*")) if path.is_file()}


@contextlib.contextmanager
def small_filesystem(size):
    """A tmpfs of `size` bytes on a folder of its own, for as long as the
    block runs. It is mounted where every process sees it, Wine's server
    included (the server opens files for the programs under it), so it
    takes root; elsewhere the test is skipped."""
    if os.geteuid() != 0:
        raise unittest.SkipTest("mounting a small file system takes root")
    folder = Path(tempfile.mkdtemp(prefix="fetchlet-small-disk-"))
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d,mode=0777" % size,
                    "fetchlet-small-disk", str(folder)], check=True, timeout=10)
    try:
        yield folder
    finally:
        subprocess.run(["umount", "--lazy", str(folder)], timeout=10)
        folder.rmdir()


def write_marked_sparse_file(path, size, end=None):
    """A file of `size` bytes, holes except for 1 MiB blocks of random
    bytes at its start, its middle, across the 4 GiB line and at its end;
    with `end`, only the bytes before end are written (the file then ends
    there): the source's own start, as an earlier attempt left it."""
    end = size if end is None else end
    with open(path, "wb") as out:
        out.truncate(end)
        for offset in (0, size // 2, FOUR_GIB - MIB // 2, size - MIB):
            block = payload(MIB, offset)[:max(0, end - offset)]
            out.seek(offset)
            out.write(block)
    os.chmod(path, 0o644)


def append_bytes(path, data):
    with open(path, "ab") as out:
        out.write(data)


def closed_port():
    """A loopback port nobody listens on."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class LinuxProbe:
    """The probe run natively; its data folder (URL cache) is per test."""

    def open(self):
        pass

    def close(self):
        pass

    def command(self):
        return [str(Options.probe)]

    def env(self, work):
        env = dict(os.environ)
        appdata = work / "appdata"
        appdata.mkdir(exist_ok=True)
        env["FETCHLET_COMMON_APPDATA"] = str(appdata)
        return env

    def arg(self, path):
        return str(path)

    def host(self, printed):
        return Path(printed)


class WindowsProbe(wine.WineSession):
    """The probe under Wine, in the suite's shared prefix (its URL cache
    lives there too)."""

    def command(self):
        return [wine.wine_command(), str(Options.probe)]

    def env(self, work):
        return dict(self.prefix.env)

    def arg(self, path):
        return wine.windows_path(path)

    def host(self, printed):
        return wine.host_path(self.prefix.path, printed)


class ProbeTestCase(unittest.TestCase):
    """The probe for each test class on the target under test; a scratch
    folder for each test."""

    @classmethod
    def setUpClass(cls):
        cls.probe = LinuxProbe() if Options.target == "linux" else WindowsProbe()
        cls.probe.open()
        cls.addClassCleanup(cls.probe.close)

    def setUp(self):
        self.work = Path(tempfile.mkdtemp(prefix="fetchlet-download-"))
        self.addCleanup(shutil.rmtree, self.work, True)

    def run_probe(self, args, prefix=(), timeout=PROBE_TIMEOUT):
        """One probe run, its command line after prefix; its one line of JSON
        as a dict."""
        return self.probe_result(self.start_probe(args, prefix), args, timeout)

    def start_probe(self, args, prefix=()):
        """A probe run left to go on while the test acts around it."""
        process = subprocess.Popen(list(prefix) + self.probe.command() + args,
                                   env=self.probe.env(self.work), cwd=self.work,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE)
        self.addCleanup(process.kill)
        return process

    def probe_result(self, process, args, timeout=PROBE_TIMEOUT):
        """The end of a probe run: its one line of JSON as a dict."""
        try:
            stdout, stderr = process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.communicate()
            self.fail("the probe did not finish within %d s: %s" % (timeout, args))
        try:
            out = stdout.decode("utf-8")
        except UnicodeDecodeError:
            out = stdout.decode("gbk", "replace")
        lines = [line for line in out.splitlines() if line.startswith("{")]
        self.assertEqual(process.returncode, 0, "probe %s: exit %d\n%s%s" % (
            args, process.returncode, out, stderr.decode("utf-8", "replace")))
        self.assertEqual(len(lines), 1, "probe %s printed:\n%s" % (args, out))
        return json.loads(lines[0])


class DownloadTestCase(ProbeTestCase):
    """nginx and a fault server for each test class, both serving the same
    files."""

    files = {
        "big.bin": payload(BIG_SIZE, 1),
        "smallest.bin": payload(MIN_TOTAL + 1, 2),
        "too-small.bin": payload(MIN_TOTAL, 3),
    }

    @classmethod
    def setUpClass(cls):
        cls.nginx = Nginx().__enter__()
        cls.addClassCleanup(cls.nginx.cleanup)
        for name, data in cls.files.items():
            cls.nginx.put_file(name, data)
        cls.faults = FaultServer(cls.files).__enter__()
        cls.addClassCleanup(cls.faults.stop)
        super().setUpClass()

    def socket(self, url, path, offset=None, receive_ms=None):
        """DownloadFileBySocket once."""
        args = ["socket", url, self.probe.arg(path)]
        if offset is not None:
            args += ["--offset", str(offset)]
        if receive_ms is not None:
            args += ["--receive-ms", str(receive_ms)]
        return self.run_probe(args)

    def download(self, url, dest):
        """DownloadFile, the three methods in turn, with short pauses."""
        return self.run_probe(["file", url, self.probe.arg(dest), "--fast"])

    def assertStoppedInTime(self, result):
        """The call returned after the stop, and soon."""
        self.assertIsNotNone(result["stopped_after_ms"])
        self.assertTrue(0 <= result["stopped_after_ms"] < STOP_BOUND_MS, result["stopped_after_ms"])

    def assertWhole(self, path, name="big.bin"):
        data = Path(path).read_bytes()
        self.assertEqual((len(data), digest(data)), (len(self.files[name]),
                                                     digest(self.files[name])),
                         "%s is not a byte-identical copy of %s" % (path, name))

    def nginx_requests_since(self, count):
        """What nginx recorded after its first `count` requests, once at
        least one more request has finished."""
        wait_until(lambda: len(self.nginx.download_requests()) > count, LOG_TIMEOUT)
        return self.nginx.download_requests()[count:]


class SocketTransferTest(DownloadTestCase):
    """The own client's whole downloads, resumes and progress."""

    def test_whole_file_from_each_source(self):
        cases = [(SOURCES[0], "big.bin"), (SOURCES[1], "big.bin"), (SOURCES[2], "big.bin"),
                 (SOURCES[0], "smallest.bin")]
        for index, (source, name) in enumerate(cases):
            with self.subTest(source=source, name=name):
                path = self.work / ("%d-%s" % (index, name))
                result = self.socket(self.nginx.url(name, source), path)
                self.assertEqual((result["error"], result["offset"]),
                                 ("", len(self.files[name])))
                self.assertWhole(path, name)

    def test_request_is_a_range_from_the_offset_with_close(self):
        path = self.work / "big.bin"
        path.write_bytes(self.files["big.bin"][:CUT_AT])
        url_path = "/serve/big.bin"
        result = self.socket(self.faults.url(url_path), path, offset=CUT_AT)
        self.assertEqual(result["error"], "")
        self.assertWhole(path)
        [request] = self.faults.requests_for(url_path)
        self.assertEqual(request.line, "GET %s HTTP/1.1" % url_path)
        self.assertEqual([(k.lower(), v) for k, v in request.headers],
                         [("host", "127.0.0.1"), ("range", "bytes=%d-" % CUT_AT),
                          ("connection", "close")])

    def test_cut_download_resumes_from_nginx(self):
        path = self.work / "big.bin"
        first = self.socket(self.faults.url("/cut/%d/big.bin" % CUT_AT), path)
        self.assertEqual((first["error"], first["offset"]), ("recv 0", CUT_AT))
        self.assertEqual(path.read_bytes(), self.files["big.bin"][:CUT_AT])

        before = len(self.nginx.download_requests())
        second = self.socket(self.nginx.url("big.bin"), path, offset=first["offset"])
        self.assertEqual((second["error"], second["offset"]), ("", BIG_SIZE))
        self.assertWhole(path)
        self.assertEqual([r.range for r in self.nginx_requests_since(before)],
                         ["bytes=%d-" % CUT_AT])
        self.assertEqual(second["codes"], SOCKET_CODES)
        # Progress counts from the start of the file, not of this attempt.
        self.assertEqual(second["last_progress"], [BIG_SIZE, BIG_SIZE])

    def test_resume_against_a_server_that_sends_the_whole_file(self):
        """A 200 to the range, or a 206 from byte 0: the file starts over."""
        for url_path in ("/ignore-range/big.bin", "/range-from/0/big.bin"):
            with self.subTest(url_path):
                path = self.work / "big.bin"
                path.write_bytes(self.files["big.bin"][:CUT_AT])
                result = self.socket(self.faults.url(url_path), path, offset=CUT_AT)
                self.assertEqual((result["error"], result["offset"]), ("", BIG_SIZE))
                self.assertWhole(path)
                self.assertEqual(self.faults.requests_for(url_path)[0].range,
                                 "bytes=%d-" % CUT_AT)

    def test_progress_codes_texts_and_bar(self):
        path = self.work / "big.bin"
        result = self.socket(self.nginx.url("big.bin"), path)
        self.assertEqual(result["error"], "")
        self.assertEqual(result["codes"], SOCKET_CODES)
        self.assertEqual(result["last_progress"], [BIG_SIZE, BIG_SIZE])
        self.assertEqual(result["texts"][:4],
                         [TEXT_CONNECTING, TEXT_SENDING, TEXT_REDIRECTING, TEXT_BEGIN])
        self.assertTrue(explains_download_texts(result["texts"][4:]),
                        "no download could show these texts: %s" % result["texts"][4:])
        # The bar moves only when its position changes: 1000 steps at most.
        self.assertTrue(0 < result["bar_moves"] <= 1001, result["bar_moves"])


class Prefix(str):
    """An expected error text of which only the start is fixed (the rest is
    the system's message)."""


class SocketErrorTest(DownloadTestCase):
    """Every error text of the own client that a peer or the local disk can
    provoke, with the offset and the file each failure leaves behind."""

    def test_error_texts(self):
        big = self.files["big.bin"]
        missing_folder = self.work / "no-such-folder" / "big.bin"
        cases = [
            # name, url, error text, offset after, file content after (None:
            # no file), local path when not a fresh one
            ("404", self.nginx.url("missing.bin"), "HttpCode: 404", 0, None),
            ("redirect not followed", self.faults.url("/status/301/big.bin"),
             "HttpCode: 301", 0, None),
            ("no length field", self.faults.url("/no-length/big.bin"),
             "src file too small!", 0, b""),
            ("length field in other case", self.faults.url("/lower-length/big.bin"),
             "src file too small!", 0, b""),
            ("chunked", self.faults.url("/chunked/big.bin"), "src file too small!", 0, b""),
            ("exactly 5 MiB", self.nginx.url("too-small.bin"), "src file too small!", 0, b""),
            ("header of 4096 bytes", self.faults.url("/huge-head/big.bin"),
             "recv http head too big.", 0, None),
            ("cut", self.faults.url("/cut/%d/big.bin" % CUT_AT), "recv 0", CUT_AT,
             big[:CUT_AT]),
            ("stall before the header", self.faults.url("/stall-head/0/big.bin"),
             "recv http head error.", 0, None),
            ("stall inside the header", self.faults.url("/stall-head/20/big.bin"),
             "recv http head error.", 0, None),
            ("stall in the body", self.faults.url("/stall-body/100000/big.bin"),
             "recv() error", 100000, big[:100000]),
            ("refused", "http://127.0.0.1:%d/big.bin" % closed_port(),
             Prefix("connect() error."), 0, None),
            ("no folder for the file", self.nginx.url("big.bin"),
             Prefix("open newfile error!"), 0, None, missing_folder),
            # Bytes that never reached the disk are not held: a resume must
            # ask for them again.
            ("disk full", self.nginx.url("big.bin"), Prefix("write file error!"), 0, None,
             Path("/dev/full")),
        ]
        for name, url, error, offset, content, *path in cases:
            with self.subTest(name):
                path = path[0] if path else self.work / (name.replace(" ", "-") + ".bin")
                result = self.socket(url, path, receive_ms=STALL_RECEIVE_MS)
                if isinstance(error, Prefix):
                    self.assertTrue(result["error"].startswith(error), result["error"])
                else:
                    self.assertEqual(result["error"], error)
                self.assertEqual(result["offset"], offset)
                if content is None:
                    self.assertTrue(not path.exists() or path.is_char_device(),
                                    "%s left a file" % name)
                else:
                    self.assertEqual(path.read_bytes(), content)


    def test_a_length_that_makes_no_total_is_no_length(self):
        """A negative length, one past the largest total, or digits past 64
        bits (whose first digits would make a length) must not pass for the
        rest of the file."""
        big = self.files["big.bin"]
        late = BIG_SIZE - 500_000
        overflowing = "99999999999999999999"
        cases = [("-1", 0), ("-1", late), ("9223372036854775807", late),
                 (overflowing, 0), (overflowing, late)]
        for length, offset in cases:
            with self.subTest(length=length, offset=offset):
                path = self.work / ("length-%s-%d.bin" % (length, offset))
                path.write_bytes(big[:offset])
                result = self.socket(self.faults.url("/length/%s/big.bin" % length), path,
                                     offset=offset)
                self.assertEqual((result["error"], result["offset"]),
                                 ("src file too small!", offset))
                self.assertEqual(path.read_bytes(), big[:offset])

    def test_a_failed_attempt_leaves_no_space_set_aside(self):
        """A length far past the body makes the Linux build set space aside;
        what the body did not fill is given back when the attempt fails."""
        path = self.work / "big.bin"
        result = self.socket(self.faults.url("/length/%d/big.bin" % (3 << 30)), path)
        self.assertEqual((result["error"], result["offset"]), ("recv 0", BIG_SIZE))
        self.assertWhole(path)
        self.assertLess(path.stat().st_blocks * 512, BIG_SIZE + MIB)


class TricklingPeerTest(DownloadTestCase):
    """A peer that sends a little now and then, each piece within the receive
    limit: the answer head has one limit from the request on and the body a
    speed floor, so the attempt fails in time and the next one resumes; a
    body that stops dead still meets the receive limit. Short limits keep
    the cases quick; the defaults are 30 s each."""

    # name, action, the own client's limits, error text, the limit in ms
    # (how long the attempt may last, give or take), bytes the first attempt
    # leaves (None: some, at most the whole file)
    CASES = [
        ("head trickled a byte a second", "trickle-head:1000", ["--receive-ms", "2000"],
         "recv http head error.", 2000, 0),
        ("body trickled below the floor", "trickle:500",
         ["--receive-ms", "2000", "--min-speed", "4096", "--speed-window-ms", "2000"],
         "recv speed too low", 2000, None),
        ("body stalls mid-way", "stall-body:100000",
         ["--receive-ms", "1000", "--min-speed", "4096", "--speed-window-ms", "2000"],
         "recv() error", 1000, 100000),
    ]
    SLACK_MS = 2000

    def test_one_attempt_ends_within_its_limit(self):
        big = self.files["big.bin"]
        for name, action, limits, error, limit_ms, held in self.CASES:
            with self.subTest(name):
                path = self.work / (name.replace(" ", "-") + ".bin")
                url = self.faults.url("/%s/big.bin" % action.replace(":", "/"))
                result = self.run_probe(["socket", url, self.probe.arg(path)] + limits)
                print("\n%s (%s): %d ms" % (name, Options.target, result["took_ms"]),
                      file=sys.stderr)
                self.assertEqual(result["error"], error)
                self.assertTrue(limit_ms <= result["took_ms"] < limit_ms + self.SLACK_MS,
                                result["took_ms"])
                if held == 0:
                    self.assertEqual((result["offset"], path.exists()), (0, False))
                    continue
                data = path.read_bytes()
                # What came stays, and the offset says so.
                self.assertEqual(result["offset"], len(data))
                self.assertTrue(0 < len(data) < BIG_SIZE, len(data))
                self.assertEqual(data, big[:len(data)])
                if held is not None:
                    self.assertEqual(len(data), held)

    def test_the_next_attempt_resumes(self):
        for name, action, limits, error, limit_ms, held in self.CASES:
            with self.subTest(name):
                script = "next-" + name.replace(" ", "-")
                self.faults.script(script, ["status:500"] * SYSTEM_REQUESTS + [action, "serve"])
                url_path = "/script/%s/big.bin" % script
                dest = self.work / (script + ".bin")
                result = self.run_probe(["file", self.faults.url(url_path), self.probe.arg(dest),
                                         "--fast"] + limits)
                self.assertEqual((result["status"], result["log"]), (0, LOG_BY_SOCKET))
                self.assertWhole(dest)
                first, second = self.faults.requests_for(url_path)[SYSTEM_REQUESTS:]
                print("\n%s (%s), attempt to attempt: %d ms" % (
                    name, Options.target, (second.time - first.time) * 1000), file=sys.stderr)
                self.assertLess(second.time - first.time, (limit_ms + self.SLACK_MS) / 1000)
                self.assertEqual(first.range, "bytes=0-")
                if held is not None:
                    self.assertEqual(second.range, "bytes=%d-" % held)
                else:
                    self.assertTrue(0 < second.range_start < BIG_SIZE, second.range)


class FallbackTest(DownloadTestCase):
    """DownloadFile: the URL cache, then the file download, then the own
    client, and what each way out leaves in the log text."""

    def test_cache_download_works_at_once(self):
        self.nginx.put_file("cached.bin", self.files["big.bin"])
        dest = self.work / "dest.bin"
        result = self.download(self.nginx.url("cached.bin"), dest)
        self.assertEqual((result["status"], result["log"]), (0, ""))
        output = self.probe.host(result["output"])
        # The file is used where the cache holds it, never copied.
        self.assertNotEqual(output.resolve(), dest.resolve())
        if Options.target == "linux":
            self.assertTrue(output.resolve().is_relative_to(
                (self.work / "appdata" / "Tarn.net" / "UrlCache").resolve()), output)
        self.assertWhole(output)

    def test_later_methods_take_over(self):
        """The fault server fails the first requests; each method makes one
        request per attempt, 10 for the cache, 1 for the file download."""
        cases = [
            # first failing requests, log text, requests in all
            (10, LOG_BY_FILE, 11),
            (11, LOG_BY_SOCKET, 12),
        ]
        for failures, log, requests in cases:
            with self.subTest(failures=failures):
                url_path = "/fail-first/%d/500/big.bin" % failures
                dest = self.work / ("dest-%d.bin" % failures)
                result = self.download(self.faults.url(url_path), dest)
                self.assertEqual((result["status"], result["log"]), (0, log))
                self.assertEqual(self.probe.host(result["output"]).resolve(), dest.resolve())
                self.assertWhole(dest)
                self.assertEqual(len(self.faults.requests_for(url_path)), requests)

    def test_socket_attempts_resume_each_other(self):
        """Every method-3 attempt asks for the rest of the file and appends;
        an answer from another place than asked makes the file start over."""
        cut = "cut:%d" % CUT_AT
        cases = [
            # script name, answers after the first two methods, ranges asked
            ("cut-twice", [cut, cut, "serve"],
             ["bytes=0-", "bytes=%d-" % CUT_AT, "bytes=%d-" % (2 * CUT_AT)]),
            ("answer-from-elsewhere", [cut, "range-from:%d" % (2 * CUT_AT), "serve"],
             ["bytes=0-", "bytes=%d-" % CUT_AT, "bytes=0-"]),
            ("range-ignored-on-the-third-attempt", [cut, cut, "ignore-range"],
             ["bytes=0-", "bytes=%d-" % CUT_AT, "bytes=%d-" % (2 * CUT_AT)]),
            ("stall-mid-body", [cut, "stall-body:%d" % CUT_AT, "serve"],
             ["bytes=0-", "bytes=%d-" % CUT_AT, "bytes=%d-" % (2 * CUT_AT)]),
            # The bytes after the announced length are not the file's.
            ("more-than-announced", [cut, "overlong:300000"],
             ["bytes=0-", "bytes=%d-" % CUT_AT]),
        ]
        for name, answers, ranges in cases:
            with self.subTest(name):
                self.faults.script(name, ["status:500"] * 11 + answers)
                url_path = "/script/%s/big.bin" % name
                dest = self.work / (name + ".bin")
                result = self.download(self.faults.url(url_path), dest)
                self.assertEqual((result["status"], result["log"]), (0, LOG_BY_SOCKET))
                self.assertWhole(dest)
                self.assertEqual([r.range for r in self.faults.requests_for(url_path)[11:]],
                                 ranges)

    def test_an_attempt_resumes_from_what_the_file_truly_holds(self):
        """The partial file removed, cut or grown while the own client pauses
        between attempts: the next one asks from the file's true size (from
        the start when bytes not its own were added), says so in the log, and
        the file ends whole."""
        cut = 300_000
        cases = [
            # name, what happens to the file, the next range's start, log text
            ("removed", lambda path: path.unlink(), 0, "partial file gone, started over."),
            ("cut", lambda path: os.truncate(path, cut), cut,
             "partial file shorter (%d bytes on disk, %d held), resumed from its end." % (cut, CUT_AT)),
            ("grown", lambda path: append_bytes(path, payload(500_000, 6)), 0,
             "partial file longer (%d bytes on disk, %d held), started over." % (
                 CUT_AT + 500_000, CUT_AT)),
        ]
        whole = hashlib.md5(self.files["big.bin"]).hexdigest()
        for name, change, start, log in cases:
            with self.subTest(name):
                script = "changed-" + name
                self.faults.script(script, ["status:500"] * SYSTEM_REQUESTS + ["cut:%d" % CUT_AT, "serve"])
                url_path = "/script/%s/big.bin" % script
                dest = self.work / (script + ".bin")
                args = ["file", self.faults.url(url_path), self.probe.arg(dest), "--fast",
                        "--socket-pause-ms", "3000"]
                probe = self.start_probe(args)
                # The first attempt is over once the client has closed its
                # connection; the pause before the next one has begun.
                requests = lambda: self.faults.requests_for(url_path)[SYSTEM_REQUESTS:]
                self.assertTrue(wait_until(lambda: requests() and requests()[0].done.is_set(), 60),
                                "no first attempt of the own client")
                self.assertEqual(dest.stat().st_size, CUT_AT)
                change(dest)
                result = self.probe_result(probe, args)
                self.assertEqual([r.range for r in requests()], ["bytes=0-", "bytes=%d-" % start],
                                 "the second attempt did not ask from the file's true size")
                self.assertEqual((result["status"], result["log"]),
                                 (0, LOG_CACHE_FAILED + LOG_FILE_FAILED + log
                                  + "used DownloadFileBySocket() downloaded."))
                self.assertEqual(md5_of(dest), whole)

    def test_every_method_fails(self):
        dest = self.work / "dest.bin"
        result = self.download(self.nginx.url("nowhere.bin"), dest)
        self.assertEqual((result["status"], result["log"]),
                         (NOT_FOUND, LOG_ALL_FAILED + "HttpCode: 404"))
        self.assertEqual(self.probe.host(result["output"]).resolve(), dest.resolve())


class StopTest(DownloadTestCase):
    """A transfer told to stop (the run has ended) returns within moments
    wherever it waits, with the stop's status and text, makes no further
    request and leaves the own client's file and offset in step. Every wait
    here would otherwise last 30 s (the default limits) or far longer."""

    def test_own_client_stops_in_every_stage(self):
        big = self.files["big.bin"]
        cases = [
            # name, answer, how many bytes the file may hold after (None: no file)
            ("head stalls", "/stall-head/20/big.bin", None),
            ("body stalls", "/stall-body/100000/big.bin", range(100000, 100001)),
            # Bytes keep coming, so no wait ever runs out.
            ("body trickles", "/trickle/20/big.bin", range(1, BIG_SIZE)),
        ]
        for name, url_path, held in cases:
            with self.subTest(name):
                path = self.work / (name.replace(" ", "-") + ".bin")
                result = self.run_probe(["socket", self.faults.url(url_path), self.probe.arg(path),
                                         "--stop-after-ms", "700"])
                self.assertEqual(result["error"], TEXT_STOPPED)
                self.assertStoppedInTime(result)
                if held is None:
                    self.assertEqual((result["offset"], path.exists()), (0, False))
                    continue
                data = path.read_bytes()
                # The offset says what the file holds, and that is the source's start.
                self.assertEqual(result["offset"], len(data))
                self.assertIn(len(data), held)
                self.assertEqual(data, big[:len(data)])

    def test_each_method_stops_and_tries_no_more(self):
        big = self.files["big.bin"]
        cache_failed = ["status:500"] * 10
        system_failed = ["status:500"] * SYSTEM_REQUESTS
        by_socket = LOG_CACHE_FAILED + LOG_FILE_FAILED + TEXT_STOPPED
        # A stop after the failing requests: Wine's transfers start slower.
        late_ms = 2000 if Options.target == "linux" else 5000
        cases = [
            # name, answers, retry pause ms, stop after ms, log, requests in
            # all, how many bytes of the source the destination may hold
            # after (None: not looked at)
            ("URL cache, body stalls", ["stall-body:100000"], 10, 1000, TEXT_STOPPED, 1, None),
            ("URL cache, body trickles", ["trickle:20"], 10, 1000, TEXT_STOPPED, 1, None),
            ("retry pause", ["status:500"], 60000, 1000, TEXT_STOPPED, 1, None),
            ("file download, body stalls", cache_failed + ["stall-body:100000"], 10, late_ms,
             LOG_CACHE_FAILED + TEXT_STOPPED, 11, None),
            ("own client, head stalls", system_failed + ["stall-head:20"], 10, late_ms,
             by_socket, 12, None),
            ("own client, body stalls", system_failed + ["stall-body:100000"], 10, late_ms,
             by_socket, 12, range(100000, 100001)),
            ("own client, body trickles after a cut", system_failed + ["cut:300000", "trickle:20"],
             10, late_ms, by_socket, 13, range(300001, BIG_SIZE)),
        ]
        for name, answers, pause_ms, stop_ms, log, requests, held in cases:
            with self.subTest(name):
                script = "stop-" + name.replace(" ", "-").replace(",", "")
                self.faults.script(script, answers)
                url_path = "/script/%s/big.bin" % script
                dest = self.work / (script + ".bin")
                result = self.run_probe(["file", self.faults.url(url_path), self.probe.arg(dest),
                                         "--pause-ms", str(pause_ms),
                                         "--stop-after-ms", str(stop_ms)])
                self.assertEqual((result["status"], result["log"]), (ABORTED, log))
                self.assertStoppedInTime(result)
                time.sleep(SETTLE)
                self.assertEqual(len(self.faults.requests_for(url_path)), requests,
                                 "the requests show the stop came elsewhere, or a new attempt")
                if held is None:
                    continue
                data = dest.read_bytes()
                self.assertIn(len(data), held)
                self.assertEqual(data, big[:len(data)])


class ResumeMatrixTest(ProbeTestCase):
    """The own client's attempts of one DownloadFile against connections cut
    at random points of a 64 MiB file: every run ends with a byte-identical
    file or with the failure text and the file's true start, never with a
    wrong file taken for a whole one. FETCHLET_MATRIX_SEED replays a run."""

    @classmethod
    def setUpClass(cls):
        cls.data = payload(MATRIX_SIZE, 4)
        cls.faults = FaultServer({"matrix.bin": memoryview(cls.data)}).__enter__()
        cls.addClassCleanup(cls.faults.stop)
        super().setUpClass()

    def test_random_cut_points(self):
        seed = int(os.environ.get("FETCHLET_MATRIX_SEED")
                   or random.SystemRandom().randrange(1 << 32))
        draw = random.Random(seed)
        runs = []
        while sum(map(len, runs)) < MATRIX_CUT_POINTS:
            # Many cuts per run keep the runs few; up to one more cut than
            # there are attempts, so that some runs must fail.
            count = draw.randint(SOCKET_ATTEMPTS // 2 + 1, SOCKET_ATTEMPTS + 1)
            runs.append(sorted(draw.randrange(MATRIX_SIZE) for _ in range(count)))
        print("\nresume matrix: seed %d, %d runs, %d cut points" % (
            seed, len(runs), sum(map(len, runs))), file=sys.stderr)
        whole = hashlib.md5(self.data).hexdigest()
        for index, cuts in enumerate(runs):
            with self.subTest(seed=seed, run=index, cuts=cuts):
                name = "run-%d" % index
                answers = ["cut:%d" % (point - held) for held, point in zip([0] + cuts, cuts)]
                self.faults.script(name, ["status:500"] * SYSTEM_REQUESTS + answers + ["serve"])
                url_path = "/script/%s/matrix.bin" % name
                dest = self.work / (name + ".bin")
                result = self.run_probe(["file", self.faults.url(url_path),
                                         self.probe.arg(dest), "--fast"])
                # Each attempt asks for the rest from where the last one ended.
                starts = ([0] + cuts)[:SOCKET_ATTEMPTS]
                self.assertEqual(
                    [r.range for r in self.faults.requests_for(url_path)[SYSTEM_REQUESTS:]],
                    ["bytes=%d-" % start for start in starts])
                if len(cuts) < SOCKET_ATTEMPTS:
                    self.assertEqual((result["status"], result["log"]), (0, LOG_BY_SOCKET))
                    self.assertEqual(md5_of(dest), whole)
                else:
                    self.assertNotEqual(result["status"], 0)
                    self.assertEqual(result["log"], LOG_ALL_FAILED + "recv 0")
                    self.assertEqual(dest.read_bytes(),
                                     self.data[:cuts[SOCKET_ATTEMPTS - 1]])
                dest.unlink(missing_ok=True)


class FullDiskTest(DownloadTestCase):
    """The own client writing onto a small file system that fills up."""

    def test_a_full_disk_fails_the_attempts_and_touches_nothing_else(self):
        big = self.files["big.bin"]
        with small_filesystem(8 * MIB) as disk:
            (disk / "keep.txt").write_bytes(b"the user's own file\n")
            (disk / "folder").mkdir()
            (disk / "folder" / "filler.bin").write_bytes(payload(5 * MIB, 5))
            before = files_under(disk)
            dest = disk / "big.bin"
            # The system's methods fail first, as the road meets them.
            url_path = "/fail-first/%d/500/big.bin" % SYSTEM_REQUESTS
            result = self.download(self.faults.url(url_path), dest)
            self.assertNotEqual(result["status"], 0)
            self.assertTrue(result["log"].startswith(LOG_ALL_FAILED + "write file error!"),
                            result["log"])
            held = dest.read_bytes()
            self.assertTrue(0 < len(held) < BIG_SIZE, len(held))
            self.assertEqual(held, big[:len(held)])
            after = files_under(disk)
            del after["big.bin"]
            self.assertEqual(after, before)
            # Every attempt after the first asked for what the file lacked.
            self.assertEqual(
                [r.range for r in self.faults.requests_for(url_path)[SYSTEM_REQUESTS:]],
                ["bytes=0-"] + ["bytes=%d-" % len(held)] * (SOCKET_ATTEMPTS - 1))

            # With room again, the next attempt completes the file from there.
            (disk / "folder" / "filler.bin").unlink()
            result = self.socket(self.nginx.url("big.bin"), dest, offset=len(held))
            self.assertEqual((result["error"], result["offset"]), ("", BIG_SIZE))
            self.assertWhole(dest)


class LargeFileTest(DownloadTestCase):
    """A file over 4 GiB (sparse), cut past the 4 GiB line and resumed from
    nginx: offsets, the range asked and the bar stay right."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.source = cls.nginx.source_folder(0) / "huge.bin"
        write_marked_sparse_file(cls.source, HUGE_SIZE)
        with open(cls.source, "rb") as source:
            mapped = mmap.mmap(source.fileno(), 0, access=mmap.ACCESS_READ)
        cls.addClassCleanup(mapped.close)
        view = memoryview(mapped)
        cls.addClassCleanup(view.release)
        cls.huge_faults = FaultServer({"huge.bin": view}).__enter__()
        cls.addClassCleanup(cls.huge_faults.stop)

    def test_cut_past_4_gib_then_resumed(self):
        start = FOUR_GIB - 3 * MIB - 7
        cut = 5 * MIB + 11
        path = self.work / "huge.bin"
        write_marked_sparse_file(path, HUGE_SIZE, end=start)

        first = self.socket(self.huge_faults.url("/cut/%d/huge.bin" % cut), path, offset=start)
        self.assertEqual((first["error"], first["offset"]), ("recv 0", start + cut))
        self.assertEqual(path.stat().st_size, start + cut)
        self.assertEqual([r.range for r in self.huge_faults.requests_for("/cut/%d/huge.bin" % cut)],
                         ["bytes=%d-" % start])
        # The bar shows the share of the whole file held.
        self.assertAlmostEqual(first["bar_last"], (start + cut) * 1000 // HUGE_SIZE, delta=1)

        before = len(self.nginx.download_requests())
        second = self.socket(self.nginx.url("huge.bin"), path, offset=start + cut)
        self.assertEqual((second["error"], second["offset"]), ("", HUGE_SIZE))
        self.assertEqual([r.range for r in self.nginx_requests_since(before)],
                         ["bytes=%d-" % (start + cut)])
        done, total = second["last_progress"]
        self.assertEqual(done, total)
        self.assertGreaterEqual(total, HUGE_SIZE // 2)
        self.assertEqual(second["bar_last"], 1000)
        self.assertEqual(path.stat().st_size, HUGE_SIZE)
        self.assertEqual(md5_of(path, start - MIB), md5_of(self.source, start - MIB))


def main():
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--target", choices=["linux", "windows"], required=True)
    parser.add_argument("--probe", required=True, type=Path,
                        help="build/linux/tests/download_probe or "
                             "build/windows/tests/download_probe.exe")
    args, rest = parser.parse_known_args(sys.argv[1:])
    Options.target = args.target
    Options.probe = args.probe.resolve()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
