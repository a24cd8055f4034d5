"""End-to-end tests of the BI client: its requests (bodies, signs, headers),
its handling of every kind of answer and transport failure, and the
forwarding of the statistics events, through the BI probe against the
scripted HTTPS service on localhost:8443; then window runs of the real
program with nginx and the service both up, directly and through a CONNECT
proxy. --release-program runs the proxy cases with the shipped build, whose
libcurl is built apart.

  python3 test_bi.py --target linux --probe build/linux/tests/bi_probe \\
      --program build/linux/fetchlet
  python3 test_bi.py --target windows --probe build/windows/tests/bi_probe.exe \\
      --program build/windows/Fetchlet.exe --close-window build/windows/tests/close_window.exe \\
      --release-program build/windows-release/Fetchlet.exe
"""

import argparse
import hashlib
import json
import os
import re
import subprocess
import sys
import time
import unittest
from pathlib import Path

import targets
import wine
from bi_service import (ACCEPT_EVENT, INIT_PATH, PORT, REPORT_PATH, TOKEN, BiService,
                        accept_init, dumps, hold, json_answer, partial, raw, refuse_init)
from connect_proxy import ConnectProxy, basic_credentials
from datafiles import read_ini
from peers import SDK_VERSION, Nginx
from targets import ProgramTestCase

APP_SECRET = "7ad2e914c03b6f58e1a97c20d4b36e5f"
DEVICE_ID = "0123456789abcdef0123456789abcdef"
INSTALL_TIME = 1700000000000
EMPTY_PROPERTIES = {"guid": "", "role_id": "", "role_lv": "", "uid": ""}
SYNTHETIC_ERROR = "report server timeout ."

PROBE_TIMEOUT = 60.0
# One BI call that meets a dead or silent service gives up after about 1 s;
# this is a bound against hanging, not a measure of speed.
GIVE_UP_BOUND_MS = 3000

INIT_FAILED = "SDK initialization failed, error: "
PARSE_FAILED = "Error parsing JSON response: "
EVENT_OK = "SDK ReportCustomEvent successfully, token: "
EVENT_FAILED = "SDK ReportCustomEvent failed, error: "
CURL_FAILED = "curl_easy_perform() failed: "


class Options:
    probe = None
    release_program = None


def md5(text):
    return hashlib.md5(text.encode("utf-8")).hexdigest()


def now_ms():
    return int(time.time() * 1000)


def init_body(client_time):
    fields = {"account_id": "", "app_version": SDK_VERSION, "appid": "82",
              "channel": "tarn_platform_fetchlet", "client_time": client_time,
              "device_id": DEVICE_ID, "device_model": "Windows", "disk": "30/200",
              "event_name": "init", "install_time": INSTALL_TIME, "manufacturer": "Intel",
              "os": "PC_MINI", "os_version": "Windows", "ram": "1.2/4", "report_server": 1,
              "sdk_version": "1.0"}
    fields["sign"] = md5("82" + "tarn_platform_fetchlet" + DEVICE_ID + "init"
                         + str(client_time) + APP_SECRET)
    return dumps(fields)


def event_body(client_time, name, properties, account_id=""):
    return dumps({"account_id": account_id, "client_time": client_time, "event_name": name,
                  "normal_account": account_id, "properties": properties,
                  "sign": md5(str(client_time) + name + APP_SECRET), "zone_offset": 8})


def custom_headers(request):
    """The header lines the client adds itself, as sent."""
    return [line for line in request.header_lines
            if line.split(":", 1)[0].lower() in ("content-type", "authorization")]


class ProbeResult:
    def __init__(self, lines, stdout, stderr):
        self.lines = lines
        self.stdout = stdout
        self.stderr = stderr

    @property
    def output(self):
        return self.stdout + self.stderr


class LinuxProbe:
    def open(self):
        pass

    def close(self):
        pass

    def command(self):
        return [str(Options.probe)]

    def env(self):
        env = dict(os.environ)
        env.setdefault("LANG", "C.UTF-8")
        return env


class WindowsProbe(wine.WineSession):
    def command(self):
        return [wine.wine_command(), str(Options.probe)]

    def env(self):
        return dict(self.prefix.env)


def decode(data):
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        return data.decode("gbk", "replace")


