#pragma once

// IPin written once for the Test Camera's pins, as the platform's base
// classes write it (CBasePin): each pin fills in only what differs.

#include <kivo/comptr.h>
#include <kivo/mediatype.h>
#include <kivo/platform.h>

#include <cstring>
#include <cwchar>
#include <vector>

#include "com_object.h"
#include "enumerators.h"

namespace testcam {

using kivo::CMediaType;

// A pin with the interfaces IPin and `Extra`. A pin fills in the types it
// offers and what it is connected to; the defaults describe a pin wired
// inside its device, which refuses connections from a graph and keeps its
// link. A pin that connects overrides Connect and Disconnect. The pin lives
// as long as its filter: its references are the filter's.
template <class... Extra>
class PinBase : public Implements<IPin, Extra...> {
 public:
  STDMETHODIMP_(ULONG) AddRef() override { return filter_->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return filter_->Release(); }

  STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE*) override {
    if (!receivePin) return E_POINTER;
    if (direction_ == PINDIR_INPUT) return E_UNEXPECTED;
    return peer() ? VFW_E_ALREADY_CONNECTED : VFW_E_NO_ACCEPTABLE_TYPES;
  }
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override {
    // An output pin only connects itself; an input is wired inside the
    // device, or a physical connector.
    if (direction_ == PINDIR_OUTPUT) return E_UNEXPECTED;
    if (!connector || !type) return E_POINTER;
    return peer() ? VFW_E_ALREADY_CONNECTED : VFW_E_TYPE_NOT_ACCEPTED;
  }
  // A link wired inside the device stays.
  STDMETHODIMP Disconnect() override { return S_FALSE; }
  STDMETHODIMP ConnectedTo(IPin** pin) override {
    if (!pin) return E_POINTER;
    *pin = peer().Detach();
    return *pin ? S_OK : VFW_E_NOT_CONNECTED;
  }
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override {
    if (!type) return E_POINTER;
    if (!peer()) {
      std::memset(type, 0, sizeof(*type));
      return VFW_E_NOT_CONNECTED;
    }
    const CMediaType connected = connectionType();
    return kivo::CopyMediaType(type, &connected);
  }
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override {
    if (!info) return E_POINTER;
    std::memset(info, 0, sizeof(*info));
    info->pFilter = filter_;
    filter_->AddRef();
    info->dir = direction_;
    std::wcsncpy(info->achName, id_, MAX_PIN_NAME - 1);
    return S_OK;
  }
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override {
    if (!direction) return E_POINTER;
    *direction = direction_;
    return S_OK;
  }
  STDMETHODIMP QueryId(LPWSTR* id) override {
    if (!id) return E_POINTER;
    // The caller frees the copy with the task allocator.
    const size_t bytes = (std::wcslen(id_) + 1) * sizeof(wchar_t);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*id) return E_OUTOFMEMORY;
    std::memcpy(*id, id_, bytes);
    return S_OK;
  }
  // By default a pin takes any type of the major type it offers.
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override {
    if (!type) return E_POINTER;
    return type->majortype == offeredTypes().front().majortype ? S_OK : S_FALSE;
  }
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** result) override {
    return createMediaTypeEnum(offeredTypes(), result);
  }
  STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  // Nothing streams into these pins: an input takes the stream's calls, an
  // output refuses them.
  STDMETHODIMP EndOfStream() override { return answerStreamCall(); }
  STDMETHODIMP BeginFlush() override { return answerStreamCall(); }
  STDMETHODIMP EndFlush() override { return answerStreamCall(); }
  STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override {
    return answerStreamCall();
  }

 protected:
  PinBase(IBaseFilter* filter, const wchar_t* id, PIN_DIRECTION direction)
      : filter_(filter), id_(id), direction_(direction) {}

  // The types the pin offers, the one it prefers first.
  virtual std::vector<CMediaType> offeredTypes() = 0;
  // The pin connected to this one, or null.
  virtual CComPtr<IPin> peer() = 0;
  // The type of the connection, once connected.
  virtual CMediaType connectionType() { return offeredTypes().front(); }

 private:
  HRESULT answerStreamCall() const { return direction_ == PINDIR_INPUT ? S_OK : E_UNEXPECTED; }

  IBaseFilter* const filter_;
  const wchar_t* const id_;  // also the pin's name
  const PIN_DIRECTION direction_;
};

// A pin that reports its category through IKsPropertySet, as the pins of a
// capture filter do: AMPROPERTY_PIN_CATEGORY is its only property, and it
// can only be read.
template <class... Extra>
class CategorizedPin : public PinBase<IKsPropertySet, Extra...> {
 public:
  STDMETHODIMP Set(REFGUID set, DWORD, LPVOID, DWORD, LPVOID, DWORD) override {
    return set == AMPROPSETID_Pin ? E_PROP_ID_UNSUPPORTED : E_PROP_SET_UNSUPPORTED;
  }
  STDMETHODIMP Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD dataSize,
                   DWORD* returned) override {
    if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
    if (!data) {
      // The caller asks for the size only.
      if (!returned) return E_POINTER;
      *returned = sizeof(GUID);
      return S_OK;
    }
    if (dataSize < sizeof(GUID)) return E_UNEXPECTED;
    *static_cast<GUID*>(data) = category_;
    if (returned) *returned = sizeof(GUID);
    return S_OK;
  }
  STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override {
    if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
    if (support) *support = KSPROPERTY_SUPPORT_GET;
    return S_OK;
  }

 protected:
  CategorizedPin(IBaseFilter* filter, const wchar_t* id, PIN_DIRECTION direction,
                 const GUID& category)
      : PinBase<IKsPropertySet, Extra...>(filter, id, direction), category_(category) {}

 private:
  const GUID category_;
};

}  // namespace testcam
