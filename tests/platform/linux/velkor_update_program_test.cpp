// Runs the built velkor-update program on this machine, with stdout a pipe and a scratch
// current directory: without the camera it gives up after its sixth poll tick.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/linux/sysfs_attributes.h"

namespace velkor::linux_platform {
namespace {

namespace fs = std::filesystem;

bool CameraAttached() {
  const fs::path devices = "/sys/bus/usb/devices";
  for (const std::string& name : ListDirectorySorted(devices)) {
    if (ReadHexAttribute(devices / name / "idVendor") == 0x5D1Au &&
        ReadHexAttribute(devices / name / "idProduct") == 0xC03Eu) {
      return true;
    }
  }
  return false;
}

struct ProgramRun {
  int exitCode = -1;
  std::string output;
};

// Runs the program in directory with stdin from /dev/null and stdout into a pipe.
ProgramRun RunProgram(const fs::path& program, const fs::path& directory) {
  ProgramRun run;
  int out[2];
  if (::pipe(out) != 0) {
    return run;
  }
  pid_t child = ::fork();
  if (child == 0) {
    int devNull = ::open("/dev/null", O_RDONLY);
    if (devNull < 0 || ::dup2(devNull, STDIN_FILENO) < 0 || ::dup2(out[1], STDOUT_FILENO) < 0 ||
        ::chdir(directory.c_str()) != 0) {
      ::_exit(127);
    }
    ::close(out[0]);
    ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  char buffer[4096];
  ssize_t got;
  while ((got = ::read(out[0], buffer, sizeof(buffer))) > 0) {
    run.output.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(out[0]);
  int status = 0;
  if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    run.exitCode = WEXITSTATUS(status);
  }
  return run;
}

TEST(VelkorUpdateProgram, WithoutTheCameraEndsAfterSixTicksAsWrongDevice) {
  if (CameraAttached()) {
    GTEST_SKIP() << "a camera is attached: running the updater would flash it";
  }
  const fs::path directory =
      fs::temp_directory_path() / ("velkor-update-run-" + std::to_string(::getpid()));
  fs::remove_all(directory);
  fs::create_directories(directory);

  const auto start = std::chrono::steady_clock::now();
  ProgramRun run = RunProgram(VELKOR_UPDATE_EXECUTABLE, directory);
  const auto elapsed = std::chrono::steady_clock::now() - start;

  std::ifstream in(directory / "Result.log", std::ios::binary);
  const std::string verdict((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(verdict, "Wrong Device\r\n");
  // Six one-second ticks pass before it gives up; it cannot end sooner.
  EXPECT_GE(elapsed, std::chrono::milliseconds(5900));
  EXPECT_NE(run.output.find("Detect Device!!!"), std::string::npos);
  EXPECT_EQ(run.output.find('\x1b'), std::string::npos);  // plain lines into a pipe
  fs::remove_all(directory);
}

}  // namespace
}  // namespace velkor::linux_platform
