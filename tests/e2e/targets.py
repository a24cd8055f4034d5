"""The program under test on each target: how to start it, wait for its
window, close it and find its data folder. Tests talk to a Target and stay the
same for the Linux build and for the Windows build under Wine."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

import wine
from peers import REPO_ROOT, wait_until

DATA_FOLDER = "Tarn.net"
LOG_NAME = "Fetchlet-.log"
RECORD_NAME = "Tarnnet.db"
INSTALL_ROOT = "TarnGame"  # what the install folder rule appends to a drive

WINDOW_TIMEOUT = 30.0     # from start until the window (or its terminal stand-in) is up
EXIT_TIMEOUT = 20.0       # from a close request until the process is gone
SECOND_TIMEOUT = 30.0     # a refused second instance, message box included

TITLE_MARK = "Ashfall"    # the window title, also printed by the terminal front end
CLOSE_CAPTION = "退出确认"
CLOSE_QUESTION = "您确定要放弃安装《Ashfall》吗?"
CLOSE_BUTTON_CENTRE = (632, 20)  # the 20 by 20 close button sits at (622, 10)
UNPRIVILEGED_ID = 65534   # "nobody": a run without administrator rights


class Options:
    target = None
    program = None
    close_window = None
    stamp_tool = REPO_ROOT / "tools" / "stamp_account_id.py"


def parse_args(argv):
    """Reads this suite's options; the rest goes to unittest."""
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--target", choices=["linux", "windows"], required=True)
    parser.add_argument("--program", required=True, type=Path,
                        help="build/linux/fetchlet or build/windows/Fetchlet.exe")
    parser.add_argument("--close-window", type=Path,
                        help="Windows: the fixture that posts WM_CLOSE to the window")
    parser.add_argument("--stamp-tool", type=Path, default=Options.stamp_tool)
    args, rest = parser.parse_known_args(argv[1:])
    if args.target == "windows" and not args.close_window:
        parser.error("--target windows needs --close-window")
    Options.target = args.target
    Options.program = args.program.resolve()
    Options.close_window = args.close_window.resolve() if args.close_window else None
    Options.stamp_tool = args.stamp_tool.resolve()
    return [argv[0]] + rest


def main():
    argv = parse_args(sys.argv)
    unittest.main(argv=argv, verbosity=2)


def main_with_path(option, help_text, store):
    """main() for a suite that needs one more file than the program: the
    required --<option> path, resolved, goes to store before the tests run."""
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--" + option, required=True, type=Path, help=help_text)
    args, rest = parser.parse_known_args(sys.argv[1:])
    store(getattr(args, option).resolve())
    unittest.main(argv=parse_args([sys.argv[0]] + rest), verbosity=2)


class Run:
    """A started program: its process and the files its output goes to."""

    def __init__(self, process, stdout_path, stderr_path, stdin=None):
        self.process = process
        self.stdout_path = stdout_path
        self.stderr_path = stderr_path
        self.stdin = stdin
        self.started = time.monotonic()
        self.elapsed = None

    @property
    def pid(self):
        return self.process.pid

    def running(self):
        return self.process.poll() is None

    def stderr(self):
        return self.stderr_path.read_bytes().decode("utf-8", "replace")

    def wait(self, timeout=EXIT_TIMEOUT):
        """The exit code, or None when the process is still running after
        timeout (it is then killed, so no test leaves it behind)."""
        try:
            code = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            return None
        if self.elapsed is None:
            self.elapsed = time.monotonic() - self.started
        return code

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                pass
        if self.stdin and not self.stdin.closed:
            try:
                self.stdin.close()
            except OSError:
                pass


