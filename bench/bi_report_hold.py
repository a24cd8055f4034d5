"""How long one forwarded statistics report holds its thread on the BI
channel: the probe's `report` (an initialisation, then the event) in a fresh
process, against the local HTTPS service that answers, with nothing
listening on its port, and with a service that accepts and never answers.
Prints the median and the spread of a few runs each; figures only, it fails
only when something broke (a service that does not start, a probe that
fails).

  python3 bench/bi_report_hold.py [--probe build/linux/tests/bi_probe] [--runs 5]
"""

import argparse
import contextlib
import json
import statistics
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

from bi_service import INIT_PATH, REPORT_PATH, BiService, hold  # noqa: E402

RUN_TIMEOUT = 60.0


def report_ms(probe):
    """The time the probe's one report took, as it measured it."""
    result = subprocess.run([str(probe), "report", "6", ""], stdin=subprocess.DEVNULL,
                            capture_output=True, timeout=RUN_TIMEOUT, check=True)
    [line] = [json.loads(text) for text in result.stdout.decode("utf-8", "replace").splitlines()
              if text.startswith("{")]
    return line["ms"]


@contextlib.contextmanager
def scenario(name):
    if name == "service answers":
        with BiService():
            yield
    elif name == "nothing listens":
        # Start once so the CA file the client trusts is in place, then stop.
        with BiService():
            pass
        yield
    else:
        with BiService() as service:
            service.script(INIT_PATH, [hold()])
            service.script(REPORT_PATH, [hold()])
            yield


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--probe", type=Path, default=ROOT / "build/linux/tests/bi_probe")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()

    print("%-18s %10s %10s %10s   (ms a report holds its thread: init + event)"
          % ("service", "median", "min", "max"))
    for name in ("service answers", "nothing listens", "never answers"):
        with scenario(name):
            times = [report_ms(args.probe) for _ in range(args.runs)]
        print("%-18s %10.0f %10d %10d" % (name, statistics.median(times), min(times),
                                           max(times)), flush=True)


if __name__ == "__main__":
    main()