class BiTestCase(unittest.TestCase):
    """A probe (a Wine prefix on Windows) per class; a fresh service per test."""

    @classmethod
    def setUpClass(cls):
        cls.probe = LinuxProbe() if targets.Options.target == "linux" else WindowsProbe()
        cls.probe.open()
        cls.addClassCleanup(cls.probe.close)

    def service(self, **options):
        service = BiService(**options).__enter__()
        self.addCleanup(service.__exit__)
        return service

    def run_probe(self, *args):
        """One probe run of several commands; its JSON lines, in order."""
        try:
            result = subprocess.run(self.probe.command() + list(args), env=self.probe.env(),
                                    stdin=subprocess.DEVNULL, capture_output=True,
                                    timeout=PROBE_TIMEOUT)
        except subprocess.TimeoutExpired:
            self.fail("the probe did not finish within %d s: %s" % (PROBE_TIMEOUT, args))
        stdout, stderr = decode(result.stdout), decode(result.stderr)
        lines = [json.loads(line) for line in stdout.splitlines() if line.startswith("{")]
        self.assertEqual(result.returncode, 0, "probe %s: exit %d\n%s%s"
                         % (args, result.returncode, stdout, stderr))
        return ProbeResult(lines, stdout, stderr)

    def assertBodyTime(self, request, before, after):
        client_time = request.json()["client_time"]
        self.assertTrue(before <= client_time <= after,
                        "client_time %d outside [%d, %d]" % (client_time, before, after))
        return client_time

    def assertInit(self, request, before, after):
        self.assertEqual((request.method, request.path), ("POST", INIT_PATH))
        self.assertEqual(custom_headers(request), ["Content-Type: application/json"],
                         request.header_lines)
        client_time = self.assertBodyTime(request, before, after)
        self.assertEqual(request.body, init_body(client_time))

    def assertEvent(self, request, before, after, name, properties, token):
        self.assertEqual((request.method, request.path), ("POST", REPORT_PATH))
        self.assertEqual(custom_headers(request), ["Content-Type: application/json",
                                                   "Authorization:BEARER" + token],
                         request.header_lines)
        client_time = self.assertBodyTime(request, before, after)
        self.assertEqual(request.body, event_body(client_time, name, properties))


class RequestTest(BiTestCase):
    """What goes on the wire."""

    def test_init_then_events_with_token_and_properties(self):
        service = self.service()
        cases = [
            # remark, properties sent
            ("", EMPTY_PROPERTIES),
            ("not json", dict(EMPTY_PROPERTIES, event_remark="not json")),
            ('{"uid":"u-77","zone":"east","n":5}', dict(EMPTY_PROPERTIES, zone="east", n=5)),
            ('{"b":"2","a":"1"}', dict(EMPTY_PROPERTIES, a="1", b="2")),
        ]
        args = ["init"]
        for index, (remark, _) in enumerate(cases):
            args += ["event", "ev%d" % index, remark]
        before = now_ms()
        result = self.run_probe(*args, "state")
        after = now_ms()
        self.assertEqual(result.lines[0], {"cmd": "init", "ok": True, "initialized": True,
                                           "token": TOKEN, "ms": result.lines[0].get("ms")})
        self.assertEqual([line["ok"] for line in result.lines[1:-1]], [True] * len(cases))
        self.assertEqual(result.stdout.count(EVENT_OK + TOKEN), len(cases), result.output)
        requests = service.requests
        self.assertEqual(len(requests), 1 + len(cases), requests)
        self.assertInit(requests[0], before, after)
        for index, ((remark, properties), request) in enumerate(zip(cases, requests[1:])):
            with self.subTest(remark=remark):
                self.assertEvent(request, before, after, "ev%d" % index, properties, TOKEN)

    def test_event_before_any_init_has_an_empty_bearer(self):
        service = self.service()
        before = now_ms()
        result = self.run_probe("event", "early", "", "state")
        after = now_ms()
        self.assertEqual([r.path for r in service.requests], [REPORT_PATH])
        self.assertEvent(service.requests[0], before, after, "early", EMPTY_PROPERTIES, "")
        self.assertEqual(result.lines[-1]["initialized"], False)

    def test_reports_are_forwarded_by_data_type(self):
        """The reporter's forwarding: one init, then one event per report."""
        version = {"version": SDK_VERSION}
        exit_text = "LastDataType:101,UseTime:3,Exit:DestoryClose"
        cases = [
            # data type, text, event name, extra properties
            ("101", "SW=1024,SH=768", "ruzero_dev_install_interface", {}),
            ("1", "1,http://x/", "ruzero_dev_install_start", {}),
            ("2", "download failed", "ruzero_dev_install_error",
             {"error_type": "DownloadError", "error_msg": "download failed"}),
            ("5", "", "ruzero_dev_install_error", {"error_type": "InstallError", "error_msg": ""}),
            ("6", "", "ruzero_dev_install_end", {}),
            ("103", exit_text, "ruzero_dev_install_exit",
             {"error_type": "UserClose", "error_msg": exit_text}),
            ("3", "log", "default3", {}),
            ("100", "x", "default100", {}),
            ("-1", "x", "default-1", {}),
        ]
        if targets.Options.target == "linux":
            cases.append(("2", "下载失败 \"q\"", "ruzero_dev_install_error",
                          {"error_type": "DownloadError", "error_msg": "下载失败 \"q\""}))
        service = self.service()
        args = []
        for data_type, text, _, _ in cases:
            args += ["report", data_type, text]
        before = now_ms()
        result = self.run_probe(*args)
        after = now_ms()
        self.assertTrue(all(line["initialized"] and line["token"] == TOKEN
                            for line in result.lines), result.lines)
        requests = service.requests
        self.assertEqual([r.path for r in requests], [INIT_PATH] + [REPORT_PATH] * len(cases))
        self.assertInit(requests[0], before, after)
        for (data_type, text, name, extra), request in zip(cases, requests[1:]):
            with self.subTest(data_type=data_type, text=text):
                self.assertEvent(request, before, after, name,
                                 dict(EMPTY_PROPERTIES, **version, **extra), TOKEN)

    def test_chinese_text_under_wine(self):
        if targets.Options.target != "windows":
            self.skipTest("the Linux case is in the data type table")
        service = self.service()
        text = "下载失败"
        result = self.run_probe("report", "2", text)
        self.assertTrue(result.lines and result.lines[0]["initialized"], result.output)
        [_, event] = service.requests
        self.assertEqual(event.json()["properties"]["error_msg"], text)


