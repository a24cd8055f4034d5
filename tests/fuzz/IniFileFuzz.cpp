// The record file is shared with another program: whatever it holds, reading
// and rewriting it must neither crash nor lose the other values.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

#include "platform/CodePage.h"
#include "platform/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  static const std::string strPath = "/tmp/fetchlet-ini-fuzz-" + std::to_string(::getpid()) + ".ini";
  const std::string strInput(reinterpret_cast<const char*>(pData), nSize);
  {
    std::ofstream file(strPath, std::ios::binary | std::ios::trunc);
    file << strInput;
  }
  const std::wstring strFile = platform::NarrowToWide(strPath);
  for (const wchar_t* pKey : {L"GUID", L"InstallTime", L"LastCall"}) {
    const std::wstring strBefore = platform::ReadIniString(strFile, L"TarnNet", pKey);
    if (strBefore.size() > 255) __builtin_trap();
  }
  const std::wstring strOther = platform::ReadIniString(strFile, L"TarnNet", L"GUID");
  if (platform::WriteIniString(strFile, L"TarnNet", L"LastCall", L"Fetchstub")) {
    if (platform::ReadIniString(strFile, L"TarnNet", L"LastCall") != L"Fetchstub") __builtin_trap();
    // The rewrite keeps the other key unless it was LastCall's own line.
    const std::wstring strAfter = platform::ReadIniString(strFile, L"TarnNet", L"GUID");
    if (strAfter != strOther) __builtin_trap();
  }
  // Round trip of arbitrary bytes through the narrow/wide conversion.
  const std::wstring strWide = platform::NarrowToWide(strInput);
  (void)platform::WideToNarrow(strWide);
  std::remove(strPath.c_str());
  return 0;
}
