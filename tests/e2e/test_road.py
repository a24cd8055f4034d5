"""End-to-end tests of the install road: the real program in direct-install
mode (and once through its window) against nginx serving the three download
sources, the statistics server and the HTTPS BI service, with the fixture
programs as installer, launcher and platform.

  python3 test_road.py --target linux --program build/linux/fetchlet \\
      --fixture build/linux/tests/fake_client
  python3 test_road.py --target windows --program build/windows/Fetchlet.exe \\
      --close-window build/windows/tests/close_window.exe \\
      --fixture build/windows/tests/fake_client.exe
"""

import os
import re
import shutil
import subprocess
import time

import codesign
import targets
import wine
from bi_service import INIT_PATH, REPORT_PATH, BiService
from datafiles import read_ini
from peers import SDK_VERSION, Nginx, wait_until
from targets import ProgramTestCase
from test_startup import StatisticsAssertions

# The road's waits, shortened through the test builds' seam; the installer
# and platform fixtures read their own switches from the same environment.
FAST_ROAD = {
    "FETCHLET_TEST_POLL_MS": "200",
    "FETCHLET_TEST_RETRY_PAUSE_MS": "10",
    "FETCHLET_TEST_LAUNCH_TIMEOUT_MS": "3000",
    "FETCHLET_FIXTURE_PLATFORM_MS": "4000",
}
ROAD_TIMEOUT = 120.0      # one whole road, Wine included; every step is bounded
MARKER = "version.info"
LAUNCHER = "Tarn.net Launcher.exe"
FULL_PACKAGE_PAGE = "https://www.fetchlet.invalid/download.do?pr=5b0e8c3a9d2f47e1a6c4b8d0f3e2a719"
SITE_PAGE = "https://www.fetchlet.invalid/download.html"
CONTACT_CAPTION = "《Ashfall》在安装过程中遇到未知错误"
QQ = "12345"

# BI event names of the data types (the reporter's table).
BI_NAMES = {1: "ruzero_dev_install_start", 2: "ruzero_dev_install_error",
            5: "ruzero_dev_install_error", 6: "ruzero_dev_install_end",
            101: "ruzero_dev_install_interface", 103: "ruzero_dev_install_exit"}

ROAD_EVENTS = [101, 1, 3, 4, 6, 7, 100, 103]


class Options:
    fixture = None


def bi_name(data_type):
    return BI_NAMES.get(data_type, "default%d" % data_type)


class Answers:
    """What the user does with each box or dialog, by its caption: "yes",
    "no", "ok" or "contact" (types a QQ number and submits). The Linux
    front end reads the same answers as lines in the order they are asked."""

    LINES = {"yes": ["y"], "no": ["n"], "ok": [], "contact": [QQ, "", ""]}

    def __init__(self, *steps):
        self.steps = list(steps)   # (caption, action) in the order they come

    def lines(self):
        out = []
        for _, action in self.steps:
            out += self.LINES[action]
        return out


