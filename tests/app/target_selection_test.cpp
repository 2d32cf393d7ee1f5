// Choosing the camera's capture device by its path.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "access/access_context.h"
#include "app/app_state.h"
#include "app/target_devices.h"
#include "platform/ports.h"
#include "rigs/sim/sim_world.h"
#include "rigs/headless/headless_backend.h"
#include "transport/bound_device.h"

namespace velkor::app {
namespace {

TEST(PathCarriesTargetId, IdMustBeginAHashSeparatedFieldInAnyCase) {
  EXPECT_TRUE(PathCarriesTargetId("\\\\?\\usb#VID_5D1A&PID_C03E&MI_00#6&5aaffc2&0&0000#{65e8}"));
  EXPECT_TRUE(PathCarriesTargetId("usb#6&5aaffc2#vid_5d1a&pid_c03e"));  // last field
  EXPECT_FALSE(PathCarriesTargetId("\\\\?\\usb#xvid_5d1a&pid_c03e&mi_00#6&5aaffc2"));
  EXPECT_FALSE(PathCarriesTargetId("\\\\?\\usb#vid_5d1a&pid_c03#6&5aaffc2"));  // 16 characters
  EXPECT_FALSE(PathCarriesTargetId("\\\\?\\usb#vid_0c45&pid_6a10&mi_00#vid_5d1a"));
  EXPECT_FALSE(PathCarriesTargetId(""));
}

TEST(NarrowPath, CopiesAsciiReplacesOthersAndAlwaysTerminates) {
  char narrow[8];
  NarrowPath(u"ab\u00e9#\u4e2d", narrow, sizeof(narrow));
  EXPECT_STREQ(narrow, "ab?#?");
  NarrowPath(u"0123456789", narrow, sizeof(narrow));
  EXPECT_STREQ(narrow, "0123456");
}

// Capture devices in a simulated world: every one carries an identifiable camera, so the
// listing reports them all in the order added.
class FindTargetDevicesTest : public ::testing::Test {
 protected:
  void AddCamera(const std::u16string& path) {
    sim::SimCaptureDeviceConfig device;
    device.devicePath = path;
    device.camera = std::make_shared<sim::SimCamera>(sim::SimCameraConfig{}, world_.clock());
    world_.AddCaptureDevice(std::move(device));
  }
  void SetUp() override {
    access::context = access::AccessContext{};
    transport::boundDevice = transport::BoundDevice{};
    InstallPorts(sim::WorldPorts(world_));
  }
  void TearDown() override {
    access::context = access::AccessContext{};
    transport::boundDevice = transport::BoundDevice{};
    InstallPorts(Ports{});
    TargetIndex = -1;
  }

  // The dialog's label needs a toolkit from its construction on.
  struct InstalledToolkit {
    explicit InstalledToolkit(Clock& clock) : backend(clock) { InstallDialogBackend(&backend); }
    ~InstalledToolkit() { InstallDialogBackend(nullptr); }
    HeadlessBackend backend;
  };

  sim::SimWorld world_;
  InstalledToolkit toolkit_{world_.clock()};
  CVelkorDlg dialog_;
};

TEST_F(FindTargetDevicesTest, FirstMatchingEntryWinsAndEveryEntryIsConverted) {
  AddCamera(u"\\\\?\\usb#vid_1111&pid_0001#a");
  AddCamera(u"\\\\?\\usb#VID_5D1A&PID_C03E&MI_00#b");
  AddCamera(u"\\\\?\\usb#vid_2222&pid_0002#c");
  AddCamera(u"\\\\?\\usb#vid_5d1a&pid_c03e&mi_00#d");

  FindTargetDevices(&dialog_);

  EXPECT_EQ(TargetIndex, 1);
  EXPECT_STREQ(dialog_.NarrowPathList[0], "\\\\?\\usb#vid_1111&pid_0001#a");
  EXPECT_STREQ(dialog_.NarrowPathList[3], "\\\\?\\usb#vid_5d1a&pid_c03e&mi_00#d");
  EXPECT_EQ(dialog_.NarrowPathList[4][0], '\0');
}

TEST_F(FindTargetDevicesTest, NoDeviceLeavesNoTargetAndEmptyLists) {
  TargetIndex = 3;
  dialog_.NarrowPathList[0][0] = 'x';

  FindTargetDevices(&dialog_);

  EXPECT_EQ(TargetIndex, -1);
  EXPECT_EQ(dialog_.NarrowPathList[0][0], '\0');
  EXPECT_EQ(dialog_.DevicePathList[0][0], u'\0');
}

// A device whose path reads back empty is listed as an empty entry: the scan ends there, and
// the camera listed after it is neither converted nor chosen.
TEST_F(FindTargetDevicesTest, EmptyEntryBeforeTheCounterEndsTheScan) {
  AddCamera(u"\\\\?\\usb#vid_1111&pid_0001#a");
  AddCamera(u"");
  AddCamera(u"\\\\?\\usb#vid_5d1a&pid_c03e&mi_00#c");

  FindTargetDevices(&dialog_);

  EXPECT_EQ(TargetIndex, -1);
  EXPECT_STREQ(dialog_.NarrowPathList[0], "\\\\?\\usb#vid_1111&pid_0001#a");
  EXPECT_EQ(dialog_.DevicePathList[2][0], u'\\');  // listed, but beyond the empty entry
  EXPECT_EQ(dialog_.NarrowPathList[2][0], '\0');
}

// A counter above the list's ten entries must not send the scan past the last one, into the
// narrow list and the members behind it.
TEST_F(FindTargetDevicesTest, CounterAboveTenScansOnlyTheTenEntries) {
  const HICON icon = reinterpret_cast<HICON>(std::uintptr_t{0x5A5A5A5A});
  for (int counter : {11, 12, 1000}) {
    for (int i = 0; i < kPathCount; ++i) {
      const std::u16string path = u"usb#vid_1111&pid_0001#" + std::u16string(1, u'a' + i);
      std::char_traits<char16_t>::copy(dialog_.DevicePathList[i], path.c_str(), path.size() + 1);
    }
    dialog_.WindowIcon = icon;

    ChooseTargetEntry(&dialog_, counter);

    EXPECT_EQ(TargetIndex, -1) << counter;
    EXPECT_STREQ(dialog_.NarrowPathList[kPathCount - 1], "usb#vid_1111&pid_0001#j") << counter;
    EXPECT_EQ(dialog_.WindowIcon, icon) << counter;
  }
}

}  // namespace
}  // namespace velkor::app
