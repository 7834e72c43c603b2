#pragma once

// What became of one read, told by the child's exit and its report line,
// and whose fault a disagreement between kivo and the hand-built graph is.

#include "common/child_runs.h"

#include <string>

namespace kivo::corpus {

enum class Kind { Read, Refused, Crash, Hang };

struct Outcome {
  Kind kind = Kind::Crash;
  bool reachedEnd = false;  // a read that came to the end of the file
  long videoSamples = 0, audioSamples = 0;
  long long bytes = 0;
  std::string status;   // refused: the render's HRESULT; crash: the exit code
  std::string message;  // refused: the status's text and kivo's codec diagnosis
  double seconds = 0.0;
};

// A child that ended by itself with its report line is a read or a refusal;
// one that ended with any other exit code, or without the line, crashed;
// one terminated at its bound hung.
Outcome classify(const tools::ChildRun& run);

// A crash or a hang.
bool isTrouble(const Outcome& outcome);

// "read 5v/4a", "read 5v/0a (no end)", "refused 0x80040217", "CRASH
// 0xC0000005", "HANG".
std::string summary(const Outcome& outcome);

enum class Verdict {
  Agree,                   // nothing to report
  PlatformCrash,           // kivo crashed, and the hand-built graph crashed or hung too
  PlatformHang,            // kivo hung, and the hand-built graph crashed or hung too
  KivoSparesPlatform,      // the hand-built graph crashed or hung, kivo did not
  KivoTroubleNotRepeated,  // kivo crashed or hung once, not when the file was read again
  KivoCrash,               // kivo crashed where the hand-built graph did not
  KivoHang,                // kivo hung where the hand-built graph did not
  KivoRefusesReadable,     // kivo refused a file whose samples the hand-built graph read to its end
};

Verdict judge(const Outcome& kivo, const Outcome& hand);
bool isKivoFault(Verdict verdict);
const char* verdictText(Verdict verdict);

}  // namespace kivo::corpus
