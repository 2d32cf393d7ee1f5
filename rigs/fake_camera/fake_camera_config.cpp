// Parsing of the fake camera's configuration file.
#include "rigs/fake_camera/fake_camera_config.h"

#include <charconv>
#include <sstream>
#include <vector>

namespace velkor::fakecam {
namespace {

std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    line = line.substr(0, line.find('#'));
    std::istringstream in(line);
    std::string word;
    while (in >> word) {
      words.push_back(word);
    }
  }
  return words;
}

bool ParseBounded(const std::string& text, std::uint32_t* out) {
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, *out);
  return error == std::errc() && end == last && !text.empty() && *out <= 600000;
}

}  // namespace

FakeCameraConfigResult ParseFakeCameraConfig(const std::string& text) {
  FakeCameraConfigResult result;
  std::vector<std::string> simArgs;
  const std::vector<std::string> words = SplitWords(text);
  std::uint32_t eraseMs = 0;
  std::uint32_t statusWriteMs = 0;
  bool eraseGiven = false;
  bool statusWriteGiven = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::string name = words[i];
    std::string value;
    bool hasValue = false;
    if (const auto equals = name.find('='); equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
      hasValue = true;
    }
    const auto takeValue = [&]() {
      if (!hasValue && i + 1 < words.size()) {
        value = words[++i];
        hasValue = true;
      }
      return hasValue;
    };
    if (name == "--other-device-first") {
      result.config.otherDeviceFirst = true;
    } else if (name == "--erase-ms" || name == "--status-write-ms") {
      std::uint32_t* target = name == "--erase-ms" ? &eraseMs : &statusWriteMs;
      if (!takeValue() || !ParseBounded(value, target)) {
        result.error = name + ": expected milliseconds from 0 to 600000";
        return result;
      }
      (name == "--erase-ms" ? eraseGiven : statusWriteGiven) = true;
    } else if (name == "--pace-requests") {
      if (!takeValue() || !ParseBounded(value, &result.config.pauseEveryRequests)) {
        result.error = "--pace-requests: expected a request count from 0 to 600000";
        return result;
      }
    } else if (name == "--state-file") {
      if (!takeValue() || value.empty()) {
        result.error = "--state-file: missing path";
        return result;
      }
      result.config.stateFile = value;
    } else if (name == "--image" || name == "--fast" || name == "--diagnostics" ||
               name == "--help" || name == "-h") {
      result.error = name + " is an option of the simulator program, not of the fake camera";
      return result;
    } else {
      simArgs.push_back(words[i]);
    }
  }
  sim::SimOptionsResult sim = sim::ParseSimOptions(simArgs);
  if (!sim.ok) {
    result.error = sim.error;
    return result;
  }
  result.config.sim = sim.options;
  if (eraseGiven) {
    result.config.sim.camera.chipEraseMs = eraseMs;
  }
  if (statusWriteGiven) {
    result.config.sim.camera.statusWriteMs = statusWriteMs;
  }
  result.ok = true;
  return result;
}

}  // namespace velkor::fakecam
