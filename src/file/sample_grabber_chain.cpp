#include "file/sample_grabber_chain.h"

#include <kivo/dx_media_info.h>
#include <kivo/dx_sample_grabber.h>
#include <kivo/media_cb.h>
#include <kivo/null_sink.h>

namespace kivo {

SampleGrabberChain::SampleGrabberChain(IMediaCB* callback, const CMediaType& mediaType)
    : grabber(nullptr),
      nullSink(nullptr),
      callback(callback),
      mediaType(new CMediaType(mediaType)),
      connectedMediaInfo(nullptr) {}

SampleGrabberChain::~SampleGrabberChain() {
  // A chain deleted while initialised (its graph torn down with it) must not
  // leak its filters.
  uninit();
  delete mediaType;
}

long SampleGrabberChain::init() {
  if (grabber || nullSink) return E_UNEXPECTED;
  grabber = new DXSampleGrabber();
  HRESULT hr = grabber->configureMedia(mediaType);
  if (FAILED(hr)) return hr;
  hr = grabber->configureCallback(callback);
  if (FAILED(hr)) return hr;
  nullSink = new NullSink();
  return hr;
}

long SampleGrabberChain::initConnectedMediaInfo() {
  if (!grabber && !nullSink) return E_UNEXPECTED;
  if (!grabber) return E_UNEXPECTED;
  CMediaType connected;
  const HRESULT hr = grabber->getConnectedMediaType(connected);
  if (SUCCEEDED(hr)) {
    delete connectedMediaInfo;
    connectedMediaInfo = new DXMediaInfo(connected);
  }
  return hr;
}

void SampleGrabberChain::uninit() {
  delete connectedMediaInfo;
  connectedMediaInfo = nullptr;
  delete nullSink;
  nullSink = nullptr;
  // Whoever else still holds the grabber (a tool inspecting the graph
  // through the Running Object Table) must not reach a callback the host
  // may destroy from now on.
  if (grabber) grabber->configureCallback(nullptr);
  delete grabber;
  grabber = nullptr;
}

long SampleGrabberChain::getFilters(std::vector<Filter*>& filters) const {
  if (!grabber || !nullSink) return E_UNEXPECTED;
  filters.push_back(grabber);
  filters.push_back(nullSink);
  return S_OK;
}

const CMediaType* SampleGrabberChain::getMediaType() const { return mediaType; }

const DXMediaInfo* SampleGrabberChain::getConnectedMediaInfo() const { return connectedMediaInfo; }

}  // namespace kivo
