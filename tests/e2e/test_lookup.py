"""End-to-end test of the own HTTP client's name look-up against a name server
that never answers: the download probe, run with that server as its only
resolver (a private resolv.conf in a mount namespace), must give up at its
connect limit, or at its whole-call limit when that ends first, with the
look-up's error text, and at once when told to stop. The system's resolver
alone would wait for minutes.

  python3 test_lookup.py --target linux --probe build/linux/tests/download_probe
  python3 test_lookup.py --target windows --probe build/windows/tests/download_probe.exe
"""

import errno
import os
import time

from dns_sink import DnsSink
from test_download import (ABORTED, STOP_BOUND_MS, TEXT_STOPPED, Options, ProbeTestCase,
                           main)

LIMIT = 1.5             # seconds: the limit that must end each look-up
EARLY = 0.1             # the probe may end this much before it (timer grain)
SLACK = 1.5             # process start-up (Wine's too) and exit after the limit
PROBE_TIMEOUT = 60.0    # far below the resolver's own wait, far above the limit
ERROR_START = "gethostbyname() error."
STOP_AFTER_MS = 1500    # the stop comes while the look-up waits on the sink


class LookupTest(ProbeTestCase):
    """The name server sink for the class, the probe run under its private
    resolv.conf."""

    @classmethod
    def setUpClass(cls):
        cls.sink = DnsSink().__enter__()
        cls.addClassCleanup(cls.sink.__exit__)
        super().setUpClass()

    def test_unanswered_look_up_ends_at_the_limit(self):
        ms = str(int(LIMIT * 1000))
        cases = [
            # name, limits; each case asks a name of its own
            ("connect", ["--connect-ms", ms]),
            ("whole-call", ["--connect-ms", "600000", "--total-ms", ms]),
        ]
        for name, limits in cases:
            with self.subTest(name):
                host = "%s.swallowed.fetchlet.test" % name
                path = self.work / (name + ".bin")
                args = ["socket", "http://%s:8040/x" % host, self.probe.arg(path)] + limits
                started = time.monotonic()
                result = self.run_probe(args, self.sink.prefix(), PROBE_TIMEOUT)
                elapsed = time.monotonic() - started
                print("%s limit: the probe gave up after %.2f s" % (name, elapsed))
                # The resolver really was waiting on the sink: nothing else
                # answered the name.
                self.assertIn(host, self.sink.names())
                if Options.target == "linux":
                    self.assertEqual(result["error"],
                                     ERROR_START + os.strerror(errno.ETIMEDOUT) + "\n")
                else:
                    # Wine has no message text for WSAETIMEDOUT; Windows has.
                    self.assertTrue(result["error"].startswith(ERROR_START), result["error"])
                self.assertEqual((result["offset"], path.exists()), (0, False))
                self.assertGreaterEqual(elapsed, LIMIT - EARLY)
                self.assertLess(elapsed, LIMIT + SLACK)

    def test_stop_ends_an_unanswered_look_up(self):
        """A stop while the name server keeps silent: the own client's
        look-up and the system's transfers (whose limits alone would hold each
        attempt for 15 s, ten times over) give up at once."""
        stop = ["--stop-after-ms", str(STOP_AFTER_MS)]
        cases = [
            # name, probe mode with its options
            ("own-client", ["socket"], ["--connect-ms", "600000"]),
            ("system-methods", ["file"], ["--pause-ms", "10"]),
        ]
        for name, mode, options in cases:
            with self.subTest(name):
                host = "stop-%s.swallowed.fetchlet.test" % name
                path = self.work / (name + ".bin")
                args = mode + ["http://%s:8040/x" % host, self.probe.arg(path)] + options + stop
                result = self.run_probe(args, self.sink.prefix(), PROBE_TIMEOUT)
                print("%s: returned %d ms after the stop" % (name, result["stopped_after_ms"]))
                self.assertIn(host, self.sink.names())
                if mode == ["socket"]:
                    self.assertEqual((result["error"], result["offset"]), (TEXT_STOPPED, 0))
                else:
                    self.assertEqual((result["status"], result["log"]), (ABORTED, TEXT_STOPPED))
                self.assertTrue(0 <= result["stopped_after_ms"] < STOP_BOUND_MS,
                                result["stopped_after_ms"])


if __name__ == "__main__":
    main()
