// The BI service's answers: {"RES":0,"MSG":...} on success, a non-zero RES
// with the reason in "ERR" otherwise. Whatever the service sends, reading it
// never throws.
#pragma once

#include <string>

enum class BiAnswerKind {
  Accepted,    // RES 0 (and, when asked for, MSG a text)
  Refused,     // RES not 0, ERR a text
  Unreadable,  // anything else: no JSON, members missing or of another type
};

struct BiAnswer {
  BiAnswerKind kind = BiAnswerKind::Unreadable;
  // Accepted: MSG (the bearer token of an initialisation), Refused: ERR,
  // Unreadable: what was wrong.
  std::string strText;
};

BiAnswer ReadBiAnswer(const std::string& strResponse, bool bWantMessage);
