// A host-side CaptureGraph that plays a media file through a sample grabber
// into a null renderer, run against the platform's DirectShow.

#include <kivo/capture_graph.h>
#include <kivo/dx_sample_grabber.h>
#include <kivo/media_cb.h>
#include <kivo/null_sink.h>

#include "support/media.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <stdexcept>
#include <string>

namespace kivo::test {
namespace {

using namespace std::chrono_literals;

// The test file: 50 frames of 160x120 RGB24 video.
const long kFrames = 50;

// Counts the samples it receives; may throw from every one of them.
class CountingCallback : public IMediaCB {
 public:
  long processSample(double time, IMediaSample* sample) override {
    if (sample && sample->GetActualDataLength() > 0) bytesSeen = true;
    lastTime = time;
    samples.add();
    if (throwing) throw std::runtime_error("the host's handler failed");
    return S_OK;
  }
  EventCounter samples;
  std::atomic<bool> throwing{false};
  std::atomic<bool> bytesSeen{false};
  std::atomic<double> lastTime{-1};
};

// Source filter -> AVI splitter -> KIVO Sample Grabber (RGB24
// video) -> KIVO Null Renderer, read without a reference clock.
class FileGraph : public CaptureGraph {
 public:
  FileGraph(std::wstring file, IMediaCB* callback) : file_(std::move(file)), callback_(callback) {}
  ~FileGraph() override { reset(); }

  using CaptureGraph::getGraphBuilder;

  // The event code that ends the run (EC_COMPLETE), or 0 on time-out.
  long waitForCompletion(long milliseconds) {
    CComPtr<IMediaEvent> events;
    if (FAILED(
            getGraphBuilder()->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&events))))
      return 0;
    long code = 0;
    if (events->WaitForCompletion(milliseconds, &code) != S_OK) return 0;
    return code;
  }

  int inits = 0;
  int uninits = 0;

 protected:
  HRESULT initMediaSection() override {
    ++inits;
    HRESULT hr = getGraphBuilder()->AddSourceFilter(file_.c_str(), L"Source", &source_);
    if (FAILED(hr)) return hr;
    // With the AVI splitter in the graph the builder tries it first, rather
    // than searching every registered filter.
    CComPtr<IBaseFilter> splitter;
    hr = CoCreateInstance(CLSID_AviSplitter, nullptr, CLSCTX_ALL, IID_IBaseFilter,
                          reinterpret_cast<void**>(&splitter));
    if (FAILED(hr)) return hr;
    hr = getGraphBuilder()->AddFilter(splitter, L"AVI Splitter");
    if (FAILED(hr)) return hr;
    grabber_ = new DXSampleGrabber;
    hr = addToGraph(grabber_);
    if (FAILED(hr)) return hr;
    sink_ = new NullSink;
    return addToGraph(sink_);
  }
  void uninitMediaSection() override {
    ++uninits;
    source_.Release();
    delete grabber_;
    grabber_ = nullptr;
    delete sink_;
    sink_ = nullptr;
  }
  HRESULT renderMediaSection() override {
    AM_MEDIA_TYPE type = {};
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_RGB24;
    HRESULT hr = grabber_->configureMedia(&type);
    if (FAILED(hr)) return hr;
    hr = grabber_->configureCallback(callback_);
    if (FAILED(hr)) return hr;
    hr = getGraphBuilder2()->RenderStream(nullptr, nullptr, source_, grabber_->getInterface(),
                                          sink_->getInterface());
    if (FAILED(hr)) return hr;
    // Without a clock the file is read as fast as it is decoded.
    CComPtr<IMediaFilter> timing;
    hr = getGraphBuilder().QueryInterface(&timing);
    if (FAILED(hr)) return hr;
    return timing->SetSyncSource(nullptr);
  }
  void unrenderMediaSection() override { nukeDownstream(source_); }
  void resetMediaSection() override {}

 private:
  std::wstring file_;
  IMediaCB* callback_;
  CComPtr<IBaseFilter> source_;
  DXSampleGrabber* grabber_ = nullptr;
  NullSink* sink_ = nullptr;
};

class FileRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(com.status(), S_OK);
    file = mediaPath("video-rgb24.avi");
    ASSERT_FALSE(file.empty()) << "KIVO_TEST_MEDIA is not set";
    ASSERT_NE(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES)
        << "the media fixture did not write the test file";
    callback = new CountingCallback;
  }
  void TearDown() override { callback->destroy(); }

  ComScope com;
  std::wstring file;
  CountingCallback* callback = nullptr;
};

TEST_F(FileRunTest, ARenderedGraphRunsAndDeliversEveryFrame) {
  FileGraph graph(file, callback);
  ASSERT_EQ(graph.render(false), S_OK);
  EXPECT_TRUE(graph.isRendered());
  EXPECT_FALSE(graph.isRunning());
  ASSERT_EQ(graph.start(false), S_OK);
  EXPECT_TRUE(graph.isRunning());
  EXPECT_TRUE(callback->samples.waitFor(kFrames, 20s)) << callback->samples.count();
  EXPECT_EQ(graph.waitForCompletion(20000), EC_COMPLETE);
  EXPECT_EQ(callback->samples.count(), kFrames);
  EXPECT_TRUE(callback->bytesSeen);
  EXPECT_NEAR(callback->lastTime, (kFrames - 1) / 25.0, 0.01);
  EXPECT_EQ(graph.stop(), S_OK);
  EXPECT_FALSE(graph.isRunning());
  EXPECT_TRUE(graph.isRendered());
  graph.reset();
  EXPECT_FALSE(graph.isRendered());
  EXPECT_EQ(graph.getGraphBuilder(), nullptr);
  EXPECT_EQ(graph.inits, 1);
  EXPECT_EQ(graph.uninits, 1);
}

