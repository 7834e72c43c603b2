#include "capture_pin.h"

#include <cstddef>
#include <cstring>
#include <mutex>

#include "capture_filter.h"
#include "testcam_ids.h"

namespace testcam {

using kivo::MediaTypePtr;

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

// Gives `type` a zeroed format block of exactly `size` bytes that starts
// with as much of `model` as fits.
bool allocateBlock(AM_MEDIA_TYPE& type, ULONG size, const void* model, ULONG modelSize) {
  type.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(size));
  if (!type.pbFormat) return false;
  type.cbFormat = size;
  std::memset(type.pbFormat, 0, size);
  if (model) std::memcpy(type.pbFormat, model, modelSize < size ? modelSize : size);
  return true;
}

// A picture of `size` by `size` pixels, in the type and its caps.
void setSquareSize(AM_MEDIA_TYPE& type, VIDEO_STREAM_CONFIG_CAPS* caps, LONG size) {
  auto* header = reinterpret_cast<VIDEOINFOHEADER*>(type.pbFormat);
  header->bmiHeader.biWidth = size;
  header->bmiHeader.biHeight = size;
  header->bmiHeader.biSizeImage = size == 0 ? 0 : 0xFFFFFFFF;
  caps->MaxOutputSize = {size, size};
  caps->MinOutputSize = {size, size};
  caps->InputSize = {size, size};
}

// Malformed format `kind` (see kMalformedCapsCount), made from the device's
// first format. Each block is allocated at exactly the size it reports, so
// that a reader going past its end reads outside the allocation.
MediaTypePtr malformedType(int kind, const Format& model, VIDEO_STREAM_CONFIG_CAPS* caps) {
  static const WAVEFORMATEX kStereo = {WAVE_FORMAT_PCM, 2, 44100, 44100 * 4, 4, 16, 0};
  MediaTypePtr type(static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE))));
  if (!type) return type;
  std::memset(type.get(), 0, sizeof(AM_MEDIA_TYPE));
  type->majortype = MEDIATYPE_Video;
  type->subtype = model.type.subtype;
  type->bFixedSizeSamples = TRUE;
  type->lSampleSize = model.type.lSampleSize;
  *caps = model.caps;
  const BYTE* header = model.type.pbFormat;
  const ULONG headerSize = model.type.cbFormat;
  bool allocated = true;
  switch (kind) {
    case 0:  // the block ends inside the bitmap header
      type->formattype = FORMAT_VideoInfo;
      allocated =
          allocateBlock(*type.get(), offsetof(VIDEOINFOHEADER, bmiHeader) + 8, header, headerSize);
      break;
    case 1:  // no block, but a size that promises one
      type->formattype = FORMAT_VideoInfo;
      type->cbFormat = sizeof(VIDEOINFOHEADER);
      break;
    case 2:  // no format at all
      type->formattype = FORMAT_None;
      break;
    case 3:  // an audio format block on a video pin
      type->formattype = FORMAT_WaveFormatEx;
      allocated = allocateBlock(*type.get(), sizeof(WAVEFORMATEX), &kStereo, sizeof(kStereo));
      break;
    case 4:  // nothing to capture: 0 by 0
    case 5:  // a size no buffer could hold
      type->formattype = FORMAT_VideoInfo;
      allocated = allocateBlock(*type.get(), sizeof(VIDEOINFOHEADER), header, headerSize);
      if (allocated) setSquareSize(*type.get(), caps, kind == 4 ? 0 : 0x7FFFFFFF);
      break;
    default:
      allocated = false;
  }
  return allocated ? std::move(type) : MediaTypePtr();
}

// Sets the buffers on `allocator` and tells the downstream pin it is the one.
HRESULT useAllocator(IMemInputPin* transport, IMemAllocator* allocator, ALLOCATOR_PROPERTIES props,
                     long frameBytes) {
  ALLOCATOR_PROPERTIES actual = {};
  const HRESULT hr = allocator->SetProperties(&props, &actual);
  if (FAILED(hr)) return hr;
  if (actual.cbBuffer < frameBytes || actual.cBuffers < 1) return VFW_E_SIZENOTSET;
  return transport->NotifyAllocator(allocator, FALSE);
}

}  // namespace

CapturePin::CapturePin(CaptureFilter* device)
    : CategorizedPin(device, L"Capture", PINDIR_OUTPUT, PIN_CATEGORY_CAPTURE),
      device_(device),
      current_(device->profile().formats.front().type) {}

bool CapturePin::matchFormat(const AM_MEDIA_TYPE& type, CMediaType* accepted) const {
  if (type.majortype != MEDIATYPE_Video) return false;
  const BITMAPINFOHEADER* wanted = bitmapHeader(type);
  if (!wanted) return false;
  CMediaType copy(type);
  const REFERENCE_TIME* field = frameIntervalField(copy);
  const REFERENCE_TIME interval = field ? *field : 0;
  for (const Format& format : device_->profile().formats) {
    if (format.type.subtype != type.subtype || format.type.formattype != type.formattype) continue;
    const BITMAPINFOHEADER* offered = bitmapHeader(format.type);
    if (wanted->biWidth != offered->biWidth || wanted->biHeight != offered->biHeight) continue;
    // 0 asks for the format's default, its fastest rate.
    if (interval != 0 &&
        (interval < format.caps.MinFrameInterval || interval > format.caps.MaxFrameInterval)) {
      continue;
    }
    if (accepted) {
      *accepted = format.type;
      if (interval != 0) *frameIntervalField(*accepted) = interval;
    }
    return true;
  }
  return false;
}

