// kivo-probe: a command-line host of kivo.dll. It lists capture devices and
// their formats, properties and inputs, captures frames, reads media files
// and reports the DirectX version, using only what kivo.dll exports.

#include "core/files.h"
#include "core/hresult_text.h"
#include "probe.h"
#include "sampling.h"

#include <kivo/hr_exception.h>
#include <kivo/platform.h>

#include <cstdio>
#include <string>
#include <vector>

namespace kivo::probe {

void check(long hr, const std::string& what) {
  if (FAILED(hr)) throw Failure(what, hr);
}

void out(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

namespace {

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

// COM for the program's one thread, for its whole run.
class ComApartment {
 public:
  ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  HRESULT status() const { return hr_; }

 private:
  HRESULT hr_;
};

int run(const std::vector<std::string>& args) {
  Invocation invocation;
  std::string error;
  if (!parseCommandLine(args, &invocation, &error)) {
    std::fprintf(stderr, "kivo-probe: %s\n", error.c_str());
    return kExitUsage;
  }
  if (invocation.help || invocation.command.empty()) {
    const CommandSpec* command = findCommand(invocation.command);
    std::fputs(command ? commandHelp(*command).c_str() : generalHelp().c_str(), stdout);
    // Nothing asked for at all is a usage error; asking for help is not.
    return invocation.help ? kExitOk : kExitUsage;
  }
  const std::string prefix = "kivo-probe: " + invocation.command + ": ";
  try {
    watchForInterruption();
    ComApartment com;
    check(com.status(), "COM cannot be initialised");
    return dispatch(invocation);
  } catch (const Failure& failure) {
    std::fflush(stdout);
    if (failure.hasStatus) {
      std::fprintf(stderr, "%s%s: %s\n", prefix.c_str(), failure.what.c_str(),
                   describeHResult(failure.hr).c_str());
    } else {
      std::fprintf(stderr, "%s%s\n", prefix.c_str(), failure.what.c_str());
    }
  } catch (const HRException& exception) {
    std::fflush(stdout);
    std::fprintf(stderr, "%skivo failed: %s%s%s\n", prefix.c_str(), exception.getMessage(),
                 *exception.getID() ? " " : "", exception.getID());
  } catch (const std::exception& exception) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s%s\n", prefix.c_str(), exception.what());
  }
  return kExitFailed;
}

}  // namespace
}  // namespace kivo::probe

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(kivo::probe::narrow(argv[i]));
  return kivo::probe::run(args);
}
