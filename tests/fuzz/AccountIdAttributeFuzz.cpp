// The account-id attribute's value comes from the program's own file, which
// anyone can hand around with a signature's unauthenticated attributes
// changed: no value crashes the reader, and an id it accepts is exactly the
// value's text and keeps the slot's rules.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/AccountIdAttribute.h"
#include "common/AccountSlot.h"
#include "common/Common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  const std::vector<std::uint8_t> value(pData, pData + nSize);
  std::string strProblem;
  const std::wstring strId = DecodeAccountIdValue(value, strProblem);
  if (strId.empty() == strProblem.empty()) __builtin_trap();
  if (!strId.empty()) {
    if (strId[0] == L'[' || strId.find(L'\0') != std::wstring::npos) __builtin_trap();
    std::size_t nUnits = 0;
    for (const wchar_t c : strId) nUnits += static_cast<std::uint32_t>(c) > 0xFFFF ? 2 : 1;
    if (nUnits > kAccountIdMaxUnits) __builtin_trap();
    // The id is the value's content, re-encoded unchanged.
    const std::string strText = WideToUtf8(strId);
    if (nSize < strText.size() ||
        std::string(pData + nSize - strText.size(), pData + nSize) != strText) {
      __builtin_trap();
    }
  }

  // The same value among a signature's attributes: alone it gives the same
  // answer, twice over it gives none.
  const platform::SignatureAttribute attribute{kAccountIdAttributeOid, {value}};
  std::string strListProblem;
  if (AccountIdFromSignatureAttributes({{"1.2.3", {value}}, attribute}, strListProblem) != strId) __builtin_trap();
  if (!AccountIdFromSignatureAttributes({attribute, attribute}, strListProblem).empty()) __builtin_trap();
  return 0;
}
