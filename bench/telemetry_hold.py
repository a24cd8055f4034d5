"""What telemetry costs the user, with nginx answering as the statistics
server and the HTTPS BI service answering, refusing connections, or
accepting them and never answering:

  - the time from start to the window (the terminal front end's title line);
  - how long one report holds the thread that reports it;
  - how long the exit report waits for the sender (bounded at 5 s).

Medians and spreads of a few runs each; figures only, it fails only when
something broke (a service that does not start, a program that fails).

  python3 bench/telemetry_hold.py [--program build/linux/fetchlet]
      [--probe build/linux/tests/report_probe] [--runs 5]
"""

import argparse
import contextlib
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

from bi_service import INIT_PATH, REPORT_PATH, BiService, hold  # noqa: E402
from peers import Nginx  # noqa: E402

RUN_TIMEOUT = 60.0
TITLE_MARK = b"Ashfall"
REPORTS = ["1", "source 0", "2", "failed", "3", "done", "5", "failed", "6", ""]


@contextlib.contextmanager
def bi_mode(name):
    if name == "refuses":
        # Start once so the CA file the client trusts is in place, then stop.
        with BiService():
            pass
        yield
        return
    with BiService() as service:
        if name == "never answers":
            service.script(INIT_PATH, [hold()])
            service.script(REPORT_PATH, [hold()])
        yield


def fresh_env(folder):
    env = dict(os.environ, FETCHLET_COMMON_APPDATA=str(folder))
    env.setdefault("LANG", "C.UTF-8")
    return env


def window_seconds(program):
    """Start to the title line, then the window closed (end of input)."""
    with tempfile.TemporaryDirectory(prefix="fetchlet-bench-") as folder:
        err_path = Path(folder) / "stderr"
        with open(err_path, "wb") as err:
            start = time.monotonic()
            process = subprocess.Popen([str(program)], cwd=folder, env=fresh_env(folder),
                                       stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=err)
        try:
            deadline = start + RUN_TIMEOUT
            while TITLE_MARK not in err_path.read_bytes():
                if process.poll() is not None or time.monotonic() > deadline:
                    raise RuntimeError("no window: " + err_path.read_text(errors="replace"))
                time.sleep(0.001)
            seconds = time.monotonic() - start
            process.stdin.close()
            process.wait(RUN_TIMEOUT)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait(10)
    return seconds


def probe_run(probe):
    with tempfile.TemporaryDirectory(prefix="fetchlet-bench-") as folder:
        result = subprocess.run([str(probe), "reports"] + REPORTS, cwd=folder, env=fresh_env(folder),
                                stdin=subprocess.DEVNULL, capture_output=True,
                                timeout=RUN_TIMEOUT, check=True)
    [line] = [json.loads(text) for text in result.stdout.decode("utf-8", "replace").splitlines()
              if text.startswith("{")]
    return line


def spread(values, unit_format):
    return "%s (%s-%s)" % tuple(unit_format % v for v in (statistics.median(values), min(values),
                                                          max(values)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", type=Path, default=ROOT / "build/linux/fetchlet")
    parser.add_argument("--probe", type=Path, default=ROOT / "build/linux/tests/report_probe")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    # The runs start in folders of their own.
    args.program, args.probe = args.program.resolve(), args.probe.resolve()

    print("%-14s %-26s %-26s %-26s" % ("BI service", "start to window, ms",
                                       "one report holds, us", "exit report waits, ms"))
    with Nginx():
        for name in ("answers", "refuses", "never answers"):
            with bi_mode(name):
                windows = [window_seconds(args.program) * 1000 for _ in range(args.runs)]
                runs = [probe_run(args.probe) for _ in range(args.runs)]
            holds = [ms * 1000 for run in runs for ms in run["report_ms"]]
            exits = [run["exit_ms"] for run in runs]
            print("%-14s %-26s %-26s %-26s" % (name, spread(windows, "%.1f"), spread(holds, "%.1f"),
                                               spread(exits, "%.0f")), flush=True)


if __name__ == "__main__":
    main()
