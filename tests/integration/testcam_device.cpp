// The Test Camera as any DirectShow host sees it, with the platform's own objects only: the
// system device enumerator, a capture graph built by hand around Wine's sample grabber and null
// renderer, and the device's configuration interfaces.

#include <kivo/comptr.h>
#include <kivo/mediatype.h>
#include <kivo/platform.h>

#include <dvdmedia.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "support/video_input_devices.h"
#include "support/wait.h"
#include "testcam_ids.h"

namespace {

using kivo::CComPtr;
using kivo::test::ComScope;
using kivo::test::Device;
using kivo::test::EventCounter;
using kivo::test::videoInputDevices;

// The Test Camera delivers at least 5 frames per second; a loaded machine starts graphs slowly.
constexpr std::chrono::milliseconds kFrameWait(20000);

CComPtr<IBaseFilter> bindDevice(const wchar_t* name) {
  CComPtr<IBaseFilter> filter;
  for (const Device& device : videoInputDevices()) {
    if (device.name == name && !filter)
      device.moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                   reinterpret_cast<void**>(&filter));
  }
  return filter;
}

// A filter graph holding `filters`, with a capture graph builder working on it.
struct HandBuiltGraph {
  CComPtr<IGraphBuilder> graph;
  CComPtr<ICaptureGraphBuilder2> builder;
};

HRESULT buildGraph(std::initializer_list<IBaseFilter*> filters, HandBuiltGraph& built) {
  HRESULT hr = built.graph.CoCreateInstance(CLSID_FilterGraph);
  if (SUCCEEDED(hr)) hr = built.builder.CoCreateInstance(CLSID_CaptureGraphBuilder2);
  if (SUCCEEDED(hr)) hr = built.builder->SetFiltergraph(built.graph);
  for (IBaseFilter* filter : filters) {
    if (SUCCEEDED(hr)) hr = built.graph->AddFilter(filter, nullptr);
  }
  return hr;
}

// The device's video capture pin with its stream configuration, and the device's video control.
struct CaptureControls {
  CComPtr<IPin> pin;
  CComPtr<IAMStreamConfig> config;
  CComPtr<IAMVideoControl> control;
};

CaptureControls captureControls(const HandBuiltGraph& built, IBaseFilter* device) {
  CaptureControls controls;
  built.builder->FindPin(device, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, FALSE, 0,
                         &controls.pin);
  if (controls.pin) controls.pin.QueryInterface(&controls.config);
  device->QueryInterface(IID_IAMVideoControl, reinterpret_cast<void**>(&controls.control));
  return controls;
}

// The grabber's callback: what each YUY2 frame carried. It lives on the test's stack and counts
// its references, so a reference left behind or dropped too often shows in `refs`.
class FrameSink : public ISampleGrabberCB {
 public:
  struct Frame {
    uint32_t counter = 0;  // the Test Camera's frame counter, in the first 4 bytes
    long size = 0;
    REFERENCE_TIME start = -1, stop = -1;
    double luma = 0;  // mean of the luma bytes after the counter
  };
  STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (iid != IID_IUnknown && iid != IID_ISampleGrabberCB) return E_NOINTERFACE;
    *result = static_cast<ISampleGrabberCB*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  STDMETHODIMP SampleCB(double, IMediaSample* sample) override {
    Frame frame;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    sample->GetTime(&frame.start, &frame.stop);
    frame.size = data ? sample->GetActualDataLength() : 0;
    if (frame.size > 4) std::memcpy(&frame.counter, data, 4);
    for (long i = 4; i < frame.size; i += 2) frame.luma += data[i] / ((frame.size - 4) / 2.0);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      frames_.push_back(frame);
    }
    arrived.add();
    return S_OK;
  }
  STDMETHODIMP BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }

  std::vector<Frame> frames() {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
  }
  std::atomic<ULONG> refs{1};
  EventCounter arrived;

 private:
  std::mutex mutex_;
  std::vector<Frame> frames_;
};

