// The USB camera's configuration interfaces answer as documented: stream
// configuration and its format list, the pin category, video control with
// its frame-rate lists, proc-amp and camera control.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "testcam_helpers.h"

namespace {

using kivo::CComPtr;
using kivo::CMediaType;
using namespace testcam_test;

class TestCamInterfaces : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_HRESULT_SUCCEEDED(com_.status());
    ASSERT_HRESULT_SUCCEEDED(bindDevice(testcam::kUsbCameraName, &filter_));
    pin_ = capturePin(filter_).p;
    ASSERT_NE(pin_.p, nullptr);
    ASSERT_HRESULT_SUCCEEDED(pin_.QueryInterface(&config_));
  }

  kivo::test::ComScope com_;
  CComPtr<IBaseFilter> filter_;
  CComPtr<IPin> pin_;
  CComPtr<IAMStreamConfig> config_;
};

struct ListedFormat {
  GUID subtype;
  GUID formattype;
  long width, height;
  std::vector<LONGLONG> intervals;
};

const std::vector<ListedFormat>& usbFormats() {
  static const std::vector<ListedFormat> formats = {
      {MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, 640, 480, {333333, 666666}},
      {MEDIASUBTYPE_YUY2, FORMAT_VideoInfo2, 640, 480, {333333, 666666}},
      {MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, 320, 240, {333333, 666666, 2000000}},
      {MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, 160, 120, {333333, 666666, 2000000}},
      {MEDIASUBTYPE_RGB24, FORMAT_VideoInfo, 640, 480, {333333, 666666}},
      {MEDIASUBTYPE_RGB24, FORMAT_VideoInfo, 160, 120, {333333, 666666, 2000000}},
      {MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 320, 240, {333333, 666666, 2000000}},
      {kSubtypeI420, FORMAT_VideoInfo, 320, 240, {333333, 666666, 2000000}},
      {MEDIASUBTYPE_NV12, FORMAT_VideoInfo, 320, 240, {333333, 666666, 2000000}},
      {MEDIASUBTYPE_MJPG, FORMAT_VideoInfo, 1280, 720, {666666, 2000000}},
  };
  return formats;
}

const BITMAPINFOHEADER& header(const AM_MEDIA_TYPE* type) {
  if (type->formattype == FORMAT_VideoInfo2) {
    return reinterpret_cast<const VIDEOINFOHEADER2*>(type->pbFormat)->bmiHeader;
  }
  return reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat)->bmiHeader;
}

TEST_F(TestCamInterfaces, StreamCapsListEveryFormatInOrder) {
  int count = 0;
  int size = 0;
  ASSERT_EQ(config_->GetNumberOfCapabilities(&count, &size), S_OK);
  EXPECT_EQ(size, 128);
  ASSERT_EQ(count, static_cast<int>(usbFormats().size()));
  for (int i = 0; i < count; ++i) {
    SCOPED_TRACE(i);
    const ListedFormat& expected = usbFormats()[i];
    AM_MEDIA_TYPE* type = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps = {};
    ASSERT_EQ(config_->GetStreamCaps(i, &type, reinterpret_cast<BYTE*>(&caps)), S_OK);
    EXPECT_EQ(type->majortype, MEDIATYPE_Video);
    EXPECT_EQ(type->subtype, expected.subtype);
    EXPECT_EQ(type->formattype, expected.formattype);
    EXPECT_EQ(caps.guid, expected.formattype);
    const BITMAPINFOHEADER& bmi = header(type);
    EXPECT_EQ(bmi.biWidth, expected.width);
    EXPECT_EQ(bmi.biHeight, expected.height);
    EXPECT_EQ(caps.MaxOutputSize.cx, expected.width);
    EXPECT_EQ(caps.MaxOutputSize.cy, expected.height);
    EXPECT_EQ(caps.MinOutputSize.cx, expected.width);
    EXPECT_EQ(caps.MinFrameInterval, expected.intervals.front());
    EXPECT_EQ(caps.MaxFrameInterval, expected.intervals.back());
    if (expected.subtype == MEDIASUBTYPE_MJPG) {
      EXPECT_FALSE(type->bFixedSizeSamples);
    } else {
      EXPECT_TRUE(type->bFixedSizeSamples);
      EXPECT_EQ(type->lSampleSize, bmi.biSizeImage);
    }
    kivo::DeleteMediaType(type);
  }
  AM_MEDIA_TYPE* type = nullptr;
  VIDEO_STREAM_CONFIG_CAPS caps;
  EXPECT_EQ(config_->GetStreamCaps(count, &type, reinterpret_cast<BYTE*>(&caps)), S_FALSE);
  EXPECT_EQ(config_->GetStreamCaps(-1, &type, reinterpret_cast<BYTE*>(&caps)), E_INVALIDARG);
}

