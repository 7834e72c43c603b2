// Fault injection: a device created while KIVO_TESTCAM_LOSE_AFTER or
// KIVO_TESTCAM_FAIL is set loses itself after some frames or fails the
// named calls.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include "support/scoped_value.h"
#include "testcam_helpers.h"

namespace {

using kivo::CComPtr;
using kivo::test::ScopedEnvironment;
using namespace testcam_test;
using std::chrono::milliseconds;

constexpr auto kBound = milliseconds(15000);

class TestCamFaults : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_HRESULT_SUCCEEDED(com_.status()); }
  kivo::test::ComScope com_;
};

TEST_F(TestCamFaults, DeviceLossIsSignalledAfterTheGivenFrames) {
  FrameRecorder recorder;
  CaptureRig rig;
  {
    ScopedEnvironment lose(testcam::kLoseAfterVariable, L"5");
    ASSERT_HRESULT_SUCCEEDED(rig.create(testcam::kUsbCameraName));
  }
  // Wine's filter graph manager has no default handling of EC_DEVICE_LOST
  // to cancel or restore: it queues the event for the application as the
  // filter sent it.
  EXPECT_EQ(rig.events->CancelDefaultHandling(EC_DEVICE_LOST), S_FALSE);
  EXPECT_EQ(rig.events->RestoreDefaultHandling(EC_DEVICE_LOST), S_FALSE);
  ASSERT_HRESULT_SUCCEEDED(rig.connect(3, &recorder));  // YUY2 160x120
  ASSERT_HRESULT_SUCCEEDED(rig.control->Run());

  bool lost = false;
  const auto deadline = std::chrono::steady_clock::now() + kBound;
  while (!lost && std::chrono::steady_clock::now() < deadline) {
    long code = 0;
    LONG_PTR param1 = 0, param2 = 0;
    if (rig.events->GetEvent(&code, &param1, &param2, 200) != S_OK) continue;
    if (code == EC_DEVICE_LOST) {
      lost = true;
      EXPECT_TRUE(
          CComPtr<IUnknown>(rig.device.p).IsEqualObject(reinterpret_cast<IUnknown*>(param1)));
      EXPECT_EQ(param2, 0);
    }
    rig.events->FreeEventParams(code, param1, param2);
  }
  ASSERT_TRUE(lost);
  EXPECT_EQ(recorder.counter.count(), 5);
  // The lost device stays quiet; the graph stays running until stopped.
  EXPECT_FALSE(recorder.counter.waitFor(6, milliseconds(500)));
  OAFilterState state = State_Stopped;
  EXPECT_EQ(rig.control->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Running);
  ASSERT_HRESULT_SUCCEEDED(rig.control->Stop());
  const auto frames = recorder.frames();
  for (size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].counter, i);
  }
}

TEST_F(TestCamFaults, NamedCallsFailWithEFail) {
  CComPtr<IBaseFilter> usb;
  CComPtr<IBaseFilter> analog;
  {
    ScopedEnvironment fail(
        testcam::kFailVariable,
        L"IAMStreamConfig.GetStreamCaps, IAMVideoProcAmp.GetRange,IAMCrossbar.Route");
    ASSERT_HRESULT_SUCCEEDED(bindDevice(testcam::kUsbCameraName, &usb));
    ASSERT_HRESULT_SUCCEEDED(bindDevice(testcam::kAnalogCameraName, &analog));
  }
  CComPtr<IAMStreamConfig> config;
  ASSERT_HRESULT_SUCCEEDED(capturePin(usb).QueryInterface(&config));
  AM_MEDIA_TYPE* type = nullptr;
  VIDEO_STREAM_CONFIG_CAPS caps;
  EXPECT_EQ(config->GetStreamCaps(0, &type, reinterpret_cast<BYTE*>(&caps)), E_FAIL);
  int count = 0, size = 0;
  EXPECT_EQ(config->GetNumberOfCapabilities(&count, &size), S_OK);

  CComPtr<IAMVideoProcAmp> procAmp;
  ASSERT_HRESULT_SUCCEEDED(usb.QueryInterface(&procAmp));
  long v[5] = {};
  EXPECT_EQ(procAmp->GetRange(VideoProcAmp_Brightness, &v[0], &v[1], &v[2], &v[3], &v[4]), E_FAIL);
  EXPECT_EQ(procAmp->Get(VideoProcAmp_Brightness, &v[0], &v[1]), S_OK);

  // The analog device's crossbar shares its device's faults.
  CComPtr<IEnumPins> pins;
  ASSERT_HRESULT_SUCCEEDED(analog->EnumPins(&pins));
  CComPtr<IPin> input;
  ASSERT_EQ(pins->Next(1, &input, nullptr), S_OK);
  CComPtr<IPin> upstream;
  ASSERT_EQ(input->ConnectedTo(&upstream), S_OK);
  PIN_INFO info = {};
  ASSERT_EQ(upstream->QueryPinInfo(&info), S_OK);
  CComPtr<IBaseFilter> crossbarFilter;
  crossbarFilter.Attach(info.pFilter);
  CComPtr<IAMCrossbar> crossbar;
  ASSERT_HRESULT_SUCCEEDED(
      crossbarFilter->QueryInterface(IID_IAMCrossbar, reinterpret_cast<void**>(&crossbar)));
  EXPECT_EQ(crossbar->Route(0, 1), E_FAIL);
  EXPECT_EQ(crossbar->CanRoute(0, 1), S_OK);

  // A device created without the variable works.
  CComPtr<IBaseFilter> healthy;
  ASSERT_HRESULT_SUCCEEDED(bindDevice(testcam::kUsbCameraName, &healthy));
  CComPtr<IAMStreamConfig> healthyConfig;
  ASSERT_HRESULT_SUCCEEDED(capturePin(healthy).QueryInterface(&healthyConfig));
  ASSERT_EQ(healthyConfig->GetStreamCaps(0, &type, reinterpret_cast<BYTE*>(&caps)), S_OK);
  kivo::DeleteMediaType(type);
}

}  // namespace
