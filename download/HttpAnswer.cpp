#include "download/HttpAnswer.h"

#include <climits>

namespace {

// The value of a header field whose line starts with pName (the status line
// never counts), up to the end of its line.
bool HeaderField(const std::string& strHead, const char* pName, std::string& strValue) {
  const std::string strLineStart = std::string("\r\n") + pName;
  const std::size_t nPos = strHead.find(strLineStart);
  if (nPos == std::string::npos) return false;
  const std::size_t nStart = nPos + strLineStart.size();
  const std::size_t nEnd = strHead.find("\r\n", nStart);
  if (nEnd == std::string::npos) return false;
  strValue = strHead.substr(nStart, nEnd - nStart);
  return true;
}

}  // namespace

std::int64_t ParseDecimal(const std::string& strText, bool* pHasDigits, bool* pOverflows) {
  std::size_t i = strText.find_first_not_of(" \t");
  if (i == std::string::npos) i = strText.size();
  bool bNegative = false;
  if (i < strText.size() && (strText[i] == '-' || strText[i] == '+')) bNegative = strText[i++] == '-';
  std::int64_t nValue = 0;
  bool bDigits = false;
  bool bOverflows = false;
  for (; i < strText.size() && strText[i] >= '0' && strText[i] <= '9'; ++i) {
    const int nDigit = strText[i] - '0';
    bDigits = true;
    if (nValue > (INT64_MAX - nDigit) / 10) {
      bOverflows = true;
      nValue = 0;
      break;
    }
    nValue = nValue * 10 + nDigit;
  }
  if (pHasDigits) *pHasDigits = bDigits;
  if (pOverflows) *pOverflows = bOverflows;
  return bNegative ? -nValue : nValue;
}

HttpAnswerHead ParseHttpAnswerHead(const std::string& strHead) {
  HttpAnswerHead head;
  // The status code stands between the status line's first two blanks.
  const std::size_t nFirstSpace = strHead.find(' ');
  if (nFirstSpace != std::string::npos) {
    const std::size_t nSecondSpace = strHead.find(' ', nFirstSpace + 1);
    head.strStatusText = strHead.substr(
        nFirstSpace, nSecondSpace == std::string::npos ? std::string::npos : nSecondSpace - nFirstSpace);
  }
  head.nStatus = ParseDecimal(head.strStatusText);

  std::string strValue;
  bool bOverflows = false;
  if (HeaderField(strHead, "Content-Length: ", strValue)) {
    head.nContentLength = ParseDecimal(strValue, nullptr, &bOverflows);
    head.bHasLength = !bOverflows;
  }
  if (HeaderField(strHead, "Content-Range: ", strValue)) {
    const std::size_t nBytes = strValue.find("bytes ");
    if (nBytes != std::string::npos) {
      head.nRangeStart = ParseDecimal(strValue.substr(nBytes + 6), &head.bHasRangeStart, &bOverflows);
      if (bOverflows) head.nRangeStart = -1;
    }
  }
  return head;
}

bool CutSocketUrl(const std::wstring& strUrl, SocketUrl& url) {
  const std::size_t nSlash = strUrl.find(L'/');
  if (nSlash == std::wstring::npos) return false;
  const std::size_t nHostStart = nSlash + 2;  // the two slashes after the scheme
  if (nHostStart >= strUrl.size()) return false;
  const std::size_t nPathStart = strUrl.find(L'/', nHostStart);
  // Only a ":" before the path separates a port; one inside the path is text.
  std::size_t nPortSep = strUrl.find(L':', nHostStart);
  if (nPathStart != std::wstring::npos && nPortSep > nPathStart) nPortSep = std::wstring::npos;
  const std::size_t nHostEnd = nPortSep != std::wstring::npos ? nPortSep : nPathStart;

  url.strHost = strUrl.substr(nHostStart, nHostEnd == std::wstring::npos ? std::wstring::npos : nHostEnd - nHostStart);
  if (url.strHost.empty()) return false;
  url.nPort = 80;
  if (nPortSep != std::wstring::npos) {
    const std::wstring strPort = strUrl.substr(
        nPortSep + 1, nPathStart == std::wstring::npos ? std::wstring::npos : nPathStart - nPortSep - 1);
    if (strPort.empty() || strPort.size() > 5 || strPort.find_first_not_of(L"0123456789") != std::wstring::npos) {
      return false;
    }
    const unsigned long nPort = std::stoul(strPort);
    if (nPort == 0 || nPort > 65535) return false;
    url.nPort = static_cast<std::uint16_t>(nPort);
  }
  url.strPath = nPathStart == std::wstring::npos ? L"/" : strUrl.substr(nPathStart);
  return true;
}
