// Reading velkor-tool-sim's words before the subcommand into the cameras it presents.
#include "rigs/sim_frontend/tool_sim_arguments.h"

#include <map>

#include "cli/option_reader.h"
#include "rigs/sim_frontend/sim_world_builder.h"

namespace velkor::sim {
namespace {

// This program's own options that belong to one camera's run.
struct CameraWords {
  std::uint32_t latencyUs = 0;
  std::string flashFile;
};

const std::vector<cli::OptionRule<CameraWords>>& CameraRules() {
  static const std::vector<cli::OptionRule<CameraWords>> rules = {
      {"--request-latency-us", true,
       [](CameraWords& out, const std::string& v) {
         return cli::ReadRanged("--request-latency-us", v, 0, kMaxLatencyUs, &out.latencyUs);
       }},
      cli::Text("--flash-file", &CameraWords::flashFile),
  };
  return rules;
}

// One camera from its words: this program's options first taken out, the rest the simulator's.
std::string ReadCamera(const std::vector<std::string>& words, ToolSimCamera* camera) {
  CameraWords own;
  cli::TableRules<CameraWords> rules(CameraRules(), own);
  std::vector<std::string> simWords;
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::string error;
    const cli::Took took = cli::TakeOption(words, &i, rules, &error);
    if (took == cli::Took::kRefused) {
      return error;
    }
    if (took == cli::Took::kNoRule) {
      simWords.push_back(words[i]);
    }
  }
  SimOptionsResult parsed = ParseSimOptions(simWords);
  if (!parsed.ok) {
    return parsed.error;
  }
  if (!own.flashFile.empty() && !parsed.options.cameraStatePath.empty()) {
    return "--flash-file and --camera-state: give one (the state holds the flash)";
  }
  camera->options = std::move(parsed.options);
  camera->latencyUs = own.latencyUs;
  camera->flashFile = own.flashFile;
  return {};
}

std::string OptionName(const std::string& word) {
  return word.substr(0, word.find('='));
}

// Options of the whole run, which one camera cannot have on its own.
bool RunWide(const std::string& name) {
  for (const char* wide : {"-h", "--help", "--fast", "--diagnostics", "--image", "--cameras",
                           "--on-camera", "--camera-number"}) {
    if (name == wide) {
      return true;
    }
  }
  return false;
}

std::vector<std::string> SplitOnWhitespace(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text + ' ') {
    if (c == ' ' || c == '\t' || c == '\n') {
      if (!word.empty()) {
        words.push_back(word);
      }
      word.clear();
    } else {
      word.push_back(c);
    }
  }
  return words;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return text;
}

std::string Narrow(const std::u16string& wide) {
  std::string narrow;
  for (char16_t c : wide) {
    narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  }
  return narrow;
}

// The state of the reading while the words before the subcommand go by.
struct Reading {
  int count = 1;
  int childNumber = 0;
  std::map<int, std::vector<std::string>> ownWords;
  std::vector<int> onCameraOrder;
};

// Reads "--name N" or "--name=N" at words[*i] as a number within 1..kMaxSimCameras.
std::string ReadCount(const std::vector<std::string>& words, std::size_t* i, int* out) {
  const std::string& word = words[*i];
  const std::string name = OptionName(word);
  std::string value;
  if (word.size() > name.size()) {
    value = word.substr(name.size() + 1);
  } else if (*i + 1 < words.size()) {
    value = words[++*i];
  } else {
    return name + ": expected a value";
  }
  return cli::ReadRanged(name, value, 1, kMaxSimCameras, out);
}

std::string ReadOnCamera(const std::vector<std::string>& words, std::size_t* i,
                         const ToolWords& tool, Reading* reading) {
  int number = 0;
  if (std::string error = ReadCount(words, i, &number); !error.empty()) {
    return error;
  }
  if (*i + 1 >= words.size()) {
    return "--on-camera " + std::to_string(number) + ": expected the camera's options";
  }
  const std::string prefix = "--on-camera " + std::to_string(number) + ": ";
  for (const std::string& word : SplitOnWhitespace(words[++*i])) {
    if (RunWide(OptionName(word)) || tool.optionArity(word) >= 0) {
      return prefix + OptionName(word) + " applies to the whole run; give it before the command";
    }
    if (tool.isCommand(word)) {
      return prefix + "\"" + word + "\" is a command, not a simulator option";
    }
    reading->ownWords[number].push_back(word);
  }
  reading->onCameraOrder.push_back(number);
  return {};
}

}  // namespace

