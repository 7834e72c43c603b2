// kivo-probe run as a child process, as a user runs it: exit statuses,
// messages, the device list, and the files that capture and file write.

#include <kivo/filter.h>
#include <kivo/filter_enums.h>
#include <kivo/platform.h>

#include <gtest/gtest.h>

#include "support/wait.h"
#include "testcam_ids.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

struct ProbeRun {
  DWORD exitCode = 0xFFFFFFFF;
  bool finished = false;
  std::string out;
  std::string err;
};

std::wstring widen(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], n);
  wide.resize(static_cast<size_t>(n) - 1);
  return wide;
}

std::string narrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &result[0], n, nullptr, nullptr);
  result.resize(static_cast<size_t>(n) - 1);
  return result;
}

std::wstring programPath() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = self;
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"kivo-probe.exe";
}

std::wstring quoted(const std::string& arg) {
  std::wstring wide = widen(arg);
  if (!wide.empty() && wide.find_first_of(L" \t\"") == std::wstring::npos) return wide;
  std::wstring result = L"\"";
  for (wchar_t c : wide) {
    if (c == L'"') result += L'\\';
    result += c;
  }
  return result + L"\"";
}

void readAll(HANDLE pipe, std::string* into) {
  char buffer[4096];
  DWORD n = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) into->append(buffer, n);
}

// Runs kivo-probe with `args`, waiting at most `timeoutMs`; a program that
// does not end in time is terminated and reported as unfinished.
ProbeRun runProbe(const std::vector<std::string>& args, DWORD timeoutMs = 120000) {
  ProbeRun run;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE outRead, outWrite, errRead, errWrite;
  if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) return run;
  if (!CreatePipe(&errRead, &errWrite, &inherit, 0)) return run;
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

  std::wstring commandLine = quoted(narrow(programPath()));
  for (const std::string& arg : args) commandLine += L" " + quoted(arg);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = outWrite;
  startup.hStdError = errWrite;
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  CloseHandle(outWrite);
  CloseHandle(errWrite);
  if (!started) {
    CloseHandle(outRead);
    CloseHandle(errRead);
    run.err = "cannot start kivo-probe.exe: error " + std::to_string(GetLastError());
    return run;
  }
  std::thread outReader(readAll, outRead, &run.out);
  std::thread errReader(readAll, errRead, &run.err);
  if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
    run.finished = true;
    GetExitCodeProcess(process.hProcess, &run.exitCode);
  } else {
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, 10000);
  }
  outReader.join();
  errReader.join();
  // The program writes text mode: line ends arrive as CR LF.
  for (std::string* text : {&run.out, &run.err}) {
    size_t at;
    while ((at = text->find("\r\n")) != std::string::npos) text->erase(at, 1);
  }
  CloseHandle(outRead);
  CloseHandle(errRead);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return run;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A fresh, empty folder in the temporary folder, removed with its files.
