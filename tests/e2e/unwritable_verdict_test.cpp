// Whole runs in a working directory where "Result.log" cannot be written: read-only from the
// start (the update must not begin), or a disk that fills while the flash is written (the
// provisional "Fail" must stand). Both need a file system of their own, mounted for the test;
// without the right to mount one they are skipped.
#include <sys/mount.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "app/label.h"
#include "app/result_log.h"
#include "updater_harness.h"

namespace velkor::app {
namespace {

// A tmpfs mounted on a fresh directory for the length of a test, entered while it lives.
class ScratchMount {
 public:
  ScratchMount(const std::string& options, unsigned long flags) {
    std::filesystem::create_directory("mount");
    path_ = std::filesystem::absolute("mount");
    mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", flags, options.c_str()) == 0;
    error_ = mounted_ ? "" : std::strerror(errno);
    if (mounted_) {
      previous_ = std::filesystem::current_path();
      std::filesystem::current_path(path_);
    }
  }
  ~ScratchMount() {
    if (mounted_) {
      std::filesystem::current_path(previous_);
      ::umount2(path_.c_str(), MNT_DETACH);
    }
  }
  ScratchMount(const ScratchMount&) = delete;
  ScratchMount& operator=(const ScratchMount&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& error() const { return error_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
  bool mounted_ = false;
  std::string error_;
};

// Writes until the file system refuses another byte.
void FillTheDisk() {
  std::FILE* filler = std::fopen("filler", "wb");
  if (filler == nullptr) {
    return;
  }
  const std::string block(4096, 'x');
  while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() &&
         std::fflush(filler) == 0) {
  }
  std::fclose(filler);
}

TEST_F(UpdaterRun, ReadOnlyWorkingDirectoryStopsTheRunBeforeTheCameraChanges) {
  ScratchMount readOnly("size=64k", MS_RDONLY);
  if (!readOnly.mounted()) {
    GTEST_SKIP() << "no tmpfs could be mounted: " << readOnly.error();
  }
  Build();

  EXPECT_EQ(Run(), 0);

  EXPECT_TRUE(backend_->ExitCalled());
  EXPECT_EQ(StatusTexts().back(), (StatusText{kResultLogUnwritableText, kRed}));
  EXPECT_EQ(ResultLog(), std::nullopt);
  EXPECT_TRUE(FlashHolds(Camera().initialFlash));
  EXPECT_TRUE(camera().registerWrites().empty());
  EXPECT_TRUE(camera().WriteProtectActive());
}

// The update itself succeeds; only its final verdict cannot be written. "Fail" stands, and the
// window says why in red rather than "Update Finish." in blue.
TEST_F(UpdaterRun, DiskThatFillsDuringTheUpdateLeavesTheProvisionalFailAndShowsRed) {
  ScratchMount small("size=64k", 0);
  if (!small.mounted()) {
    GTEST_SKIP() << "no tmpfs could be mounted: " << small.error();
  }
  sim::SimWorld& world = Build();
  const sim::SimCamera* cam = &camera();
  bool filled = false;
  world.SetReplyHook([&](int, const KsPropertyNode&, std::uint8_t*, std::uint32_t, HResult r) {
    if (!filled && !cam->WriteProtectActive()) {  // inside the flash window
      FillTheDisk();
      filled = true;
    }
    return r;
  });

  EXPECT_EQ(Run(), 0);

  EXPECT_TRUE(filled);
  EXPECT_TRUE(backend_->ExitCalled());
  EXPECT_EQ(ResultLog(), std::string("Fail"));
  EXPECT_EQ(StatusTexts().back(), (StatusText{kResultLogUnwritableText, kRed}));
  EXPECT_TRUE(FlashHolds(image_));
  ExpectCameraLeftAsFound();
  EXPECT_FALSE(std::filesystem::exists("Result.log.new"));
}

}  // namespace
}  // namespace velkor::app
