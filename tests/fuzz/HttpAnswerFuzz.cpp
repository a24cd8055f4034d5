// Whatever a server answers and whatever address a pointer file names: the
// own client's parsers never crash, and what they accept is well formed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "download/HttpAnswer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  const std::string strInput(reinterpret_cast<const char*>(pData), nSize);
  const HttpAnswerHead head = ParseHttpAnswerHead(strInput);
  if (!head.bHasLength && head.nContentLength != 0) __builtin_trap();
  if (!head.bHasRangeStart && head.nRangeStart != 0) __builtin_trap();
  if (head.strStatusText.size() > strInput.size()) __builtin_trap();

  // The same bytes as an address (each byte one character, as an ANSI text
  // widened byte by byte would be).
  const std::wstring strUrl(strInput.begin(), strInput.end());
  SocketUrl url;
  if (CutSocketUrl(strUrl, url)) {
    if (url.strHost.empty() || url.nPort == 0 || url.strPath.empty() || url.strPath[0] != L'/') __builtin_trap();
  }
  return 0;
}
