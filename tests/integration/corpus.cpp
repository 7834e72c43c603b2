// kivo-corpus on the corpus of tests/media/make-corpus.sh: on no file does kivo crash, hang or
// refuse where the same graph built by hand does not.

#include <kivo/platform.h>

#include "support/media.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

TEST(Corpus, KivoDoesNoWorseThanTheHandBuiltGraphOnAnyFile) {
  if (!kivo::test::mediaAvailable()) GTEST_SKIP() << "no test media (run through scripts/test.sh)";
  wchar_t self[MAX_PATH] = {};  // kivo-corpus.exe is beside this program
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring commandLine =
      L"\"" + std::filesystem::path(self).replace_filename(L"kivo-corpus.exe").wstring() +
      L"\" \"" + kivo::test::mediaPath("corpus") + L"\"";
  // The tool's table goes to this program's output, which CTest shows on failure.
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = GetStdHandle(STD_OUTPUT_HANDLE);
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &startup, &process));
  const DWORD waited = WaitForSingleObject(process.hProcess, 240000);
  if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 99);
  DWORD exitCode = 99;
  WaitForSingleObject(process.hProcess, 10000);
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(WAIT_OBJECT_0, waited) << "kivo-corpus did not finish within 4 minutes";
  EXPECT_EQ(0u, exitCode) << "kivo crashes, hangs or refuses a readable file: see the table above";
}
