// The account id of this copy of the program: the value of its slot, or,
// while the slot holds the placeholder, the one its signature carries.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/SignatureAttributes.h"

struct AccountIdLookup {
  std::wstring strId;       // empty: no account id
  std::string strProblem;   // why an account-id attribute that was there was not used
};

using SignatureAttributesReader = std::function<std::optional<std::vector<platform::SignatureAttribute>>()>;

// The slot's value wins; only an empty slot has the signature read.
AccountIdLookup ChooseAccountId(const std::wstring& strSlot, const SignatureAttributesReader& fnReadSignature);

// This run's look-up, made once, on first use, from the program's own slot
// and file.
const AccountIdLookup& LookUpAccountId();

std::wstring GetAccountId();
