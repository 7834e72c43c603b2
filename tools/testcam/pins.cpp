// The capture output pin (connection, allocator, stream configuration) and
// the analog video input pin of the TV card.

#include <cstddef>
#include <cstring>
#include <cwchar>

#include "testcam.h"

namespace testcam {

namespace {

bool matchesPartially(const AM_MEDIA_TYPE& candidate, const AM_MEDIA_TYPE* wanted) {
  if (!wanted) return true;
  if (wanted->majortype != GUID_NULL && wanted->majortype != candidate.majortype) return false;
  if (wanted->subtype != GUID_NULL && wanted->subtype != candidate.subtype) return false;
  if (wanted->formattype != GUID_NULL && wanted->formattype != candidate.formattype) return false;
  return true;
}

bool isComplete(const AM_MEDIA_TYPE* type) {
  return type && type->majortype != GUID_NULL && type->subtype != GUID_NULL &&
         type->formattype != GUID_NULL && type->pbFormat && type->cbFormat > 0;
}

HRESULT answerCategory(REFGUID set, DWORD id, LPVOID data, DWORD dataSize, DWORD* returned,
                       const GUID& category) {
  if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (!data) {
    // The caller asks for the size only.
    if (!returned) return E_POINTER;
    *returned = sizeof(GUID);
    return S_OK;
  }
  if (dataSize < sizeof(GUID)) return E_UNEXPECTED;
  *static_cast<GUID*>(data) = category;
  if (returned) *returned = sizeof(GUID);
  return S_OK;
}

HRESULT answerSupport(REFGUID set, DWORD id, DWORD* support) {
  if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (support) *support = KSPROPERTY_SUPPORT_GET;
  return S_OK;
}

CMediaType analogVideoType() {
  CMediaType type;
  type.SetType(&MEDIATYPE_AnalogVideo);
  type.SetSubtype(&MEDIASUBTYPE_AnalogVideo_NTSC_M);
  type.SetFormatType(&GUID_NULL);
  return type;
}

}  // namespace

#define TESTCAM_FAULT(name) \
  if (filter_->faults().fails(name)) return E_FAIL

std::vector<int> reportedFormats(size_t working, bool malformed) {
  std::vector<int> order;
  const size_t broken = malformed ? static_cast<size_t>(kMalformedCapsCount) : 0;
  for (size_t i = 0; i < working || i < broken; ++i) {
    if (i < broken) order.push_back(-1 - static_cast<int>(i));
    if (i < working) order.push_back(static_cast<int>(i));
  }
  return order;
}

namespace {

// Malformed format `kind`, made from the device's first format. Each block
// is allocated at exactly the size it reports, so that a reader going past
// its end reads outside the allocation.
HRESULT malformedFormat(int kind, const Format& model, AM_MEDIA_TYPE** result, BYTE* capsOut) {
  auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!type) return E_OUTOFMEMORY;
  std::memset(type, 0, sizeof(AM_MEDIA_TYPE));
  type->majortype = MEDIATYPE_Video;
  type->subtype = model.type.subtype;
  type->bFixedSizeSamples = TRUE;
  type->lSampleSize = model.type.lSampleSize;
  VIDEO_STREAM_CONFIG_CAPS caps = model.caps;
  auto copyHeader = [&](ULONG size) -> bool {
    type->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(size));
    if (!type->pbFormat) return false;
    type->cbFormat = size;
    const ULONG available = model.type.cbFormat < size ? model.type.cbFormat : size;
    std::memset(type->pbFormat, 0, size);
    if (model.type.pbFormat) std::memcpy(type->pbFormat, model.type.pbFormat, available);
    return true;
  };
  bool allocated = true;
  switch (kind) {
    case 0:  // the block ends inside the bitmap header
      type->formattype = FORMAT_VideoInfo;
      allocated = copyHeader(offsetof(VIDEOINFOHEADER, bmiHeader) + 8);
      break;
    case 1:  // no block, but a size that promises one
      type->formattype = FORMAT_VideoInfo;
      type->cbFormat = sizeof(VIDEOINFOHEADER);
      break;
    case 2:  // no format at all
      type->formattype = FORMAT_None;
      break;
    case 3: {  // an audio format block on a video pin
      type->formattype = FORMAT_WaveFormatEx;
      type->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
      if (!type->pbFormat) {
        allocated = false;
        break;
      }
      type->cbFormat = sizeof(WAVEFORMATEX);
      auto* wave = reinterpret_cast<WAVEFORMATEX*>(type->pbFormat);
      std::memset(wave, 0, sizeof(WAVEFORMATEX));
      wave->wFormatTag = WAVE_FORMAT_PCM;
      wave->nChannels = 2;
      wave->nSamplesPerSec = 44100;
      wave->wBitsPerSample = 16;
      wave->nBlockAlign = 4;
      wave->nAvgBytesPerSec = 44100 * 4;
      break;
    }
    case 4:    // nothing to capture: 0 by 0
    case 5: {  // a size no buffer could hold
      type->formattype = FORMAT_VideoInfo;
      allocated = copyHeader(sizeof(VIDEOINFOHEADER));
      if (!allocated) break;
      const LONG size = kind == 4 ? 0 : 0x7FFFFFFF;
      auto* header = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat);
      header->bmiHeader.biWidth = size;
      header->bmiHeader.biHeight = size;
      header->bmiHeader.biSizeImage = kind == 4 ? 0 : 0xFFFFFFFF;
      caps.MaxOutputSize = {size, size};
      caps.MinOutputSize = {size, size};
      caps.InputSize = {size, size};
      break;
    }
    default:
      allocated = false;
  }
  if (!allocated) {
    kivo::DeleteMediaType(type);
    return E_OUTOFMEMORY;
  }
  *result = type;
  std::memcpy(capsOut, &caps, sizeof(VIDEO_STREAM_CONFIG_CAPS));
  return S_OK;
}

}  // namespace

