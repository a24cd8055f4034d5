#include "bi/BiAnswer.h"

#include <cstdint>

#include <nlohmann/json.hpp>

BiAnswer ReadBiAnswer(const std::string& strResponse, bool bWantMessage) {
  BiAnswer result;
  try {
    // Not const: a member that is missing reads as null, and null as a number throws.
    nlohmann::json answer = nlohmann::json::parse(strResponse);
    // Only a whole number is a result: a float far out of range would not
    // even convert to one.
    const nlohmann::json& res = answer["RES"];
    if (!res.is_number_integer()) {
      result.strText = "RES is not a whole number";
      return result;
    }
    if (res.get<std::int64_t>() != 0) {
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
