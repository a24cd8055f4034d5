// The account id of a signed copy: the attribute value's DER and UTF-8, the
// rules the slot's id keeps, the choice among a signature's attributes, and
// the slot's precedence over the signature.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/AccountId.h"
#include "common/AccountIdAttribute.h"
#include "common/Common.h"
#include "platform/SignatureAttributes.h"
#include "tests/unit/TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kUtf8String = 0x0C;
constexpr std::uint8_t kOctetString = 0x04;
constexpr const char* kTimeStampOid = "1.3.6.1.4.1.311.3.3.1";

// A DER item of that tag around the bytes of the text.
// Text of n times c, then the tail.
std::string Repeated(std::size_t n, char c, const char* szTail = "") {
  std::string strText(n, c);
  strText.append(szTail);
  return strText;
}

Bytes Item(std::uint8_t nTag, const std::string& strContent) {
  Bytes item{nTag};
  if (strContent.size() < 0x80) {
    item.push_back(static_cast<std::uint8_t>(strContent.size()));
  } else {
    item.push_back(0x81);
    item.push_back(static_cast<std::uint8_t>(strContent.size()));
  }
  item.insert(item.end(), strContent.begin(), strContent.end());
  return item;
}

// The bytes of a literal, NULs included.
template <std::size_t N>
Bytes Raw(const char (&szBytes)[N]) {
  return Bytes(szBytes, szBytes + N - 1);
}

