// The BI service's answers as the client reads them: only RES 0 (with a
// token text where one is wanted) is success; nothing it sends throws.
#include <gtest/gtest.h>

#include <string>

#include "bi/BiAnswer.h"

namespace {

TEST(BiAnswer, OnlyAZeroResultIsAcceptedAndNothingThrows) {
  struct Case {
    const char* szAnswer;
    bool bWantMessage;
    BiAnswerKind kind;
    const char* szText;  // nullptr: any text
  };
  const Case cases[] = {
      {R"({"RES":0,"MSG":"token-1"})", true, BiAnswerKind::Accepted, "token-1"},
      {R"({"RES":0})", false, BiAnswerKind::Accepted, ""},
      {R"({"RES":0})", true, BiAnswerKind::Unreadable, nullptr},
      {R"({"RES":0,"MSG":7})", true, BiAnswerKind::Unreadable, nullptr},
      {R"({"RES":3,"ERR":"sign error"})", false, BiAnswerKind::Refused, "sign error"},
      {R"({"RES":3})", false, BiAnswerKind::Unreadable, nullptr},
      {R"({"RES":"0","MSG":"t"})", true, BiAnswerKind::Unreadable, nullptr},
      {R"({"RES":1.7776e+27,"ERR":"x"})", false, BiAnswerKind::Unreadable, nullptr},
      {R"({"RES":0.0,"MSG":"t"})", true, BiAnswerKind::Accepted, "t"},
      {R"({"RES":-1,"ERR":"expired"})", false, BiAnswerKind::Refused, "expired"},
      {R"([0,1])", false, BiAnswerKind::Unreadable, nullptr},
      {R"("RES")", false, BiAnswerKind::Unreadable, nullptr},
      {"<html>502 Bad Gateway</html>", false, BiAnswerKind::Unreadable, nullptr},
      {"", true, BiAnswerKind::Unreadable, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.szAnswer);
    const BiAnswer answer = ReadBiAnswer(c.szAnswer, c.bWantMessage);
    EXPECT_EQ(answer.kind, c.kind);
    if (c.szText) EXPECT_EQ(answer.strText, c.szText);
  }
}

}  // namespace