std::vector<CMediaType> CapturePin::offeredTypes() {
  std::lock_guard<std::recursive_mutex> guard(device_->lock());
  if (formatSet_) return {current_};
  std::vector<CMediaType> types;
  for (const Format& format : device_->profile().formats) types.push_back(format.type);
  return types;
}

CComPtr<IPin> CapturePin::peer() {
  std::lock_guard<std::recursive_mutex> guard(device_->lock());
  return peer_;
}

CMediaType CapturePin::connectionType() {
  std::lock_guard<std::recursive_mutex> guard(device_->lock());
  return current_;
}

HRESULT CapturePin::negotiateAllocator(IPin* receivePin) {
  CComPtr<IMemInputPin> transport;
  if (FAILED(receivePin->QueryInterface(IID_PPV_ARGS(&transport)))) return VFW_E_NO_TRANSPORT;
  const long frameBytes = current_.lSampleSize > 0
                              ? static_cast<long>(current_.lSampleSize)
                              : static_cast<long>(bitmapHeader(current_)->biSizeImage);
  // At least 4 buffers of a frame each, and what the downstream pin asks.
  ALLOCATOR_PROPERTIES wanted = {};
  transport->GetAllocatorRequirements(&wanted);
  ALLOCATOR_PROPERTIES props = {};
  props.cBuffers = wanted.cBuffers > 4 ? wanted.cBuffers : 4;
  props.cbBuffer = wanted.cbBuffer > frameBytes ? wanted.cbBuffer : frameBytes;
  props.cbAlign = wanted.cbAlign > 1 ? wanted.cbAlign : 1;
  props.cbPrefix = wanted.cbPrefix;
  // The downstream pin's allocator when it offers one that takes these
  // buffers, else one of the platform's.
  CComPtr<IMemAllocator> allocator;
  if (FAILED(transport->GetAllocator(&allocator)) || !allocator ||
      FAILED(useAllocator(transport, allocator, props, frameBytes))) {
    CComPtr<IMemAllocator> created;
    HRESULT hr = created.CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER);
    if (SUCCEEDED(hr)) hr = useAllocator(transport, created, props, frameBytes);
    if (FAILED(hr)) return hr;
    allocator = created;
  }
  allocator_ = allocator;
  transport_ = transport;
  return S_OK;
}

HRESULT CapturePin::connectWith(IPin* receivePin, const CMediaType& type) {
  CMediaType accepted;
  if (!matchFormat(type, &accepted)) return VFW_E_TYPE_NOT_ACCEPTED;
  HRESULT hr = receivePin->ReceiveConnection(this, &accepted);
  if (FAILED(hr)) return hr;
  const CMediaType previous = current_;
  peer_ = receivePin;
  current_ = accepted;
  hr = negotiateAllocator(receivePin);
  if (FAILED(hr)) {
    receivePin->Disconnect();
    peer_ = nullptr;
    current_ = previous;
    return hr;
  }
  return S_OK;
}

HRESULT CapturePin::connectWithReceiverType(IPin* receivePin, const AM_MEDIA_TYPE* wanted) {
  CComPtr<IEnumMediaTypes> types;
  if (FAILED(receivePin->EnumMediaTypes(&types)) || !types) return VFW_E_NO_ACCEPTABLE_TYPES;
  for (;;) {
    MediaTypePtr candidate;
    if (types->Next(1, &candidate, nullptr) != S_OK || !candidate) {
      return VFW_E_NO_ACCEPTABLE_TYPES;
    }
    const CMediaType proposed(*candidate.get());
    if (matchesPartially(proposed, wanted) && matchFormat(proposed, nullptr) &&
        SUCCEEDED(connectWith(receivePin, proposed))) {
      return S_OK;
    }
  }
}

STDMETHODIMP CapturePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
  if (!receivePin) return E_POINTER;
  if (device_->faults().fails("IPin.Connect")) return E_FAIL;
  std::lock_guard<std::recursive_mutex> guard(device_->lock());
  if (peer_) return VFW_E_ALREADY_CONNECTED;
  if (device_->state() != State_Stopped) return VFW_E_NOT_STOPPED;
  PIN_DIRECTION direction = PINDIR_OUTPUT;
  if (FAILED(receivePin->QueryDirection(&direction)) || direction != PINDIR_INPUT) {
    return VFW_E_INVALID_DIRECTION;
  }
  if (isComplete(type)) {
    // A complete type is the only one tried.
    CMediaType accepted;
    if (!matchFormat(*type, &accepted)) return VFW_E_TYPE_NOT_ACCEPTED;
    return connectWith(receivePin, accepted);
  }
  for (const CMediaType& candidate : offeredTypes()) {
    if (matchesPartially(candidate, type) && SUCCEEDED(connectWith(receivePin, candidate))) {
      return S_OK;
    }
  }
  // Then the types the receiver prefers, when the pin can deliver them.
  if (!formatSet_ && SUCCEEDED(connectWithReceiverType(receivePin, type))) return S_OK;
  return VFW_E_NO_ACCEPTABLE_TYPES;
}

