// The account id a signed copy of the program carries in its signature.
//
// Stamping a signed file's bytes would break its signature, so a signed copy
// carries its id outside what the signature covers: in an unauthenticated
// attribute of the signature's signer (CMS SignerInfo unsignedAttrs), of the
// object id below, the project's own (a private-enterprise arc). The
// attribute holds one value: the id as UTF-8 in a DER UTF8String (or OCTET
// STRING). tools/stamp_account_id.py writes it; one signed file then serves
// every user.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/SignatureAttributes.h"

constexpr const char* kAccountIdAttributeOid = "1.3.6.1.4.1.59217.1.1";

// The id one attribute value holds; empty, with strProblem saying why, when
// the value is malformed or not an id the slot could hold (at most 63 UTF-16
// units, not empty, no NUL, not starting with "[").
std::wstring DecodeAccountIdValue(const std::vector<std::uint8_t>& value, std::string& strProblem);

// The id among a signature's unauthenticated attributes; empty when there is
// no account-id attribute (strProblem empty) or when it cannot be used:
// several of them, not exactly one value, or a value DecodeAccountIdValue
// refuses (strProblem says which).
std::wstring AccountIdFromSignatureAttributes(const std::vector<platform::SignatureAttribute>& attributes,
                                              std::string& strProblem);
