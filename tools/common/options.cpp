#include "common/options.h"

#include "common/utf8.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kivo::tools {

namespace {

const Option* findOption(const std::vector<Option>& options, const std::string& name) {
  for (const Option& option : options) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

bool isChoice(const char* choices, const std::string& value) {
  return value.find('|') == std::string::npos &&
         ("|" + std::string(choices) + "|").find("|" + value + "|") != std::string::npos;
}

// What a value of this kind must be, for the message that refuses one; null
// when `value` is one.
const char* expectedValue(const Option& option, const std::string& value) {
  long long integer = 0;
  double number = 0;
  switch (option.kind) {
    case ValueKind::Flag:
      return nullptr;
    case ValueKind::Text:
      return value.empty() ? "a non-empty text" : nullptr;
    case ValueKind::Integer:
      return parseInteger(value, &integer) ? nullptr : "a whole number";
    case ValueKind::PositiveInteger:
      return parseInteger(value, &integer) && integer > 0 ? nullptr : "a whole number above 0";
    case ValueKind::NonNegativeInteger:
      return parseInteger(value, &integer) && integer >= 0 ? nullptr : "a whole number, 0 or more";
    case ValueKind::PositiveNumber:
      return parseNumber(value, &number) && number > 0 ? nullptr : "a number above 0";
    case ValueKind::NonNegativeNumber:
      return parseNumber(value, &number) && number >= 0 ? nullptr : "a number, 0 or more";
    case ValueKind::Choice:
      return isChoice(option.choices, value) ? nullptr : "one of";
  }
  return nullptr;
}

bool validateValue(const Option& option, const std::string& value, std::string* error) {
  const char* expected = expectedValue(option, value);
  if (!expected) return true;
  *error = std::string(option.name) + " takes " + expected;
  if (option.kind == ValueKind::Choice) *error += std::string(" ") + option.choices;
  *error += ", not \"" + value + "\"";
  return false;
}

// Whether `arg` is meant as an option: "--name" or "-h". A lone "-" or a
// negative number is an argument.
bool looksLikeOption(const std::string& arg) {
  return arg.size() >= 2 && arg[0] == '-' && (arg[1] == '-' || arg == "-h");
}

// Reads the option at args[*next] ("--name", "--name=value") and its value,
// moving *next past what it took.
bool readOption(const std::vector<Option>& options, const std::vector<std::string>& args,
                size_t* next, ParsedOptions* parsed, std::string* error) {
  const std::string& arg = args[*next];
  const size_t equals = arg.find('=');
  const bool hasInlineValue = equals != std::string::npos;
  const std::string name = arg.substr(0, equals);
  std::string value = hasInlineValue ? arg.substr(equals + 1) : std::string();
  const Option* option = findOption(options, name);
  if (!option) {
    *error = "unknown option \"" + name + "\"";
    return false;
  }
  if (option->kind == ValueKind::Flag && hasInlineValue) {
    *error = name + " takes no value";
    return false;
  }
  if (option->kind != ValueKind::Flag && !hasInlineValue) {
    if (*next + 1 >= args.size()) {
      *error = name + " needs a value (" + option->valueName + ")";
      return false;
    }
    value = args[++*next];
  }
  if (parsed->has(name)) {
    *error = name + " is given twice";
    return false;
  }
  if (!validateValue(*option, value, error)) return false;
  parsed->options[name] = value;
  return true;
}

std::string usageText(const char* program, const std::vector<Option>& options) {
  const std::string lead = std::string("usage: ") + program;
  std::string text = lead;
  size_t column = lead.size();
  for (const Option& option : options) {
    std::string piece = option.name;
    if (option.valueName) piece += std::string(" ") + option.valueName;
    if (!option.required) piece = "[" + piece + "]";
    if (column + 1 + piece.size() > 80) {
      text += "\n" + std::string(lead.size(), ' ');
      column = lead.size();
    }
    text += " " + piece;
    column += 1 + piece.size();
  }
  return text + "\n";
}

}  // namespace

std::string ParsedOptions::text(const std::string& option, const std::string& otherwise) const {
  auto found = options.find(option);
  return found == options.end() ? otherwise : found->second;
}

long long ParsedOptions::integer(const std::string& option, long long otherwise) const {
  long long value = otherwise;
  if (has(option)) parseInteger(options.at(option), &value);
  return value;
}

double ParsedOptions::number(const std::string& option, double otherwise) const {
  double value = otherwise;
  if (has(option)) parseNumber(options.at(option), &value);
  return value;
}

bool parseOptions(const std::vector<Option>& options, const std::vector<std::string>& args,
                  size_t first, ParsedOptions* parsed, std::string* error) {
  bool onlyArguments = false;
  for (size_t next = first; next < args.size(); ++next) {
    const std::string& arg = args[next];
    if (onlyArguments || !looksLikeOption(arg)) {
      parsed->arguments.push_back(arg);
    } else if (arg == "--") {
      onlyArguments = true;
    } else if (arg == "--help" || arg == "-h") {
      parsed->help = true;
    } else if (!readOption(options, args, &next, parsed, error)) {
      return false;
    }
  }
  for (const Option& option : options) {
    if (option.required && !parsed->help && !parsed->has(option.name)) {
      *error = std::string(option.name) + " is required";
      return false;
    }
  }
  return true;
}

std::vector<std::string> utf8Arguments(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(narrow(argv[i]));
  return args;
}

bool parseProgramOptions(const char* program, const std::vector<Option>& options, int argc,
                         wchar_t** argv, ParsedOptions* parsed) {
  std::string error;
  if (parseOptions(options, utf8Arguments(argc, argv), 0, parsed, &error) && !parsed->help &&
      parsed->arguments.empty()) {
    return true;
  }
  printUsage(program, options);
  return false;
}

void printUsage(const char* program, const std::vector<Option>& options) {
  std::fputs(usageText(program, options).c_str(), stderr);
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

}  // namespace kivo::tools
