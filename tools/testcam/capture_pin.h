#pragma once

// The capture output pin of every device: its connection and allocator, its
// stream configuration (IAMStreamConfig) and its category.

#include <kivo/mediatype.h>

#include <vector>

#include "pin_base.h"

namespace testcam {

class CaptureFilter;

class CapturePin final : public CategorizedPin<IAMStreamConfig> {
 public:
  explicit CapturePin(CaptureFilter* device);

  // IPin: this pin connects, and offers the device's formats.
  STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** result) override;

  // IAMStreamConfig
  STDMETHODIMP SetFormat(AM_MEDIA_TYPE* type) override;
  STDMETHODIMP GetFormat(AM_MEDIA_TYPE** type) override;
  STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override;
  STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;

  // IKsPropertySet: the category, unless the fault says otherwise.
  STDMETHODIMP Get(REFGUID set, DWORD id, LPVOID instance, DWORD instanceSize, LPVOID data,
                   DWORD dataSize, DWORD* returned) override;

  // Called by the filter, with its lock held.
  bool isConnected() const { return peer_ != nullptr; }
  HRESULT activate();  // stopped to paused: commit the allocator
  void deactivate();   // to stopped: decommit the allocator
  const CMediaType& currentType() const { return current_; }
  CComPtr<IMemAllocator> allocator() const { return allocator_; }
  CComPtr<IMemInputPin> transport() const { return transport_; }

 protected:
  // Once a format was set, the pin offers that one only.
  std::vector<CMediaType> offeredTypes() override;
  CComPtr<IPin> peer() override;
  CMediaType connectionType() override;

 private:
  // Whether a listed format matches `type`; `accepted` receives the type the
  // pin would deliver.
  bool matchFormat(const AM_MEDIA_TYPE& type, CMediaType* accepted) const;
  HRESULT connectWith(IPin* receivePin, const CMediaType& type);
  // Tries the types the receiver prefers that the pin can deliver.
  HRESULT connectWithReceiverType(IPin* receivePin, const AM_MEDIA_TYPE* wanted);
  HRESULT negotiateAllocator(IPin* receivePin);
  // Makes the allocator's buffers hold at least `bytes`.
  HRESULT growBuffers(long bytes);
  // The type and caps GetStreamCaps reports for an entry of reportedFormats.
  kivo::MediaTypePtr reportedType(int entry, VIDEO_STREAM_CONFIG_CAPS* caps) const;

  CaptureFilter* device_;
  CComPtr<IPin> peer_;
  CComPtr<IMemInputPin> transport_;
  CComPtr<IMemAllocator> allocator_;
  CMediaType current_;  // the format set (or the default), and the connection's type
  bool formatSet_ = false;
};

}  // namespace testcam
