#include "common/hand_built_graph.h"

namespace kivo::tools {

HandBuiltGraph::~HandBuiltGraph() {
  if (control_) control_->Stop();
  for (Stream* stream : {&video_, &audio_}) {
    if (stream->grabber) stream->grabber->SetCallback(nullptr, 0);
  }
}

HRESULT HandBuiltGraph::createGraph(const std::wstring& file) {
  HRESULT hr = graph_.CoCreateInstance(CLSID_FilterGraph);
  if (SUCCEEDED(hr)) hr = builder_.CoCreateInstance(CLSID_CaptureGraphBuilder2);
  if (SUCCEEDED(hr)) hr = builder_->SetFiltergraph(graph_);
  if (SUCCEEDED(hr)) hr = graph_->AddSourceFilter(file.c_str(), L"Source", &source_);
  return hr;
}

// A grabber restricted to the stream's type, rendered from the source with
// no media type (the source's only pin carries a byte stream: the builder
// inserts the splitter and decoders), then on into a null renderer, without
// which the end of the stream is never reported.
HRESULT HandBuiltGraph::addStream(Stream& stream, const GUID& majorType, const GUID& subtype,
                                  ISampleGrabberCB* callback) {
  HRESULT hr = stream.grabberFilter.CoCreateInstance(CLSID_SampleGrabber);
  if (SUCCEEDED(hr)) hr = stream.sink.CoCreateInstance(CLSID_NullRenderer);
  if (SUCCEEDED(hr)) hr = stream.grabberFilter.QueryInterface(&stream.grabber);
  if (FAILED(hr)) return hr;
  AM_MEDIA_TYPE type = {};
  type.majortype = majorType;
  type.subtype = subtype;
  stream.grabber->SetMediaType(&type);
  stream.grabber->SetCallback(callback, 0);
  stream.grabber->SetOneShot(FALSE);
  stream.grabber->SetBufferSamples(FALSE);
  hr = graph_->AddFilter(stream.grabberFilter, nullptr);
  if (SUCCEEDED(hr)) hr = graph_->AddFilter(stream.sink, nullptr);
  if (SUCCEEDED(hr))
    hr = builder_->RenderStream(nullptr, nullptr, source_, nullptr, stream.grabberFilter);
  if (SUCCEEDED(hr))
    hr = builder_->RenderStream(nullptr, &majorType, stream.grabberFilter, nullptr, stream.sink);
  return hr;
}

HRESULT HandBuiltGraph::build(const std::wstring& file, ISampleGrabberCB* video,
                              ISampleGrabberCB* audio) {
  HRESULT hr = createGraph(file);
  if (SUCCEEDED(hr) && video) hr = addStream(video_, MEDIATYPE_Video, MEDIASUBTYPE_RGB24, video);
  if (SUCCEEDED(hr) && audio) hr = addStream(audio_, MEDIATYPE_Audio, MEDIASUBTYPE_PCM, audio);
  kivo::CComPtr<IMediaFilter> clock;
  if (SUCCEEDED(hr)) hr = graph_.QueryInterface(&clock);
  if (SUCCEEDED(hr)) hr = clock->SetSyncSource(nullptr);
  if (SUCCEEDED(hr)) hr = graph_.QueryInterface(&control_);
  return hr;
}

HRESULT HandBuiltGraph::run() { return control_ ? control_->Run() : E_UNEXPECTED; }

bool HandBuiltGraph::runToEnd(std::chrono::milliseconds bound) {
  kivo::CComPtr<IMediaEvent> events;
  if (FAILED(graph_.QueryInterface(&events)) || FAILED(run())) return false;
  long code = 0;
  const bool completed =
      SUCCEEDED(events->WaitForCompletion(static_cast<long>(bound.count()), &code)) &&
      code == EC_COMPLETE;
  control_->Stop();
  return completed;
}

}  // namespace kivo::tools
