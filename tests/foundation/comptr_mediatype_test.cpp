#include <kivo/comptr.h>
#include <kivo/mediatype.h>

#include "support/com_fake.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

using test::ComFake;

class FakeUnknownPersist : public ComFake<IPersist> {
 public:
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override {
    *id = GUID_NULL;
    return S_OK;
  }
};

TEST(CComPtr, CountsEveryReferenceItTakesAndHandsOver) {
  FakeUnknownPersist fake;
  {
    CComPtr<IPersist> a(&fake);
    CComPtr<IPersist> b = a;
    CComPtr<IPersist> c = std::move(b);
    EXPECT_EQ(fake.refs(), 2);
    EXPECT_EQ(b, nullptr);
    c = nullptr;
    a = a;
    IPersist* copy = nullptr;
    ASSERT_EQ(a.CopyTo(&copy), S_OK);
    EXPECT_EQ(fake.refs(), 2);
    copy->Release();
    IPersist* detached = a.Detach();
    EXPECT_EQ(fake.refs(), 1);
    CComPtr<IPersist> attached;
    attached.Attach(detached);
  }
  EXPECT_EQ(fake.refs(), 0);
}

// An out-parameter taken from a pointer that still holds something would
// leak it: the test build keeps assertions on, and both owners stop there.
TEST(OutParameterDeathTest, AnOwnerThatHoldsSomethingRefusesToBeOverwritten) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  FakeUnknownPersist fake;
  CComPtr<IPersist> held(&fake);
  EXPECT_DEATH((void)&held, "out-parameter");
  const CMediaType video(&MEDIATYPE_Video);
  MediaTypePtr type(CreateMediaType(&video));
  EXPECT_DEATH((void)&type, "out-parameter");
}

// The owner of a platform-allocated type frees its block and its reference.
TEST(MediaTypePtr, DeletesTheTypeItOwnsAndHandsItOverOnRequest) {
  FakeUnknownPersist fake;
  CMediaType source(&MEDIATYPE_Audio);
  source.AllocFormatBuffer(sizeof(WAVEFORMATEX));
  source.pUnk = &fake;
  fake.AddRef();
  {
    MediaTypePtr owned(CreateMediaType(&source));
    EXPECT_EQ(fake.refs(), 2);
    MediaTypePtr moved(std::move(owned));
    EXPECT_FALSE(owned);
    EXPECT_EQ(moved->majortype, MEDIATYPE_Audio);
    MediaTypePtr out;
    *&out = CreateMediaType(&source);
    EXPECT_EQ(fake.refs(), 3);
    DeleteMediaType(out.release());
  }
  EXPECT_EQ(fake.refs(), 1);
  FreeMediaType(source);
}

TEST(CMediaType, CopiesOwnTheirFormatBlockAndUnknownAndSubtypeNamesFallBack) {
  FakeUnknownPersist fake;
  CMediaType original(&MEDIATYPE_Video);
  original.SetSubtype(&MEDIASUBTYPE_RGB24);
  original.SetFormatType(&FORMAT_VideoInfo);
  BYTE* block = original.AllocFormatBuffer(sizeof(VIDEOINFOHEADER));
  ASSERT_NE(block, nullptr);
  reinterpret_cast<VIDEOINFOHEADER*>(block)->bmiHeader.biWidth = 640;
  original.pUnk = &fake;
  fake.AddRef();
  {
    CMediaType copy(original);
    EXPECT_NE(copy.pbFormat, original.pbFormat);
    EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(copy.pbFormat)->bmiHeader.biWidth, 640);
    EXPECT_EQ(fake.refs(), 2);
  }
  EXPECT_EQ(fake.refs(), 1);
  AM_MEDIA_TYPE* created = CreateMediaType(&original);
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(fake.refs(), 2);
  DeleteMediaType(created);
  EXPECT_EQ(fake.refs(), 1);
  FreeMediaType(original);
  EXPECT_EQ(original.pbFormat, nullptr);
  EXPECT_EQ(fake.refs(), 0);
  // A null block with a size is never copied as bytes.
  AM_MEDIA_TYPE odd = {};
  odd.cbFormat = 88;
  CMediaType oddCopy(odd);
  EXPECT_EQ(oddCopy.pbFormat, nullptr);
  EXPECT_EQ(oddCopy.cbFormat, 0u);
  EXPECT_STREQ(GetSubtypeNameA(&MEDIASUBTYPE_RGB1), "RGB Monochrome");
  EXPECT_STREQ(GetSubtypeNameA(&MEDIASUBTYPE_RGB24), "UNKNOWN");
  EXPECT_STREQ(GetSubtypeNameA(nullptr), "UNKNOWN");
}

}  // namespace
}  // namespace kivo
