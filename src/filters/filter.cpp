#include <kivo/filter.h>
#include <kivo/filter_creation_exception.h>

#include "foundation/replaceable.h"
#include "foundation/text.h"

namespace kivo {

Filter::Filter(const char* name, CComPtr<IBaseFilter> filter, CComPtr<IMoniker> moniker,
               CComPtr<IBindCtx> bindCtx)
    : moniker(moniker), filter(filter), bindCtx(bindCtx) {
  setName(name);
}

Filter::Filter(const char* name, const GUID& clsid) {
  CComPtr<IBaseFilter> created;
  const HRESULT hr = replaceable::createObject(clsid, IID_PPV_ARGS(&created));
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
  readDeviceText(moniker, L"DevicePath", uniqueString);
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
    const HRESULT hr = moniker->BindToObject(bindCtx, nullptr, IID_PPV_ARGS(&bound));
    setInterface(SUCCEEDED(hr) && bound ? bound : other.filter);
  }
  setName(other.name.c_str());
}

void Filter::setName(const char* text) { name = text ? text : ""; }

void Filter::setInterface(const CComPtr<IBaseFilter>& object) { filter = object; }

}  // namespace kivo
