// DXSampleGrabber's calls on a grabber answering as Wine's does not (the callback: device tests).

#include <kivo/dx_sample_grabber.h>
#include <kivo/media_cb.h>

#include "support/mocks/device_settings.h"
#include "support/mocks/ibasefilter.h"
#include "support/wait.h"

namespace kivo::test {
namespace {

using namespace ::testing;

class HostCallback : public IMediaCB {
 public:
  long processSample(double, IMediaSample*) override { return S_OK; }
};

// A real grabber whose filter object answers ISampleGrabber with a strict mock.
class SampleGrabberTest : public Test {
 protected:
  SampleGrabberTest() {
    CMediaType type;  // unconnected, Wine's sample grabber reports that it has no media type
    EXPECT_EQ(grabberFilter->getConnectedMediaType(type), VFW_E_NOT_CONNECTED);
    filter.answer(IID_ISampleGrabber, grabber.self());
    static_cast<Filter&>(*grabberFilter) =
        Filter("KIVO Sample Grabber", CComPtr<IBaseFilter>(filter.self()), nullptr, nullptr);
  }
  ~SampleGrabberTest() override {
    callback->destroy();
    grabberFilter.reset();
  }

  ComScope com;
  StrictMock<MockSampleGrabber> grabber;
  NiceMock<MockBaseFilter> filter;
  std::unique_ptr<DXSampleGrabber> grabberFilter = std::make_unique<DXSampleGrabber>();
  HostCallback* callback = new HostCallback;
};

// SetCallback, SetOneShot(FALSE), SetBufferSamples(FALSE); the first failure ends it.
TEST_F(SampleGrabberTest, ConfigureCallbackOrderAndFirstFailure) {
  const HRESULT answers[][3] = {{S_OK, S_OK, S_FALSE},
                                {S_OK, E_UNEXPECTED, S_OK},
                                {VFW_E_WRONG_STATE, S_OK, S_OK},
                                {S_OK, S_OK, E_FAIL}};
  for (const auto& a : answers) {
    InSequence order;
    EXPECT_CALL(grabber, SetCallback(callback, 0)).WillOnce(Return(a[0]));
    if (SUCCEEDED(a[0])) EXPECT_CALL(grabber, SetOneShot(FALSE)).WillOnce(Return(a[1]));
    if (SUCCEEDED(a[0]) && SUCCEEDED(a[1]))
      EXPECT_CALL(grabber, SetBufferSamples(FALSE)).WillOnce(Return(a[2]));
    const HRESULT expected = FAILED(a[0]) ? a[0] : FAILED(a[1]) ? a[1] : a[2];
    EXPECT_EQ(grabberFilter->configureCallback(callback), expected);
    Mock::VerifyAndClearExpectations(&grabber);
  }
  // Removing the callback calls only SetCallback.
  EXPECT_CALL(grabber, SetCallback(nullptr, 0)).WillOnce(Return(S_FALSE));
  EXPECT_EQ(grabberFilter->configureCallback(nullptr), S_FALSE);
  AM_MEDIA_TYPE type = {};
  EXPECT_CALL(grabber, SetMediaType(&type)).WillOnce(Return(VFW_E_INVALIDMEDIATYPE));
  EXPECT_EQ(grabberFilter->configureMedia(&type), VFW_E_INVALIDMEDIATYPE);
}

// A failure leaves the type as it was; a filter without ISampleGrabber fails every call alike.
TEST_F(SampleGrabberTest, FailuresLeaveTheTypeAndAFilterWithoutTheGrabberFailsEveryCall) {
  CMediaType type;
  type.AllocFormatBuffer(16);
  EXPECT_CALL(grabber, GetConnectedMediaType(_)).WillOnce(Return(VFW_E_NOT_CONNECTED));
  EXPECT_EQ(grabberFilter->getConnectedMediaType(type), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(type.FormatLength(), 16u);
  filter.refuse(IID_ISampleGrabber, E_NOINTERFACE);
  EXPECT_EQ(grabberFilter->configureCallback(callback), E_NOINTERFACE);
  EXPECT_EQ(grabberFilter->configureCallback(nullptr), E_NOINTERFACE);
  EXPECT_EQ(grabberFilter->configureMedia(&type), E_NOINTERFACE);
  EXPECT_EQ(grabberFilter->getConnectedMediaType(type), E_NOINTERFACE);
}

}  // namespace
}  // namespace kivo::test
