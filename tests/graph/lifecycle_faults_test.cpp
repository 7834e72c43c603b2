// Every way a graph's life cycle can fail, against real graphs (the Test Camera and a media file
// under the platform's DirectShow): a hook that throws, a filter or graph object that cannot be
// created, a position that cannot be read. After each fault the graph is Empty, renders again,
// delivers to a new callback only, and every COM object kivo created is given back.

#include <kivo/file_capture_graph.h>
#include <kivo/filter_creation_exception.h>
#include <kivo/filter_enums.h>
#include <kivo/media_cb.h>
#include <kivo/position_unsupported_exception.h>
#include <kivo/video_capture_filter.h>
#include <kivo/video_capture_graph.h>

#include "file/file_graph_access.h"
#include "foundation/replaceable.h"
#include "support/media.h"
#include "support/mocks/imediaseeking.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

namespace kivo::test {
namespace {

using std::chrono::seconds;

// Creates objects as the platform does, keeping a reference of its own on each to tell whether
// kivo gave all of its own back; fails the nth creation of one class when asked.
class CreationLedger {
 public:
  CreationLedger() : previous_(replaceable::createObject) {
    ledger = this;
    replaceable::createObject = &create;
  }
  ~CreationLedger() {
    releaseAll();
    replaceable::createObject = previous_;
  }
  void fail(const CLSID& clsid, int nth) { failing_ = clsid, countdown_ = nth; }

  // Lets go of every object created so far; counts those that something else still holds. A
  // capture graph builder holds its graph manager and a graph manager its filters: they go in
  // that order, so whatever outlives the ledger's reference is held by kivo.
  int releaseAll() {
    int held = 0;
    for (const CLSID* kind : {&CLSID_CaptureGraphBuilder2, &CLSID_FilterGraph, &GUID_NULL}) {
      for (auto& [clsid, object] : created_) {
        if (!object || (*kind != GUID_NULL && clsid != *kind)) continue;
        held += object->Release() > 0 ? 1 : 0;
        object = nullptr;
      }
    }
    created_.clear();
    return held;
  }

 private:
  static inline CreationLedger* ledger = nullptr;
  static HRESULT create(REFCLSID clsid, REFIID iid, void** object) {
    if (ledger->countdown_ > 0 && clsid == ledger->failing_ && --ledger->countdown_ == 0)
      return *object = nullptr, E_OUTOFMEMORY;
    const HRESULT hr = ledger->previous_(clsid, iid, object);
    // The system device enumerator is one object for the whole process (see
    // TheSystemDeviceEnumeratorIsOneObject): only what graphs create is counted.
    if (SUCCEEDED(hr) && *object && clsid != CLSID_SystemDeviceEnum) {
      static_cast<IUnknown*>(*object)->AddRef();
      ledger->created_.push_back({clsid, static_cast<IUnknown*>(*object)});
    }
    return hr;
  }
  replaceable::ObjectFactory previous_;
  std::vector<std::pair<CLSID, IUnknown*>> created_;
  CLSID failing_ = GUID_NULL;
  int countdown_ = 0;
};

// A host callback that counts what it receives and is never deleted by the graph.
class Counter : public IMediaCB {
 public:
  long processSample(double, IMediaSample*) override { return samples.add(), S_OK; }
  void destroy() override { destroyed.add(); }
  EventCounter samples, destroyed;
};

enum class Hook { None, Init, Render, PreStart, Unrender, Uninit, Reset };

// One fault: a hook that throws after doing its work, or else the nth creation of a class; the
// call that meets it; whether that call throws or returns the creation's status.
struct Fault {
  const char* name;
  Hook hook;
  const CLSID* clsid;
  int nth;
  enum { Render, Start, Reset } call;
  bool throws;
};

const Fault kFaults[] = {
    {"init hook", Hook::Init, nullptr, 0, Fault::Render, true},
    {"render hook", Hook::Render, nullptr, 0, Fault::Render, true},
    {"preStart hook", Hook::PreStart, nullptr, 0, Fault::Start, true},
    {"unrender hook", Hook::Unrender, nullptr, 0, Fault::Reset, true},
    {"uninit hook", Hook::Uninit, nullptr, 0, Fault::Reset, true},
    {"reset hook", Hook::Reset, nullptr, 0, Fault::Reset, true},
    {"graph manager", Hook::None, &CLSID_FilterGraph, 1, Fault::Render, false},
    {"capture graph builder", Hook::None, &CLSID_CaptureGraphBuilder2, 1, Fault::Render, false},
    {"first grabber", Hook::None, &CLSID_SampleGrabber, 1, Fault::Render, true},
    // The file graph's second chain and its sinks (the device graph's sink is optional).
    {"second grabber", Hook::None, &CLSID_SampleGrabber, 2, Fault::Render, true},
    {"first null renderer", Hook::None, &CLSID_NullRenderer, 1, Fault::Render, true},
    {"second null renderer", Hook::None, &CLSID_NullRenderer, 2, Fault::Render, true},
};
constexpr size_t kDeviceFaults = 9;

// Throws from one hook, after the graph's own work in it, once.
template <class Graph>
class FaultyGraph : public Graph {
 public:
  template <class... Args>
  explicit FaultyGraph(Hook hook, Args&&... args) : Graph(args...), hook_(hook) {}
  using Graph::getGraphBuilder;