class TempFolder {
 public:
  TempFolder() {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    static int counter = 0;
    path_ = narrow(base) + "kivo-probe-it-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++counter);
    CreateDirectoryW(widen(path_).c_str(), nullptr);
  }
  ~TempFolder() {
    for (const std::string& name : files("*")) DeleteFileW(widen(path_ + "\\" + name).c_str());
    RemoveDirectoryW(widen(path_).c_str());
  }
  const std::string& path() const { return path_; }
  std::vector<std::string> files(const char* pattern) const {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(widen(path_ + "\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        names.push_back(narrow(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
  }
  std::vector<uint8_t> read(const std::string& name) const {
    std::vector<uint8_t> bytes;
    FILE* file = _wfopen(widen(path_ + "\\" + name).c_str(), L"rb");
    if (!file) return bytes;
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
      bytes.insert(bytes.end(), buffer, buffer + n);
    fclose(file);
    return bytes;
  }

 private:
  std::string path_;
};

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

// Checks that a file is a 24-bit BMP of width x height with nothing missing.
::testing::AssertionResult isBmp(const std::vector<uint8_t>& bytes, int width, int height) {
  if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') {
    return ::testing::AssertionFailure() << "not a BMP (" << bytes.size() << " bytes)";
  }
  const int32_t w = static_cast<int32_t>(le32(bytes, 18));
  const int32_t h = static_cast<int32_t>(le32(bytes, 22));
  const size_t rowBytes = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
  if (w != width || h != height || (bytes[28] | (bytes[29] << 8)) != 24) {
    return ::testing::AssertionFailure()
           << "a " << w << "x" << h << " bitmap, expected " << width << "x" << height;
  }
  if (bytes.size() != 54 + rowBytes * height || le32(bytes, 2) != bytes.size()) {
    return ::testing::AssertionFailure()
           << "size " << bytes.size() << ", expected " << 54 + rowBytes * height;
  }
  return ::testing::AssertionSuccess();
}

// "... frames of 640x480 into ..." from the program's output.
bool frameSizeFrom(const std::string& out, const char* marker, int* width, int* height) {
  const size_t at = out.find(marker);
  return at != std::string::npos &&
         std::sscanf(out.c_str() + at + std::string(marker).size(), "%dx%d", width, height) == 2;
}

bool testCameraPresent() {
  kivo::test::ComScope com;
  kivo::FilterEnums enums;
  for (const kivo::Filter* device : enums.getVideoDevices()) {
    if (std::string(device->getName()) == "KIVO Test Camera") return true;
  }
  return false;
}

std::string mediaFile(const char* name) {
  const char* folder = std::getenv("KIVO_TEST_MEDIA");
  if (!folder || !*folder) return std::string();
  std::string path = std::string(folder) + "/" + name;
  if (path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return GetFileAttributesW(widen(path).c_str()) == INVALID_FILE_ATTRIBUTES ? std::string() : path;
}

TEST(ProbeCommandLine, WrongCommandLinesFailWithAMessage) {
  const struct {
    std::vector<std::string> args;
    DWORD exitCode;
    const char* message;
  } cases[] = {
      {{"frobnicate"}, 2, "unknown command \"frobnicate\""},
      {{"capture"}, 2, "missing argument"},
      {{"capture", "0", "--frames", "0"}, 2, "--frames takes a whole number above 0"},
      {{"capture", "0", "--frames", "1", "--seconds", "1"}, 2, "cannot be given together"},
      {{"file", "x.avi", "--video", "mjpg"}, 2, "rgb24|yuy2|native"},
      {{"set", "0", "Exposure"}, 2, "is not NAME=VALUE"},
      {{"formats", "No Such Camera"}, 1, "No Such Camera"},
      {{}, 2, ""},
  };
  for (const auto& c : cases) {
    const ProbeRun run = runProbe(c.args);
    ASSERT_TRUE(run.finished) << run.err;
    EXPECT_EQ(c.exitCode, run.exitCode) << run.err;
    EXPECT_TRUE(contains(run.err, c.message)) << run.err;
    if (*c.message) {
      EXPECT_TRUE(contains(run.err, "kivo-probe: ")) << run.err;
    }
  }
}

TEST(ProbeCommandLine, HelpOnEveryCommandAndDxVersion) {
  for (const char* command :
       {"devices", "formats", "properties", "set", "inputs", "capture", "file", "dxversion"}) {
    const ProbeRun run = runProbe({command, "--help"});
    ASSERT_TRUE(run.finished) << run.err;
    EXPECT_EQ(0u, run.exitCode) << command;
    EXPECT_TRUE(contains(run.out, std::string("usage: kivo-probe ") + command)) << run.out;
  }
  const ProbeRun general = runProbe({"--help"});
  EXPECT_EQ(0u, general.exitCode);
  EXPECT_TRUE(contains(general.out, "capture DEVICE")) << general.out;

  // Wine's system folder has d3d9.dll: DirectX 9.0.
  const ProbeRun version = runProbe({"dxversion"});
  EXPECT_EQ(0u, version.exitCode) << version.err;
  EXPECT_TRUE(contains(version.out, "DirectX 9.0 (packed 0x00090000)")) << version.out;
}

TEST(ProbeDevices, ListsTheTestCameraWithIndexPathAndVfwFlag) {
  if (!testCameraPresent()) GTEST_SKIP() << "the KIVO Test Camera is not registered";
  const ProbeRun run = runProbe({"devices"});
  ASSERT_TRUE(run.finished) << run.err;
  ASSERT_EQ(0u, run.exitCode) << run.err;
  EXPECT_TRUE(contains(run.out, ": KIVO Test Camera\n")) << run.out;
  EXPECT_TRUE(contains(run.out, "   device path: ")) << run.out;
  EXPECT_TRUE(contains(run.out, "   Video for Windows: no")) << run.out;
  // Names as UTF-8; an empty device path shows as none.
  EXPECT_TRUE(contains(run.out, std::string(": ") + testcam::kNonAsciiCameraUtf8Name + "\n"))
      << run.out;
  EXPECT_TRUE(contains(run.out, ": KIVO Test Camera (No Path)\n   device path: (none)\n"))
      << run.out;

  // An index past the list names the devices there are.
  const ProbeRun wrong = runProbe({"formats", "99"});
  EXPECT_EQ(1u, wrong.exitCode);
  EXPECT_TRUE(contains(wrong.err, "KIVO Test Camera")) << wrong.err;
}

TEST(ProbeCapture, WritesTheRequestedNumberOfFramesAsBitmaps) {
  if (!testCameraPresent()) GTEST_SKIP() << "the KIVO Test Camera is not registered";
  TempFolder folder;
  const ProbeRun run =
      runProbe({"capture", "KIVO Test Camera", "--frames", "5", "--out", folder.path()});
  ASSERT_TRUE(run.finished) << run.out;
  ASSERT_EQ(0u, run.exitCode) << run.out << run.err;
  int width = 0, height = 0;
  ASSERT_TRUE(frameSizeFrom(run.out, " frames of ", &width, &height)) << run.out;
  const std::vector<std::string> frames = folder.files("frame-*.bmp");
  EXPECT_EQ(5u, frames.size());
  for (const std::string& name : frames) {
    EXPECT_TRUE(isBmp(folder.read(name), width, height)) << name;
  }
  EXPECT_TRUE(contains(run.out, "5 frames written")) << run.out;
}

// The colour (0xRRGGBB) of a 24-bit bottom-up BMP at (x, y) from the top.
uint32_t bmpPixel(const std::vector<uint8_t>& bmp, int x, int y) {
  const int width = static_cast<int32_t>(le32(bmp, 18));
  const int height = static_cast<int32_t>(le32(bmp, 22));
  const size_t rowBytes = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
  const size_t at = le32(bmp, 10) + (height - 1 - y) * rowBytes + x * 3;
  return (bmp[at + 2] << 16) | (bmp[at + 1] << 8) | bmp[at];
}

bool closeColours(uint32_t a, uint32_t b, int tolerance) {
  for (int shift = 0; shift <= 16; shift += 8) {
    if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) >
        tolerance) {
      return false;
    }
  }
  return true;
}

