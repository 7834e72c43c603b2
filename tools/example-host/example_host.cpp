// Captures 30 frames from the first video capture device.
#include <kivo/kivo.h>

#include <atomic>
#include <cstdio>
#include <memory>

class FrameCounter : public kivo::IMediaCB {
 public:
  // Runs on DirectShow's streaming thread, once per frame.
  long processSample(double time, IMediaSample* sample) override {
    std::printf("frame %ld at %.3f s, %ld bytes\n", ++frames, time, sample->GetActualDataLength());
    return S_OK;
  }
  std::atomic<long> frames{0};
};

int capture() {
  kivo::VideoDeviceList devices;  // from the registrations: no device is opened
  std::unique_ptr<kivo::VideoCaptureFilter> device;
  if (FAILED(devices.open(0, device))) {  // binds the first device only
    std::printf("no video capture device to open\n");
    return 1;
  }
  kivo::VideoCaptureGraph graph(device.get(), 0);  // 0: frames end in a null renderer
  auto* counter = new FrameCounter;
  graph.setMediaCB(counter);  // the graph destroys it at reset
  if (FAILED(graph.render(false))) return 1;
  for (const kivo::VideoCapability& format : graph.getVideoCapabilities()->getCapabilityList())
    std::printf("format %s\n", format.getFullName());
  graph.setSelectedCapID(graph.lookupCapIDByName("YUY2_320x240"));
  if (FAILED(graph.start(false))) return 1;
  for (int waited = 0; counter->frames < 30 && waited < 1000; ++waited) Sleep(10);
  graph.stop();
  return counter->frames >= 30 ? 0 : 1;
}  // the graph resets itself and destroys the callback

int main() {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  int result = 1;
  try {
    result = capture();
  } catch (const kivo::HRException& failure) {
    // A filter the graph needs could not be created.
    std::printf("%s: %s\n", failure.getID(), failure.getMessage());
  }
  CoUninitialize();
  return result;
}
