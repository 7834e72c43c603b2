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
#include <string>
#include <vector>

namespace kivo::test {
namespace {

using std::chrono::seconds;

// Creates objects as the platform does, keeping a reference of its own on each so that it can
// tell whether kivo gave all of its own back; fails one creation when asked.
class CreationLedger {
 public:
  CreationLedger() : previous_(replaceable::createObject) {
    current() = this;
    replaceable::createObject = &create;
  }
  ~CreationLedger() {
    releaseAll();
    replaceable::createObject = previous_;
    current() = nullptr;
  }

  // The `nth` creation of `clsid` from now on (1 is the next) fails with E_OUTOFMEMORY.
  void fail(const CLSID& clsid, int nth) {
    failing_ = clsid;
    countdown_ = nth;
  }

  // Lets go of every object created so far and counts those that something else still holds.
  // A capture graph builder holds its graph manager and a graph manager its filters, so they
  // go in that order: whatever outlives the ledger's reference then is held by kivo.
  int releaseAll() {
    int held = 0;
    for (const CLSID* kind : {&CLSID_CaptureGraphBuilder2, &CLSID_FilterGraph, &GUID_NULL}) {
      for (Created& entry : created_) {
        if (!entry.object || (*kind != GUID_NULL && entry.clsid != *kind)) continue;
        held += entry.object->Release() > 0 ? 1 : 0;
        entry.object = nullptr;
      }
    }
    created_.clear();
    return held;
  }

 private:
  struct Created {
    CLSID clsid;
    IUnknown* object;
  };

  static CreationLedger*& current() {
    static CreationLedger* ledger = nullptr;
    return ledger;
  }

  static HRESULT create(REFCLSID clsid, REFIID iid, void** object) {
    CreationLedger* self = current();
    if (self->countdown_ > 0 && clsid == self->failing_ && --self->countdown_ == 0) {
      *object = nullptr;
      return E_OUTOFMEMORY;
    }
    const HRESULT hr = self->previous_(clsid, iid, object);
    // The system device enumerator is one object for the whole process, whose count never
    // reaches 0: only what a graph creates is counted.
    if (SUCCEEDED(hr) && *object && clsid != CLSID_SystemDeviceEnum) {
      IUnknown* created = static_cast<IUnknown*>(*object);
      created->AddRef();
      self->created_.push_back({clsid, created});
    }
    return hr;
  }

  replaceable::ObjectFactory previous_;
  std::vector<Created> created_;
  CLSID failing_ = GUID_NULL;
  int countdown_ = 0;
};

// A host callback that counts what it receives and is never deleted by the graph.
class Counter : public IMediaCB {
 public:
  long processSample(double, IMediaSample*) override {
    samples.add();
    return S_OK;
  }
  void destroy() override { destroyed.add(); }
  EventCounter samples, destroyed;
};

// Where a fault is injected: a hook of the graph that throws after doing its work, or the
// creation of a class.
enum class Hook { None, Init, Render, PreStart, Unrender, Uninit, Reset };

struct Fault {
  const char* name;
  Hook hook;
  const CLSID* clsid;  // with hook None: this creation fails
  int nth;
  enum { Render, Start, Reset } call;  // the call that meets the fault
  bool throws;                         // it leaves as an exception rather than a status
};

// Throws from one hook, after the graph's own work in it, once.
template <class Graph>
class FaultyGraph : public Graph {
 public:
  template <class... Args>
  explicit FaultyGraph(Hook hook, Args&&... args)
      : Graph(std::forward<Args>(args)...), hook_(hook) {}
  using Graph::getGraphBuilder;