class AnswerTest(BiTestCase):
    """How the client takes each kind of answer to its initialisation."""

    def test_init_answers(self):
        cases = [
            # name, init answer, initialized, token, message expected in the output
            ("accepted", accept_init("abc"), True, "abc", None),
            ("refused", refuse_init("bad sign"), False, "", INIT_FAILED + "bad sign"),
            ("garbage", raw(b"not json"), False, "", PARSE_FAILED),
            ("no MSG", json_answer({"RES": 0}), False, "", PARSE_FAILED),
            ("RES 0.0", raw(b'{"RES":0.0,"MSG":"t0"}'), True, "t0", None),
            ("500 with a JSON body", json_answer({"RES": 0, "MSG": "from-500"}, status=500),
             True, "from-500", None),
            ("500 refusing", json_answer({"RES": 9, "ERR": "busy"}, status=500),
             False, "", INIT_FAILED + "busy"),
        ]
        for name, answer, initialized, token, message in cases:
            with self.subTest(name), BiService() as service:
                service.script(INIT_PATH, [answer])
                result = self.run_probe("init", "state")
                self.assertEqual([(line["initialized"], line["token"]) for line in result.lines],
                                 [(initialized, token)] * 2, result.output)
                self.assertEqual(result.lines[0]["ok"], initialized)
                if message:
                    self.assertIn(message, result.stderr, result.output)
                self.assertNotIn(CURL_FAILED, result.stderr)

    def test_partial_answer_is_passed_on_not_replaced(self):
        service = self.service()
        service.script(INIT_PATH, [partial(b'{"RES":0,"MSG":"half')])
        result = self.run_probe("init", "state")
        self.assertEqual((result.lines[0]["ok"], result.lines[1]["initialized"]),
                         (False, False), result.output)
        self.assertIn(CURL_FAILED, result.stderr)
        self.assertIn(PARSE_FAILED, result.stderr)
        self.assertNotIn(SYNTHETIC_ERROR, result.output)
        self.assertLess(result.lines[0]["ms"], GIVE_UP_BOUND_MS)

    def test_event_answers(self):
        service = self.service()
        service.script(REPORT_PATH, [ACCEPT_EVENT,
                                     json_answer({"RES": 4, "ERR": "stale token"}, status=500),
                                     raw(b"<html>oops</html>", status=503)])
        result = self.run_probe("init", "event", "a", "", "event", "b", "", "event", "c", "")
        self.assertEqual([line["ok"] for line in result.lines], [True, True, False, False])
        self.assertIn(EVENT_OK + TOKEN, result.stdout)
        self.assertIn(EVENT_FAILED + "stale token", result.stdout)
        self.assertIn(PARSE_FAILED, result.stderr)

    def test_refused_init_is_tried_again_by_the_next_report(self):
        service = self.service()
        service.script(INIT_PATH, [refuse_init("bad sign"), accept_init("second")])
        before = now_ms()
        result = self.run_probe("report", "6", "", "report", "6", "")
        after = now_ms()
        self.assertEqual([(line["initialized"], line["token"]) for line in result.lines],
                         [(False, ""), (True, "second")], result.output)
        self.assertIn(INIT_FAILED + "bad sign", result.stderr)
        requests = service.requests
        self.assertEqual([r.path for r in requests],
                         [INIT_PATH, REPORT_PATH, INIT_PATH, REPORT_PATH])
        properties = dict(EMPTY_PROPERTIES, version=SDK_VERSION)
        # The refused init does not hold back the event: it goes with no token.
        self.assertEvent(requests[1], before, after, "ruzero_dev_install_end", properties, "")
        self.assertInit(requests[2], before, after)
        self.assertEvent(requests[3], before, after, "ruzero_dev_install_end", properties,
                         "second")


