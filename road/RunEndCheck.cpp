#include "road/RunEndCheck.h"

#include <string>

#include "log/Log.h"

bool RunEndedBefore(IRoadWindow& window, const char* pStep) {
  if (!window.RunEnd().HasEnded()) return false;
  CLog::GetInstance().Write(std::string("The run has ended: ") + pStep + " is left out.");
  return true;
}
