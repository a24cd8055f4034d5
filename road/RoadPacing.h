// The road's waits in one place: download retries, the installer and launch
// polls and the launch time-out. Builds with test seams read shorter values
// from the environment; the shipped defaults never change.
#pragma once

#include <chrono>

#include "download/DownloadFile.h"

struct RoadPacing {
  DownloadPacing download;
  // How often the installer and the device record are looked at.
  std::chrono::milliseconds installPoll{1000};
  std::chrono::milliseconds launchPoll{1000};
  // How long the platform has to announce itself.
  std::chrono::milliseconds launchTimeout{50000};
};

// The pacing of this run.
const RoadPacing& GetRoadPacing();
