// The service tool run in-process against a simulated camera on a virtual clock: each test
// builds a world, runs one command line through RunTool and inspects the output, the JSON
// lines and the camera afterwards.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include "access/access_context.h"
#include "access/device.h"
#include "platform/ports.h"
#include "rigs/sim/sim_world.h"
#include "resources/placeholder_image.h"
#include "rigs/sim_frontend/sim_options.h"
#include "rigs/sim_frontend/sim_world_builder.h"
#include "service/interrupt_state.h"
#include "service/tool_main.h"
#include "transport/bound_device.h"

namespace velkor::tool {

struct ToolRun {
  int code = -1;
  std::string out;
  std::string err;
  std::vector<nlohmann::json> lines;  // stdout parsed line by line, with --json
  nlohmann::json summary;             // the last JSON line
};

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_ = std::filesystem::temp_directory_path() /
               ("velkor-tool-test-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(scratch_);
    std::filesystem::create_directories(scratch_);
  }

  void TearDown() override {
    // Whatever the command did, it drove the camera as real hardware needs.
    EXPECT_TRUE(world_->Violations().empty()) << sim::SimViolationsText(world_->Violations());
    access::CloseDevice();
    access::context = access::AccessContext{};
    transport::boundDevice = transport::BoundDevice{};
    InstallPorts(Ports{});
    world_.reset();
    Interrupts().interrupted = false;
    Interrupts().writing = false;
    std::filesystem::remove_all(scratch_);
  }

  // The front end's default camera (write-protected, row 18, older firmware) or another.
  sim::SimWorld& StartWorld(
      const sim::SimFrontendOptions& options = sim::DefaultSimFrontendOptions()) {
    access::context = access::AccessContext{};
    transport::boundDevice = transport::BoundDevice{};
    world_ = sim::BuildSimWorld(options);
    world_->SetTrafficLogging(false);
    InstallPorts(sim::WorldPorts(*world_));
    return *world_;
  }

  ToolRun Run(const std::vector<std::string>& args) {
    ToolRun run;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ToolEnvironment environment;
    environment.program = "velkor-tool";
    environment.out = out;
    environment.err = err;
    run.code = RunTool(args, environment);
    run.out = ReadBack(out);
    run.err = ReadBack(err);
    std::size_t start = 0;
    while (start < run.out.size() && run.out[start] == '{') {
      const std::size_t end = run.out.find('\n', start);
      run.lines.push_back(nlohmann::json::parse(run.out.substr(start, end - start)));
      start = end == std::string::npos ? run.out.size() : end + 1;
    }
    if (!run.lines.empty()) {
      run.summary = run.lines.back();
    }
    return run;
  }

  sim::SimCamera& camera() { return *world_->device(sim::kSimCameraDevice).camera; }
  sim::SimRequestFaults& faults() { return world_->device(sim::kSimCameraDevice).faults; }
  std::vector<std::uint8_t> Flash() {
    const auto& cells = camera().flash().content();
    return {cells.begin(), cells.end()};
  }
  // The flash the default camera starts with.
  static std::vector<std::uint8_t> OldFirmware() {
    return sim::DefaultSimFrontendOptions().camera.initialFlash;
  }

  std::string Path(const std::string& name) const { return (scratch_ / name).string(); }
  std::string WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(Path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return Path(name);
  }
  static std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  std::unique_ptr<sim::SimWorld> world_;
  std::filesystem::path scratch_;

 private:
  static std::string ReadBack(std::FILE* file) {
    std::string text;
    std::rewind(file);
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
      text.append(buffer, got);
    }
    std::fclose(file);
    return text;
  }
};

}  // namespace velkor::tool
