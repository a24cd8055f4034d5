"""The certificate table of a PE file: where its Authenticode signature lies,
and how to put another signature there without touching a byte the
signature's hash covers. The hash leaves out the header checksum, the
table's directory entry and the table itself, so those three are all that
change; the table stays at the end of the file, 8-byte aligned."""

import struct

import der

WIN_CERT_REVISION_2_0 = 0x0200
WIN_CERT_TYPE_PKCS_SIGNED_DATA = 0x0002
WIN_CERTIFICATE_HEADER = 8
SECURITY_DIRECTORY = 4
ALIGNMENT = 8


class PeError(ValueError):
    pass


class CertificateTable:
    """The layout of one PE image's certificate table."""

    def __init__(self, image):
        if len(image) < 0x40 or image[:2] != b"MZ":
            raise PeError("not a PE file (no MZ header)")
        pe = struct.unpack_from("<I", image, 0x3C)[0]
        if pe + 24 > len(image) or image[pe:pe + 4] != b"PE\0\0":
            raise PeError("not a PE file (no PE header)")
        optional = pe + 24
        optional_size = struct.unpack_from("<H", image, pe + 20)[0]
        if optional + optional_size > len(image) or optional_size < 2:
            raise PeError("the optional header runs past the file")
        magic = struct.unpack_from("<H", image, optional)[0]
        if magic == 0x10B:
            count_offset, directories = optional + 92, optional + 96
        elif magic == 0x20B:
            count_offset, directories = optional + 108, optional + 112
        else:
            raise PeError("unknown optional header magic 0x%04x" % magic)
        self.checksum_offset = optional + 64
        self.entry_offset = directories + 8 * SECURITY_DIRECTORY
        if (self.entry_offset + 8 > optional + optional_size
                or struct.unpack_from("<I", image, count_offset)[0] <= SECURITY_DIRECTORY):
            self.offset, self.size = 0, 0
        else:
            self.offset, self.size = struct.unpack_from("<II", image, self.entry_offset)

    @property
    def signed(self):
        return self.size != 0

    def signature(self, image):
        """The DER of the signature (a CMS ContentInfo) the table holds."""
        if not self.signed:
            raise PeError("the file is not signed")
        start, end = self.offset, self.offset + self.size
        if start % ALIGNMENT or end != len(image):
            # Whatever follows the table would stay unsigned yet count for
            # the hash on some systems: a file like that is not rewritten.
            raise PeError("the certificate table is not an aligned table at the end of the file")
        if self.size < WIN_CERTIFICATE_HEADER:
            raise PeError("the certificate table is too short")
        length, revision, kind = struct.unpack_from("<IHH", image, start)
        if revision != WIN_CERT_REVISION_2_0 or kind != WIN_CERT_TYPE_PKCS_SIGNED_DATA:
            raise PeError("the certificate table holds no Authenticode signature")
        if length < WIN_CERTIFICATE_HEADER or _aligned(length) != self.size:
            raise PeError("the certificate table holds more than one entry, or a bad length")
        try:
            item = der.read(image, start + WIN_CERTIFICATE_HEADER, start + length)
        except der.DerError as e:
            raise PeError("the signature is not DER: %s" % e) from None
        if any(image[item.end:end]):
            raise PeError("the certificate table holds more than the signature")
        return item.encoding(image)

    def with_signature(self, image, signature):
        """A copy of the signed image that carries another signature."""
        self.signature(image)   # the same checks: only a well-formed table is replaced
        length = _aligned(WIN_CERTIFICATE_HEADER + len(signature))
        table = (struct.pack("<IHH", length, WIN_CERT_REVISION_2_0, WIN_CERT_TYPE_PKCS_SIGNED_DATA)
                 + signature + b"\0" * (length - WIN_CERTIFICATE_HEADER - len(signature)))
        result = bytearray(memoryview(image)[:self.offset])
        result += table
        struct.pack_into("<II", result, self.entry_offset, self.offset, len(table))
        # A checksum the signer set is kept true; one never set stays unset.
        if struct.unpack_from("<I", image, self.checksum_offset)[0]:
            struct.pack_into("<I", result, self.checksum_offset, pe_checksum(result, self.checksum_offset))
        return result


def _aligned(length):
    return (length + ALIGNMENT - 1) // ALIGNMENT * ALIGNMENT


def pe_checksum(image, checksum_offset):
    """The PE header checksum: the 16-bit one's-complement sum of the file's
    little-endian words (its checksum field read as zero) plus its length."""
    # Word i weighs 65536**i, which is 1 modulo 65535: the whole file read as
    # one number has the words' sum modulo 65535, at the speed of big numbers.
    field = int.from_bytes(image[checksum_offset:checksum_offset + 4], "little")
    whole = int.from_bytes(image, "little")
    total = (whole % 0xFFFF - field * pow(256, checksum_offset, 0xFFFF)) % 0xFFFF
    # Folding carries never makes a sum of some nonzero words zero.
    if total == 0 and whole != field << (8 * checksum_offset):
        total = 0xFFFF
    return (total + len(image)) & 0xFFFFFFFF
