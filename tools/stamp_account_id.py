#!/usr/bin/env python3
"""Makes a copy of the built program that carries an account id.

    stamp_account_id.py <program> <copy> <account-id>

A signed Windows program keeps its signature: the id goes into an
unauthenticated attribute of the signature's signer (ACCOUNT_ID_OID, its
value the id as a UTF8String), which the signature does not cover, so every
signed byte stays as it was. A stamped signed copy can be stamped again: its
attribute is replaced.

An unsigned program (the Linux one, or a Windows one not yet signed) gets the
id in its account-id slot: a 64-unit (128-byte) UTF-16 buffer in its
initialised data that starts with the placeholder "[TARN_ACCOUNT_ID_HOLD]".
The id goes there as UTF-16LE, with zero units filling the rest of the
buffer, so the text always ends with a NUL inside it. Nothing else changes.

Either way the program must still hold the placeholder: it reads the
signature's attribute only while its slot is empty.

Exit status: 0 on success, 2 when the input or the id is refused.
"""

import os
import shutil
import sys
import tempfile

import der
import unsigned_attributes
from pe_certificate_table import CertificateTable, PeError

# The object id of the account-id attribute, the project's own
# (common/AccountIdAttribute.h in the program reads it).
ACCOUNT_ID_OID = "1.3.6.1.4.1.59217.1.1"

PLACEHOLDER = "[TARN_ACCOUNT_ID_HOLD]".encode("utf-16-le")
SLOT_BYTES = 128
MAX_ID_UNITS = SLOT_BYTES // 2 - 1  # one unit stays for the terminator


class Refused(Exception):
    pass


def encode_id(account_id):
    """The id as UTF-16LE, padded with zero units to the slot's size."""
    if not account_id:
        raise Refused("the account id is empty")
    # The program counts a slot that starts with "[" as empty.
    if account_id.startswith("["):
        raise Refused('the account id must not start with "["')
    try:
        data = account_id.encode("utf-16-le")
    except UnicodeEncodeError:
        raise Refused("the account id is not valid text") from None
    if len(data) // 2 > MAX_ID_UNITS:
        raise Refused("the account id is %d UTF-16 units long; at most %d fit"
                      % (len(data) // 2, MAX_ID_UNITS))
    return data + b"\0" * (SLOT_BYTES - len(data))


def find_slot(image):
    """Offset of the one slot that still holds the placeholder."""
    first = image.find(PLACEHOLDER)
    if first < 0:
        raise Refused("the placeholder was not found (already stamped, or not this program)")
    if image.find(PLACEHOLDER, first + 1) >= 0:
        raise Refused("the placeholder appears more than once; the slot is ambiguous")
    if first + SLOT_BYTES > len(image):
        raise Refused("the placeholder lies too close to the end of the file to be the slot")
    return first


def stamped_signature(table, image, account_id):
    """The image with the id in its signature's attribute."""
    try:
        signature = table.signature(image)
        value = der.encode(der.UTF8_STRING, account_id.encode("utf-8"))
        return table.with_signature(
            image, unsigned_attributes.with_attribute(signature, ACCOUNT_ID_OID, value))
    except (PeError, der.DerError) as e:
        raise Refused("the signature cannot be stamped: %s" % e) from None


def stamp(program, copy, account_id):
    slot = encode_id(account_id)
    if os.path.exists(copy) and os.path.samefile(program, copy):
        raise Refused("the copy must not be the program itself")
    with open(program, "rb") as f:
        image = bytearray(os.fstat(f.fileno()).st_size)
        if f.readinto(image) != len(image):
            raise Refused("the program changed while it was read")
    offset = find_slot(image)
    table = None
    if image[:2] == b"MZ":
        try:
            table = CertificateTable(image)
        except PeError as e:
            raise Refused(str(e)) from None
    if table is not None and table.signed:
        image = stamped_signature(table, image, account_id)
    else:
        image[offset:offset + SLOT_BYTES] = slot

    # Write beside the target and rename, so a failed run leaves no half copy.
    folder = os.path.dirname(os.path.abspath(copy))
    fd, tmp = tempfile.mkstemp(prefix=".stamp-", dir=folder)
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(image)
        shutil.copymode(program, tmp)  # keeps the executable bit
        os.replace(tmp, copy)
    except BaseException:
        os.unlink(tmp)
        raise


def main(argv):
    if len(argv) != 4:
        sys.stderr.write("usage: stamp_account_id.py <program> <copy> <account-id>\n")
        return 2
    program, copy, account_id = argv[1:]
    try:
        stamp(program, copy, account_id)
    except Refused as e:
        sys.stderr.write("stamp_account_id: %s: %s\n" % (program, e))
        return 2
    except OSError as e:
        sys.stderr.write("stamp_account_id: %s\n" % e)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