class Target:
    """What both targets share; one object per test class."""

    name = None

    def __init__(self):
        self.program = Options.program
        self.runs = []
        self.work = None

    # Class and case life cycle.
    def open(self):
        pass

    def close(self):
        pass

    def begin_case(self):
        """A clean data folder and a scratch folder for one test."""
        self.work = Path(tempfile.mkdtemp(prefix="fetchlet-e2e-"))
        os.chmod(self.work, 0o777)

    def end_case(self):
        for run in self.runs:
            run.kill()
        self.runs = []
        shutil.rmtree(self.work, ignore_errors=True)

    @property
    def data_dir(self):
        raise NotImplementedError

    @property
    def log_file(self):
        return self.data_dir / LOG_NAME

    @property
    def record_file(self):
        return self.data_dir / RECORD_NAME

    def log_text(self):
        raise NotImplementedError

    def stamp(self, account_id, program=None):
        """A copy of the program (or of another file of it) that carries the
        account id."""
        program = program or self.program
        copy = self.work / ("stamped-" + program.name)
        subprocess.run([sys.executable, str(Options.stamp_tool), str(program),
                        str(copy), account_id], check=True, timeout=60,
                       stdin=subprocess.DEVNULL, capture_output=True)
        return copy

    def _spawn(self, command, env, stdin):
        index = len(self.runs)
        out = self.work / ("run%d.out" % index)
        err = self.work / ("run%d.err" % index)
        with open(out, "wb") as out_file, open(err, "wb") as err_file:
            process = subprocess.Popen(command, env=env, cwd=self.work, stdin=stdin,
                                       stdout=out_file, stderr=err_file)
        run = Run(process, out, err, process.stdin)
        self.runs.append(run)
        return run


class LinuxTarget(Target):
    """The terminal front end: the window is the terminal, standard input its
    buttons; the data folder comes from FETCHLET_COMMON_APPDATA."""

    name = "linux"

    def begin_case(self):
        super().begin_case()
        self.common_appdata = self.work / "common-appdata"
        self.common_appdata.mkdir()
        os.chmod(self.common_appdata, 0o777)

    @property
    def data_dir(self):
        return self.common_appdata / DATA_FOLDER

    def env(self):
        env = dict(os.environ)
        env["FETCHLET_COMMON_APPDATA"] = str(self.common_appdata)
        env.setdefault("LANG", "C.UTF-8")
        return env

    def log_text(self):
        return self.log_file.read_bytes().decode("utf-8")

    def _command(self, program, unprivileged):
        program = program or self.program
        if not unprivileged:
            return [str(program)]
        # The build tree may not be reachable for an unprivileged user.
        copy = self.work / ("unprivileged-" + program.name)
        if not copy.exists():
            shutil.copy2(program, copy)
            os.chmod(copy, 0o755)
        return ["setpriv", "--reuid=%d" % UNPRIVILEGED_ID, "--regid=%d" % UNPRIVILEGED_ID,
                "--clear-groups", str(copy)]

    def start(self, program=None, unprivileged=False, args=(), env=None):
        """Standard input stays open as the window's buttons and answers;
        env adds to the environment."""
        return self._spawn(self._command(program, unprivileged) + list(args),
                           dict(self.env(), **(env or {})), subprocess.PIPE)

    def wait_window(self, run):
        return wait_until(lambda: not run.running() or TITLE_MARK in run.stderr(),
                          WINDOW_TIMEOUT) and run.running()

    def type_line(self, run, line):
        run.stdin.write(line.encode("utf-8") + b"\n")
        run.stdin.flush()

    def destroy_window(self, run):
        """End of input is the window destroyed."""
        run.stdin.close()
        return run.wait()

    def press_close_button(self, run, yes):
        """Types the close button's "q" and answers its question. False when
        the question was not asked."""
        asked = run.stderr().count(CLOSE_QUESTION)
        self.type_line(run, "q")
        if not wait_until(lambda: run.stderr().count(CLOSE_QUESTION) > asked, WINDOW_TIMEOUT):
            return False
        self.type_line(run, "y" if yes else "n")
        return True

    def second_instance(self, program=None):
        """A run refused as the second instance: its exit code and its time;
        its message goes to standard error."""
        run = self._spawn(self._command(program, False), self.env(), subprocess.DEVNULL)
        code = run.wait(SECOND_TIMEOUT)
        return run, code, []