TEST_F(TestCamInterfaces, SetFormatAcceptsListedFormatsOnly) {
  AM_MEDIA_TYPE* current = nullptr;
  ASSERT_EQ(config_->GetFormat(&current), S_OK);
  EXPECT_EQ(current->subtype, MEDIASUBTYPE_YUY2);
  EXPECT_EQ(header(current).biWidth, 640);
  kivo::DeleteMediaType(current);

  AM_MEDIA_TYPE* type = nullptr;
  VIDEO_STREAM_CONFIG_CAPS caps;
  ASSERT_EQ(config_->GetStreamCaps(5, &type, reinterpret_cast<BYTE*>(&caps)), S_OK);
  CMediaType rgb(*type);
  kivo::DeleteMediaType(type);
  auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(rgb.pbFormat);

  vih->AvgTimePerFrame = 100000;  // 100 fps: too fast
  EXPECT_EQ(config_->SetFormat(&rgb), VFW_E_INVALIDMEDIATYPE);
  vih->AvgTimePerFrame = 666666;
  vih->bmiHeader.biWidth = 161;
  EXPECT_EQ(config_->SetFormat(&rgb), VFW_E_INVALIDMEDIATYPE);
  vih->bmiHeader.biWidth = 160;
  EXPECT_EQ(config_->SetFormat(&rgb), S_OK);
  EXPECT_EQ(config_->SetFormat(nullptr), E_POINTER);

  ASSERT_EQ(config_->GetFormat(&current), S_OK);
  EXPECT_EQ(current->subtype, MEDIASUBTYPE_RGB24);
  EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(current->pbFormat)->AvgTimePerFrame, 666666);
  EXPECT_EQ(pin_->QueryAccept(current), S_OK);
  kivo::DeleteMediaType(current);

  // The pin now offers the format set, and only that one.
  CComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(pin_->EnumMediaTypes(&types), S_OK);
  AM_MEDIA_TYPE* offered[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(types->Next(2, offered, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  EXPECT_EQ(offered[0]->subtype, MEDIASUBTYPE_RGB24);
  kivo::DeleteMediaType(offered[0]);
}

TEST_F(TestCamInterfaces, PinOffersTheWholeListBeforeAFormatIsSet) {
  CComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(pin_->EnumMediaTypes(&types), S_OK);
  size_t n = 0;
  AM_MEDIA_TYPE* type = nullptr;
  while (types->Next(1, &type, nullptr) == S_OK) {
    ASSERT_LT(n, usbFormats().size());
    EXPECT_EQ(type->subtype, usbFormats()[n].subtype);
    EXPECT_EQ(type->formattype, usbFormats()[n].formattype);
    kivo::DeleteMediaType(type);
    ++n;
  }
  EXPECT_EQ(n, usbFormats().size());
  AM_MEDIA_TYPE odd = {};
  odd.majortype = MEDIATYPE_Audio;
  EXPECT_EQ(pin_->QueryAccept(&odd), S_FALSE);
}

TEST_F(TestCamInterfaces, CaptureGraphBuilderFindsThePinAndItsConfiguration) {
  CComPtr<ICaptureGraphBuilder2> builder;
  ASSERT_HRESULT_SUCCEEDED(builder.CoCreateInstance(CLSID_CaptureGraphBuilder2));
  CComPtr<IGraphBuilder> graph;
  ASSERT_HRESULT_SUCCEEDED(graph.CoCreateInstance(CLSID_FilterGraph));
  ASSERT_HRESULT_SUCCEEDED(builder->SetFiltergraph(graph));
  ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(filter_, L"Camera"));
  CComPtr<IPin> found;
  ASSERT_EQ(builder->FindPin(filter_, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, FALSE,
                             0, &found),
            S_OK);
  EXPECT_TRUE(found.IsEqualObject(pin_));
  CComPtr<IAMStreamConfig> config;
  EXPECT_EQ(builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, filter_,
                                   IID_IAMStreamConfig, reinterpret_cast<void**>(&config)),
            E_NOINTERFACE);
  EXPECT_EQ(builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, filter_,
                                   IID_IAMStreamConfig, reinterpret_cast<void**>(&config)),
            S_OK);
  EXPECT_TRUE(config.IsEqualObject(config_));
  CComPtr<IPin> preview;
  EXPECT_HRESULT_FAILED(builder->FindPin(filter_, PINDIR_OUTPUT, &PIN_CATEGORY_PREVIEW,
                                         &MEDIATYPE_Video, FALSE, 0, &preview));
  ASSERT_HRESULT_SUCCEEDED(graph->RemoveFilter(filter_));
}

