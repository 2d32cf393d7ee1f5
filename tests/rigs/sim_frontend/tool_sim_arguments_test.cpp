// velkor-tool-sim's words before the subcommand: how many cameras, what each one gets, what a
// camera's own run is handed, and what is refused.
#include "rigs/sim_frontend/tool_sim_arguments.h"

#include <gtest/gtest.h>

#include "rigs/sim_frontend/sim_world_builder.h"
#include "service/tool_options.h"

namespace velkor::sim {
namespace {

ToolSimArguments Read(const std::vector<std::string>& args) {
  return ReadToolSimArguments(args, {tool::IsCommandName, tool::ToolOptionArity});
}

std::string Narrow(const std::u16string& wide) {
  return std::string(wide.begin(), wide.end());
}

TEST(ToolSimArgumentsRefused, EachBadCameraCountNumberOrOptionIsAUsageError) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--cameras", "0", "list"}, "--cameras: expected a number from 1 to 24"},
      {{"--cameras", "25", "list"}, "--cameras: expected a number from 1 to 24"},
      {{"--cameras"}, "--cameras: expected a value"},
      {{"--cameras", "2", "--on-camera", "3", "--chip-row 1", "list"},
       "--on-camera 3: there are 2"},
      {{"--on-camera", "2", "--chip-row 0", "list"}, "--on-camera 2: there are 1"},
      {{"--cameras", "2", "--on-camera", "0", "--fast"}, "--on-camera: expected a number"},
      {{"--cameras", "2", "--on-camera", "2"}, "--on-camera 2: expected the camera's options"},
      {{"--cameras", "2", "--on-camera", "2", "--chip-row 99"}, "--on-camera 2: --chip-row"},
      {{"--cameras", "2", "--on-camera", "2", "--bogus"}, "--on-camera 2: "},
      {{"--cameras", "2", "--on-camera", "2", "--fast"}, "--fast applies to the whole run"},
      {{"--cameras", "2", "--on-camera", "2", "--json"}, "--json applies to the whole run"},
      {{"--cameras", "2", "--on-camera", "2", "--cameras=3"}, "--cameras applies to the whole"},
      {{"--cameras", "2", "--on-camera", "1", "list"}, "\"list\" is a command"},
      {{"--cameras", "2", "--on-camera", "1", "--flash-file f --camera-state s"},
       "--on-camera 1: --flash-file and --camera-state: give one"},
      {{"--cameras", "2", "--camera-state", "s", "list"}, "--camera-state with --cameras 2"},
      {{"--cameras", "2", "--flash-file", "f", "list"}, "--flash-file with --cameras 2"},
      {{"--cameras", "2", "--camera-number", "3", "list"}, "--camera-number 3: there are 2"},
      {{"--request-latency-us", "2000000", "list"}, "--request-latency-us: expected a number"},
  };
  for (const auto& [args, expected] : cases) {
    const ToolSimArguments read = Read(args);
    EXPECT_NE(read.error.find(expected), std::string::npos)
        << testing::PrintToString(args) << " gave \"" << read.error << "\"";
  }
}

TEST(ToolSimArgumentsOneCamera, WithoutCameraOptionsIsTheSingleCameraRunOfBefore) {
  const ToolSimArguments read =
      Read({"--fast", "--chip-row", "4", "--request-latency-us=150", "--json", "identify", "-q"});
  ASSERT_EQ(read.error, "");
  ASSERT_EQ(read.cameras.size(), 1u);
  EXPECT_FALSE(read.child);
  EXPECT_EQ(read.cameras[0].path, std::u16string(kSimCameraPath));
  EXPECT_EQ(read.cameras[0].options.camera.chipRow, 4);
  EXPECT_EQ(read.cameras[0].latencyUs, 150u);
  EXPECT_EQ(read.tool, (std::vector<std::string>{"--json", "identify", "-q"}));
  EXPECT_EQ(read.common,
            (std::vector<std::string>{"--fast", "--chip-row", "4", "--request-latency-us=150"}));
}

TEST(ToolSimArgumentsSeveralCameras, EachCameraHasTheCommonOptionsWithItsOwnOnTop) {
  const ToolSimArguments read =
      Read({"--fast", "--cameras", "3", "--chip-row", "9", "--on-camera", "2",
            "--chip-row 0  --request-latency-us 40", "--on-camera", "3", "--camera-state c3.state",
            "--on-camera", "2", "--fail-request 77", "list"});
  ASSERT_EQ(read.error, "");
  ASSERT_EQ(read.cameras.size(), 3u);
  const std::vector<int> rows = {9, 0, 9};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(read.cameras[i].number, static_cast<int>(i) + 1);
    EXPECT_EQ(read.cameras[i].path, SimCameraPath(static_cast<int>(i) + 1));
    EXPECT_EQ(read.cameras[i].options.camera.chipRow, rows[i]);
    EXPECT_TRUE(read.cameras[i].options.fast);
  }
  EXPECT_EQ(read.cameras[1].latencyUs, 40u);
  EXPECT_EQ(read.cameras[1].options.faults.failRequestNumber, 77u);
  EXPECT_EQ(read.cameras[0].options.faults.failRequestNumber, 0u);
  EXPECT_EQ(read.cameras[2].options.cameraStatePath, "c3.state");
  EXPECT_EQ(read.cameras[0].options.cameraStatePath, "");
  EXPECT_EQ(read.tool, std::vector<std::string>{"list"});
}

TEST(ToolSimArgumentsSeveralCameras, PathsAreDistinctAndNoneContainsAnother) {
  for (int a = 1; a <= kMaxSimCameras; ++a) {
    for (int b = 1; b <= kMaxSimCameras; ++b) {
      if (a != b) {
        EXPECT_EQ(SimCameraPath(a).find(SimCameraPath(b)), std::u16string::npos) << a << " " << b;
      }
    }
  }
}

TEST(ToolSimArgumentsChild, ChildLinePlaysExactlyThatCameraAtItsPort) {
  const ToolSimArguments parent =
      Read({"--fast", "--cameras", "3", "--on-camera", "2", "--attach 4 --chip-row 0", "list"});
  ASSERT_EQ(parent.error, "");
  EXPECT_EQ(parent.cameras[1].options.attachAtMs, AttachTimeForTick(4));
  EXPECT_TRUE(ChildCommandLine(parent, "tool", "\\\\?\\usb#elsewhere").empty());
  for (int number = 1; number <= 3; ++number) {
    // The station names the port as the tool lists it: letter case aside, the device path.
    std::string port = Narrow(SimCameraPath(number));
    port[4] = 'U';
    const std::vector<std::string> line = ChildCommandLine(parent, "tool", port);
    ASSERT_FALSE(line.empty()) << number;
    EXPECT_EQ(line.front(), "tool");
    const ToolSimArguments child = Read({line.begin() + 1, line.end()});
    ASSERT_EQ(child.error, "") << number;
    EXPECT_TRUE(child.child);
    ASSERT_EQ(child.cameras.size(), 1u);
    EXPECT_EQ(child.cameras[0].path, SimCameraPath(number));
    EXPECT_EQ(child.cameras[0].options.camera.chipRow, number == 2 ? 0 : 18);
    EXPECT_TRUE(child.cameras[0].options.fast);
    // The station starts the camera's run once it saw the camera: there it is from the start.
    EXPECT_EQ(child.cameras[0].options.attachAtMs, 0u);
    EXPECT_TRUE(child.tool.empty());
    // Asked again, the child hands out the same line.
    EXPECT_EQ(ChildCommandLine(child, "tool", port), line);
  }
}

}  // namespace
}  // namespace velkor::sim
