"""tools/stamp_account_id.py on small PE files: an unsigned one gets the id in
its slot; a signed one keeps every signed byte and its signature, and carries
the id in its signer's unauthenticated attribute, once, however often it is
stamped; what cannot be stamped is refused with status 2 and no copy.

  python3 tests/tools/test_stamp_account_id.py
"""

import re
import shutil
import struct
import subprocess
import tempfile
import unittest
from pathlib import Path

from release_files import (PLACEHOLDER, REPO_ROOT, SLOT_BYTES, TOOL_TIMEOUT, codesign,
                           program_with_slot, sign, stamp, verify)

import der  # noqa: E402  (tools/, put on the path by release_files)
import stamp_account_id  # noqa: E402
import unsigned_attributes  # noqa: E402
from pe_certificate_table import CertificateTable  # noqa: E402

ACCOUNT_ID_OID = stamp_account_id.ACCOUNT_ID_OID


def account_id_values(image):
    """The values of every account-id attribute of the file's signature."""
    table = CertificateTable(image)
    kind = der.encode_oid(ACCOUNT_ID_OID)
    return [values for t, values in unsigned_attributes.attributes(table.signature(image)) if t == kind]


def signed_bytes(image):
    """The bytes the signature's hash covers: all before the certificate
    table but the checksum and the table's directory entry."""
    table = CertificateTable(image)
    covered = bytearray(image[:table.offset])
    covered[table.checksum_offset:table.checksum_offset + 4] = b"\0" * 4
    covered[table.entry_offset:table.entry_offset + 8] = b"\0" * 8
    return bytes(covered)


class StampTestCase(unittest.TestCase):

    def setUp(self):
        self.folder = Path(tempfile.mkdtemp(prefix="fetchlet-stamp-"))
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.unsigned = self.folder / "unsigned.exe"
        self.unsigned.write_bytes(program_with_slot())
        self.signed = self.folder / "signed.exe"
        shutil.copy(self.unsigned, self.signed)
        code, errors = sign(self.signed)
        self.assertEqual(code, 0, errors)

    def stamped(self, program, account_id, name="copy.exe"):
        copy = self.folder / name
        code, errors = stamp(program, copy, account_id)
        self.assertEqual(code, 0, errors)
        return copy.read_bytes()


class UnsignedTest(StampTestCase):

    def test_the_slot_gets_the_id_and_nothing_else_changes(self):
        original = self.unsigned.read_bytes()
        slot = original.find(PLACEHOLDER)
        for account_id in ["700123456", "账号 7,x=1", "9" * 63, "\U0001F600" * 31]:
            with self.subTest(account_id=account_id):
                copy = self.stamped(self.unsigned, account_id)
                text = account_id.encode("utf-16-le")
                self.assertEqual(copy[slot:slot + SLOT_BYTES], text + b"\0" * (SLOT_BYTES - len(text)))
                self.assertEqual(copy[:slot] + copy[slot + SLOT_BYTES:],
                                 original[:slot] + original[slot + SLOT_BYTES:])


