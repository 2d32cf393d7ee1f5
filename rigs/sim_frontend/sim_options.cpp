// Parsing of the simulator front end's options into a SimFrontendOptions.
#include "rigs/sim_frontend/sim_options.h"

#include "cli/option_reader.h"
#include "resources/placeholder_image.h"

namespace velkor::sim {
namespace {

// Seed of the "older firmware" that the simulated flash holds before the update; it carries the
// same configuration block as the image, since that block describes the board.
constexpr std::uint32_t kOldFirmwareSeed = 0x52303530;  // "R050"
constexpr int kChipRowCount = 19;
constexpr std::uint32_t kMaxEraseMs = 120000;

using cli::ParseNumber;
using cli::ReadRanged;
using OptionRule = cli::OptionRule<SimFrontendOptions>;

const std::vector<OptionRule>& OptionTable() {
  static const std::vector<OptionRule> specs = {
      {"-h|--help", false,
       [](SimFrontendOptions& o, const std::string&) {
         o.help = true;
         return std::string();
       }},
      {"--chip-row", true,
       [](SimFrontendOptions& o, const std::string& v) {
         if (v == "none") {
           o.camera.chipRow = -1;
           return std::string();
         }
         std::uint64_t row = 0;
         auto error = ReadRanged("--chip-row", v, 0, kChipRowCount - 1, &row);
         if (!error.empty()) {
           return error + " (or \"none\")";
         }
         o.camera.chipRow = static_cast<int>(row);
         return std::string();
       }},
      {"--chip-version", true,
       [](SimFrontendOptions& o, const std::string& v) {
         std::uint64_t version = 0;
         auto error = ReadRanged("--chip-version", v, 1, 255, &version);
         o.camera.version = static_cast<std::uint8_t>(version);
         return error;
       }},
      {"--flash-kind", true,
       [](SimFrontendOptions& o, const std::string& v) {
         std::uint64_t kind = 0;
         auto error = ReadRanged("--flash-kind", v, 0, 255, &kind);
         o.camera.flashKind = static_cast<int>(kind);
         return error;
       }},
      {"--wp-pin", true,
       [](SimFrontendOptions& o, const std::string& v) {
         std::uint64_t pin = 0;
         auto error = ReadRanged("--wp-pin", v, 0, 7, &pin);
         o.camera.wpPin = static_cast<int>(pin);
         return error;
       }},
      {"--wp-wiring", true,
       [](SimFrontendOptions& o, const std::string& v) {
         if (v != "inverted" && v != "direct") {
           return "--wp-wiring: expected \"inverted\" or \"direct\", got \"" + v + "\"";
         }
         o.camera.wpInverted = v == "inverted";
         return std::string();
       }},
      {"--busy-polls", true,
       [](SimFrontendOptions& o, const std::string& v) {
         std::uint64_t polls = 0;
         auto error = ReadRanged("--busy-polls", v, 0, 1000, &polls);
         o.camera.transferBusyPolls = static_cast<std::uint32_t>(polls);
         return error;
       }},
      {"--probe-bits", true,
       [](SimFrontendOptions& o, const std::string& v) {
         const auto mask = ParseNumber(v);
         if (!mask || (*mask & ~std::uint64_t{0x70}) != 0) {
           return "--probe-bits: expected a mask within 0x70 (bits 4 to 6), got \"" + v + "\"";
         }
         o.camera.probeBitsKept = static_cast<std::uint8_t>(*mask);
         return std::string();
       }},
      {"--probe-result", true,
       [](SimFrontendOptions& o, const std::string& v) {
         std::uint64_t code = 0;
         auto error = ReadRanged("--probe-result", v, 0, 0x7FFFFFFF, &code);
         o.probeResult = static_cast<HResult>(code);
         return error;
       }},
      {"--attach", true,
       [](SimFrontendOptions& o, const std::string& v) {
         if (v == "start") {
           o.attachAtMs = 0;
           return std::string();
         }
         if (v == "never") {
           o.attachAtMs = kNeverAttached;
           return std::string();
         }
         std::uint64_t tick = 0;
         auto error = ReadRanged("--attach", v, 1, 1000000, &tick);
         if (!error.empty()) {
           return error + " (or \"start\" or \"never\")";
         }
         o.attachAtMs = AttachTimeForTick(static_cast<std::uint32_t>(tick));
         return std::string();
       }},
      {"--fail-request", true,
       [](SimFrontendOptions& o, const std::string& v) {
         std::uint64_t n = 0;
         auto error = ReadRanged("--fail-request", v, 1, UINT32_MAX, &n);
         o.faults.failRequestNumber = static_cast<std::uint32_t>(n);
         return error;
       }},
      {"--fail-selector", true,
       [](SimFrontendOptions& o, const std::string& v) {
         std::uint64_t selector = 0;
         auto error = ReadRanged("--fail-selector", v, 0, 5, &selector);
         o.faults.failSelector = static_cast<int>(selector);
         return error;
       }},
      {"--fail-writes-from", true,
       [](SimFrontendOptions& o, const std::string& v) {
         std::uint64_t n = 0;
         auto error = ReadRanged("--fail-writes-from", v, 1, UINT32_MAX, &n);
         o.camera.programFailsFrom = static_cast<std::uint32_t>(n);
         return error;
       }},
      {"--fail-result", true,
       [](SimFrontendOptions& o, const std::string& v) {
         std::uint64_t code = 0;
         auto error = ReadRanged("--fail-result", v, 1, UINT32_MAX, &code);
         if (!error.empty()) {
           return error + " (0, S_OK, would be no fault)";
         }
         o.faults.failResult = static_cast<HResult>(static_cast<std::uint32_t>(code));
         return std::string();
       }},
      {"--unplug-after", true,
       [](SimFrontendOptions& o, const std::string& v) {
         std::uint64_t n = 0;
         auto error = ReadRanged("--unplug-after", v, 1, UINT32_MAX, &n);
         o.faults.unplugAfterRequests = static_cast<std::uint32_t>(n);
         return error;
       }},
      {"--corrupt-readback", true,
       [](SimFrontendOptions& o, const std::string& v) {
         if (v == "all") {
           o.camera.readBackFlipMask = 0x01;
           o.camera.readBackFlipOffset = -1;
         } else if (v == "last") {
           o.camera.readBackFlipMask = 0x01;
           o.camera.readBackFlipOffset = static_cast<std::int32_t>(kPlaceholderImageSize - 1);
         } else {
           return "--corrupt-readback: expected \"all\" or \"last\", got \"" + v + "\"";
         }
         return std::string();
       }},
      {"--memory-read-count", true,
       [](SimFrontendOptions& o, const std::string& v) {
         std::uint64_t count = 0;
         auto error = ReadRanged("--memory-read-count", v, 0, 255, &count);
         o.camera.memoryReadCount = static_cast<std::uint8_t>(count);
         return error;
       }},
      {"--busy-forever", false,
       [](SimFrontendOptions& o, const std::string&) {
         o.camera.flashBusyNeverClears = true;
         return std::string();
       }},
      {"--done-never", false,
       [](SimFrontendOptions& o, const std::string&) {
         o.camera.transferDoneNeverSettles = true;
         return std::string();
       }},
      {"--image", true,
       [](SimFrontendOptions& o, const std::string& v) {
         if (v.empty()) {
           return std::string("--image: expected a file name");
         }
         o.imagePath = v;
         return std::string();
       }},
      {"--camera-state", true,
       [](SimFrontendOptions& o, const std::string& v) {
         if (v.empty()) {
           return std::string("--camera-state: expected a file name");
         }
         o.cameraStatePath = v;
         return std::string();
       }},
      {"--replugged", false,
       [](SimFrontendOptions& o, const std::string&) {
         o.replugged = true;
         return std::string();
       }},
      {"--diagnostics", false,
       [](SimFrontendOptions& o, const std::string&) {
         o.diagnostics = true;
         return std::string();
       }},
      {"--erase-ms", true,
       [](SimFrontendOptions& o, const std::string& v) {
         return ReadRanged("--erase-ms", v, 0, kMaxEraseMs, &o.camera.chipEraseMs);
       }},
      {"--request-latency-us", true,
       [](SimFrontendOptions& o, const std::string& v) {
         return ReadRanged("--request-latency-us", v, 0, kMaxLatencyUs, &o.requestLatencyUs);
       }},
      {"--fast", false,
       [](SimFrontendOptions& o, const std::string&) {
         o.fast = true;
         return std::string();
       }},
  };
  return specs;
}

}  // namespace

SimFrontendOptions DefaultSimFrontendOptions() {
  SimFrontendOptions options;
  options.camera.initialFlash = MakeFillerBytes(kOldFirmwareSeed, kPlaceholderImageSize);
  ApplyConfigurationBlock(options.camera.initialFlash);
  options.camera.transferBusyPolls = 1;
  return options;
}

SimOptionsResult ParseSimOptions(const std::vector<std::string>& args) {
  SimOptionsResult result;
  result.options = DefaultSimFrontendOptions();
  const cli::ReadResult read = cli::ReadOptions(args, OptionTable(), result.options);
  if (!read.ok()) {
    result.error = read.error;
    return result;
  }
  const bool failureChosen = read.Gave("--fail-request") || read.Gave("--fail-selector");
  const bool failResultGiven = read.Gave("--fail-result");
  if (result.options.replugged && result.options.cameraStatePath.empty()) {
    result.error = "--replugged needs --camera-state";
    return result;
  }
  if (failResultGiven && !failureChosen) {
    result.error = "--fail-result needs --fail-request or --fail-selector";
    return result;
  }
  result.ok = true;
  return result;
}

std::string SimOptionsUsage(const std::string& program) {
  return "Usage: " + program +
         " [options]\n"
         "\n"
         "Runs the firmware updater against a simulated camera, with the updater's own timings,\n"
         "and leaves the verdict in ./Result.log. Without options the camera is write-protected,\n"
         "attached from the start, and the run ends with \"Pass\".\n"
         "\n"
         "Camera:\n"
         "  --chip-row N           controller chip of table row N, 0..18, or \"none\" for a chip\n"
         "                         that no row describes (default 18)\n"
         "  --chip-version V       version byte of the chip's record, 1..255 (default: the row's)\n"
         "  --flash-kind K         value of the chip's flash-kind register, 0..255\n"
         "  --wp-pin N             controller pin 0..7 wired to the flash's WP# input (default 3)\n"
         "  --wp-wiring W          \"inverted\" (default: WP# is the inverse of the pin) or\n"
         "                         \"direct\" (WP# follows the pin)\n"
         "  --busy-polls N         polls of the flash interface's done flag that read 0 after\n"
         "                         each byte, 0..1000 (default 1)\n"
         "  --probe-bits MASK      which of bits 4 to 6 (mask 0x70) the row-15 probe register\n"
         "                         keeps; fewer than all three make it the other build\n"
         "  --probe-result CODE    success code of the extension unit's node probe, e.g. 1\n"
         "                         (S_FALSE; default 0, S_OK)\n"
         "  --erase-ms N           the flash's chip-erase time in ms, 0..120000\n"
         "  --attach WHEN          \"start\" (default), \"never\", or N: the camera appears just\n"
         "                         before poll tick N (the poll gives up after tick 6)\n"
         "\n"
         "Faults:\n"
         "  --fail-request N       the N-th extension-unit request fails (1 = the first)\n"
         "  --fail-selector S      every request on selector S (0..5) fails\n"
         "  --fail-result CODE     what the failing request answers, e.g. 0x80004005 (default)\n"
         "                         or 1 (a success code other than S_OK)\n"
         "  --unplug-after N       the camera is unplugged after N requests\n"
         "  --fail-writes-from N   from the N-th request on, every flash program request\n"
         "                         fails (reads and register access go on working)\n"
         "  --corrupt-readback R   flash reads return a flipped bit in \"all\" bytes or only in\n"
         "                         the \"last\" byte of the flash\n"
         "  --memory-read-count N  the count byte of controller-memory replies (default 8)\n"
         "  --busy-forever         the flash's busy flag never clears (half a minute of waits)\n"
         "  --done-never           the flash interface's done flag never settles (each wait\n"
         "                         gives up after a second: about half a minute of waits)\n"
         "\n"
         "Run:\n"
         "  --camera-state FILE    the camera starts as FILE describes it (flash, status\n"
         "                         register, controller registers), when FILE exists, and its\n"
         "                         state is saved to FILE when the run ends\n"
         "  --replugged            with --camera-state: the camera was unplugged and plugged in\n"
         "                         again since: registers at power-on, a busy flash finished\n"
         "  --image FILE           write this 65,536-byte image instead of the embedded one\n"
         "  --request-latency-us N every extension-unit request takes N microseconds of real\n"
         "                         time, 0..1000000 (with --erase-ms, to aim at the flash window)\n"
         "  --fast                 the updater's sleeps pass on the simulated clock only\n"
         "  --diagnostics          print the transport's failure texts to stderr\n"
         "  -h, --help             show this text\n"
         "\n"
         "Options take their value as \"--name value\" or \"--name=value\". Exit code: 0 after a\n"
         "run (read the verdict in Result.log), 2 for bad options.\n";
}

}  // namespace velkor::sim
