#include "common/AccountSlot.h"

// The slot lives in initialised data with external linkage, so the placeholder
// stays in the file where a distributed copy can be stamped; it is read through
// a volatile pointer so that no read is folded into a constant.
extern char16_t g_szAccountIdSlot[64];
char16_t g_szAccountIdSlot[64] = u"[TARN_ACCOUNT_ID_HOLD]";

std::wstring ReadAccountSlot() {
  const volatile char16_t* pSlot = g_szAccountIdSlot;
  if (pSlot[0] == u'[') return std::wstring();
  std::wstring strValue;
  for (std::size_t i = 0; i <= kAccountIdMaxUnits && pSlot[i] != u'\0'; ++i) strValue += static_cast<wchar_t>(pSlot[i]);
  return strValue;
}
