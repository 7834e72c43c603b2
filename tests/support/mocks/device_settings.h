#pragma once

// Counted mocks of a capture device's settings, its pin's property set and the sample grabber.

#include "support/com_fake.h"

namespace kivo::test {

class MockAMStreamConfig : public ComFake<IAMStreamConfig> {
 public:
  MOCK_METHOD(HRESULT, SetFormat, (AM_MEDIA_TYPE*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetFormat, (AM_MEDIA_TYPE**), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetNumberOfCapabilities, (int* count, int* size), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetStreamCaps, (int index, AM_MEDIA_TYPE** type, BYTE* caps), COM_OVERRIDE);
};

class MockEnumMediaTypes : public ComFake<IEnumMediaTypes> {
 public:
  MOCK_METHOD(HRESULT, Next, (ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Skip, (ULONG), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Reset, (), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Clone, (IEnumMediaTypes**), COM_OVERRIDE);
};

// IAMCameraControl and IAMVideoProcAmp: the same three calls on a ranged setting.
template <class Settings>
class MockAMRange : public ComFake<Settings> {
 public:
  MOCK_METHOD(HRESULT, GetRange, (LONG id, LONG*, LONG*, LONG*, LONG*, LONG*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Set, (LONG id, LONG value, LONG flags), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Get, (LONG id, LONG* value, LONG* flags), COM_OVERRIDE);
};
using MockAMCameraControl = MockAMRange<IAMCameraControl>;
using MockAMVideoProcAmp = MockAMRange<IAMVideoProcAmp>;

class MockAMVideoControl : public ComFake<IAMVideoControl> {
 public:
  MOCK_METHOD(HRESULT, GetCaps, (IPin * pin, LONG* flags), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, SetMode, (IPin * pin, LONG mode), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetMode, (IPin * pin, LONG* mode), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetCurrentActualFrameRate, (IPin*, LONGLONG*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetMaxAvailableFrameRate, (IPin*, LONG, SIZE, LONGLONG*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetFrameRateList, (IPin*, LONG, SIZE, LONG*, LONGLONG**), COM_OVERRIDE);
};

class MockAMAnalogVideoDecoder : public ComFake<IAMAnalogVideoDecoder> {
 public:
  MOCK_METHOD(HRESULT, get_AvailableTVFormats, (LONG * standards), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, put_TVFormat, (LONG standard), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, get_TVFormat, (LONG * standard), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, get_HorizontalLocked, (LONG * locked), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, put_VCRHorizontalLocking, (LONG locking), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, get_VCRHorizontalLocking, (LONG * locking), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, get_NumberOfLines, (LONG * lines), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, put_OutputEnable, (LONG enable), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, get_OutputEnable, (LONG * enable), COM_OVERRIDE);
};

class MockAMCrossbar : public ComFake<IAMCrossbar> {
 public:
  MOCK_METHOD(HRESULT, get_PinCounts, (LONG * outputs, LONG* inputs), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, CanRoute, (LONG output, LONG input), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Route, (LONG output, LONG input), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, get_IsRoutedTo, (LONG output, LONG* input), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, get_CrossbarPinInfo, (BOOL, LONG, LONG*, LONG*), COM_OVERRIDE);
};

// Answers AMPROPERTY_PIN_CATEGORY of AMPROPSETID_Pin with `category`; refuses the rest.
class FakeKsPropertySet : public ComFake<IKsPropertySet> {
 public:
  explicit FakeKsPropertySet(const GUID& category) : category(category) {}
  HRESULT STDMETHODCALLTYPE Set(REFGUID, DWORD, void*, DWORD, void*, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD size,
                                DWORD* returned) override {
    if (!IsEqualGUID(set, AMPROPSETID_Pin) || id != AMPROPERTY_PIN_CATEGORY)
      return E_PROP_ID_UNSUPPORTED;
    if (!data || size < sizeof(GUID)) return E_UNEXPECTED;
    *static_cast<GUID*>(data) = category;
    if (returned) *returned = sizeof(GUID);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID, DWORD, DWORD*) override { return E_NOTIMPL; }
  const GUID category;
};

class MockSampleGrabber : public ComFake<ISampleGrabber> {
 public:
  MOCK_METHOD(HRESULT, SetOneShot, (WINBOOL oneShot), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, SetMediaType, (const AM_MEDIA_TYPE* type), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetConnectedMediaType, (AM_MEDIA_TYPE * type), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, SetBufferSamples, (WINBOOL bufferThem), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetCurrentBuffer, (LONG * size, LONG* buffer), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetCurrentSample, (IMediaSample**), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, SetCallback, (ISampleGrabberCB * callback, LONG method), COM_OVERRIDE);
};

}  // namespace kivo::test
