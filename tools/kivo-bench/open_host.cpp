#include "open_host.h"

#include "common/options.h"

// windows.h (through open_host.h) first: Toolhelp depends on its types.
#include <tlhelp32.h>

#include <cctype>
#include <cstdio>
#include <cstring>

namespace kivo::bench {

namespace {

// clang-format off
const std::vector<tools::Option> kHostOptions = {
    {"--device", tools::ValueKind::Text, "NAME", nullptr, nullptr, true},
    {"--format", tools::ValueKind::Text, "NAME", nullptr, nullptr, true},
    {"--interval", tools::ValueKind::PositiveInteger, "N"},
    {"--cpu-seconds", tools::ValueKind::PositiveNumber, "S"},
    {"--copy", tools::ValueKind::Flag},
};
// clang-format on

void printCounters(const HostReport& report) {
  std::printf("main=%lld listed=%lld opened=%lld copied=%lld rendered=%lld started=%lld first=%lld",
              report.main, report.listed, report.opened, report.copied, report.rendered,
              report.started, report.first);
}

}  // namespace

long long counterNow() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

bool readHostSettings(const char* program, int argc, wchar_t** argv, HostSettings* settings) {
  tools::ParsedOptions options;
  if (!tools::parseProgramOptions(program, kHostOptions, argc, argv, &options)) return false;
  settings->device = options.text("--device");
  settings->format = options.text("--format");
  settings->interval = options.integer("--interval", settings->interval);
  settings->cpuSeconds = options.number("--cpu-seconds", 0.0);
  settings->copy = options.has("--copy");
  return true;
}

void FrameHandler::handle(IMediaSample* sample) {
  if (first_ == 0) first_ = counterNow();
  BYTE* data = nullptr;
  const long length = sample->GetActualDataLength();
  if (SUCCEEDED(sample->GetPointer(&data)) && data && length > 0) {
    if (copy_) {
      if (buffer_.size() < static_cast<size_t>(length)) buffer_.resize(length);
      std::memcpy(buffer_.data(), data, length);
      seen_ = buffer_[length - 1];
    } else {
      seen_ = data[0];
    }
  }
  // Counted last: the waiting thread reads first_ once the count is 1.
  counter_.add();
}

long long processTime() {
  FILETIME creation, exit, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user)) return -1;
  auto units = [](const FILETIME& time) {
    return static_cast<long long>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
  };
  return units(kernel) + units(user);
}

void measureCpu(const FrameHandler& handler, double seconds, HostReport* report) {
  // The start's own work (the first buffers, the streaming thread's first
  // rounds) is not the steady cost per frame.
  Sleep(500);
  const long long timeBefore = processTime();
  const long framesBefore = handler.frames();
  const long long counterBefore = counterNow();
  Sleep(static_cast<DWORD>(seconds * 1000));
  report->cpuTime = processTime() - timeBefore;
  report->cpuFrames = handler.frames() - framesBefore;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  report->cpuWindow = static_cast<double>(counterNow() - counterBefore) / frequency.QuadPart;
}

std::vector<std::string> loadedModules() {
  std::vector<std::string> names;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return names;
  MODULEENTRY32W entry;
  entry.dwSize = sizeof(entry);
  for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry)) {
    // Module names are ASCII: lower-cased, so that "KERNEL32.dll" and
    // "kernel32.dll" compare equal.
    std::string name;
    for (const wchar_t* c = entry.szModule; *c; ++c)
      name += static_cast<char>(*c < 128 ? std::tolower(static_cast<int>(*c)) : '?');
    names.push_back(name);
  }
  CloseHandle(snapshot);
  return names;
}

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ",") + name;
  return text;
}

void printReport(const HostReport& report) {
  printCounters(report);
  std::printf(" cpu_frames=%ld cpu_time=%lld cpu_window=%.3f modules=%s\n", report.cpuFrames,
              report.cpuTime, report.cpuWindow, joined(report.modules).c_str());
  std::fflush(stdout);
}

int failHost(const HostReport& report, const char* step, HRESULT hr) {
  printCounters(report);
  std::printf(" error=%s:0x%08lX\n", step, static_cast<unsigned long>(hr));
  std::fflush(stdout);
  return 1;
}

}  // namespace kivo::bench