// ---------------------------------------------------------------------------
// CapturePin

CapturePin::CapturePin(CaptureFilter* filter) : filter_(filter) {
  current_ = filter->profile().formats.front().type;
}

CapturePin::~CapturePin() = default;

STDMETHODIMP CapturePin::QueryInterface(REFIID iid, void** result) {
  if (!result) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IPin) {
    *result = static_cast<IPin*>(this);
  } else if (iid == IID_IAMStreamConfig) {
    *result = static_cast<IAMStreamConfig*>(this);
  } else if (iid == IID_IKsPropertySet) {
    *result = static_cast<IKsPropertySet*>(this);
  } else {
    *result = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CapturePin::AddRef() { return filter_->AddRef(); }
STDMETHODIMP_(ULONG) CapturePin::Release() { return filter_->Release(); }

int CapturePin::matchFormat(const AM_MEDIA_TYPE& type, CMediaType* accepted) const {
  if (type.majortype != MEDIATYPE_Video) return -1;
  const BITMAPINFOHEADER* wanted = bitmapHeader(type);
  if (!wanted) return -1;
  REFERENCE_TIME interval = 0;
  {
    CMediaType copy(type);
    REFERENCE_TIME* field = frameIntervalField(copy);
    if (field) interval = *field;
  }
  const std::vector<Format>& formats = filter_->profile().formats;
  for (size_t i = 0; i < formats.size(); ++i) {
    const Format& format = formats[i];
    if (format.type.subtype != type.subtype || format.type.formattype != type.formattype) continue;
    const BITMAPINFOHEADER* offered = bitmapHeader(format.type);
    if (wanted->biWidth != offered->biWidth || wanted->biHeight != offered->biHeight) continue;
    if (interval != 0 &&
        (interval < format.caps.MinFrameInterval || interval > format.caps.MaxFrameInterval)) {
      continue;
    }
    if (accepted) {
      *accepted = format.type;
      if (interval != 0) *frameIntervalField(*accepted) = interval;
    }
    return static_cast<int>(i);
  }
  return -1;
}

std::vector<CMediaType> CapturePin::offeredTypes() const {
  std::vector<CMediaType> types;
  // Once a format was set, the pin offers that one only.
  if (formatSet_) {
    types.push_back(current_);
  } else {
    for (const Format& format : filter_->profile().formats) types.push_back(format.type);
  }
  return types;
}

HRESULT CapturePin::negotiateAllocator(IPin* receivePin) {
  CComPtr<IMemInputPin> transport;
  if (FAILED(receivePin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&transport)))) {
    return VFW_E_NO_TRANSPORT;
  }
  ALLOCATOR_PROPERTIES wanted = {};
  transport->GetAllocatorRequirements(&wanted);
  const long bufferSize = current_.lSampleSize > 0
                              ? static_cast<long>(current_.lSampleSize)
                              : static_cast<long>(bitmapHeader(current_)->biSizeImage);
  ALLOCATOR_PROPERTIES props = {};
  props.cBuffers = wanted.cBuffers > 4 ? wanted.cBuffers : 4;
  props.cbBuffer = wanted.cbBuffer > bufferSize ? wanted.cbBuffer : bufferSize;
  props.cbAlign = wanted.cbAlign > 1 ? wanted.cbAlign : 1;
  props.cbPrefix = wanted.cbPrefix;

  auto configure = [&](IMemAllocator* allocator) -> HRESULT {
    ALLOCATOR_PROPERTIES actual = {};
    HRESULT hr = allocator->SetProperties(&props, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cbBuffer < bufferSize || actual.cBuffers < 1) return VFW_E_SIZENOTSET;
    return transport->NotifyAllocator(allocator, FALSE);
  };

  CComPtr<IMemAllocator> allocator;
  HRESULT hr = transport->GetAllocator(&allocator);
  if (SUCCEEDED(hr) && allocator) hr = configure(allocator);
  if (FAILED(hr) || !allocator) {
    allocator.Release();
    hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                          reinterpret_cast<void**>(&allocator));
    if (FAILED(hr)) return hr;
    hr = configure(allocator);
    if (FAILED(hr)) return hr;
  }
  allocator_ = allocator;
  transport_ = transport;
  return S_OK;
}

