"""The own HTTP client against curl, with cp as the disk's write-side limit:
the client and curl download the same large file from the local nginx (the
tree's configuration, 127.0.0.1:8040) and cp copies that file into the same
folder. Each round runs every contender once, in an order shuffled per round
from a printed seed, so that no contender always follows the same one. Each
run's wall time, CPU time and peak memory are printed, then per contender the
median, least and most of each, and the ratios of the medians. Prints figures
only; it fails only when something broke (a server that does not start, a
run that fails, outlives its time-out or leaves a wrong copy).

  python3 bench/socket_vs_curl.py [--probe build/linux/tests/download_probe]
      [--size-mib 1024] [--rounds 7] [--seed N]
"""

import argparse
import json
import os
import random
import select
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
RUN_TIMEOUT = 600.0       # one download or copy of the file
SAMPLES = 8               # blocks of each copy compared with the source
BAR_LIMIT = 1001          # positions 0 to 1000, each at most once
# VmHWM is a high-water mark: a rare look still sees the peak, and a busy
# poller would take a core from the two it measures. The first looks come
# quickly, so that a child done in a few tens of ms (cp) is still seen
# after its exec.
FIRST_LOOK = 0.001
LAST_LOOK = 0.05
DEFAULT_ROUNDS = 7        # enough runs per contender for a median to shrug off a busy moment
FIGURES = ("wall", "cpu", "rss")


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
    The end is taken from the child's pidfd, so the wall time does not
    depend on how often memory is looked at. The peak is read from /proc
    while the child runs: ru_maxrss would count the memory of this Python
    process the child was forked from."""
    with tempfile.TemporaryFile() as out:
        started = time.monotonic()
        child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=out,
                                 stderr=subprocess.DEVNULL)
        deadline = started + RUN_TIMEOUT
        peak = 0.0
        look = FIRST_LOOK
        pidfd = os.pidfd_open(child.pid)
        try:
            while True:
                peak = max(peak, high_water_mib(child.pid))
                left = deadline - time.monotonic()
                if left <= 0:
                    child.send_signal(signal.SIGKILL)
                    os.wait4(child.pid, 0)
                    child.returncode = -9
                    raise RuntimeError("%s did not finish within %d s"
                                       % (command[0], RUN_TIMEOUT))
                if select.select([pidfd], [], [], min(look, left))[0]:
                    break
                look = min(2 * look, LAST_LOOK)
        finally:
            os.close(pidfd)
        wall = time.monotonic() - started
        _, status, usage = os.wait4(child.pid, 0)
        child.returncode = os.waitstatus_to_exitcode(status)
        if child.returncode != 0:
            raise RuntimeError("%s exited with %d" % (" ".join(command), child.returncode))
        out.seek(0)
        return wall, usage.ru_utime + usage.ru_stime, peak, out.read()


def contenders(probe, curl, url, source, out):
    """Each contender's command. cp never clones (--reflink=never): a clone
    shares the source's blocks and writes nothing, and a plain copy reads
    and writes through the page cache as the downloaders do."""
    return {
        "socket": [str(probe), "socket", url, str(out)],
        "curl": [curl, "-s", "-o", str(out), url],
        "cp": ["cp", "--reflink=never", str(source), str(out)],
    }


def check_socket_answer(stdout, size):
    """The probe's last line is its JSON result; returns its bar moves."""
    result = json.loads(stdout.decode("utf-8").strip().splitlines()[-1])
    if result["error"] or result["offset"] != size:
        raise RuntimeError("socket download failed: %s" % result["error"])
    return result["bar_moves"]


def ratio(numerator, denominator):
    return numerator / denominator if denominator else float("inf")