TEST(TestCamDevice, EnumeratorListsTheDevicesWithTheirPaths) {
  ComScope com;
  ASSERT_HRESULT_SUCCEEDED(com.status());
  const std::vector<Device> devices = videoInputDevices();
  auto find = [&](const wchar_t* name) {
    return std::find_if(devices.begin(), devices.end(),
                        [&](const Device& device) { return device.name == name; });
  };
  const std::pair<const wchar_t*, int> working[] = {
      {testcam::kUsbCameraName, 0}, {testcam::kAnalogCameraName, 1}, {testcam::kVfwCameraName, 4}};
  for (auto [name, number] : working) {
    const auto device = find(name);
    ASSERT_NE(device, devices.end()) << "not listed (is kivo-testcam.dll registered?)";
    EXPECT_EQ(device->path, testcam::kDevicePathPrefix + std::to_wstring(number));
  }
  // Each entry has a path no other has, but the one designed without any.
  std::set<std::wstring> paths;
  size_t withPath = 0;
  for (const Device& device : devices) {
    if (device.name.rfind(L"KIVO Test Camera", 0) != 0) continue;
    EXPECT_EQ(device.path.empty(), device.name == testcam::kNoPathCameraName);
    if (device.path.empty()) continue;
    paths.insert(device.path);
    ++withPath;
  }
  EXPECT_EQ(withPath, paths.size());
  EXPECT_GE(withPath, 5u);
  const auto broken = find(testcam::kBrokenCameraName);
  ASSERT_NE(broken, devices.end());
  CComPtr<IBaseFilter> filter;
  EXPECT_EQ(broken->moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                          reinterpret_cast<void**>(&filter)),
            E_FAIL);
  EXPECT_EQ(filter, nullptr);
}

