// kivo-corpus: reads every file of a folder through kivo and through the
// same DirectShow graph built by hand, each read in a process of its own,
// and tells where kivo does worse than the platform.
//
//   kivo-corpus FOLDER [--timeout-ms N] [--jobs N] [--json]
//
// Every file under FOLDER (sub-folders included) is read twice: once with
// kivo::FileCaptureGraph (video as RGB24 and audio as PCM, else video only,
// else audio only) and once with the hand-built graph, each time by this
// program started again as a child ("--read-one kivo|hand FILE"), so that
// a crash or a hang ends that child only. A child that is not done within
// --timeout-ms (default 10000) is terminated; a rendered graph may run to
// the end for half of that. Each read is a read (how many video and audio
// samples, whether the end came), a refusal (the render's status, its text
// and kivo's codec diagnosis), a crash (any other ending: the exit code) or
// a hang. --jobs children (default 4) run at once: most of a child's time
// is Wine starting it.
//
// Prints a table, one row per file, and the totals; --json prints one JSON
// object instead. Exit status 1 when kivo crashes or hangs on a file on
// which the hand-built graph does neither (a crash or hang both show is the
// platform's: reported, not a failure; such a file is read again, alone,
// before kivo is blamed), or refuses a file from which the hand-built graph
// reads samples to its end; 0 otherwise; 2 for a bad command line.

#include "outcome.h"
#include "read_one.h"

#include "common/child_runs.h"
#include "common/com_apartment.h"
#include "common/options.h"
#include "common/utf8.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

using kivo::corpus::Kind;
using kivo::corpus::Outcome;
using kivo::corpus::Verdict;
using kivo::tools::ValueKind;
namespace fs = std::filesystem;