TEST_F(TestCamInterfaces, PinReportsTheCaptureCategory) {
  CComPtr<IKsPropertySet> properties;
  ASSERT_HRESULT_SUCCEEDED(pin_.QueryInterface(&properties));
  GUID category = GUID_NULL;
  DWORD returned = 0;
  ASSERT_EQ(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                            sizeof(category), &returned),
            S_OK);
  EXPECT_EQ(category, PIN_CATEGORY_CAPTURE);
  EXPECT_EQ(returned, sizeof(GUID));
  DWORD support = 0;
  EXPECT_EQ(properties->QuerySupported(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, &support), S_OK);
  EXPECT_EQ(support, static_cast<DWORD>(KSPROPERTY_SUPPORT_GET));
  EXPECT_EQ(properties->Set(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                            sizeof(category)),
            E_PROP_ID_UNSUPPORTED);
  EXPECT_EQ(properties->Get(AMPROPSETID_Pin, 7, nullptr, 0, &category, sizeof(category), &returned),
            E_PROP_ID_UNSUPPORTED);
  EXPECT_EQ(properties->Get(GUID_NULL, 0, nullptr, 0, &category, sizeof(category), &returned),
            E_PROP_SET_UNSUPPORTED);
}

TEST_F(TestCamInterfaces, VideoControlFlipsAndFrameRates) {
  CComPtr<IAMVideoControl> control;
  ASSERT_HRESULT_SUCCEEDED(filter_.QueryInterface(&control));
  LONG caps = 0;
  ASSERT_EQ(control->GetCaps(pin_, &caps), S_OK);
  EXPECT_EQ(caps, VideoControlFlag_FlipHorizontal | VideoControlFlag_FlipVertical);
  LONG mode = -1;
  ASSERT_EQ(control->GetMode(pin_, &mode), S_OK);
  EXPECT_EQ(mode, 0);
  EXPECT_EQ(control->SetMode(pin_, 3), S_OK);
  ASSERT_EQ(control->GetMode(pin_, &mode), S_OK);
  EXPECT_EQ(mode, 3);
  EXPECT_EQ(control->SetMode(pin_, VideoControlFlag_ExternalTriggerEnable), E_INVALIDARG);
  EXPECT_EQ(control->GetCaps(nullptr, &caps), E_INVALIDARG);

  for (size_t i = 0; i < usbFormats().size(); ++i) {
    SCOPED_TRACE(i);
    const ListedFormat& f = usbFormats()[i];
    const SIZE size = {f.width, f.height};
    LONG count = 0;
    LONGLONG* intervals = nullptr;
    ASSERT_EQ(control->GetFrameRateList(pin_, static_cast<LONG>(i), size, &count, &intervals),
              S_OK);
    ASSERT_EQ(count, static_cast<LONG>(f.intervals.size()));
    for (LONG k = 0; k < count; ++k) EXPECT_EQ(intervals[k], f.intervals[k]);
    CoTaskMemFree(intervals);
    LONGLONG fastest = 0;
    ASSERT_EQ(control->GetMaxAvailableFrameRate(pin_, static_cast<LONG>(i), size, &fastest), S_OK);
    EXPECT_EQ(fastest, f.intervals.front());
  }
  // The count alone, a size that is not the format's, an index out of range.
  LONG count = 0;
  EXPECT_EQ(control->GetFrameRateList(pin_, 0, SIZE{640, 480}, &count, nullptr), S_OK);
  EXPECT_EQ(count, 2);
  LONGLONG* intervals = nullptr;
  EXPECT_EQ(control->GetFrameRateList(pin_, 0, SIZE{320, 240}, &count, &intervals), E_INVALIDARG);
  EXPECT_EQ(control->GetFrameRateList(pin_, 10, SIZE{640, 480}, &count, &intervals), E_INVALIDARG);
  LONGLONG actual = 0;
  EXPECT_EQ(control->GetCurrentActualFrameRate(pin_, &actual), VFW_E_NOT_CONNECTED);
}

struct Range {
  long id, minimum, maximum, step, defaultValue, flags;
};

