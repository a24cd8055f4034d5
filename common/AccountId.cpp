#include "common/AccountId.h"

#include "common/AccountIdAttribute.h"
#include "common/AccountSlot.h"

AccountIdLookup ChooseAccountId(const std::wstring& strSlot, const SignatureAttributesReader& fnReadSignature) {
  AccountIdLookup lookup;
  if (!strSlot.empty()) {
    lookup.strId = strSlot;
    return lookup;
  }
  const auto attributes = fnReadSignature();
  if (attributes) lookup.strId = AccountIdFromSignatureAttributes(*attributes, lookup.strProblem);
  return lookup;
}

const AccountIdLookup& LookUpAccountId() {
  // The start event and the version line both show the id: the file's
  // signature is decoded once, and both see the same answer.
  static const AccountIdLookup s_lookup = ChooseAccountId(ReadAccountSlot(), platform::ReadOwnSignatureAttributes);
  return s_lookup;
}

std::wstring GetAccountId() { return LookUpAccountId().strId; }