  // Runs the call that meets `fault` and checks how it failed and that the graph is Empty.
  void meet(const Fault& fault, CreationLedger& ledger) {
    if (fault.clsid) ledger.fail(*fault.clsid, fault.nth);
    auto call = [&]() -> HRESULT {
      if (fault.call == Fault::Render) return this->render(true);
      if (fault.call == Fault::Start) return this->start(true);
      if (SUCCEEDED(this->start(false))) this->reset();
      return S_OK;
    };
    if (fault.throws) {
      EXPECT_THROW(call(), HRException);
    } else {
      EXPECT_EQ(call(), E_OUTOFMEMORY);
    }
    EXPECT_FALSE(this->isRendered() || this->isRunning());
    EXPECT_EQ(getGraphBuilder(), nullptr);
    EXPECT_EQ(ledger.releaseAll(), 0);
  }

 protected:
  HRESULT initMediaSection() override { return check(Hook::Init, Graph::initMediaSection()); }
  HRESULT renderMediaSection() override { return check(Hook::Render, Graph::renderMediaSection()); }
  HRESULT preStart(bool registerGraph) override {
    return check(Hook::PreStart, Graph::preStart(registerGraph));
  }
  void unrenderMediaSection() override {
    Graph::unrenderMediaSection();
    check(Hook::Unrender, S_OK);
  }
  void uninitMediaSection() override {
    Graph::uninitMediaSection();
    check(Hook::Uninit, S_OK);
  }
  void resetMediaSection() override {
    Graph::resetMediaSection();
    check(Hook::Reset, S_OK);
  }

 private:
  HRESULT check(Hook hook, HRESULT result) {
    if (hook != hook_) return result;
    hook_ = Hook::None;
    throw FilterCreationException(E_ABORT);
  }
  Hook hook_;
};

TEST(LifecycleFaults, DeviceGraphIsEmptyAfterEachFaultAndCapturesAgain) {
  ComScope com;
  for (const Fault& fault : std::vector<Fault>(kFaults, kFaults + kDeviceFaults)) {
    SCOPED_TRACE(fault.name);
    Counter before, after;
    {
      CreationLedger ledger;
      std::unique_ptr<FaultyGraph<VideoCaptureGraph>> graph;
      const FilterEnums devices;
      for (Filter* device : devices.getVideoDevices())
        if (std::strcmp(device->getName(), "KIVO Test Camera") == 0)
          graph.reset(new FaultyGraph<VideoCaptureGraph>(
              fault.hook, static_cast<VideoCaptureFilter*>(device), 0));
      if (!graph) GTEST_SKIP() << "the Test Camera is not registered";
      graph->setMediaCB(&before);
      if (fault.call != Fault::Render) {
        ASSERT_EQ(graph->render(false), S_OK);
      }
      graph->meet(fault, ledger);

      const long beforeCount = before.samples.count();
      graph->setMediaCB(&after);
      ASSERT_EQ(graph->render(false), S_OK);
      ASSERT_EQ(graph->start(false), S_OK);
      EXPECT_TRUE(after.samples.waitFor(3, seconds(20)));
      EXPECT_EQ(graph->stop(), S_OK);
      EXPECT_EQ(before.samples.count(), beforeCount);
      graph->reset();
      EXPECT_EQ(after.destroyed.count(), 1);
      EXPECT_EQ(ledger.releaseAll(), 0);
    }
    EXPECT_EQ(testCameraCanUnload(), S_OK);
  }
}

// A graph with a video and an audio stream: two chains of grabber and null renderer.
class FileLifecycleFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!mediaAvailable()) GTEST_SKIP() << "no test media (run through scripts/test.sh)";
  }
  std::unique_ptr<FaultyGraph<FileCaptureGraph>> open(Hook hook) {
    auto graph = std::make_unique<FaultyGraph<FileCaptureGraph>>(hook, file);
    graph->setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
    graph->setAudioCallback(&audio, FileCaptureGraph::SAMPLE_PCM);
    return graph;
  }
  // Renders with new callbacks from the start of the file and reads until video and audio
  // arrive; the callbacks of before are not called again.
  void readsAgain(FileCaptureGraph& graph, CreationLedger& ledger) {
    const long videoBefore = video.samples.count(), audioBefore = audio.samples.count();
    Counter newVideo, newAudio;
    graph.setVideoCallback(&newVideo, FileCaptureGraph::FRAME_RGB24);
    graph.setAudioCallback(&newAudio, FileCaptureGraph::SAMPLE_PCM);
    ASSERT_EQ(graph.render(false), S_OK);
    graph.setPositionInSeconds(0.0);
    ASSERT_EQ(graph.start(false), S_OK);
    EXPECT_TRUE(newVideo.samples.waitFor(5, seconds(20)));
    EXPECT_TRUE(newAudio.samples.waitFor(1, seconds(20)));
    graph.reset();
    EXPECT_EQ(ledger.releaseAll(), 0);
    EXPECT_EQ(video.samples.count(), videoBefore);
    EXPECT_EQ(audio.samples.count(), audioBefore);
  }

  ComScope com;
  const std::wstring file = mediaPath("rgb24_pcm_2s.avi");
  Counter video, audio;
};

