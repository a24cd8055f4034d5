"""Readers for the files the program leaves in its data folder: the device
record (an INI file, UTF-8 from the Linux build, ANSI or UTF-16 from the
Windows profile API) and the log file with its per-run framing."""

import re

SEPARATOR = "-" * 38
OPEN_LINE = "[]:Open the log file"
CLOSE_LINE = "[]:Close the log file"


def _decode(data):
    if data.startswith(b"\xff\xfe"):
        return data[2:].decode("utf-16-le"), "utf-16-le", b"\xff\xfe"
    if data.startswith(b"\xef\xbb\xbf"):
        return data[3:].decode("utf-8"), "utf-8", b"\xef\xbb\xbf"
    try:
        return data.decode("utf-8"), "utf-8", b""
    except UnicodeDecodeError:
        return data.decode("gbk"), "gbk", b""


def read_ini(path):
    """{section: {key: value}} with names as written; values trimmed."""
    text, _, _ = _decode(path.read_bytes())
    sections = {}
    current = None
    for line in text.splitlines():
        line = line.strip()
        if not line or line.startswith(";"):
            continue
        if line.startswith("[") and line.endswith("]"):
            current = sections.setdefault(line[1:-1].strip(), {})
        elif "=" in line and current is not None:
            key, _, value = line.partition("=")
            current[key.strip()] = value.strip()
    return sections


def set_ini_value(path, section, key, value):
    """Rewrites one existing value in place, keeping the file's encoding, as
    another program sharing the record would."""
    text, encoding, bom = _decode(path.read_bytes())
    lines = text.splitlines(keepends=True)
    in_section = False
    for index, line in enumerate(lines):
        stripped = line.strip()
        if stripped.startswith("[") and stripped.endswith("]"):
            in_section = stripped[1:-1].strip().lower() == section.lower()
        elif in_section and stripped.partition("=")[0].strip().lower() == key.lower():
            ending = line[len(line.rstrip("\r\n")):]
            lines[index] = "%s=%s%s" % (key, value, ending)
            path.write_bytes(bom + "".join(lines).encode(encoding))
            return
    raise KeyError("%s/%s not in %s" % (section, key, path))


RUN = re.compile(r"\n%s\n%s\n((?:\[\]:[^\n]*\n)*?)%s\n%s\n" % (
    SEPARATOR, re.escape(OPEN_LINE), re.escape(CLOSE_LINE), SEPARATOR))


def split_log_runs(text):
    """The runs of a log written by runs one after the other: a list of each
    run's own lines, or None when the text is not a row of framed runs."""
    if "\r" in text:
        return None  # every line ends with a single "\n", on Windows too
    runs = []
    position = 0
    while position < len(text):
        match = RUN.match(text, position)
        if not match:
            return None
        runs.append(match.group(1).splitlines())
        position = match.end()
    return runs
