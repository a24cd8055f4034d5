// CDownloadProgress: the progress sink of the download thread; forwards every
// report to the window's OnDownloadProgress. Holds nothing and cancels nothing.
#pragma once

#include "platform/ProgressSink.h"
#include "road/RoadWindow.h"

class CDownloadProgress : public platform::IProgressSink {
public:
  explicit CDownloadProgress(IRoadWindow& window) : m_window(window) {}
  void OnProgress(unsigned long ulProgress, unsigned long ulProgressMax, unsigned long ulStatusCode) override {
    m_window.OnDownloadProgress(ulProgress, ulProgressMax, ulStatusCode, nullptr);
  }

private:
  IRoadWindow& m_window;
};
