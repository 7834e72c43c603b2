#include "core/args.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace kivo::probe {

namespace {

const OptionSpec kRegisterGraph = {"--register-graph", ValueKind::Flag, nullptr, nullptr,
                                   "register the graph for outside graph inspection tools"};

std::vector<CommandSpec> buildSpecs() {
  std::vector<CommandSpec> specs;
  specs.push_back({"devices",
                   "",
                   0,
                   0,
                   "list the video capture devices",
                   "Lists every video capture device with its index, friendly name, device path\n"
                   "and whether it is a Video for Windows device.",
                   {},
                   {}});
  specs.push_back({"formats",
                   "DEVICE",
                   1,
                   1,
                   "list a device's formats and frame rates",
                   "Lists the formats of DEVICE: full name, size range, subtype, colour-space\n"
                   "category, compressed or not, and the frame rates of each format.",
                   {},
                   {}});
  specs.push_back({"properties",
                   "DEVICE",
                   1,
                   1,
                   "list a device's properties",
                   "Lists every property of DEVICE with its kind (range, enumerated, mode), its\n"
                   "range or named values, default, current value and whether it can be set.",
                   {},
                   {}});
  specs.push_back({"set",
                   "DEVICE NAME=VALUE...",
                   2,
                   -1,
                   "set device properties",
                   "Sets properties of DEVICE. A VALUE is a number or one of the property's\n"
                   "named values, for example:  set 0 ExposureMode=manual Exposure=-5\n"
                   "Each property is read back and printed after it is written.",
                   {},
                   {}});
  specs.push_back({"inputs",
                   "DEVICE",
                   1,
                   1,
                   "list a device's connector inputs",
                   "Lists the connector inputs (composite, svideo, tuner...) of DEVICE and the\n"
                   "one that is selected.",
                   {},
                   {}});
  specs.push_back(
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
  specs.push_back(
      {"file",
       "PATH",
       1,
       1,
       "read the frames and audio of a media file",
       "Opens the media file PATH, prints the connected formats, the durations in\n"
       "every unit the platform supports and the position, then reads it with\n"
       "progress. With --out the frames are written as BMP files and the audio\n"
       "(with --audio) as a WAV file.",
       {{"--video", ValueKind::Choice, "FORMAT", "rgb24|yuy2|native|none",
         "frame format asked of the decoder (default rgb24); none: audio only"},
        {"--audio", ValueKind::Flag, nullptr, nullptr, "read the audio stream too, as PCM"},
        {"--seek", ValueKind::NonNegativeNumber, "SECONDS", nullptr, "start at this time"},
        {"--seek-frame", ValueKind::NonNegativeInteger, "N", nullptr, "start at this frame"},
        {"--frames", ValueKind::PositiveInteger, "N", nullptr, "stop after N frames"},
        {"--out", ValueKind::Text, "DIR", nullptr, "write frames (BMP) and audio (WAV) into DIR"},
        kRegisterGraph},
       {{"--seek", "--seek-frame"}}});
  specs.push_back({"dxversion",
                   "",
                   0,
                   0,
                   "print the installed DirectX version",
                   "Prints the DirectX version found from the system files, as text and packed.",
                   {},
                   {}});
  specs.push_back({"help",
                   "[COMMAND]",
                   0,
                   1,
                   "show the help of kivo-probe or of a command",
                   "Shows the overview of the commands, or the help of COMMAND.",
                   {},
                   {}});
  return specs;
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

const OptionSpec* findOption(const CommandSpec& command, const std::string& name) {
  for (const OptionSpec& option : command.options) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

bool isChoice(const char* choices, const std::string& value) {
  std::string all = choices;
  size_t start = 0;
  while (start <= all.size()) {
    size_t end = all.find('|', start);
    if (end == std::string::npos) end = all.size();
    if (all.compare(start, end - start, value) == 0 && end - start == value.size()) return true;
    start = end + 1;
  }
  return false;
}

bool validateValue(const OptionSpec& option, const std::string& value, std::string* error) {
  long long integer = 0;
  double number = 0;
  bool ok = true;
  const char* expected = "";
  switch (option.kind) {
    case ValueKind::Flag:
      return true;
    case ValueKind::Text:
      ok = !value.empty();
      expected = "a non-empty text";
      break;
    case ValueKind::PositiveInteger:
      ok = parseInteger(value, &integer) && integer > 0;
      expected = "a whole number above 0";
      break;
    case ValueKind::NonNegativeInteger:
      ok = parseInteger(value, &integer) && integer >= 0;
      expected = "a whole number, 0 or more";
      break;
    case ValueKind::PositiveNumber:
      ok = parseNumber(value, &number) && number > 0;
      expected = "a number above 0";
      break;
    case ValueKind::NonNegativeNumber:
      ok = parseNumber(value, &number) && number >= 0;
      expected = "a number, 0 or more";
      break;
    case ValueKind::Choice:
      ok = isChoice(option.choices, value);
      if (!ok) {
        *error = std::string(option.name) + " takes one of " + option.choices + ", not \"" + value +
                 "\"";
        return false;
      }
      break;
  }
  if (!ok) *error = std::string(option.name) + " takes " + expected + ", not \"" + value + "\"";
  return ok;
}

}  // namespace

const std::vector<CommandSpec>& commandSpecs() {
  static const std::vector<CommandSpec> specs = buildSpecs();
  return specs;
}

const CommandSpec* findCommand(const std::string& name) {
  for (const CommandSpec& command : commandSpecs()) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

std::string Invocation::text(const std::string& option, const std::string& otherwise) const {
  auto found = options.find(option);
  return found == options.end() ? otherwise : found->second;
}

long long Invocation::integer(const std::string& option, long long otherwise) const {
  long long value = otherwise;
  auto found = options.find(option);
  if (found != options.end()) parseInteger(found->second, &value);
  return value;
}

double Invocation::number(const std::string& option, double otherwise) const {
  double value = otherwise;
  auto found = options.find(option);
  if (found != options.end()) parseNumber(found->second, &value);
  return value;
}

bool parseCommandLine(const std::vector<std::string>& args, Invocation* invocation,
                      std::string* error) {
  *invocation = Invocation();
  std::string problem;
  size_t next = 0;
  // Help asked before any command.
  while (next < args.size() && (args[next] == "--help" || args[next] == "-h")) {
    invocation->help = true;
    ++next;
  }
  if (next == args.size()) return true;
  if (!args[next].empty() && args[next][0] == '-') {
    *error = "unknown option \"" + args[next] + "\" (a command comes first; try --help)";
    return false;
  }
  const CommandSpec* command = findCommand(args[next]);
  if (!command) {
    *error = "unknown command \"" + args[next] + "\" (try --help)";
    return false;
  }
  invocation->command = command->name;
  ++next;

  bool onlyArguments = false;
  for (; next < args.size(); ++next) {
    const std::string& arg = args[next];
    if (onlyArguments || arg.size() < 2 || arg[0] != '-' || (arg[1] != '-' && arg != "-h")) {
      // A lone "-" or a negative number is an argument, not an option.
      invocation->arguments.push_back(arg);
      continue;
    }
    if (arg == "--") {
      onlyArguments = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      invocation->help = true;
      continue;
    }
    std::string name = arg, value;
    bool hasInlineValue = false;
    const size_t equals = arg.find('=');
    if (equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
      hasInlineValue = true;
    }
    const OptionSpec* option = findOption(*command, name);
    if (!option) {
      *error = std::string(command->name) + ": unknown option \"" + name + "\"";
      return false;
    }
    if (option->kind == ValueKind::Flag) {
      if (hasInlineValue) {
        *error = std::string(command->name) + ": " + name + " takes no value";
        return false;
      }
    } else if (!hasInlineValue) {
      if (next + 1 >= args.size()) {
        *error =
            std::string(command->name) + ": " + name + " needs a value (" + option->valueName + ")";
        return false;
      }
      value = args[++next];
    }
    if (invocation->options.count(name)) {
      *error = std::string(command->name) + ": " + name + " is given twice";
      return false;
    }
    if (!validateValue(*option, value, &problem)) {
      *error = std::string(command->name) + ": " + problem;
      return false;
    }
    invocation->options[name] = value;
  }

  if (invocation->command == "help") {
    invocation->help = true;
    if (!invocation->arguments.empty()) {
      const CommandSpec* about = findCommand(invocation->arguments[0]);
      if (!about) {
        *error = "help: unknown command \"" + invocation->arguments[0] + "\"";
        return false;
      }
      invocation->command = about->name;
      invocation->arguments.clear();
    } else {
      invocation->command.clear();
    }
    return true;
  }
  // With --help nothing else needs to be right.
  if (invocation->help) return true;

  const int count = static_cast<int>(invocation->arguments.size());
  if (count < command->minArguments ||
      (command->maxArguments >= 0 && count > command->maxArguments)) {
    *error = std::string(command->name) + ": ";
    if (count < command->minArguments) {
      *error += std::string("missing argument; usage: kivo-probe ") + command->name + " " +
                command->arguments;
    } else if (command->maxArguments == 0) {
      *error += "takes no argument, \"" + invocation->arguments[0] + "\" is one too many";
    } else {
      *error += "too many arguments; usage: kivo-probe " + std::string(command->name) + " " +
                command->arguments;
    }
    return false;
  }
  for (const auto& pair : command->exclusive) {
    if (invocation->has(pair.first) && invocation->has(pair.second)) {
      *error = std::string(command->name) + ": " + pair.first + " and " + pair.second +
               " cannot be given together";
      return false;
    }
  }
  if (invocation->command == "file" && invocation->text("--video") == "none" &&
      !invocation->has("--audio")) {
    *error = "file: --video none reads nothing without --audio";
    return false;
  }
  if (invocation->command == "set") {
    std::string name, value;
    for (size_t i = 1; i < invocation->arguments.size(); ++i) {
      if (!parseAssignment(invocation->arguments[i], &name, &value, &problem)) {
        *error = "set: " + problem;
        return false;
      }
    }
  }
  return true;
}

std::string generalHelp() {
  std::string text =
      "kivo-probe: video capture devices and media files through kivo\n\n"
      "usage: kivo-probe COMMAND [ARGUMENTS] [OPTIONS]\n"
      "       kivo-probe COMMAND --help\n\n"
      "commands:\n";
  for (const CommandSpec& command : commandSpecs()) {
    std::string left = std::string("  ") + command.name;
    if (*command.arguments) left += std::string(" ") + command.arguments;
    if (left.size() < 30)
      left.resize(30, ' ');
    else
      left += "  ";
    text += left + command.summary + "\n";
  }
  text +=
      "\nDEVICE is a device's index or its friendly name, as `devices` lists them.\n"
      "The exit status is 0 on success, 1 when something failed, 2 for a wrong\n"
      "command line.\n";
  return text;
}

std::string commandHelp(const CommandSpec& command) {
  std::string text = std::string("usage: kivo-probe ") + command.name;
  if (*command.arguments) text += std::string(" ") + command.arguments;
  if (!command.options.empty()) text += " [OPTIONS]";
  text += "\n\n" + std::string(command.description) + "\n";
  if (std::string(command.arguments).find("DEVICE") != std::string::npos) {
    text += "DEVICE is a device's index or its friendly name, as `devices` lists them.\n";
  }
  if (!command.options.empty()) {
    text += "\noptions:\n";
    for (const OptionSpec& option : command.options) {
      std::string left = std::string("  ") + option.name;
      if (option.valueName) left += std::string(" ") + option.valueName;
      if (left.size() < 24)
        left.resize(24, ' ');
      else
        left += "  ";
      text += left + option.help + "\n";
    }
    for (const auto& pair : command.exclusive) {
      text += std::string("  (") + pair.first + " and " + pair.second + " exclude each other)\n";
    }
  }
  text += "  --help                show this help\n";
  return text;
}

bool parseInteger(const std::string& text, long long* value) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  size_t start = 0;
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    start = 1;
  }
  int base = 10;
  if (text.size() > start + 2 && text[start] == '0' &&
      (text[start + 1] == 'x' || text[start + 1] == 'X')) {
    base = 16;
    start += 2;
  }
  if (start >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[start]))) return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long magnitude = std::strtoull(text.c_str() + start, &end, base);
  if (errno == ERANGE || *end != '\0') return false;
  if (negative) {
    if (magnitude > 9223372036854775808ull) return false;
    *value = magnitude == 9223372036854775808ull ? (-9223372036854775807ll - 1)
                                                 : -static_cast<long long>(magnitude);
  } else {
    if (magnitude > 9223372036854775807ull) return false;
    *value = static_cast<long long>(magnitude);
  }
  return true;
}

bool parseNumber(const std::string& text, double* value) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  errno = 0;
  char* end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  if (errno == ERANGE || *end != '\0' || !std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
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
  if (parseInteger(text, &number)) {
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
    if (parseInteger(wanted, &number) && number >= 0 &&
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
