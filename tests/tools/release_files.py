"""What the release tools' tests share: the tools' folder on the import path,
the code-signing test PKI, a small program holding the account-id slot, and
the tools run as a user runs them."""

import subprocess
import sys
from pathlib import Path

REPO_ROOT = Path(__file__).resolve().parents[2]
TOOLS = REPO_ROOT / "tools"
sys.path.insert(0, str(TOOLS))
sys.path.insert(0, str(REPO_ROOT / "tests" / "e2e"))

import codesign  # noqa: E402
from minimal_pe import minimal_pe  # noqa: E402

PLACEHOLDER = "[TARN_ACCOUNT_ID_HOLD]".encode("utf-16-le")
SLOT_BYTES = 128
TOOL_TIMEOUT = 60.0


def program_with_slot():
    """A PE file with the slot (placeholder and zero units) amid other data."""
    return minimal_pe(b"before the slot\0" + PLACEHOLDER + b"\0" * (SLOT_BYTES - len(PLACEHOLDER))
                      + b"after the slot")


def run_tool(*command):
    """A tool's run: its exit status and its error output."""
    result = subprocess.run([str(c) for c in command], stdin=subprocess.DEVNULL,
                            capture_output=True, timeout=TOOL_TIMEOUT)
    return result.returncode, result.stderr.decode(errors="replace")


def stamp(program, copy, account_id):
    return run_tool(sys.executable, TOOLS / "stamp_account_id.py", program, copy, account_id)


def sign_release(*arguments):
    return run_tool("bash", TOOLS / "sign_release.sh", *arguments)


def sign(program, signer="good"):
    key, chain = codesign.test_pki().key_and_chain(signer)
    return sign_release(program, key, chain)


def verify(program):
    """osslsigncode's verdict on the file under the test root: (passed,
    its report)."""
    result = subprocess.run(["osslsigncode", "verify", "-CAfile",
                             str(codesign.test_pki().folder / "root.pem"), "-in", str(program)],
                            stdin=subprocess.DEVNULL, capture_output=True, timeout=TOOL_TIMEOUT)
    report = (result.stdout + result.stderr).decode(errors="replace")
    return result.returncode == 0 and "Signature verification: ok" in report, report
