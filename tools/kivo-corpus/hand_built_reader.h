#pragma once

// The graph that kivo::FileCaptureGraph builds for a file's video (RGB24)
// and audio (PCM), built by hand with plain COM: one sample grabber and
// null renderer per stream, each grabber rendered from the file source as
// the capture graph builder finds the way, no reference clock. What it
// does on a file is what the platform itself does. (common/hand_built_graph.h
// is the video-only graph of the benchmark and soak tools.)

#include <kivo/comptr.h>
#include <kivo/platform.h>

#include <chrono>
#include <string>

namespace kivo::corpus {

class HandBuiltReader {
 public:
  HandBuiltReader() = default;
  HandBuiltReader(const HandBuiltReader&) = delete;
  HandBuiltReader& operator=(const HandBuiltReader&) = delete;
  // Stops the graph if it runs, and detaches the callbacks.
  ~HandBuiltReader();

  // Builds the graph on `file` with a stream for each callback given (at
  // least one); the status of the first step that failed.
  HRESULT build(const std::wstring& file, ISampleGrabberCB* video, ISampleGrabberCB* audio);
  // Runs the built graph until the end of the file, at most `bound`; false
  // when it did not run or the end did not come.
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

}  // namespace kivo::corpus
