#pragma once

// The command line of kivo-probe: its commands with their options and help
// texts, and the small parsers the commands share (NAME=VALUE, choosing a
// device or a name from a list). Options are parsed by the tools' common
// parser.

#include "common/options.h"

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kivo::probe {

using tools::Option;
using tools::ValueKind;

struct Command {
  const char* name;
  const char* arguments;  // usage of the positional arguments, "" for none
  int minArguments;
  int maxArguments;  // -1: no limit
  const char* summary;
  const char* description;
  std::vector<Option> options = {};
  // Pairs of options that cannot be given together.
  std::vector<std::pair<const char*, const char*>> exclusive = {};
  // For a command that takes --json: the keys of its document, as its help
  // shows them. Null for the others.
  const char* json = nullptr;
};

// Every command, in the order the help lists them.
const std::vector<Command>& commands();
const Command* findCommand(const std::string& name);

// One parsed command line.
struct Invocation : tools::ParsedOptions {
  std::string command;  // empty when only --help (or nothing) was given
  // --version, given alone.
  bool version = false;
};

// Parses the arguments after the program name: a command, then its
// arguments and options (--help, -h or the "help" command ask for help;
// --version alone asks for the versions).
// Unknown commands and options, missing or malformed values, wrong argument
// counts and exclusive options are refused with a message in `error`.
bool parseCommandLine(const std::vector<std::string>& args, Invocation* invocation,
                      std::string* error);

// The overview of all commands, and the full help of one.
std::string generalHelp();
std::string commandHelp(const Command& command);

// "NAME=VALUE" into its two parts; both must be non-empty.
bool parseAssignment(const std::string& text, std::string* name, std::string* value,
                     std::string* error);

// A value given by number or by one of the named values (exact name first,
// then a unique case-insensitive match).
bool resolveValue(const std::string& text, const std::map<std::string, long>& names, long* value,
                  std::string* error);

// Finds `wanted` among `names`: the exact name first, then a unique
// case-insensitive match. Returns the position, or -1.
int matchName(const std::vector<std::string>& names, const std::string& wanted);

// Chooses a device by its index in the list or by its friendly name. A text
// made of digits only is an index. `error` names the devices there are.
bool selectDevice(const std::vector<std::string>& names, const std::string& wanted, size_t* index,
                  std::string* error);

}  // namespace kivo::probe
