// kivo-probe: a command-line host of kivo.dll. It lists capture devices and
// their formats, properties and inputs, captures frames, reads media files
// and reports the DirectX version, using only what kivo.dll exports.

#include "common/com_apartment.h"
#include "core/hresult_text.h"
#include "probe.h"
#include "sampling.h"

#include <kivo/hr_exception.h>
#include <kivo/kivo_c.h>
#include <kivo/platform.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace kivo::probe {

void check(long hr, const std::string& what) {
  if (FAILED(hr)) throw Failure(what, hr);
}

namespace {

bool textLines = true;

}  // namespace

void out(const std::string& line) {
  if (!textLines) return;
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void setTextOutput(bool on) { textLines = on; }

bool textOutput() { return textLines; }

void printDocument(const JsonWriter& document) {
  std::fputs((document.text() + "\n").c_str(), stdout);
  std::fflush(stdout);
}

namespace {

// {"error": {"message": ..., "status": "0x80004005" or null}} and, when the
// failure named it, the missing decoder.
JsonWriter errorDocument(const std::string& message, const std::optional<Failure>& failure) {
  char status[16] = "";
  if (failure && failure->hasStatus) {
    std::snprintf(status, sizeof status, "0x%08lX", static_cast<unsigned long>(failure->hr));
  }
  JsonWriter document;
  document.beginObject().key("error").beginObject().key("message").string(message);
  document.key("status").stringOrNull(status);
  if (failure && !failure->missingCodec.empty()) {
    document.key("missing_codec").string(failure->missingCodec);
  }
  document.endObject().endObject();
  return document;
}

int dispatch(const Invocation& invocation) {
  const std::string& command = invocation.command;
  if (command == "devices") return runDevices(invocation);
  if (command == "formats") return runFormats(invocation);
  if (command == "properties") return runProperties(invocation);
  if (command == "set") return runSet(invocation);
  if (command == "inputs") return runInputs(invocation);
  if (command == "capture") return runCapture(invocation);
  if (command == "file") return runFile(invocation);
  if (command == "dxversion") return runDxVersion(invocation);
  throw Failure("no handler for the command \"" + command + "\"");
}

// kivo-probe's own version, then that of the kivo.dll it loaded: a kivo.dll
// from elsewhere on the search path shows here.
int printVersion() {
  out(std::string("kivo-probe ") + KIVO_VERSION);
  out(std::string("kivo.dll ") + kivo_version());
  return kExitOk;
}

int run(const std::vector<std::string>& args) {
  Invocation invocation;
  std::string error;
  if (!parseCommandLine(args, &invocation, &error)) {
    std::fprintf(stderr, "kivo-probe: %s\n", error.c_str());
    return kExitUsage;
  }
  if (invocation.version) return printVersion();
  if (invocation.help || invocation.command.empty()) {
    const Command* command = findCommand(invocation.command);
    std::fputs(command ? commandHelp(*command).c_str() : generalHelp().c_str(), stdout);
    // Nothing asked for at all is a usage error; asking for help is not.
    return invocation.help ? kExitOk : kExitUsage;
  }
  const bool json = invocation.has("--json");
  setTextOutput(!json);
  std::string message;
  std::optional<Failure> failed;
  try {
    watchForInterruption();
    tools::ComApartment com;
    check(com.status(), "COM cannot be initialised");
    return dispatch(invocation);
  } catch (const Failure& failure) {
    message = failure.hasStatus ? failure.what + ": " + describeHResult(failure.hr) : failure.what;
    failed = failure;
  } catch (const HRException& exception) {
    message = std::string("kivo failed: ") + exception.getMessage() +
              (*exception.getID() ? " " : "") + exception.getID();
  } catch (const std::exception& exception) {
    message = exception.what();
  }
  // What the command printed before it failed comes first.
  std::fflush(stdout);
  std::fprintf(stderr, "kivo-probe: %s: %s\n", invocation.command.c_str(), message.c_str());
  if (json) printDocument(errorDocument(message, failed));
  return kExitFailed;
}

}  // namespace
}  // namespace kivo::probe

int wmain(int argc, wchar_t** argv) {
  return kivo::probe::run(kivo::tools::utf8Arguments(argc, argv));
}
