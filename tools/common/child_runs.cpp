#include "common/child_runs.h"

#include <algorithm>

namespace kivo::tools {

namespace {

// Room for far more than the one line a child reports, so that a child
// never waits for us to read while we wait for it to end.
constexpr DWORD kPipeBytes = 1 << 16;

std::string readAvailable(HANDLE pipe) {
  std::string text;
  char buffer[4096];
  DWORD available = 0, read = 0;
  // Only what is there: a grandchild the child left behind may still hold
  // the pipe's write end, and a blocking read would wait for it.
  while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
         ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof buffer), &read, nullptr) &&
         read > 0) {
    text.append(buffer, read);
  }
  return text;
}

struct RunningChild {
  size_t index = 0;
  PROCESS_INFORMATION process = {};
  HANDLE output = nullptr;  // the read end of its standard output
  std::chrono::steady_clock::time_point began;
  LARGE_INTEGER createdCounter = {};
};

// Starts one child with its standard output on a pipe of ours.
bool startChild(std::wstring commandLine, RunningChild* child) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE write = nullptr;
  if (!CreatePipe(&child->output, &write, &inherit, kPipeBytes)) return false;
  SetHandleInformation(child->output, HANDLE_FLAG_INHERIT, 0);
  HANDLE nowhere = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  startup.hStdError = nowhere;
  child->began = std::chrono::steady_clock::now();
  QueryPerformanceCounter(&child->createdCounter);
  const BOOL started =
      CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                     nullptr, &startup, &child->process);
  CloseHandle(write);
  if (nowhere != INVALID_HANDLE_VALUE) CloseHandle(nowhere);
  if (!started) {
    CloseHandle(child->output);
    child->output = nullptr;
  }
  return started != FALSE;
}

// Collects a child that has ended, or terminates it first when it is late.
ChildRun finishChild(RunningChild& child, bool terminate) {
  ChildRun run;
  run.started = true;
  if (terminate) {
    TerminateProcess(child.process.hProcess, 1);
    WaitForSingleObject(child.process.hProcess, 10000);
  }
  run.timedOut = terminate;
  run.createdCounter = child.createdCounter.QuadPart;
  GetExitCodeProcess(child.process.hProcess, &run.exitCode);
  run.output = readAvailable(child.output);
  run.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - child.began).count();
  CloseHandle(child.output);
  CloseHandle(child.process.hThread);
  CloseHandle(child.process.hProcess);
  return run;
}

// How long to wait until the first of the running children reaches its bound.
DWORD millisecondsToNextBound(const std::vector<RunningChild>& running,
                              std::chrono::milliseconds bound) {
  const auto now = std::chrono::steady_clock::now();
  auto nearest = bound;
  for (const RunningChild& child : running) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(child.began + bound - now);
    nearest = std::min(nearest, std::max(left, std::chrono::milliseconds(0)));
  }
  return static_cast<DWORD>(nearest.count());
}

}  // namespace

void runChildren(const std::vector<std::wstring>& commandLines, int jobs,
                 std::chrono::milliseconds bound,
                 const std::function<void(size_t, const ChildRun&)>& done) {
  std::vector<RunningChild> running;
  size_t next = 0;
  while (next < commandLines.size() || !running.empty()) {
    while (next < commandLines.size() && static_cast<int>(running.size()) < jobs) {
      RunningChild child;
      child.index = next;
      if (startChild(commandLines[next++], &child)) {
        running.push_back(child);
      } else {
        done(child.index, ChildRun());
      }
    }
    if (running.empty()) continue;
    std::vector<HANDLE> processes;
    for (const RunningChild& child : running) processes.push_back(child.process.hProcess);
    WaitForMultipleObjects(static_cast<DWORD>(processes.size()), processes.data(), FALSE,
                           millisecondsToNextBound(running, bound));
    const auto now = std::chrono::steady_clock::now();
    for (size_t i = running.size(); i-- > 0;) {
      const bool ended = WaitForSingleObject(running[i].process.hProcess, 0) == WAIT_OBJECT_0;
      if (!ended && now - running[i].began < bound) continue;
      const size_t index = running[i].index;
      done(index, finishChild(running[i], !ended));
      running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
}

}  // namespace kivo::tools
