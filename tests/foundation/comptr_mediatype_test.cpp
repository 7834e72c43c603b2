// Owners of COM references and media types give every reference back and refuse to be overwritten.

#include <kivo/comptr.h>
#include <kivo/mediatype.h>

#include "support/com_fake.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

class FakePersist : public test::ComFake<IPersist> {
 public:
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override { return *id = GUID_NULL, S_OK; }
};

TEST(CComPtr, CountsEveryReferenceItTakesAndHandsOver) {
  FakePersist fake;
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
    CComPtr<IPersist> attached;
    attached.Attach(a.Detach());
    EXPECT_EQ(fake.refs(), 1);
  }
  EXPECT_EQ(fake.refs(), 0);
}

// An out-parameter taken from an owner that holds something would leak it: assertions stop it.
TEST(OutParameterDeathTest, AnOwnerThatHoldsSomethingRefusesToBeOverwritten) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  FakePersist fake;
  CComPtr<IPersist> held(&fake);
  EXPECT_DEATH((void)&held, "out-parameter");
  const CMediaType video(&MEDIATYPE_Video);
  MediaTypePtr type(CreateMediaType(&video));
  EXPECT_DEATH((void)&type, "out-parameter");
}

// Copies own their format block and their pUnk reference; every owner frees both.
TEST(CMediaType, CopiesAndOwnersHoldTheirOwnBlockAndReference) {
  FakePersist fake;
  CMediaType original(&MEDIATYPE_Video);
  BYTE* block = original.AllocFormatBuffer(sizeof(VIDEOINFOHEADER));
  ASSERT_NE(block, nullptr);
  reinterpret_cast<VIDEOINFOHEADER*>(block)->bmiHeader.biWidth = 640;
  (original.pUnk = &fake)->AddRef();
  {
    CMediaType copy(original);
    EXPECT_NE(copy.pbFormat, original.pbFormat);
    EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(copy.pbFormat)->bmiHeader.biWidth, 640);
    MediaTypePtr owned(CreateMediaType(&original));
    MediaTypePtr moved(std::move(owned));
    EXPECT_FALSE(owned);
    EXPECT_EQ(moved->majortype, MEDIATYPE_Video);
    MediaTypePtr out;
    *&out = CreateMediaType(&original);
    EXPECT_EQ(fake.refs(), 4);
    DeleteMediaType(out.release());
  }
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
  EXPECT_STREQ(GetSubtypeNameA(nullptr), "UNKNOWN");  // the names: the video subtype test
}

}  // namespace
}  // namespace kivo
