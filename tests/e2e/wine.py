"""Wine and a headless X display for the Windows program's end-to-end tests.
Every wait is bounded. Standard library only."""

import atexit
import os
import select
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

from peers import die_with_parent

SCREEN_WIDTH = 1024
SCREEN_HEIGHT = 768
XVFB_START_TIMEOUT = 15.0
WINEBOOT_TIMEOUT = 240.0
WINESERVER_TIMEOUT = 30.0
WINESERVER_LINGER = 60    # seconds a server without clients stays up
XDOTOOL_TIMEOUT = 10.0
SCREENSHOT_TIMEOUT = 20.0
FONT_SUBSTITUTES = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes"
WINDOW_FONT = "微软雅黑"
CJK_FONT = "WenQuanYi Micro Hei"
# The fixture that holds a prefix's desktop while a suite runs.
DESKTOP_KEEPER_VARIABLE = "FETCHLET_DESKTOP_KEEPER"
# The virtual screens run no window manager: windows left to one would make
# Wine wait 2 s at every hide for a confirmation that never comes.
X11_DRIVER = r"HKCU\Software\Wine\X11 Driver"


class Xvfb:
    """An X server of its own; it picks a free display number itself."""

    def __init__(self):
        self.process = None
        self.display = None

    def __enter__(self):
        read_fd, write_fd = os.pipe()
        try:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_fd), "-nolisten", "tcp",
                 "-screen", "0", "%dx%dx24" % (SCREEN_WIDTH, SCREEN_HEIGHT)],
                pass_fds=(write_fd,), stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                preexec_fn=die_with_parent)
            os.close(write_fd)
            number = b""
            deadline = time.monotonic() + XVFB_START_TIMEOUT
            while not number.endswith(b"\n") and time.monotonic() < deadline:
                ready, _, _ = select.select([read_fd], [], [], 0.2)
                if ready:
                    chunk = os.read(read_fd, 32)
                    if not chunk:
                        break
                    number += chunk
        finally:
            os.close(read_fd)
        if not number.strip().isdigit():
            self.__exit__()
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number.decode().strip()
        return self

    def __exit__(self, *exc):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(10)


