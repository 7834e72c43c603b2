// Reads one media file through FileCaptureGraph and through the same
// DirectShow graph built by hand, alternately, and prints the frames per
// second of both and their ratio.
//
//   kivo-bench-file FILE [RUNS]

#include <kivo/file_capture_graph.h>
#include <kivo/media_cb.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using kivo::CComPtr;
using Clock = std::chrono::steady_clock;

namespace {

// Both callbacks note when the last frame arrived: the reading speed is
// measured to it, so that how a host learns of the end does not count.
class FrameClock {
 public:
  void tick() {
    last = Clock::now().time_since_epoch().count();
    ++frames;
  }
  double secondsSince(Clock::time_point begin) const {
    const Clock::time_point end{Clock::duration(last.load())};
    return std::chrono::duration<double>(end - begin).count();
  }
  std::atomic<long> frames{0};
  std::atomic<Clock::rep> last{0};
};

class CountingCallback : public kivo::IMediaCB {
 public:
  long processSample(double, IMediaSample*) override {
    clock.tick();
    return S_OK;
  }
  FrameClock clock;
};

// The hand-built graph's callback: the platform's own interface, nothing of
// kivo's.
class PlainCallback : public ISampleGrabberCB {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP SampleCB(double, IMediaSample*) override {
    clock.tick();
    return S_OK;
  }
  STDMETHODIMP BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }
  FrameClock clock;
};

struct Run {
  long frames = 0;
  double seconds = 0.0;
};

bool waitForCompletion(IGraphBuilder* graph) {
  CComPtr<IMediaEvent> events;
  if (FAILED(graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&events))))
    return false;
  long code = 0;
  return SUCCEEDED(events->WaitForCompletion(60000, &code)) && code == EC_COMPLETE;
}

Run readWithKivo(const std::wstring& file) {
  Run run;
  CountingCallback callback;
  kivo::FileCaptureGraph graph(file);
  graph.setVideoCallback(&callback, kivo::FileCaptureGraph::FRAME_RGB24);
  if (FAILED(graph.render(false))) return run;
  const auto begin = Clock::now();
  if (FAILED(graph.start(false))) return run;
  // A host polls for the end; between polls it leaves the processor to the
  // streaming thread.
  while (!graph.isStreamFinished()) Sleep(20);
  run.seconds = callback.clock.secondsSince(begin);
  graph.stop();
  run.frames = callback.clock.frames;
  return run;
}

Run readByHand(const std::wstring& file) {
  Run run;
  PlainCallback callback;
  CComPtr<IGraphBuilder> graph;
  CComPtr<ICaptureGraphBuilder2> builder;
  CComPtr<IBaseFilter> source, grabberFilter, sink;
  CComPtr<ISampleGrabber> grabber;
  if (FAILED(graph.CoCreateInstance(CLSID_FilterGraph)) ||
      FAILED(builder.CoCreateInstance(CLSID_CaptureGraphBuilder2)) ||
      FAILED(builder->SetFiltergraph(graph)) ||
      FAILED(graph->AddSourceFilter(file.c_str(), L"Source", &source)) ||
      FAILED(grabberFilter.CoCreateInstance(CLSID_SampleGrabber)) ||
      FAILED(sink.CoCreateInstance(CLSID_NullRenderer)) ||
      FAILED(grabberFilter.QueryInterface(&grabber)))
    return run;
  AM_MEDIA_TYPE type = {};
  type.majortype = MEDIATYPE_Video;
  type.subtype = MEDIASUBTYPE_RGB24;
  grabber->SetMediaType(&type);
  grabber->SetCallback(&callback, 0);
  grabber->SetOneShot(FALSE);
  grabber->SetBufferSamples(FALSE);
  graph->AddFilter(grabberFilter, L"Grabber");
  graph->AddFilter(sink, L"Sink");
  if (FAILED(builder->RenderStream(nullptr, nullptr, source, nullptr, grabberFilter)) ||
      FAILED(builder->RenderStream(nullptr, &MEDIATYPE_Video, grabberFilter, nullptr, sink)))
    return run;
  CComPtr<IMediaFilter> mediaFilter;
  graph.QueryInterface(&mediaFilter);
  mediaFilter->SetSyncSource(nullptr);
  CComPtr<IMediaControl> control;
  graph.QueryInterface(&control);
  const auto begin = Clock::now();
  if (FAILED(control->Run())) return run;
  const bool completed = waitForCompletion(graph);
  run.seconds = callback.clock.secondsSince(begin);
  control->Stop();
  grabber->SetCallback(nullptr, 0);
  run.frames = completed ? callback.clock.frames.load() : 0;
  return run;
}

double framesPerSecond(const std::vector<Run>& runs) {
  long frames = 0;
  double seconds = 0.0;
  for (const Run& run : runs) {
    frames += run.frames;
    seconds += run.seconds;
  }
  return seconds > 0.0 ? frames / seconds : 0.0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: kivo-bench-file FILE [RUNS]\n");
    return 2;
  }
  const std::wstring file = argv[1];
  const int runs = argc > 2 ? _wtoi(argv[2]) : 10;
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  std::vector<Run> kivoRuns, handRuns;
  // Alternate, so that both see the same machine state and file cache.
  for (int i = 0; i < runs; ++i) {
    // Each one goes first every other time: what a graph leaves running
    // as it is released then weighs on both alike.
    if (i % 2 == 0) {
      handRuns.push_back(readByHand(file));
      kivoRuns.push_back(readWithKivo(file));
    } else {
      kivoRuns.push_back(readWithKivo(file));
      handRuns.push_back(readByHand(file));
    }
  }
  const double kivoFps = framesPerSecond(kivoRuns);
  const double handFps = framesPerSecond(handRuns);
  const long framesPerRun = kivoRuns.empty() ? 0 : kivoRuns.front().frames;
  std::printf("{\"file_frames_per_run\": %ld, \"runs\": %d, \"kivo_fps\": %.1f, "
              "\"hand_built_fps\": %.1f, \"ratio\": %.3f}\n",
              framesPerRun, runs, kivoFps, handFps, handFps > 0 ? kivoFps / handFps : 0.0);
  CoUninitialize();
  return kivoFps > 0 && handFps > 0 ? 0 : 1;
}
