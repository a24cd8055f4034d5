// Whatever the BI service answers, reading it never throws or crashes, and
// only a zero result counts as success.
#include <cstddef>
#include <cstdint>
#include <string>

#include "bi/BiAnswer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  const std::string strInput(reinterpret_cast<const char*>(pData), nSize);
  for (bool bWantMessage : {false, true}) {
    const BiAnswer answer = ReadBiAnswer(strInput, bWantMessage);
    if (answer.kind == BiAnswerKind::Accepted && strInput.find("RES") == std::string::npos) __builtin_trap();
  }
  return 0;
}
