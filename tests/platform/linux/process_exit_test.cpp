// Ending the process: the exit code given, and stdio output that was still buffered reaches its
// file (the verdict must not be lost on the way out).
#include "platform/linux/process_exit.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace velkor {
namespace {

TEST(ProcessExitDeathTest, EndsWithTheCodeAfterFlushingBufferedOutput) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("velkor_exit_" + std::to_string(::getpid())))
          .string();
  EXPECT_EXIT(
      {
        std::FILE* file = std::fopen(path.c_str(), "w");
        std::fputs("still buffered", file);  // neither flushed nor closed
        ProcessExit().Exit(7);
      },
      ::testing::ExitedWithCode(7), "");
  std::ifstream in(path);
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "still buffered");
  std::filesystem::remove(path);
}

TEST(ProcessExitDeathTest, EndsTheWholeProcessFromAnotherThread) {
  EXPECT_EXIT(
      {
        std::thread worker([] { ProcessExit().Exit(0); });
        worker.join();
        std::_Exit(99);  // not reached when the worker ended the process
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace velkor
