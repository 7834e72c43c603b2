#pragma once

// Runs child processes a few at a time, each with a bound: one that is not
// done in time is terminated. What a child wrote on standard output is kept
// (its standard error goes nowhere: Wine's and the sound system's complaints
// would bury the report). kivo-corpus reads files in children, kivo-bench
// times fresh host processes from their creation.

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace kivo::tools {

struct ChildRun {
  bool started = false;
  bool timedOut = false;  // terminated at its bound
  DWORD exitCode = 0;     // when it ended by itself
  std::string output;     // standard output
  double seconds = 0.0;   // from start to end or termination
  // QueryPerformanceCounter just before CreateProcessW: the counter is the
  // machine's, so a child's own readings can be set against it.
  long long createdCounter = 0;
};

// Runs every command line (a program and its arguments, quoted as needed),
// at most `jobs` at once, each for at most `bound`; `done` is called, on
// this thread, with each command's index and run as soon as it ends.
void runChildren(const std::vector<std::wstring>& commandLines, int jobs,
                 std::chrono::milliseconds bound,
                 const std::function<void(size_t, const ChildRun&)>& done);

}  // namespace kivo::tools
