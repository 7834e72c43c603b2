#include "core/command_line.h"

#include <algorithm>
#include <cctype>

namespace kivo::probe {

namespace {

const Option kRegisterGraph = {"--register-graph", ValueKind::Flag, nullptr, nullptr,
                               "register the graph for outside graph inspection tools"};

// The documents that --json prints, key by key: the one description of
// them, shown by each command's help. Keys are snake_case and stay as they
// are; a key may be added, none renamed or removed.
const char kDevicesJson[] =
    "  devices            array, in the order of the indexes:\n"
    "    index            integer\n"
    "    name             text: the friendly name\n"
    "    device_path      text, or null when the device has none\n"
    "    vfw              boolean: a Video for Windows device\n";

const char kFormatsJson[] =
    "  device             text: the device's friendly name\n"
    "  formats            array, in the order of the indexes:\n"
    "    index            integer\n"
    "    name             text: the full name, as capture --format takes it\n"
    "    width, height, min_width, min_height\n"
    "                     integers: the largest and the smallest size\n"
    "    subtype          text\n"
    "    colour_space     text: monochrome, RGB, YUV, semi-planar YUV or none\n"
    "    compressed       boolean\n"
    "    frame_rates      array, fastest first, empty when the device lists none:\n"
    "      fps            number: frames per second\n"
    "      interval       integer: the frame interval in 100 ns units\n";

const char kPropertiesJson[] =
    "  device             text: the device's friendly name\n"
    "  properties         array, by name:\n"
    "    name             text\n"
    "    kind             text: range, enumerated, mode or other\n"
    "    supported, settable  booleans\n"
    "    range            object for a range, else null:\n"
    "      minimum, maximum, step, default_value, caps_flags  integers\n"
    "      control        array of \"auto\" and \"manual\", as caps_flags allow\n"
    "    enumeration      object for enumerated and mode, else null:\n"
    "      values         array of {name: text, value: integer}, by name\n"
    "      default_value  integer\n"
    "      default_name   text, or null when no name carries the default\n"
    "    mode             text: the name of its mode companion, or null\n"
    "    controls         text: for a mode, the property it switches, or null\n"
    "    current          integer, or null when it cannot be read\n"
    "    current_name     text: the name of the current value, or null\n"
    "    current_error    text: why the value cannot be read, or null\n";

const char kInputsJson[] =
    "  device             text: the device's friendly name\n"
    "  inputs             array, by name, empty when there is none to choose:\n"
    "    name             text\n"
    "    index            integer\n"
    "    selected         boolean\n";

const char kFileJson[] =
    "  path               text, as given\n"
    "  read_for_audio     boolean: it has no video stream and was read for audio\n"
    "  video              object when video is read, else null:\n"
    "    format           text\n"
    "    width, height, bit_depth  integers (a negative height: top-down rows)\n"
    "    fps              number: the average frame rate\n"
    "  audio              object when audio is read (--audio), else null:\n"
    "    format, sub_format  texts: the format tag's name and, for an\n"
    "                     extensible block, the sub-format's\n"
    "    extensible       boolean\n"
    "    sample_rate, bit_depth, valid_bits, channels, channel_mask,\n"
    "    buffer_size      integers\n"
    "  duration           {frames, samples: integers, seconds: number}\n"
    "  position_at_open   {frame: integer, seconds: number}\n"
    "  position_at_end    {frame: integer, seconds: number}\n"
    "                     (each null when the file cannot say it)\n"
    "  seek               {seconds: number} or {frame: integer} as asked, or null\n"
    "  stopped_by         text: end_of_stream, frame_limit or request (Ctrl+C)\n"
    "  frames_read        integer\n"
    "  audio_read         {blocks, bytes: integers}, or null when audio is not read\n"
    "  frames_written     integer, or null when no frame is written\n"
    "  audio_written      {path: text, bytes: integer}, or null\n"
    "A file that cannot be opened for want of a decoder that the diagnosis\n"
    "named gives error.missing_codec (text) besides the message and status.\n";

const char kDxVersionJson[] =
    "  version            text\n"
    "  packed             integer: the packed number (hexadecimal in the text)\n";

const Option kJson = {"--json", ValueKind::Flag, nullptr, nullptr,
                      "print one JSON document instead of text (keys below)"};

// The commands that take --json, each with the keys of its document.
const std::pair<const char*, const char*> kJsonCommands[] = {
    {"devices", kDevicesJson}, {"formats", kFormatsJson}, {"properties", kPropertiesJson},
    {"inputs", kInputsJson},   {"file", kFileJson},       {"dxversion", kDxVersionJson}};

// Gives the commands of kJsonCommands their --json option and document.
void addJsonOption(std::vector<Command>* all) {
  for (Command& command : *all) {
    for (const auto& entry : kJsonCommands) {
      if (std::string(entry.first) != command.name) continue;
      command.options.push_back(kJson);
      command.json = entry.second;
    }
  }
}

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
  addJsonOption(&all);
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
  if (command.json) {
    text += std::string("\nwith --json, standard output is one JSON object with the keys:\n") +
            command.json +
            "On failure (exit status 1) the object is instead\n"
            "  {\"error\": {\"message\": text, \"status\": \"0x80070002\" or null}}\n"
            "and the message is on standard error as well. "
            "A wrong command line (exit\n"
            "status 2) is reported on standard error only.\n";
  }
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