TEST_F(FileLifecycleFaults, FileGraphIsEmptyAfterEachFaultAndReadsAgain) {
  for (const Fault& fault : kFaults) {
    SCOPED_TRACE(fault.name);
    CreationLedger ledger;
    auto graph = open(fault.hook);
    if (fault.call != Fault::Render) {
      ASSERT_EQ(graph->render(false), S_OK);
    }
    graph->meet(fault, ledger);
    EXPECT_EQ(graph->getVideoInfo(), nullptr);
    readsAgain(*graph, ledger);
  }
}

// The graph cannot tell its position (its seeking interface refuses): replacing a callback,
// resetting and destroying the graph still tear it down completely; reset says so.
TEST_F(FileLifecycleFaults, APositionThatCannotBeReadStopsNoTeardown) {
  for (int exit = 0; exit < 3; ++exit) {
    SCOPED_TRACE(exit);
    CreationLedger ledger;
    ::testing::NiceMock<MockMediaSeeking> refusing;
    ON_CALL(refusing, GetTimeFormat).WillByDefault(::testing::Return(E_NOTIMPL));
    auto graph = open(Hook::None);
    ASSERT_EQ(graph->render(false), S_OK);
    ASSERT_EQ(graph->start(false), S_OK);
    ASSERT_TRUE(video.samples.waitFor(1, seconds(20)));
    TestAccess<FileCaptureGraph>::plantSeeking(*graph, &refusing);
    if (exit == 0) graph->setAudioCallback(&audio, FileCaptureGraph::SAMPLE_PCM);
    if (exit == 1) {
      EXPECT_THROW(graph->reset(), PositionUnsupportedException);
    }
    if (exit == 2) graph.reset();
    EXPECT_EQ(refusing.refs(), 0);
    EXPECT_EQ(ledger.releaseAll(), 0);
    if (graph) {
      EXPECT_FALSE(graph->isRendered());
      EXPECT_EQ(graph->getGraphBuilder(), nullptr);
      readsAgain(*graph, ledger);
    }
  }
}

// The platform fact the ledger relies on: every creation of the system device enumerator
// hands out the same object, which a release never destroys.
TEST(PlatformFacts, TheSystemDeviceEnumeratorIsOneObject) {
  ComScope com;
  CComPtr<ICreateDevEnum> first, second;
  ASSERT_EQ(first.CoCreateInstance(CLSID_SystemDeviceEnum), S_OK);
  ASSERT_EQ(second.CoCreateInstance(CLSID_SystemDeviceEnum), S_OK);
  EXPECT_EQ(first, second.p);
  EXPECT_GT(second.Detach()->Release(), 0u);
}

}  // namespace
}  // namespace kivo::test
