"""End-to-end tests of a run's start and end: the statistics events, the
single instance, the device record, the log file and the account id, with the
real program against nginx on 127.0.0.1:8032.

  python3 test_startup.py --target linux --program build/linux/fetchlet
  python3 test_startup.py --target windows --program build/windows/Fetchlet.exe \\
      --close-window build/windows/tests/close_window.exe
"""

import os
import re
import time

import targets
import wine
from datafiles import CLOSE_LINE, OPEN_LINE, RUN, read_ini, set_ini_value, split_log_runs
from peers import SDK_VERSION, Nginx, RefuseOnceStatsServer, SilentServer, stats_problems
from targets import Options, ProgramTestCase

SECTION = "TarnNet"
# The whole refused run while the statistics server accepts and never answers:
# each transfer of the sender gives up after about 2 s.
SILENT_SERVER_BOUND = 8.0


def now_ms():
    return int(time.time() * 1000)


def expected_os_version():
    if Options.target == "linux":
        major, minor = re.match(r"(\d+)\.(\d+)", os.uname().release).groups()
        return r"%s\.%s" % (major, minor)
    return r"\d+\.\d+"


def describe(requests):
    return "\n".join("  dataType=%s extend=%r\n    %s" % (r.fields.get("dataType"), r.extend,
                                                          r.uri) for r in requests) or "  none"


class StatisticsAssertions:
    """Checks on what nginx recorded, with every request shown on failure."""

    def assertEvents(self, requests, data_types):
        sent = [r.data_type for r in requests]
        self.assertEqual(sent, data_types,
                         "statistics events %s, expected %s; recorded:\n%s"
                         % (sent, data_types, describe(requests)))
        problems = ["dataType %s: %s" % (r.fields.get("dataType"), p)
                    for r in requests for p in stats_problems(r)]
        self.assertEqual(problems, [], "malformed statistics requests:\n  "
                         + "\n  ".join(problems) + "\nrecorded:\n" + describe(requests))
        uris = [r.uri for r in requests]
        self.assertEqual(len(set(uris)), len(uris),
                         "a request was sent twice (fallback after a failed first "
                         "transfer?):\n" + describe(requests))
        for request in requests:
            self.assertEqual(request.status, 200)

    def assertExtend(self, request, pattern):
        match = re.fullmatch(pattern, request.extend)
        self.assertIsNotNone(match, "dataType %s extend %r does not match %r"
                             % (request.fields["dataType"], request.extend, pattern))
        return match

    def assertStartEvent(self, request, tail=""):
        """101 carries the OS and SDK versions and the work area."""
        self.assertRegex(request.fields["osVersion"], "^%s$" % expected_os_version())
        self.assertEqual(request.fields["sdkVersion"], SDK_VERSION)
        match = self.assertExtend(request, r"SW=(\d+),SH=(\d+)" + tail)
        width, height = int(match[1]), int(match[2])
        if Options.target == "windows":
            # The X screen has no panels: the work area is the whole screen.
            self.assertEqual((width, height), (wine.SCREEN_WIDTH, wine.SCREEN_HEIGHT))

    def assertExitEvent(self, request, last_type, reason, max_seconds):
        match = self.assertExtend(request, r"LastDataType:(-?\d+),UseTime:(\d+),Exit:(.*)")
        self.assertEqual((int(match[1]), match[3]), (last_type, reason),
                         "exit text %r" % request.extend)
        self.assertLessEqual(int(match[2]), max_seconds, "UseTime of %r" % request.extend)


class StartupTestCase(ProgramTestCase, StatisticsAssertions):

    def start_window(self, program=None):
        run = self.target.start(program)
        self.assertTrue(self.target.wait_window(run),
                        "the window did not come up; stderr:\n" + run.stderr())
        return run

    def window_run(self, program=None):
        """One run in window mode, ended by destroying the window."""
        run = self.start_window(program)
        code = self.target.destroy_window(run)
        self.assertEqual(code, 0, "exit code; stderr:\n" + run.stderr())
        return run

    def record(self):
        self.assertTrue(self.target.record_file.exists(), "no record file")
        sections = read_ini(self.target.record_file)
        self.assertIn(SECTION, sections, "record sections %s" % list(sections))
        return sections[SECTION]


