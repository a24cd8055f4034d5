// The unauthenticated attributes of an executable's embedded code signature:
// the one part of a signed file that its signature does not cover, so a copy
// can carry data of its own there and still pass the publisher check.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct SignatureAttribute {
  std::string strObjectId;                          // dotted, "1.3.6.1.4.1.…"
  std::vector<std::vector<std::uint8_t>> values;    // each value's DER encoding, as the file holds it
};

// The first signer's unauthenticated attributes of the file at strPath, in
// the file's order (empty when it has none); nullopt when the file carries no
// signature the system can read, and always where executables carry none.
std::optional<std::vector<SignatureAttribute>> ReadSignatureAttributes(const std::wstring& strPath);

// The same for the running program's own file.
std::optional<std::vector<SignatureAttribute>> ReadOwnSignatureAttributes();

}  // namespace platform
