#include <kivo/dv_decoder.h>
#include <kivo/filter.h>
#include <kivo/filter_creation_exception.h>
#include <kivo/filter_enums.h>
#include <kivo/video_capture_filter.h>

#include "foundation/replaceable.h"
#include "support/mocks/ibasefilter.h"
#include "support/mocks/icreatedevenum.h"
#include "support/mocks/ienummoniker.h"
#include "support/mocks/imoniker.h"
#include "support/mocks/ipropertybag.h"
#include "support/scoped_value.h"
#include "support/wait.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kivo::test {
namespace {

using namespace ::testing;

// A moniker with a property bag, binding to its filter or the next of `objects`.
struct Device {
  explicit Device(const wchar_t* name = nullptr, std::vector<MockBaseFilter*> objects = {})
      : objects(std::move(objects)) {
    if (name) bag.set(L"FriendlyName", name);
    ON_CALL(moniker, BindToStorage(IsNull(), IsNull(), Eq(IID_IPropertyBag), _))
        .WillByDefault(HandOut<3>(bag.self()));
    ON_CALL(moniker, BindToObject(_, IsNull(), Eq(IID_IBaseFilter), _))
        .WillByDefault([this](IBindCtx* context, IMoniker*, REFIID, void** out) -> HRESULT {
          contexts.push_back(context);
          *out = nullptr;
          if (FAILED(bindStatus)) return bindStatus;
          MockBaseFilter* object = &filter;
          if (!this->objects.empty()) {
            if (next >= this->objects.size()) return E_FAIL;
            object = this->objects[next++];
          }
          object->AddRef();
          *out = object->self();
          return S_OK;
        });
  }
  NiceMock<MockMoniker> moniker;
  TextPropertyBag bag;
  NiceMock<MockBaseFilter> filter;
  std::vector<MockBaseFilter*> objects;
  std::vector<IBindCtx*> contexts;
  HRESULT bindStatus = S_OK;
  size_t next = 0;
};

ICreateDevEnum* currentEnumerator = nullptr;
HRESULT enumeratorStatus = S_OK;

HRESULT fakeDeviceEnumerator(REFCLSID clsid, REFIID iid, void** out) {
  *out = nullptr;
  if (clsid != CLSID_SystemDeviceEnum) return CoCreateInstance(clsid, nullptr, CLSCTX_ALL, iid, out);
  if (FAILED(enumeratorStatus)) return enumeratorStatus;
  return currentEnumerator ? currentEnumerator->QueryInterface(iid, out) : S_OK;
}

class FilterTest : public Test {
 protected:
  FilterTest() {
    currentEnumerator = &devEnum_;
    enumeratorStatus = S_OK;
  }
  ~FilterTest() override { currentEnumerator = nullptr; }

  // The video input category lists these devices, in this order.
  void present(std::vector<Device*> devices) {
    std::vector<IMoniker*> monikers;
    for (Device* d : devices) monikers.push_back(d->moniker.self());
    monikers_ = std::make_unique<ListEnumMoniker>(monikers);
    ON_CALL(devEnum_, CreateClassEnumerator(Eq(CLSID_VideoInputDeviceCategory), _, 0))
        .WillByDefault(HandOut<1>(monikers_->self()));
  }

  static std::vector<std::string> names(const std::vector<Filter*>& list) {
    std::vector<std::string> result;
    for (const Filter* f : list) result.push_back(f->getName());
    return result;
  }

