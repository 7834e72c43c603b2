#include "core/command_line.h"

#include <algorithm>
#include <cctype>

namespace kivo::probe {

namespace {

const Option kRegisterGraph = {"--register-graph", ValueKind::Flag, nullptr, nullptr,
                               "register the graph for outside graph inspection tools"};

std::vector<Command> buildCommands() {
  std::vector<Command> all;
  all.push_back({"devices", "", 0, 0, "list the video capture devices",
                 "Lists every video capture device with its index, friendly name, device path\n"
                 "and whether it is a Video for Windows device."});
  all.push_back({"formats", "DEVICE", 1, 1, "list a device's formats and frame rates",
                 "Lists the formats of DEVICE: full name, size range, subtype, colour-space\n"
                 "category, compressed or not, and the frame rates of each format."});
  all.push_back({"properties", "DEVICE", 1, 1, "list a device's properties",
                 "Lists every property of DEVICE with its kind (range, enumerated, mode), its\n"
                 "range or named values, default, current value and whether it can be set."});
  all.push_back({"set", "DEVICE NAME=VALUE...", 2, -1, "set device properties",
                 "Sets properties of DEVICE. A VALUE is a number or one of the property's\n"
                 "named values, for example:  set 0 ExposureMode=manual Exposure=-5\n"
                 "Each property is read back and printed after it is written."});
  all.push_back({"inputs", "DEVICE", 1, 1, "list a device's connector inputs",
                 "Lists the connector inputs (composite, svideo, tuner...) of DEVICE and the\n"
                 "one that is selected."});
  all.push_back(
      {"capture",
       "DEVICE",
       1,
       1,
       "capture frames from a device",
       "Captures frames from DEVICE and shows the progress on one line (frames,\n"
       "measured rate, elapsed time). Without --frames or --seconds it captures for\n"
       "5 seconds. With --out every frame is written as a 24-bit BMP file.",
       {{"--format", ValueKind::Text, "NAME", nullptr,
         "format by its full name, as `formats` lists it (YUY2_640x480)"},
        {"--rate", ValueKind::PositiveNumber, "FPS", nullptr,
         "frame rate, one of those `formats` lists for the format"},
        {"--input", ValueKind::Text, "NAME", nullptr, "connector input, as `inputs` lists it"},
        {"--frames", ValueKind::PositiveInteger, "N", nullptr, "stop after N frames"},
        {"--seconds", ValueKind::PositiveNumber, "S", nullptr, "stop after S seconds"},
        {"--out", ValueKind::Text, "DIR", nullptr, "write the frames as BMP files into DIR"},
        kRegisterGraph},
       {{"--frames", "--seconds"}}});
  all.push_back(
      {"file",
       "PATH",
       1,
       1,
       "read the frames and audio of a media file",
       "Opens the media file PATH, prints the connected formats, the durations in\n"
       "every unit the platform supports and the position, then reads it with\n"
       "progress. With --out the frames are written as BMP files and the audio\n"
       "(with --audio) as a WAV file. A file without a video stream is read for\n"
       "its audio.",
       {{"--video", ValueKind::Choice, "FORMAT", "rgb24|yuy2|native|none",
         "frame format asked of the decoder (default rgb24); none: audio only"},
        {"--audio", ValueKind::Flag, nullptr, nullptr, "read the audio stream too, as PCM"},
        {"--seek", ValueKind::NonNegativeNumber, "SECONDS", nullptr, "start at this time"},
        {"--seek-frame", ValueKind::NonNegativeInteger, "N", nullptr, "start at this frame"},
        {"--frames", ValueKind::PositiveInteger, "N", nullptr, "stop after N frames"},
        {"--out", ValueKind::Text, "DIR", nullptr, "write frames (BMP) and audio (WAV) into DIR"},
        kRegisterGraph},
       {{"--seek", "--seek-frame"}}});
  all.push_back({"dxversion", "", 0, 0, "print the installed DirectX version",
                 "Prints the DirectX version found from the system files, as text and packed."});
  all.push_back({"help", "[COMMAND]", 0, 1, "show the help of kivo-probe or of a command",
                 "Shows the overview of the commands, or the help of COMMAND."});
  return all;
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The left column of a help line: `text` padded to `width`, or followed by
// two spaces when it is as wide or wider.
std::string padded(std::string text, size_t width) {
  if (text.size() < width) {
    text.resize(width, ' ');
  } else {
    text += "  ";
  }
  return text;
}

const Command* commandNamed(const std::string& name, std::string* error) {
  if (!name.empty() && name[0] == '-') {
    *error = "unknown option \"" + name + "\" (a command comes first; try --help)";
    return nullptr;
  }
  const Command* command = findCommand(name);
  if (!command) *error = "unknown command \"" + name + "\" (try --help)";
  return command;
}

// "help COMMAND" asks for the help of COMMAND, "help" alone for the overview.
bool resolveHelpCommand(Invocation* invocation, std::string* error) {
  invocation->help = true;
  invocation->command.clear();
  if (invocation->arguments.empty()) return true;
  const Command* about = findCommand(invocation->arguments[0]);
  if (!about) {
    *error = "help: unknown command \"" + invocation->arguments[0] + "\"";
    return false;
  }
  invocation->command = about->name;
  invocation->arguments.clear();
  return true;
}

bool checkArgumentCount(const Command& command, const Invocation& invocation, std::string* error) {
  const int count = static_cast<int>(invocation.arguments.size());
  const std::string usage =
      std::string("usage: kivo-probe ") + command.name + " " + command.arguments;
  if (count < command.minArguments) {
    *error = std::string(command.name) + ": missing argument; " + usage;
  } else if (command.maxArguments >= 0 && count > command.maxArguments) {
    *error = std::string(command.name) + ": " +
             (command.maxArguments == 0
                  ? "takes no argument, \"" + invocation.arguments[0] + "\" is one too many"
                  : "too many arguments; " + usage);
  } else {
    return true;
  }
  return false;
}

// The combinations of options and arguments a command refuses.
bool checkCombinations(const Command& command, const Invocation& invocation, std::string* error) {
  for (const auto& pair : command.exclusive) {
    if (invocation.has(pair.first) && invocation.has(pair.second)) {
      *error = std::string(command.name) + ": " + pair.first + " and " + pair.second +
               " cannot be given together";
      return false;
    }
  }
  if (invocation.command == "file" && invocation.text("--video") == "none" &&
      !invocation.has("--audio")) {
    *error = "file: --video none reads nothing without --audio";
    return false;
  }
  if (invocation.command != "set") return true;
  std::string name, value, problem;
  for (size_t i = 1; i < invocation.arguments.size(); ++i) {
    if (!parseAssignment(invocation.arguments[i], &name, &value, &problem)) {
      *error = "set: " + problem;
      return false;
    }
  }
  return true;
}

}  // namespace

const std::vector<Command>& commands() {
  static const std::vector<Command> all = buildCommands();
  return all;
}

const Command* findCommand(const std::string& name) {
  for (const Command& command : commands()) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

bool parseCommandLine(const std::vector<std::string>& args, Invocation* invocation,
                      std::string* error) {
  *invocation = Invocation();
  if (args.size() == 1 && args[0] == "--version") {
    invocation->version = true;
    return true;
  }
  size_t next = 0;
  // Help asked before any command.
  while (next < args.size() && (args[next] == "--help" || args[next] == "-h")) {
    invocation->help = true;
    ++next;
  }
  if (next == args.size()) return true;
  const Command* command = commandNamed(args[next], error);
  if (!command) return false;
  invocation->command = command->name;
  if (!tools::parseOptions(command->options, args, next + 1, invocation, error)) {
    *error = std::string(command->name) + ": " + *error;
    return false;
  }
  if (invocation->command == "help") return resolveHelpCommand(invocation, error);
  // With --help nothing else needs to be right.
  if (invocation->help) return true;
  return checkArgumentCount(*command, *invocation, error) &&
         checkCombinations(*command, *invocation, error);
}

std::string generalHelp() {
  std::string text =
      "kivo-probe: video capture devices and media files through kivo\n\n"
      "usage: kivo-probe COMMAND [ARGUMENTS] [OPTIONS]\n"
      "       kivo-probe COMMAND --help\n"
      "       kivo-probe --version\n\n"
      "commands:\n";
  for (const Command& command : commands()) {
    std::string left = std::string("  ") + command.name;
    if (*command.arguments) left += std::string(" ") + command.arguments;
    text += padded(left, 30) + command.summary + "\n";
  }
  text +=
      "\nDEVICE is a device's index or its friendly name, as `devices` lists them.\n"
      "The exit status is 0 on success, 1 when something failed, 2 for a wrong\n"
      "command line.\n";
  return text;
}

std::string commandHelp(const Command& command) {
  std::string text = std::string("usage: kivo-probe ") + command.name;
  if (*command.arguments) text += std::string(" ") + command.arguments;
  if (!command.options.empty()) text += " [OPTIONS]";
  text += "\n\n" + std::string(command.description) + "\n";
  if (std::string(command.arguments).find("DEVICE") != std::string::npos) {
    text += "DEVICE is a device's index or its friendly name, as `devices` lists them.\n";
  }
  if (!command.options.empty()) {
    text += "\noptions:\n";
    for (const Option& option : command.options) {
      std::string left = std::string("  ") + option.name;
      if (option.valueName) left += std::string(" ") + option.valueName;
      text += padded(left, 24) + option.help + "\n";
    }
    for (const auto& pair : command.exclusive) {
      text += std::string("  (") + pair.first + " and " + pair.second + " exclude each other)\n";
    }
  }
  text += "  --help                show this help\n";
  return text;
}

bool parseAssignment(const std::string& text, std::string* name, std::string* value,
                     std::string* error) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0 || equals + 1 == text.size()) {
    *error = "\"" + text + "\" is not NAME=VALUE";
    return false;
  }
  *name = text.substr(0, equals);
  *value = text.substr(equals + 1);
  return true;
}

bool resolveValue(const std::string& text, const std::map<std::string, long>& names, long* value,
                  std::string* error) {
  long long number = 0;
  if (tools::parseInteger(text, &number)) {
    if (number < -2147483647ll - 1 || number > 2147483647ll) {
      *error = "\"" + text + "\" is out of the range of a 32-bit value";
      return false;
    }
    *value = static_cast<long>(number);
    return true;
  }
  std::vector<std::string> keys;
  for (const auto& entry : names) keys.push_back(entry.first);
  const int found = matchName(keys, text);
  if (found >= 0) {
    *value = names.at(keys[found]);
    return true;
  }
  if (names.empty()) {
    *error = "\"" + text + "\" is not a number";
  } else {
    *error = "\"" + text + "\" is neither a number nor one of:";
    for (const std::string& key : keys) *error += " " + key;
  }
  return false;
}

int matchName(const std::vector<std::string>& names, const std::string& wanted) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == wanted) return static_cast<int>(i);
  }
  int found = -1;
  const std::string wantedLower = lower(wanted);
  for (size_t i = 0; i < names.size(); ++i) {
    if (lower(names[i]) == wantedLower) {
      if (found >= 0) return -1;  // ambiguous
      found = static_cast<int>(i);
    }
  }
  return found;
}

bool selectDevice(const std::vector<std::string>& names, const std::string& wanted, size_t* index,
                  std::string* error) {
  const bool digits = !wanted.empty() && std::all_of(wanted.begin(), wanted.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
  });
  if (digits) {
    long long number = 0;
    if (tools::parseInteger(wanted, &number) && number >= 0 &&
        static_cast<unsigned long long>(number) < names.size()) {
      *index = static_cast<size_t>(number);
      return true;
    }
  } else {
    const int found = matchName(names, wanted);
    if (found >= 0) {
      *index = static_cast<size_t>(found);
      return true;
    }
  }
  if (names.empty()) {
    *error = "no video capture device is present (wanted \"" + wanted + "\")";
    return false;
  }
  *error = digits ? "there is no device " + wanted + "; the devices are:"
                  : "there is no device named \"" + wanted + "\"; the devices are:";
  for (size_t i = 0; i < names.size(); ++i) {
    *error += "\n  " + std::to_string(i) + "  " + names[i];
  }
  return false;
}

}  // namespace kivo::probe