namespace {

// clang-format off
const std::vector<kivo::tools::Option> kOptions = {
    {"--timeout-ms", ValueKind::PositiveInteger, "N"},
    {"--jobs", ValueKind::PositiveInteger, "N"},
    {"--json", ValueKind::Flag},
};
// The child's command line, which the usage does not show.
const std::vector<kivo::tools::Option> kChildOptions = {
    {"--read-one", ValueKind::Choice, "READER", "kivo|hand"},
    {"--run-ms", ValueKind::PositiveInteger, "N"},
};
// clang-format on

struct FileReport {
  std::string name;  // relative to the folder
  Outcome kivo, hand;
  Verdict verdict = Verdict::Agree;
};

// --- the child -------------------------------------------------------------

// An unhandled exception, on any thread, ends the child at once with the
// exception's code as its exit code, without a debugger or a dialog box.
LONG WINAPI exitWithExceptionCode(EXCEPTION_POINTERS* exception) {
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

int readOneFile(const kivo::tools::ParsedOptions& options) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(exitWithExceptionCode);
  kivo::tools::ComApartment com;
  if (FAILED(com.status())) return 3;
  const auto reader = options.text("--read-one") == "kivo" ? kivo::corpus::Reader::Kivo
                                                           : kivo::corpus::Reader::HandBuilt;
  return kivo::corpus::readOne(reader, kivo::tools::widen(options.arguments[0]),
                               std::chrono::milliseconds(options.integer("--run-ms", 5000)));
}

// --- the parent: open, run, report ----------------------------------------

std::vector<fs::path> listFiles(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::wstring quotedArgument(const std::wstring& text) { return L"\"" + text + L"\""; }

std::wstring childCommandLine(const std::wstring& reader, const fs::path& file, long long runMs) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return quotedArgument(self) + L" --read-one " + reader + L" --run-ms " + std::to_wstring(runMs) +
         L" " + quotedArgument(file.wstring());
}

// Reads every file with both readers, the children of all files side by side.
std::vector<FileReport> readAll(const fs::path& folder, const std::vector<fs::path>& files,
                                long long timeoutMs, int jobs) {
  std::vector<std::wstring> commandLines;
  for (const fs::path& file : files) {
    commandLines.push_back(childCommandLine(L"kivo", file, timeoutMs / 2));
    commandLines.push_back(childCommandLine(L"hand", file, timeoutMs / 2));
  }
  std::vector<FileReport> reports(files.size());
  kivo::tools::runChildren(commandLines, jobs, std::chrono::milliseconds(timeoutMs),
                           [&](size_t index, const kivo::tools::ChildRun& run) {
                             FileReport& report = reports[index / 2];
                             (index % 2 == 0 ? report.kivo : report.hand) =
                                 kivo::corpus::classify(run);
                           });
  for (size_t i = 0; i < files.size(); ++i) {
    reports[i].name = kivo::tools::narrow(files[i].lexically_relative(folder).generic_wstring());
    reports[i].verdict = kivo::corpus::judge(reports[i].kivo, reports[i].hand);
  }
  return reports;
}

// A crash or hang of kivo's is checked before kivo is blamed for it. Wine
// does not hang on every read of the same broken file, and a read slowed
// past its bound by the load of its neighbours looks like a hang: such a
// file is read again, one read at a time, once by kivo and four times by the
// hand-built graph. A crash or hang the hand-built graph shows in any of its
// reads is the platform's; one kivo does not show again is reported as such.
constexpr int kHandRereads = 4;  // Wine 10 hangs on some cut AVIs one run in two or three

void rereadSuspects(std::vector<FileReport>& reports, const std::vector<fs::path>& files,
                    long long timeoutMs) {
  std::vector<size_t> suspects;  // the report of each command line
  std::vector<std::wstring> commandLines;
  for (size_t i = 0; i < reports.size(); ++i) {
    if (reports[i].verdict != Verdict::KivoCrash && reports[i].verdict != Verdict::KivoHang)
      continue;
    for (int n = 0; n <= kHandRereads; ++n) {
      suspects.push_back(i);
      commandLines.push_back(childCommandLine(n == 0 ? L"kivo" : L"hand", files[i], timeoutMs / 2));
    }
  }
  std::vector<Outcome> kivoAgain(reports.size());
  kivo::tools::runChildren(commandLines, 1, std::chrono::milliseconds(timeoutMs),
                           [&](size_t index, const kivo::tools::ChildRun& run) {
                             const Outcome again = kivo::corpus::classify(run);
                             if (index % (kHandRereads + 1) == 0) {
                               kivoAgain[suspects[index]] = again;
                             } else if (kivo::corpus::isTrouble(again)) {
                               reports[suspects[index]].hand = again;
                             }
                           });
  for (size_t i : suspects) {
    FileReport& report = reports[i];
    report.verdict = kivo::corpus::judge(report.kivo, report.hand);
    if (kivo::corpus::isKivoFault(report.verdict) && !kivo::corpus::isTrouble(kivoAgain[i]))
      report.verdict = Verdict::KivoTroubleNotRepeated;
  }
}

// How many reads of one reader came to each end.
struct Totals {
  int read = 0, readToEnd = 0, refused = 0, refusedWithText = 0, crash = 0, hang = 0;

  void add(const Outcome& outcome) {
    switch (outcome.kind) {
      case Kind::Read:
        ++read;
        readToEnd += outcome.reachedEnd ? 1 : 0;
        break;
      case Kind::Refused:
        ++refused;
        // A text beyond the bare "0x........" says what went wrong.
        refusedWithText += outcome.message.find('(') != std::string::npos ? 1 : 0;
        break;
      case Kind::Crash:
        ++crash;
        break;
      case Kind::Hang:
        ++hang;
        break;
    }
  }
};

void printTable(const std::vector<FileReport>& reports) {
  std::printf("%-40s %-22s %-22s %s\n", "file", "kivo", "hand-built", "verdict | kivo's message");
  for (const FileReport& r : reports) {
    std::printf("%-40s %-22s %-22s %s%s%s\n", r.name.c_str(), summary(r.kivo).c_str(),
                summary(r.hand).c_str(), verdictText(r.verdict),
                r.kivo.message.empty() ? "" : " | ", r.kivo.message.c_str());
  }
}

void printTotals(const char* reader, const Totals& t) {
  std::printf("%-10s read %d (%d to the end), refused %d (%d with a message), crash %d, hang %d\n",
              reader, t.read, t.readToEnd, t.refused, t.refusedWithText, t.crash, t.hang);
}

std::string jsonText(const std::string& text) {
  std::string json = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') json += '\\';
    json += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
  }
  return json + "\"";
}

