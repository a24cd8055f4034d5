"""tools/sign_release.sh on a small PE file: it signs in place with SHA-256
and the program's description, and a refused or failed run leaves the file as
it was.

  python3 tests/tools/test_sign_release.py
"""

import shutil
import tempfile
import unittest
from pathlib import Path

from release_files import codesign, program_with_slot, sign, sign_release, verify


class SignReleaseTest(unittest.TestCase):

    def setUp(self):
        self.folder = Path(tempfile.mkdtemp(prefix="fetchlet-sign-"))
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.program = self.folder / "Fetchlet.exe"
        self.unsigned = program_with_slot()
        self.program.write_bytes(self.unsigned)

    def test_signs_in_place_with_sha256_and_the_description(self):
        code, errors = sign(self.program)
        self.assertEqual(code, 0, errors)
        passed, report = verify(self.program)
        self.assertTrue(passed, report)
        self.assertIn("Message digest algorithm  : SHA256", report)
        self.assertIn("Text description: Fetchlet", report)
        self.assertIn("URL description: https://", report)
        # The signature is added at the end; the program's bytes stay.
        self.assertEqual(self.program.read_bytes()[0x200:len(self.unsigned)], self.unsigned[0x200:])
        self.assertEqual(sorted(p.name for p in self.folder.iterdir()), ["Fetchlet.exe"])

    def test_a_refused_or_failed_run_leaves_the_file(self):
        key, chain = codesign.test_pki().key_and_chain("good")
        other_key, _ = codesign.test_pki().key_and_chain("other_name")
        cases = [
            # (what is wrong, the arguments, the exit status)
            ("no chain", [self.program, key], 2),
            ("five arguments", [self.program, key, chain, "http://127.0.0.1:1/", "more"], 2),
            ("a missing key", [self.program, self.folder / "missing.key", chain], 2),
            ("a key of another certificate", [self.program, other_key, chain], 1),
        ]
        for name, arguments, status in cases:
            with self.subTest(name):
                code, errors = sign_release(*arguments)
                self.assertEqual(code, status, errors)
                self.assertEqual(self.program.read_bytes(), self.unsigned)
                self.assertEqual(sorted(p.name for p in self.folder.iterdir()), ["Fetchlet.exe"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
