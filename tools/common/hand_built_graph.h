#pragma once

// The graph that kivo::FileCaptureGraph builds for a video file, built by
// hand with plain COM (filter graph, capture graph builder, sample grabber
// taking RGB24, null renderer, no reference clock): kivo-bench reads files
// through it to compare speeds, kivo-soak to learn what the platform itself
// keeps per graph.

#include <kivo/comptr.h>
#include <kivo/platform.h>

#include "common/frame_counter.h"

#include <chrono>
#include <string>

namespace kivo::tools {

// The hand-built graph's callback: the platform's own interface, nothing of
// kivo's.
class PlainCallback : public ISampleGrabberCB {
 public:
  explicit PlainCallback(FrameCounter* counter) : counter_(counter) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
      *object = this;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP SampleCB(double, IMediaSample*) override {
    counter_->add();
    return S_OK;
  }
  STDMETHODIMP BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }

 private:
  FrameCounter* counter_;
};

// The graph that FileCaptureGraph builds, built by hand with plain COM.
struct HandBuiltGraph {
  kivo::CComPtr<IGraphBuilder> graph;
  kivo::CComPtr<ICaptureGraphBuilder2> builder;
  kivo::CComPtr<IBaseFilter> source, grabberFilter, sink;
  kivo::CComPtr<ISampleGrabber> grabber;
  kivo::CComPtr<IMediaControl> control;
  kivo::CComPtr<IMediaEvent> events;

  bool build(const std::wstring& file, ISampleGrabberCB* callback) {
    if (FAILED(graph.CoCreateInstance(CLSID_FilterGraph)) ||
        FAILED(builder.CoCreateInstance(CLSID_CaptureGraphBuilder2)) ||
        FAILED(builder->SetFiltergraph(graph)) ||
        FAILED(graph->AddSourceFilter(file.c_str(), L"Source", &source)) ||
        FAILED(grabberFilter.CoCreateInstance(CLSID_SampleGrabber)) ||
        FAILED(sink.CoCreateInstance(CLSID_NullRenderer)) ||
        FAILED(grabberFilter.QueryInterface(&grabber)))
      return false;
    AM_MEDIA_TYPE type = {};
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_RGB24;
    grabber->SetMediaType(&type);
    grabber->SetCallback(callback, 0);
    grabber->SetOneShot(FALSE);
    grabber->SetBufferSamples(FALSE);
    graph->AddFilter(grabberFilter, L"Grabber");
    graph->AddFilter(sink, L"Sink");
    if (FAILED(builder->RenderStream(nullptr, nullptr, source, nullptr, grabberFilter)) ||
        FAILED(builder->RenderStream(nullptr, &MEDIATYPE_Video, grabberFilter, nullptr, sink)))
      return false;
    kivo::CComPtr<IMediaFilter> mediaFilter;
    graph.QueryInterface(&mediaFilter);
    mediaFilter->SetSyncSource(nullptr);
    graph.QueryInterface(&control);
    graph.QueryInterface(&events);
    return control && events;
  }

  // Runs the built graph to the end of the file, waiting at most `bound`,
  // and stops it; false when it did not run or the end did not come.
  bool runToEnd(std::chrono::milliseconds bound) {
    if (FAILED(control->Run())) return false;
    long code = 0;
    const bool completed =
        SUCCEEDED(events->WaitForCompletion(static_cast<long>(bound.count()), &code)) &&
        code == EC_COMPLETE;
    stop();
    return completed;
  }

  void stop() {
    control->Stop();
    grabber->SetCallback(nullptr, 0);
  }
};

// Builds the graph, runs it to the end of the file (at most `bound`) and
// releases it; false when a step failed or the end did not come.
inline bool readByHandToEnd(const std::wstring& file, FrameCounter& counter,
                            std::chrono::milliseconds bound) {
  PlainCallback callback(&counter);
  HandBuiltGraph hand;
  return hand.build(file, &callback) && hand.runToEnd(bound);
}

}  // namespace kivo::tools
