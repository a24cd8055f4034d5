"""The little DER that the release tools read and write: tag-length-value
items with definite lengths, object identifiers and the string types of an
attribute value. Malformed input raises DerError, never anything else."""

SEQUENCE = 0x30
SET = 0x31
OCTET_STRING = 0x04
UTF8_STRING = 0x0C
OBJECT_IDENTIFIER = 0x06


class DerError(ValueError):
    pass


class Item:
    """One item of a buffer: its tag, and where its header and content lie."""

    __slots__ = ("tag", "start", "content", "end")

    def __init__(self, tag, start, content, end):
        self.tag = tag
        self.start = start        # first byte of the tag
        self.content = content    # first byte of the content
        self.end = end            # one past the last byte of the content

    def encoding(self, data):
        return bytes(data[self.start:self.end])

    def value(self, data):
        return bytes(data[self.content:self.end])


def read(data, offset, end=None):
    """The item that starts at offset and ends no later than end."""
    end = len(data) if end is None else end
    if offset + 2 > end:
        raise DerError("an item is cut short at offset %d" % offset)
    tag = data[offset]
    if tag & 0x1F == 0x1F:
        raise DerError("multi-byte tags are not used here (offset %d)" % offset)
    first = data[offset + 1]
    header = 2
    if first < 0x80:
        length = first
    elif first == 0x80:
        raise DerError("an indefinite length at offset %d" % offset)
    else:
        count = first & 0x7F
        if count > 4 or offset + 2 + count > end:
            raise DerError("a bad length at offset %d" % offset)
        length = int.from_bytes(data[offset + 2:offset + 2 + count], "big")
        if length < 0x80 or length >> (8 * (count - 1)) == 0:
            raise DerError("a length not in its shortest form at offset %d" % offset)
        header += count
    content = offset + header
    if content + length > end:
        raise DerError("an item at offset %d runs past its container" % offset)
    return Item(tag, offset, content, content + length)


def children(data, item):
    """The items inside a constructed item, which they must fill exactly."""
    if not item.tag & 0x20:
        raise DerError("tag 0x%02x at offset %d holds no items" % (item.tag, item.start))
    result = []
    offset = item.content
    while offset < item.end:
        child = read(data, offset, item.end)
        result.append(child)
        offset = child.end
    return result


def encode_length(length):
    if length < 0x80:
        return bytes([length])
    body = length.to_bytes((length.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(body)]) + body


def encode(tag, content):
    return bytes([tag]) + encode_length(len(content)) + bytes(content)


def encode_oid(dotted):
    arcs = [int(a) for a in dotted.split(".")]
    if len(arcs) < 2 or arcs[0] > 2 or (arcs[0] < 2 and arcs[1] > 39):
        raise DerError("not an object identifier: %s" % dotted)
    body = bytearray()
    for arc in [arcs[0] * 40 + arcs[1]] + arcs[2:]:
        chunk = [arc & 0x7F]
        arc >>= 7
        while arc:
            chunk.append(0x80 | (arc & 0x7F))
            arc >>= 7
        body += bytes(reversed(chunk))
    return encode(OBJECT_IDENTIFIER, body)
