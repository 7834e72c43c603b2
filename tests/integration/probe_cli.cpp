// kivo-probe run as a child process, as a user runs it: exit statuses, messages, the device
// list, and the bitmaps a capture writes.

#include <kivo/platform.h>

#include <gtest/gtest.h>

#include "support/wait.h"
#include "testcam_ids.h"

#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

struct ProbeRun {
  DWORD exitCode = 0xFFFFFFFF;
  std::string output;  // standard output and error together
};

// Runs kivo-probe with `args` (quoted by the caller) for at most two minutes.
ProbeRun runProbe(const std::wstring& args) {
  ProbeRun run;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return run;
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  wchar_t self[MAX_PATH] = {};  // kivo-probe.exe is beside this program
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring commandLine = self;
  commandLine = L"\"" + commandLine.substr(0, commandLine.find_last_of(L"\\/") + 1) +
                L"kivo-probe.exe\" " + args;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = write;
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  CloseHandle(write);
  if (started) {
    std::thread reader([&] {
      char buffer[4096];
      DWORD n = 0;
      while (ReadFile(read, buffer, sizeof buffer, &n, nullptr) && n > 0)
        run.output.append(buffer, n);
    });
    if (WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0)
      TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, 10000);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    reader.join();
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(read);
  for (size_t at; (at = run.output.find("\r\n")) != std::string::npos;) run.output.erase(at, 1);
  return run;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A fresh folder, removed with its files.
class TempFolder {
 public:
  TempFolder() {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    path = base + (L"kivo-probe-it-" + std::to_wstring(GetCurrentProcessId()));
    CreateDirectoryW(path.c_str(), nullptr);
  }
  ~TempFolder() {
    for (const auto& file : files()) DeleteFileW((path + L"\\" + file.first).c_str());
    RemoveDirectoryW(path.c_str());
  }
  // The name and size of each file.
  std::map<std::wstring, DWORD> files() const {
    std::map<std::wstring, DWORD> found;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return found;
    do {
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        found[data.cFileName] = data.nFileSizeLow;
    } while (FindNextFileW(search, &data));
    FindClose(search);
    return found;
  }
  std::wstring path;
};

TEST(ProbeCli, WrongCommandLinesFailWithAMessage) {
  const struct {
    const wchar_t* args;
    DWORD exitCode;
    const char* message;
  } cases[] = {
      {L"frobnicate", 2, "kivo-probe: unknown command \"frobnicate\""},
      {L"capture 0 --frames 0", 2, "--frames takes a whole number above 0"},
      {L"formats \"No Such Camera\"", 1, "No Such Camera"},
  };
  for (const auto& c : cases) {
    const ProbeRun run = runProbe(c.args);
    EXPECT_EQ(c.exitCode, run.exitCode) << run.output;
    EXPECT_TRUE(contains(run.output, c.message)) << run.output;
  }
}

TEST(ProbeCli, ListsDevicesAndCapturesFramesAsBitmaps) {
  const ProbeRun run = runProbe(L"devices");
  ASSERT_EQ(0u, run.exitCode) << run.output;
  if (!contains(run.output, ": KIVO Test Camera\n")) GTEST_SKIP() << "no KIVO Test Camera";
  EXPECT_TRUE(contains(run.output, std::string(": ") + testcam::kNonAsciiCameraUtf8Name + "\n"))
      << run.output;
  EXPECT_TRUE(contains(run.output, ": KIVO Test Camera (No Path)\n   device path: (none)\n"))
      << run.output;

  TempFolder folder;
  const ProbeRun capture =
      runProbe(L"capture \"KIVO Test Camera\" --format YUY2_160x120 --frames 3 --out \"" +
               folder.path + L"\"");
  ASSERT_EQ(0u, capture.exitCode) << capture.output;
  EXPECT_TRUE(contains(capture.output, "3 frames written")) << capture.output;
  std::vector<DWORD> sizes;  // whole 24-bit bitmaps of 160x120
  for (const auto& file : folder.files()) sizes.push_back(file.second);
  EXPECT_EQ(sizes, std::vector<DWORD>(3, 54 + 160 * 120 * 3));
}

}  // namespace
