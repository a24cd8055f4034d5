#include "platform/PublisherSignature.h"

namespace platform {

// Linux has no system-wide code-signing trust for executables.
bool PublisherSignatureCheckAvailable() { return false; }

SignatureVerdict CheckPublisherSignature(const std::wstring&, const std::wstring&) { return {}; }

}  // namespace platform
