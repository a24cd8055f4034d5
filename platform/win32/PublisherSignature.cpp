#include "platform/PublisherSignature.h"

#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstdio>
#include <vector>

namespace platform {

namespace {

std::wstring Hex(std::uint32_t nValue) {
  wchar_t szText[16];
  std::swprintf(szText, 16, L"0x%08x", static_cast<unsigned>(nValue));
  return szText;
}

std::wstring CommonName(PCCERT_CONTEXT pCert) {
  char szOid[] = szOID_COMMON_NAME;
  const DWORD nLength = CertGetNameStringW(pCert, CERT_NAME_ATTR_TYPE, 0, szOid, nullptr, 0);
  if (nLength <= 1) return {};
  std::vector<wchar_t> name(nLength);
  CertGetNameStringW(pCert, CERT_NAME_ATTR_TYPE, 0, szOid, name.data(), nLength);
  return std::wstring(name.data());
}

// The signer's common name as the file's own signed message names it: the
// certificate in the message's store that matches the signer's issuer and
// serial number.
std::wstring SignerNameFromFile(const std::wstring& strPath) {
  HCERTSTORE hStore = nullptr;
  HCRYPTMSG hMessage = nullptr;
  if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, strPath.c_str(),
                        CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED, CERT_QUERY_FORMAT_FLAG_BINARY, 0,
                        nullptr, nullptr, nullptr, &hStore, &hMessage, nullptr)) {
    return {};
  }
  std::wstring strName;
  DWORD nInfoSize = 0;
  if (CryptMsgGetParam(hMessage, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &nInfoSize) && nInfoSize > 0) {
    std::vector<BYTE> info(nInfoSize);
    if (CryptMsgGetParam(hMessage, CMSG_SIGNER_INFO_PARAM, 0, info.data(), &nInfoSize)) {
      const auto* pSigner = reinterpret_cast<const CMSG_SIGNER_INFO*>(info.data());
      CERT_INFO wanted = {};
      wanted.Issuer = pSigner->Issuer;
      wanted.SerialNumber = pSigner->SerialNumber;
      PCCERT_CONTEXT pCert = CertFindCertificateInStore(
          hStore, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SUBJECT_CERT, &wanted, nullptr);
      if (pCert != nullptr) {
        strName = CommonName(pCert);
        CertFreeCertificateContext(pCert);
      }
    }
  }
  CryptMsgClose(hMessage);
  CertCloseStore(hStore, 0);
  return strName;
}

std::wstring TrustFailureReason(LONG nStatus) {
  switch (static_cast<std::int32_t>(nStatus)) {
    case kTrustNoSignature: return L"not signed";
    case kTrustBadDigest: return L"the file was changed after signing";
    case kCertUntrustedRoot: return L"the signer's chain ends in an untrusted root";
    case static_cast<std::int32_t>(CERT_E_EXPIRED): return L"the signer's certificate has expired or is not yet valid";
    case static_cast<std::int32_t>(CERT_E_REVOKED): return L"the signer's certificate was revoked";
    default: return L"the signature is not trusted";
  }
}

}  // namespace

bool PublisherSignatureCheckAvailable() { return true; }

SignatureVerdict CheckPublisherSignature(const std::wstring& strPath, const std::wstring& strPublisher) {
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof(file);
  file.pcwszFilePath = strPath.c_str();

  WINTRUST_DATA trust = {};
  trust.cbStruct = sizeof(trust);
  trust.dwUIChoice = WTD_UI_NONE;
  // An installer is checked offline: a revocation look-up could hang the road
  // on a network that is already failing.
  trust.fdwRevocationChecks = WTD_REVOKE_NONE;
  trust.dwUnionChoice = WTD_CHOICE_FILE;
  trust.pFile = &file;
  trust.dwStateAction = WTD_STATEACTION_VERIFY;
  trust.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;

  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG nTrust = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &trust);

  SignatureVerdict verdict;
  if (nTrust != ERROR_SUCCESS) {
    verdict.nStatus = nTrust;
    verdict.strReason = TrustFailureReason(nTrust) + L" (" + Hex(static_cast<std::uint32_t>(nTrust)) + L")";
  } else {
    // The provider accepts some chains that a careful check must not (Wine
    // passes an untrusted root): the signer chain itself must carry no error.
    CRYPT_PROVIDER_DATA* pData = WTHelperProvDataFromStateData(trust.hWVTStateData);
    CRYPT_PROVIDER_SGNR* pSigner = pData ? WTHelperGetProvSignerFromChain(pData, 0, FALSE, 0) : nullptr;
    const DWORD nChainErrors = (pSigner && pSigner->pChainContext)
                                   ? pSigner->pChainContext->TrustStatus.dwErrorStatus
                                   : CERT_TRUST_IS_PARTIAL_CHAIN;
    if (nChainErrors != CERT_TRUST_NO_ERROR) {
      verdict.nStatus = kCertUntrustedRoot;
      verdict.strReason = L"the signer's chain is not trusted (chain status " + Hex(nChainErrors) + L")";
    }
  }
  trust.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &trust);
  if (verdict.nStatus != 0) return verdict;

  const std::wstring strSigner = SignerNameFromFile(strPath);
  if (strSigner != strPublisher) {
    verdict.nStatus = kCertNameMismatch;
    verdict.strReason = L"signed by \"" + strSigner + L"\", not by \"" + strPublisher + L"\"";
  }
  return verdict;
}

}  // namespace platform
