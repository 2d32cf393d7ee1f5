// The camera lock on Linux: two holders of one camera in one process stand for two processes
// (flock locks belong to the open file), the lock file's name, the holder's record and the
// fallback when the first place for lock files is missing.
#include "platform/linux/flock_camera_lock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

namespace velkor::linux_platform {
namespace {

const std::u16string kCamera =
    u"\\\\?\\usb#vid_1bcf&pid_2c99&mi_00#1-2.3:1.0#{65e8773d-8f56-11d0-a3b9-00a0c9223196}"
    u"\\global";
const std::u16string kOtherPort =
    u"\\\\?\\usb#vid_1bcf&pid_2c99&mi_00#1-4:1.0#{65e8773d-8f56-11d0-a3b9-00a0c9223196}"
    u"\\global";

class FlockCameraLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = std::filesystem::temp_directory_path() /
                 ("velkor-lock-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(directory_);
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  std::vector<std::string> Places() const { return {directory_.string()}; }

  std::filesystem::path directory_;
};

TEST(LockFileName, IsTheUsbPortPathOfTheCamerasInterface) {
  EXPECT_EQ(LockFileName(kCamera), "velkor-camera-1-2.3.lock");
  EXPECT_EQ(LockFileName(kOtherPort), "velkor-camera-1-4.lock");
  // Another interface of the same camera is the same camera.
  EXPECT_EQ(LockFileName(u"\\\\?\\usb#vid_1bcf&pid_2c99&mi_02#1-2.3:1.2#{x}\\global"),
            "velkor-camera-1-2.3.lock");
  // A path without a port part still names a file, with nothing that leaves the directory.
  EXPECT_EQ(LockFileName(u"sim/../camera"), "velkor-camera-sim_.._camera.lock");
}

TEST_F(FlockCameraLockTest, SecondHolderOfOneCameraIsRefusedAndToldWhoHoldsIt) {
  FlockCameraLock first("velkor-update", Places());
  FlockCameraLock second("velkor-tool", Places());
  std::string holder;

  ASSERT_EQ(first.Acquire(kCamera, &holder), LockOutcome::kAcquired);
  EXPECT_EQ(second.Acquire(kCamera, &holder), LockOutcome::kBusy);
  EXPECT_EQ(holder, "velkor-update (process " + std::to_string(::getpid()) + ")");
  // Another camera is another lock.
  EXPECT_EQ(second.Acquire(kOtherPort, &holder), LockOutcome::kAcquired);
}

TEST_F(FlockCameraLockTest, ReleasedOrDestroyedLockFreesTheCamera) {
  std::string holder;
  {
    FlockCameraLock first("velkor-update", Places());
    ASSERT_EQ(first.Acquire(kCamera, &holder), LockOutcome::kAcquired);
    first.Release();
    FlockCameraLock second("velkor-tool", Places());
    EXPECT_EQ(second.Acquire(kCamera, &holder), LockOutcome::kAcquired);
  }
  FlockCameraLock third("velkor-tool", Places());
  EXPECT_EQ(third.Acquire(kCamera, &holder), LockOutcome::kAcquired);
}

TEST_F(FlockCameraLockTest, MissingPlacesAreSkippedAndNoPlaceAtAllIsAFailure) {
  const std::string missing = (directory_ / "absent").string();
  FlockCameraLock first("velkor-update", {missing, directory_.string()});
  FlockCameraLock second("velkor-tool", {missing, directory_.string()});
  std::string holder;
  ASSERT_EQ(first.Acquire(kCamera, &holder), LockOutcome::kAcquired);
  EXPECT_TRUE(std::filesystem::exists(directory_ / "velkor-camera-1-2.3.lock"));
  EXPECT_EQ(second.Acquire(kCamera, &holder), LockOutcome::kBusy);

  FlockCameraLock nowhere("velkor-tool", {missing});
  EXPECT_EQ(nowhere.Acquire(kCamera, &holder), LockOutcome::kFailed);
}

}  // namespace
}  // namespace velkor::linux_platform
