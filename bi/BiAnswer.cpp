#include "bi/BiAnswer.h"

#include <nlohmann/json.hpp>

BiAnswer ReadBiAnswer(const std::string& strResponse, bool bWantMessage) {
  BiAnswer result;
  try {
    // Not const: a member that is missing reads as null, and null as a number throws.
    nlohmann::json answer = nlohmann::json::parse(strResponse);
    if (answer["RES"].get<int>() != 0) {
      result.strText = answer["ERR"].get<std::string>();
      result.kind = BiAnswerKind::Refused;
      return result;
    }
    if (bWantMessage) result.strText = answer["MSG"].get<std::string>();
    result.kind = BiAnswerKind::Accepted;
  } catch (const nlohmann::json::exception& error) {
    result.kind = BiAnswerKind::Unreadable;
    result.strText = error.what();
  }
  return result;
}
