// A device graph when things go wrong: device loss, host callbacks that throw, block or are
// replaced, graphs destroyed while running, an exclusive device, selections outside the lists.

#include <kivo/video_inputs.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "support/scoped_value.h"
#include "testcam_ids.h"
#include "video_capture_host.h"

namespace kivo::test {
namespace {

using std::chrono::milliseconds;

// How long a test watches for frames that must not come.
constexpr milliseconds kQuiet(400);

// A rendered graph on `device` set to `format` (by default YUY2 160x120 at 30 frames per second).
std::unique_ptr<VideoCaptureGraph> smallGraph(const FilterEnums& devices, IMediaCB* callback,
                                              const char* device = kUsbCamera,
                                              const char* format = "YUY2_160x120") {
  VideoCaptureFilter* filter = findDevice(devices, device);
  if (!filter) return nullptr;
  std::unique_ptr<VideoCaptureGraph> graph(new VideoCaptureGraph(filter, 0));
  graph->setMediaCB(callback);
  if (graph->render(false) != S_OK) return nullptr;
  graph->setSelectedCapID(graph->lookupCapIDByName(format));
  return graph;
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

using DeviceLoss = TestCameraTest;

TEST_F(DeviceLoss, IsReportedAfterEveryFrameBeforeItWasDelivered) {
  auto log = std::make_shared<FrameLog>();
  std::unique_ptr<VideoCaptureGraph> graph;
  {
    ScopedEnvironment lose(testcam::kLoseAfterVariable, L"5");
    graph = smallGraph(*devices_, new FrameCollector(log));  // binds the device anew
  }
  ASSERT_NE(graph, nullptr);
  EXPECT_FALSE(graph->isDeviceLost());
  ASSERT_EQ(graph->start(false), S_OK);
  ASSERT_TRUE(log->frames.waitFor(5, kFrameWait));
  ASSERT_TRUE(waitForLoss(*graph, *log, 5));
  EXPECT_THAT(log->seen().counters, ::testing::ElementsAre(0, 1, 2, 3, 4));

  // Still running; stop works and the loss stays until the graph is rebuilt.
  EXPECT_TRUE(graph->isRunning());
  EXPECT_TRUE(graph->isDeviceLost());
  EXPECT_EQ(graph->stop(), S_OK);
  EXPECT_TRUE(graph->isDeviceLost());
  EXPECT_FALSE(log->frames.waitFor(6, kQuiet));

  // A restart rebuilds on the same device object: counters from 0, lost again.
  ASSERT_EQ(graph->start(false), S_OK);
  EXPECT_FALSE(graph->isDeviceLost());
  ASSERT_TRUE(log->frames.waitFor(10, kFrameWait));
  ASSERT_TRUE(waitForLoss(*graph, *log, 10));
  EXPECT_THAT(log->seen().counters, ::testing::ElementsAre(0, 1, 2, 3, 4, 0, 1, 2, 3, 4));

  // Reset while the lost graph runs: the callback goes, the answer too.
  graph->reset();
  EXPECT_FALSE(graph->isDeviceLost());
  EXPECT_FALSE(graph->isRunning());
  EXPECT_EQ(log->destroyed.count(), 1);
  EXPECT_EQ(log->frames.count(), 10);

  // A lost graph destroyed while running.
  auto lostLog = std::make_shared<FrameLog>();
  {
    ScopedEnvironment lose(testcam::kLoseAfterVariable, L"2");
    graph = smallGraph(*devices_, new FrameCollector(lostLog));
  }
  ASSERT_NE(graph, nullptr);
  ASSERT_EQ(graph->start(false), S_OK);
  ASSERT_TRUE(waitForLoss(*graph, *lostLog, 2));
  graph.reset();
  EXPECT_EQ(lostLog->destroyed.count(), 1);
  EXPECT_EQ(lostLog->frames.count(), 2);

  // A new graph on a device created without the fault captures again.
  auto healthyLog = std::make_shared<FrameLog>();
  graph = smallGraph(*devices_, new FrameCollector(healthyLog));
  ASSERT_NE(graph, nullptr);
  ASSERT_EQ(graph->start(false), S_OK);
  EXPECT_TRUE(healthyLog->frames.waitFor(8, kFrameWait));
  EXPECT_FALSE(graph->isDeviceLost());
  EXPECT_EQ(graph->stop(), S_OK);
}

// A host callback that throws on every `throwEvery`-th frame or blocks in its first one.
struct Behaviour {
  int throwEvery = 0;
  DWORD blockMilliseconds = 0;
  std::atomic<bool> inside{false};  // a call is in progress
  EventCounter entered;
};

class UnrulyCallback : public FrameCollector {
 public:
  UnrulyCallback(std::shared_ptr<FrameLog> log, std::shared_ptr<Behaviour> behaviour)
      : FrameCollector(std::move(log)), behaviour_(std::move(behaviour)) {}

  long processSample(double sampleTime, IMediaSample* sample) override {
    behaviour_->inside = true;
    behaviour_->entered.add();
    const long calls = behaviour_->entered.count();
    FrameCollector::processSample(sampleTime, sample);
    if (calls == 1 && behaviour_->blockMilliseconds) {  // a host busy with its frame
      HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      WaitForSingleObject(never, behaviour_->blockMilliseconds);
      CloseHandle(never);
    }
    behaviour_->inside = false;
    if (behaviour_->throwEvery && calls % behaviour_->throwEvery == 0)
      throw std::runtime_error("host failure");
    return S_OK;
  }

 private:
  std::shared_ptr<Behaviour> behaviour_;
};

// Calls the device refuses fail where the host asked for them, and nothing else does.
TEST_F(DeviceLoss, RefusedDeviceCallsFailOnlyWhereTheyAreAsked) {
  auto log = std::make_shared<FrameLog>();
  std::unique_ptr<VideoCaptureGraph> graph;
  {
    ScopedEnvironment fail(testcam::kFailVariable, L"IAMVideoProcAmp.GetRange,IBaseFilter.Pause");
    graph = smallGraph(*devices_, new FrameCollector(log));
  }
  ASSERT_NE(graph, nullptr);
  const std::map<std::string, BaseProperty*> properties = graph->getPropertyContainer();
  EXPECT_EQ(properties.count("Brightness"), 0u);  // no range, no property
  EXPECT_EQ(properties.count("Zoom"), 1u);        // camera control still answers
  // Refused on the way to running. (Wine 8's graph does not pass on a refused IBaseFilter::Run:
  // start then answers S_OK. A refused Pause it does pass on.)
  EXPECT_LT(graph->start(false), 0);
  EXPECT_FALSE(graph->isRunning());
  EXPECT_EQ(graph->stop(), S_OK);
  EXPECT_FALSE(log->frames.waitFor(1, kQuiet));
  graph->reset();
  EXPECT_EQ(log->destroyed.count(), 1);

  // A device that cannot count its formats: its current format is the list, and captures.
  auto current = std::make_shared<FrameLog>();
  {
    ScopedEnvironment fail(testcam::kFailVariable, L"IAMStreamConfig.GetNumberOfCapabilities");
    graph = smallGraph(*devices_, new FrameCollector(current), kUsbCamera, "YUY2_640x480");
  }
  ASSERT_NE(graph, nullptr);
  EXPECT_THAT(capabilityNames(*graph), ::testing::ElementsAre("YUY2_640x480"));
  ASSERT_EQ(graph->start(false), S_OK);
  ASSERT_TRUE(current->frames.waitFor(2, kFrameWait));
  EXPECT_EQ(graph->stop(), S_OK);
  EXPECT_EQ(current->seen().sizes.back(), 640 * 480 * 2);
}

using HostFaults = TestCameraTest;

TEST_F(HostFaults, AThrowingCallbackDoesNotStopTheStream) {
  auto log = std::make_shared<FrameLog>();
  auto behaviour = std::make_shared<Behaviour>();
  behaviour->throwEvery = 2;
  auto graph = smallGraph(*devices_, new UnrulyCallback(log, behaviour));
  ASSERT_NE(graph, nullptr);
  ASSERT_EQ(graph->start(false), S_OK);
  ASSERT_TRUE(log->frames.waitFor(10, kFrameWait)) << log->frames.count() << " frames";
  EXPECT_TRUE(graph->isRunning());
  EXPECT_FALSE(graph->isDeviceLost());
  EXPECT_EQ(graph->stop(), S_OK);
  const std::vector<uint32_t> counters = log->seen().counters;
  for (size_t i = 0; i < counters.size(); ++i) EXPECT_EQ(counters[i], i);
}

TEST_F(HostFaults, StopWaitsForABlockedCallbackAndNothingFollows) {
  auto log = std::make_shared<FrameLog>();
  auto behaviour = std::make_shared<Behaviour>();
  behaviour->blockMilliseconds = 1500;
  auto graph = smallGraph(*devices_, new UnrulyCallback(log, behaviour));
  ASSERT_NE(graph, nullptr);
  ASSERT_EQ(graph->start(false), S_OK);
  ASSERT_TRUE(behaviour->entered.waitFor(1, kFrameWait));

  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(graph->stop(), S_OK);
  const auto took = std::chrono::steady_clock::now() - before;
  EXPECT_LT(took, std::chrono::seconds(10));
  EXPECT_FALSE(behaviour->inside);  // the blocked call ended before Stop returned
  const long calls = behaviour->entered.count();
  EXPECT_FALSE(behaviour->entered.waitFor(calls + 1, kQuiet));
}

TEST_F(HostFaults, AReplacedCallbackIsNeverCalledAfterTheNextStart) {
  auto firstLog = std::make_shared<FrameLog>();
  auto secondLog = std::make_shared<FrameLog>();
  IMediaCB* first = new FrameCollector(firstLog);
  auto graph = smallGraph(*devices_, first);
  ASSERT_NE(graph, nullptr);
  ASSERT_EQ(graph->start(false), S_OK);
  ASSERT_TRUE(firstLog->frames.waitFor(2, kFrameWait));

  // Stored while running: the running graph keeps the first until rebuilt.
  graph->setMediaCB(new FrameCollector(secondLog));
  EXPECT_EQ(graph->stop(), S_OK);
  ASSERT_EQ(graph->start(false), S_OK);
  const long firstCount = firstLog->frames.count();
  ASSERT_TRUE(secondLog->frames.waitFor(5, kFrameWait));
  EXPECT_EQ(firstLog->frames.count(), firstCount);
  EXPECT_EQ(secondLog->seen().counters.front(), 0u);

  // Destroyed while running: the current callback retires, the replaced one is the host's.
  graph.reset();
  EXPECT_EQ(firstLog->destroyed.count(), 0);
  EXPECT_EQ(secondLog->destroyed.count(), 1);
  const long frames = secondLog->frames.count();
  EXPECT_FALSE(secondLog->frames.waitFor(frames + 1, kQuiet));
  first->destroy();
}

// A camera serving one stream at a time refuses the second graph's start;
// that graph starts once the first has stopped.
TEST_F(HostFaults, ASecondGraphOnAnExclusiveDeviceFailsToStart) {
  auto firstLog = std::make_shared<FrameLog>();
  auto secondLog = std::make_shared<FrameLog>();
  std::unique_ptr<VideoCaptureGraph> first;
  std::unique_ptr<VideoCaptureGraph> second;
  {
    ScopedEnvironment exclusive(testcam::kExclusiveVariable, L"1");
    first = smallGraph(*devices_, new FrameCollector(firstLog));
    second = smallGraph(*devices_, new FrameCollector(secondLog));
  }
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  ASSERT_EQ(first->start(false), S_OK);
  EXPECT_EQ(second->start(false), HRESULT_FROM_WIN32(ERROR_BUSY));
  EXPECT_FALSE(second->isRunning());
  EXPECT_TRUE(second->isRendered());
  EXPECT_EQ(second->stop(), S_OK);
  const long firstCount = firstLog->frames.count();
  EXPECT_TRUE(firstLog->frames.waitFor(firstCount + 3, kFrameWait));
  EXPECT_EQ(secondLog->frames.count(), 0);

  EXPECT_EQ(first->stop(), S_OK);
  ASSERT_EQ(second->start(false), S_OK);
  EXPECT_TRUE(secondLog->frames.waitFor(3, kFrameWait));
  EXPECT_EQ(first->start(false), HRESULT_FROM_WIN32(ERROR_BUSY));
  second.reset();  // destruction while streaming frees the device too
  ASSERT_EQ(first->start(false), S_OK);
  EXPECT_EQ(first->stop(), S_OK);
}

TEST_F(HostFaults, SelectionsOutsideTheListsChangeNothing) {
  auto log = std::make_shared<FrameLog>();
  auto rendered = smallGraph(*devices_, new FrameCollector(log), kAnalogCamera, "RGB24_640x480");
  ASSERT_NE(rendered, nullptr);
  VideoCaptureGraph& graph = *rendered;
  ASSERT_EQ(graph.start(false), S_OK);
  ASSERT_TRUE(log->frames.waitFor(2, kFrameWait));

  // While running: format positions past either end, inputs not there.
  const int formats = graph.getVideoCapabilities()->getNumberOfCapabilities();
  for (int position : {-2, formats, 1 << 30, -(1 << 30)}) graph.setSelectedCapID(position);
  EXPECT_EQ(graph.getVideoCapabilities()->getNumberOfCapabilities(), formats);
  VideoInputs* inputs = graph.getVideoInputs();
  ASSERT_NE(inputs, nullptr);
  ASSERT_GT(inputs->getNumberOfInputs(), 0u);
  const int input = inputs->getSelectedInput();
  const int count = static_cast<int>(inputs->getNumberOfInputs());
  for (int index : {-1, -2, count, 1 << 30}) EXPECT_EQ(inputs->setSelectedInput(index), E_FAIL);
  EXPECT_EQ(inputs->getSelectedInput(), input);

  // The graph still runs, and a rebuild captures in the same format.
  EXPECT_TRUE(log->frames.waitFor(log->frames.count() + 2, kFrameWait));
  EXPECT_EQ(graph.stop(), S_OK);
  ASSERT_EQ(graph.start(false), S_OK);
  EXPECT_TRUE(log->frames.waitFor(log->frames.count() + 2, kFrameWait));
  EXPECT_EQ(graph.stop(), S_OK);
  EXPECT_EQ(connectedFormat(graph).subtype, MEDIASUBTYPE_RGB24);
  EXPECT_EQ(log->seen().sizes.back(), 640 * 480 * 3);
}

}  // namespace
}  // namespace kivo::test
