#pragma once

// The graph that kivo::FileCaptureGraph builds for a file, built by hand
// with plain COM (filter graph, capture graph builder, a sample grabber and
// null renderer per stream, no reference clock): kivo-bench reads files
// through it to compare speeds, kivo-soak to learn what the platform itself
// keeps per graph, kivo-corpus to learn what the platform reads.

#include <kivo/comptr.h>
#include <kivo/platform.h>

#include "common/frame_counter.h"

#include <chrono>
#include <functional>
#include <string>

namespace kivo::tools {

// The hand-built graphs' callback: the platform's own interface, nothing of
// kivo's; each sample goes to the receiver.
class PlainCallback : public ISampleGrabberCB {
 public:
  using Receiver = std::function<void(IMediaSample*)>;
  explicit PlainCallback(Receiver receiver) : receiver_(std::move(receiver)) {}
  explicit PlainCallback(FrameCounter* counter)
      : PlainCallback([counter](IMediaSample*) { counter->add(); }) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
      *object = this;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // Lives on its host's stack for longer than the graph.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP SampleCB(double, IMediaSample* sample) override {
    receiver_(sample);
    return S_OK;
  }
  STDMETHODIMP BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }

 private:
  Receiver receiver_;
};

// The graph that FileCaptureGraph builds, built by hand with plain COM: one
// sample grabber (video as RGB24, sound as PCM) and null renderer per
// stream, each grabber rendered from the file source as the capture graph
// builder finds the way, no reference clock.
class HandBuiltGraph {
 public:
  HandBuiltGraph() = default;
  HandBuiltGraph(const HandBuiltGraph&) = delete;
  HandBuiltGraph& operator=(const HandBuiltGraph&) = delete;
  // Stops the graph if it runs, and detaches the callbacks.
  ~HandBuiltGraph();

  // Builds the graph on `file` with a stream for each callback given (at
  // least one); the status of the first step that failed.
  HRESULT build(const std::wstring& file, ISampleGrabberCB* video,
                ISampleGrabberCB* audio = nullptr);
  HRESULT run();
  // Runs the built graph until the end of the file, at most `bound`, and
  // stops it; false when it did not run or the end did not come.
  bool runToEnd(std::chrono::milliseconds bound);

 private:
  struct Stream {
    kivo::CComPtr<IBaseFilter> grabberFilter, sink;
    kivo::CComPtr<ISampleGrabber> grabber;
  };

  HRESULT createGraph(const std::wstring& file);
  HRESULT addStream(Stream& stream, const GUID& majorType, const GUID& subtype,
                    ISampleGrabberCB* callback);

  kivo::CComPtr<IGraphBuilder> graph_;
  kivo::CComPtr<ICaptureGraphBuilder2> builder_;
  kivo::CComPtr<IBaseFilter> source_;
  kivo::CComPtr<IMediaControl> control_;
  Stream video_, audio_;
};

// Builds the graph, runs it to the end of the file (at most `bound`) and
// releases it; false when a step failed or the end did not come.
inline bool readByHandToEnd(const std::wstring& file, FrameCounter& counter,
                            std::chrono::milliseconds bound) {
  PlainCallback callback(&counter);
  HandBuiltGraph hand;
  return SUCCEEDED(hand.build(file, &callback)) && hand.runToEnd(bound);
}

}  // namespace kivo::tools