def print_summary(figures, size):
    """Per contender the median, least and most of each figure; the median
    is what the ratios use, the least and most show how noisy the runs were."""
    print()
    print("%-8s %-22s %-22s %-22s %8s" % ("", "wall s", "cpu s", "rss MiB", "MiB/s"))
    print("%-8s" % "" + " %-22s" % "median (min-max)" * 3 + " %8s" % "median")
    medians = {}
    for name, runs in figures.items():
        columns = []
        medians[name] = {}
        for index, figure in enumerate(FIGURES):
            values = [run[index] for run in runs]
            medians[name][figure] = statistics.median(values)
            digits = 1 if figure == "rss" else 3
            columns.append("%.*f (%.*f-%.*f)" % (digits, medians[name][figure],
                                                 digits, min(values), digits, max(values)))
        print("%-8s" % name + "".join(" %-22s" % column for column in columns)
              + " %8.1f" % (size / MIB / medians[name]["wall"]))
    return medians


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--probe", type=Path, default=ROOT / "build/linux/tests/download_probe")
    parser.add_argument("--size-mib", type=int, default=1024)
    parser.add_argument("--rounds", type=int, default=DEFAULT_ROUNDS)
    parser.add_argument("--seed", type=int, default=random.randrange(1 << 31),
                        help="seed of the per-round order (default: a fresh one, printed)")
    args = parser.parse_args()
    if args.rounds < 1 or args.size_mib < 1:
        parser.error("--rounds and --size-mib must be at least 1")
    probe = args.probe.resolve()
    curl = shutil.which("curl")
    if not probe.exists() or not curl or not shutil.which("cp"):
        sys.exit("needs %s, curl and cp" % probe)
    size = args.size_mib * MIB
    order = random.Random(args.seed)

    work = Path(tempfile.mkdtemp(prefix="fetchlet-bench-"))
    os.chmod(work, 0o755)   # nginx's unprivileged workers read the file through it
    try:
        with Nginx(prefix=work / "nginx") as nginx:
            source = nginx.source_folder(0) / "big.bin"
            print("making a %d MiB file ..." % args.size_mib, flush=True)
            make_file(source, size)
            os.sync()  # the source's own writeback must not fall into a measured run
            out = work / "out.bin"
            commands = contenders(probe, curl, nginx.url("big.bin"), source, out)
            figures = {name: [] for name in commands}
            bar_moves = []
            print("%d rounds, order seed %d (--seed %d repeats the order)"
                  % (args.rounds, args.seed, args.seed), flush=True)
            for round_index in range(args.rounds):
                # A fresh order each round: neither warmer caches nor the
                # previous run's leftovers always favour the same contender.
                names = list(commands)
                order.shuffle(names)
                for name in names:
                    wall, cpu, rss, stdout = measure(commands[name])
                    if name == "socket":
                        bar_moves.append(check_socket_answer(stdout, size))
                    if not same_samples(source, out, size):
                        raise RuntimeError("%s's copy differs from the file" % name)
                    out.unlink()
                    # Each run starts with the previous one's pages written
                    # back, so none pays for another's writeback.
                    os.sync()
                    figures[name].append((wall, cpu, rss))
                    print("round %d %-6s wall %7.3f s  cpu %7.3f s  rss %7.1f MiB  %8.1f MiB/s"
                          % (round_index + 1, name, wall, cpu, rss, size / MIB / wall), flush=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)

    medians = print_summary(figures, size)
    socket_m, curl_m, cp_m = medians["socket"], medians["curl"], medians["cp"]
    print("socket/curl cpu ratio: %.2f" % ratio(socket_m["cpu"], curl_m["cpu"]))
    print("socket/curl rss ratio: %.2f" % ratio(socket_m["rss"], curl_m["rss"]))
    print("socket/cp wall ratio: %.2f" % ratio(socket_m["wall"], cp_m["wall"]))
    print("curl/cp wall ratio: %.2f" % ratio(curl_m["wall"], cp_m["wall"]))
    print("socket bar moves: %s (at most %d: %s)"
          % (", ".join(map(str, bar_moves)), BAR_LIMIT,
             "yes" if max(bar_moves) <= BAR_LIMIT else "NO"))
    print("socket/curl wall ratio: %.2f" % ratio(socket_m["wall"], curl_m["wall"]))


if __name__ == "__main__":
    main()
