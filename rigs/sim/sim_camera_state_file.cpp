// Writing and reading the camera state file.
#include "rigs/sim/sim_camera_state_file.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "cli/option_reader.h"

namespace velkor::sim {

namespace {

constexpr char kMagic[] = "velkor-sim-camera-state";
constexpr int kVersion = 1;
constexpr std::size_t kFlashBytesPerLine = 64;
constexpr std::size_t kFlashLines = SimFlash::kSize / kFlashBytesPerLine;

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

std::string HexBytes(const std::uint8_t* bytes, std::size_t count, bool spaced) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    if (spaced && i != 0) {
      text += ' ';
    }
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0xF];
  }
  return text;
}

// Decimal, or hexadecimal with 0x; the whole word, at most max.
bool ReadNumber(const std::string& word, std::uint64_t max, std::uint64_t* out) {
  const auto value = cli::ParseNumber(word);
  if (!value || *value > max) {
    return false;
  }
  *out = *value;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  return -1;
}

bool ReadHexRun(const std::string& text, std::vector<std::uint8_t>* out) {
  out->clear();
  std::string digits;
  for (char c : text) {
    if (c != ' ') {
      digits += c;
    }
  }
  if (digits.size() % 2 != 0) {
    return false;
  }
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    const int high = HexDigit(digits[i]);
    const int low = HexDigit(digits[i + 1]);
    if (high < 0 || low < 0) {
      return false;
    }
    out->push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  return true;
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream stream(line);
  return {std::istream_iterator<std::string>(stream), {}};
}

}  // namespace

std::string FormatCameraState(const SimCameraState& state) {
  std::string text = std::string(kMagic) + " " + std::to_string(kVersion) + "\n";
  text += "chip-row " + std::to_string(state.chipRow) + "\n";
  text += "flash-kind " + std::to_string(state.flashKind) + "\n";
  text += "status " + Hex(state.flash.status, 2) + "\n";
  text += "busy-ms " + std::to_string(state.flash.busyRemainingMs) + "\n";
  text += "flash-selected " + std::to_string(state.flash.selected ? 1 : 0) + "\n";
  text += "status-write-armed " + std::to_string(state.flash.statusWriteArmed ? 1 : 0) + "\n";
  text +=
      "session " + HexBytes(state.flash.session.data(), state.flash.session.size(), true) + "\n";
  text += "shift " + std::to_string(state.shiftActive ? 1 : 0) + " " + Hex(state.shiftControl, 2) +
          " " + Hex(state.shiftOut, 2) + " " + std::to_string(state.shiftPollsLeft) + " " +
          std::to_string(state.shiftReaches ? 1 : 0) + "\n";
  text += "latched " + Hex(state.latchedRegister, 4) + "\n";
  text += "flash-read " + Hex(state.flashReadPosition, 4) + " " +
          std::to_string(state.flashReadStep) + "\n";
  text += "memory-read " + Hex(state.memoryReadAddress, 4) + "\n";
  for (const auto& [address, value] : state.registers) {
    text += "register " + Hex(address, 4) + " " + Hex(value, 2) + "\n";
  }
  text += "flash\n";
  for (std::size_t line = 0; line < kFlashLines; ++line) {
    text +=
        HexBytes(state.flash.cells.data() + line * kFlashBytesPerLine, kFlashBytesPerLine, false) +
        "\n";
  }
  text += "end\n";
  return text;
}

