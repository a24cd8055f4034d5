// The system clock as the record and the reports use it.
#pragma once

#include <chrono>
#include <cstdint>

// Milliseconds since 1970-01-01 00:00 UTC.
inline std::int64_t NowMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Whole seconds since 1970-01-01 00:00 UTC.
inline std::int64_t NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}
