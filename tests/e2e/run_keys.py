"""Keys and certificates the tests make with openssl, made once per test run.
tools/test.sh names a folder for the whole run in FETCHLET_TEST_KEYS. Without
it the suites of one tree share the day's folder under build/test-keys: suites
run side by side (ctest -j) must agree on the one CA file the test builds
trust (build/bi-test-ca.pem), and the certificates, valid for two days, then
never expire in use. Key generation costs a few hundred milliseconds a key,
and the suites would otherwise pay it per class or per service start."""

import os
import shutil
import tempfile
import time
from pathlib import Path

KEYS_VARIABLE = "FETCHLET_TEST_KEYS"
TREE_KEYS = Path(__file__).resolve().parents[2] / "build" / "test-keys"


def _base_folder():
    given = os.environ.get(KEYS_VARIABLE)
    if given:
        return Path(given)
    return TREE_KEYS / time.strftime("%Y-%m-%d")


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
