#include <kivo/dx_sample_grabber.h>
#include <kivo/media_cb.h>

namespace kivo {

namespace {

// The grabber's configuration interface, or the status of the query.
HRESULT grabberOf(const CComPtr<IBaseFilter>& filter, CComPtr<ISampleGrabber>& grabber) {
  return filter.QueryInterface(&grabber);
}

// Which ISampleGrabberCB method the grabber calls: 0 is SampleCB, which
// receives the media sample itself rather than a copy of its buffer.
const LONG kCallSampleCB = 0;

}  // namespace

DXSampleGrabber::DXSampleGrabber() : Filter("KIVO Sample Grabber", CLSID_SampleGrabber) {}

DXSampleGrabber::~DXSampleGrabber() = default;

long DXSampleGrabber::configureCallback(IMediaCB* callback) const {
  CComPtr<ISampleGrabber> grabber;
  HRESULT hr = grabberOf(getInterface(), grabber);
  if (FAILED(hr)) return hr;
  hr = grabber->SetCallback(callback, kCallSampleCB);
  if (FAILED(hr) || !callback) return hr;
  hr = grabber->SetOneShot(FALSE);
  if (FAILED(hr)) return hr;
  return grabber->SetBufferSamples(FALSE);
}

long DXSampleGrabber::configureMedia(AM_MEDIA_TYPE* mediaType) const {
  CComPtr<ISampleGrabber> grabber;
  const HRESULT hr = grabberOf(getInterface(), grabber);
  if (FAILED(hr)) return hr;
  return grabber->SetMediaType(mediaType);
}

long DXSampleGrabber::getConnectedMediaType(CMediaType& mediaType) const {
  CComPtr<ISampleGrabber> grabber;
  const HRESULT hr = grabberOf(getInterface(), grabber);
  if (FAILED(hr)) return hr;
  // The grabber allocates a new format block for the structure it fills:
  // read into a blank one, so that whatever mediaType owned so far is freed
  // rather than overwritten, and stays as it was when the call fails.
  AM_MEDIA_TYPE connected = {};
  const HRESULT status = grabber->GetConnectedMediaType(&connected);
  if (FAILED(status)) return status;
  FreeMediaType(mediaType);
  static_cast<AM_MEDIA_TYPE&>(mediaType) = connected;
  return status;
}

}  // namespace kivo