TEST(DecodeAccountIdValue, AcceptsWhatTheSlotWouldHoldAndNothingElse) {
  const struct {
    const char* name;
    Bytes value;
    std::wstring strId;        // empty: refused
    const char* szProblem;     // part of the refusal's text
  } cases[] = {
      {"digits", Item(kUtf8String, "700123456"), L"700123456", ""},
      {"an octet string", Item(kOctetString, "abc"), L"abc", ""},
      {"Chinese and punctuation", Item(kUtf8String, "\xE8\xB4\xA6\xE5\x8F\xB7 7,x=1"), L"账号 7,x=1", ""},
      {"63 units, long length form", Item(kUtf8String, std::string(63, '9')), std::wstring(63, L'9'), ""},
      {"61 units and a pair", Item(kUtf8String, Repeated(61, 'a', "\xF0\x9F\x98\x80")),
       std::wstring(61, L'a') + L"\U0001F600", ""},
      {"64 units", Item(kUtf8String, std::string(64, '9')), L"", "64 UTF-16 units long"},
      // A character outside the basic plane takes two of the 63 units.
      {"62 units and a pair", Item(kUtf8String, Repeated(62, 'a', "\xF0\x9F\x98\x80")), L"",
       "64 UTF-16 units long"},
      {"far too long", Item(kUtf8String, std::string(200, '9')), L"", "longer than 63"},
      {"starting with [", Item(kUtf8String, "[TARN_ACCOUNT_ID_HOLD]"), L"", "starts with \"[\""},
      {"empty", Item(kUtf8String, ""), L"", "empty"},
      {"a NUL inside", Item(kUtf8String, std::string("12\0" "3", 4)), L"", "NUL"},
      {"an integer", Raw("\x02\x01\x05"), L"", "tag 0x02"},
      {"a BMPString", Item(0x1E, std::string("\0a", 2)), L"", "tag 0x1e"},
      {"a constructed octet string", Raw("\x24\x03\x04\x01" "a"), L"", "tag 0x24"},
      {"nothing", Raw(""), L"", "not one DER item"},
      {"a tag alone", Raw("\x0C"), L"", "not one DER item"},
      {"length past the end", Raw("\x0C\x05" "abc"), L"", "not one DER item"},
      {"bytes after the item", Raw("\x0C\x01" "ab"), L"", "not one DER item"},
      {"indefinite length", Raw("\x0C\x80" "ab\x00\x00"), L"", "not one DER item"},
      {"length not in its shortest form", Raw("\x0C\x81\x03" "abc"), L"", "not one DER item"},
      {"length of five bytes", Raw("\x0C\x85\x00\x00\x00\x00\x01" "a"), L"", "not one DER item"},
      {"overlong UTF-8", Item(kUtf8String, "\xC0\xAF"), L"", "not UTF-8"},
      {"a surrogate in UTF-8", Item(kUtf8String, "\xED\xA0\x80"), L"", "not UTF-8"},
      {"cut UTF-8", Item(kUtf8String, "ab\xE8\xB4"), L"", "not UTF-8"},
      {"Latin-1 rather than UTF-8", Item(kUtf8String, "caf\xE9"), L"", "not UTF-8"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string strProblem = "stale";
    EXPECT_EQ(DecodeAccountIdValue(c.value, strProblem), c.strId);
    if (c.strId.empty()) {
      EXPECT_NE(strProblem.find(c.szProblem), std::string::npos) << strProblem;
    } else {
      EXPECT_EQ(strProblem, "");
    }
  }
}

TEST(AccountIdFromSignatureAttributes, TakesTheOneAttributeWithOneValue) {
  const Bytes good = Item(kUtf8String, "700123456");
  const platform::SignatureAttribute timeStamp{kTimeStampOid, {Raw("\x30\x03\x02\x01\x01")}};
  const struct {
    const char* name;
    std::vector<platform::SignatureAttribute> attributes;
    std::wstring strId;
    const char* szProblem;     // empty: no problem either
  } cases[] = {
      {"no attributes", {}, L"", ""},
      {"only a time stamp", {timeStamp}, L"", ""},
      {"the id beside a time stamp", {timeStamp, {kAccountIdAttributeOid, {good}}}, L"700123456", ""},
      {"two account-id attributes",
       {{kAccountIdAttributeOid, {good}}, {kAccountIdAttributeOid, {Item(kUtf8String, "42")}}}, L"",
       "2 account-id attributes"},
      {"two values", {{kAccountIdAttributeOid, {good, good}}}, L"", "2 values"},
      {"no value", {{kAccountIdAttributeOid, {}}}, L"", "0 values"},
      {"a malformed value", {timeStamp, {kAccountIdAttributeOid, {Raw("\x0C\x7F")}}}, L"", "not one DER item"},
      // An object id that only starts like the project's is another's.
      {"a longer object id", {{Repeated(0, ' ', kAccountIdAttributeOid).append(".1"), {good}}}, L"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string strProblem = "stale";
    EXPECT_EQ(AccountIdFromSignatureAttributes(c.attributes, strProblem), c.strId);
    if (*c.szProblem == '\0') {
      EXPECT_EQ(strProblem, "");
    } else {
      EXPECT_NE(strProblem.find(c.szProblem), std::string::npos) << strProblem;
    }
  }
}

TEST(ChooseAccountId, TheSlotWinsAndOnlyAnEmptySlotReadsTheSignature) {
  using Attributes = std::optional<std::vector<platform::SignatureAttribute>>;
  const Attributes stamped = std::vector<platform::SignatureAttribute>{
      {kAccountIdAttributeOid, {Item(kUtf8String, "from-signature")}}};
  const Attributes malformed = std::vector<platform::SignatureAttribute>{
      {kAccountIdAttributeOid, {Item(kUtf8String, "[x")}}};
  const struct {
    const char* name;
    std::wstring strSlot;
    Attributes attributes;
    std::wstring strId;
    bool bProblem;
    int nReads;
  } cases[] = {
      {"a stamped slot", L"from-slot", stamped, L"from-slot", false, 0},
      {"an unsigned file", L"", std::nullopt, L"", false, 1},
      {"a signature without the attribute", L"", std::vector<platform::SignatureAttribute>{}, L"", false, 1},
      {"a stamped signature", L"", stamped, L"from-signature", false, 1},
      {"a malformed attribute", L"", malformed, L"", true, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int nReads = 0;
    const AccountIdLookup lookup = ChooseAccountId(c.strSlot, [&] {
      ++nReads;
      return c.attributes;
    });
    EXPECT_EQ(lookup.strId, c.strId);
    EXPECT_EQ(!lookup.strProblem.empty(), c.bProblem) << lookup.strProblem;
    EXPECT_EQ(nReads, c.nReads);
  }
}

// The test program itself is unsigned, like every file here that is not a
// program: none of them has attributes to give.
TEST(ReadSignatureAttributes, AFileWithoutASignatureHasNone) {
  CTempFolder folder;
  const std::wstring strText = folder.Child(L"not-a-program.exe");
  WriteWholeFile(strText, "MZ but nothing else");
  for (const std::wstring& strPath : {strText, folder.Child(L"missing.exe")}) {
    SCOPED_TRACE(WideToUtf8(strPath));
    EXPECT_FALSE(platform::ReadSignatureAttributes(strPath).has_value());
  }
  EXPECT_FALSE(platform::ReadOwnSignatureAttributes().has_value());
  // And so this run's look-up finds no id in the signature, and no problem.
  EXPECT_EQ(LookUpAccountId().strProblem, "");
}

}  // namespace
