// A host captures from the KIVO Test Camera through Wine's DirectShow, also when things go wrong.

#include <kivo/kivo.h>  // the umbrella header alone brings in every exported class

#include "support/media.h"
#include "support/scoped_value.h"
#include "support/wait.h"
#include "testcam_ids.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

namespace kivo::test {
namespace {

using std::chrono::milliseconds;
using ::testing::ElementsAre;

constexpr char kUsbCamera[] = "KIVO Test Camera";
constexpr char kAnalogCamera[] = "KIVO Test Camera (Analog)";
// The Test Camera delivers at least 5 frames per second; a loaded machine starts graphs slowly.
constexpr milliseconds kFrameWait(20000);
constexpr milliseconds kQuiet(400);  // how long a test watches for frames that must not come

// What a FrameCollector saw, and how it behaves; outlives the collector, which the graph destroys.
struct FrameLog {
  struct Seen {
    std::vector<uint32_t> counters;  // the Test Camera's frame counter
    std::vector<long> sizes;
    std::vector<double> times;  // sample start times, seconds
    std::vector<BYTE> lastFrame;
  };
  Seen seen() {
    std::lock_guard<std::mutex> lock(mutex);
    return data;
  }
  std::mutex mutex;
  Seen data;
  EventCounter frames, destroyed;
  int throwEvery = 0;  // throws on every n-th frame
  long blockAt = 0;    // blocks in this frame for 1.5 s, as a host busy with it
  std::atomic<bool> inside{false};
};

class FrameCollector : public IMediaCB {
 public:
  explicit FrameCollector(std::shared_ptr<FrameLog> log) : log_(std::move(log)) {}

  long processSample(double time, IMediaSample* sample) override {
    log_->inside = true;
    BYTE* data = nullptr;
    if (!sample || FAILED(sample->GetPointer(&data)) || !data) return E_POINTER;
    const long length = std::max(sample->GetActualDataLength(), 0L);
    uint32_t counter = 0;
    if (length >= 4) std::memcpy(&counter, data, 4);
    {
      std::lock_guard<std::mutex> lock(log_->mutex);
      log_->data.counters.push_back(counter), log_->data.sizes.push_back(length);
      log_->data.times.push_back(time), log_->data.lastFrame.assign(data, data + length);
    }
    log_->frames.add();
    const long calls = log_->frames.count();
    if (calls == log_->blockAt) {
      HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      WaitForSingleObject(never, 1500), CloseHandle(never);
    }
    log_->inside = false;
    if (log_->throwEvery && calls % log_->throwEvery == 0) throw std::runtime_error("host");
    return S_OK;
  }

 protected:
  ~FrameCollector() override { log_->destroyed.add(); }

