// velkor-tool-sim presenting several cameras, as processes: the parent's list, and each camera's
// own run (the line a station would start) writing its camera and only that one.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "resources/placeholder_image.h"
#include "rigs/sim_frontend/sim_world_builder.h"
#include "rigs/sim_frontend/tool_sim_arguments.h"
#include "service/tool_options.h"

namespace velkor::sim {
namespace {

using Json = nlohmann::json;

struct Finished {
  int code = -1;
  Json summary;  // the last JSON line
};

// Runs argv (no shell: the device paths are full of its characters) in `directory`; returns the
// exit code and the last line of standard output as JSON.
Finished RunProcess(const std::vector<std::string>& argv, const std::string& directory) {
  int out[2];
  if (::pipe(out) != 0) {
    return {};
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::close(out[0]);
    ::close(out[1]);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDERR_FILENO);
    if (::chdir(directory.c_str()) != 0) {
      ::_exit(127);
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) {
      args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(out[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  Finished run;
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  const std::size_t end = text.find_last_not_of('\n');
  if (end != std::string::npos) {
    const std::size_t start = text.rfind('\n', end);
    run.summary =
        Json::parse(text.substr(start == std::string::npos ? 0 : start + 1), nullptr, false);
  }
  return run;
}

std::string Port(int number) {
  const std::u16string wide = SimCameraPath(number);
  return std::string(wide.begin(), wide.end());
}

class ToolSimCameras : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("velkor-cameras-" + std::to_string(::getpid()) + "-" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    // A new image with the board's configuration block, so that the restore protects the flash.
    std::vector<std::uint8_t> image = MakeFillerBytes(0x4E455731, kPlaceholderImageSize);
    ApplyConfigurationBlock(image);
    std::ofstream(dir_ / "new.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  Finished Tool(std::vector<std::string> args) {
    args.insert(args.begin(), VELKOR_TOOL_SIM);
    return RunProcess(args, dir_.string());
  }
  // Camera `number`'s own run as the station would start it, with the tool's command after it.
  Finished Child(const std::vector<std::string>& parent, int number, const std::string& port,
                 const std::vector<std::string>& command) {
    const ToolSimArguments read =
        ReadToolSimArguments(parent, {tool::IsCommandName, tool::ToolOptionArity});
    std::vector<std::string> line = ChildCommandLine(read, VELKOR_TOOL_SIM, Port(number));
    EXPECT_FALSE(line.empty()) << number;
    line.insert(line.end(), command.begin(), command.end());
    line.insert(line.end(), {"--device", port, "--json"});
    return RunProcess(line, dir_.string());
  }

  std::filesystem::path dir_;
};

TEST_F(ToolSimCameras, ListShowsEveryCameraOnItsOwnPortWithItsOwnChip) {
  const Finished listed =
      Tool({"--fast", "--cameras", "3", "--on-camera", "2", "--chip-row 0", "list", "--json"});
  ASSERT_EQ(listed.code, 0);
  std::vector<std::string> paths;
  std::vector<int> rows;
  for (const Json& device : listed.summary.at("devices")) {
    if (device.at("ours").get<bool>()) {
      paths.push_back(device.at("path"));
      rows.push_back(device.at("chip").at("row"));
    }
  }
  EXPECT_EQ(listed.summary.at("devices").size(), 4u);  // and the webcam
  EXPECT_EQ(paths, (std::vector<std::string>{Port(1), Port(2), Port(3)}));
  EXPECT_EQ(rows, (std::vector<int>{18, 0, 18}));
  EXPECT_EQ(Tool({"--fast", "--cameras", "3", "--on-camera", "4", "--chip-row 0", "list"}).code, 2);
}

TEST_F(ToolSimCameras, EachCamerasOwnRunWritesItAndAWrongPortIsCaught) {
  const std::vector<std::string> parent = {"--fast",      "--cameras", "3",
                                           "--on-camera", "2",         "--unplug-after 16000",
                                           "--on-camera", "3",         "--chip-row 0"};
  const std::vector<int> expected = {0, 4, 0};  // camera 2 is pulled in the middle of its write
  for (int number = 1; number <= 3; ++number) {
    const Finished result = Child(parent, number, Port(number), {"write", "new.bin"});
    EXPECT_EQ(result.code, expected[static_cast<std::size_t>(number) - 1]) << number;
    EXPECT_EQ(result.summary.value("exit_code", -1), result.code) << number;
    if (result.code == 0) {
      EXPECT_EQ(result.summary.at("status_text"), "Update Finish.");
      EXPECT_EQ(result.summary.at("device").at("path"), Port(number));
      EXPECT_EQ(result.summary.at("chip").at("row"), number == 3 ? 0 : 18);
    }
  }
  // A host that ran camera 3's options for camera 1's port would find no camera there.
  EXPECT_EQ(Child(parent, 3, Port(1), {"write", "new.bin"}).code, 3);
}

TEST_F(ToolSimCameras, EachCameraKeepsItsOwnStateAndALookingParentLeavesItAlone) {
  const std::vector<std::string> parent = {"--fast",      "--cameras", "2",
                                           "--on-camera", "1",         "--camera-state one.state",
                                           "--on-camera", "2",         "--camera-state two.state"};
  ASSERT_EQ(Child(parent, 2, Port(2), {"write", "new.bin"}).code, 0);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "one.state"));
  const auto written = std::filesystem::last_write_time(dir_ / "two.state");

  // The parent loads both cameras: the new image is on camera 2 only.
  std::vector<std::string> verify = parent;
  verify.insert(verify.end(), {"verify", "new.bin", "--device", Port(2), "--json"});
  EXPECT_EQ(Tool(verify).code, 0);
  verify[verify.size() - 2] = Port(1);
  EXPECT_EQ(Tool(verify).code, 1);
  std::vector<std::string> listArgs = parent;
  listArgs.push_back("list");
  EXPECT_EQ(Tool(listArgs).code, 0);
  // Only looked at: no file written or rewritten.
  EXPECT_EQ(std::filesystem::last_write_time(dir_ / "two.state"), written);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "one.state"));

  // The parent writing camera 1 itself saves camera 1, and camera 1's own run finds it there.
  std::vector<std::string> writeArgs = parent;
  writeArgs.insert(writeArgs.end(), {"write", "new.bin", "--device", Port(1)});
  EXPECT_EQ(Tool(writeArgs).code, 0);
  EXPECT_EQ(Child(parent, 1, Port(1), {"verify", "new.bin"}).code, 0);
}

TEST_F(ToolSimCameras, ACamerasOwnLatencySlowsThatCameraAlone) {
  // 20 ms a request on camera 2 only: its identification, some tens of requests, takes far
  // longer than camera 1's, in the parent and in its own run.
  const std::vector<std::string> parent = {
      "--fast", "--cameras", "2", "--on-camera", "2", "--request-latency-us 20000"};
  auto seconds = [](const auto& run) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run().code, 0);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  std::vector<std::string> identify = parent;
  identify.insert(identify.end(), {"identify", "--device", Port(1)});
  const double fast = seconds([&] { return Tool(identify); });
  identify.back() = Port(2);
  const double slow = seconds([&] { return Tool(identify); });
  const double child = seconds([&] { return Child(parent, 2, Port(2), {"identify"}); });
  EXPECT_GT(slow, 0.2);
  EXPECT_GT(child, 0.2);
  EXPECT_LT(fast, slow / 2);
}

}  // namespace
}  // namespace velkor::sim
