// Commands whose kivo classes are not in this build yet.

#include "probe.h"

namespace kivo::probe {

namespace {
int notYet(const Invocation& invocation) {
  throw Failure(
      "this build of kivo has no " +
      std::string(invocation.command == "file" ? "FileCaptureGraph" : "VideoCaptureGraph") +
      " yet");
}
}  // namespace

int runFormats(const Invocation& invocation) { return notYet(invocation); }
int runProperties(const Invocation& invocation) { return notYet(invocation); }
int runSet(const Invocation& invocation) { return notYet(invocation); }
int runInputs(const Invocation& invocation) { return notYet(invocation); }
int runCapture(const Invocation& invocation) { return notYet(invocation); }
int runFile(const Invocation& invocation) { return notYet(invocation); }

}  // namespace kivo::probe