HRESULT CapturePin::tryConnection(IPin* receivePin, const CMediaType& type) {
  CMediaType accepted;
  const int index = matchFormat(type, &accepted);
  if (index < 0) return VFW_E_TYPE_NOT_ACCEPTED;
  HRESULT hr = receivePin->ReceiveConnection(static_cast<IPin*>(this), &accepted);
  if (FAILED(hr)) return hr;
  const CMediaType previous = current_;
  const int previousIndex = currentIndex_;
  peer_ = receivePin;
  current_ = accepted;
  currentIndex_ = index;
  hr = negotiateAllocator(receivePin);
  if (FAILED(hr)) {
    receivePin->Disconnect();
    peer_.Release();
    current_ = previous;
    currentIndex_ = previousIndex;
    return hr;
  }
  return S_OK;
}

STDMETHODIMP CapturePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
  if (!receivePin) return E_POINTER;
  TESTCAM_FAULT("IPin.Connect");
  std::lock_guard<std::recursive_mutex> guard(filter_->lock());
  if (peer_) return VFW_E_ALREADY_CONNECTED;
  if (filter_->state() != State_Stopped) return VFW_E_NOT_STOPPED;
  PIN_DIRECTION direction = PINDIR_OUTPUT;
  if (FAILED(receivePin->QueryDirection(&direction)) || direction != PINDIR_INPUT) {
    return VFW_E_INVALID_DIRECTION;
  }
  if (isComplete(type)) {
    // A complete type is the only one tried.
    CMediaType accepted;
    if (matchFormat(*type, &accepted) < 0) return VFW_E_TYPE_NOT_ACCEPTED;
    const HRESULT hr = tryConnection(receivePin, accepted);
    return SUCCEEDED(hr) ? S_OK : hr;
  }
  for (const CMediaType& candidate : offeredTypes()) {
    if (matchesPartially(candidate, type) && SUCCEEDED(tryConnection(receivePin, candidate))) {
      return S_OK;
    }
  }
  // Then the types the receiver prefers, when the pin can deliver them.
  if (!formatSet_) {
    CComPtr<IEnumMediaTypes> types;
    if (SUCCEEDED(receivePin->EnumMediaTypes(&types)) && types) {
      AM_MEDIA_TYPE* candidate = nullptr;
      while (types->Next(1, &candidate, nullptr) == S_OK) {
        CMediaType proposed(*candidate);
        kivo::DeleteMediaType(candidate);
        if (matchesPartially(proposed, type) && matchFormat(proposed, nullptr) >= 0 &&
            SUCCEEDED(tryConnection(receivePin, proposed))) {
          return S_OK;
        }
      }
    }
  }
  return VFW_E_NO_ACCEPTABLE_TYPES;
}

STDMETHODIMP CapturePin::ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) {
  // An output pin only connects itself.
  return E_UNEXPECTED;
}

STDMETHODIMP CapturePin::Disconnect() {
  std::lock_guard<std::recursive_mutex> guard(filter_->lock());
  if (filter_->state() != State_Stopped) return VFW_E_NOT_STOPPED;
  if (!peer_) return S_FALSE;
  allocator_.Release();
  transport_.Release();
  peer_.Release();
  return S_OK;
}

STDMETHODIMP CapturePin::ConnectedTo(IPin** pin) {
  if (!pin) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(filter_->lock());
  *pin = nullptr;
  if (!peer_) return VFW_E_NOT_CONNECTED;
  return peer_.CopyTo(pin);
}

STDMETHODIMP CapturePin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(filter_->lock());
  if (!peer_) {
    std::memset(type, 0, sizeof(*type));
    return VFW_E_NOT_CONNECTED;
  }
  return kivo::CopyMediaType(type, &current_);
}

