#include <kivo/dx_sample_grabber.h>
#include <kivo/filter_creation_exception.h>
#include <kivo/media_cb.h>

#include "support/mocks/device_settings.h"
#include "support/mocks/ibasefilter.h"
#include "support/wait.h"

#include <stdexcept>

namespace kivo::test {
namespace {

using namespace ::testing;

// A host callback that counts samples and throws what the test asks.
class HostCallback : public IMediaCB {
 public:
  explicit HostCallback(bool* destroyed) : destroyed_(destroyed) {}
  long processSample(double time, IMediaSample*) override {
    samples += time == 1.25;
    if (throwWhat == 1) throw std::runtime_error("host failure");
    if (throwWhat == 2) throw FilterCreationException(E_FAIL);
    if (throwWhat == 3) throw 42;
    return E_FAIL;
  }
  int samples = 0, throwWhat = 0;

 protected:
  ~HostCallback() override { *destroyed_ = true; }
  bool* destroyed_;
};

// The callback counts no reference and answers S_OK whatever the host throws.
TEST(IMediaCB, ForwardsSamplesCountsNothingAndSurvivesTheHost) {
  bool destroyed = false;
  HostCallback* callback = new HostCallback(&destroyed);
  ISampleGrabberCB* out = nullptr;
  EXPECT_EQ(callback->QueryInterface(IID_PPV_ARGS(&out)), S_OK);
  EXPECT_EQ(out, static_cast<ISampleGrabberCB*>(callback));
  EXPECT_EQ(callback->AddRef(), 2u);
  EXPECT_EQ(callback->Release(), 1u);
  EXPECT_EQ(callback->Release(), 1u);  // never destroyed by a release
  for (int what = 0; what <= 3; ++what) {
    callback->throwWhat = what;
    EXPECT_EQ(callback->SampleCB(1.25, nullptr), S_OK) << "exception kind " << what;
  }
  EXPECT_EQ(callback->samples, 4);  // each with its time
  callback->destroy();
  EXPECT_TRUE(destroyed);
}

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
  ComScope com;
  StrictMock<MockSampleGrabber> grabber;
  NiceMock<MockBaseFilter> filter;
  std::unique_ptr<DXSampleGrabber> grabberFilter = std::make_unique<DXSampleGrabber>();
  bool destroyed = false;
  HostCallback* callback = new HostCallback(&destroyed);
  ~SampleGrabberTest() override {
    callback->destroy();
    grabberFilter.reset();
  }
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
    if (SUCCEEDED(a[0])) {
      EXPECT_CALL(grabber, SetOneShot(FALSE)).WillOnce(Return(a[1]));
    }
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

// The connected type owns a new format block; a failure leaves it as it was.
TEST_F(SampleGrabberTest, TheConnectedMediaTypeOwnsItsNewFormatBlockOrTheFailureIsPassedOn) {
  CMediaType type;
  type.AllocFormatBuffer(16);  // replaced, not leaked
  EXPECT_CALL(grabber, GetConnectedMediaType(_))
      .WillOnce([](AM_MEDIA_TYPE* out) {
        out->subtype = MEDIASUBTYPE_RGB24;
        out->cbFormat = sizeof(VIDEOINFOHEADER);
        out->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
        *reinterpret_cast<VIDEOINFOHEADER*>(out->pbFormat) = VIDEOINFOHEADER{};
        reinterpret_cast<VIDEOINFOHEADER*>(out->pbFormat)->bmiHeader.biWidth = 320;
        return S_OK;
      })
      .WillOnce(Return(VFW_E_NOT_CONNECTED));
  ASSERT_EQ(grabberFilter->getConnectedMediaType(type), S_OK);
  EXPECT_TRUE(IsEqualGUID(*type.Subtype(), MEDIASUBTYPE_RGB24));
  ASSERT_EQ(type.FormatLength(), sizeof(VIDEOINFOHEADER));
  EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(type.Format())->bmiHeader.biWidth, 320);
  EXPECT_EQ(grabberFilter->getConnectedMediaType(type), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(type.FormatLength(), sizeof(VIDEOINFOHEADER));
  // A filter without ISampleGrabber fails every configuration alike.
  filter.refuse(IID_ISampleGrabber, E_NOINTERFACE);
  EXPECT_EQ(grabberFilter->configureCallback(callback), E_NOINTERFACE);
  EXPECT_EQ(grabberFilter->configureCallback(nullptr), E_NOINTERFACE);
  EXPECT_EQ(grabberFilter->configureMedia(&type), E_NOINTERFACE);
  EXPECT_EQ(grabberFilter->getConnectedMediaType(type), E_NOINTERFACE);
}

}  // namespace
}  // namespace kivo::test
