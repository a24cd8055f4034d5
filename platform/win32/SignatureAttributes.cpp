#include "platform/SignatureAttributes.h"

#include <windows.h>
#include <wincrypt.h>

#include "platform/win32/OwnProgramPath.h"

namespace platform {

namespace {

class CMessage {
public:
  explicit CMessage(HCRYPTMSG hMessage) : m_hMessage(hMessage) {}
  ~CMessage() { CryptMsgClose(m_hMessage); }
  CMessage(const CMessage&) = delete;
  CMessage& operator=(const CMessage&) = delete;
  HCRYPTMSG Get() const { return m_hMessage; }

private:
  HCRYPTMSG m_hMessage;
};

}  // namespace

std::optional<std::vector<SignatureAttribute>> ReadSignatureAttributes(const std::wstring& strPath) {
  HCRYPTMSG hMessage = nullptr;
  // The message decoder reads the certificate table only, not the signed bytes.
  if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, strPath.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                        CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, nullptr, &hMessage,
                        nullptr) ||
      hMessage == nullptr) {
    return std::nullopt;
  }
  const CMessage message(hMessage);
  std::vector<SignatureAttribute> attributes;
  DWORD nSize = 0;
  // A signer without unauthenticated attributes answers CRYPT_E_ATTRIBUTES_MISSING.
  if (!CryptMsgGetParam(message.Get(), CMSG_SIGNER_UNAUTH_ATTR_PARAM, 0, nullptr, &nSize) || nSize == 0) {
    return attributes;
  }
  std::vector<BYTE> buffer(nSize);
  if (!CryptMsgGetParam(message.Get(), CMSG_SIGNER_UNAUTH_ATTR_PARAM, 0, buffer.data(), &nSize)) return attributes;
  const auto* pAttributes = reinterpret_cast<const CRYPT_ATTRIBUTES*>(buffer.data());
  for (DWORD i = 0; i < pAttributes->cAttr; ++i) {
    const CRYPT_ATTRIBUTE& attribute = pAttributes->rgAttr[i];
    SignatureAttribute result;
    if (attribute.pszObjId != nullptr) result.strObjectId = attribute.pszObjId;
    for (DWORD j = 0; j < attribute.cValue; ++j) {
      const CRYPT_ATTR_BLOB& value = attribute.rgValue[j];
      result.values.emplace_back(value.pbData, value.pbData + value.cbData);
    }
    attributes.push_back(std::move(result));
  }
  return attributes;
}

std::optional<std::vector<SignatureAttribute>> ReadOwnSignatureAttributes() {
  const std::wstring strPath = OwnProgramPath();
  if (strPath.empty()) return std::nullopt;
  return ReadSignatureAttributes(strPath);
}

}  // namespace platform