std::string jsonOutcome(const Outcome& o) {
  static const char* const kKinds[] = {"read", "refused", "crash", "hang"};
  char numbers[160];
  std::snprintf(numbers, sizeof numbers,
                "\"end\": %s, \"video_samples\": %ld, \"audio_samples\": %ld, \"bytes\": %lld, "
                "\"seconds\": %.2f",
                o.reachedEnd ? "true" : "false", o.videoSamples, o.audioSamples, o.bytes,
                o.seconds);
  return std::string("{\"outcome\": \"") + kKinds[static_cast<int>(o.kind)] + "\", " + numbers +
         ", \"status\": " + jsonText(o.status) + ", \"message\": " + jsonText(o.message) + "}";
}

void printJson(const std::vector<FileReport>& reports, int kivoFaults) {
  std::printf("{\"kivo_faults\": %d, \"files\": [\n", kivoFaults);
  for (size_t i = 0; i < reports.size(); ++i) {
    const FileReport& r = reports[i];
    std::printf("  {\"file\": %s, \"verdict\": %s,\n   \"kivo\": %s,\n   \"hand_built\": %s}%s\n",
                jsonText(r.name).c_str(), jsonText(verdictText(r.verdict)).c_str(),
                jsonOutcome(r.kivo).c_str(), jsonOutcome(r.hand).c_str(),
                i + 1 < reports.size() ? "," : "");
  }
  std::printf("]}\n");
}

// Prints the report; the number of files on which kivo is at fault.
int report(const std::vector<FileReport>& reports, bool json, double seconds) {
  Totals kivo, hand;
  std::map<Verdict, int> verdicts;
  for (const FileReport& r : reports) {
    kivo.add(r.kivo);
    hand.add(r.hand);
    ++verdicts[r.verdict];
  }
  int kivoFaults = 0;
  for (const auto& [verdict, count] : verdicts) kivoFaults += isKivoFault(verdict) ? count : 0;
  if (json) {
    printJson(reports, kivoFaults);
    return kivoFaults;
  }
  printTable(reports);
  std::printf("\n%zu files in %.1f s\n", reports.size(), seconds);
  printTotals("kivo:", kivo);
  printTotals("hand-built:", hand);
  for (const auto& [verdict, count] : verdicts) {
    if (verdict != Verdict::Agree) std::printf("%s: %d\n", verdictText(verdict), count);
  }
  std::printf("%s\n", kivoFaults ? "FAILED: kivo does worse than the platform (see above)"
                                 : "kivo does no worse than the platform on any file");
  return kivoFaults;
}

int readCorpus(const kivo::tools::ParsedOptions& options) {
  const fs::path folder = kivo::tools::widen(options.arguments[0]);
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    std::fprintf(stderr, "kivo-corpus: no folder \"%s\"\n", options.arguments[0].c_str());
    return 2;
  }
  const auto begin = std::chrono::steady_clock::now();
  const std::vector<fs::path> files = listFiles(folder);
  if (files.empty()) {
    // An empty corpus proves nothing: a corpus that was not made must not pass.
    std::fprintf(stderr, "kivo-corpus: no file in \"%s\"\n", options.arguments[0].c_str());
    return 2;
  }
  const long long timeoutMs = options.integer("--timeout-ms", 10000);
  // WaitForMultipleObjects waits for 64 processes at most.
  const int jobs = static_cast<int>(std::min<long long>(options.integer("--jobs", 4), 64));
  std::vector<FileReport> reports = readAll(folder, files, timeoutMs, jobs);
  rereadSuspects(reports, files, timeoutMs);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  return report(reports, options.has("--json"), seconds) ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::vector<std::string> args = kivo::tools::utf8Arguments(argc, argv);
  const bool child = !args.empty() && args[0] == "--read-one";
  kivo::tools::ParsedOptions options;
  std::string error;
  if (!kivo::tools::parseOptions(child ? kChildOptions : kOptions, args, 0, &options, &error) ||
      options.help || options.arguments.size() != 1) {
    if (!error.empty()) std::fprintf(stderr, "kivo-corpus: %s\n", error.c_str());
    std::fprintf(stderr, "usage: kivo-corpus FOLDER [--timeout-ms N] [--jobs N] [--json]\n");
    return 2;
  }
  return child ? readOneFile(options) : readCorpus(options);
}
