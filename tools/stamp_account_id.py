#!/usr/bin/env python3
"""Makes a copy of the built program that carries an account id.

    stamp_account_id.py <program> <copy> <account-id>

The program holds a 64-unit (128-byte) UTF-16 buffer in its initialised data
that starts with the placeholder "[TARN_ACCOUNT_ID_HOLD]". The copy gets the
id there instead, as UTF-16LE, with zero units filling the rest of the buffer,
so the text always ends with a NUL inside the buffer. Nothing else changes,
which works the same for the Windows executable and the Linux one.

Exit status: 0 on success, 2 when the input or the id is refused.
"""

import os
import shutil
import sys
import tempfile

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


def stamp(program, copy, account_id):
    slot = encode_id(account_id)
    if os.path.exists(copy) and os.path.samefile(program, copy):
        raise Refused("the copy must not be the program itself")
    with open(program, "rb") as f:
        image = bytearray(f.read())
    offset = find_slot(image)
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