ToolSimArguments ReadToolSimArguments(const std::vector<std::string>& args, const ToolWords& tool) {
  ToolSimArguments out;
  Reading reading;
  std::size_t i = 0;
  for (; i < args.size() && !tool.isCommand(args[i]); ++i) {
    const std::string name = OptionName(args[i]);
    std::string error;
    if (name == "--cameras") {
      error = ReadCount(args, &i, &reading.count);
    } else if (name == "--camera-number") {
      error = ReadCount(args, &i, &reading.childNumber);
    } else if (name == "--on-camera") {
      error = ReadOnCamera(args, &i, tool, &reading);
    } else if (const int arity = tool.optionArity(args[i]); arity >= 0) {
      out.tool.push_back(args[i]);
      if (arity == 1 && i + 1 < args.size()) {
        out.tool.push_back(args[++i]);
      }
    } else {
      out.common.push_back(args[i]);
    }
    if (!error.empty()) {
      out.error = error;
      return out;
    }
  }
  out.tool.insert(out.tool.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());

  const int highest =
      reading.childNumber != 0 && reading.count == 1 ? kMaxSimCameras : reading.count;
  for (int number : reading.onCameraOrder) {
    if (number > highest) {
      out.error = "--on-camera " + std::to_string(number) + ": there are " +
                  std::to_string(reading.count) + " cameras (--cameras N)";
      return out;
    }
  }
  if (reading.childNumber > highest) {
    out.error = "--camera-number " + std::to_string(reading.childNumber) + ": there are " +
                std::to_string(reading.count) + " cameras";
    return out;
  }

  ToolSimCamera shared;
  if (std::string error = ReadCamera(out.common, &shared); !error.empty()) {
    out.error = error;
    return out;
  }
  if (reading.count > 1 && reading.childNumber == 0 &&
      (!shared.flashFile.empty() || !shared.options.cameraStatePath.empty())) {
    out.error = std::string(shared.flashFile.empty() ? "--camera-state" : "--flash-file") +
                " with --cameras " + std::to_string(reading.count) +
                ": give each camera its own through --on-camera";
    return out;
  }

  out.child = reading.childNumber != 0;
  const int first = out.child ? reading.childNumber : 1;
  const int last = out.child ? reading.childNumber : reading.count;
  for (int number = first; number <= last; ++number) {
    ToolSimCamera camera = shared;
    camera.number = number;
    camera.path = SimCameraPath(number);
    camera.ownWords = reading.ownWords[number];
    if (!camera.ownWords.empty()) {
      std::vector<std::string> words = out.common;
      words.insert(words.end(), camera.ownWords.begin(), camera.ownWords.end());
      if (std::string error = ReadCamera(words, &camera); !error.empty()) {
        out.error = "--on-camera " + std::to_string(number) + ": " + error;
        return out;
      }
    }
    if (out.child) {
      // The station starts a camera's run once it has seen the camera: there it is.
      camera.options.attachAtMs = 0;
    }
    out.cameras.push_back(std::move(camera));
  }
  return out;
}

std::vector<std::string> ChildCommandLine(const ToolSimArguments& arguments,
                                          const std::string& program, const std::string& port) {
  for (const ToolSimCamera& camera : arguments.cameras) {
    if (Lower(Narrow(camera.path)) != Lower(port)) {
      continue;
    }
    std::vector<std::string> line = {program};
    line.insert(line.end(), arguments.common.begin(), arguments.common.end());
    line.insert(line.end(), camera.ownWords.begin(), camera.ownWords.end());
    line.push_back("--camera-number");
    line.push_back(std::to_string(camera.number));
    return line;
  }
  return {};
}

}  // namespace velkor::sim
