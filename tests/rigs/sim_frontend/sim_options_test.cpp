// The simulator front end's option parsing: every option, both value forms, and bad input.
#include "rigs/sim_frontend/sim_options.h"

#include <gtest/gtest.h>

#include "resources/placeholder_image.h"

namespace velkor::sim {
namespace {

SimFrontendOptions ParseOk(const std::vector<std::string>& args) {
  const SimOptionsResult result = ParseSimOptions(args);
  EXPECT_TRUE(result.ok) << result.error;
  return result.options;
}

std::string ParseError(const std::vector<std::string>& args) {
  const SimOptionsResult result = ParseSimOptions(args);
  EXPECT_FALSE(result.ok);
  return result.error;
}

TEST(SimOptionsWithoutArguments, PlayAnAttachedProtectedRow18CameraWithoutFaults) {
  const SimFrontendOptions options = ParseOk({});
  EXPECT_EQ(options.camera.chipRow, 18);
  EXPECT_EQ(options.camera.version, 0);
  EXPECT_EQ(options.camera.wpPin, 3);
  EXPECT_TRUE(options.camera.wpInverted);
  EXPECT_EQ(options.camera.initialStatus, 0x8C);
  EXPECT_EQ(options.attachAtMs, 0u);
  EXPECT_EQ(options.faults.failRequestNumber, 0u);
  EXPECT_EQ(options.faults.failSelector, -1);
  EXPECT_EQ(options.faults.unplugAfterRequests, 0u);
  EXPECT_FALSE(options.camera.flashBusyNeverClears);
  EXPECT_FALSE(options.camera.transferDoneNeverSettles);
  EXPECT_EQ(options.camera.readBackFlipMask, 0u);
  // Every flash-interface byte takes a done poll, so that a host that does not wait shows.
  EXPECT_EQ(options.camera.transferBusyPolls, 1u);
  EXPECT_EQ(options.camera.probeBitsKept, 0x70);
  EXPECT_EQ(options.probeResult, hr::kOk);
  EXPECT_TRUE(options.imagePath.empty());
  EXPECT_FALSE(options.diagnostics || options.fast || options.help);
}

TEST(SimOptionsWithoutArguments, StartFromAnOlderFirmwareThatDiffersFromTheImageEverywhere) {
  // A flash that already held the image, or erased bytes, would hide a skipped erase or write.
  const SimFrontendOptions options = ParseOk({});
  const auto image = MakePlaceholderImage();
  ASSERT_EQ(options.camera.initialFlash.size(), image.size());
  std::size_t equal = 0;
  for (std::size_t i = 0; i < image.size(); ++i) {
    equal += options.camera.initialFlash[i] == image[i];
    ASSERT_NE(options.camera.initialFlash[i], 0xFF) << "offset " << i;
  }
  EXPECT_LT(equal, image.size() / 64);
}

TEST(SimOptionsCamera, ChipWiringAndFlashKindAreTaken) {
  SimFrontendOptions options = ParseOk({"--chip-row", "13", "--chip-version=2", "--flash-kind",
                                        "0x07", "--wp-pin", "5", "--wp-wiring", "direct"});
  EXPECT_EQ(options.camera.chipRow, 13);
  EXPECT_EQ(options.camera.version, 2);
  EXPECT_EQ(options.camera.flashKind, 7);
  EXPECT_EQ(options.camera.wpPin, 5);
  EXPECT_FALSE(options.camera.wpInverted);

  EXPECT_EQ(ParseOk({"--chip-row", "none"}).camera.chipRow, -1);
  EXPECT_EQ(ParseOk({"--chip-row", "0"}).camera.chipRow, 0);
  EXPECT_TRUE(ParseOk({"--wp-wiring=inverted"}).camera.wpInverted);

  options = ParseOk({"--busy-polls", "0", "--probe-bits", "0x50", "--probe-result", "1"});
  EXPECT_EQ(options.camera.transferBusyPolls, 0u);
  EXPECT_EQ(options.camera.probeBitsKept, 0x50);
  EXPECT_EQ(options.probeResult, hr::kFalse);
}

TEST(SimOptionsAttach, TickNAppearsHalfASecondBeforeThatTick) {
  EXPECT_EQ(ParseOk({"--attach", "start"}).attachAtMs, 0u);
  EXPECT_EQ(ParseOk({"--attach", "never"}).attachAtMs, kNeverAttached);
  EXPECT_EQ(ParseOk({"--attach", "1"}).attachAtMs, 500u);
  EXPECT_EQ(ParseOk({"--attach=6"}).attachAtMs, 5500u);
  EXPECT_EQ(ParseOk({"--attach", "7"}).attachAtMs, 6500u);
}

TEST(SimOptionsFaults, RequestFaultsAreTaken) {
  SimFrontendOptions options = ParseOk({"--fail-request", "40", "--fail-result", "1"});
  EXPECT_EQ(options.faults.failRequestNumber, 40u);
  EXPECT_EQ(options.faults.failResult, hr::kFalse);

  options = ParseOk({"--fail-selector", "3", "--fail-result", "0x8007048F"});
  EXPECT_EQ(options.faults.failSelector, 3);
  EXPECT_EQ(options.faults.failResult, hr::kDeviceNotConnected);

  // Without --fail-result a failing request answers a plain failure.
  EXPECT_EQ(ParseOk({"--fail-selector", "0"}).faults.failResult, hr::kFail);
  EXPECT_EQ(ParseOk({"--unplug-after", "1000"}).faults.unplugAfterRequests, 1000u);
  EXPECT_EQ(ParseOk({"--fail-writes-from", "6000"}).camera.programFailsFrom, 6000u);
  EXPECT_EQ(ParseOk({}).camera.programFailsFrom, 0u);
}

TEST(SimOptionsFaults, CameraFaultsAreTaken) {
  SimFrontendOptions options = ParseOk({"--corrupt-readback", "all"});
  EXPECT_NE(options.camera.readBackFlipMask, 0u);
  EXPECT_EQ(options.camera.readBackFlipOffset, -1);

  options = ParseOk({"--corrupt-readback", "last"});
  EXPECT_NE(options.camera.readBackFlipMask, 0u);
  EXPECT_EQ(options.camera.readBackFlipOffset, 65535);

  options = ParseOk({"--busy-forever", "--done-never", "--memory-read-count", "9"});
  EXPECT_TRUE(options.camera.flashBusyNeverClears);
  EXPECT_TRUE(options.camera.transferDoneNeverSettles);
  EXPECT_EQ(options.camera.memoryReadCount, 9);
}

TEST(SimOptionsRun, ImageDiagnosticsFastAndHelpAreTaken) {
  const SimFrontendOptions options = ParseOk({"--image", "other.bin", "--diagnostics", "--fast"});
  EXPECT_EQ(options.imagePath, "other.bin");
  EXPECT_TRUE(options.diagnostics);
  EXPECT_TRUE(options.fast);
  EXPECT_TRUE(ParseOk({"--help"}).help);
  EXPECT_TRUE(ParseOk({"-h"}).help);
}

TEST(SimOptionsErrors, EachBadInputIsRefusedWithAMessageNamingTheOption) {
  struct Case {
    std::vector<std::string> args;
    std::string mentions;
  };
  const Case cases[] = {
      {{"--frobnicate"}, "--frobnicate"},
      {{"update"}, "update"},
      {{"--chip-row"}, "--chip-row: missing value"},
      {{"--chip-row", "19"}, "--chip-row"},
      {{"--chip-row", "-1"}, "--chip-row"},
      {{"--chip-row", "4x"}, "--chip-row"},
      {{"--chip-version", "0"}, "--chip-version"},
      {{"--chip-version", "256"}, "--chip-version"},
      {{"--flash-kind", "0x100"}, "--flash-kind"},
      {{"--wp-pin", "8"}, "--wp-pin"},
      {{"--wp-wiring", "sideways"}, "--wp-wiring"},
      {{"--attach", "0"}, "--attach"},
      {{"--attach", "soon"}, "--attach"},
      {{"--fail-request", "0"}, "--fail-request"},
      {{"--fail-selector", "6"}, "--fail-selector"},
      {{"--fail-selector", "3", "--fail-result", "0"}, "--fail-result"},
      {{"--fail-result", "1"}, "--fail-result needs"},
      {{"--fail-writes-from", "0"}, "--fail-writes-from"},
      {{"--unplug-after", ""}, "--unplug-after"},
      {{"--corrupt-readback", "some"}, "--corrupt-readback"},
      {{"--memory-read-count", "300"}, "--memory-read-count"},
      {{"--busy-polls", "1001"}, "--busy-polls"},
      {{"--probe-bits", "0x80"}, "--probe-bits"},
      {{"--probe-bits", "0x71"}, "--probe-bits"},
      {{"--probe-result", "0x80004005"}, "--probe-result"},
      {{"--image", ""}, "--image"},
      {{"--busy-forever=yes"}, "--busy-forever takes no value"},
      {{"--chip-row=", "3"}, "--chip-row"},
  };
  for (const Case& c : cases) {
    const std::string error = ParseError(c.args);
    EXPECT_NE(error.find(c.mentions), std::string::npos)
        << "args[0] " << c.args[0] << " gave: " << error;
  }
}

TEST(SimOptionsUsageText, ListsEveryOption) {
  const std::string usage = SimOptionsUsage("velkor-update-sim");
  for (const char* option : {"--chip-row",          "--chip-version",
                             "--flash-kind",        "--wp-pin",
                             "--wp-wiring",         "--attach",
                             "--fail-request",      "--fail-selector",
                             "--fail-result",       "--fail-writes-from",
                             "--unplug-after",      "--corrupt-readback",
                             "--memory-read-count", "--busy-forever",
                             "--done-never",        "--image",
                             "--busy-polls",        "--probe-bits",
                             "--probe-result",      "--fast",
                             "--diagnostics",       "--help"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
}

}  // namespace
}  // namespace velkor::sim