bool ParseCameraState(const std::string& text, SimCameraState* out, std::string* error) {
  std::istringstream stream(text);
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& why) {
    *error = "line " + std::to_string(number) + ": " + why;
    return false;
  };
  if (!std::getline(stream, line)) {
    *error = "empty file, no camera state";
    return false;
  }
  ++number;
  const std::vector<std::string> head = Words(line);
  if (head.size() != 2 || head[0] != kMagic) {
    return fail(std::string("not a camera state file (expected \"") + kMagic + " " +
                std::to_string(kVersion) + "\")");
  }
  if (head[1] != std::to_string(kVersion)) {
    return fail("camera state version " + head[1] + ", this program reads version " +
                std::to_string(kVersion));
  }
  SimCameraState state;
  // Every key but "register" must come exactly once.
  const std::vector<std::string> required = {
      "chip-row",           "flash-kind", "shift",   "status",     "busy-ms",    "flash-selected",
      "status-write-armed", "session",    "latched", "flash-read", "memory-read"};
  std::vector<std::string> seen;
  bool flashDone = false;
  while (std::getline(stream, line)) {
    ++number;
    const std::vector<std::string> words = Words(line);
    if (words.empty()) {
      return fail("empty line");
    }
    const std::string& key = words[0];
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    auto args = [&](std::size_t n) { return words.size() == n + 1; };
    if (key == "register") {
      if (!args(2) || !ReadNumber(words[1], 0xFFFF, &a) || !ReadNumber(words[2], 0xFF, &b)) {
        return fail("expected \"register ADDRESS VALUE\"");
      }
      state.registers[static_cast<std::uint16_t>(a)] = static_cast<std::uint8_t>(b);
      continue;
    }
    if (key == "flash") {
      for (std::size_t row = 0; row < kFlashLines; ++row) {
        std::vector<std::uint8_t> bytes;
        ++number;
        if (!std::getline(stream, line) || !ReadHexRun(line, &bytes) ||
            bytes.size() != kFlashBytesPerLine) {
          return fail("expected 64 flash bytes in hex (65,536 bytes on 1,024 lines)");
        }
        std::copy(bytes.begin(), bytes.end(), state.flash.cells.begin() + row * kFlashBytesPerLine);
      }
      ++number;
      if (!std::getline(stream, line) || line != "end") {
        return fail("expected \"end\" after the flash");
      }
      flashDone = true;
      break;
    }
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) {
      return fail("\"" + key + "\" given twice");
    }
    seen.push_back(key);
    bool ok = true;
    if (key == "chip-row") {
      // -1: a chip that no row describes.
      ok = args(1) && (words[1] == "-1" || ReadNumber(words[1], 255, &a));
      state.chipRow = words.size() > 1 && words[1] == "-1" ? -1 : static_cast<int>(a);
    } else if (key == "flash-kind") {
      ok = args(1) && ReadNumber(words[1], 255, &a);
      state.flashKind = static_cast<int>(a);
    } else if (key == "status") {
      ok = args(1) && ReadNumber(words[1], 0xFF, &a);
      state.flash.status = static_cast<std::uint8_t>(a);
    } else if (key == "busy-ms") {
      ok = args(1) && ReadNumber(words[1], 86400000, &a);
      state.flash.busyRemainingMs = a;
    } else if (key == "flash-selected" || key == "status-write-armed") {
      ok = args(1) && ReadNumber(words[1], 1, &a);
      (key == "flash-selected" ? state.flash.selected : state.flash.statusWriteArmed) = a != 0;
    } else if (key == "session") {
      ok = ReadHexRun(line.substr(key.size()), &state.flash.session);
    } else if (key == "shift") {
      std::uint64_t c = 0;
      std::uint64_t d = 0;
      std::uint64_t e = 0;
      ok = args(5) && ReadNumber(words[1], 1, &a) && ReadNumber(words[2], 0xFF, &b) &&
           ReadNumber(words[3], 0xFF, &c) && ReadNumber(words[4], 0xFFFFFFFF, &d) &&
           ReadNumber(words[5], 1, &e);
      state.shiftActive = a != 0;
      state.shiftControl = static_cast<std::uint8_t>(b);
      state.shiftOut = static_cast<std::uint8_t>(c);
      state.shiftPollsLeft = static_cast<std::uint32_t>(d);
      state.shiftReaches = e != 0;
    } else if (key == "latched") {
      ok = args(1) && ReadNumber(words[1], 0xFFFF, &a);
      state.latchedRegister = static_cast<std::uint16_t>(a);
    } else if (key == "flash-read") {
      ok = args(2) && ReadNumber(words[1], 0xFFFF, &a) && ReadNumber(words[2], 0xFF, &b);
      state.flashReadPosition = static_cast<std::uint16_t>(a);
      state.flashReadStep = static_cast<std::uint8_t>(b);
    } else if (key == "memory-read") {
      ok = args(1) && ReadNumber(words[1], 0xFFFF, &a);
      state.memoryReadAddress = static_cast<std::uint16_t>(a);
    } else {
      return fail("unknown key \"" + key + "\"");
    }
    if (!ok) {
      return fail("bad value for \"" + key + "\": \"" + line + "\"");
    }
  }
  if (!flashDone) {
    *error = "the file ends before the flash content and \"end\" (cut short?)";
    return false;
  }
  for (const std::string& key : required) {
    if (std::find(seen.begin(), seen.end(), key) == seen.end()) {
      *error = "no \"" + key + "\" line";
      return false;
    }
  }
  *out = std::move(state);
  return true;
}

bool SaveCameraStateFile(const std::string& path, const SimCameraState& state, std::string* error) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << FormatCameraState(state);
    file.flush();
    if (!file) {
      *error = "cannot write " + temporary;
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    *error = "cannot replace " + path;
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

bool LoadCameraStateFile(const std::string& path, SimCameraState* state, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = "cannot open " + path;
    return false;
  }
  const std::string text{std::istreambuf_iterator<char>(file), {}};
  if (!ParseCameraState(text, state, error)) {
    *error = path + ": " + *error;
    return false;
  }
  return true;
}

}  // namespace velkor::sim
