// The TV-card personality: an analog video decoder, and a crossbar that a
// host finds through the connection of the analog video input pin alone.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "testcam_helpers.h"

namespace {

using kivo::CComPtr;
using namespace testcam_test;
using std::chrono::milliseconds;

constexpr auto kBound = milliseconds(15000);

GUID pinCategory(IPin* pin) {
  GUID category = GUID_NULL;
  CComPtr<IKsPropertySet> properties;
  if (SUCCEEDED(pin->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void**>(&properties)))) {
    DWORD returned = 0;
    properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                    sizeof(category), &returned);
  }
  return category;
}

// The analog video input, found by its category as a host finds it.
CComPtr<IPin> analogInput(IBaseFilter* filter) {
  CComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(&pins))) return nullptr;
  IPin* pin = nullptr;
  while (pins->Next(1, &pin, nullptr) == S_OK) {
    CComPtr<IPin> held;
    held.Attach(pin);
    PIN_DIRECTION direction;
    held->QueryDirection(&direction);
    if (direction == PINDIR_INPUT && pinCategory(held) == PIN_CATEGORY_ANALOGVIDEOIN) return held;
  }
  return nullptr;
}

CComPtr<IAMCrossbar> crossbarOf(IBaseFilter* device, CComPtr<IPin>& upstreamPin) {
  CComPtr<IPin> input = analogInput(device);
  if (!input) return nullptr;
  CComPtr<IPin> upstream;
  if (input->ConnectedTo(&upstream) != S_OK) return nullptr;
  PIN_INFO info = {};
  if (upstream->QueryPinInfo(&info) != S_OK) return nullptr;
  CComPtr<IBaseFilter> filter;
  filter.Attach(info.pFilter);
  CComPtr<IAMCrossbar> crossbar;
  filter->QueryInterface(IID_IAMCrossbar, reinterpret_cast<void**>(&crossbar));
  upstreamPin = upstream.p;
  return crossbar;
}

CComPtr<IAMCrossbar> crossbarOf(IBaseFilter* device) {
  CComPtr<IPin> upstream;
  return crossbarOf(device, upstream);
}

class TestCamAnalog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_HRESULT_SUCCEEDED(com_.status());
    ASSERT_HRESULT_SUCCEEDED(bindDevice(testcam::kAnalogCameraName, &device_));
  }
  kivo::test::ComScope com_;
  CComPtr<IBaseFilter> device_;
};

TEST_F(TestCamAnalog, CrossbarIsFoundThroughTheAnalogInputConnection) {
  CComPtr<IPin> upstream;
  CComPtr<IAMCrossbar> crossbar = crossbarOf(device_, upstream);
  ASSERT_NE(crossbar.p, nullptr);

  PIN_INFO info = {};
  ASSERT_EQ(upstream->QueryPinInfo(&info), S_OK);
  CComPtr<IBaseFilter> crossbarFilter;
  crossbarFilter.Attach(info.pFilter);
  EXPECT_EQ(info.dir, PINDIR_OUTPUT);
  CLSID clsid = GUID_NULL;
  ASSERT_EQ(crossbarFilter->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, testcam::kCrossbarClsid);

  // The link answers from both ends, and the crossbar lists its input pins
  // before its output pins: the connected pin is output 0.
  CComPtr<IPin> back;
  ASSERT_EQ(upstream->ConnectedTo(&back), S_OK);
  EXPECT_TRUE(back.IsEqualObject(analogInput(device_)));
  LONG outputs = 0, inputs = 0;
  ASSERT_EQ(crossbar->get_PinCounts(&outputs, &inputs), S_OK);
  EXPECT_EQ(outputs, 2);
  EXPECT_EQ(inputs, 5);
  CComPtr<IEnumPins> pins;
  ASSERT_EQ(crossbarFilter->EnumPins(&pins), S_OK);
  std::vector<CComPtr<IPin>> all;
  IPin* pin = nullptr;
  while (pins->Next(1, &pin, nullptr) == S_OK) {
    CComPtr<IPin> held;
    held.Attach(pin);
    all.push_back(held);
  }
  ASSERT_EQ(all.size(), 7u);
  for (size_t i = 0; i < all.size(); ++i) {
    PIN_DIRECTION direction;
    all[i]->QueryDirection(&direction);
    EXPECT_EQ(direction, i < 5 ? PINDIR_INPUT : PINDIR_OUTPUT) << i;
  }
  EXPECT_TRUE(all[5].IsEqualObject(upstream));
  CComPtr<IPin> unconnected;
  EXPECT_EQ(all[0]->ConnectedTo(&unconnected), VFW_E_NOT_CONNECTED);
}