 private:
  std::shared_ptr<FrameLog> log_;
};

VideoCaptureFilter* findDevice(const FilterEnums& devices, const char* name) {
  for (Filter* device : devices.getVideoDevices())
    if (std::strcmp(device->getName(), name) == 0) return static_cast<VideoCaptureFilter*>(device);
  return nullptr;
}

std::vector<std::string> capabilityNames(const VideoCaptureGraph& graph) {
  std::vector<std::string> names;
  if (const VideoCaps* caps = graph.getVideoCapabilities())
    for (const VideoCapability& c : caps->getCapabilityList()) names.push_back(c.getFullName());
  return names;
}

BaseProperty* property(const VideoCaptureGraph& graph, const std::string& name) {
  const std::map<std::string, BaseProperty*> all = graph.getPropertyContainer();
  return all.count(name) ? all.at(name) : nullptr;
}

// What is connected at the grabber: subtype, width, height, frame interval (zeros if unknown).
std::tuple<GUID, long, long, LONGLONG> connectedFormat(const VideoCaptureGraph& graph) {
  CMediaType type;
  if (FAILED(graph.getSampleGrabberMediaType(type))) return {GUID_NULL, 0, 0, 0};
  if (type.formattype != FORMAT_VideoInfo || type.cbFormat < sizeof(VIDEOINFOHEADER))
    return {type.subtype, 0, 0, 0};
  const auto& header = *reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
  return {type.subtype, header.bmiHeader.biWidth, header.bmiHeader.biHeight,
          header.AvgTimePerFrame};
}

// Waits for `frames` more frames from now; the last frame.
std::vector<BYTE> framesAfter(FrameLog& log, long frames = 3) {
  EXPECT_TRUE(log.frames.waitFor(log.frames.count() + frames, kFrameWait))
      << log.frames.count() << " frames";
  return log.seen().lastFrame;
}

// Starts the graph, waits for `frames` more frames and stops it.
void capture(VideoCaptureGraph& graph, FrameLog& log, long frames = 3) {
  EXPECT_EQ(graph.start(false), S_OK);
  framesAfter(log, frames);
  EXPECT_EQ(graph.stop(), S_OK);
}

class TestCameraTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(com_.status()));
    devices_.reset(new FilterEnums());
    if (!findDevice(*devices_, kUsbCamera)) GTEST_SKIP() << "the KIVO Test Camera is missing";
  }

  // A graph on `device`, rendered in `format` if given; bound anew, so `fault` applies to it alone.
  std::unique_ptr<VideoCaptureGraph> openGraph(std::shared_ptr<FrameLog> log,
                                               const char* device = kUsbCamera,
                                               const char* format = "YUY2_160x120",
                                               const wchar_t* fault = nullptr,
                                               const wchar_t* faultValue = nullptr) {
    std::unique_ptr<ScopedEnvironment> environment;
    if (fault) environment = std::make_unique<ScopedEnvironment>(fault, faultValue);
    VideoCaptureFilter* filter = findDevice(*devices_, device);
    if (!filter) return nullptr;
    auto graph = std::make_unique<VideoCaptureGraph>(filter, 0);
    graph->setMediaCB(new FrameCollector(log));
    if (!format) return graph;
    if (graph->render(false) != S_OK) return nullptr;
    graph->setSelectedCapID(graph->lookupCapIDByName(format));
    return graph;
  }

  ComScope com_;
  std::unique_ptr<FilterEnums> devices_;
};

using DeviceCapture = TestCameraTest;

