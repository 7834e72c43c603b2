// kivo-open-host: opens a capture device through kivo in a fresh process,
// for kivo-bench's "open" section (see open_host.h):
//
//   kivo-open-host --device NAME --format NAME [--interval N]
//                  [--cpu-seconds S] [--copy]
//
// Lists the devices (kivo::VideoDeviceList), opens the one named, renders a
// VideoCaptureGraph with the null renderer, selects the format and frame
// interval, starts it and waits for the first frame; with --cpu-seconds it
// then measures the processor time per frame. Prints one report line on
// standard output; exit status 0, 1 when a step failed, 2 for a bad
// command line.

#include <kivo/media_cb.h>
#include <kivo/video_capture_filter.h>
#include <kivo/video_capture_graph.h>
#include <kivo/video_caps.h>
#include <kivo/video_device_list.h>

#include "common/com_apartment.h"
#include "common/find_device.h"
#include "open_host.h"

#include <cstring>
#include <memory>

using kivo::bench::counterNow;
using kivo::bench::FrameHandler;
using kivo::bench::HostReport;

namespace {

class HostCallback : public kivo::IMediaCB {
 public:
  explicit HostCallback(FrameHandler* handler) : handler_(handler) {}
  long processSample(double, IMediaSample* sample) override {
    handler_->handle(sample);
    return S_OK;
  }

 private:
  FrameHandler* handler_;
};

// Whether the graph's format list has a format of that name.
bool offersFormat(const kivo::VideoCaptureGraph& graph, const std::string& name) {
  const kivo::VideoCaps* caps = graph.getVideoCapabilities();
  if (!caps) return false;
  for (const kivo::VideoCapability& capability : caps->getCapabilityList()) {
    if (name == capability.getFullName()) return true;
  }
  return false;
}

// Renders the graph, then selects the format and interval (the format list
// exists once the graph has rendered), as a host does.
HRESULT renderWithFormat(kivo::VideoCaptureGraph& graph,
                         const kivo::bench::HostSettings& settings) {
  HRESULT hr = graph.render(false);
  if (FAILED(hr)) return hr;
  if (!offersFormat(graph, settings.format)) return VFW_E_TYPE_NOT_ACCEPTED;
  graph.setSelectedCapID(graph.lookupCapIDByName(settings.format.c_str()));
  return graph.setFrameRate(settings.interval, true);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  HostReport report;
  report.main = counterNow();
  kivo::bench::HostSettings settings;
  if (!kivo::bench::readHostSettings("kivo-open-host", argc, argv, &settings)) return 2;
  kivo::tools::ComApartment com;
  if (FAILED(com.status())) return kivo::bench::failHost(report, "com", com.status());

  kivo::VideoDeviceList devices;
  const size_t index = kivo::tools::findVideoDevice(devices, settings.device);
  report.listed = counterNow();
  if (index == devices.getDevices().size()) return kivo::bench::failHost(report, "list", S_FALSE);
  std::unique_ptr<kivo::VideoCaptureFilter> device;
  HRESULT hr = devices.open(index, device);
  report.opened = counterNow();
  if (FAILED(hr)) return kivo::bench::failHost(report, "open", hr);

  FrameHandler handler(settings.copy);
  kivo::VideoCaptureGraph graph(device.get(), 0);
  report.copied = counterNow();
  graph.setMediaCB(new HostCallback(&handler));
  hr = renderWithFormat(graph, settings);
  report.rendered = counterNow();
  if (FAILED(hr)) return kivo::bench::failHost(report, "render", hr);
  hr = graph.start(false);
  report.started = counterNow();
  if (FAILED(hr)) return kivo::bench::failHost(report, "start", hr);
  if (!handler.waitForFirst()) return kivo::bench::failHost(report, "first_frame", E_FAIL);
  report.first = handler.firstCounter();

  if (settings.cpuSeconds > 0) kivo::bench::measureCpu(handler, settings.cpuSeconds, &report);
  report.modules = kivo::bench::loadedModules();
  graph.stop();
  graph.reset();
  kivo::bench::printReport(report);
  return 0;
}
