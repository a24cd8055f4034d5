"""The install road's own overhead on Linux: the real program installs a
64 MiB installer from the local nginx in direct-install mode (every source
healthy, the shipped waits), and its wall time is split into what others
take (the transfer, timed with curl on the same file in the same round; the
installer's own run; the platform's answer to the launch wait, which the
road polls once a second) and what is left: the road's own overhead. Prints
figures only; fails only when something broke.

  python3 bench/road_overhead.py [--program build/linux/fetchlet]
      [--fixture build/linux/tests/fake_client] [--rounds 5]
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

from bi_service import BiService  # noqa: E402  (the tests' peers)
from peers import Nginx  # noqa: E402

MIB = 1 << 20
INSTALLER_NAME = "ashfallbattle_bench.exe"
RUN_TIMEOUT = 300.0


def make_installer(fixture, path, size):
    """The installer fixture, padded to the size: an executable still runs
    with data after its end."""
    data = fixture.read_bytes()
    with open(path, "wb") as out:
        out.write(data)
        out.truncate(max(size, len(data)))



def one_round(args, nginx, work, number, curl):
    data = work / ("data%d" % number)
    base = work / ("base%d" % number)
    data.mkdir()
    os.chmod(data, 0o777)
    before = len(nginx.stats_requests())

    out = work / "curl.out"
    start = time.monotonic()
    subprocess.run([curl, "-s", "-o", str(out), nginx.url(INSTALLER_NAME)], check=True,
                   timeout=RUN_TIMEOUT)
    transfer = time.monotonic() - start
    out.unlink()

    env = dict(os.environ, FETCHLET_COMMON_APPDATA=str(data), FETCHLET_FIXTURE_PLATFORM_MS="1000")
    start = time.monotonic()
    code = subprocess.run([str(args.program), "--IDIR", str(base)], env=env, cwd=work,
                          stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=RUN_TIMEOUT).returncode
    wall = time.monotonic() - start
    if code != 0:
        sys.exit("round %d: the program ended with %d" % (number, code))
    deadline = time.monotonic() + 5
    while len(nginx.stats_requests()) < before + 8 and time.monotonic() < deadline:
        time.sleep(0.05)
    requests = nginx.stats_requests()[before:]
    events = [r.data_type for r in requests]
    if events != [101, 1, 3, 4, 6, 7, 100, 103]:
        sys.exit("round %d: events %s" % (number, events))
    times = {}
    for request in requests:
        times.setdefault(request.data_type, int(request.fields["ts"]))
    installer = (times[6] - times[4]) / 1000.0
    launch_wait = (times[100] - times[7]) / 1000.0
    overhead = wall - transfer - installer - launch_wait
    shutil.rmtree(base, ignore_errors=True)
    return {"wall": wall, "transfer": transfer, "download step": (times[3] - times[1]) / 1000.0,
            "installer": installer, "launch wait": launch_wait, "overhead": overhead}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", type=Path, default=ROOT / "build/linux/fetchlet")
    parser.add_argument("--fixture", type=Path, default=ROOT / "build/linux/tests/fake_client")
    parser.add_argument("--size-mib", type=int, default=64)
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    args.program = args.program.resolve()   # the runs start in a folder of their own
    args.fixture = args.fixture.resolve()
    curl = shutil.which("curl")
    if not args.program.exists() or not args.fixture.exists() or not curl:
        sys.exit("needs %s, %s and curl" % (args.program, args.fixture))

    work = Path(tempfile.mkdtemp(prefix="fetchlet-road-bench-"))
    os.chmod(work, 0o755)
    try:
        with Nginx(prefix=work / "nginx") as nginx, BiService():
            installer = work / "installer.bin"
            make_installer(args.fixture, installer, args.size_mib * MIB)
            nginx.put_file("clienturl.ini", INSTALLER_NAME.encode())
            nginx.put_file(INSTALLER_NAME, installer.read_bytes())
            print("road overhead: %d MiB installer, %d rounds" % (args.size_mib, args.rounds))
            rounds = []
            for number in range(args.rounds):
                figures = one_round(args, nginx, work, number, curl)
                rounds.append(figures)
                print("  round %d: " % number + ", ".join(
                    "%s %.3f s" % (name, value) for name, value in figures.items()), flush=True)
            print("medians:")
            for name in rounds[0]:
                print("  %-14s %.3f s" % (name, statistics.median(r[name] for r in rounds)))
            median_overhead = statistics.median(r["overhead"] for r in rounds)
            print("road overhead (wall - transfer - installer - launch wait): %.3f s"
                  % median_overhead, flush=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
