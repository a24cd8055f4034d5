#include "platform/SignatureAttributes.h"

namespace platform {

// Linux executables carry no embedded code signature.
std::optional<std::vector<SignatureAttribute>> ReadSignatureAttributes(const std::wstring&) { return std::nullopt; }

std::optional<std::vector<SignatureAttribute>> ReadOwnSignatureAttributes() { return std::nullopt; }

}  // namespace platform