 protected:
  HRESULT initMediaSection() override { return check(Hook::Init, Graph::initMediaSection()); }
  HRESULT renderMediaSection() override {
    return check(Hook::Render, Graph::renderMediaSection());
  }
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
};
// The file graph's second chain and sinks; the device graph's sink is optional.
const Fault kFileFaults[] = {
    {"second grabber", Hook::None, &CLSID_SampleGrabber, 2, Fault::Render, true},
    {"first null renderer", Hook::None, &CLSID_NullRenderer, 1, Fault::Render, true},
    {"second null renderer", Hook::None, &CLSID_NullRenderer, 2, Fault::Render, true},
};

// Runs the call a fault is met in and checks how it failed.
template <class Graph>
void meet(const Fault& fault, Graph& graph) {
  auto call = [&]() -> HRESULT {
    switch (fault.call) {
      case Fault::Render:
        return graph.render(true);
      case Fault::Start:
        return graph.start(true);
      case Fault::Reset:
        if (FAILED(graph.start(false))) return E_UNEXPECTED;
        graph.reset();
        return S_OK;
    }
    return E_UNEXPECTED;
  };
  if (fault.throws) {
    EXPECT_THROW(call(), HRException);
  } else {
    EXPECT_EQ(call(), E_OUTOFMEMORY);
  }
  EXPECT_FALSE(graph.isRendered());
  EXPECT_FALSE(graph.isRunning());
  EXPECT_EQ(graph.getGraphBuilder(), nullptr);
}

bool testCameraPresent() {
  FilterEnums devices;
  for (const Filter* device : devices.getVideoDevices())
    if (std::strcmp(device->getName(), "KIVO Test Camera") == 0) return true;
  return false;
}

HRESULT testCameraCanUnload() {
  using CanUnload = HRESULT(STDAPICALLTYPE*)();
  auto canUnload = reinterpret_cast<CanUnload>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kivo-testcam.dll"), "DllCanUnloadNow")));
  return canUnload ? canUnload() : E_UNEXPECTED;
}

class LifecycleFaults : public ::testing::Test {
 protected:
  ComScope com;
};

TEST_F(LifecycleFaults, DeviceGraphIsEmptyAfterEachFaultAndCapturesAgain) {
  if (!testCameraPresent()) GTEST_SKIP() << "the Test Camera is not registered";
  std::vector<Fault> faults(std::begin(kFaults), std::end(kFaults));
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.name);
    Counter before, after;
    {
      CreationLedger ledger;
      std::unique_ptr<FaultyGraph<VideoCaptureGraph>> graph;
      {
        FilterEnums devices;
        for (Filter* device : devices.getVideoDevices())
          if (std::strcmp(device->getName(), "KIVO Test Camera") == 0)
            graph.reset(new FaultyGraph<VideoCaptureGraph>(
                fault.hook, static_cast<VideoCaptureFilter*>(device), 0));
      }
      ASSERT_TRUE(graph);
      graph->setMediaCB(&before);
      if (fault.call != Fault::Render) {
        ASSERT_EQ(graph->render(false), S_OK);
      }
      if (fault.clsid) ledger.fail(*fault.clsid, fault.nth);
      meet(fault, *graph);
      CMediaType connected;
      EXPECT_EQ(graph->getSampleGrabberMediaType(connected), E_FAIL);  // no grabber left
      EXPECT_EQ(ledger.releaseAll(), 0);

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
class FileLifecycleFaults : public LifecycleFaults {
 protected:
  void SetUp() override {
    if (!mediaAvailable()) GTEST_SKIP() << "no test media (run through scripts/test.sh)";
  }
  const std::wstring file = mediaPath("rgb24_pcm_2s.avi");

  // Renders with fresh callbacks from the start of the file and reads until video arrives;
  // the callbacks of before are not called.
  void readsAgain(FileCaptureGraph& graph, Counter& oldVideo, Counter& oldAudio) {
    const long video = oldVideo.samples.count(), audio = oldAudio.samples.count();
    Counter newVideo, newAudio;
    graph.setVideoCallback(&newVideo, FileCaptureGraph::FRAME_RGB24);
    graph.setAudioCallback(&newAudio, FileCaptureGraph::SAMPLE_PCM);
    ASSERT_EQ(graph.render(false), S_OK);
    graph.setPositionInSeconds(0.0);
    ASSERT_EQ(graph.start(false), S_OK);
    EXPECT_TRUE(newVideo.samples.waitFor(5, seconds(20)));
    EXPECT_TRUE(newAudio.samples.waitFor(1, seconds(20)));
    graph.reset();
    EXPECT_EQ(oldVideo.samples.count(), video);
    EXPECT_EQ(oldAudio.samples.count(), audio);
  }
};

TEST_F(FileLifecycleFaults, FileGraphIsEmptyAfterEachFaultAndReadsAgain) {
  std::vector<Fault> faults(std::begin(kFaults), std::end(kFaults));
  faults.insert(faults.end(), std::begin(kFileFaults), std::end(kFileFaults));
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.name);
    Counter video, audio;
    CreationLedger ledger;
    {
      FaultyGraph<FileCaptureGraph> graph(fault.hook, file);
      graph.setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
      graph.setAudioCallback(&audio, FileCaptureGraph::SAMPLE_PCM);
      if (fault.call != Fault::Render) {
        ASSERT_EQ(graph.render(false), S_OK);
      }
      if (fault.clsid) ledger.fail(*fault.clsid, fault.nth);
      meet(fault, graph);
      EXPECT_EQ(graph.getVideoInfo(), nullptr);
      EXPECT_EQ(ledger.releaseAll(), 0);
      readsAgain(graph, video, audio);
    }
    EXPECT_EQ(ledger.releaseAll(), 0);
  }
}

// The graph cannot tell its position (its seeking interface refuses): replacing a callback,
// resetting and a destruction still tear the graph down completely; reset says so.
TEST_F(FileLifecycleFaults, APositionThatCannotBeReadStopsNoTeardown) {
  using Access = TestAccess<FileCaptureGraph>;
  for (int exit = 0; exit < 3; ++exit) {
    SCOPED_TRACE(exit);
    Counter video, audio;
    CreationLedger ledger;
    {
      ::testing::NiceMock<MockMediaSeeking> refusing;
      ON_CALL(refusing, GetTimeFormat).WillByDefault(::testing::Return(E_NOTIMPL));
      auto graph = std::make_unique<FaultyGraph<FileCaptureGraph>>(Hook::None, file);
      graph->setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
      graph->setAudioCallback(&audio, FileCaptureGraph::SAMPLE_PCM);
      ASSERT_EQ(graph->render(false), S_OK);
      ASSERT_EQ(graph->start(false), S_OK);
      ASSERT_TRUE(video.samples.waitFor(1, seconds(20)));
      Access::plantSeeking(*graph, &refusing);
      if (exit == 0) {
        graph->setAudioCallback(&audio, FileCaptureGraph::SAMPLE_PCM);  // the same callback anew
      } else if (exit == 1) {
        EXPECT_THROW(graph->reset(), PositionUnsupportedException);
      } else {
        graph.reset();
      }
      EXPECT_EQ(refusing.refs(), 0);
      EXPECT_EQ(ledger.releaseAll(), 0);
      if (graph) {
        EXPECT_FALSE(graph->isRendered());
        EXPECT_EQ(graph->getGraphBuilder(), nullptr);
        readsAgain(*graph, video, audio);
      }
    }
    EXPECT_EQ(ledger.releaseAll(), 0);
  }
}

}  // namespace
}  // namespace kivo::test
