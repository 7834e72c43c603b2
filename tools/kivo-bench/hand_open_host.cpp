// hand-open-host: opens a capture device through a graph built by hand with
// plain COM in a fresh process, for kivo-bench's "open" section (see
// open_host.h); it does not load kivo.dll:
//
//   hand-open-host --device NAME --format NAME [--interval N]
//                  [--cpu-seconds S] [--copy]
//
// Finds the device's moniker by friendly name with the system device
// enumerator, binds it, builds the graph of common/hand_built_capture.h
// with the format and interval set on the capture pin, runs it and waits
// for the first frame; with --cpu-seconds it then measures the processor
// time per frame. Prints one report line on standard output; exit status
// 0, 1 when a step failed, 2 for a bad command line.

#include "common/com_apartment.h"
#include "common/hand_built_capture.h"
#include "common/hand_built_graph.h"
#include "common/utf8.h"
#include "open_host.h"

using kivo::bench::counterNow;
using kivo::bench::FrameHandler;
using kivo::bench::HostReport;

int wmain(int argc, wchar_t** argv) {
  HostReport report;
  report.main = counterNow();
  kivo::bench::HostSettings settings;
  if (!kivo::bench::readHostSettings("hand-open-host", argc, argv, &settings)) return 2;
  kivo::tools::ComApartment com;
  if (FAILED(com.status())) return kivo::bench::failHost(report, "com", com.status());

  kivo::CComPtr<IMoniker> moniker;
  HRESULT hr = kivo::tools::findDeviceMoniker(kivo::tools::widen(settings.device), moniker);
  report.listed = counterNow();
  if (hr != S_OK) return kivo::bench::failHost(report, "list", hr);
  FrameHandler handler(settings.copy);
  kivo::tools::PlainCallback callback([&handler](IMediaSample* sample) { handler.handle(sample); });
  kivo::tools::HandBuiltCapture capture;
  hr = capture.open(moniker);
  report.opened = counterNow();
  report.copied = report.opened;  // no second binding here
  if (FAILED(hr)) return kivo::bench::failHost(report, "open", hr);
  hr = capture.build({settings.format, settings.interval}, &callback);
  report.rendered = counterNow();
  if (FAILED(hr)) return kivo::bench::failHost(report, "render", hr);
  hr = capture.run();
  report.started = counterNow();
  if (FAILED(hr)) return kivo::bench::failHost(report, "start", hr);
  if (!handler.waitForFirst()) return kivo::bench::failHost(report, "first_frame", E_FAIL);
  report.first = handler.firstCounter();

  if (settings.cpuSeconds > 0) kivo::bench::measureCpu(handler, settings.cpuSeconds, &report);
  report.modules = kivo::bench::loadedModules();
  kivo::bench::printReport(report);
  return 0;
}
