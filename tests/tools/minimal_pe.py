"""The smallest 32-bit PE file that a code signer takes: headers and one
initialised-data section holding the given bytes, with its header checksum
set as a linker sets it. Enough to sign, stamp and verify on a machine
without the Windows build."""

import struct

FILE_ALIGNMENT = 0x200
SECTION_RVA = 0x1000
OPTIONAL_HEADER_SIZE = 96 + 16 * 8


def _aligned(length, alignment=FILE_ALIGNMENT):
    return (length + alignment - 1) // alignment * alignment


def minimal_pe(data):
    raw_size = _aligned(max(len(data), 1))
    headers = bytearray(FILE_ALIGNMENT)
    headers[0:2] = b"MZ"
    struct.pack_into("<I", headers, 0x3C, 0x40)
    headers[0x40:0x44] = b"PE\0\0"
    # Machine i386, one section, an executable 32-bit image.
    struct.pack_into("<HHIIIHH", headers, 0x44, 0x14C, 1, 0, 0, 0, OPTIONAL_HEADER_SIZE, 0x0102)
    optional = 0x58
    struct.pack_into("<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII", headers, optional,
                     0x10B, 0, 0, 0, raw_size, 0, SECTION_RVA, SECTION_RVA, SECTION_RVA, 0x400000,
                     0x1000, FILE_ALIGNMENT, 4, 0, 0, 0, 4, 0, 0,
                     SECTION_RVA + _aligned(raw_size, 0x1000), FILE_ALIGNMENT, 0, 2, 0,
                     0x100000, 0x1000, 0x100000, 0x1000, 0, 16)
    section = optional + OPTIONAL_HEADER_SIZE
    struct.pack_into("<8sIIIIIIHHI", headers, section, b".data", len(data), SECTION_RVA, raw_size,
                     FILE_ALIGNMENT, 0, 0, 0, 0, 0xC0000040)
    image = bytearray(headers + bytes(data) + b"\0" * (raw_size - len(data)))
    struct.pack_into("<I", image, optional + 64, checksum(image))
    return bytes(image)


def checksum(image):
    """The PE header checksum, word by word (the field itself is zero here)."""
    total = 0
    for (word,) in struct.iter_unpack("<H", image):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(image)