TEST(ProbeCapture, EveryConvertibleFormatGivesTheSamePicture) {
  if (!testCameraPresent()) GTEST_SKIP() << "the KIVO Test Camera is not registered";
  const ProbeRun formats = runProbe({"formats", "KIVO Test Camera"});
  ASSERT_EQ(0u, formats.exitCode) << formats.err;
  // "3: RGB24_640x480" lines; the subtype is the name up to the underscore.
  std::vector<std::string> names;
  size_t at = 0;
  while ((at = formats.out.find(": ", at)) != std::string::npos) {
    const size_t end = formats.out.find('\n', at);
    const std::string name = formats.out.substr(at + 2, end - at - 2);
    at = end;
    const std::string subtype = name.substr(0, name.find('_'));
    for (const char* convertible : {"YUY2", "UYVY", "I420", "YV12", "NV12", "RGB24", "RGB32"}) {
      if (subtype == convertible && name.find(' ') == std::string::npos) names.push_back(name);
    }
  }
  ASSERT_GE(names.size(), 2u) << formats.out;
  // The rows really differ, or an upside-down frame would pass.
  bool rowsDiffer = false;

  // The picture sampled in eight columns of two rows, for each format.
  std::vector<std::vector<uint32_t>> rows;
  for (const std::string& name : names) {
    TempFolder folder;
    const ProbeRun run =
        runProbe({"capture", "0", "--format", name, "--frames", "1", "--out", folder.path()});
    ASSERT_EQ(0u, run.exitCode) << name << ": " << run.err;
    const std::vector<uint8_t> bmp = folder.read("frame-000001.bmp");
    int width = 0, height = 0;
    ASSERT_TRUE(frameSizeFrom(run.out, " frames of ", &width, &height)) << run.out;
    ASSERT_TRUE(isBmp(bmp, width, height)) << name;
    // Two rows, a quarter from the top and from the bottom: the picture
    // darkens downwards, so a frame upside down shows.
    std::vector<uint32_t> row;
    for (int y : {height / 4, 3 * height / 4}) {
      for (int column = 0; column < 8; ++column) {
        row.push_back(bmpPixel(bmp, (2 * column + 1) * width / 16, y));
      }
    }
    rows.push_back(row);
  }
  for (int column = 0; column < 8; ++column) {
    rowsDiffer = rowsDiffer || !closeColours(rows[0][column], rows[0][column + 8], 24);
  }
  EXPECT_TRUE(rowsDiffer);
  // YUV formats go through a conversion with rounding: allow a little.
  for (size_t i = 1; i < rows.size(); ++i) {
    for (size_t column = 0; column < rows[0].size(); ++column) {
      EXPECT_TRUE(closeColours(rows[0][column], rows[i][column], 24))
          << names[i] << " point " << column << ": " << std::hex << rows[i][column] << " vs "
          << rows[0][column] << " in " << names[0];
    }
  }
}