class TransportFailureTest(BiTestCase):
    """Failures with no answer byte: the synthetic answer, soon."""

    def test_failures_give_the_synthetic_answer(self):
        cases = [
            # name, service options (None: nothing listens), answer to both paths
            ("never answers", {}, hold()),
            ("nothing listens", None, None),
            # Proves the peer is verified: the certificate names localhost but
            # comes from a CA the client was not given.
            ("certificate from another CA", {"other_ca": True}, None),
        ]
        for name, options, answer in cases:
            with self.subTest(name), BiService(**(options or {})) as service:
                if options is None:
                    # The trusted CA stays written; the port is closed.
                    service.__exit__()
                if answer:
                    service.script(INIT_PATH, [answer])
                    service.script(REPORT_PATH, [answer])
                result = self.run_probe("init", "event", "after", "", "state")
                init, event, state = result.lines
                self.assertEqual((init["ok"], event["ok"], state["initialized"]),
                                 (False, False, False), result.output)
                self.assertIn(INIT_FAILED + SYNTHETIC_ERROR, result.stderr)
                self.assertIn(EVENT_FAILED + SYNTHETIC_ERROR, result.stdout)
                self.assertEqual(len(re.findall(r"^curl_easy_perform\(\) failed: \S.*$",
                                                result.stderr, re.M)), 2, result.stderr)
                for line in (init, event):
                    self.assertLess(line["ms"], GIVE_UP_BOUND_MS, line)
                if options and options.get("other_ca"):
                    self.assertGreaterEqual(service.connections, 2)
                    self.assertEqual(service.requests, [], "a request got past the handshake")


class ProgramRunTest(ProgramTestCase):
    """The real program forwards its start and exit events to the service."""

    def test_window_run_reports_to_both_channels(self):
        with Nginx() as nginx, BiService() as service:
            before = now_ms()
            run = self.target.start()
            self.assertTrue(self.target.wait_window(run),
                            "the window did not come up; stderr:\n" + run.stderr())
            code = self.target.destroy_window(run)
            after = now_ms()
            self.assertEqual(code, 0, "exit code; stderr:\n" + run.stderr())
            stats = nginx.wait_stats(lambda r: len(r) >= 2)
            requests = service.wait_requests(3)
        self.assertEqual([r.data_type for r in stats], [101, 103])
        self.assertEqual([r.path for r in requests], [INIT_PATH, REPORT_PATH, REPORT_PATH],
                         requests)
        init, start, end = [r.json() for r in requests]
        device_id = read_ini(self.target.record_file)["TarnNet"]["GUID"]
        self.assertEqual((init["device_id"], init["app_version"]), (device_id, SDK_VERSION))
        self.assertEqual(init["sign"], md5("82tarn_platform_fetchlet" + device_id + "init"
                                           + str(init["client_time"]) + APP_SECRET))
        for request, body in zip(requests[1:], (start, end)):
            self.assertEqual(custom_headers(request)[-1], "Authorization:BEARER" + TOKEN)
            self.assertTrue(before <= body["client_time"] <= after)
            self.assertEqual(body["sign"], md5(str(body["client_time"]) + body["event_name"]
                                               + APP_SECRET))
        self.assertEqual(start["event_name"], "ruzero_dev_install_interface")
        self.assertEqual(start["properties"], dict(EMPTY_PROPERTIES, version=SDK_VERSION))
        self.assertEqual(end["event_name"], "ruzero_dev_install_exit")
        exit_properties = dict(end["properties"])
        message = exit_properties.pop("error_msg")
        self.assertEqual(exit_properties, dict(EMPTY_PROPERTIES, version=SDK_VERSION,
                                               error_type="UserClose"))
        self.assertRegex(message, r"^LastDataType:101,UseTime:\d+,Exit:DestoryClose$")
        self.assertEqual(message, stats[1].extend)