STDMETHODIMP CapturePin::QueryPinInfo(PIN_INFO* info) {
  if (!info) return E_POINTER;
  std::memset(info, 0, sizeof(*info));
  info->pFilter = static_cast<IBaseFilter*>(filter_);
  info->pFilter->AddRef();
  info->dir = PINDIR_OUTPUT;
  std::wcsncpy(info->achName, L"Capture", MAX_PIN_NAME - 1);
  return S_OK;
}

STDMETHODIMP CapturePin::QueryDirection(PIN_DIRECTION* direction) {
  if (!direction) return E_POINTER;
  *direction = PINDIR_OUTPUT;
  return S_OK;
}

STDMETHODIMP CapturePin::QueryId(LPWSTR* id) { return copyWideString(L"Capture", id); }

STDMETHODIMP CapturePin::QueryAccept(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  return matchFormat(*type, nullptr) >= 0 ? S_OK : S_FALSE;
}

STDMETHODIMP CapturePin::EnumMediaTypes(IEnumMediaTypes** result) {
  TESTCAM_FAULT("IPin.EnumMediaTypes");
  std::lock_guard<std::recursive_mutex> guard(filter_->lock());
  return createMediaTypeEnum(offeredTypes(), result);
}

STDMETHODIMP CapturePin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

// Nothing flows into an output pin.
STDMETHODIMP CapturePin::EndOfStream() { return E_UNEXPECTED; }
STDMETHODIMP CapturePin::BeginFlush() { return E_UNEXPECTED; }
STDMETHODIMP CapturePin::EndFlush() { return E_UNEXPECTED; }
STDMETHODIMP CapturePin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return E_UNEXPECTED; }

HRESULT CapturePin::activate() {
  if (!allocator_) return VFW_E_NOT_CONNECTED;
  return allocator_->Commit();
}

void CapturePin::deactivate() {
  if (allocator_) allocator_->Decommit();
}

// IAMStreamConfig

STDMETHODIMP CapturePin::SetFormat(AM_MEDIA_TYPE* type) {
  TESTCAM_FAULT("IAMStreamConfig.SetFormat");
  if (!type) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(filter_->lock());
  if (filter_->state() != State_Stopped) return VFW_E_NOT_STOPPED;
  CMediaType accepted;
  const int index = matchFormat(*type, &accepted);
  if (index < 0) return VFW_E_INVALIDMEDIATYPE;
  if (peer_ && accepted != current_) {
    // A connected pin changes format only when the peer takes the new one;
    // the new type then travels with the next stream's first sample.
    if (peer_->QueryAccept(&accepted) != S_OK) return VFW_E_INVALIDMEDIATYPE;
    const long needed = static_cast<long>(bitmapHeader(accepted)->biSizeImage);
    ALLOCATOR_PROPERTIES props = {};
    allocator_->GetProperties(&props);
    if (props.cbBuffer < needed) {
      props.cbBuffer = needed;
      ALLOCATOR_PROPERTIES actual = {};
      const HRESULT hr = allocator_->SetProperties(&props, &actual);
      if (FAILED(hr)) return hr;
      if (actual.cbBuffer < needed) return VFW_E_SIZENOTSET;
    }
  }
  current_ = accepted;
  currentIndex_ = index;
  formatSet_ = true;
  return S_OK;
}

STDMETHODIMP CapturePin::GetFormat(AM_MEDIA_TYPE** type) {
  TESTCAM_FAULT("IAMStreamConfig.GetFormat");
  if (!type) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(filter_->lock());
  *type = kivo::CreateMediaType(&current_);
  return *type ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CapturePin::GetNumberOfCapabilities(int* count, int* size) {
  TESTCAM_FAULT("IAMStreamConfig.GetNumberOfCapabilities");
  if (!count || !size) return E_POINTER;
  *count = static_cast<int>(
      reportedFormats(filter_->profile().formats.size(), filter_->faults().malformedCaps).size());
  *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
  return S_OK;
}

STDMETHODIMP CapturePin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) {
  TESTCAM_FAULT("IAMStreamConfig.GetStreamCaps");
  const std::vector<Format>& formats = filter_->profile().formats;
  const std::vector<int> reported =
      reportedFormats(formats.size(), filter_->faults().malformedCaps);
  if (index < 0) return E_INVALIDARG;
  if (index >= static_cast<int>(reported.size())) return S_FALSE;
  if (!type || !caps) return E_POINTER;
  const int entry = reported[static_cast<size_t>(index)];
  if (entry < 0) return malformedFormat(-entry - 1, formats.front(), type, caps);
  *type = kivo::CreateMediaType(&formats[static_cast<size_t>(entry)].type);
  if (!*type) return E_OUTOFMEMORY;
  std::memcpy(caps, &formats[static_cast<size_t>(entry)].caps, sizeof(VIDEO_STREAM_CONFIG_CAPS));
  return S_OK;
}

