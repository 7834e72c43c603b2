#pragma once

#include <kivo/export.h>
#include <kivo/platform.h>

namespace kivo {

// The host's receiver of media samples. Derive from it, implement
// processSample and hand the object to a graph; the sample grabber calls
// SampleCB on DirectShow's streaming thread for every sample, which passes
// the sample on to processSample.
//
// An IMediaCB is a callback object, not a counted COM object: AddRef and
// Release change nothing, and it is disposed of with destroy(). Keep it
// alive for as long as a graph it was handed to may stream.
//
// The first five virtual slots are the layout of ISampleGrabberCB, so that
// an instance can be installed in a sample grabber as it is.
class KIVO_API IMediaCB : public ISampleGrabberCB {
 public:
  IMediaCB();
  IMediaCB(const IMediaCB& other);
  IMediaCB& operator=(const IMediaCB& other);

  // Answers IID_ISampleGrabberCB and IID_IUnknown with the object itself
  // (no reference is added), anything else with E_NOINTERFACE.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  // Returns 2 and changes nothing.
  ULONG STDMETHODCALLTYPE AddRef() override;
  // Returns 1 and changes nothing; the object is never deleted through it.
  ULONG STDMETHODCALLTYPE Release() override;
  // Calls processSample with the same arguments and returns S_OK whatever
  // the handler did: a status it returns is ignored, and an exception it
  // throws is caught here, so that DirectShow's streaming thread keeps
  // delivering samples.
  HRESULT STDMETHODCALLTYPE SampleCB(double sampleTime, IMediaSample* sample) override;
  // Not used: returns E_NOTIMPL.
  HRESULT STDMETHODCALLTYPE BufferCB(double sampleTime, BYTE* buffer, LONG bufferLength) override;

  // The host's handler of one sample, called on the streaming thread.
  // `sampleTime` is the sample's start time in seconds as the grabber
  // reports it; `sample` is valid only during the call (AddRef it to keep
  // it). The returned HRESULT is for the host's own use: kivo ignores it.
  virtual long processSample(double sampleTime, IMediaSample* sample) = 0;

  // Deletes the object through its virtual destructor.
  virtual void destroy();

 protected:
  // Protected: callbacks are disposed of with destroy().
  virtual ~IMediaCB();
};

}  // namespace kivo