TEST_F(TestCamAnalog, CrossbarPinsRoutingAndRelations) {
  CComPtr<IAMCrossbar> crossbar = crossbarOf(device_);
  ASSERT_NE(crossbar.p, nullptr);
  struct PinInfo {
    long related, type;
  };
  const PinInfo inputs[] = {{3, PhysConn_Video_Tuner},
                            {4, PhysConn_Video_Composite},
                            {4, PhysConn_Video_SVideo},
                            {0, PhysConn_Audio_Tuner},
                            {1, PhysConn_Audio_Line}};
  const PinInfo outputs[] = {{1, PhysConn_Video_VideoDecoder}, {0, PhysConn_Audio_AudioDecoder}};
  for (long i = 0; i < 5; ++i) {
    LONG related = -2, type = -2;
    ASSERT_EQ(crossbar->get_CrossbarPinInfo(TRUE, i, &related, &type), S_OK);
    EXPECT_EQ(related, inputs[i].related) << i;
    EXPECT_EQ(type, inputs[i].type) << i;
  }
  for (long i = 0; i < 2; ++i) {
    LONG related = -2, type = -2;
    ASSERT_EQ(crossbar->get_CrossbarPinInfo(FALSE, i, &related, &type), S_OK);
    EXPECT_EQ(related, outputs[i].related) << i;
    EXPECT_EQ(type, outputs[i].type) << i;
  }
  LONG related = 0, type = 0;
  EXPECT_EQ(crossbar->get_CrossbarPinInfo(TRUE, 5, &related, &type), E_INVALIDARG);
  EXPECT_EQ(crossbar->get_CrossbarPinInfo(FALSE, 2, &related, &type), E_INVALIDARG);

  // Video inputs route to the video output only, audio to audio.
  for (long input = 0; input < 5; ++input) {
    EXPECT_EQ(crossbar->CanRoute(0, input), input < 3 ? S_OK : S_FALSE) << input;
    EXPECT_EQ(crossbar->CanRoute(1, input), input < 3 ? S_FALSE : S_OK) << input;
  }
  EXPECT_EQ(crossbar->CanRoute(2, 0), E_INVALIDARG);
  EXPECT_EQ(crossbar->CanRoute(0, 5), E_INVALIDARG);

  LONG routed = -2;
  ASSERT_EQ(crossbar->get_IsRoutedTo(0, &routed), S_OK);
  EXPECT_EQ(routed, 0);
  ASSERT_EQ(crossbar->get_IsRoutedTo(1, &routed), S_OK);
  EXPECT_EQ(routed, 3);
  EXPECT_EQ(crossbar->Route(0, 2), S_OK);
  EXPECT_EQ(crossbar->Route(1, 4), S_OK);
  ASSERT_EQ(crossbar->get_IsRoutedTo(0, &routed), S_OK);
  EXPECT_EQ(routed, 2);
  ASSERT_EQ(crossbar->get_IsRoutedTo(1, &routed), S_OK);
  EXPECT_EQ(routed, 4);
  EXPECT_EQ(crossbar->Route(0, 3), E_INVALIDARG);
  EXPECT_EQ(crossbar->Route(1, 0), E_INVALIDARG);
  ASSERT_EQ(crossbar->get_IsRoutedTo(0, &routed), S_OK);
  EXPECT_EQ(routed, 2);

  // Without a routed input the decoder loses its horizontal lock.
  CComPtr<IAMAnalogVideoDecoder> decoder;
  ASSERT_HRESULT_SUCCEEDED(
      device_->QueryInterface(IID_IAMAnalogVideoDecoder, reinterpret_cast<void**>(&decoder)));
  LONG locked = -1;
  ASSERT_EQ(decoder->get_HorizontalLocked(&locked), S_OK);
  EXPECT_EQ(locked, 1);
  EXPECT_EQ(crossbar->Route(0, -1), S_OK);
  ASSERT_EQ(crossbar->get_IsRoutedTo(0, &routed), S_OK);
  EXPECT_EQ(routed, -1);
  ASSERT_EQ(decoder->get_HorizontalLocked(&locked), S_OK);
  EXPECT_EQ(locked, 0);
}

