// The in-process reference update on the simulated world.
#include "rigs/wire_check/reference_update.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/velkor_app.h"
#include "platform/dialog_toolkit.h"
#include "platform/ports.h"
#include "rigs/sim/sim_world.h"
#include "rigs/headless/headless_backend.h"

namespace velkor::rig {
namespace {

constexpr std::uint32_t kFlagsSet = 0x10000002;
constexpr std::uint32_t kFlagsGet = 0x10000001;

}  // namespace

ReferenceRun RunReferenceUpdate(const sim::SimCameraConfig& camera, ModuleResources& image) {
  namespace fs = std::filesystem;
  const fs::path previous = fs::current_path();
  std::string pattern = (fs::temp_directory_path() / "velkor-wire-reference-XXXXXX").string();
  const fs::path scratch = ::mkdtemp(pattern.data());
  fs::current_path(scratch);

  std::unique_ptr<sim::SimWorld> world = sim::MakeSingleCameraWorld(camera);
  HeadlessBackend backend(world->clock());
  Ports ports;
  ports.captureSystem = world.get();
  ports.deviceTree = world.get();
  ports.clock = &backend.clock();
  ports.process = &backend.process();
  ports.resources = &image;
  InstallPorts(ports);
  InstallDialogBackend(&backend);
  backend.RunProcess([] { return app::UpdaterMain(); });
  InstallDialogBackend(nullptr);
  InstallPorts(Ports{});

  ReferenceRun run;
  std::ifstream log("Result.log", std::ios::binary);
  run.resultLog.assign(std::istreambuf_iterator<char>(log), {});
  run.requests = UnitRequestsOf(*world);
  fs::current_path(previous);
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
  return run;
}

std::vector<ReferenceRequest> UnitRequestsOf(sim::SimWorld& world) {
  std::vector<ReferenceRequest> requests;
  const std::uint32_t unitNode = world.device(sim::kSimCameraDevice).extensionNodeId;
  for (const sim::TrafficRecord& record : world.traffic()) {
    if (record.device != sim::kSimCameraDevice || record.nodeId != unitNode ||
        (record.flags != kFlagsSet && record.flags != kFlagsGet)) {
      continue;
    }
    const bool set = record.flags == kFlagsSet;
    requests.push_back(
        {static_cast<std::uint8_t>(record.selector), set, set ? record.sent : record.replied});
  }
  return requests;
}

}  // namespace velkor::rig
