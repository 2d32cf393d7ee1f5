// The tool's write on the simulated world, its output thrown away.
#include "rigs/wire_check/reference_tool_write.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "access/access_context.h"
#include "access/device.h"
#include "platform/ports.h"
#include "rigs/sim/sim_world.h"
#include "service/tool_main.h"
#include "transport/bound_device.h"

namespace velkor::rig {

ReferenceWrite RunReferenceToolWrite(const sim::SimCameraConfig& camera,
                                     const std::vector<std::uint8_t>& image) {
  namespace fs = std::filesystem;
  std::string pattern = (fs::temp_directory_path() / "velkor-wire-write-XXXXXX").string();
  const fs::path scratch = ::mkdtemp(pattern.data());
  const std::string imageFile = (scratch / "image.bin").string();
  std::ofstream(imageFile, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()),
             static_cast<std::streamsize>(image.size()));

  std::unique_ptr<sim::SimWorld> world = sim::MakeSingleCameraWorld(camera);
  InstallPorts(sim::WorldPorts(*world));
  std::FILE* sink = std::tmpfile();
  tool::ToolEnvironment environment;
  environment.program = "velkor-tool";
  environment.out = sink;
  environment.err = sink;
  ReferenceWrite run;
  run.exitCode = tool::RunTool({"write", imageFile, "--json", "--quiet"}, environment);
  std::fclose(sink);
  // The tool keeps its camera in process-wide state: left as a fresh process has it.
  access::CloseDevice();
  access::context = access::AccessContext{};
  transport::boundDevice = transport::BoundDevice{};
  InstallPorts(Ports{});

  run.requests = UnitRequestsOf(*world);
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
  return run;
}

}  // namespace velkor::rig
