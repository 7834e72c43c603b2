#include <kivo/dx_sample_grabber.h>
#include <kivo/filter_creation_exception.h>
#include <kivo/media_cb.h>

#include "support/mocks/ibasefilter.h"
#include "support/com_fake.h"
#include "support/mocks/isamplegrabber.h"
#include "support/wait.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

namespace kivo::test {
namespace {

using ::testing::_;
using ::testing::InSequence;
using ::testing::Invoke;
using ::testing::Return;
using ::testing::StrictMock;

// A host callback that records what it receives and answers or throws what
// the test asks.
class HostCallback : public IMediaCB {
 public:
  explicit HostCallback(bool* destroyed = nullptr) : destroyed_(destroyed) {}
  long processSample(double time, IMediaSample* sample) override {
    ++samples;
    lastTime = time;
    lastSample = sample;
    if (throwWhat == 1) throw std::runtime_error("host failure");
    if (throwWhat == 2) throw FilterCreationException(E_FAIL);
    if (throwWhat == 3) throw 42;
    return answer;
  }
  int samples = 0;
  double lastTime = -1;
  IMediaSample* lastSample = nullptr;
  long answer = S_OK;
  int throwWhat = 0;

 protected:
  ~HostCallback() override {
    if (destroyed_) *destroyed_ = true;
  }

 private:
  bool* destroyed_;
};

// The callback counts no reference, forwards every sample and answers S_OK
// whatever the host answers or throws.
TEST(IMediaCB, ForwardsSamplesCountsNothingAndSurvivesTheHost) {
  bool destroyed = false;
  HostCallback* callback = new HostCallback(&destroyed);
  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(callback->QueryInterface(IID_ISampleGrabberCB, &out), S_OK);
  EXPECT_EQ(out, static_cast<ISampleGrabberCB*>(callback));
  EXPECT_EQ(callback->QueryInterface(IID_ISampleGrabber, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(callback->AddRef(), 2u);
  EXPECT_EQ(callback->Release(), 1u);
  EXPECT_EQ(callback->Release(), 1u);
  IMediaSample* const sample = reinterpret_cast<IMediaSample*>(0x1234);
  EXPECT_EQ(callback->SampleCB(1.25, sample), S_OK);
  EXPECT_EQ(callback->lastTime, 1.25);
  EXPECT_EQ(callback->lastSample, sample);
  callback->answer = E_FAIL;
  EXPECT_EQ(callback->SampleCB(2.0, sample), S_OK);
  for (int what = 1; what <= 3; ++what) {
    callback->throwWhat = what;
    EXPECT_EQ(callback->SampleCB(3.0, sample), S_OK) << "exception kind " << what;
  }
  EXPECT_EQ(callback->samples, 5);
  EXPECT_EQ(callback->BufferCB(1.0, nullptr, 0), E_NOTIMPL);
  callback->destroy();
  EXPECT_TRUE(destroyed);
}

// A real grabber whose filter object is then replaced by a fake that
// answers ISampleGrabber with a mock.
class SampleGrabberTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(com.status(), S_OK);
    filter.answer(IID_ISampleGrabber, grabber.self());
    grabberFilter = std::make_unique<DXSampleGrabber>();
    static_cast<Filter&>(*grabberFilter) =
        Filter("KIVO Sample Grabber", CComPtr<IBaseFilter>(&filter), nullptr, nullptr);
  }
  void TearDown() override {
    grabberFilter.reset();
    EXPECT_EQ(filter.refs(), 0);
    EXPECT_EQ(grabber.refs(), 0);
  }

  ComScope com;
  StrictMock<MockSampleGrabber> grabber;
  ::testing::NiceMock<MockBaseFilter> filter;
  std::unique_ptr<DXSampleGrabber> grabberFilter;
};

TEST(DXSampleGrabber, IsThePlatformSampleGrabberUnderItsFixedName) {
  ComScope com;
  DXSampleGrabber grabber;
  EXPECT_STREQ(grabber.getName(), "KIVO Sample Grabber");
  CLSID clsid = GUID_NULL;
  ASSERT_EQ(grabber.getInterface()->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_SampleGrabber));
  // Unconnected, the platform's grabber reports that it has no media type.
  CMediaType type;
  EXPECT_EQ(grabber.getConnectedMediaType(type), VFW_E_NOT_CONNECTED);
}

// SetCallback, SetOneShot(FALSE), SetBufferSamples(FALSE) in this order; the
// first failure ends the configuration and nothing is undone.
TEST_F(SampleGrabberTest, ConfigureCallbackOrderAndFirstFailure) {
  HostCallback* callback = new HostCallback;
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
    ::testing::Mock::VerifyAndClearExpectations(&grabber);
  }
  // Removing the callback calls only SetCallback.
  EXPECT_CALL(grabber, SetCallback(nullptr, 0)).WillOnce(Return(S_FALSE));
  EXPECT_EQ(grabberFilter->configureCallback(nullptr), S_FALSE);
  callback->destroy();
}