# What a client names as the tunnel's target: the service's host and port.
BI_TARGET = "localhost:%d" % PORT
PROXY_CREDENTIALS = ("fetchlet", "pa55w0rd")


class ProxyTest(ProgramTestCase):
    """The BI client reaches its service through the proxy the environment
    names (https_proxy and no_proxy, as libcurl reads them), with the shipped
    program where the build names it. The statistics have a transport of
    their own and stay off the proxy."""

    def window_run(self, program, env, nginx):
        """Opens and closes the window; the statistics events it sent."""
        run = self.target.start(program=program, env=env)
        self.assertTrue(self.target.wait_window(run),
                        "the window did not come up; stderr:\n" + run.stderr())
        self.assertEqual(self.target.destroy_window(run), 0, "exit code; stderr:\n" + run.stderr())
        return nginx.wait_stats(lambda r: len(r) >= 2)

    def test_bi_goes_through_the_proxy_the_environment_names(self):
        cases = [
            # name, credentials the proxy asks for, environment given the
            # proxy's URL, service options, tunnelled, the service gets the events
            ("https_proxy", None, lambda url: {"https_proxy": url()}, {}, True, True),
            ("credentials in the proxy's URL", PROXY_CREDENTIALS,
             lambda url: {"https_proxy": url(PROXY_CREDENTIALS)}, {}, True, True),
            ("no_proxy names the service", None,
             lambda url: {"https_proxy": url(), "no_proxy": "localhost"}, {}, False, True),
            # The tunnel changes nothing of the peer's check: a certificate from
            # a CA the client was not given (as an inspecting proxy shows) is
            # refused. Shown with the test build, which is given the test CA:
            # the shipped program trusts the system's roots, and Wine's TLS
            # checks no chain against them.
            ("certificate from another CA", None, lambda url: {"https_proxy": url()},
             {"other_ca": True}, True, False),
        ]
        for name, credentials, environment, service_options, tunnelled, delivered in cases:
            program = targets.Options.program if not delivered else \
                Options.release_program or targets.Options.program
            self.assertTrue(program.exists(), "no program at %s: build its preset first" % program)
            with self.subTest(name):
                with Nginx() as nginx, BiService(**service_options) as service, \
                        ConnectProxy(credentials) as proxy:
                    # A no_proxy of the caller's own must not decide the case.
                    stats = self.window_run(program, dict({"no_proxy": ""}, **environment(proxy.url)),
                                            nginx)
                    requests = service.wait_requests(3) if delivered else service.requests
                    log = proxy.log()
                self.assertEqual([r.data_type for r in stats], [101, 103])
                self.assertEqual([r.path for r in requests],
                                 [INIT_PATH, REPORT_PATH, REPORT_PATH] if delivered else [], requests)
                # Only the BI client's tunnels: no other transport came this way.
                self.assertTrue(all(r.method == "CONNECT" and r.target == BI_TARGET for r in log), log)
                if not tunnelled:
                    self.assertEqual(log, [])
                    continue
                self.assertTrue(log, "nothing came through the proxy")
                # One tunnel per request: each goes on a fresh connection.
                self.assertEqual(proxy.tunnels(), [BI_TARGET] * len(log), log)
                self.assertEqual(len(log), len(requests) if delivered else service.connections, log)
                if credentials:
                    self.assertEqual({r.authorization for r in log}, {basic_credentials(*credentials)})


def main():
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--release-program", type=Path,
                        help="the shipped build's program, for the proxy cases")
    args, rest = parser.parse_known_args(sys.argv[1:])
    if args.release_program:
        Options.release_program = args.release_program.resolve()
    sys.argv[1:] = rest
    targets.main_with_path("probe", "build/linux/tests/bi_probe or build/windows/tests/bi_probe.exe",
                           lambda path: setattr(Options, "probe", path))


if __name__ == "__main__":
    main()
