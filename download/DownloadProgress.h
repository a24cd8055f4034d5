// CDownloadProgress: the progress sink of a download; forwards every report
// to the main window's OnDownloadProgress. Holds nothing and cancels nothing.
#pragma once

#include "platform/ProgressSink.h"

class CDownloadProgress : public platform::IProgressSink {
public:
  void OnProgress(unsigned long ulProgress, unsigned long ulProgressMax, unsigned long ulStatusCode) override;
};
