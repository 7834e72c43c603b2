#pragma once

// Helpers of the Test Camera's integration tests: finding and binding its
// devices through the system device enumerator, and a hand-built capture
// graph (device, sample grabber, null renderer) that records every frame.

#include <gtest/gtest.h>
#include <kivo/comptr.h>
#include <kivo/mediatype.h>
#include <kivo/platform.h>

#include <dvdmedia.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "support/wait.h"
#include "testcam_ids.h"

namespace testcam_test {

using kivo::CComPtr;

inline const GUID kSubtypeI420 = {
    0x30323449, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

struct DeviceEntry {
  std::wstring name;
  std::wstring path;  // empty when the entry has none
  CComPtr<IMoniker> moniker;
};

inline std::wstring readBagText(IPropertyBag* bag, const wchar_t* property) {
  VARIANT value;
  VariantInit(&value);
  std::wstring text;
  if (SUCCEEDED(bag->Read(property, &value, nullptr)) && value.vt == VT_BSTR) {
    text = value.bstrVal;
  }
  VariantClear(&value);
  return text;
}

// Every entry of the video input device category, in enumeration order.
inline std::vector<DeviceEntry> listVideoDevices() {
  std::vector<DeviceEntry> devices;
  CComPtr<ICreateDevEnum> enumerator;
  if (FAILED(enumerator.CoCreateInstance(CLSID_SystemDeviceEnum))) return devices;
  CComPtr<IEnumMoniker> monikers;
  if (enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) != S_OK) {
    return devices;
  }
  IMoniker* moniker = nullptr;
  while (monikers->Next(1, &moniker, nullptr) == S_OK) {
    DeviceEntry entry;
    entry.moniker.Attach(moniker);
    CComPtr<IPropertyBag> bag;
    if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                         reinterpret_cast<void**>(&bag)))) {
      entry.name = readBagText(bag, L"FriendlyName");
      entry.path = readBagText(bag, L"DevicePath");
    }
    devices.push_back(std::move(entry));
  }
  return devices;
}

inline CComPtr<IMoniker> findDevice(const wchar_t* name) {
  for (DeviceEntry& entry : listVideoDevices()) {
    if (entry.name == name) return entry.moniker;
  }
  return nullptr;
}

inline HRESULT bindDevice(const wchar_t* name, IBaseFilter** filter) {
  CComPtr<IMoniker> moniker = findDevice(name);
  if (!moniker) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
  CComPtr<IBindCtx> context;
  HRESULT hr = CreateBindCtx(0, &context);
  if (FAILED(hr)) return hr;
  return moniker->BindToObject(context, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter));
}

inline CComPtr<IPin> capturePin(IBaseFilter* filter) {
  CComPtr<IPin> pin;
  if (filter) filter->FindPin(L"Capture", &pin);
  return pin;
}

// The frame counter a frame carries in its first bytes (after the comment
// segment header in a JPEG frame).
inline uint32_t frameCounter(const BYTE* data, long length, bool jpeg) {
  uint32_t counter = 0;
  const long offset = jpeg ? 6 : 0;
  if (length >= offset + 4) std::memcpy(&counter, data + offset, 4);
  return counter;
}

// Records every frame the sample grabber sees. It lives on the test's stack
// and outlives the graph, so it does not count references.
class FrameRecorder : public ISampleGrabberCB {
 public:
  struct Frame {
    uint32_t counter;
    long length;
    REFERENCE_TIME start, stop;
    bool hasTime;
    bool syncPoint;
    std::chrono::steady_clock::time_point arrival;
  };

  STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
    if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
      *result = static_cast<ISampleGrabberCB*>(this);
      return S_OK;
    }
    *result = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP SampleCB(double, IMediaSample* sample) override {
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    Frame frame = {};
    frame.length = sample->GetActualDataLength();
    frame.counter = frameCounter(data, frame.length, jpeg);
    frame.hasTime = sample->GetTime(&frame.start, &frame.stop) == S_OK;
    frame.syncPoint = sample->IsSyncPoint() == S_OK;
    frame.arrival = std::chrono::steady_clock::now();
    {
      std::lock_guard<std::mutex> guard(mutex_);
      frames_.push_back(frame);
      last_.assign(data, data + frame.length);
    }
    if (onFrame) onFrame();
    counter.add();
    return S_OK;
  }
  STDMETHODIMP BufferCB(double, BYTE*, LONG) override { return E_NOTIMPL; }

  std::vector<Frame> frames() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return frames_;
  }
  std::vector<BYTE> lastFrame() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return last_;
  }

  kivo::test::EventCounter counter;
  bool jpeg = false;
  // Runs on the streaming thread for every frame, when set before running.
  std::function<void()> onFrame;

 private:
  mutable std::mutex mutex_;
  std::vector<Frame> frames_;
  std::vector<BYTE> last_;
};