class EventsTest(StartupTestCase):

    def test_window_run_sends_start_and_exit_events(self):
        with Nginx() as nginx:
            before = now_ms()
            run = self.window_run()
            after = now_ms()
            requests = nginx.wait_stats(lambda r: len(r) >= 2)
        if Options.target == "linux":
            # The terminal stands in for the window: title, version, folder.
            # The BI client's own messages share the stream: look from the title on.
            lines = run.stderr().splitlines()
            title = "《Ashfall》极速下载器(%s)" % SDK_VERSION
            self.assertIn(title, lines, run.stderr())
            lines = lines[lines.index(title):]
            self.assertEqual(lines[:2], [title, "当前版本:" + SDK_VERSION], run.stderr())
            self.assertTrue(any(re.fullmatch(r"安装路径:/\S*/TarnGame/ashfallbattle", line)
                                for line in lines), "no install folder shown:\n" + run.stderr())
        self.assertEvents(requests, [101, 103])
        start, end = requests
        self.assertStartEvent(start)
        self.assertExitEvent(end, 101, "DestoryClose", int(run.elapsed) + 1)
        device_id = self.record()["GUID"]
        for request in requests:
            self.assertEqual(request.fields["deviceId"], device_id)
            self.assertTrue(before - 1000 <= int(request.fields["ts"]) <= after + 1000,
                            "ts %s outside the run [%d, %d]"
                            % (request.fields["ts"], before, after))
        self.assertLessEqual(int(start.fields["ts"]), int(end.fields["ts"]))
        for request in requests[1:]:
            self.assertNotIn("osVersion", request.fields)

class CloseButtonTest(StartupTestCase):

    def test_close_button_asks_before_it_ends_the_run(self):
        with Nginx() as nginx:
            run = self.start_window()
            self.assertTrue(self.target.press_close_button(run, yes=False),
                            "the close button asked nothing")
            time.sleep(1.0)
            self.assertTrue(run.running(), "the run ended although the answer was No")
            self.assertTrue(self.target.press_close_button(run, yes=True),
                            "the close button asked nothing the second time")
            code = run.wait()
            requests = nginx.wait_stats(lambda r: len(r) >= 2)
        self.assertEqual(code, 0, run.stderr())
        self.assertEvents(requests, [101, 103])
        self.assertExitEvent(requests[1], 101, "BtnClose", int(run.elapsed) + 1)


class DeviceRecordAndLogTest(StartupTestCase):

    def test_record_survives_runs_and_log_frames_each_run(self):
        with Nginx() as nginx:
            before = now_ms()
            self.window_run()
            after = now_ms()
            first = self.record()
            self.assertEqual(sorted(first), ["GUID", "InstallTime", "LastCall"])
            self.assertRegex(first["GUID"], r"^[0-9a-f]{12}4[0-9a-f]{3}[89ab][0-9a-f]{15}$")
            self.assertRegex(first["InstallTime"], r"^\d{13}$")
            self.assertTrue(before - 1000 <= int(first["InstallTime"]) <= after + 1000,
                            "InstallTime %s outside the run" % first["InstallTime"])
            self.assertEqual(first["LastCall"], "Fetchstub")

            # The platform writes its own name; the next start takes it back.
            set_ini_value(self.target.record_file, SECTION, "LastCall", "Tarn.net")
            self.assertEqual(self.record()["LastCall"], "Tarn.net")
            self.window_run()
            requests = nginx.wait_stats(lambda r: len(r) >= 4)

        second = self.record()
        self.assertEqual(second, first, "record after the second run")

        log = self.target.log_text()
        runs = split_log_runs(log)
        self.assertIsNotNone(runs, "the log is not two framed runs:\n" + log)
        self.assertEqual(len(runs), 2, "runs in the log:\n" + log)

        self.assertEqual({r.fields["deviceId"] for r in requests}, {first["GUID"]})
        self.assertEvents(requests, [101, 103, 101, 103])

    def test_new_record_gets_new_device_id(self):
        with Nginx() as nginx:
            self.window_run()
            first = self.record()["GUID"]
            self.target.record_file.unlink()
            self.window_run()
            second = self.record()["GUID"]
            requests = nginx.wait_stats(lambda r: len(r) >= 4)
        self.assertNotEqual(first, second)
        self.assertEvents(requests, [101, 103, 101, 103])
        self.assertEqual([r.fields["deviceId"] for r in requests],
                         [first, first, second, second])


