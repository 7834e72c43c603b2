#include "outcome.h"

#include <cstdio>
#include <cstdlib>

namespace kivo::corpus {

namespace {

// The value of `name=` in a report line: up to the next blank, or the
// quoted text when it starts with a quote.
std::string field(const std::string& line, const std::string& name) {
  const size_t at = line.find(" " + name + "=");
  if (at == std::string::npos) return "";
  size_t begin = at + name.size() + 2;
  const bool quoted = begin < line.size() && line[begin] == '"';
  if (quoted) ++begin;
  const size_t end = line.find(quoted ? '"' : ' ', begin);
  return line.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

std::string hex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
  return text;
}

bool parseReport(const std::string& output, Outcome* outcome) {
  const std::string line = output.substr(0, output.find_first_of("\r\n"));
  if (line.compare(0, 5, "read ") == 0) {
    outcome->kind = Kind::Read;
    outcome->reachedEnd = field(line, "end") == "yes";
    outcome->videoSamples = std::atol(field(line, "video").c_str());
    outcome->audioSamples = std::atol(field(line, "audio").c_str());
    outcome->bytes = std::atoll(field(line, "bytes").c_str());
    return true;
  }
  if (line.compare(0, 8, "refused ") == 0) {
    outcome->kind = Kind::Refused;
    outcome->status = field(line, "hr");
    outcome->message = field(line, "message");
    const std::string codec = field(line, "codec");
    if (!codec.empty()) outcome->message += "; codec: " + codec;
    return true;
  }
  return false;
}

}  // namespace

bool isTrouble(const Outcome& outcome) {
  return outcome.kind == Kind::Crash || outcome.kind == Kind::Hang;
}

Outcome classify(const tools::ChildRun& run) {
  Outcome outcome;
  outcome.seconds = run.seconds;
  if (run.timedOut) {
    outcome.kind = Kind::Hang;
  } else if (!run.started) {
    outcome.message = "could not be started";
  } else if (run.exitCode != 0 || !parseReport(run.output, &outcome)) {
    // A crash after the report line (in the graph's teardown, say) is a
    // crash all the same: a host's process would be gone too.
    outcome.kind = Kind::Crash;
    outcome.status = hex(run.exitCode);
  }
  return outcome;
}

std::string summary(const Outcome& outcome) {
  switch (outcome.kind) {
    case Kind::Read:
      return "read " + std::to_string(outcome.videoSamples) + "v/" +
             std::to_string(outcome.audioSamples) + "a" + (outcome.reachedEnd ? "" : " (no end)");
    case Kind::Refused:
      return "refused " + outcome.status;
    case Kind::Crash:
      return "CRASH " + outcome.status;
    case Kind::Hang:
      return "HANG";
  }
  return "";
}

Verdict judge(const Outcome& kivo, const Outcome& hand) {
  if (kivo.kind == Kind::Crash)
    return isTrouble(hand) ? Verdict::PlatformCrash : Verdict::KivoCrash;
  if (kivo.kind == Kind::Hang) return isTrouble(hand) ? Verdict::PlatformHang : Verdict::KivoHang;
  if (isTrouble(hand)) return Verdict::KivoSparesPlatform;
  // A read that delivers nothing before its end reads no more than a refusal.
  const bool handReadSamples = hand.videoSamples + hand.audioSamples > 0;
  if (kivo.kind == Kind::Refused && hand.kind == Kind::Read && hand.reachedEnd && handReadSamples)
    return Verdict::KivoRefusesReadable;
  return Verdict::Agree;
}

bool isKivoFault(Verdict verdict) {
  return verdict == Verdict::KivoCrash || verdict == Verdict::KivoHang ||
         verdict == Verdict::KivoRefusesReadable;
}

const char* verdictText(Verdict verdict) {
  switch (verdict) {
    case Verdict::Agree:
      return "";
    case Verdict::PlatformCrash:
      return "platform's crash";
    case Verdict::PlatformHang:
      return "platform's hang";
    case Verdict::KivoSparesPlatform:
      return "kivo spares the platform's trouble";
    case Verdict::KivoTroubleNotRepeated:
      return "kivo's crash or hang did not repeat";
    case Verdict::KivoCrash:
      return "KIVO CRASHES";
    case Verdict::KivoHang:
      return "KIVO HANGS";
    case Verdict::KivoRefusesReadable:
      return "KIVO REFUSES A READABLE FILE";
  }
  return "";
}

}  // namespace kivo::corpus