// Mean of the bytes of a frame after its counter.
inline double meanValue(const std::vector<BYTE>& frame) {
  if (frame.size() <= 16) return 0;
  double sum = 0;
  for (size_t i = 16; i < frame.size(); ++i) sum += frame[i];
  return sum / static_cast<double>(frame.size() - 16);
}

// A capture graph built by hand: device, sample grabber, null renderer.
struct CaptureRig {
  CComPtr<IGraphBuilder> graph;
  CComPtr<ICaptureGraphBuilder2> builder;
  CComPtr<IBaseFilter> device;
  CComPtr<IBaseFilter> grabberFilter;
  CComPtr<ISampleGrabber> grabber;
  CComPtr<IBaseFilter> renderer;
  CComPtr<IMediaControl> control;
  CComPtr<IMediaEvent> events;
  CComPtr<IAMStreamConfig> config;

  // Adds everything and finds the stream configuration; nothing connected.
  HRESULT create(const wchar_t* deviceName) {
    HRESULT hr = graph.CoCreateInstance(CLSID_FilterGraph);
    if (SUCCEEDED(hr)) hr = builder.CoCreateInstance(CLSID_CaptureGraphBuilder2);
    if (SUCCEEDED(hr)) hr = builder->SetFiltergraph(graph);
    if (SUCCEEDED(hr)) hr = bindDevice(deviceName, &device);
    if (SUCCEEDED(hr)) hr = graph->AddFilter(device, L"Device");
    if (SUCCEEDED(hr)) hr = grabberFilter.CoCreateInstance(CLSID_SampleGrabber);
    if (SUCCEEDED(hr)) hr = grabberFilter.QueryInterface(&grabber);
    if (SUCCEEDED(hr)) hr = graph->AddFilter(grabberFilter, L"Grabber");
    if (SUCCEEDED(hr)) hr = renderer.CoCreateInstance(CLSID_NullRenderer);
    if (SUCCEEDED(hr)) hr = graph->AddFilter(renderer, L"Renderer");
    if (SUCCEEDED(hr)) hr = graph.QueryInterface(&control);
    if (SUCCEEDED(hr)) {
      hr = graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&events));
    }
    if (SUCCEEDED(hr)) {
      hr = builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, device,
                                  IID_IAMStreamConfig, reinterpret_cast<void**>(&config));
    }
    return hr;
  }

  // Sets the device to the format at `index` of its capabilities (with the
  // given frame interval when not 0), restricts the grabber to it and
  // connects device, grabber and renderer.
  HRESULT connect(int index, FrameRecorder* recorder, REFERENCE_TIME interval = 0) {
    AM_MEDIA_TYPE* type = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps;
    HRESULT hr = config->GetStreamCaps(index, &type, reinterpret_cast<BYTE*>(&caps));
    if (hr != S_OK) return FAILED(hr) ? hr : E_INVALIDARG;
    if (interval != 0)
      reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat)->AvgTimePerFrame = interval;
    hr = config->SetFormat(type);
    if (SUCCEEDED(hr)) {
      AM_MEDIA_TYPE wanted = {};
      wanted.majortype = MEDIATYPE_Video;
      wanted.subtype = type->subtype;
      wanted.formattype = type->formattype;
      hr = grabber->SetMediaType(&wanted);
    }
    kivo::DeleteMediaType(type);
    if (SUCCEEDED(hr)) {
      hr = builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, device, nullptr,
                                 grabberFilter);
    }
    if (SUCCEEDED(hr))
      hr = builder->RenderStream(nullptr, nullptr, grabberFilter, nullptr, renderer);
    if (SUCCEEDED(hr) && recorder) hr = grabber->SetCallback(recorder, 0);
    return hr;
  }

  ~CaptureRig() {
    if (control) control->Stop();
    if (grabber) grabber->SetCallback(nullptr, 0);
  }
};

}  // namespace testcam_test
