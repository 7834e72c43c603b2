#include <kivo/dv_decoder.h>
#include <kivo/filter_creation_exception.h>

#include "support/mocks/ibasefilter.h"
#include "support/com_fake.h"
#include "support/wait.h"

#include <gtest/gtest.h>

namespace kivo::test {
namespace {

// A decoder-control interface that counts its references and its calls.
class FakeDVDec : public IIPDVDec {
 public:
  ~FakeDVDec() { EXPECT_EQ(refs, 0); }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IIPDVDec) && !IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;
    AddRef();
    *out = this;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE get_IPDisplay(int*) override { return ++calls, E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_IPDisplay(int) override { return ++calls, E_NOTIMPL; }
  long refs = 0;
  int calls = 0;
};

// Stands in for the platform's DV decoder while it lives: COM creates
// CLSID_DVVideoCodec objects from this factory, which hands out `filter`
// (or fails with `status`).
class FakeDVCodecClass : public ComFake<IClassFactory> {
 public:
  explicit FakeDVCodecClass(IBaseFilter* filter) : filter_(filter) {
    registered_ = CoRegisterClassObject(CLSID_DVVideoCodec, self(), CLSCTX_INPROC_SERVER,
                                        REGCLS_MULTIPLEUSE, &cookie_);
  }
  ~FakeDVCodecClass() override {
    if (SUCCEEDED(registered_)) CoRevokeClassObject(cookie_);
  }
  HRESULT registered() const { return registered_; }
  HRESULT status = S_OK;

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (FAILED(status)) return status;
    return filter_->QueryInterface(iid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  IBaseFilter* filter_;
  DWORD cookie_ = 0;
  HRESULT registered_ = E_FAIL;
};

class DVDecoderTest : public ::testing::Test {
 protected:
  ComScope com;
  FakeDVDec decoder;
  ::testing::NiceMock<MockBaseFilter> filter;
};

TEST_F(DVDecoderTest, HoldsTheDecoderInterfaceAndAResolutionThatStartsFull) {
  filter.answer(IID_IIPDVDec, &decoder);
  FakeDVCodecClass codec(&filter);
  ASSERT_EQ(codec.registered(), S_OK);
  {
    DVDecoder dv;
    EXPECT_EQ(dv.getInterface(), static_cast<IBaseFilter*>(&filter));
    EXPECT_EQ(dv.getResolution(), DVDecoder::RESOLUTION_FULL);
    dv.setResolution(DVDecoder::RESOLUTION_QUARTER);
    EXPECT_EQ(dv.getResolution(), 1002);
    EXPECT_EQ(decoder.calls, 0);
    EXPECT_EQ(decoder.refs, 1);
    {
      CComPtr<IIPDVDec> held = dv.getDecoder();
      EXPECT_EQ(held, static_cast<IIPDVDec*>(&decoder));
      EXPECT_EQ(decoder.refs, 2);
    }
    EXPECT_EQ(decoder.refs, 1);
  }
  EXPECT_EQ(decoder.refs, 0);
  EXPECT_EQ(filter.refs(), 0);
}

// A filter without IIPDVDec, or a failed creation, is refused with the
// status, and the filter is released.
TEST_F(DVDecoderTest, CreationFailuresCarryTheirStatus) {
  FakeDVCodecClass codec(&filter);
  ASSERT_EQ(codec.registered(), S_OK);
  filter.refuse(IID_IIPDVDec, E_NOINTERFACE);
  for (HRESULT status : {S_OK, E_OUTOFMEMORY}) {
    codec.status = status;
    try {
      DVDecoder dv;
      ADD_FAILURE() << "accepted";
    } catch (const FilterCreationException& e) {
      EXPECT_STREQ(e.getID(), "kivo:filtercreationfailed");
      const HRESULT expected = status == S_OK ? E_NOINTERFACE : status;
      EXPECT_STREQ(e.getMessage(), FilterCreationException(expected).getMessage());
    }
    EXPECT_EQ(filter.refs(), 0);
  }
}

}  // namespace
}  // namespace kivo::test