// IKsPropertySet

STDMETHODIMP CapturePin::Set(REFGUID set, DWORD, LPVOID, DWORD, LPVOID, DWORD) {
  return set == AMPROPSETID_Pin ? E_PROP_ID_UNSUPPORTED : E_PROP_SET_UNSUPPORTED;
}

STDMETHODIMP CapturePin::Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD dataSize,
                             DWORD* returned) {
  TESTCAM_FAULT("IKsPropertySet.Get");
  return answerCategory(set, id, data, dataSize, returned, PIN_CATEGORY_CAPTURE);
}

STDMETHODIMP CapturePin::QuerySupported(REFGUID set, DWORD id, DWORD* support) {
  return answerSupport(set, id, support);
}

// ---------------------------------------------------------------------------
// AnalogInputPin: wired to the crossbar's video decoder output for the
// device's whole life. Nothing streams through it.

STDMETHODIMP AnalogInputPin::QueryInterface(REFIID iid, void** result) {
  if (!result) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IPin) {
    *result = static_cast<IPin*>(this);
  } else if (iid == IID_IKsPropertySet) {
    *result = static_cast<IKsPropertySet*>(this);
  } else {
    *result = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) AnalogInputPin::AddRef() { return filter_->AddRef(); }
STDMETHODIMP_(ULONG) AnalogInputPin::Release() { return filter_->Release(); }

STDMETHODIMP AnalogInputPin::Connect(IPin*, const AM_MEDIA_TYPE*) { return E_UNEXPECTED; }

STDMETHODIMP AnalogInputPin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
  if (!connector || !type) return E_POINTER;
  return VFW_E_ALREADY_CONNECTED;
}

STDMETHODIMP AnalogInputPin::Disconnect() {
  // The link to the crossbar is wired inside the device: it stays.
  return S_FALSE;
}

STDMETHODIMP AnalogInputPin::ConnectedTo(IPin** pin) {
  if (!pin) return E_POINTER;
  *pin = filter_->crossbar() ? filter_->crossbar()->videoDecoderOutput() : nullptr;
  if (!*pin) return VFW_E_NOT_CONNECTED;
  (*pin)->AddRef();
  return S_OK;
}

STDMETHODIMP AnalogInputPin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  const CMediaType analog = analogVideoType();
  return kivo::CopyMediaType(type, &analog);
}

STDMETHODIMP AnalogInputPin::QueryPinInfo(PIN_INFO* info) {
  if (!info) return E_POINTER;
  std::memset(info, 0, sizeof(*info));
  info->pFilter = static_cast<IBaseFilter*>(filter_);
  info->pFilter->AddRef();
  info->dir = PINDIR_INPUT;
  std::wcsncpy(info->achName, L"Analog Video In", MAX_PIN_NAME - 1);
  return S_OK;
}

STDMETHODIMP AnalogInputPin::QueryDirection(PIN_DIRECTION* direction) {
  if (!direction) return E_POINTER;
  *direction = PINDIR_INPUT;
  return S_OK;
}

STDMETHODIMP AnalogInputPin::QueryId(LPWSTR* id) { return copyWideString(L"Analog Video In", id); }

STDMETHODIMP AnalogInputPin::QueryAccept(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  return type->majortype == MEDIATYPE_AnalogVideo ? S_OK : S_FALSE;
}

STDMETHODIMP AnalogInputPin::EnumMediaTypes(IEnumMediaTypes** result) {
  return createMediaTypeEnum({analogVideoType()}, result);
}

STDMETHODIMP AnalogInputPin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

STDMETHODIMP AnalogInputPin::Set(REFGUID set, DWORD, LPVOID, DWORD, LPVOID, DWORD) {
  return set == AMPROPSETID_Pin ? E_PROP_ID_UNSUPPORTED : E_PROP_SET_UNSUPPORTED;
}

STDMETHODIMP AnalogInputPin::Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD dataSize,
                                 DWORD* returned) {
  return answerCategory(set, id, data, dataSize, returned, PIN_CATEGORY_ANALOGVIDEOIN);
}

STDMETHODIMP AnalogInputPin::QuerySupported(REFGUID set, DWORD id, DWORD* support) {
  return answerSupport(set, id, support);
}

}  // namespace testcam
