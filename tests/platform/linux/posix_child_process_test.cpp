// The station's children on Linux: their output line by line, their exit codes, a hung one
// killed, and a process group of their own so that Ctrl-C at the terminal does not reach them.
#include "platform/linux/posix_child_process.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

namespace velkor::linux_platform {
namespace {

std::vector<std::string> ReadAll(ChildProcess& child) {
  std::vector<std::string> lines;
  std::string line;
  while (child.ReadLine(&line)) {
    lines.push_back(line);
  }
  return lines;
}

TEST(PosixChildWritingToBothStreams, GivesEveryLineInOrderAndItsExitCode) {
  PosixChildLauncher launcher;
  std::string error;
  auto child = launcher.Start(
      {"/bin/sh", "-c", "echo one; echo two >&2; sleep 0.2; printf 'last without end'; exit 4"},
      &error);
  ASSERT_NE(child, nullptr) << error;
  EXPECT_EQ(ReadAll(*child), (std::vector<std::string>{"one", "two", "last without end"}));
  EXPECT_EQ(child->Wait(), 4);
  EXPECT_GT(child->PeakMemoryKb(), 0);
}

TEST(PosixChildThatHangs, EndsWhenKilledFromAnotherThread) {
  PosixChildLauncher launcher;
  std::string error;
  // Its own process group: the group id is its own pid, not ours.
  auto child = launcher.Start(
      {"/bin/sh", "-c", "echo $$ $(cut -d' ' -f5 /proc/$$/stat); exec sleep 600"}, &error);
  ASSERT_NE(child, nullptr) << error;
  std::string line;
  ASSERT_TRUE(child->ReadLine(&line));
  std::size_t end = 0;
  const pid_t pid = std::stoi(line, &end);
  const pid_t group = std::stoi(line.substr(end));
  EXPECT_EQ(group, pid);
  EXPECT_NE(group, ::getpgrp());
  std::thread killer([&] { child->Kill(); });
  EXPECT_TRUE(ReadAll(*child).empty());
  killer.join();
  EXPECT_EQ(child->Wait(), 128 + 9);
  child->Kill();  // after the reap: must not signal a pid that may be reused
}

TEST(PosixChildLauncherGivenNoProgram, SaysWhy) {
  PosixChildLauncher launcher;
  std::string error;
  EXPECT_EQ(launcher.Start({"/nonexistent/program"}, &error), nullptr);
  EXPECT_NE(error.find("/nonexistent/program"), std::string::npos);
}

}  // namespace
}  // namespace velkor::linux_platform