TEST_F(DeviceCapture, ListSelectByNameSetTheRateAndReceiveFramesUntilStop) {
  std::vector<std::string> names;
  for (Filter* device : devices_->getVideoDevices()) names.push_back(device->getName());
  // The broken entry and the unsupported DALSA source are skipped.
  EXPECT_THAT(names, ::testing::IsSupersetOf({kUsbCamera, kAnalogCamera}));
  EXPECT_THAT(names, ::testing::Not(::testing::Contains("DALSA Imaging Video Source")));
  EXPECT_THAT(names, ::testing::Not(::testing::Contains("KIVO Test Camera (Broken)")));
  EXPECT_TRUE(findDevice(*devices_, "KIVO Test Camera (VFW)")->isVFW() &&
              !findDevice(*devices_, kUsbCamera)->isVFW());

  auto log = std::make_shared<FrameLog>();
  std::unique_ptr<VideoCaptureGraph> graph = openGraph(log, kUsbCamera, nullptr);
  // No format list before the first render: nothing to set a rate on.
  EXPECT_EQ(graph->setFrameRate(333333, false), E_FAIL);
  ASSERT_EQ(graph->render(false), S_OK);
  // Pin order; the pin's second format (a VIDEOINFOHEADER2 block) is not listed.
  EXPECT_THAT(
      capabilityNames(*graph),
      ElementsAre("YUY2_640x480", "YUY2_320x240", "YUY2_160x120", "RGB24_640x480", "RGB24_160x120",
                  "RGB32_320x240", "I420_320x240", "NV12_320x240", "MJPG_1280x720"));
  EXPECT_EQ(graph->getVideoCapabilities()->getCapabilityList()[1].getCapabilityID(), 2);
  ASSERT_EQ(graph->getFrameRates().size(), 2u);  // of position 0, fastest first
  EXPECT_EQ(graph->getFrameRates().begin()->second, 333333);
  // A "Mode" companion exists exactly where the device offers both auto and manual control.
  for (const std::string name : {"Exposure", "Focus", "Contrast", "WhiteBalance"})
    EXPECT_NE(property(*graph, name + "Mode"), nullptr) << name;
  for (const std::string name : {"Zoom", "Brightness", "Gain", "HorizontalFlip", "VerticalFlip"})
    EXPECT_TRUE(property(*graph, name) && !property(*graph, name + "Mode")) << name;
  // The device takes a value in its range and refuses one outside; the refusal reaches the host.
  BaseProperty* brightness = property(*graph, "Brightness");
  ASSERT_NE(brightness, nullptr);
  long value = 220;
  EXPECT_EQ(brightness->setValue(&value), S_OK);
  value = 256;
  EXPECT_EQ(brightness->setValue(&value), E_INVALIDARG);

  EXPECT_EQ(graph->lookupCapIDByName("YUY2_320x240"), 1);
  graph->setSelectedCapID(1);
  EXPECT_EQ(graph->setFrameRate(400000, true), E_FAIL);  // 25 fps is not offered
  ASSERT_EQ(graph->setFrameRate(666666, true), S_OK);    // 15 fps
  ASSERT_EQ(graph->start(false), S_OK);
  ASSERT_TRUE(log->frames.waitFor(10, kFrameWait)) << log->frames.count() << " frames";
  EXPECT_EQ(graph->stop(), S_OK);
  const long stopped = log->frames.count();
  EXPECT_EQ(connectedFormat(*graph), std::make_tuple(MEDIASUBTYPE_YUY2, 320L, 240L, 666666LL));
  const FrameLog::Seen seen = log->seen();
  for (long size : seen.sizes) EXPECT_EQ(size, 320 * 240 * 2);
  for (size_t i = 0; i < seen.counters.size(); ++i) EXPECT_EQ(seen.counters[i], i);
  // Wine's clock stamps live samples in whole ms: 66 to 68 ms apart at 15 fps, exact on average.
  EXPECT_NEAR((seen.times.back() - seen.times.front()) / double(seen.times.size() - 1), 1 / 15.0,
              0.01);
  EXPECT_FALSE(log->frames.waitFor(stopped + 1, kQuiet));

  // A rate set on a running graph restarts it at once; positions outside the list change nothing.
  ASSERT_EQ(graph->start(false), S_OK);
  ASSERT_EQ(graph->setFrameRate(333333, false), S_OK);
  EXPECT_TRUE(graph->isRunning());
  for (int position : {-2, 9, 1 << 30, -(1 << 30)}) graph->setSelectedCapID(position);
  EXPECT_EQ(graph->getVideoCapabilities()->getNumberOfCapabilities(), 9);
  framesAfter(*log);
  EXPECT_EQ(graph->stop(), S_OK);
  capture(*graph, *log);  // a rebuild keeps the format and the rate
  EXPECT_EQ(connectedFormat(*graph), std::make_tuple(MEDIASUBTYPE_YUY2, 320L, 240L, 333333LL));

  // Wine has no MJPG to RGB24 decoder: the grabber takes the JPEG frames.
  graph->setSelectedCapID(graph->lookupCapIDByName("MJPG_1280x720"));
  capture(*graph, *log);
  EXPECT_EQ(std::get<0>(connectedFormat(*graph)), MEDIASUBTYPE_MJPG);

  graph->reset();  // nothing of the device is left, and the callback is gone
  EXPECT_FALSE(graph->isRendered() || graph->getVideoCapabilities() || graph->getVideoInputs() ||
               graph->getMediaCB());
  EXPECT_TRUE(graph->getFrameRates().empty() && graph->getPropertyContainer().empty());
  EXPECT_EQ(log->destroyed.count(), 1);

  // Once the graph and the device list are gone, no object of the device's DLL is left alive.
  graph.reset();
  devices_.reset();
  EXPECT_EQ(testCameraCanUnload(), S_OK);
}

