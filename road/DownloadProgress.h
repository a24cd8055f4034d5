// CDownloadProgress: the progress sink of the download thread; forwards every
// report to the window's OnDownloadProgress, and asks the transfer to stop
// once the run has ended.
#pragma once

#include "platform/ProgressSink.h"
#include "road/RoadWindow.h"

class CDownloadProgress : public platform::IProgressSink {
public:
  explicit CDownloadProgress(IRoadWindow& window) : m_window(window) {}
  void OnProgress(unsigned long ulProgress, unsigned long ulProgressMax, unsigned long ulStatusCode) override {
    m_window.OnDownloadProgress(ulProgress, ulProgressMax, ulStatusCode, nullptr);
  }
  bool IsStopRequested() override { return m_window.RunEnd().HasEnded(); }

private:
  IRoadWindow& m_window;
};
