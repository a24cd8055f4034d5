"""The own HTTP client against curl: both download the same large file from
the local nginx (the tree's configuration, 127.0.0.1:8040), in turns, and
each child's wall time, CPU time and peak memory are printed with the ratios
of the medians. Prints figures only; it fails only when something broke (a
server that does not start, a download that fails or comes out wrong).

  python3 bench/socket_vs_curl.py [--probe build/linux/tests/download_probe]
"""

import argparse
import json
import os
import random
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

from peers import Nginx  # noqa: E402  (the tests' nginx helper)

MIB = 1 << 20
RUN_TIMEOUT = 600.0       # one download of the file
SAMPLES = 8               # blocks of each copy compared with the source
BAR_LIMIT = 1001          # positions 0 to 1000, each at most once


def make_file(path, size, seed=20250415):
    """Random-looking data made quickly: one random block, each copy of it
    stamped with its own index so no two blocks are alike."""
    block = bytearray(random.Random(seed).randbytes(MIB))
    with open(path, "wb") as out:
        for index in range(size // MIB):
            block[:8] = index.to_bytes(8, "little")
            out.write(block)
        out.write(bytes(block[:size % MIB]))
    os.chmod(path, 0o644)


def same_samples(source, copy, size):
    """Compares a few blocks spread over the file, the last one included."""
    if copy.stat().st_size != size:
        return False
    offsets = sorted({min(size - 1, i * size // SAMPLES) for i in range(SAMPLES)} | {size - 1})
    with open(source, "rb") as a, open(copy, "rb") as b:
        for offset in offsets:
            a.seek(offset)
            b.seek(offset)
            if a.read(MIB) != b.read(MIB):
                return False
    return True


def high_water_mib(pid):
    """The process's peak resident size so far (VmHWM), or 0 once it is gone."""
    try:
        with open("/proc/%d/status" % pid) as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) / 1024.0
    except OSError:
        pass
    return 0.0


def measure(command):
    """Runs a child to its end; (wall s, user+sys CPU s, peak RSS MiB, stdout).
    The peak is read from /proc while the child runs: ru_maxrss would count
    the memory of this Python process the child was forked from."""
    with tempfile.TemporaryFile() as out:
        started = time.monotonic()
        child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=out,
                                 stderr=subprocess.DEVNULL)
        deadline = started + RUN_TIMEOUT
        peak = 0.0
        while True:
            pid, status, usage = os.wait4(child.pid, os.WNOHANG)
            if pid:
                break
            peak = max(peak, high_water_mib(child.pid))
            if time.monotonic() > deadline:
                child.send_signal(signal.SIGKILL)
                os.wait4(child.pid, 0)
                child.returncode = -9
                raise RuntimeError("%s did not finish within %d s" % (command[0], RUN_TIMEOUT))
            # VmHWM is a high-water mark: a rare look still sees the peak,
            # and a busy poller would take a core from the two it measures.
            time.sleep(0.05)
        wall = time.monotonic() - started
        child.returncode = os.waitstatus_to_exitcode(status)
        if child.returncode != 0:
            raise RuntimeError("%s exited with %d" % (" ".join(command), child.returncode))
        out.seek(0)
        return wall, usage.ru_utime + usage.ru_stime, peak, out.read()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--probe", type=Path, default=ROOT / "build/linux/tests/download_probe")
    parser.add_argument("--size-mib", type=int, default=1024)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    probe = args.probe.resolve()
    curl = shutil.which("curl")
    if not probe.exists() or not curl:
        sys.exit("needs %s and curl" % probe)
    size = args.size_mib * MIB

    work = Path(tempfile.mkdtemp(prefix="fetchlet-bench-"))
    os.chmod(work, 0o755)   # nginx's unprivileged workers read the file through it
    try:
        with Nginx(prefix=work / "nginx") as nginx:
            source = nginx.source_folder(0) / "big.bin"
            print("making a %d MiB file ..." % args.size_mib, flush=True)
            make_file(source, size)
            os.sync()  # the source's own writeback must not fall into a measured run
            url = nginx.url("big.bin")
            out = work / "out.bin"
            commands = {
                "socket": [str(probe), "socket", url, str(out)],
                "curl": [curl, "-s", "-o", str(out), url],
            }
            figures = {name: [] for name in commands}
            bar_moves = []
            # Alternate, so that neither side always meets a warmer cache.
            for round_index in range(args.rounds):
                for name, command in commands.items():
                    wall, cpu, rss, stdout = measure(command)
                    if name == "socket":
                        result = json.loads(stdout.decode("utf-8").strip().splitlines()[-1])
                        if result["error"] or result["offset"] != size:
                            raise RuntimeError("socket download failed: %s" % result["error"])
                        bar_moves.append(result["bar_moves"])
                    if not same_samples(source, out, size):
                        raise RuntimeError("%s's copy differs from the file" % name)
                    out.unlink()
                    # Each run starts with the previous one's pages written
                    # back, so neither pays for the other's writeback.
                    os.sync()
                    figures[name].append((wall, cpu, rss))
                    print("round %d %-6s wall %7.3f s  cpu %7.3f s  rss %7.1f MiB  %8.1f MiB/s"
                          % (round_index + 1, name, wall, cpu, rss, size / MIB / wall), flush=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)

    medians = {name: [statistics.median(values[i] for values in runs) for i in range(3)]
               for name, runs in figures.items()}
    print()
    print("%-8s %12s %12s %12s %12s" % ("median", "wall s", "cpu s", "rss MiB", "MiB/s"))
    for name, (wall, cpu, rss) in medians.items():
        print("%-8s %12.3f %12.3f %12.1f %12.1f" % (name, wall, cpu, rss, size / MIB / wall))
    socket_m, curl_m = medians["socket"], medians["curl"]
    print("socket/curl cpu ratio: %.2f" % (socket_m[1] / curl_m[1] if curl_m[1] else float("inf")))
    print("socket/curl rss ratio: %.2f" % (socket_m[2] / curl_m[2]))
    print("socket bar moves: %s (at most %d: %s)"
          % (", ".join(map(str, bar_moves)), BAR_LIMIT,
             "yes" if max(bar_moves) <= BAR_LIMIT else "NO"))
    print("socket/curl wall ratio: %.2f" % (socket_m[0] / curl_m[0]))


if __name__ == "__main__":
    main()
