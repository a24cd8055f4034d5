#include "bi/BiAnswer.h"

#include <climits>

#include <nlohmann/json.hpp>

BiAnswer ReadBiAnswer(const std::string& strResponse, bool bWantMessage) {
  BiAnswer result;
  try {
    // Not const: a member that is missing reads as null, and null as a number throws.
    nlohmann::json answer = nlohmann::json::parse(strResponse);
    // A number is read as the service's int; a float out of int's range has
    // no such value (its conversion would be undefined).
    const nlohmann::json& res = answer["RES"];
    if (res.is_number_float()) {
      const double dValue = res.get<double>();
      if (!(dValue > INT_MIN - 1.0 && dValue < INT_MAX + 1.0)) {
        result.strText = "RES is out of range";
        return result;
      }
    }
    if (res.get<int>() != 0) {
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