class SecondInstanceTest(StartupTestCase):

    def test_second_instance_is_refused_and_first_untouched(self):
        with Nginx() as nginx:
            first = self.start_window()
            # The first run's start event goes first, so the order is known.
            nginx.wait_stats(lambda r: len(r) >= 1)
            second, code, windows = self.target.second_instance()
            self.assertEqual(code, 1, "second instance; stderr:\n" + second.stderr())
            self.assertTrue(first.running(), "the first instance ended")
            self.assertLess(second.elapsed, 15)
            requests = nginx.wait_stats(lambda r: len(r) >= 3)
            self.assertEvents(requests, [101, 101, 103])
            self.assertExitEvent(requests[2], 101, "ProgressExist.", int(second.elapsed) + 1)

            # Still the one instance: it closes as it would have.
            self.assertEqual(self.target.destroy_window(first), 0, first.stderr())
            requests = nginx.wait_stats(lambda r: len(r) >= 4)
        self.assertEvents(requests, [101, 101, 103, 103])
        self.assertExitEvent(requests[3], 101, "DestoryClose", 120)
        self.assertEqual(len({r.fields["deviceId"] for r in requests}), 1)

        if Options.target == "linux":
            self.assertIn("已经有一个Ashfall在运行了", second.stderr())
        else:
            self.assertIn("提示", windows, "the refused run's message box was not seen")

        # The refused run's framed lines sit inside the first run's frame.
        log = self.target.log_text()
        inner = RUN.search(log)
        self.assertIsNotNone(inner, "no framed run in the log:\n" + log)
        outer = split_log_runs(log[:inner.start()] + log[inner.end():])
        self.assertEqual(len(outer or []), 1, "log of two overlapping runs:\n" + log)
        self.assertEqual((log.count(OPEN_LINE), log.count(CLOSE_LINE)), (2, 2), log)


class AccountIdTest(StartupTestCase):

    def test_stamped_copy_reports_its_account_id(self):
        cases = [
            "700123456",
            # Through the ANSI code page and back, then UTF-8 percent encoding.
            "账号 7,x=1",
            # The longest id the slot holds: 63 units and the terminator.
            "9" * 63,
        ]
        for account_id in cases:
            with self.subTest(account_id=account_id), Nginx() as nginx:
                copy = self.target.stamp(account_id)
                run = self.window_run(copy)
                requests = nginx.wait_stats(lambda r: len(r) >= 2)
                starts = [r for r in requests if r.data_type == 101]
                self.assertEqual(len(starts), 1, describe(requests))
                self.assertStartEvent(starts[0], re.escape(",PAID=" + account_id))
                if Options.target == "linux":
                    self.assertIn("当前版本:%s(%s)" % (SDK_VERSION, account_id),
                                  run.stderr().splitlines())
                self.assertEvents(requests, [101, 103])


class SilentServerTest(StartupTestCase):

    def test_unanswered_statistics_do_not_hold_the_run(self):
        with SilentServer() as server:
            first = self.start_window()
            second, code, _ = self.target.second_instance()
            self.assertEqual(code, 1, "second instance; stderr:\n" + second.stderr())
            self.assertLess(second.elapsed, SILENT_SERVER_BOUND,
                            "the refused run waited on a server that never answers")
            started = time.monotonic()
            self.assertEqual(self.target.destroy_window(first), 0, first.stderr())
            self.assertLess(time.monotonic() - started, SILENT_SERVER_BOUND,
                            "closing waited on a server that never answers")
            self.assertGreater(server.connections, 0, "the program never connected")