// The list that binds nothing tells what the binding one tells, and more: a device whose driver
// cannot be bound is listed, and refused when it is opened.
TEST_F(DeviceCapture, TheUnboundListAgreesWithTheBoundOneAndOpensOneDevice) {
  auto list = std::make_unique<VideoDeviceList>();
  std::map<std::string, VideoDeviceList::Device> listed;
  for (const auto& device : list->getDevices()) listed[device.name] = device;
  for (Filter* device : devices_->getVideoDevices()) {
    ASSERT_EQ(listed.count(device->getName()), 1u) << device->getName();
    EXPECT_EQ(listed[device->getName()].path, device->getUniqueString());
    EXPECT_EQ(listed[device->getName()].vfw, device->isVFW()) << device->getName();
  }
  EXPECT_EQ(listed.count("DALSA Imaging Video Source"), 0u);
  devices_.reset();
  EXPECT_EQ(testCameraCanUnload(), S_OK);  // listing created no device object

  size_t usb = 0, broken = 0;
  for (size_t i = 0; i < list->getDevices().size(); ++i) {
    if (list->getDevices()[i].name == kUsbCamera) usb = i;
    if (list->getDevices()[i].name == "KIVO Test Camera (Broken)") broken = i;
  }
  std::unique_ptr<VideoCaptureFilter> device;
  EXPECT_TRUE(FAILED(list->open(broken, device)) && !device);
  EXPECT_EQ(list->open(list->getDevices().size(), device), E_INVALIDARG);
  ASSERT_EQ(list->open(usb, device), S_OK);
  EXPECT_STREQ(device->getName(), kUsbCamera);
  auto log = std::make_shared<FrameLog>();
  auto graph = std::make_unique<VideoCaptureGraph>(device.get(), 0);
  graph->setMediaCB(new FrameCollector(log));
  capture(*graph, *log);
  graph.reset(), device.reset(), list.reset();
  EXPECT_EQ(testCameraCanUnload(), S_OK);
}

TEST_F(DeviceCapture, AnalogInputsAreListedAndRoutingChangesThePicture) {
  auto log = std::make_shared<FrameLog>();
  std::unique_ptr<VideoCaptureGraph> graph = openGraph(log, kAnalogCamera, "RGB24_640x480");
  ASSERT_NE(graph, nullptr);
  const std::map<std::string, long> inputs = graph->getVideoInputs()->getInputs();
  for (const char* name : {"composite", "svideo", "tuner"}) EXPECT_EQ(inputs.count(name), 1u);
  std::vector<std::vector<BYTE>> pictures;
  for (const char* name : {"composite", "svideo"}) {
    // Applied again at every render, so it outlives the rebuild that start performs.
    graph->getVideoInputs()->setSelectedInput(inputs.at(name));
    ASSERT_EQ(graph->start(false), S_OK);
    EXPECT_EQ(graph->getVideoInputs()->getSelectedInput(), inputs.at(name)) << name;
    pictures.push_back(framesAfter(*log));
    EXPECT_EQ(graph->stop(), S_OK);
  }
  ASSERT_EQ(pictures[0].size(), size_t(640 * 480 * 3));
  ASSERT_EQ(pictures[1].size(), pictures[0].size());
  EXPECT_FALSE(std::equal(pictures[0].begin() + 4, pictures[0].end(), pictures[1].begin() + 4));

  // The TV standards: the current one and the available ones, by name.
  auto* standard = dynamic_cast<IEnumProperty*>(property(*graph, "AnalogVideoFormat"));
  ASSERT_NE(standard, nullptr);
  EXPECT_EQ(standard->getConstraints(),
            (std::map<std::string, long>{{"ntsc_m", 1}, {"pal_b", 0x10}, {"secam_b", 0x1000}}));
  EXPECT_STREQ(standard->getDefaultName(), "ntsc_m");
}

