"""End-to-end tests of the release file as it ships: signed with
tools/sign_release.sh under the test PKI, checked by the program's own
publisher check (the signature_probe fixture, which runs the system's
WinVerifyTrust first) and run under Wine.

  python3 test_signed_release.py --target windows \\
      --program build/windows64-release/Fetchlet.exe \\
      --close-window build/windows64/tests/close_window.exe
"""

import re
import shutil
import subprocess
import tempfile
from pathlib import Path

import codesign
import targets
import wine
from peers import REPO_ROOT, SDK_VERSION, Nginx
from targets import Options
from test_startup import StartupTestCase, describe

PROBE_TIMEOUT = 60.0
TEXTS_TIMEOUT = 30
PLACEHOLDER = "[TARN_ACCOUNT_ID_HOLD]".encode("utf-16-le")
SIGNED = "0x00000000"
NOT_SIGNED = "0x800b0100"
CHANGED_AFTER_SIGNING = "0x80096010"


class SignedReleaseTestCase(StartupTestCase):
    """The release file, and a copy of it signed by the test publisher."""

    target_names = ("windows",)

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        fixtures = Options.close_window.parent
        cls.probe = fixtures / "signature_probe.exe"
        cls.window_texts = fixtures / "window_texts.exe"
        codesign.trust_test_root(fixtures / "trust_root.exe", cls.target.env())
        cls.folder = Path(tempfile.mkdtemp(prefix="fetchlet-release-"))
        cls.signed = cls.folder / "Fetchlet.exe"
        shutil.copy(Options.program, cls.signed)
        key, chain = codesign.test_pki().key_and_chain()
        subprocess.run(["bash", str(REPO_ROOT / "tools" / "sign_release.sh"), str(cls.signed),
                        str(key), str(chain)], check=True, capture_output=True,
                       stdin=subprocess.DEVNULL, timeout=PROBE_TIMEOUT)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)
        super().tearDownClass()

    def probe_file(self, path):
        """The publisher check's status and reason."""
        result = subprocess.run([wine.wine_command(), str(self.probe), wine.windows_path(path),
                                 codesign.PUBLISHER], env=self.target.env(),
                                stdin=subprocess.DEVNULL, capture_output=True,
                                timeout=PROBE_TIMEOUT)
        lines = result.stdout.decode("utf-8", "replace").splitlines()
        self.assertEqual(result.returncode, 0, lines)
        verdict = re.fullmatch(r"verdict=(0x[0-9a-f]{8}) ?(.*)", lines[0])
        self.assertIsNotNone(verdict, lines)
        return verdict[1], verdict[2]

    def version_line(self, run):
        """The version line as the window shows it."""
        result = subprocess.run([wine.wine_command(), str(self.window_texts), str(TEXTS_TIMEOUT)],
                                env=self.target.env(), stdin=subprocess.DEVNULL,
                                capture_output=True, timeout=TEXTS_TIMEOUT + 30)
        texts = result.stdout.decode("utf-8", "replace").splitlines()
        lines = [t for t in texts if t.startswith("当前版本:")]
        self.assertEqual(len(lines), 1, "the window's texts: %r; stderr:\n%s" % (texts, run.stderr()))
        return lines[0]

    def assertRunShows(self, program, account_id):
        """A window run of the program: its start event and its version line
        carry the id (or no id at all when account_id is None)."""
        with Nginx() as nginx:
            run = self.start_window(program)
            line = self.version_line(run)
            self.assertEqual(self.target.destroy_window(run), 0, run.stderr())
            requests = nginx.wait_stats(lambda r: len(r) >= 2)
        starts = [r for r in requests if r.data_type == 101]
        self.assertEqual(len(starts), 1, describe(requests))
        if account_id is None:
            self.assertStartEvent(starts[0])
            self.assertEqual(line, "当前版本:" + SDK_VERSION)
        else:
            self.assertStartEvent(starts[0], re.escape(",PAID=" + account_id))
            self.assertEqual(line, "当前版本:%s(%s)" % (SDK_VERSION, account_id))
        self.assertEvents(requests, [101, 103])


class SignedReleaseTest(SignedReleaseTestCase):

    def test_the_signed_file_passes_the_publisher_check(self):
        self.assertEqual(self.probe_file(self.signed), (SIGNED, ""))
        self.assertRunShows(self.signed, None)

    def test_a_slot_stamped_after_signing_fails_the_check(self):
        image = bytearray(self.signed.read_bytes())
        slot = image.find(PLACEHOLDER)
        text = "700123456".encode("utf-16-le")
        image[slot:slot + 128] = text + b"\0" * (128 - len(text))
        copy = self.target.work / "slot-stamped.exe"
        copy.write_bytes(image)
        status, reason = self.probe_file(copy)
        self.assertEqual(status, CHANGED_AFTER_SIGNING, reason)
        self.assertIn("changed after signing", reason)

    def test_an_unsigned_copy_carries_its_id_in_the_slot(self):
        copy = self.target.stamp("700123456")
        self.assertEqual(self.probe_file(copy)[0], NOT_SIGNED)
        self.assertRunShows(copy, "700123456")


if __name__ == "__main__":
    targets.main()