  ComScope com_;
  NiceMock<MockCreateDevEnum> devEnum_;
  std::unique_ptr<ListEnumMoniker> monikers_;
  ScopedValue<replaceable::ObjectFactory> hook_{replaceable::createObject, &fakeDeviceEnumerator};
};

TEST_F(FilterTest, ListsUsableDevicesInOrderAndSkipsTheOthers) {
  Device first(L"Cam\u00e9ra \u2603");
  Device unnamed;
  Device noStorage(L"No Storage");
  EXPECT_CALL(noStorage.moniker, BindToStorage).WillRepeatedly(Return(E_ACCESSDENIED));
  Device unbindable(L"Busy Camera");
  unbindable.bindStatus = HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
  Device numbered;
  NiceMock<MockPropertyBag> numberBag;
  EXPECT_CALL(numbered.moniker, BindToStorage).WillRepeatedly(HandOut<3>(numberBag.self()));
  EXPECT_CALL(numberBag, Read).WillRepeatedly([](LPCOLESTR, VARIANT* value, IErrorLog*) {
    value->vt = VT_I4;
    value->lVal = 7;
    return S_OK;
  });
  // Unsupported names match exactly and are never bound.
  Device dalsa(L"DALSA Imaging Video Source");
  Device longer(L"DALSA Imaging Video Source 2");
  present({&first, &unnamed, &noStorage, &unbindable, &numbered, &dalsa, &longer});
  {
    FilterEnums enums;
    const std::vector<Filter*>& devices = enums.getVideoDevices();
    EXPECT_EQ(names(devices), (std::vector<std::string>{"Cam\xc3\xa9ra \xe2\x98\x83",
                                                        "DALSA Imaging Video Source 2"}));
    ASSERT_FALSE(devices.empty());
    EXPECT_EQ(devices[0]->getInterface().p, first.filter.self());
    EXPECT_NE(dynamic_cast<const VideoCaptureFilter*>(devices[0]), nullptr);
    ASSERT_EQ(first.contexts.size(), 1u);
    EXPECT_NE(first.contexts[0], nullptr);
    EXPECT_EQ(unbindable.contexts.size(), 1u);
    EXPECT_EQ(unnamed.contexts.size() + numbered.contexts.size() + dalsa.contexts.size(), 0u);
    // Each entry keeps its moniker for a fresh bind when copied.
    EXPECT_EQ(first.moniker.refs(), 1);
    EXPECT_EQ(first.filter.refs(), 1);
    EXPECT_EQ(first.bag.refs(), 0);
    EXPECT_EQ(unbindable.moniker.refs(), 0);
    EXPECT_EQ(monikers_->refs(), 0);
    EXPECT_EQ(devEnum_.refs(), 0);
  }
}

// Reset releases the old entries; no category or no enumerator gives an empty list.
TEST_F(FilterTest, ResetBuildsNewEntriesAndReleasesTheOldOnes) {
  Device first(L"First");
  Device second(L"Second");
  present({&first, &second});
  FilterEnums enums;
  enums.reset();
  EXPECT_EQ(names(enums.getVideoDevices()), (std::vector<std::string>{"First", "Second"}));
  EXPECT_EQ(first.contexts.size(), 2u);
  EXPECT_EQ(first.filter.refs(), 1);
  EXPECT_EQ(monikers_->resets(), 2);
  present({&second});
  enums.reset();
  EXPECT_EQ(names(enums.getVideoDevices()), std::vector<std::string>{"Second"});
  EXPECT_EQ(first.moniker.refs(), 0);
  EXPECT_CALL(devEnum_, CreateClassEnumerator)
      .WillOnce(HandOut<1>(static_cast<IEnumMoniker*>(nullptr), S_FALSE));
  enums.reset();
  EXPECT_TRUE(enums.getVideoDevices().empty());
  EXPECT_EQ(second.filter.refs(), 0);
  enumeratorStatus = REGDB_E_CLASSNOTREG;
  enums.reset();
  EXPECT_TRUE(enums.getVideoDevices().empty());
}

TEST_F(FilterTest, CopyOrAssignmentOfADeviceBindsTheMonikerAgainWithTheSharedContext) {
  NiceMock<MockBaseFilter> first, second;
  Device device(nullptr, {&second});
  CComPtr<IBindCtx> context;
  ASSERT_EQ(CreateBindCtx(0, &context), S_OK);
  VideoCaptureFilter original("Camera", first.self(), device.moniker.self(), context);
  {
    VideoCaptureFilter copy(original);
    EXPECT_EQ(copy.getInterface().p, second.self());
    EXPECT_EQ(first.refs(), 1);
    EXPECT_EQ(second.refs(), 1);
    EXPECT_STREQ(copy.getName(), "Camera");
    EXPECT_EQ(device.contexts, std::vector<IBindCtx*>{context.p});
    EXPECT_EQ(device.moniker.refs(), 2);
    // A failed bind shares the source's object.
    VideoCaptureFilter shared(original);
    EXPECT_EQ(shared.getInterface().p, first.self());
    EXPECT_EQ(first.refs(), 2);
  }
  Filter unnamed(nullptr, nullptr, nullptr, nullptr);
  EXPECT_STREQ(unnamed.getName(), "");
  // Assignment releases the target's previous filter and binds again.
  NiceMock<MockBaseFilter> plain, previous, deviceObject, rebound;
  Device rebinding(nullptr, {&rebound});
  VideoCaptureFilter target("Old", previous.self(), nullptr, nullptr);
  VideoCaptureFilter source("New", deviceObject.self(), rebinding.moniker.self(), nullptr);
  target = source;
  EXPECT_EQ(previous.refs(), 0);
  EXPECT_EQ(target.getInterface().p, rebound.self());
  EXPECT_STREQ(target.getName(), "New");
  VideoCaptureFilter& alias = target;
  target = alias;  // binds nothing
  EXPECT_EQ(rebinding.contexts.size(), 1u);
  // Assigning a filter without moniker drops the moniker too.
  VideoCaptureFilter other("Plain", plain.self(), nullptr, nullptr);
  target = other;
  EXPECT_EQ(rebinding.moniker.refs(), 1);
  EXPECT_EQ(target.getInterface().p, plain.self());
  EXPECT_STREQ(target.getUniqueString(), "");
}

// The device path in UTF-8 is checked on real devices; here, its bag is released.
TEST_F(FilterTest, UniqueStringReleasesTheBagAndIsEmptyWithoutStorage) {
  NiceMock<MockBaseFilter> object;
  Device device;
  device.bag.set(L"DevicePath", L"\\\\?\\usb#caf\u00e9");
  Filter filter("Camera", object.self(), device.moniker.self(), nullptr);
  EXPECT_STREQ(filter.getUniqueString(), "\\\\?\\usb#caf\xc3\xa9");
  EXPECT_EQ(device.bag.refs(), 0);
  Device noStorage;
  EXPECT_CALL(noStorage.moniker, BindToStorage).WillOnce(Return(E_FAIL));
  Filter unbound("Camera", object.self(), noStorage.moniker.self(), nullptr);
  EXPECT_STREQ(unbound.getUniqueString(), "");
}

class FakeDVDec : public IIPDVDec {
 public:
  ~FakeDVDec() { EXPECT_EQ(refs, 0); }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    return *out = nullptr, E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE get_IPDisplay(int*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_IPDisplay(int) override { return E_NOTIMPL; }
  long refs = 0;
};

// Registered for CLSID_DVVideoCodec while it lives: hands out `filter`, or fails with `status`.
class FakeDVCodecClass : public ComFake<IClassFactory> {
 public:
  explicit FakeDVCodecClass(IBaseFilter* filter) : filter_(filter) {
    EXPECT_EQ(CoRegisterClassObject(CLSID_DVVideoCodec, self(), CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie_),
              S_OK);
  }
  ~FakeDVCodecClass() override { CoRevokeClassObject(cookie_); }
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
};

// A filter without IIPDVDec, or a failed creation, is refused with the status.
TEST_F(FilterTest, DVDecoderHoldsTheDecoderInterfaceOrRefusesWithTheStatus) {
  FakeDVDec decoder;
  NiceMock<MockBaseFilter> filter;
  filter.answer(IID_IIPDVDec, &decoder);
  FakeDVCodecClass codec(&filter);
  {
    DVDecoder dv;
    EXPECT_EQ(dv.getInterface(), static_cast<IBaseFilter*>(&filter));
    EXPECT_EQ(dv.getResolution(), DVDecoder::RESOLUTION_FULL);
    dv.setResolution(DVDecoder::RESOLUTION_QUARTER);
    EXPECT_EQ(dv.getResolution(), 1002);
    EXPECT_EQ(dv.getDecoder(), static_cast<IIPDVDec*>(&decoder));
    EXPECT_EQ(decoder.refs, 1);
  }
  EXPECT_EQ(decoder.refs, 0);
  filter.refuse(IID_IIPDVDec, E_NOINTERFACE);
  for (HRESULT status : {S_OK, E_OUTOFMEMORY}) {
    codec.status = status;
    try {
      DVDecoder dv;
      ADD_FAILURE() << "accepted";
    } catch (const FilterCreationException& e) {
      EXPECT_STREQ(e.getID(), "kivo:filtercreationfailed");
      EXPECT_STREQ(
          e.getMessage(),
          FilterCreationException(SUCCEEDED(status) ? E_NOINTERFACE : status).getMessage());
    }
    EXPECT_EQ(filter.refs(), 0);
  }
}

}  // namespace
}  // namespace kivo::test
