// Writing the fake camera's final state.
#include "rigs/fake_camera/state_report.h"

#include <cstdio>
#include <set>

namespace velkor::fakecam {
namespace {

void Line(std::string& text, const char* key, unsigned value, const char* format = "%u") {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%s=", key);
  text += buffer;
  std::snprintf(buffer, sizeof buffer, format, value);
  text += buffer;
  text += '\n';
}

// The camera's protocol-violation record: host actions a real camera would mishandle, one
// "violation=" line each after their number.
void AppendViolations(std::string& text, const sim::SimCamera& camera) {
  Line(text, "violations", static_cast<unsigned>(camera.violations().size()));
  for (const sim::SimViolation& violation : camera.violations()) {
    text += "violation=" + violation.Text() + "\n";
  }
}

}  // namespace

std::string WriteStateReport(const StateFacts& facts, const sim::SimCamera& camera) {
  std::string text;
  Line(text, "tree_walks", facts.treeWalks);
  Line(text, "first_walk_with_camera", facts.firstWalkWithCamera);
  Line(text, "camera_present", facts.cameraPresent ? 1 : 0);
  Line(text, "extension_node", facts.extensionNode);
  Line(text, "camera_requests", facts.cameraRequests);
  if (facts.hasOtherDevice) {
    Line(text, "other_device_requests", facts.otherDeviceRequests);
    Line(text, "other_device_requests_served", facts.otherDeviceRequestsServed);
  }
  const sim::SimFlash& flash = camera.flash();
  Line(text, "flash_status", flash.Status(), "0x%02x");
  Line(text, "flash_block_protected", flash.BlockProtected() ? 1 : 0);
  Line(text, "flash_busy", flash.Busy() ? 1 : 0);
  Line(text, "write_protect_active", camera.WriteProtectActive() ? 1 : 0);
  Line(text, "wp_pin", static_cast<unsigned>(camera.config().wpPin));
  std::set<std::uint16_t> written;
  for (const sim::SimCamera::RegisterWrite& write : camera.registerWrites()) {
    written.insert(write.reg);
  }
  for (std::uint16_t reg : written) {
    char key[32];
    std::snprintf(key, sizeof key, "register_%04x", static_cast<unsigned>(reg));
    Line(text, key, camera.Register(reg), "0x%02x");
  }
  AppendViolations(text, camera);
  return text;
}

}  // namespace velkor::fakecam