class SignedTest(StampTestCase):

    def assertStampedSignature(self, copy, account_id):
        """Signed bytes as signed, a signature that verifies, the table
        aligned at the end, and exactly one attribute with the id."""
        original = self.signed.read_bytes()
        self.assertEqual(signed_bytes(copy), signed_bytes(original))
        table = CertificateTable(copy)
        self.assertEqual(table.offset, CertificateTable(original).offset)
        self.assertEqual((table.offset % 8, table.size % 8, table.offset + table.size),
                         (0, 0, len(copy)))
        self.assertEqual(struct.unpack_from("<I", copy, table.offset)[0], table.size)
        self.assertEqual(account_id_values(copy),
                         [[der.encode(der.UTF8_STRING, account_id.encode("utf-8"))]])
        # The program reads the attribute only while its slot is empty.
        self.assertEqual(copy.count(PLACEHOLDER), 1)

    def assertVerifies(self, path, signatures=1):
        passed, report = verify(path)
        self.assertTrue(passed, report)
        self.assertNotIn("invalid PE checksum", report)
        self.assertIn("Number of verified signatures: %d" % signatures, report)

    def test_the_signature_carries_the_id_and_still_verifies(self):
        for account_id in ["700123456", "账号 7,x=1", "9" * 63]:
            with self.subTest(account_id=account_id):
                copy = self.stamped(self.signed, account_id)
                self.assertStampedSignature(copy, account_id)
                self.assertVerifies(self.folder / "copy.exe")

    def test_stamping_again_replaces_the_id(self):
        self.stamped(self.signed, "first-id-of-some-length", "first.exe")
        copy = self.stamped(self.folder / "first.exe", "2nd")
        self.assertStampedSignature(copy, "2nd")
        self.assertVerifies(self.folder / "copy.exe")

    def test_removing_the_signature_gives_back_the_built_file(self):
        # How anyone checks a shipped copy against a build of their own.
        self.stamped(self.signed, "700123456")
        removed = self.folder / "removed.exe"
        subprocess.run(["osslsigncode", "remove-signature", "-in", str(self.folder / "copy.exe"),
                        "-out", str(removed)], check=True, capture_output=True, timeout=TOOL_TIMEOUT)
        self.assertEqual(removed.read_bytes(), self.unsigned.read_bytes())

    def test_a_nested_signature_stays(self):
        key, chain = codesign.test_pki().key_and_chain("good")
        nested = self.folder / "nested.exe"
        subprocess.run(["osslsigncode", "sign", "-nest", "-h", "sha1", "-certs", str(chain),
                        "-key", str(key), "-in", str(self.signed), "-out", str(nested)],
                       check=True, capture_output=True, timeout=TOOL_TIMEOUT)
        self.stamped(nested, "700123456")
        self.assertVerifies(self.folder / "copy.exe", signatures=2)


class RefusalTest(StampTestCase):

    def test_what_cannot_be_stamped_is_refused_without_a_copy(self):
        signed = self.signed.read_bytes()
        table = CertificateTable(signed)

        def with_entry(offset, size):
            image = bytearray(signed)
            struct.pack_into("<II", image, table.entry_offset, offset, size)
            return bytes(image)

        # The signature's outer length claims more than its entry holds.
        overlong = bytearray(signed)
        outer = table.offset + 8 + 2
        overlong[outer:outer + 2] = (int.from_bytes(overlong[outer:outer + 2], "big") + 0x100).to_bytes(2, "big")

        cases = [
            # (what is wrong, the program's bytes, the id, part of the message)
            ("an empty id", signed, "", "empty"),
            ("an id starting with [", signed, "[7", '"["'),
            ("64 units", signed, "9" * 64, "64 UTF-16 units"),
            ("a lone surrogate", signed, "a\udc80", "not valid text"),
            ("no placeholder", signed.replace(PLACEHOLDER, b"x" * len(PLACEHOLDER)), "1",
             "placeholder was not found"),
            ("two placeholders", program_with_slot() + PLACEHOLDER, "1", "more than once"),
            ("data after the signature", signed + b"\0" * 8, "1", "at the end of the file"),
            ("a table past the end", with_entry(table.offset, table.size + 8), "1",
             "at the end of the file"),
            ("a table that starts before the signature", with_entry(table.offset - 8, table.size + 8),
             "1", "no Authenticode signature"),
            ("a signature longer than its entry", bytes(overlong), "1", "not DER"),
            ("not a PE header", b"MZ" + signed[2:0x40] + b"\0" * 4 + signed[0x44:], "1",
             "not a PE file"),
        ]
        for name, image, account_id, message in cases:
            with self.subTest(name):
                program = self.folder / "program.exe"
                program.write_bytes(image)
                copy = self.folder / "refused.exe"
                code, errors = stamp(program, copy, account_id)
                self.assertEqual(code, 2, errors)
                self.assertIn(message, errors)
                self.assertFalse(copy.exists())
                self.assertFalse(list(self.folder.glob(".stamp-*")))


class ObjectIdTest(unittest.TestCase):

    def test_the_tool_writes_the_object_id_the_program_reads(self):
        header = (REPO_ROOT / "common" / "AccountIdAttribute.h").read_text()
        read = re.search(r'kAccountIdAttributeOid = "([0-9.]+)"', header)
        self.assertIsNotNone(read, "no object id in the program's header")
        self.assertEqual(read.group(1), ACCOUNT_ID_OID)


if __name__ == "__main__":
    unittest.main(verbosity=2)