TEST_F(FileRunTest, AThrowingHandlerDoesNotStopTheStream) {
  callback->throwing = true;
  FileGraph graph(file, callback);
  ASSERT_EQ(graph.render(false), S_OK);
  ASSERT_EQ(graph.start(false), S_OK);
  EXPECT_TRUE(callback->samples.waitFor(kFrames, 20s)) << callback->samples.count();
  EXPECT_EQ(graph.waitForCompletion(20000), EC_COMPLETE);
  EXPECT_EQ(callback->samples.count(), kFrames);
  EXPECT_TRUE(graph.isRunning());
  EXPECT_EQ(graph.stop(), S_OK);
}

TEST_F(FileRunTest, AFileThatCannotBeOpenedLeavesTheGraphEmpty) {
  FileGraph graph(mediaPath("no-such-file.avi"), callback);
  EXPECT_LT(graph.render(false), 0);
  EXPECT_FALSE(graph.isRendered());
  EXPECT_EQ(graph.getGraphBuilder(), nullptr);
  EXPECT_EQ(graph.uninits, 1);
  // The base preStart renders nothing: there is no graph to run.
  EXPECT_EQ(graph.start(false), VFW_E_WRONG_STATE);
  EXPECT_FALSE(graph.isRunning());
}

// The Running Object Table entries whose name is `item`, and whether the
// registered object is `graph`.
int countRegistrations(const std::wstring& item, IUnknown* graph, bool* isGraph) {
  CComPtr<IRunningObjectTable> table;
  if (FAILED(GetRunningObjectTable(0, &table))) return -1;
  CComPtr<IEnumMoniker> monikers;
  if (FAILED(table->EnumRunning(&monikers)) || !monikers) return -1;
  CComPtr<IBindCtx> context;
  CreateBindCtx(0, &context);
  int count = 0;
  for (;;) {
    CComPtr<IMoniker> moniker;
    if (monikers->Next(1, &moniker, nullptr) != S_OK) break;
    LPOLESTR display = nullptr;
    if (FAILED(moniker->GetDisplayName(context, nullptr, &display)) || !display) continue;
    if (std::wstring(display).find(item) != std::wstring::npos) {
      ++count;
      CComPtr<IUnknown> object;
      if (isGraph && SUCCEEDED(table->GetObject(moniker, &object)))
        *isGraph = object.IsEqualObject(graph);
    }
    CoTaskMemFree(display);
  }
  return count;
}

TEST_F(FileRunTest, ARegisteredGraphIsInTheRunningObjectTableUntilReset) {
  FileGraph graph(file, callback);
  ASSERT_EQ(graph.render(true), S_OK);
  CComPtr<IGraphBuilder> builder = graph.getGraphBuilder();
  ASSERT_NE(builder, nullptr);
  wchar_t item[64];
  std::swprintf(item, 64, L"FilterGraph %08x pid %08x",
                static_cast<unsigned>(reinterpret_cast<DWORD_PTR>(builder.p) & 0xffffffffu),
                static_cast<unsigned>(GetCurrentProcessId()));
  bool isGraph = false;
  EXPECT_EQ(countRegistrations(item, builder, &isGraph), 1);
  EXPECT_TRUE(isGraph);
  EXPECT_EQ(graph.render(true), S_OK);
  EXPECT_EQ(countRegistrations(item, builder, nullptr), 1);
  graph.reset();
  EXPECT_EQ(countRegistrations(item, builder, nullptr), 0);
}

// The threads of this process.
long countThreads() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry;
  entry.dwSize = sizeof(entry);
  long count = 0;
  const DWORD self = GetCurrentProcessId();
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == self) ++count;
  CloseHandle(snapshot);
  return count;
}

TEST_F(FileRunTest, RepeatedRunsLeaveNoThreadBehind) {
  auto cycle = [&](int round) {
    FileGraph graph(file, callback);
    ASSERT_EQ(graph.render(false), S_OK) << round;
    const long before = callback->samples.count();
    ASSERT_EQ(graph.start(false), S_OK) << round;
    EXPECT_TRUE(callback->samples.waitFor(before + kFrames, 20s)) << round;
    EXPECT_EQ(graph.waitForCompletion(20000), EC_COMPLETE) << round;
    EXPECT_EQ(graph.stop(), S_OK) << round;
    graph.reset();
  };
  const long initial = countThreads();
  ASSERT_GT(initial, 0);
  // The first run may start worker threads of the platform that stay.
  cycle(0);
  const long settled = countThreads();
  for (int round = 1; round <= 5; ++round) {
    cycle(round);
    EXPECT_LE(countThreads(), settled) << "after run " << round;
  }
  std::printf("threads: %ld before any run, %ld after one, %ld after six\n", initial, settled,
              countThreads());
}

}  // namespace
}  // namespace kivo::test