// Polls isDeviceLost while making sure no frame beyond `frames` arrives.
bool waitForLoss(VideoCaptureGraph& graph, FrameLog& log, long frames) {
  const auto deadline = std::chrono::steady_clock::now() + kFrameWait;
  while (std::chrono::steady_clock::now() < deadline) {
    if (graph.isDeviceLost()) return true;
    if (log.frames.waitFor(frames + 1, milliseconds(50))) return false;
  }
  return false;
}

using DeviceFaults = TestCameraTest;

// Wine's graph does not act on EC_DEVICE_LOST and keeps running; kivo reports the loss.
TEST_F(DeviceFaults, LossIsReportedAfterEveryFrameBeforeItWasDeliveredUntilARebuild) {
  auto log = std::make_shared<FrameLog>();
  auto graph = openGraph(log, kUsbCamera, "YUY2_160x120", testcam::kLoseAfterVariable, L"5");
  ASSERT_NE(graph, nullptr);
  EXPECT_FALSE(graph->isDeviceLost());
  for (long round = 1; round <= 2; ++round) {  // a restart rebuilds on the same device object
    ASSERT_EQ(graph->start(false), S_OK);
    EXPECT_FALSE(graph->isDeviceLost());
    ASSERT_TRUE(log->frames.waitFor(5 * round, kFrameWait));
    ASSERT_TRUE(waitForLoss(*graph, *log, 5 * round));
    EXPECT_TRUE(graph->isRunning());
    if (round == 2) break;
    EXPECT_EQ(graph->stop(), S_OK);
    EXPECT_TRUE(graph->isDeviceLost());
    EXPECT_FALSE(log->frames.waitFor(6, kQuiet));
  }
  EXPECT_THAT(log->seen().counters, ElementsAre(0, 1, 2, 3, 4, 0, 1, 2, 3, 4));
  // Reset while the lost graph runs: the callback goes, the answer too.
  graph->reset();
  EXPECT_FALSE(graph->isDeviceLost());
  EXPECT_FALSE(graph->isRunning());
  EXPECT_EQ(log->destroyed.count(), 1);
  EXPECT_EQ(log->frames.count(), 10);
}

// Calls the device refuses fail where the host asked for them, and nothing else does.
TEST_F(DeviceFaults, RefusedDeviceCallsFailOnlyWhereTheyAreAsked) {
  auto log = std::make_shared<FrameLog>();
  auto graph = openGraph(log, kUsbCamera, "YUY2_160x120", testcam::kFailVariable,
                         L"IAMVideoProcAmp.GetRange,IBaseFilter.Pause");
  ASSERT_NE(graph, nullptr);
  EXPECT_EQ(property(*graph, "Brightness"), nullptr);  // no range, no property
  EXPECT_NE(property(*graph, "Zoom"), nullptr);        // camera control still answers
  // Wine 8's graph passes on a refused Pause (not a refused IBaseFilter::Run: start says S_OK).
  EXPECT_LT(graph->start(false), 0);
  EXPECT_FALSE(graph->isRunning());
  EXPECT_EQ(graph->stop(), S_OK);
  EXPECT_FALSE(log->frames.waitFor(1, kQuiet));
  graph->reset();
  EXPECT_EQ(log->destroyed.count(), 1);
}

// A throwing callback keeps the stream; stop waits for one the grabber's thread is blocked in.
TEST_F(DeviceFaults, ThrowingCallbacksKeepTheStreamAndStopWaitsForABlockedOne) {
  auto log = std::make_shared<FrameLog>();
  log->throwEvery = 2;
  log->blockAt = 10;
  auto graph = openGraph(log);
  ASSERT_NE(graph, nullptr);
  ASSERT_EQ(graph->start(false), S_OK);
  ASSERT_TRUE(log->frames.waitFor(10, kFrameWait)) << log->frames.count() << " frames";
  EXPECT_TRUE(graph->isRunning());
  EXPECT_FALSE(graph->isDeviceLost());
  EXPECT_EQ(graph->stop(), S_OK);
  EXPECT_FALSE(log->inside);  // the blocked call ended before Stop returned
  EXPECT_FALSE(log->frames.waitFor(11, kQuiet));
  const std::vector<uint32_t> counters = log->seen().counters;
  for (size_t i = 0; i < counters.size(); ++i) EXPECT_EQ(counters[i], i);
}

