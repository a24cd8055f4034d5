"""End-to-end tests of the release file as it ships: signed with
tools/sign_release.sh under the test PKI, stamped per user with
tools/stamp_account_id.py, checked by the program's own publisher check (the
signature_probe fixture, which runs the system's WinVerifyTrust first) and
run under Wine: the start event and the version line carry the id a signed
copy keeps in its signature.

  python3 test_signed_release.py --target windows \\
      --program build/windows64-release/Fetchlet.exe \\
      --close-window build/windows64/tests/close_window.exe
"""

import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

import codesign
import targets
import wine
from peers import REPO_ROOT, SDK_VERSION, Nginx
from targets import Options
from test_startup import StartupTestCase, describe

sys.path.insert(0, str(REPO_ROOT / "tools"))
import der  # noqa: E402
import unsigned_attributes  # noqa: E402
from pe_certificate_table import CertificateTable  # noqa: E402
from stamp_account_id import ACCOUNT_ID_OID  # noqa: E402

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
        """The publisher check's status and reason, and what the account-id
        look-up found ("id=..." or "problem=...")."""
        result = subprocess.run([wine.wine_command(), str(self.probe), wine.windows_path(path),
                                 codesign.PUBLISHER], env=self.target.env(),
                                stdin=subprocess.DEVNULL, capture_output=True,
                                timeout=PROBE_TIMEOUT)
        lines = result.stdout.decode("utf-8", "replace").splitlines()
        self.assertEqual(result.returncode, 0, lines)
        verdict = re.fullmatch(r"verdict=(0x[0-9a-f]{8}) ?(.*)", lines[0])
        self.assertIsNotNone(verdict, lines)
        found = re.fullmatch(r"account-id(?:=(.*)|-problem=(.*))", lines[1])
        self.assertIsNotNone(found, lines)
        account = "id=" + found[1] if found[1] is not None else "problem=" + found[2]
        return verdict[1], verdict[2], account

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
        self.assertEqual(self.probe_file(self.signed), (SIGNED, "", "id="))
        self.assertRunShows(self.signed, None)

    def test_a_stamped_copy_keeps_its_signature_and_shows_its_id(self):
        for account_id in ["700123456", "账号 7,x=1", "9" * 63]:
            with self.subTest(account_id=account_id):
                copy = self.target.stamp(account_id, self.signed)
                self.assertEqual(self.probe_file(copy), (SIGNED, "", "id=" + account_id))
                self.assertRunShows(copy, account_id)

    def test_a_copy_stamped_again_carries_the_new_id_alone(self):
        first = self.target.stamp("700123456", self.signed)
        renamed = first.with_name("first.exe")
        first.rename(renamed)
        again = self.target.stamp("800654321", renamed)
        self.assertEqual(self.probe_file(again), (SIGNED, "", "id=800654321"))

    def test_a_stamped_copy_without_its_signature_is_the_built_file(self):
        # How anyone checks a shipped copy against a build of their own.
        copy = self.target.stamp("700123456", self.signed)
        removed = self.target.work / "removed.exe"
        subprocess.run(["osslsigncode", "remove-signature", "-in", str(copy), "-out", str(removed)],
                       check=True, capture_output=True, stdin=subprocess.DEVNULL,
                       timeout=PROBE_TIMEOUT)
        self.assertEqual(removed.read_bytes(), Options.program.read_bytes())

    def test_a_slot_stamped_after_signing_fails_the_check(self):
        image = bytearray(self.signed.read_bytes())
        slot = image.find(PLACEHOLDER)
        text = "700123456".encode("utf-16-le")
        image[slot:slot + 128] = text + b"\0" * (128 - len(text))
        copy = self.target.work / "slot-stamped.exe"
        copy.write_bytes(image)
        status, reason, _ = self.probe_file(copy)
        self.assertEqual(status, CHANGED_AFTER_SIGNING, reason)
        self.assertIn("changed after signing", reason)

    def test_an_unsigned_copy_carries_its_id_in_the_slot(self):
        copy = self.target.stamp("700123456")
        self.assertEqual(self.probe_file(copy)[0], NOT_SIGNED)
        self.assertRunShows(copy, "700123456")

    def test_a_malformed_attribute_counts_as_no_id_and_is_logged(self):
        # An id the stamping tool would refuse, written around it.
        image = self.signed.read_bytes()
        table = CertificateTable(image)
        value = der.encode(der.UTF8_STRING, "[700123456".encode("utf-8"))
        signature = unsigned_attributes.with_attribute(table.signature(image), ACCOUNT_ID_OID, value)
        copy = self.target.work / "malformed.exe"
        copy.write_bytes(table.with_signature(image, signature))
        status, _, account = self.probe_file(copy)
        self.assertEqual((status, account), (SIGNED, 'problem=the account id starts with "["'))
        self.assertRunShows(copy, None)
        self.assertIn('The account id in the signature is not used: the account id starts with "["',
                      self.target.log_text())


if __name__ == "__main__":
    targets.main()
