#include "road/RunEndCheck.h"

#include <string>

#include "log/Log.h"

bool RunEndedBefore(IRoadWindow& window, const char* pStep) {
  if (!window.RunEnd().HasEnded()) return false;
  CLog::GetInstance().Write(std::string("The run has ended: ") + pStep + " is left out.");
  return true;
}

bool StartUnlessRunEnded(IRoadWindow& window, const char* pStep, const std::function<void()>& fnStart) {
  if (RunEndedBefore(window, pStep)) return false;
  if (window.RunEnd().RunUnlessEnded(fnStart)) return true;
  RunEndedBefore(window, pStep);
  return false;
}
