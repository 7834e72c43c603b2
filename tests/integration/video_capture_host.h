#pragma once

// What the device graph tests share: a host callback logging every frame, the device lookup,
// and a fixture that skips without the Test Camera.

#include <kivo/filter_enums.h>
#include <kivo/media_cb.h>
#include <kivo/mediatype.h>
#include <kivo/video_capability.h>
#include <kivo/video_capture_filter.h>
#include <kivo/video_capture_graph.h>
#include <kivo/video_caps.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/wait.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kivo::test {

constexpr char kUsbCamera[] = "KIVO Test Camera";
constexpr char kAnalogCamera[] = "KIVO Test Camera (Analog)";

// The Test Camera delivers at least 5 frames per second; a loaded machine starts graphs slowly.
constexpr std::chrono::milliseconds kFrameWait(20000);

// What a FrameCollector saw; outlives the collector, which the graph destroys at reset.
struct FrameLog {
  struct Seen {
    std::vector<uint32_t> counters;  // the Test Camera's frame counter
    std::vector<double> times;       // sample start times, seconds
    std::vector<long> sizes;
    std::vector<BYTE> lastFrame;
  };
  Seen seen() {
    std::lock_guard<std::mutex> lock(mutex);
    return data;
  }
  std::mutex mutex;
  Seen data;
  EventCounter frames;
  EventCounter destroyed;
};

class FrameCollector : public IMediaCB {
 public:
  explicit FrameCollector(std::shared_ptr<FrameLog> log) : log_(std::move(log)) {}

  long processSample(double sampleTime, IMediaSample* sample) override {
    BYTE* data = nullptr;
    if (!sample || FAILED(sample->GetPointer(&data)) || !data) return E_POINTER;
    const long length = sample->GetActualDataLength();
    uint32_t counter = 0;
    if (length >= 4) std::memcpy(&counter, data, 4);
    {
      std::lock_guard<std::mutex> lock(log_->mutex);
      log_->data.counters.push_back(counter);
      log_->data.times.push_back(sampleTime);
      log_->data.sizes.push_back(length);
      log_->data.lastFrame.assign(data, data + (length > 0 ? length : 0));
    }
    log_->frames.add();
    return S_OK;
  }

 protected:
  ~FrameCollector() override { log_->destroyed.add(); }

 private:
  std::shared_ptr<FrameLog> log_;
};

inline VideoCaptureFilter* findDevice(const FilterEnums& devices, const char* name) {
  for (Filter* device : devices.getVideoDevices()) {
    if (device && std::strcmp(device->getName(), name) == 0)
      return static_cast<VideoCaptureFilter*>(device);
  }
  return nullptr;
}

inline std::vector<std::string> capabilityNames(const VideoCaptureGraph& graph) {
  std::vector<std::string> names;
  if (const VideoCaps* caps = graph.getVideoCapabilities()) {
    for (const VideoCapability& capability : caps->getCapabilityList())
      names.push_back(capability.getFullName());
  }
  return names;
}

// What is connected at the grabber (zeros where nothing is known).
struct Connected {
  GUID subtype = GUID_NULL;
  long width = 0, height = 0;
  LONGLONG interval = 0;
};

inline Connected connectedFormat(const VideoCaptureGraph& graph) {
  CMediaType type;
  if (FAILED(graph.getSampleGrabberMediaType(type))) return {};
  if (type.formattype != FORMAT_VideoInfo || type.cbFormat < sizeof(VIDEOINFOHEADER))
    return {type.subtype};
  const auto& header = *reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
  return {type.subtype, header.bmiHeader.biWidth, header.bmiHeader.biHeight,
          header.AvgTimePerFrame};
}

class TestCameraTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(com_.status()));
    devices_.reset(new FilterEnums());
    usb_ = findDevice(*devices_, kUsbCamera);
    if (!usb_) GTEST_SKIP() << "the KIVO Test Camera is not registered (build kivo-testcam.dll)";
  }
  void TearDown() override { devices_.reset(); }

  // A new graph on the named device with a logging callback.
  std::unique_ptr<VideoCaptureGraph> openGraph(const char* name, std::shared_ptr<FrameLog> log) {
    VideoCaptureFilter* device = findDevice(*devices_, name);
    if (!device) return nullptr;
    std::unique_ptr<VideoCaptureGraph> graph(new VideoCaptureGraph(device, 0));
    if (log) graph->setMediaCB(new FrameCollector(log));
    return graph;
  }

  ComScope com_;
  std::unique_ptr<FilterEnums> devices_;
  VideoCaptureFilter* usb_ = nullptr;
};

}  // namespace kivo::test
