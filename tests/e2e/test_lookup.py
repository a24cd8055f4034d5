"""End-to-end test of the own HTTP client's name look-up against a name server
that never answers: the download probe, run with that server as its only
resolver (a private resolv.conf in a mount namespace), must give up at its
connect limit, or at its whole-call limit when that ends first, with the
look-up's error text. The system's resolver alone would wait for minutes.

  python3 test_lookup.py --target linux --probe build/linux/tests/download_probe
  python3 test_lookup.py --target windows --probe build/windows/tests/download_probe.exe
"""

import errno
import os
import time

from dns_sink import DnsSink
from test_download import Options, ProbeTestCase, main

LIMIT = 1.5             # seconds: the limit that must end each look-up
EARLY = 0.1             # the probe may end this much before it (timer grain)
SLACK = 1.5             # process start-up (Wine's too) and exit after the limit
PROBE_TIMEOUT = 60.0    # far below the resolver's own wait, far above the limit
ERROR_START = "gethostbyname() error."


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


if __name__ == "__main__":
    main()