class StatisticsFallbackTest(StartupTestCase):

    def test_a_refused_request_is_sent_again_by_the_own_client(self):
        with RefuseOnceStatsServer() as server:
            run = self.window_run()
            requests = server.snapshot()
        types = [re.search(r"[?&]dataType=(\d+)", target).group(1) for target, _ in requests]
        self.assertEqual(sorted(set(types)), ["101", "103"], requests)
        for target in {target for target, _ in requests}:
            asked = [rng for t, rng in requests if t == target]
            # The system's transfer first, then the own client's range request.
            self.assertEqual(len(asked), 2, requests)
            self.assertEqual(asked[1], "bytes=0-", requests)
        # The fallback's scratch file does not outlive the run.
        self.assertFalse((self.target.work / "cb.log").exists(), run.stderr())


class NotAdministratorTest(StartupTestCase):
    # Wine always reports an elevated process.
    target_names = ("linux",)

    def test_unprivileged_run_reports_and_offers_contact(self):
        with Nginx() as nginx:
            run = self.target.start(unprivileged=True)
            # End of input closes the contact dialog.
            run.stdin.close()
            code = run.wait()
            requests = nginx.wait_stats(lambda r: len(r) >= 3)
        self.assertEqual(code, 0, run.stderr())
        self.assertIn("请右键点击选择以管理员身份运行。", run.stderr())
        self.assertEvents(requests, [101, 103, 103])
        self.assertStartEvent(requests[0])
        self.assertExitEvent(requests[1], 101, "Not an Administrator", 60)
        self.assertExitEvent(requests[2], 103, "ContactClose.", 60)

    def test_contact_form_reason(self):
        cases = [
            # (lines typed into QQ, WeChat, mobile, ...), exit reason
            (["", "abc", ""], "ContactBtnOK,Wechat=abc"),
            (["12345", "微信 号,a=b:c", "13800138000"],
             "ContactBtnOK,QQ=12345,Wechat=微信 号,a=b:c,Mobile=13800138000"),
            (["12a3", "", "1x9"], "ContactBtnOK,QQ=123,Mobile=19"),
            (["9" * 80, "w" * 80, ""], "ContactBtnOK,QQ=" + "9" * 63 + ",Wechat=" + "w" * 63),
            # An empty form is refused and the fields are asked for again.
            (["", "", "", "", "x", ""], "ContactBtnOK,Wechat=x"),
        ]
        for lines, reason in cases:
            with self.subTest(lines=lines), Nginx() as nginx:
                run = self.target.start(unprivileged=True)
                for line in lines:
                    self.target.type_line(run, line)
                run.stdin.close()
                self.assertEqual(run.wait(), 0, run.stderr())
                requests = nginx.wait_stats(lambda r: len(r) >= 3)
                self.assertEvents(requests, [101, 103, 103])
                self.assertExitEvent(requests[2], 103, reason, 60)
                if not any(lines[:3]):
                    self.assertIn("请至少留下一种联系方式", run.stderr())

    def test_unprivileged_second_start_meets_administrator_check_first(self):
        with Nginx() as nginx:
            first = self.start_window()
            nginx.wait_stats(lambda r: len(r) >= 1)
            # The record stays the administrator's: every write of this run fails.
            os.chmod(self.target.data_dir, 0o755)
            os.chmod(self.target.record_file, 0o644)
            second = self.target.start(unprivileged=True)
            second.stdin.close()
            self.assertEqual(second.wait(), 0, second.stderr())
            requests = nginx.wait_stats(lambda r: len(r) >= 4)
            self.assertTrue(first.running())
            self.assertEqual(self.target.destroy_window(first), 0)
            requests = nginx.wait_stats(lambda r: len(r) >= 5)
        self.assertEvents(requests, [101, 101, 103, 103, 103])
        self.assertNotIn("已经有一个Ashfall在运行了", second.stderr())
        # No comma before the record's error text.
        self.assertStartEvent(requests[1],
                              re.escape("Error=WritePrivateProfileString LastCall Error."))
        self.assertExitEvent(requests[2], 101, "Not an Administrator", 60)
        self.assertExitEvent(requests[3], 103, "ContactClose.", 60)
        self.assertExitEvent(requests[4], 101, "DestoryClose", 120)


if __name__ == "__main__":
    targets.main()
