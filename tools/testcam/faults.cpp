#include "faults.h"

#include <windows.h>

#include <cstdlib>

#include "testcam_ids.h"

namespace testcam {

namespace {

// The value of an environment variable; false when it is unset or empty.
bool readVariable(const wchar_t* name, std::string* value) {
  wchar_t buffer[1024];
  const DWORD length = GetEnvironmentVariableW(name, buffer, 1024);
  if (length == 0 || length >= 1024) return false;
  value->clear();
  // The values are numbers and method names: ASCII.
  for (DWORD i = 0; i < length; ++i) value->push_back(static_cast<char>(buffer[i]));
  return true;
}

// Any value but "0" switches a fault on.
bool switchedOn(const wchar_t* name) {
  std::string value;
  return readVariable(name, &value) && value != "0";
}

std::string trimmed(std::string text) {
  while (!text.empty() && text.front() == ' ') text.erase(text.begin());
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

Faults Faults::fromEnvironment() {
  Faults faults;
  std::string value;
  if (readVariable(kLoseAfterVariable, &value)) {
    char* end = nullptr;
    const long n = std::strtol(value.c_str(), &end, 10);
    if (end != value.c_str() && n >= 0) faults.loseAfter = n;
  }
  faults.malformedCaps = switchedOn(kMalformedCapsVariable);
  faults.exclusive = switchedOn(kExclusiveVariable);
  if (readVariable(kFailVariable, &value)) {
    size_t start = 0;
    while (start <= value.size()) {
      size_t comma = value.find(',', start);
      if (comma == std::string::npos) comma = value.size();
      const std::string name = trimmed(value.substr(start, comma - start));
      if (!name.empty()) faults.failing.insert(name);
      start = comma + 1;
    }
  }
  return faults;
}

}  // namespace testcam
