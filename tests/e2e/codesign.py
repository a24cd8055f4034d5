"""A private code-signing PKI for the Windows tests, made with openssl and
osslsigncode: a test root that the Wine prefix trusts, signers under it, and a
signer with the right name under a root nobody trusts. The test builds only
run installers signed by PUBLISHER."""

import subprocess
import tempfile
from pathlib import Path

import wine
from run_keys import key_folder

PUBLISHER = "Fetchlet Test Publisher"   # the test and demo builds' publisher
OTHER_PUBLISHER = "Fetchlet Other Publisher"
TOOL_TIMEOUT = 60.0
TRUST_TIMEOUT = 60.0

SIGNER_EXTENSIONS = """basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
"""


def _run(command, cwd):
    result = subprocess.run(command, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True,
                            timeout=TOOL_TIMEOUT)
    if result.returncode != 0:
        raise RuntimeError("%s failed:\n%s" % (command[0], result.stderr.decode(errors="replace")))


class TestPki:
    """Keys and certificates in a folder of their own, made once per test run
    (run_keys.py)."""

    def __init__(self):
        self.folder = key_folder("codesign", self._make)
        self.signers = {
            "good": "good",
            "other_name": "other",
            "untrusted_root": "untrusted",
        }
        self.root_der = self.folder / "root.der"

    @classmethod
    def _make(cls, folder):
        (folder / "signer.ext").write_text(SIGNER_EXTENSIONS)
        cls._root(folder, "root", "Fetchlet Test Root")
        cls._root(folder, "stranger", "Fetchlet Untrusted Root")
        cls._signer(folder, "good", PUBLISHER, "root")
        cls._signer(folder, "other", OTHER_PUBLISHER, "root")
        cls._signer(folder, "untrusted", PUBLISHER, "stranger")
        _run(["openssl", "x509", "-in", "root.pem", "-outform", "DER", "-out", "root.der"], folder)

    @staticmethod
    def _root(folder, name, common_name):
        _run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "30",
              "-subj", "/CN=" + common_name, "-keyout", name + ".key", "-out", name + ".pem",
              "-addext", "basicConstraints=critical,CA:TRUE",
              "-addext", "keyUsage=critical,keyCertSign,cRLSign"], folder)

    @staticmethod
    def _signer(folder, name, common_name, root):
        _run(["openssl", "req", "-new", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + common_name,
              "-keyout", name + ".key", "-out", name + ".csr"], folder)
        _run(["openssl", "x509", "-req", "-in", name + ".csr", "-CA", root + ".pem",
              "-CAkey", root + ".key", "-CAcreateserial", "-days", "30", "-sha256",
              "-extfile", "signer.ext", "-out", name + ".pem"], folder)
        # The signature carries the signer and its root, as a publisher's does.
        chain = (folder / (name + ".pem")).read_bytes() + (folder / (root + ".pem")).read_bytes()
        (folder / (name + "-chain.pem")).write_bytes(chain)

    def key_and_chain(self, signer="good"):
        """The signer's key and its certificate chain (signer, then root)."""
        name = self.signers[signer]
        return self.folder / (name + ".key"), self.folder / (name + "-chain.pem")

    def sign(self, data, signer="good"):
        """data (a PE file's bytes) signed by one of the signers."""
        name = self.signers[signer]
        unsigned = tempfile.NamedTemporaryFile(dir=self.folder, suffix=".exe", delete=False)
        signed = Path(unsigned.name + ".signed")
        try:
            with unsigned:
                unsigned.write(data)
            _run(["osslsigncode", "sign", "-certs", name + "-chain.pem", "-key", name + ".key",
                  "-h", "sha256", "-n", "Fetchlet test installer",
                  "-in", unsigned.name, "-out", str(signed)], self.folder)
            return signed.read_bytes()
        finally:
            Path(unsigned.name).unlink(missing_ok=True)
            signed.unlink(missing_ok=True)

    def variants(self, data):
        """The installer as each case serves it, by the reason it must fail
        for (and "good", which passes)."""
        good = self.sign(data)
        tampered = bytearray(good)
        # A byte of the code, well before the signature at the file's end.
        tampered[len(data) // 2] ^= 0xFF
        return {
            "good": good,
            "unsigned": bytes(data),
            "tampered": bytes(tampered),
            "other_name": self.sign(data, "other_name"),
            "untrusted_root": self.sign(data, "untrusted_root"),
        }


_pki = None
_trusted_prefixes = set()


def test_pki():
    global _pki
    if _pki is None:
        _pki = TestPki()
    return _pki


def trust_test_root(trust_root_program, env):
    """Adds the test root to the machine root store of env's Wine prefix,
    once per prefix, with the trust_root fixture."""
    prefix = env["WINEPREFIX"]
    if prefix in _trusted_prefixes:
        return
    result = subprocess.run([wine.wine_command(), str(trust_root_program),
                             wine.windows_path(test_pki().root_der)],
                            env=env, stdin=subprocess.DEVNULL, capture_output=True,
                            timeout=TRUST_TIMEOUT)
    if result.returncode != 0:
        raise RuntimeError("trust_root failed: " + result.stderr.decode(errors="replace"))
    _trusted_prefixes.add(prefix)