class RoadTestCase(ProgramTestCase, StatisticsAssertions):

    case_number = 0

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.installer = Options.fixture.read_bytes()
        if cls.target.name == "windows":
            # The test builds run only installers of the test publisher.
            codesign.trust_test_root(targets.Options.close_window.parent / "trust_root.exe",
                                     cls.target.env())
            cls.unsigned_installer = cls.installer
            cls.installer = codesign.test_pki().sign(cls.installer)

    def setUp(self):
        super().setUp()
        RoadTestCase.case_number += 1
        # Under Wine the URL cache outlives a case: each case's installer has
        # a name of its own, so no case downloads another's copy.
        self.installer_name = "ashfallbattle_e2e%d.exe" % self.case_number
        self.browser_log = self.target.work / "browser.log"
        stub = self.target.work / "browser.sh"
        stub.write_text('#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s"\n' % self.browser_log)
        stub.chmod(0o755)
        self.env = dict(FAST_ROAD, BROWSER=str(stub))
        self.base = self.target.work / "base"
        self.folder = self.base / "TarnGame" / "ashfallbattle"
        self.addCleanup(self.stop_leftovers)

    def stop_leftovers(self):
        # The platform fixture outlives the run by design; it must not reach
        # into the next case.
        if self.target.name == "linux":
            # This suite's own: suites running side by side share the
            # machine's processes.
            pattern = re.escape(str(self.target.work)) + ".*Tarn\\.net\\.exe"
            subprocess.run(["pkill", "-f", pattern], stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        else:
            subprocess.run([wine.wine_command(), "taskkill", "/f", "/im", "Tarn.net.exe"],
                           env=self.target.env(), stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)

    # The peers.
    def serve(self, nginx, pointer=None, installer_sources=(0, 1, 2), installer_name=None):
        pointer = self.installer_name if pointer is None else pointer
        nginx.put_file("clienturl.ini", pointer.encode("latin-1") if isinstance(pointer, str)
                       else pointer)
        if installer_sources:
            nginx.put_file(installer_name or self.installer_name, self.installer,
                           sources=installer_sources)

    def arg(self, path):
        return str(path) if self.target.name == "linux" else wine.windows_path(path)

    # The run.
    def run_road(self, args, answers=Answers(), env=None, window=False):
        """Starts the program, answers its questions, waits for its end;
        returns the run, its exit code and the captions it showed."""
        run = self.target.start(args=args, env=dict(self.env, **(env or {})))
        if self.target.name == "linux":
            if window:
                self.assertTrue(self.target.wait_window(run), run.stderr())
                self.target.type_line(run, str(self.folder))
            for line in answers.lines():
                self.target.type_line(run, line)
            code = run.wait(ROAD_TIMEOUT)
            captions = [c for c, _ in answers.steps if "[%s]" % c in run.stderr()
                        or c in run.stderr()]
        else:
            if window:
                self.assertTrue(self.target.wait_window(run), "no window")
                self.press_install_button(run)
            captions = self.answer_windows(run, answers)
            code = run.wait(10)
            if code is None:
                shown = [wine.window_name(self.target.env(), window)
                         for window in wine.visible_windows(self.target.env(), run.pid)]
                try:
                    log = "\n".join(self.target.log_text().splitlines()[-30:])
                except (OSError, UnicodeDecodeError) as error:
                    log = "(none: %s)" % error
                self.fail("the run did not end by itself; its windows: %r; its log:\n%s"
                          % (shown, log))
        self.assertIsNotNone(code, "the run did not end by itself; stderr:\n" + run.stderr())
        return run, code, captions

    def press_install_button(self, run):
        windows = wine.visible_windows(self.target.env(), run.pid)
        wine.xdotool(self.target.env(), "mousemove", "--window", windows[0], "361", "137",
                     "click", "1")

    def answer_windows(self, run, answers):
        """Answers each box or dialog of the program as it shows, by caption."""
        env = self.target.env()
        pending = list(answers.steps)
        seen = []
        deadline = time.monotonic() + ROAD_TIMEOUT
        while run.running() and time.monotonic() < deadline:
            for window in wine.visible_windows(env, run.pid):
                name = wine.window_name(env, window)
                if not pending or name != pending[0][0]:
                    continue
                caption, action = pending.pop(0)
                seen.append(caption)
                wine.xdotool(env, "windowfocus", "--sync", window)
                if action == "no":
                    wine.xdotool(env, "key", "Tab")
                elif action == "contact":
                    wine.xdotool(env, "type", QQ)
                wine.xdotool(env, "key", "Return")
                break
            time.sleep(0.2)
        return seen

    # Checks.
    def assertRoad(self, nginx, service, events, reason):
        stats = nginx.wait_stats(lambda r: len(r) >= len(events))
        self.assertEvents(stats, events)
        self.assertExitEvent(stats[-1], events[-2], reason, 600)
        reports = service.wait_requests(len(events) + 1)
        names = [r.json()["event_name"] for r in reports if r.path == REPORT_PATH]
        self.assertEqual(names, [bi_name(t) for t in events], "BI events")
        self.assertEqual(reports[0].path, INIT_PATH)
        return stats

    def assertInstalled(self):
        marker = (self.folder / MARKER).read_bytes()
        self.assertEqual(marker, b"FetchletVersion=" + SDK_VERSION.encode())
        record = read_ini(self.target.record_file)["TarnNet"]
        self.assertEqual(record.get("NEWINSTALL"), "Y")
        self.assertNotEqual(record.get("LastCall"), "Fetchstub", "the platform never answered")
        arguments = (self.folder / "install-args.txt").read_text(encoding="utf-8").splitlines()
        self.assertEqual(arguments, ["/verysilent", "/suppressmsgboxes",
                                     "/DIR=" + self.arg(self.folder)])
        log = (self.folder / "fixture.log").read_text()
        self.assertIn("launcher started", log)
        self.assertIn("platform started", log)

    def browser_pages(self):
        wait_until(self.browser_log.exists, 10)
        return self.browser_log.read_text().split() if self.browser_log.exists() else []

    def extend_of(self, stats, data_type, index=0):
        return [r.extend for r in stats if r.data_type == data_type][index]


class WholeRoadTest(RoadTestCase):

    def test_fresh_folder_from_download_to_hand_shake(self):
        with Nginx() as nginx, BiService() as service:
            self.serve(nginx)
            run, code, _ = self.run_road(["--IDIR", self.arg(self.base)])
            self.assertEqual(code, 0, run.stderr())
            stats = self.assertRoad(nginx, service, ROAD_EVENTS, "Success")
        self.assertInstalled()
        url = "http://127.0.0.1:8040/tarnnet/" + self.installer_name
        self.assertEqual(self.extend_of(stats, 1), "0URL:" + url)
        self.assertEqual(self.extend_of(stats, 100), "")
        # The installer that ran is cleared away; the install stays.
        self.assertFalse((self.folder / "TarnBattleClient.exe").exists())
        self.assertTrue((self.folder / LAUNCHER).exists())
        # Only Windows has a trust provider for the installer's signature.
        unchecked = "The installer's signature is not checked" in self.target.log_text()
        self.assertEqual(unchecked, self.target.name == "linux")

    def test_source_zero_failing_goes_on_with_source_one(self):
        with Nginx() as nginx, BiService() as service:
            self.serve(nginx, installer_sources=(1, 2))
            run, code, _ = self.run_road(["--IDIR", self.arg(self.base)])
            self.assertEqual(code, 0, run.stderr())
            stats = self.assertRoad(nginx, service, [101, 1, 2, 1] + ROAD_EVENTS[2:], "Success")
        self.assertTrue(self.extend_of(stats, 2).endswith(" ,num0 ,download err"),
                        self.extend_of(stats, 2))
        self.assertEqual(self.extend_of(stats, 1, 1),
                         "1URL:http://127.0.0.1:8040/ashfallbattle/client/" + self.installer_name)
        self.assertInstalled()

    def test_invalid_pointer_file_falls_back_to_the_fixed_name(self):
        with Nginx() as nginx, BiService() as service:
            self.serve(nginx, pointer=self.installer_name + "\r\n",
                       installer_name="ashfallbattle_last.exe")
            run, code, _ = self.run_road(["--IDIR", self.arg(self.base)])
            self.assertEqual(code, 0, run.stderr())
            stats = self.assertRoad(nginx, service, ROAD_EVENTS, "Success")
        self.assertEqual(self.extend_of(stats, 1),
                         "0URL:http://127.0.0.1:8040/tarnnet/ashfallbattle_last.exe"
                         "Error:file.read error")
        self.assertInstalled()


class FailingRoadTest(RoadTestCase):

    def test_all_sources_failing_offers_the_full_package_and_the_contact_dialog(self):
        answers = Answers(("下载完整客户端", "yes"), (CONTACT_CAPTION, "contact"))
        with Nginx() as nginx, BiService() as service:
            self.serve(nginx, installer_sources=())
            run, code, captions = self.run_road(["--IDIR", self.arg(self.base)], answers)
            self.assertEqual(code, 0, run.stderr())
            stats = self.assertRoad(nginx, service, [101, 1, 2, 1, 2, 1, 2, 2, 5, 103],
                                    "ContactBtnOK,QQ=" + QQ)
        self.assertEqual(captions, ["下载完整客户端", CONTACT_CAPTION])
        final = self.extend_of(stats, 2, 3)
        self.assertTrue(final.startswith("服务器不存在这个文件：http://127.0.0.1:8040/"
                                         + self.installer_name), final)
        self.assertTrue(final.endswith(" ,num2 ,download err"), final)
        self.assertEqual(self.extend_of(stats, 5), final + ",download full pkg ;")
        self.assertEqual(self.browser_pages(), [FULL_PACKAGE_PAGE])

    def test_missing_launcher_offers_the_site_and_the_contact_dialog(self):
        answers = Answers(("客户端版本错误", "yes"), (CONTACT_CAPTION, "contact"))
        with Nginx() as nginx, BiService() as service:
            self.serve(nginx)
            run, code, captions = self.run_road(["--IDIR", self.arg(self.base)], answers,
                                                env={"FETCHLET_FIXTURE_INSTALL": "nolauncher"})
            self.assertEqual(code, 0, run.stderr())
            stats = self.assertRoad(nginx, service, [101, 1, 3, 4, 5, 103],
                                    "ContactBtnOK,QQ=" + QQ)
        self.assertEqual(captions, ["客户端版本错误", CONTACT_CAPTION])
        self.assertEqual(self.extend_of(stats, 5),
                         "InstallPath: " + self.arg(self.folder / LAUNCHER))
        self.assertEqual(self.browser_pages(), [SITE_PAGE])

    def test_platform_that_does_not_come_up_ends_the_run_through_the_contact_dialog(self):
        # The dialog ends the run with its reason: one exit event, and the
        # launch step adds no "Success" after it. The platform that ends at
        # once has the whole road's time to write its answer: a slow start must
        # not turn it into a time-out.
        for platform, data_type, text, timeout_ms in (
                ("silent", 8, "WaittingLaunchThreadProc timeout.", "3000"),
                ("exit", 100, "Tarn.net.exe not found.", "60000")):
            with self.subTest(platform), Nginx() as nginx, BiService() as service:
                shutil.rmtree(self.target.data_dir, ignore_errors=True)
                shutil.rmtree(self.base, ignore_errors=True)
                self.serve(nginx)
                run, code, _ = self.run_road(["--IDIR", self.arg(self.base)],
                                             Answers((CONTACT_CAPTION, "contact")),
                                             env={"FETCHLET_FIXTURE_PLATFORM": platform,
                                                  "FETCHLET_TEST_LAUNCH_TIMEOUT_MS": timeout_ms})
                self.assertEqual(code, 0, run.stderr())
                stats = self.assertRoad(nginx, service, [101, 1, 3, 4, 6, 7, data_type, 103],
                                        "ContactBtnOK,QQ=" + QQ)
                self.assertEqual(self.extend_of(stats, data_type), text)
                time.sleep(0.5)
                self.assertEqual(len(nginx.stats_requests()), len(stats), "a late event")
                self.stop_leftovers()


# What the failure event of a refused installer says, by the installer that
# source 0 serves (Wine's provider passes an untrusted root that Windows
# refuses itself: the chain's own status then says it).
REFUSED_INSTALLERS = {
    "unsigned": ["InstallerSignature:not signed (0x800b0100)"],
    "tampered": ["InstallerSignature:the file was changed after signing (0x80096010)"],
    "other_name": ['InstallerSignature:signed by "%s", not by "%s"'
                   % (codesign.OTHER_PUBLISHER, codesign.PUBLISHER)],
    "untrusted_root": ["InstallerSignature:the signer's chain is not trusted (chain status 0x",
                       "InstallerSignature:the signer's chain ends in an untrusted root (0x800b0109)"],
}


class InstallerSignatureTest(RoadTestCase):
    """The Windows build runs only an installer signed by its publisher under
    a trusted root; a refused one is deleted and the next source tried."""

    target_names = ("windows",)

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.variants = codesign.test_pki().variants(cls.unsigned_installer)

    def assertNowhere(self, data):
        """No file of the prefix's drive C: or the install holds these bytes."""
        for root in (self.target.prefix.path / "drive_c", self.base):
            for folder, _, names in os.walk(root):
                for name in names:
                    path = os.path.join(folder, name)
                    if os.path.isfile(path) and os.path.getsize(path) == len(data):
                        with open(path, "rb") as handle:
                            self.assertNotEqual(handle.read(), data, "a refused installer stayed: " + path)

    def test_refused_installer_of_source_zero_goes_on_with_source_one(self):
        for variant, reasons in REFUSED_INSTALLERS.items():
            with self.subTest(variant), Nginx() as nginx, BiService() as service:
                # A fresh install each time: no record, no earlier folder.
                shutil.rmtree(self.target.data_dir, ignore_errors=True)
                shutil.rmtree(self.base, ignore_errors=True)
                self.serve(nginx, installer_sources=(1, 2))
                nginx.put_file(self.installer_name, self.variants[variant], sources=(0,))
                run, code, _ = self.run_road(["--IDIR", self.arg(self.base)])
                self.assertEqual(code, 0, run.stderr())
                stats = self.assertRoad(nginx, service, [101, 1, 2, 1] + ROAD_EVENTS[2:], "Success")
                failure = self.extend_of(stats, 2)
                self.assertTrue(any(reason in failure for reason in reasons), failure)
                self.assertTrue(failure.endswith(" ,num0 ,download err"), failure)
                self.assertInstalled()
                self.assertNowhere(self.variants[variant])
                self.stop_leftovers()

    def test_no_source_with_a_good_installer_runs_none(self):
        answers = Answers(("下载完整客户端", "no"), (CONTACT_CAPTION, "contact"))
        with Nginx() as nginx, BiService() as service:
            self.serve(nginx, installer_sources=())
            nginx.put_file(self.installer_name, self.variants["tampered"])
            run, code, _ = self.run_road(["--IDIR", self.arg(self.base)], answers)
            self.assertEqual(code, 0, run.stderr())
            stats = self.assertRoad(nginx, service, [101, 1, 2, 1, 2, 1, 2, 2, 5, 103],
                                    "ContactBtnOK,QQ=" + QQ)
        final = self.extend_of(stats, 2, 3)
        self.assertTrue(final.startswith("下载失败，错误码：0x80096010"), final)
        self.assertIn("InstallerSignature:the file was changed after signing", final)
        self.assertFalse((self.folder / "install-args.txt").exists(), "a refused installer ran")
        self.assertNowhere(self.variants["tampered"])


class FolderCheckTest(RoadTestCase):

    def put_earlier_install(self, version):
        self.folder.mkdir(parents=True)
        (self.folder / MARKER).write_bytes(b"FetchletVersion=" + version.encode())
        launcher = self.folder / LAUNCHER
        launcher.write_bytes(self.installer)
        launcher.chmod(0o755)

    def test_same_version_starts_the_installed_launcher_or_ends(self):
        question = "版本检查"
        for answer, reason, started in (("yes", "alreadyinstall", True),
                                        ("no", "DirectInstallDeclined", False)):
            with self.subTest(answer), Nginx() as nginx, BiService():
                shutil.rmtree(self.base, ignore_errors=True)
                self.put_earlier_install(SDK_VERSION)
                run, code, _ = self.run_road(["--IDIR", self.arg(self.base)],
                                             Answers((question, answer)))
                self.assertEqual(code, 0, run.stderr())
                stats = nginx.wait_stats(lambda r: len(r) >= 2)
                self.assertEvents(stats, [101, 103])
                self.assertExitEvent(stats[1], 101, reason, 600)
                log = self.folder / "fixture.log"
                self.assertEqual(wait_until(log.exists, 5 if started else 1), started)

    def test_other_version_is_installed_again_on_yes(self):
        self.put_earlier_install("1.0.0.1.rl")
        with Nginx() as nginx, BiService() as service:
            self.serve(nginx)
            run, code, _ = self.run_road(["--IDIR", self.arg(self.base)],
                                         Answers(("版本检查", "yes")))
            self.assertEqual(code, 0, run.stderr())
            self.assertRoad(nginx, service, ROAD_EVENTS, "Success")
        self.assertInstalled()

    def test_unusable_folders_end_the_run_with_code_one(self):
        too_long = self.arg(self.target.work / ("x" * 260))
        relative = "Games" if self.target.name == "linux" else "Games\\Tarn"
        values = [relative, too_long]
        # The folder goes between quotes to the installer, which runs as root:
        # a quote in it would hand the installer switches of its own.
        quoted = self.target.work / 'x" /FOO "y'
        if self.target.name == "linux":
            values.append(str(quoted))
        for value in values:
            with self.subTest(value[:20]), Nginx() as nginx:
                run, code, captions = self.run_road(["--IDIR", value],
                                                    Answers(("安装路径错误", "ok")))
                self.assertEqual(code, 1, run.stderr())
                stats = nginx.wait_stats(lambda r: r and r[-1].data_type == 103)
                self.assertEqual(stats[-1].data_type, 103)
                self.assertExitEvent(stats[-1], stats[-2].data_type, "DirectInstallRefused", 600)
                self.assertFalse((self.target.work / "Games").exists())
                self.assertFalse(quoted.exists())

    def padded_base(self, folder_length):
        """A base folder below self.base whose install folder has exactly
        folder_length characters as the program writes it."""
        tail = len(self.arg(self.base / "TarnGame" / "ashfallbattle")) - len(self.arg(self.base))
        base = self.base
        missing = folder_length - tail - len(self.arg(base))
        while missing > 0:
            part = min(missing, 100)
            if missing - part == 1:
                part -= 1   # a lone separator cannot end a path
            base = base / ("a" * (part - 1))
            missing -= part
        return base

    def test_the_longest_folder_installs_and_longer_ones_are_refused(self):
        # In the longest folder the launcher's path fills a MAX_PATH buffer.
        for length, installs in ((237, True), (238, False), (259, False), (260, False)):
            with self.subTest(length), Nginx() as nginx, BiService() as service:
                shutil.rmtree(self.base, ignore_errors=True)
                base = self.padded_base(length)
                self.folder = base / "TarnGame" / "ashfallbattle"
                self.assertEqual(len(self.arg(self.folder)), length)
                if installs:
                    self.serve(nginx)
                    run, code, _ = self.run_road(["--IDIR", self.arg(base)])
                    self.assertEqual(code, 0, run.stderr())
                    self.assertRoad(nginx, service, ROAD_EVENTS, "Success")
                    self.assertInstalled()
                    self.assertEqual(len(self.arg(self.folder / LAUNCHER)), 259)
                    self.stop_leftovers()
                    continue
                run, code, _ = self.run_road(["--IDIR", self.arg(base)],
                                             Answers(("安装路径错误", "ok")))
                self.assertEqual(code, 1, run.stderr())
                stats = nginx.wait_stats(lambda r: len(r) >= 3)
                self.assertEvents(stats, [101, 2, 103])
                self.assertEqual(stats[1].extend, "安装准备失败.安装路径过长(%d):%s"
                                 % (length, self.arg(self.folder)))
                self.assertExitEvent(stats[2], 2, "DirectInstallRefused", 600)
                self.assertFalse(self.base.exists(), "made before it was refused")

    def test_too_little_free_space_is_refused(self):
        small = self.target.work / "small"
        small.mkdir()
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16m", "tmpfs", str(small)],
                                 stdin=subprocess.DEVNULL, capture_output=True)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a small file system here: %s" % mounted.stderr)
        self.addCleanup(subprocess.run, ["umount", "-l", str(small)],
                        stdin=subprocess.DEVNULL, capture_output=True)
        if self.target.name == "linux":
            value = str(small)
        else:
            # A drive letter of its own: the free space counted is the drive's.
            drive = self.target.prefix.path / "dosdevices" / "s:"
            drive.symlink_to(small)
            self.addCleanup(drive.unlink)
            value = "S:\\"
        with Nginx() as nginx:
            run, code, captions = self.run_road(["--IDIR", value], Answers(("磁盘空间不足", "ok")))
            self.assertEqual(code, 1, run.stderr())
            stats = nginx.wait_stats(lambda r: len(r) >= 3)
        self.assertEvents(stats, [101, 2, 103])
        self.assertEqual(stats[1].extend, "安装准备失败..磁盘剩余空间不足,剩余:0G")
        self.assertEqual(list(small.iterdir()), [], "something was made on the small disk")