class WindowsTarget(wine.WineSession, Target):
    """Fetchlet.exe under Wine, its window on an X server of its own. The
    suite's classes share one prefix (a wineboot is slow); each test starts
    from an empty data folder and no earlier install on drive C:."""

    name = "windows"

    def begin_case(self):
        super().begin_case()
        shutil.rmtree(self.data_dir, ignore_errors=True)
        shutil.rmtree(self.prefix.path / "drive_c" / INSTALL_ROOT, ignore_errors=True)

    @property
    def data_dir(self):
        return self.prefix.program_data / DATA_FOLDER

    def env(self):
        return dict(self.prefix.env)

    def log_text(self):
        # Narrow text in the ANSI code page (936 under the Chinese locale).
        return self.log_file.read_bytes().decode("gbk")

    def start(self, program=None, args=(), env=None):
        command = [wine.wine_command(), str(program or self.program)] + list(args)
        return self._spawn(command, dict(self.env(), **(env or {})), subprocess.DEVNULL)

    def wait_window(self, run):
        return bool(wait_until(lambda: not run.running() or wine.visible_windows(
            self.env(), run.pid), WINDOW_TIMEOUT, interval=0.2)) and run.running()

    def destroy_window(self, run):
        """The fixture posts WM_CLOSE to the window of class "TarnFetchlet"."""
        if not self.post_close():
            raise AssertionError("no window of class TarnFetchlet to close")
        return run.wait()

    def post_close(self, window_class=None, title=None):
        """Posts WM_CLOSE to the first window of that class and title (by
        default the main window) as soon as one exists; False when none came
        within the window time-out."""
        command = [wine.wine_command(), str(Options.close_window), str(int(WINDOW_TIMEOUT))]
        if window_class is not None or title is not None:
            command.append(window_class or "")
        if title is not None:
            command.append(title)
        closer = subprocess.run(command, env=self.env(), cwd=self.work,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, timeout=WINDOW_TIMEOUT + 15)
        return closer.returncode == 0

    def press_close_button(self, run, yes):
        """Clicks the close button where the layout puts it and answers the
        question box (Yes is its default button, Tab moves to No). False when
        no question box showed."""
        windows = wine.visible_windows(self.env(), run.pid)
        if not windows:
            return False
        x, y = CLOSE_BUTTON_CENTRE
        wine.xdotool(self.env(), "mousemove", "--window", windows[0], str(x), str(y),
                     "click", "1")
        box = wait_until(lambda: [w for w in wine.visible_windows(self.env(), run.pid)
                                  if wine.window_name(self.env(), w) == CLOSE_CAPTION],
                         WINDOW_TIMEOUT, interval=0.2)
        if not box:
            return False
        wine.xdotool(self.env(), "windowfocus", box[0])
        wine.xdotool(self.env(), "key", "Return" if yes else "Tab")
        if not yes:
            wine.xdotool(self.env(), "key", "Return")
        return True

    def second_instance(self, program=None):
        """A run refused as the second instance. Its message box is answered
        with Return as soon as it shows; returns the run, the exit code and
        the names of the windows it showed."""
        run = self.start(program)
        names = []
        deadline = time.monotonic() + SECOND_TIMEOUT
        while run.running() and time.monotonic() < deadline:
            for window in wine.visible_windows(self.env(), run.pid):
                name = wine.window_name(self.env(), window)
                if name not in names:
                    names.append(name)
                wine.press_return(self.env(), window)
            time.sleep(0.2)
        code = run.wait(max(0.0, deadline - time.monotonic()) + 1)
        return run, code, names


def make_target():
    return LinuxTarget() if Options.target == "linux" else WindowsTarget()


class ProgramTestCase(unittest.TestCase):
    """Gives each test class a target and each test a clean data folder."""

    target = None
    target_names = ("linux", "windows")

    @classmethod
    def setUpClass(cls):
        if Options.target not in cls.target_names:
            raise unittest.SkipTest("not on the %s target" % Options.target)
        cls.target = make_target()
        cls.target.open()

    @classmethod
    def tearDownClass(cls):
        cls.target.close()

    def setUp(self):
        self.target.begin_case()
        self.addCleanup(self.target.end_case)
