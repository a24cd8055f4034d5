"""Keys and certificates the tests make with openssl, made once per test run.
tools/test.sh names a folder for the whole run in FETCHLET_TEST_KEYS; without
it (a suite run alone) each process makes its own. Key generation costs a few
hundred milliseconds a key, and the suites would otherwise pay it per class
or per service start."""

import atexit
import os
import shutil
import tempfile
from pathlib import Path

KEYS_VARIABLE = "FETCHLET_TEST_KEYS"

_own_folder = None


def _base_folder():
    global _own_folder
    given = os.environ.get(KEYS_VARIABLE)
    if given:
        return Path(given)
    if _own_folder is None:
        _own_folder = Path(tempfile.mkdtemp(prefix="fetchlet-keys-"))
        atexit.register(shutil.rmtree, _own_folder, True)
    return _own_folder


def key_folder(name, make):
    """The folder `name` with what make(folder) writes into it. The first
    process to ask makes it in a scratch folder and renames that into place,
    so a process running beside it never sees it half made."""
    base = _base_folder()
    folder = base / name
    if folder.is_dir():
        return folder
    base.mkdir(parents=True, exist_ok=True)
    scratch = Path(tempfile.mkdtemp(prefix=name + "-", dir=base))
    try:
        make(scratch)
        os.rename(scratch, folder)
    except OSError:
        if not folder.is_dir():
            raise
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return folder
