#pragma once

// The command-line parser of kivo-probe, kivo-bench and kivo-soak: each
// program describes its options in a table, with the kind of value each
// takes, and the parser checks a command line against it.

#include <map>
#include <string>
#include <vector>

namespace kivo::tools {

enum class ValueKind {
  Flag,                // no value
  Text,                // any non-empty text
  Integer,             // any whole number
  PositiveInteger,     // 1, 2, ...
  NonNegativeInteger,  // 0, 1, ...
  PositiveNumber,      // > 0
  NonNegativeNumber,   // >= 0
  Choice,              // one of `choices`, separated by '|'
};

struct Option {
  const char* name;  // with its dashes: "--frames"
  ValueKind kind;
  const char* valueName = nullptr;  // "N", "DIR"; null for flags
  const char* choices = nullptr;    // for ValueKind::Choice
  const char* help = nullptr;       // one line, for a help text
  bool required = false;
};

// The options and arguments of one command line.
struct ParsedOptions {
  bool help = false;  // --help or -h
  std::vector<std::string> arguments;
  std::map<std::string, std::string> options;  // "--frames" -> "5"; flags map to ""

  bool has(const std::string& option) const { return options.count(option) != 0; }
  std::string text(const std::string& option, const std::string& otherwise = "") const;
  // The value of a validated numeric option; `otherwise` when absent.
  long long integer(const std::string& option, long long otherwise = 0) const;
  double number(const std::string& option, double otherwise = 0.0) const;
};

// Parses args[first], args[first + 1]... Options may stand anywhere, as
// "--name value" or "--name=value"; everything after "--" is an argument, and
// so is a lone "-" or a negative number. Unknown options, missing or
// malformed values, an option given twice and, unless help is asked for, a
// missing required option are refused with a message in `error`.
bool parseOptions(const std::vector<Option>& options, const std::vector<std::string>& args,
                  size_t first, ParsedOptions* parsed, std::string* error);

// The arguments after the program's name, as wmain receives them, in UTF-8.
std::vector<std::string> utf8Arguments(int argc, wchar_t** argv);

// For a program that takes options only (kivo-bench, kivo-soak): parses its
// arguments; a wrong command line, any argument that is no option, and
// --help print the usage on standard error and give false.
bool parseProgramOptions(const char* program, const std::vector<Option>& options, int argc,
                         wchar_t** argv, ParsedOptions* parsed);
// "usage: PROGRAM --required VALUE [--option VALUE]...", wrapped at 80
// columns under the first option, on standard error.
void printUsage(const char* program, const std::vector<Option>& options);

// Strict number parsing: the whole text must be the number. Integers may be
// decimal or 0x-prefixed hexadecimal, with a sign.
bool parseInteger(const std::string& text, long long* value);
bool parseNumber(const std::string& text, double* value);

}  // namespace kivo::tools
