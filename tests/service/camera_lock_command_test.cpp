// The tool against a camera that another program holds: every command that would send the
// camera a request refuses with exit code 4 and names the holder, before any request; list
// shows the camera without its chip; a free camera is locked for the command.
#include <gtest/gtest.h>

#include "rigs/sim/sim_camera_lock.h"
#include "service/exit_codes.h"
#include "tool_harness.h"

namespace velkor::tool {
namespace {

class CameraHeldElsewhere : public ToolTest {
 protected:
  void Hold() {
    StartWorld().SetTrafficLogging(true);
    lock_.HoldElsewhere("velkor-update (process 4242)");
    Ports ports = CurrentPorts();
    ports.cameraLock = &lock_;
    InstallPorts(ports);
  }
  bool CameraHeardNothing() {
    for (const sim::TrafficRecord& record : world_->traffic()) {
      if (record.device == sim::kSimCameraDevice && (record.flags & 0x100) == 0) {
        return false;
      }
    }
    return true;
  }
  sim::SimCameraLock lock_;
};

TEST_F(CameraHeldElsewhere, EveryCameraCommandIsRefusedWithItsHolderBeforeAnyRequest) {
  const std::string image = WriteFile("image.bin", OldFirmware());
  for (const std::vector<std::string>& args : {std::vector<std::string>{"identify", "--json"},
                                               {"read", Path("dump.bin"), "--json"},
                                               {"verify", image, "--json"},
                                               {"write", image, "--json"}}) {
    SCOPED_TRACE(args[0]);
    Hold();
    const ToolRun run = Run(args);
    EXPECT_EQ(run.code, kExitCameraFailed);
    EXPECT_EQ(run.summary["holder"], "velkor-update (process 4242)");
    EXPECT_NE(run.summary["message"].get<std::string>().find("in use by velkor-update"),
              std::string::npos);
    EXPECT_TRUE(CameraHeardNothing());
    EXPECT_EQ(Flash(), OldFirmware());
  }
}

TEST_F(CameraHeldElsewhere, ListShowsTheHeldCameraWithoutItsChip) {
  Hold();
  const ToolRun run = Run({"list", "--json"});
  EXPECT_EQ(run.code, kExitDone);
  bool listed = false;
  for (const auto& device : run.summary["devices"]) {
    if (device["ours"] == true) {
      listed = true;
      EXPECT_TRUE(device["chip"].is_null());
    }
  }
  EXPECT_TRUE(listed);
  EXPECT_TRUE(CameraHeardNothing());
}

TEST_F(ToolTest, FreeCameraIsLockedForTheCommand) {
  StartWorld();
  sim::SimCameraLock lock;
  Ports ports = CurrentPorts();
  ports.cameraLock = &lock;
  InstallPorts(ports);
  EXPECT_EQ(Run({"identify"}).code, kExitDone);
  EXPECT_TRUE(lock.held());
  EXPECT_EQ(lock.path(), std::u16string(sim::kSimCameraPath));
}

}  // namespace
}  // namespace velkor::tool
