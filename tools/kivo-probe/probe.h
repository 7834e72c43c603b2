#pragma once

// Shared pieces of kivo-probe's commands.

#include "core/command_line.h"
#include "common/json.h"

#include <string>

namespace kivo::probe {

using tools::jsonNumber;
using tools::jsonString;
using tools::JsonWriter;

// Exit statuses.
const int kExitOk = 0;
const int kExitFailed = 1;
const int kExitUsage = 2;

// A failure of a command: what failed and, when a status caused it, the
// status. main() prints it and exits with kExitFailed.
struct Failure {
  std::string what;
  long hr = 0;
  bool hasStatus = false;
  // A file that cannot be opened: the decoder it needs, when the diagnosis
  // named one (the text is in `what` as well; --json gives it a key).
  std::string missingCodec;

  explicit Failure(std::string text) : what(std::move(text)) {}
  Failure(std::string text, long status) : what(std::move(text)), hr(status), hasStatus(true) {}
};

// Throws a Failure naming `what` when `hr` is a failure status.
void check(long hr, const std::string& what);

// Prints a line to standard output at once (progress lines use "\r").
void out(const std::string& line);

// With --json, standard output carries the document alone: the text lines
// (out) and the progress line are not printed.
void setTextOutput(bool on);
bool textOutput();

// Prints a complete JSON document to standard output.
void printDocument(const JsonWriter& document);

int runDevices(const Invocation& invocation);
int runFormats(const Invocation& invocation);
int runProperties(const Invocation& invocation);
int runSet(const Invocation& invocation);
int runInputs(const Invocation& invocation);
int runCapture(const Invocation& invocation);
int runFile(const Invocation& invocation);
int runDxVersion(const Invocation& invocation);

}  // namespace kivo::probe
