"""The unauthenticated attributes of an Authenticode signature's signer: the
one part of a signed file that its signature does not cover (a time stamp
and a nested signature live there too). A signature is a CMS ContentInfo of
SignedData with exactly one SignerInfo; everything but that signer's
unsignedAttrs is copied as it is."""

import der

SIGNED_DATA = der.encode_oid("1.2.840.113549.1.7.2")
EXPLICIT_0 = 0xA0
UNSIGNED_ATTRS = 0xA1       # [1] IMPLICIT SET OF Attribute
INTEGER = 0x02


class _Path:
    """The signer inside the ContentInfo, with the items that enclose it."""

    def __init__(self, data):
        try:
            content_info = der.read(data, 0)
            if content_info.end != len(data) or content_info.tag != der.SEQUENCE:
                raise der.DerError("the signature is not one SEQUENCE")
            content_type, wrapped = der.children(data, content_info)[:2]
            if content_type.encoding(data) != SIGNED_DATA or wrapped.tag != EXPLICIT_0:
                raise der.DerError("the signature is not SignedData")
            signed_data = der.children(data, wrapped)[0]
            signer_infos = der.children(data, signed_data)[-1]
            if signer_infos.tag != der.SET:
                raise der.DerError("SignedData ends without its signers")
            signers = der.children(data, signer_infos)
            if len(signers) != 1:
                raise der.DerError("%d signers; an Authenticode signature has one" % len(signers))
            self.signer = signers[0]
            self.fields = der.children(data, self.signer)
            if self.signer.tag != der.SEQUENCE or len(self.fields) < 5 or self.fields[0].tag != INTEGER:
                raise der.DerError("the signer is not a SignerInfo")
        except (der.DerError, ValueError) as e:
            raise der.DerError(str(e)) from None
        self.enclosing = [content_info, wrapped, signed_data, signer_infos]

    def attributes(self, data):
        """Each unauthenticated attribute: (its type's encoding, its values'
        encodings, its own encoding)."""
        if self.fields[-1].tag != UNSIGNED_ATTRS:
            return []
        result = []
        for attribute in der.children(data, self.fields[-1]):
            parts = der.children(data, attribute) if attribute.tag == der.SEQUENCE else []
            if len(parts) != 2 or parts[0].tag != der.OBJECT_IDENTIFIER or parts[1].tag != der.SET:
                raise der.DerError("an unauthenticated attribute is malformed")
            result.append((parts[0].encoding(data),
                           [v.encoding(data) for v in der.children(data, parts[1])],
                           attribute.encoding(data)))
        return result


def attributes(signature):
    """The signer's unauthenticated attributes: (type, values), each as its
    DER encoding."""
    return [(kind, values) for kind, values, _ in _Path(signature).attributes(signature)]


def with_attribute(signature, oid, value):
    """The signature with one attribute of type oid holding value (a DER
    item), in place of any attribute of that type it had."""
    path = _Path(signature)
    kind = der.encode_oid(oid)
    kept = [encoding for t, _, encoding in path.attributes(signature) if t != kind]
    new = der.encode(der.SEQUENCE, kind + der.encode(der.SET, value))
    # A DER SET OF lists its members in the order of their encodings.
    unsigned = der.encode(UNSIGNED_ATTRS, b"".join(sorted(kept + [new])))
    fields = path.fields[:-1] if path.fields[-1].tag == UNSIGNED_ATTRS else path.fields
    signer = der.encode(der.SEQUENCE, b"".join(f.encoding(signature) for f in fields) + unsigned)
    # Each enclosing item gets its content again with the new signer inside.
    inner, old = signer, path.signer
    for outer in reversed(path.enclosing):
        inner = der.encode(outer.tag, signature[outer.content:old.start] + inner
                           + signature[old.end:outer.end])
        old = outer
    return inner