// The sample data of a WAV file (the "data" chunk), found by walking the
// chunks; empty when there is none.
std::vector<uint8_t> wavData(const std::vector<uint8_t>& wav) {
  if (wav.size() < 12 || std::string(wav.begin(), wav.begin() + 4) != "RIFF") return {};
  size_t at = 12;
  while (at + 8 <= wav.size()) {
    const uint32_t size = le32(wav, at + 4);
    if (std::string(wav.begin() + at, wav.begin() + at + 4) == "data") {
      const size_t end = std::min(wav.size(), at + 8 + static_cast<size_t>(size));
      return std::vector<uint8_t>(wav.begin() + at + 8, wav.begin() + end);
    }
    at += 8 + size + (size & 1);
  }
  return {};
}

std::vector<uint8_t> readFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* file = _wfopen(widen(path).c_str(), L"rb");
  if (!file) return bytes;
  uint8_t buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) {
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  fclose(file);
  return bytes;
}

TEST(ProbeFile, WritesEveryFrameOfAMediaFileAsABitmap) {
  // 2 s of 160x120 RGB24 at 10 frames per second.
  const std::string path = mediaFile("rgb24_pcm_2s.avi");
  if (path.empty()) GTEST_SKIP() << "no media file in KIVO_TEST_MEDIA";
  TempFolder folder;
  const ProbeRun run = runProbe({"file", path, "--out", folder.path()});
  ASSERT_TRUE(run.finished) << run.out;
  ASSERT_EQ(0u, run.exitCode) << run.out << run.err;
  EXPECT_TRUE(contains(run.out, "video: RGB24 160x120, 24 bits per pixel, 10.000 fps")) << run.out;
  // The platform measures files in seconds only.
  EXPECT_TRUE(contains(run.out, "duration: unsupported frames, unsupported samples, 2.00 s"))
      << run.out;
  EXPECT_TRUE(contains(run.out, "end of stream reached")) << run.out;
  EXPECT_TRUE(contains(run.out, "20 frames written")) << run.out;
  const std::vector<std::string> frames = folder.files("frame-*.bmp");
  EXPECT_EQ(20u, frames.size());
  for (const std::string& name : frames) EXPECT_TRUE(isBmp(folder.read(name), 160, 120)) << name;

  // --frames stops early.
  TempFolder few;
  const ProbeRun limited = runProbe({"file", path, "--frames", "3", "--out", few.path()});
  EXPECT_EQ(0u, limited.exitCode) << limited.err;
  EXPECT_EQ(3u, few.files("frame-*.bmp").size());
}

TEST(ProbeFile, WritesTheSoundOfAMediaFileAsTheSameSamples) {
  // 1 s of 44100 Hz mono 16-bit PCM.
  const std::string path = mediaFile("tone_44100_1s.wav");
  if (path.empty()) GTEST_SKIP() << "no media file in KIVO_TEST_MEDIA";
  TempFolder folder;
  const ProbeRun run =
      runProbe({"file", path, "--video", "none", "--audio", "--out", folder.path()});
  ASSERT_TRUE(run.finished) << run.out;
  ASSERT_EQ(0u, run.exitCode) << run.out << run.err;
  EXPECT_TRUE(contains(run.out, "audio: PCM 44100 Hz, 16 bits, 1 channels")) << run.out;
  const std::vector<uint8_t> written = folder.read("audio.wav");
  ASSERT_GE(written.size(), 44u);
  // The header of a 44100 Hz mono 16-bit PCM file.
  EXPECT_EQ(1u, le32(written, 20) & 0xFFFF);
  EXPECT_EQ(1u, le32(written, 20) >> 16);
  EXPECT_EQ(44100u, le32(written, 24));
  EXPECT_EQ(88200u, le32(written, 28));
  const std::vector<uint8_t> samples = wavData(written);
  EXPECT_EQ(88200u, samples.size());
  EXPECT_TRUE(samples == wavData(readFile(path))) << "the samples differ from the file's";
}

TEST(ProbeFile, AFileThatCannotBeOpenedNamesTheStatusAndTheCodec) {
  std::string path = mediaFile("divx_160x120.avi");
  if (path.empty()) path = mediaFile("random.avi");
  if (path.empty()) GTEST_SKIP() << "no undecodable media file in KIVO_TEST_MEDIA";
  const ProbeRun run = runProbe({"file", path});
  ASSERT_TRUE(run.finished) << run.err;
  EXPECT_EQ(1u, run.exitCode);
  EXPECT_TRUE(contains(run.err, "missing codec: ")) << run.err;
  EXPECT_TRUE(contains(run.err, ": 0x8")) << run.err;
}

}  // namespace
