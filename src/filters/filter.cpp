#include <kivo/filter.h>
#include <kivo/filter_creation_exception.h>
#include <kivo/video_capture_filter.h>

#include "foundation/text.h"

namespace kivo {

Filter::Filter(const char* name, CComPtr<IBaseFilter> filter, CComPtr<IMoniker> moniker,
               CComPtr<IBindCtx> bindCtx)
    : moniker(moniker), filter(filter), bindCtx(bindCtx) {
  setName(name);
}

Filter::Filter(const char* name, const GUID& clsid) {
  CComPtr<IBaseFilter> created;
  const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IBaseFilter,
                                      reinterpret_cast<void**>(&created));
  if (FAILED(hr)) throw FilterCreationException(hr);
  setInterface(created);
  setName(name);
}

Filter::Filter(const Filter& other) { copy(other); }

Filter& Filter::operator=(const Filter& other) {
  if (&other != this) copy(other);
  return *this;
}

Filter::~Filter() = default;

const CComPtr<IBaseFilter>& Filter::getInterface() const { return filter; }

const char* Filter::getName() const { return name.c_str(); }

const char* Filter::getUniqueString() const {
  uniqueString.clear();
  if (!moniker) return uniqueString.c_str();
  CComPtr<IPropertyBag> bag;
  if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                    reinterpret_cast<void**>(&bag))) ||
      !bag)
    return uniqueString.c_str();
  VARIANT value;
  VariantInit(&value);
  if (SUCCEEDED(bag->Read(L"DevicePath", &value, nullptr)) && value.vt == VT_BSTR)
    uniqueString = toUtf8(value.bstrVal);
  VariantClear(&value);
  return uniqueString.c_str();
}

bool Filter::isVFW() const { return false; }

void Filter::copy(const Filter& other) {
  moniker = other.moniker;
  bindCtx = other.bindCtx;
  if (!moniker) {
    setInterface(other.filter);
  } else {
    // Each copy of a device gets an object of its own from a fresh bind;
    // when the device refuses, the copy shares the source's object.
    CComPtr<IBaseFilter> bound;
    const HRESULT hr =
        moniker->BindToObject(bindCtx, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&bound));
    setInterface(SUCCEEDED(hr) && bound ? bound : other.filter);
  }
  setName(other.name.c_str());
}

void Filter::setName(const char* text) { name = text ? text : ""; }

void Filter::setInterface(const CComPtr<IBaseFilter>& object) { filter = object; }

VideoCaptureFilter::VideoCaptureFilter(const char* name, CComPtr<IBaseFilter> filter,
                                       CComPtr<IMoniker> moniker, CComPtr<IBindCtx> bindCtx)
    : Filter(name, filter, moniker, bindCtx) {}

VideoCaptureFilter::VideoCaptureFilter(const VideoCaptureFilter& other) : Filter(other) {}

VideoCaptureFilter& VideoCaptureFilter::operator=(const VideoCaptureFilter& other) {
  Filter::operator=(other);
  return *this;
}

VideoCaptureFilter::~VideoCaptureFilter() = default;

bool VideoCaptureFilter::isVFW() const {
  const CComPtr<IBaseFilter>& device = getInterface();
  if (!device) return false;
  CComPtr<IAMVfwCaptureDialogs> dialogs;
  return SUCCEEDED(
      device->QueryInterface(IID_IAMVfwCaptureDialogs, reinterpret_cast<void**>(&dialogs)));
}

}  // namespace kivo