TEST(TestCamDevice, HandBuiltGraphDeliversTheChosenFormat) {
  ComScope com;
  ASSERT_HRESULT_SUCCEEDED(com.status());
  FrameSink sink;
  long atStop = -1;
  {
    CComPtr<IBaseFilter> camera = bindDevice(testcam::kUsbCameraName);
    ASSERT_NE(camera, nullptr);
    CComPtr<IBaseFilter> grabberFilter, renderer;
    CComPtr<ISampleGrabber> grabber;
    ASSERT_HRESULT_SUCCEEDED(grabberFilter.CoCreateInstance(CLSID_SampleGrabber));
    ASSERT_HRESULT_SUCCEEDED(renderer.CoCreateInstance(CLSID_NullRenderer));
    ASSERT_HRESULT_SUCCEEDED(grabberFilter.QueryInterface(&grabber));
    HandBuiltGraph built;
    ASSERT_HRESULT_SUCCEEDED(buildGraph({camera, grabberFilter, renderer}, built));
    const CComPtr<IGraphBuilder>& graph = built.graph;
    const CComPtr<ICaptureGraphBuilder2>& builder = built.builder;

    // YUY2 320x240, not the pin's first format, at the second rate the device lists for it.
    const auto [pin, config, control] = captureControls(built, camera);
    ASSERT_TRUE(pin && config && control);
    // Entry 2 of the pin's list is YUY2 320x240.
    AM_MEDIA_TYPE* chosen = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps;
    ASSERT_EQ(config->GetStreamCaps(2, &chosen, reinterpret_cast<BYTE*>(&caps)), S_OK);
    const auto* header = reinterpret_cast<const VIDEOINFOHEADER*>(chosen->pbFormat);
    EXPECT_EQ(chosen->subtype, MEDIASUBTYPE_YUY2);
    EXPECT_EQ(header->bmiHeader.biWidth, 320);
    EXPECT_EQ(header->bmiHeader.biHeight, 240);
    LONG rates = 0;
    LONGLONG* list = nullptr;
    ASSERT_HRESULT_SUCCEEDED(control->GetFrameRateList(pin, 2, SIZE{320, 240}, &rates, &list));
    ASSERT_GE(rates, 2);
    const REFERENCE_TIME interval = list[1];
    CoTaskMemFree(list);
    reinterpret_cast<VIDEOINFOHEADER*>(chosen->pbFormat)->AvgTimePerFrame = interval;
    const HRESULT formatSet = config->SetFormat(chosen);
    kivo::DeleteMediaType(chosen);
    ASSERT_EQ(formatSet, S_OK);

    AM_MEDIA_TYPE wanted = {};
    wanted.majortype = MEDIATYPE_Video;
    wanted.subtype = MEDIASUBTYPE_YUY2;
    ASSERT_HRESULT_SUCCEEDED(grabber->SetMediaType(&wanted));
    ASSERT_HRESULT_SUCCEEDED(grabber->SetCallback(&sink, 0));
    ASSERT_HRESULT_SUCCEEDED(builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, camera,
                                                   grabberFilter, renderer));
    AM_MEDIA_TYPE connected = {};
    ASSERT_HRESULT_SUCCEEDED(grabber->GetConnectedMediaType(&connected));
    EXPECT_EQ(connected.subtype, MEDIASUBTYPE_YUY2);
    ASSERT_EQ(connected.formattype, FORMAT_VideoInfo);
    EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(connected.pbFormat)->AvgTimePerFrame, interval);
    kivo::FreeMediaType(connected);

    CComPtr<IMediaControl> media;
    CComPtr<IAMVideoProcAmp> procAmp;
    ASSERT_HRESULT_SUCCEEDED(graph.QueryInterface(&media));
    ASSERT_HRESULT_SUCCEEDED(camera.QueryInterface(&procAmp));
    ASSERT_HRESULT_SUCCEEDED(media->Run());
    ASSERT_TRUE(sink.arrived.waitFor(6, kFrameWait));
    const long beforeChange = sink.arrived.count();
    EXPECT_EQ(procAmp->Set(VideoProcAmp_Brightness, 200, VideoProcAmp_Flags_Manual), S_OK);
    ASSERT_TRUE(sink.arrived.waitFor(beforeChange + 3, kFrameWait));
    ASSERT_HRESULT_SUCCEEDED(media->Stop());
    // Stop joined the streaming thread: nothing comes in the next few frame intervals.
    atStop = sink.arrived.count();
    EXPECT_FALSE(sink.arrived.waitFor(atStop + 1, std::chrono::milliseconds(4 * interval / 10000)));

    const std::vector<FrameSink::Frame> frames = sink.frames();
    ASSERT_EQ(static_cast<long>(frames.size()), atStop);
    std::vector<REFERENCE_TIME> steps;
    for (size_t i = 0; i < frames.size(); ++i) {
      EXPECT_EQ(frames[i].size, 320 * 240 * 2);
      EXPECT_EQ(frames[i].counter, i);  // numbered from 0 at the start of the stream
      EXPECT_EQ(frames[i].stop - frames[i].start, interval);
      if (i > 0) steps.push_back(frames[i].start - frames[i - 1].start);
    }
    // Stamped with the graph clock at capture: one late frame shortens the next step, so the
    // typical step (the median) is the one set.
    std::sort(steps.begin(), steps.end());
    EXPECT_NEAR(steps[steps.size() / 2], interval, interval / 5);
    // Brightness 128 -> 200 adds 72 to every luma value (none reaches 255 in this picture).
    EXPECT_NEAR(frames.back().luma - frames.front().luma, 72, 1);
  }
  // Every reference the graph took on the callback is gone with the graph.
  EXPECT_EQ(sink.refs, 1u);
  EXPECT_EQ(sink.arrived.count(), atStop);
  // And no object of the device's DLL is left alive.
  using CanUnload = HRESULT(STDAPICALLTYPE*)();
  const auto canUnloadNow = reinterpret_cast<CanUnload>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kivo-testcam.dll"), "DllCanUnloadNow")));
  ASSERT_NE(canUnloadNow, nullptr);
  EXPECT_EQ(canUnloadNow(), S_OK);
}

