#pragma once

// The command line of kivo-probe: commands, their options and help texts,
// and the small parsers the commands share (numbers, NAME=VALUE, choosing a
// device or a name from a list).

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace kivo::probe {

enum class ValueKind {
  Flag,                // no value
  Text,                // any non-empty text
  PositiveInteger,     // 1, 2, ...
  NonNegativeInteger,  // 0, 1, ...
  PositiveNumber,      // > 0
  NonNegativeNumber,   // >= 0
  Choice,              // one of `choices`, separated by '|'
};

struct OptionSpec {
  const char* name;  // with its dashes: "--frames"
  ValueKind kind;
  const char* valueName;  // "N", "DIR"; null for flags
  const char* choices;    // for ValueKind::Choice
  const char* help;
};

struct CommandSpec {
  const char* name;
  const char* arguments;  // usage of the positional arguments, "" for none
  int minArguments;
  int maxArguments;  // -1: no limit
  const char* summary;
  const char* description;
  std::vector<OptionSpec> options;
  // Pairs of options that cannot be given together.
  std::vector<std::pair<const char*, const char*>> exclusive;
};

// Every command, in the order the help lists them.
const std::vector<CommandSpec>& commandSpecs();
const CommandSpec* findCommand(const std::string& name);

// One parsed command line.
struct Invocation {
  std::string command;  // empty when only --help (or nothing) was given
  bool help = false;    // --help, -h, or the "help" command
  std::vector<std::string> arguments;
  std::map<std::string, std::string> options;  // "--frames" -> "5"; flags map to ""

  bool has(const std::string& option) const { return options.count(option) != 0; }
  std::string text(const std::string& option, const std::string& otherwise = "") const;
  // The value of a validated numeric option; `otherwise` when absent.
  long long integer(const std::string& option, long long otherwise = 0) const;
  double number(const std::string& option, double otherwise = 0.0) const;
};

// Parses the arguments after the program name. Options may stand anywhere
// after the command, as "--name value" or "--name=value". Unknown commands
// and options, missing or malformed values, wrong argument counts and
// exclusive options are refused with a message in `error`.
bool parseCommandLine(const std::vector<std::string>& args, Invocation* invocation,
                      std::string* error);

// The overview of all commands, and the full help of one.
std::string generalHelp();
std::string commandHelp(const CommandSpec& command);

// Strict number parsing: the whole text must be the number. Integers may be
// decimal or 0x-prefixed hexadecimal, with a sign.
bool parseInteger(const std::string& text, long long* value);
bool parseNumber(const std::string& text, double* value);

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