// A camera serving one stream at a time refuses a second graph's start until the first stops.
TEST_F(DeviceFaults, ASecondGraphOnAnExclusiveDeviceFailsToStart) {
  auto firstLog = std::make_shared<FrameLog>(), secondLog = std::make_shared<FrameLog>();
  auto first = openGraph(firstLog, kUsbCamera, "YUY2_160x120", testcam::kExclusiveVariable, L"1");
  auto second = openGraph(secondLog, kUsbCamera, "YUY2_160x120", testcam::kExclusiveVariable, L"1");
  ASSERT_TRUE(first && second);
  ASSERT_EQ(first->start(false), S_OK);
  EXPECT_EQ(second->start(false), HRESULT_FROM_WIN32(ERROR_BUSY));
  EXPECT_TRUE(second->isRendered() && !second->isRunning());
  framesAfter(*firstLog);
  EXPECT_EQ(secondLog->frames.count(), 0);

  EXPECT_EQ(first->stop(), S_OK);
  ASSERT_EQ(second->start(false), S_OK);
  framesAfter(*secondLog);
  EXPECT_EQ(first->start(false), HRESULT_FROM_WIN32(ERROR_BUSY));
  second.reset();  // destruction while streaming frees the device too
  capture(*first, *firstLog);
}

// Malformed formats among the working ones change nothing for those (also under heap checks).
TEST_F(DeviceFaults, MalformedCapsLeaveTheWorkingFormatsListedAndCapturing) {
  std::vector<std::string> expected;
  std::vector<int> healthyIds;
  {
    VideoCaptureGraph graph(findDevice(*devices_, kUsbCamera), 0);
    ASSERT_EQ(graph.render(false), S_OK);
    expected = capabilityNames(graph);
    for (const VideoCapability& capability : graph.getVideoCapabilities()->getCapabilityList())
      healthyIds.push_back(capability.getCapabilityID());
  }
  auto log = std::make_shared<FrameLog>();
  auto graph = openGraph(log, kUsbCamera, "YUY2_160x120", testcam::kMalformedCapsVariable, L"1");
  ASSERT_NE(graph, nullptr);
  // Only the huge picture is well-formed (after working format 4); bad and good ones alternate.
  expected.insert(expected.begin() + 4, "YUY2_2147483647x2147483647");
  EXPECT_EQ(capabilityNames(*graph), expected);
  const std::vector<VideoCapability>& list = graph->getVideoCapabilities()->getCapabilityList();
  ASSERT_EQ(list.size(), expected.size());
  for (size_t i = 0, working = 0; i < list.size(); ++i) {
    if (i == 4) continue;
    const int position = healthyIds[working++];
    EXPECT_EQ(list[i].getCapabilityID(), position < testcam::kMalformedCapsCount
                                             ? 2 * position + 1
                                             : position + testcam::kMalformedCapsCount)
        << list[i].getFullName();
  }
  // A working format captures as on a healthy device.
  capture(*graph, *log);
  EXPECT_EQ(std::get<2>(connectedFormat(*graph)), 120);
  for (long size : log->seen().sizes) EXPECT_EQ(size, 160 * 120 * 2);
  // The huge picture: the device refuses it and keeps the format it had, which the graph runs.
  graph->setSelectedCapID(4);
  ASSERT_EQ(graph->start(false), S_OK);
  EXPECT_EQ(std::get<0>(connectedFormat(*graph)), MEDIASUBTYPE_YUY2);
  EXPECT_EQ(std::get<1>(connectedFormat(*graph)), 160);
  EXPECT_EQ(graph->stop(), S_OK);
  graph->setSelectedCapID(graph->lookupCapIDByName("RGB24_160x120"));
  capture(*graph, *log, 2);
  EXPECT_EQ(std::get<0>(connectedFormat(*graph)), MEDIASUBTYPE_RGB24);
}

}  // namespace
}  // namespace kivo::test
