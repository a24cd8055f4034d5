"""The demo's Windows installer, signed as the demo build requires: a test
root made for the demo, trusted in the current Wine prefix (WINEPREFIX), and
the installer signed under it by the demo build's publisher.

  python3 tools/demo_sign.py <installer.exe> <trust_root.exe> <signed copy>
"""

import os
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))

import codesign  # noqa: E402


def main():
    installer, trust_root, signed = (Path(a) for a in sys.argv[1:4])
    codesign.trust_test_root(trust_root, dict(os.environ))
    signed.write_bytes(codesign.test_pki().sign(installer.read_bytes()))
    print("signed by \"%s\": %s" % (codesign.PUBLISHER, signed))


if __name__ == "__main__":
    main()
