// kivo-probe run as a user runs it: exit statuses, messages, the device list, bitmaps written.

#include <kivo/platform.h>

#include <gtest/gtest.h>

#include "support/media.h"
#include "testcam_ids.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
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
  std::wstring commandLine =
      L"\"" + std::filesystem::path(self).replace_filename(L"kivo-probe.exe").wstring() + L"\" " +
      args;
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
struct TempFolder {
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("kivo-probe-it-" + std::to_string(GetCurrentProcessId()));
  TempFolder() { std::filesystem::create_directories(path); }
  ~TempFolder() { std::filesystem::remove_all(path); }
};

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
               folder.path.wstring() + L"\"");
  ASSERT_EQ(0u, capture.exitCode) << capture.output;
  EXPECT_TRUE(contains(capture.output, "3 frames written")) << capture.output;
  std::vector<uintmax_t> sizes;  // whole 24-bit bitmaps of 160x120
  for (const auto& file : std::filesystem::directory_iterator(folder.path))
    sizes.push_back(file.file_size());
  EXPECT_EQ(sizes, std::vector<uintmax_t>(3, 54 + 160 * 120 * 3));
}

// Exit statuses and messages; a WAV written from audio keeps its format, extensible included.
TEST(ProbeCli, CommandLinesAndMediaFilesFailOrAreRead) {
  TempFolder folder;
  const std::wstring out = L"\" --out \"" + folder.path.wstring() + L"\" ";
  const auto file = [&](const char* f) { return L"file \"" + kivo::test::mediaPath(f) + out; };
  const struct {
    std::wstring args;
    DWORD exitCode;
    const char* message;
    uint32_t tag = 0, channels = 0, dataBytes = 0;  // of the WAV written; 0 channels: none
  } cases[] = {
      {L"frobnicate", 2, "kivo-probe: unknown command \"frobnicate\""},
      {L"capture 0 --frames 0", 2, "--frames takes a whole number above 0"},
      {L"formats \"No Such Camera\"", 1, "No Such Camera"},
      {file("no_such_file.avi"), 1, "cannot open"},
      {file("a_folder.avi"), 1, "cannot open"},
      {file("tone_44100_1s.wav"), 0, "has no video stream: reading its audio", 1, 1, 88200},
      {file("pcm_6ch_48000_1s.wav") + L"--video none --audio", 0, "6 channels", 0xFFFE, 6, 576000},
      {file("rgb24_pcm_6ch_1s.avi") + L"--audio", 0, "PCM (extensible", 0xFFFE, 6, 576000},
      {file("pcm_s24_48000_1s.wav") + L"--video none --audio", 0, "24 bits", 0xFFFE, 2, 288000},
  };
  const std::filesystem::path written = folder.path / "audio.wav";
  for (const auto& c : cases) {
    std::filesystem::remove(written);
    const ProbeRun run = runProbe(c.args);
    EXPECT_EQ(c.exitCode, run.exitCode) << run.output;
    EXPECT_TRUE(contains(run.output, c.message)) << run.output;
    EXPECT_FALSE(contains(run.output, "missing codec")) << run.output;
    if (!c.channels) continue;
    uint32_t tagAndChannels = 0;  // two little-endian 16-bit fields, as on Windows
    std::ifstream wav(written, std::ios::binary);
    wav.seekg(20).read(reinterpret_cast<char*>(&tagAndChannels), 4);
    EXPECT_EQ(tagAndChannels, c.channels << 16 | c.tag) << run.output;
    EXPECT_EQ(std::filesystem::file_size(written), (c.tag == 1 ? 44 : 68) + c.dataBytes);  // header
  }
}

}  // namespace
