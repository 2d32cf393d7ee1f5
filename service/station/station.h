// The production station: watches for cameras, updates each in a child process of its own as
// soon as it appears (up to a number of slots at once), records every attempt and shows them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "service/station/attempt_store.h"
#include "service/station/station_display.h"

namespace velkor::tool {

constexpr int kMaxStationSlots = 24;

struct StationSettings {
  std::string imagePath;
  std::string imageSha256;
  std::string imageVersion;
  std::string host;
  int slots = kMaxStationSlots;
  bool once = false;  // update the cameras attached now, wait for them, and end
  std::uint32_t pollMs = 500;
  // A child that says nothing for this long is taken as hung and stopped. The longest healthy
  // silence is one flash wait (40 s) and the wait for answers between attempts.
  std::uint32_t hangMs = 120000;
};

struct CameraSighting {
  std::string port;
  std::string serial;  // empty when the device has none
};

struct StationDependencies {
  ChildLauncher& launcher;
  // The program and its options for the child that updates the camera at this port.
  std::function<std::vector<std::string>(const std::string& port)> childCommand;
  // Our cameras attached now, found without opening them (one may be mid-update).
  std::function<std::vector<CameraSighting>()> findCameras;
  AttemptStore& store;
  StationDisplay& display;
  // Set by the interrupt handler: no new camera is taken, running updates finish.
  const std::atomic<bool>& stopRequested;
  std::function<std::string()> nowText;  // UTC, as the store records times
};

struct StationTotals {
  int passed = 0;
  int failed = 0;  // "Wrong Device" included
  int found = 0;
  double seconds = 0;      // the station's whole run
  std::string storeError;  // the first record that could not be written, if any
};

// Runs until stopped (or, with once, until every camera attached at the start has ended).
StationTotals RunStation(const StationSettings& settings, StationDependencies& dependencies);

// The exit code of a station run with once: 0 all passed, 1 any failed, 3 none found.
int StationExitCode(const StationTotals& totals);

}  // namespace velkor::tool