class WinePrefix:
    """A fresh Wine prefix (32-bit unless WINEARCH says otherwise) with a persistent wineserver, Chinese locale
    (the program's ANSI code page is then 936) and no Mono or Gecko."""

    def __init__(self, display, path=None):
        self.path = Path(path) if path else Path(tempfile.mkdtemp(prefix="fetchlet-wine-"))
        self.keeper = None
        self.env = dict(os.environ)
        for key in list(self.env):
            if key.startswith("LC_"):
                del self.env[key]
        self.env.update({
            "WINEPREFIX": str(self.path),
            # The 64-bit test build runs under a 64-bit prefix.
            "WINEARCH": os.environ.get("WINEARCH", "win32"),
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "LANG": "zh_CN.UTF-8",
            "DISPLAY": display,
        })

    @property
    def program_data(self):
        return self.path / "drive_c" / "ProgramData"

    def __enter__(self):
        # Output goes to files: a wineserver started by a child would keep a
        # pipe open long after the child is gone.
        log = self.path.parent / (self.path.name + "-boot.log")
        with open(log, "wb") as out:
            def run(command, timeout):
                subprocess.run(command, env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                               stderr=out, timeout=timeout, check=True)
            try:
                run(["wineboot", "-i"], WINEBOOT_TIMEOUT)
                # The boot's server goes away by itself; a lingering one then
                # spares every later start the server's start-up, and still
                # ends on its own if the tests are killed.
                run(["wineserver", "-w"], WINESERVER_TIMEOUT)
                run(["wineserver", "-p%d" % WINESERVER_LINGER], WINESERVER_TIMEOUT)
                run([wine_command(), "cmd", "/c", "exit"], WINEBOOT_TIMEOUT)
                # The window's font, mapped to the CJK font the setup installs.
                run([wine_command(), "reg", "add", FONT_SUBSTITUTES, "/v", WINDOW_FONT,
                     "/t", "REG_SZ", "/d", CJK_FONT, "/f"], WINEBOOT_TIMEOUT)
                run([wine_command(), "reg", "add", X11_DRIVER, "/v", "Managed",
                     "/t", "REG_SZ", "/d", "N", "/f"], WINEBOOT_TIMEOUT)
                self._keep_desktop()
            except (subprocess.SubprocessError, OSError):
                self.__exit__()
                text = log.read_text(errors="replace")
                log.unlink()
                raise RuntimeError("wineboot failed:\n" + text)
        log.unlink()
        return self

    def __exit__(self, *exc):
        try:
            self._end_processes()
        except subprocess.TimeoutExpired:
            pass
        if self.keeper:
            self.keeper.stdin.close()
            try:
                self.keeper.wait(WINESERVER_TIMEOUT)
            except subprocess.TimeoutExpired:
                self.keeper.kill()
        shutil.rmtree(self.path, ignore_errors=True)

    def _keep_desktop(self):
        """Starts the desktop keeper the run names (tests/fixtures), so that
        the prefix's desktop process starts once, with no pipe of a test's."""
        keeper = os.environ.get(DESKTOP_KEEPER_VARIABLE)
        if keeper:
            self.keeper = subprocess.Popen(
                [wine_command(), keeper], env=self.env, stdin=subprocess.PIPE,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def _run(self, command, timeout):
        subprocess.run(command, env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout)

    def _end_processes(self):
        self._run(["wineserver", "-k"], WINESERVER_TIMEOUT)
        self._run(["wineserver", "-w"], WINESERVER_TIMEOUT)


# A booted prefix the whole test run gives (tools/test.sh boots one), which
# no process uses: each suite runs in a copy of its own (under a second, where
# a wineboot takes half a minute), with a server and a display of its own, so
# suites run side by side, each in its own network.
TEMPLATE_PREFIX_VARIABLE = "FETCHLET_TEST_WINEPREFIX"


class CopiedPrefix(WinePrefix):
    """A copy of the run's booted prefix, on this suite's display."""

    def __init__(self, display, template):
        super().__init__(display)
        self.template = Path(template)

    def __enter__(self):
        try:
            subprocess.run(["cp", "-a", str(self.template) + "/.", str(self.path)],
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE, timeout=WINEBOOT_TIMEOUT, check=True)
            # The copy's own server, in this suite's network; one finished
            # start spares the first test the server's start-up.
            self._run(["wineserver", "-p%d" % WINESERVER_LINGER], WINESERVER_TIMEOUT)
            self._run([wine_command(), "cmd", "/c", "exit"], WINEBOOT_TIMEOUT)
            self._keep_desktop()
        except (subprocess.SubprocessError, OSError) as error:
            self.__exit__()
            raise RuntimeError("copying the run's prefix failed: %s" % error)
        return self


# The display and prefix that every test class of this process shares.
_shared_session = None


def _close_shared_session():
    xvfb, prefix = _shared_session
    prefix.__exit__()
    xvfb.__exit__()


def _open_display_and_prefix():
    """A display of this process's own, and a copy of the run's prefix when
    the run gives one, else a freshly booted prefix."""
    template = os.environ.get(TEMPLATE_PREFIX_VARIABLE)
    xvfb = Xvfb().__enter__()
    try:
        if template:
            return xvfb, CopiedPrefix(xvfb.display, template).__enter__()
        return xvfb, WinePrefix(xvfb.display).__enter__()
    except Exception:
        xvfb.__exit__()
        raise


class WineSession:
    """A display and a prefix on it. All test classes of one process (one
    suite) share them, made by the first and removed at exit: a wineboot is
    slow, and each test starts from a clean data folder of its own."""

    def open(self):
        global _shared_session
        if _shared_session is None:
            _shared_session = _open_display_and_prefix()
            atexit.register(_close_shared_session)
        self.xvfb, self.prefix = _shared_session

    def close(self):
        pass


def windows_path(path):
    """A host path as a program under Wine names it: Z: is the host's root."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def host_path(prefix, text):
    """The host path of a path a program under Wine printed (any drive of
    the prefix). Names are matched without regard to case, as Windows does."""
    drive, _, rest = text.partition(":")
    if len(drive) != 1 or not rest.startswith("\\"):
        raise ValueError("not an absolute Windows path: %r" % text)
    path = (prefix / "dosdevices" / (drive.lower() + ":")).resolve()
    for part in [p for p in rest.split("\\") if p]:
        exact = path / part
        if not exact.exists() and path.is_dir():
            matches = [c for c in path.iterdir() if c.name.lower() == part.lower()]
            exact = matches[0] if matches else exact
        path = exact
    return path


def xdotool(env, *args):
    """Runs xdotool; returns its output lines (empty on failure)."""
    try:
        result = subprocess.run(["xdotool", *args], env=env, stdin=subprocess.DEVNULL,
                                capture_output=True, timeout=XDOTOOL_TIMEOUT)
    except subprocess.TimeoutExpired:
        return []
    if result.returncode != 0:
        return []
    return result.stdout.decode("utf-8", "replace").split()


def visible_windows(env, pid):
    """The mapped X windows of a Wine process (Wine sets _NET_WM_PID)."""
    return xdotool(env, "search", "--onlyvisible", "--pid", str(pid))


def window_name(env, window):
    try:
        result = subprocess.run(["xdotool", "getwindowname", window], env=env,
                                stdin=subprocess.DEVNULL, capture_output=True,
                                timeout=XDOTOOL_TIMEOUT)
    except subprocess.TimeoutExpired:
        return ""
    return result.stdout.decode("utf-8", "replace").strip()


def window_geometry(env, window):
    """The window's place and size on the screen as (x, y, width, height),
    None when X no longer knows it."""
    values = dict(line.split("=", 1) for line in
                  xdotool(env, "getwindowgeometry", "--shell", window) if "=" in line)
    try:
        return tuple(int(values[key]) for key in ("X", "Y", "WIDTH", "HEIGHT"))
    except (KeyError, ValueError):
        return None


def screenshot(env, path):
    """The whole screen of env's display as a picture file; False on failure."""
    try:
        result = subprocess.run(["import", "-window", "root", str(path)], env=env,
                                stdin=subprocess.DEVNULL, capture_output=True,
                                timeout=SCREENSHOT_TIMEOUT)
    except subprocess.TimeoutExpired:
        return False
    return result.returncode == 0 and Path(path).exists()


def press_return(env, window):
    """Gives the window the keyboard focus and presses Return on it (there is
    no window manager to do the focusing)."""
    xdotool(env, "windowfocus", "--sync", window)
    xdotool(env, "key", "--clearmodifiers", "Return")


def wine_command():
    return shutil.which("wine") or "wine"