template <typename Settings>
std::pair<HRESULT, LONG> rangeFlags(Settings* settings, long id) {
  LONG minimum = 0, maximum = 0, step = 0, defaultValue = 0, flags = 0;
  const HRESULT hr = settings->GetRange(id, &minimum, &maximum, &step, &defaultValue, &flags);
  return {hr, flags};
}

TEST(TestCamDevice, InterfacesAnswerAsDocumented) {
  ComScope com;
  ASSERT_HRESULT_SUCCEEDED(com.status());
  CComPtr<IBaseFilter> usb = bindDevice(testcam::kUsbCameraName);
  CComPtr<IBaseFilter> analog = bindDevice(testcam::kAnalogCameraName);
  CComPtr<IBaseFilter> vfw = bindDevice(testcam::kVfwCameraName);
  ASSERT_TRUE(usb && analog && vfw);
  HandBuiltGraph built;
  ASSERT_HRESULT_SUCCEEDED(buildGraph({usb, analog}, built));
  const CComPtr<ICaptureGraphBuilder2>& builder = built.builder;

  // Stream configuration: one VIDEOINFOHEADER2 entry among the formats; its frame rates.
  const auto [pin, config, control] = captureControls(built, usb);
  ASSERT_TRUE(pin && config && control);
  int count = 0, size = 0;
  ASSERT_EQ(config->GetNumberOfCapabilities(&count, &size), S_OK);
  EXPECT_EQ(count, 10);
  EXPECT_EQ(size, static_cast<int>(sizeof(VIDEO_STREAM_CONFIG_CAPS)));
  int vih2 = -1;
  SIZE vih2Size = {};
  for (int i = 0; i < count; ++i) {
    AM_MEDIA_TYPE* type = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps;
    ASSERT_EQ(config->GetStreamCaps(i, &type, reinterpret_cast<BYTE*>(&caps)), S_OK);
    if (type->formattype == FORMAT_VideoInfo2 && type->cbFormat >= sizeof(VIDEOINFOHEADER2)) {
      EXPECT_EQ(caps.guid, FORMAT_VideoInfo2);
      vih2 = i;
      vih2Size = caps.MaxOutputSize;
    }
    kivo::DeleteMediaType(type);
  }
  ASSERT_EQ(vih2, 1);
  LONG flags = 0, rates = 0;
  LONGLONG* list = nullptr;
  ASSERT_EQ(control->GetCaps(pin, &flags), S_OK);
  EXPECT_EQ(flags & (VideoControlFlag_FlipHorizontal | VideoControlFlag_FlipVertical),
            VideoControlFlag_FlipHorizontal | VideoControlFlag_FlipVertical);
  ASSERT_EQ(control->GetFrameRateList(pin, vih2, vih2Size, &rates, &list), S_OK);
  ASSERT_EQ(rates, 2);
  EXPECT_EQ(list[0], 333333);
  EXPECT_EQ(list[1], 666666);
  CoTaskMemFree(list);

  // Ranged settings: auto only, manual only, both, absent; values outside a range are refused.
  CComPtr<IAMVideoProcAmp> procAmp;
  CComPtr<IAMCameraControl> camera;
  ASSERT_HRESULT_SUCCEEDED(usb.QueryInterface(&procAmp));
  ASSERT_HRESULT_SUCCEEDED(usb.QueryInterface(&camera));
  const std::pair<HRESULT, LONG> both(S_OK, VideoProcAmp_Flags_Auto | VideoProcAmp_Flags_Manual);
  EXPECT_EQ(rangeFlags(procAmp.p, VideoProcAmp_Gain), std::make_pair(S_OK, 1L));
  EXPECT_EQ(rangeFlags(procAmp.p, VideoProcAmp_Brightness), std::make_pair(S_OK, 2L));
  EXPECT_EQ(rangeFlags(procAmp.p, VideoProcAmp_Contrast), both);
  EXPECT_EQ(rangeFlags(procAmp.p, VideoProcAmp_Gamma).first, E_NOTIMPL);
  EXPECT_EQ(rangeFlags(camera.p, CameraControl_Zoom), std::make_pair(S_OK, 2L));
  EXPECT_EQ(rangeFlags(camera.p, CameraControl_Exposure), both);
  EXPECT_EQ(rangeFlags(camera.p, CameraControl_Pan).first, E_PROP_ID_UNSUPPORTED);
  EXPECT_EQ(procAmp->Set(VideoProcAmp_Brightness, 256, VideoProcAmp_Flags_Manual), E_INVALIDARG);
  EXPECT_EQ(procAmp->Set(VideoProcAmp_Brightness, -1, VideoProcAmp_Flags_Manual), E_INVALIDARG);
  EXPECT_EQ(procAmp->Set(VideoProcAmp_Gain, 64, VideoProcAmp_Flags_Manual), E_INVALIDARG);
  EXPECT_EQ(camera->Set(CameraControl_Zoom, 410, CameraControl_Flags_Manual), E_INVALIDARG);

  // The TV card's decoder and the crossbar upstream of its analog video input.
  CComPtr<IAMAnalogVideoDecoder> decoder;
  CComPtr<IAMCrossbar> crossbar;
  ASSERT_HRESULT_SUCCEEDED(
      analog->QueryInterface(IID_IAMAnalogVideoDecoder, reinterpret_cast<void**>(&decoder)));
  LONG standard = 0, standards = 0;
  EXPECT_TRUE(decoder->get_TVFormat(&standard) == S_OK && standard == AnalogVideo_NTSC_M);
  EXPECT_EQ(decoder->get_AvailableTVFormats(&standards), S_OK);
  EXPECT_EQ(standards, AnalogVideo_NTSC_M | AnalogVideo_PAL_B | AnalogVideo_SECAM_B);
  ASSERT_EQ(builder->FindInterface(&LOOK_UPSTREAM_ONLY, nullptr, analog, IID_IAMCrossbar,
                                   reinterpret_cast<void**>(&crossbar)),
            S_OK);
  LONG outputs = 0, inputs = 0;
  ASSERT_EQ(crossbar->get_PinCounts(&outputs, &inputs), S_OK);
  ASSERT_EQ(outputs, 2);
  ASSERT_EQ(inputs, 5);
  std::vector<std::pair<LONG, LONG>> pins;  // physical type, related pin; inputs, then outputs
  for (LONG i = 0; i < inputs + outputs; ++i) {
    LONG related = -1, type = 0;
    EXPECT_EQ(
        crossbar->get_CrossbarPinInfo(i < inputs, i < inputs ? i : i - inputs, &related, &type),
        S_OK);
    pins.emplace_back(type, related);
  }
  const std::vector<std::pair<LONG, LONG>> expected = {
      {PhysConn_Video_Tuner, 3},       {PhysConn_Video_Composite, 4},
      {PhysConn_Video_SVideo, 4},      {PhysConn_Audio_Tuner, 0},
      {PhysConn_Audio_Line, 1},        {PhysConn_Video_VideoDecoder, 1},
      {PhysConn_Audio_AudioDecoder, 0}};
  EXPECT_EQ(pins, expected);
  LONG routed = -1;
  EXPECT_EQ(crossbar->CanRoute(0, 1), S_OK);     // composite to the video decoder
  EXPECT_EQ(crossbar->CanRoute(0, 4), S_FALSE);  // line audio to the video decoder
  EXPECT_TRUE(crossbar->get_IsRoutedTo(0, &routed) == S_OK && routed == 0);  // the tuner
  EXPECT_EQ(crossbar->Route(0, 1), S_OK);
  EXPECT_TRUE(crossbar->get_IsRoutedTo(0, &routed) == S_OK && routed == 1);

  // Only the VFW device has Video for Windows dialogs (and none to show).
  CComPtr<IAMVfwCaptureDialogs> dialogs;
  ASSERT_EQ(vfw.QueryInterface(&dialogs), S_OK);
  EXPECT_EQ(dialogs->HasDialog(VfwCaptureDialog_Source), S_FALSE);
  dialogs.Release();
  EXPECT_EQ(usb.QueryInterface(&dialogs), E_NOINTERFACE);
}

}  // namespace
