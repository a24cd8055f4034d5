// Whether an executable carries a valid code signature of a given publisher,
// checked by the system's own trust provider.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Status values of a refused file (the trust provider's HRESULTs).
constexpr std::int32_t kTrustNoSignature = static_cast<std::int32_t>(0x800B0100);    // not signed
constexpr std::int32_t kTrustBadDigest = static_cast<std::int32_t>(0x80096010);      // changed after signing
constexpr std::int32_t kCertUntrustedRoot = static_cast<std::int32_t>(0x800B0109);   // chain not trusted
constexpr std::int32_t kCertNameMismatch = static_cast<std::int32_t>(0x800B010F);    // another signer

struct SignatureVerdict {
  std::int32_t nStatus = 0;  // 0: signed by the publisher under a trusted root
  std::wstring strReason;    // what was wrong, for the log and the reports
};

// False where the system has no code-signing trust provider.
bool PublisherSignatureCheckAvailable();

// Checks strPath's signature, its signer chain and the signer's common name
// (which must equal strPublisher exactly). Never touches the network.
SignatureVerdict CheckPublisherSignature(const std::wstring& strPath, const std::wstring& strPublisher);

}  // namespace platform
