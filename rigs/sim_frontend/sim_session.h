// What both simulator front ends build from their command line before they wire their own
// platform's clock, process, embedded image and dialog: the options, the simulated world on a
// clock paced by the machine's, the image file and the diagnostics.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ports.h"
#include "rigs/sim_frontend/image_file_resources.h"
#include "rigs/sim_frontend/paced_clock.h"
#include "rigs/sim_frontend/camera_state_file.h"
#include "rigs/sim_frontend/sim_options.h"
#include "rigs/sim_frontend/stream_diagnostics.h"

namespace velkor::sim {

class SimSession {
 public:
  // Parses the arguments. Returns null when the program is to end at once, with *exitCode
  // set: 0 after --help (printed to stdout), 2 after a bad option, an unusable image file or
  // an unreadable camera state file (the error on stderr, prefixed with the program's name).
  static std::unique_ptr<SimSession> Start(const char* program,
                                           const std::vector<std::string>& args, Clock& realClock,
                                           int* exitCode);

  const SimFrontendOptions& options() const { return options_; }
  StreamDiagnostics& diagnostics() { return diagnostics_; }

  // The ports the simulator provides (capture system, device tree, clock, the image file when
  // one was given, diagnostics when asked for), with the platform's process and embedded image.
  // With --camera-state that process saves the camera's state before the program ends.
  Ports MakePorts(Process& process, ModuleResources& embeddedImage);

 private:
  SimSession(SimFrontendOptions options, std::vector<std::uint8_t> image, Clock& realClock);

  SimFrontendOptions options_;
  std::unique_ptr<SimWorld> world_;
  PacedClock clock_;
  PacedDeviceTree deviceTree_;
  ImageFileResources imageFile_;
  StreamDiagnostics diagnostics_;
  std::string program_;
  std::unique_ptr<Process> stateSaving_;
};

}  // namespace velkor::sim
