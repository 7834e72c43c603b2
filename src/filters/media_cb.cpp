#include <kivo/media_cb.h>

namespace kivo {

IMediaCB::IMediaCB() = default;

IMediaCB::IMediaCB(const IMediaCB&) : ISampleGrabberCB() {}

IMediaCB& IMediaCB::operator=(const IMediaCB&) { return *this; }

IMediaCB::~IMediaCB() = default;

HRESULT STDMETHODCALLTYPE IMediaCB::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_ISampleGrabberCB) || IsEqualIID(riid, IID_IUnknown)) {
    *ppv = static_cast<ISampleGrabberCB*>(this);
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE IMediaCB::AddRef() { return 2; }

ULONG STDMETHODCALLTYPE IMediaCB::Release() { return 1; }

HRESULT STDMETHODCALLTYPE IMediaCB::SampleCB(double sampleTime, IMediaSample* sample) {
  // This runs on DirectShow's streaming thread: an exception must not leave
  // it, or the whole process goes down with the graph.
  try {
    processSample(sampleTime, sample);
  } catch (...) {
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE IMediaCB::BufferCB(double, BYTE*, LONG) { return E_NOTIMPL; }

void IMediaCB::destroy() { delete this; }

}  // namespace kivo