TEST_F(TestCamAnalog, DecoderStandardsAndFlags) {
  CComPtr<IAMAnalogVideoDecoder> decoder;
  ASSERT_HRESULT_SUCCEEDED(
      device_->QueryInterface(IID_IAMAnalogVideoDecoder, reinterpret_cast<void**>(&decoder)));
  LONG value = 0;
  ASSERT_EQ(decoder->get_TVFormat(&value), S_OK);
  EXPECT_EQ(value, AnalogVideo_NTSC_M);
  ASSERT_EQ(decoder->get_AvailableTVFormats(&value), S_OK);
  EXPECT_EQ(value, AnalogVideo_NTSC_M | AnalogVideo_PAL_B | AnalogVideo_SECAM_B);
  ASSERT_EQ(decoder->get_NumberOfLines(&value), S_OK);
  EXPECT_EQ(value, 525);

  EXPECT_EQ(decoder->put_TVFormat(AnalogVideo_PAL_D), E_INVALIDARG);
  EXPECT_EQ(decoder->put_TVFormat(AnalogVideo_NTSC_M | AnalogVideo_PAL_B), E_INVALIDARG);
  EXPECT_EQ(decoder->put_TVFormat(0), E_INVALIDARG);
  EXPECT_EQ(decoder->put_TVFormat(AnalogVideo_PAL_B), S_OK);
  ASSERT_EQ(decoder->get_TVFormat(&value), S_OK);
  EXPECT_EQ(value, AnalogVideo_PAL_B);
  ASSERT_EQ(decoder->get_NumberOfLines(&value), S_OK);
  EXPECT_EQ(value, 625);
  EXPECT_EQ(decoder->put_TVFormat(AnalogVideo_SECAM_B), S_OK);

  ASSERT_EQ(decoder->get_OutputEnable(&value), S_OK);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(decoder->put_OutputEnable(0), S_OK);
  ASSERT_EQ(decoder->get_OutputEnable(&value), S_OK);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(decoder->put_OutputEnable(2), E_INVALIDARG);

  ASSERT_EQ(decoder->get_VCRHorizontalLocking(&value), S_OK);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(decoder->put_VCRHorizontalLocking(1), S_OK);
  ASSERT_EQ(decoder->get_VCRHorizontalLocking(&value), S_OK);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(decoder->put_VCRHorizontalLocking(5), E_INVALIDARG);
}

// Distinct chroma (U) values along the top row of a YUY2 frame: the tuner's
// colour bars have about eight, the composite input's checkerboard two, the
// S-Video ramps many, and no signal one.
size_t distinctChroma(const std::vector<BYTE>& frame, long width) {
  std::set<BYTE> values;
  for (long x = 1; x < width / 2; ++x) values.insert(frame[x * 4 + 1]);
  return values.size();
}

TEST_F(TestCamAnalog, StreamsThroughAGraphAndTheInputChangesThePicture) {
  FrameRecorder recorder;
  CaptureRig rig;
  ASSERT_HRESULT_SUCCEEDED(rig.create(testcam::kAnalogCameraName));
  CComPtr<IAMCrossbar> crossbar = crossbarOf(rig.device);
  ASSERT_NE(crossbar.p, nullptr);
  ASSERT_HRESULT_SUCCEEDED(rig.connect(1, &recorder));  // YUY2 640x480
  ASSERT_HRESULT_SUCCEEDED(rig.control->Run());

  auto nextFrame = [&]() {
    const long seen = recorder.counter.count();
    EXPECT_TRUE(recorder.counter.waitFor(seen + 2, kBound));
    return recorder.lastFrame();
  };
  const std::vector<BYTE> tuner = nextFrame();
  ASSERT_EQ(tuner.size(), 640u * 480 * 2);
  EXPECT_GE(distinctChroma(tuner, 640), 5u);
  EXPECT_LE(distinctChroma(tuner, 640), 8u);
  ASSERT_EQ(crossbar->Route(0, 1), S_OK);
  EXPECT_EQ(distinctChroma(nextFrame(), 640), 2u);
  ASSERT_EQ(crossbar->Route(0, 2), S_OK);
  EXPECT_GT(distinctChroma(nextFrame(), 640), 10u);
  ASSERT_EQ(crossbar->Route(0, -1), S_OK);
  EXPECT_EQ(distinctChroma(nextFrame(), 640), 1u);
  ASSERT_HRESULT_SUCCEEDED(rig.control->Stop());
  const auto frames = recorder.frames();
  for (size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].counter, i);
  }
}

TEST_F(TestCamAnalog, WiredLinkOutlivesTheGraph) {
  {
    CComPtr<IGraphBuilder> graph;
    ASSERT_HRESULT_SUCCEEDED(graph.CoCreateInstance(CLSID_FilterGraph));
    ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(device_, L"TV card"));
    EXPECT_NE(crossbarOf(device_).p, nullptr);
    ASSERT_HRESULT_SUCCEEDED(graph->RemoveFilter(device_));
    ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(device_, L"TV card"));
  }
  // The graph went with the device still in it.
  EXPECT_NE(crossbarOf(device_).p, nullptr);
}

}  // namespace