TEST_F(SampleGrabberTest, ConfigureMediaHandsTheCallersTypeOver) {
  AM_MEDIA_TYPE type = {};
  type.majortype = MEDIATYPE_Video;
  type.subtype = MEDIASUBTYPE_RGB24;
  EXPECT_CALL(grabber, SetMediaType(&type)).WillOnce(Return(VFW_E_INVALIDMEDIATYPE));
  EXPECT_EQ(grabberFilter->configureMedia(&type), VFW_E_INVALIDMEDIATYPE);
}

TEST_F(SampleGrabberTest, TheConnectedMediaTypeOwnsItsNewFormatBlock) {
  CMediaType type;
  type.AllocFormatBuffer(16);  // replaced, not leaked
  EXPECT_CALL(grabber, GetConnectedMediaType(_)).WillOnce(Invoke([](AM_MEDIA_TYPE* out) {
    out->majortype = MEDIATYPE_Video;
    out->subtype = MEDIASUBTYPE_RGB24;
    out->formattype = FORMAT_VideoInfo;
    out->cbFormat = sizeof(VIDEOINFOHEADER);
    out->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    VIDEOINFOHEADER info = {};
    info.bmiHeader.biWidth = 320;
    memcpy(out->pbFormat, &info, sizeof(info));
    return S_OK;
  }));
  ASSERT_EQ(grabberFilter->getConnectedMediaType(type), S_OK);
  EXPECT_TRUE(IsEqualGUID(*type.Subtype(), MEDIASUBTYPE_RGB24));
  ASSERT_EQ(type.FormatLength(), sizeof(VIDEOINFOHEADER));
  EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(type.Format())->bmiHeader.biWidth, 320);
  ::testing::Mock::VerifyAndClearExpectations(&grabber);

  // A failure leaves the type as it was.
  EXPECT_CALL(grabber, GetConnectedMediaType(_)).WillOnce(Return(VFW_E_NOT_CONNECTED));
  EXPECT_EQ(grabberFilter->getConnectedMediaType(type), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(type.FormatLength(), sizeof(VIDEOINFOHEADER));
}

TEST_F(SampleGrabberTest, AFilterWithoutISampleGrabberFailsEveryConfigurationAlike) {
  filter.refuse(IID_ISampleGrabber, E_NOINTERFACE);
  HostCallback* callback = new HostCallback;
  AM_MEDIA_TYPE type = {};
  CMediaType connected;
  // The strict mock takes no call.
  EXPECT_EQ(grabberFilter->configureCallback(callback), E_NOINTERFACE);
  EXPECT_EQ(grabberFilter->configureCallback(nullptr), E_NOINTERFACE);
  EXPECT_EQ(grabberFilter->configureMedia(&type), E_NOINTERFACE);
  EXPECT_EQ(grabberFilter->getConnectedMediaType(connected), E_NOINTERFACE);
  callback->destroy();
}

}  // namespace
}  // namespace kivo::test