# The log's last two lines after an orderly teardown.
LOG_END = "[]:Close the log file\n--------------------------------------\n"
# From the user's stop to the end of the process, with telemetry answering.
STOP_BOUND = 1.0


class StopTest(RoadTestCase):
    """When the user says stop, the run ends at once: no installer or launcher
    starts after it, one exit event is the last one sent, the log closes."""

    def start_in_window(self, env=None):
        if self.target.name == "windows":
            self.folder = self.target.prefix.path / "drive_c" / "TarnGame" / "ashfallbattle"
            self.addCleanup(shutil.rmtree, self.folder.parent, True)
        run = self.target.start(env=dict(self.env, **(env or {})))
        self.assertTrue(self.target.wait_window(run), run.stderr())
        if self.target.name == "linux":
            self.target.type_line(run, str(self.folder))
        else:
            self.press_install_button(run)
        return run

    def stop_and_time(self, run, how):
        """Ends the run the user's way; returns the exit code and the time
        from the stop to the end of the process."""
        if how == "close":
            self.assertTrue(self.target.press_close_button(run, yes=True), run.stderr())
        else:
            run.stdin.close()
        stopped = time.monotonic()
        code = run.wait(10)
        return code, time.monotonic() - stopped

    def assertStopped(self, nginx, code, took, reason):
        self.assertEqual(code, 0)
        print("\n  stop to the end of the process: %.3f s" % took, flush=True)
        self.assertLess(took, STOP_BOUND, "the process outlived the stop")
        stats = nginx.wait_stats(lambda r: r and r[-1].data_type == 103)
        time.sleep(0.5)   # nothing may follow the exit event
        stats = nginx.stats_requests()
        self.assertEqual([r.data_type for r in stats].count(103), 1, [r.data_type for r in stats])
        self.assertEqual(stats[-1].data_type, 103)
        self.assertEqual(self.assertExtend(stats[-1], r"LastDataType:-?\d+,UseTime:\d+,Exit:(.*)")[1],
                         reason)
        self.assertTrue(self.target.log_text().endswith(LOG_END), self.target.log_text()[-300:])
        return stats

    def test_stop_mid_download_starts_no_installer(self):
        hows = ("close", "end of input") if self.target.name == "linux" else ("close",)
        reasons = {"close": "BtnClose", "end of input": "DestoryClose"}
        for how in hows:
            with self.subTest(how), Nginx() as nginx, BiService():
                shutil.rmtree(self.target.data_dir, ignore_errors=True)
                shutil.rmtree(self.folder, ignore_errors=True)
                # The whole file takes about eight seconds.
                self.installer_name = "ashfallbattle_rate%d_%d.exe" % (
                    len(self.installer) // 8, len(how))
                self.serve(nginx)
                run = self.start_in_window()
                time.sleep(2)
                code, took = self.stop_and_time(run, how)
                stats = self.assertStopped(nginx, code, took, reasons[how])
                self.assertNotIn(3, [r.data_type for r in stats], "the download finished first")
                time.sleep(1)
                self.assertFalse((self.folder / "install-args.txt").exists(), "an installer ran")

    def test_stop_while_installing_starts_no_launcher(self):
        with Nginx() as nginx, BiService():
            self.serve(nginx)
            run = self.start_in_window(env={"FETCHLET_FIXTURE_INSTALL_MS": "3000"})
            started = self.folder / "install-args.txt"
            self.assertTrue(wait_until(started.exists, ROAD_TIMEOUT), run.stderr())
            code, took = self.stop_and_time(run, "close")
            stats = self.assertStopped(nginx, code, took, "BtnClose")
            self.assertEqual([r.data_type for r in stats][-2:], [4, 103])
            # The installer finishes alone; nothing starts after it.
            self.assertTrue(wait_until(lambda: "installer finished" in
                                       (self.folder / "fixture.log").read_text(), 10))
            time.sleep(1)
            self.assertNotIn("launcher started", (self.folder / "fixture.log").read_text())


class WindowRoadTest(RoadTestCase):

    def test_install_button_starts_the_same_road(self):
        if self.target.name == "windows":
            # The window offers the fixed drive with the most free space: C:.
            self.folder = self.target.prefix.path / "drive_c" / "TarnGame" / "ashfallbattle"
            self.addCleanup(shutil.rmtree, self.folder.parent, True)
        with Nginx() as nginx, BiService() as service:
            self.serve(nginx)
            run, code, _ = self.run_road([], window=True)
            self.assertEqual(code, 0, run.stderr())
            self.assertRoad(nginx, service, ROAD_EVENTS, "Success")
        if self.target.name == "linux":
            self.assertInstalled()
        else:
            self.assertEqual((self.folder / MARKER).read_bytes(),
                             b"FetchletVersion=" + SDK_VERSION.encode())
            self.assertTrue((self.folder / LAUNCHER).exists())


def main():
    targets.main_with_path("fixture", "build/linux/tests/fake_client or build/windows/tests/fake_client.exe",
                           lambda path: setattr(Options, "fixture", path))


if __name__ == "__main__":
    main()
