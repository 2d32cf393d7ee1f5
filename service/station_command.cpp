// `station FILE`: the production station on the tool's command line.
#include <chrono>
#include <filesystem>

#include "resources/firmware_version.h"
#include "service/camera_catalog.h"
#include "service/commands.h"
#include "service/exit_codes.h"
#include "service/image_file.h"
#include "service/interrupt_state.h"
#include "service/station/sha256.h"
#include "service/station/station.h"
#include "service/station/utc_time_text.h"

namespace velkor::tool {

namespace {

std::vector<CameraSighting> OurCamerasAttached() {
  std::vector<CameraSighting> sightings;
  for (const DeviceEntry& device : EnumerateDevices(false)) {
    if (device.ours) {
      sightings.push_back({device.path, device.serial});
    }
  }
  return sightings;
}

}  // namespace

int RunStationCommand(CommandContext& c) {
  const ToolEnvironment& environment = c.environment;
  auto refuse = [&](int code, const std::string& message) {
    c.report.Summary(nlohmann::json::object(), code, message);
    return code;
  };
  if (environment.childLauncher == nullptr || !environment.childCommand) {
    return refuse(kExitUsage, "station is not available in this build");
  }
  std::vector<std::uint8_t> image;
  std::string error;
  if (!LoadImageFile(c.options.file, &image, &error)) {
    return refuse(kExitUsage, error);
  }
  const std::string database =
      c.options.database.empty() ? kDefaultStationDatabase : c.options.database;
  std::unique_ptr<AttemptStore> store = OpenAttemptStore(database, &error);
  if (!store) {
    return refuse(kExitUsage, database + ": " + error);
  }

  StationSettings settings;
  std::error_code ignored;
  settings.imagePath = std::filesystem::absolute(c.options.file, ignored).string();
  settings.imageSha256 = Sha256Hex(image);
  // An image file's version is known only when it is the image this tool was built with.
  settings.imageVersion = settings.imageSha256 == kFirmwareSha256 ? kFirmwareVersion : "";
  settings.host = environment.hostName;
  settings.slots = c.options.slots;
  settings.once = c.options.once;

  const DisplayMode mode = c.options.json                 ? DisplayMode::kJson
                           : environment.stdoutIsTerminal ? DisplayMode::kTable
                                                          : DisplayMode::kPlain;
  StationDisplay display(mode, environment.out);
  // An interrupt now stops the station taking cameras; the running updates finish.
  WriteInProgress interruptsStopTheStation;
  StationDependencies dependencies{*environment.childLauncher,
                                   environment.childCommand,
                                   OurCamerasAttached,
                                   *store,
                                   display,
                                   Interrupts().interrupted,
                                   [] { return UtcTimeText(std::chrono::system_clock::now()); }};
  const StationTotals totals = RunStation(settings, dependencies);

  const int code = settings.once || totals.failed > 0 || !totals.storeError.empty()
                       ? StationExitCode(totals)
                       : kExitDone;
  StationCounts counts;
  counts.passed = totals.passed;
  counts.failed = totals.failed;
  counts.perHour =
      totals.seconds > 0 ? (totals.passed + totals.failed) * 3600.0 / totals.seconds : 0;
  nlohmann::json details = {{"found", totals.found},
                            {"database", database},
                            {"interrupted", Interrupts().interrupted.load()}};
  if (!totals.storeError.empty()) {
    details["record_error"] = totals.storeError;
  }
  display.Finished(counts, details, code);
  return code;
}

}  // namespace velkor::tool