STDMETHODIMP CapturePin::Disconnect() {
  std::lock_guard<std::recursive_mutex> guard(device_->lock());
  if (device_->state() != State_Stopped) return VFW_E_NOT_STOPPED;
  if (!peer_) return S_FALSE;
  allocator_ = nullptr;
  transport_ = nullptr;
  peer_ = nullptr;
  return S_OK;
}

STDMETHODIMP CapturePin::QueryAccept(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  return matchFormat(*type, nullptr) ? S_OK : S_FALSE;
}

STDMETHODIMP CapturePin::EnumMediaTypes(IEnumMediaTypes** result) {
  if (device_->faults().fails("IPin.EnumMediaTypes")) return E_FAIL;
  return CategorizedPin::EnumMediaTypes(result);
}

HRESULT CapturePin::activate() {
  if (!allocator_) return VFW_E_NOT_CONNECTED;
  return allocator_->Commit();
}

void CapturePin::deactivate() {
  if (allocator_) allocator_->Decommit();
}

// IAMStreamConfig

HRESULT CapturePin::growBuffers(long bytes) {
  ALLOCATOR_PROPERTIES props = {};
  allocator_->GetProperties(&props);
  if (props.cbBuffer >= bytes) return S_OK;
  props.cbBuffer = bytes;
  ALLOCATOR_PROPERTIES actual = {};
  const HRESULT hr = allocator_->SetProperties(&props, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer < bytes ? VFW_E_SIZENOTSET : S_OK;
}

STDMETHODIMP CapturePin::SetFormat(AM_MEDIA_TYPE* type) {
  if (device_->faults().fails("IAMStreamConfig.SetFormat")) return E_FAIL;
  if (!type) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(device_->lock());
  if (device_->state() != State_Stopped) return VFW_E_NOT_STOPPED;
  CMediaType accepted;
  if (!matchFormat(*type, &accepted)) return VFW_E_INVALIDMEDIATYPE;
  if (peer_ && accepted != current_) {
    // A connected pin changes format only when the peer takes the new one;
    // the new type then travels with the next stream's first sample.
    if (peer_->QueryAccept(&accepted) != S_OK) return VFW_E_INVALIDMEDIATYPE;
    const HRESULT hr = growBuffers(static_cast<long>(bitmapHeader(accepted)->biSizeImage));
    if (FAILED(hr)) return hr;
  }
  current_ = accepted;
  formatSet_ = true;
  return S_OK;
}

STDMETHODIMP CapturePin::GetFormat(AM_MEDIA_TYPE** type) {
  if (device_->faults().fails("IAMStreamConfig.GetFormat")) return E_FAIL;
  if (!type) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(device_->lock());
  *type = kivo::CreateMediaType(&current_);
  return *type ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CapturePin::GetNumberOfCapabilities(int* count, int* size) {
  if (device_->faults().fails("IAMStreamConfig.GetNumberOfCapabilities")) return E_FAIL;
  if (!count || !size) return E_POINTER;
  *count = static_cast<int>(device_->capsOrder().size());
  *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
  return S_OK;
}

MediaTypePtr CapturePin::reportedType(int entry, VIDEO_STREAM_CONFIG_CAPS* caps) const {
  const std::vector<Format>& formats = device_->profile().formats;
  if (entry < 0) return malformedType(-entry - 1, formats.front(), caps);
  const Format& format = formats[static_cast<size_t>(entry)];
  *caps = format.caps;
  return MediaTypePtr(kivo::CreateMediaType(&format.type));
}

STDMETHODIMP CapturePin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) {
  if (device_->faults().fails("IAMStreamConfig.GetStreamCaps")) return E_FAIL;
  if (index < 0) return E_INVALIDARG;
  const std::vector<int>& order = device_->capsOrder();
  if (static_cast<size_t>(index) >= order.size()) return S_FALSE;
  if (!type || !caps) return E_POINTER;
  VIDEO_STREAM_CONFIG_CAPS reportedCaps;
  MediaTypePtr reported = reportedType(order[static_cast<size_t>(index)], &reportedCaps);
  if (!reported) return E_OUTOFMEMORY;
  std::memcpy(caps, &reportedCaps, sizeof(reportedCaps));
  *type = reported.release();
  return S_OK;
}

// IKsPropertySet

STDMETHODIMP CapturePin::Get(REFGUID set, DWORD id, LPVOID instance, DWORD instanceSize,
                             LPVOID data, DWORD dataSize, DWORD* returned) {
  if (device_->faults().fails("IKsPropertySet.Get")) return E_FAIL;
  return CategorizedPin::Get(set, id, instance, instanceSize, data, dataSize, returned);
}

}  // namespace testcam
