"""The size of the shipped Windows file and what makes it up: its sections,
and the linker map's input pieces grouped by where they come from (libcurl,
the C++ and C runtimes, nlohmann/json's instances, the program's own code by
folder, the resources). Prints figures only; never fails on them.

  python3 bench/release_size.py --program build/windows-release/Fetchlet.exe \\
      --map build/windows-release/Fetchlet.map [--debug build/windows/Fetchlet.exe]
"""

import argparse
import re
import subprocess
from collections import Counter
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
GOAL = 1.5 * 1000 * 1000      # bytes: the goal for the shipped file ("1.5 MB")
KIB = 1024.0

# An input piece of the map's memory map: "[section] address size origin";
# a long section name stands alone on the line before.
PIECE = re.compile(r"^ (\.\S+)?\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$")
SECTION_ONLY = re.compile(r"^ (\.\S+)\s*$")
OUTPUT_SECTION = re.compile(r"^(\.\S+)\s+0x[0-9a-f]+")


def sections(program):
    """(name, size) of each section header of the file, via objdump."""
    objdump = "i686-w64-mingw32-objdump"
    out = subprocess.run([objdump, "-h", str(program)], capture_output=True, text=True,
                         timeout=60).stdout
    result = []
    for line in out.splitlines():
        fields = line.split()
        if len(fields) >= 3 and fields[0].isdigit():
            result.append((fields[1], int(fields[2], 16)))
    return result


# The program's own source files by name: the core library's members carry
# no folder.
OWN_FOLDERS = {path.stem: "%s/" % path.relative_to(ROOT).parts[0]
               for path in ROOT.glob("*/**/*.cpp") if path.relative_to(ROOT).parts[0] != "build"}


def origin(section, source, output):
    """Which part of the build a map piece belongs to."""
    if output == ".rsrc" or source.endswith(".res") or ".rc." in source:
        return "resources (pictures, dialog, version, manifest)"
    if "nlohmann" in section:
        return "nlohmann/json instances"
    if "libcurl" in source:
        return "libcurl (HTTP/HTTPS, proxies, Schannel)"
    if "libstdc++" in source or "libsupc++" in source:
        return "C++ runtime (libstdc++)"
    if re.search(r"lib(gcc|gcc_eh|mingwex|mingw32|msvcrt|winpthread|moldname)", source) or "crt" in Path(source.split("(")[0]).name:
        return "C runtime, mingw and threads"
    match = re.search(r"\.dir/(?:__/)*([a-z0-9_]+)/", source)
    if match:
        return "own code: %s/" % match.group(1)
    match = re.search(r"libfetchlet_core\.a\((\w+)\.cpp\.obj\)", source)
    if match:
        return "own code: " + OWN_FOLDERS.get(match.group(1), "?/")
    if "-w64-mingw32/lib/" in source:
        return "Windows import libraries"
    return "other"


def contributors(map_file):
    """Bytes per origin over the sections the file keeps."""
    totals = Counter()
    in_memory_map = False
    output = None
    pending = None
    for line in map_file.read_text(errors="replace").splitlines():
        if line.startswith("Linker script and memory map"):
            in_memory_map = True
            continue
        if not in_memory_map:
            continue
        top = OUTPUT_SECTION.match(line)
        if top:
            output = top.group(1)
            continue
        lone = SECTION_ONLY.match(line)
        if lone:
            pending = lone.group(1)
            continue
        piece = PIECE.match(line)
        if piece and output and not output.startswith(".debug"):
            section = piece.group(1) or pending or ""
            size = int(piece.group(2), 16)
            if size:
                totals[origin(section, piece.group(3), output)] += size
        pending = None
    return totals


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", type=Path, required=True)
    parser.add_argument("--map", type=Path, required=True)
    parser.add_argument("--debug", type=Path, help="the test build's program, for comparison")
    args = parser.parse_args()

    size = args.program.stat().st_size
    print("== The shipped Windows file")
    print("release Fetchlet.exe: %d bytes (%.0f KiB), goal at most %.1f MB: %s"
          % (size, size / KIB, GOAL / 1e6, "met" if size <= GOAL else "NOT met"))
    if args.debug and args.debug.exists():
        debug = args.debug.stat().st_size
        print("test build Fetchlet.exe: %d bytes (%.1f times the release file)" % (debug, debug / size))
    print("sections:")
    for name, bytes_ in sections(args.program):
        print("  %-10s %8.0f KiB" % (name, bytes_ / KIB))
    if args.map.exists():
        totals = contributors(args.map)
        whole = sum(totals.values()) or 1
        print("made of (linker map, sections kept):")
        for name, bytes_ in totals.most_common():
            print("  %-48s %8.0f KiB  %4.1f%%" % (name, bytes_ / KIB, 100.0 * bytes_ / whole))


if __name__ == "__main__":
    main()
