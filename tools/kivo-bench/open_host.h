#pragma once

// What kivo-bench's open hosts share: kivo-open-host (kivo) and
// hand-open-host (plain COM) each open one capture device in a fresh
// process, note QueryPerformanceCounter at the top of main and after each
// step up to the first frame, optionally measure the processor time per
// frame for a while, and print one report line on standard output for
// kivo-bench to read. Nothing here needs kivo: the hand-built host must not
// load kivo.dll, whose own load is one of the things being measured.

#include <windows.h>

#include "common/frame_counter.h"

#include <string>
#include <vector>

namespace kivo::bench {

// QueryPerformanceCounter now: the machine's counter, the same in every
// process, so that a child's readings compare with its parent's.
long long counterNow();

// What kivo-bench asks of a host on its command line.
struct HostSettings {
  std::string device;  // friendly name
  std::string format;  // kivo's name, e.g. "RGB24_640x480"
  LONGLONG interval = 333333;
  double cpuSeconds = 0.0;  // 0: end at the first frame
  bool copy = false;        // the callback copies each frame
};

// false (after the usage line) for a wrong command line.
bool readHostSettings(const char* program, int argc, wchar_t** argv, HostSettings* settings);

// A host's handling of each frame, called by its callback on the streaming
// thread: it looks at the sample (its length and first byte) or, for a
// one-copy host, copies the frame into a buffer of its own.
class FrameHandler {
 public:
  explicit FrameHandler(bool copy) : copy_(copy) {}
  void handle(IMediaSample* sample);
  bool waitForFirst() { return counter_.waitFor(1, tools::kFrameWait); }
  long frames() const { return counter_.frames(); }
  // The counter read when the first frame arrived.
  long long firstCounter() const { return first_; }

 private:
  bool copy_;
  std::vector<BYTE> buffer_;
  volatile BYTE seen_ = 0;
  long long first_ = 0;
  tools::FrameCounter counter_;
};

// The counters noted at each step, the processor time measured and the
// modules the process had loaded at its first frame.
struct HostReport {
  long long main = 0, listed = 0, opened = 0, copied = 0, rendered = 0, started = 0, first = 0;
  long cpuFrames = 0;
  long long cpuTime = 0;   // 100 ns units, kernel + user, all threads
  double cpuWindow = 0.0;  // seconds
  std::vector<std::string> modules;
};

// Lets the stream settle for half a second, then measures the process's
// processor time and the frames delivered over `seconds`.
void measureCpu(const FrameHandler& handler, double seconds, HostReport* report);

// The process's kernel + user time in 100 ns units (GetProcessTimes: all of
// its threads, ended ones included).
long long processTime();

// The file names of the modules the process has loaded (a Toolhelp
// snapshot), in load order.
std::vector<std::string> loadedModules();

// "name1,name2,...".
std::string joined(const std::vector<std::string>& names);

// Prints the report line: "key=value" pairs separated by spaces.
void printReport(const HostReport& report);
// Prints the report line with the step that failed; returns the exit
// status 1.
int failHost(const HostReport& report, const char* step, HRESULT hr);

}  // namespace kivo::bench