template <class I>
void expectRanges(I* device, const std::vector<Range>& present, const std::vector<long>& absent) {
  for (const Range& r : present) {
    SCOPED_TRACE(r.id);
    long minimum = 0, maximum = 0, step = 0, defaultValue = 0, flags = 0;
    ASSERT_EQ(device->GetRange(r.id, &minimum, &maximum, &step, &defaultValue, &flags), S_OK);
    EXPECT_EQ(minimum, r.minimum);
    EXPECT_EQ(maximum, r.maximum);
    EXPECT_EQ(step, r.step);
    EXPECT_EQ(defaultValue, r.defaultValue);
    EXPECT_EQ(flags, r.flags);
    long value = 0, current = 0;
    ASSERT_EQ(device->Get(r.id, &value, &current), S_OK);
    EXPECT_EQ(value, r.defaultValue);
    EXPECT_NE(current & r.flags, 0);
    // Outside the range, and with a mode the setting lacks, Set refuses.
    const long manual = 2, automatic = 1;
    const long supported = (r.flags & manual) ? manual : automatic;
    EXPECT_EQ(device->Set(r.id, r.maximum + 1, supported), E_INVALIDARG);
    EXPECT_EQ(device->Set(r.id, r.minimum - 1, supported), E_INVALIDARG);
    if (r.flags != 3) {
      EXPECT_EQ(device->Set(r.id, r.minimum, 3 - r.flags), E_INVALIDARG);
    }
    EXPECT_EQ(device->Set(r.id, r.minimum, supported), S_OK);
    ASSERT_EQ(device->Get(r.id, &value, &current), S_OK);
    EXPECT_EQ(value, r.minimum);
    EXPECT_EQ(current, supported);
  }
  for (long id : absent) {
    long v[5] = {};
    const HRESULT hr = device->GetRange(id, &v[0], &v[1], &v[2], &v[3], &v[4]);
    EXPECT_TRUE(hr == E_PROP_ID_UNSUPPORTED || hr == E_NOTIMPL) << id;
    EXPECT_HRESULT_FAILED(device->Set(id, 0, 2)) << id;
  }
}

TEST_F(TestCamInterfaces, ProcAmpRangesDifferPerSetting) {
  CComPtr<IAMVideoProcAmp> procAmp;
  ASSERT_HRESULT_SUCCEEDED(filter_.QueryInterface(&procAmp));
  expectRanges(procAmp.p,
               {
                   {VideoProcAmp_Brightness, 0, 255, 1, 128, 2},
                   {VideoProcAmp_Contrast, 0, 100, 1, 50, 3},
                   {VideoProcAmp_Hue, -180, 180, 1, 0, 2},
                   {VideoProcAmp_Saturation, 0, 200, 1, 100, 2},
                   {VideoProcAmp_Sharpness, 0, 7, 1, 3, 2},
                   {VideoProcAmp_ColorEnable, 0, 1, 1, 1, 2},
                   {VideoProcAmp_WhiteBalance, 2800, 6500, 10, 4600, 3},
                   {VideoProcAmp_BacklightCompensation, 0, 1, 1, 0, 3},
                   {VideoProcAmp_Gain, 0, 255, 1, 64, 1},
               },
               {VideoProcAmp_Gamma, 42});
  long v[5] = {};
  EXPECT_EQ(procAmp->GetRange(VideoProcAmp_Gamma, &v[0], &v[1], &v[2], &v[3], &v[4]), E_NOTIMPL);
}

TEST_F(TestCamInterfaces, CameraControlRangesDifferPerSetting) {
  CComPtr<IAMCameraControl> camera;
  ASSERT_HRESULT_SUCCEEDED(filter_.QueryInterface(&camera));
  expectRanges(camera.p,
               {
                   {CameraControl_Zoom, 100, 400, 10, 100, 2},
                   {CameraControl_Exposure, -13, -1, 1, -6, 3},
                   {CameraControl_Focus, 0, 250, 5, 125, 3},
               },
               {CameraControl_Pan, CameraControl_Tilt, CameraControl_Roll, CameraControl_Iris});
  long v[5] = {};
  EXPECT_EQ(camera->GetRange(CameraControl_Pan, &v[0], &v[1], &v[2], &v[3], &v[4]),
            E_PROP_ID_UNSUPPORTED);
}

TEST_F(TestCamInterfaces, OtherDevicesOfferFewerInterfaces) {
  CComPtr<IBaseFilter> analog;
  ASSERT_HRESULT_SUCCEEDED(bindDevice(testcam::kAnalogCameraName, &analog));
  CComPtr<IAMCameraControl> camera;
  EXPECT_EQ(analog.QueryInterface(&camera), E_NOINTERFACE);
  CComPtr<IAMVideoProcAmp> procAmp;
  EXPECT_EQ(analog.QueryInterface(&procAmp), S_OK);

  CComPtr<IBaseFilter> vfw;
  ASSERT_HRESULT_SUCCEEDED(bindDevice(testcam::kVfwCameraName, &vfw));
  CComPtr<IAMVideoControl> control;
  EXPECT_EQ(vfw.QueryInterface(&control), E_NOINTERFACE);
  CComPtr<IAMStreamConfig> config;
  ASSERT_HRESULT_SUCCEEDED(capturePin(vfw).QueryInterface(&config));
  int count = 0, size = 0;
  ASSERT_EQ(config->GetNumberOfCapabilities(&count, &size), S_OK);
  EXPECT_EQ(count, 2);
  CComPtr<IAMAnalogVideoDecoder> decoder;
  EXPECT_EQ(vfw->QueryInterface(IID_IAMAnalogVideoDecoder, reinterpret_cast<void**>(&decoder)),
            E_NOINTERFACE);
}

}  // namespace
