#pragma once

// The faults a test switches on through the environment (testcam_ids.h
// names the variables), read when a device filter is created.

#include <set>
#include <string>

namespace testcam {

struct Faults {
  std::set<std::string> failing;  // "Interface.Method" names that answer E_FAIL
  long loseAfter = -1;            // frames before the device is lost; -1 never
  bool malformedCaps = false;     // GetStreamCaps also reports broken formats
  bool exclusive = false;         // one stream at a time per device

  static Faults fromEnvironment();
  bool fails(const std::string& method) const {
    return !failing.empty() && failing.count(method) != 0;
  }
};

}  // namespace testcam
