#pragma once

#include <kivo/mediatype.h>

#include <vector>

namespace kivo {

class DXMediaInfo;
class DXSampleGrabber;
class Filter;
class IMediaCB;
class NullSink;

// One requested stream of a media file: a sample grabber that hands every
// sample to the host's callback, followed by a null renderer that ends the
// stream. The requested media type and the callback stay for the life of
// the chain; grabber, sink and the description of the connected type exist
// from init() to uninit(), one filter graph at a time.
class SampleGrabberChain {
 public:
  SampleGrabberChain(IMediaCB* callback, const CMediaType& mediaType);
  virtual ~SampleGrabberChain();
  SampleGrabberChain(const SampleGrabberChain&) = delete;
  SampleGrabberChain& operator=(const SampleGrabberChain&) = delete;

  // Creates and configures grabber and sink; E_UNEXPECTED when they exist.
  // Filter creation failures leave as FilterCreationException.
  long init();
  // Describes the type the grabber's input connected with.
  long initConnectedMediaInfo();
  // Deletes the description, the sink and the grabber (the filters are not
  // removed from any graph).
  void uninit();
  // Appends grabber then sink; E_UNEXPECTED before init().
  long getFilters(std::vector<Filter*>& filters) const;

  const CMediaType* getMediaType() const;
  const DXMediaInfo* getConnectedMediaInfo() const;

 private:
  DXSampleGrabber* grabber;
  NullSink* nullSink;
  IMediaCB* callback;
  CMediaType* mediaType;
  DXMediaInfo* connectedMediaInfo;
};

}  // namespace kivo
