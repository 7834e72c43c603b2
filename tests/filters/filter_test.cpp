// The device list and its filters where the system answers as Wine does not: entries without a
// name, storage or object, a failing enumerator, copies that bind again, a DV decoder that exists.

#include <kivo/dv_decoder.h>
#include <kivo/filter_creation_exception.h>
#include <kivo/filter_enums.h>
#include <kivo/video_capture_filter.h>

#include "foundation/replaceable.h"
#include "support/mocks/ibasefilter.h"
#include "support/mocks/system_objects.h"
#include "support/scoped_value.h"
#include "support/wait.h"

#include <deque>
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
        .WillByDefault([this](IBindCtx* context, IMoniker*, REFIID, void** out) {
          contexts.push_back(context);
          MockBaseFilter* object = &filter;
          if (!this->objects.empty())
            object = next < this->objects.size() ? this->objects[next++] : nullptr;
          return HandOut<0>(object ? object->self() : nullptr,
                            object ? S_OK : E_FAIL)(reinterpret_cast<IBaseFilter**>(out));
        });
  }
  NiceMock<MockMoniker> moniker;
  FakePropertyBag bag;
  NiceMock<MockBaseFilter> filter;
  std::vector<MockBaseFilter*> objects;
  std::vector<IBindCtx*> contexts;
  size_t next = 0;
};

// The system's device enumerator and DV decoder: each answers its object, or fails with status.
ICreateDevEnum* currentEnumerator = nullptr;
HRESULT enumeratorStatus = S_OK;
IBaseFilter* dvCodec = nullptr;
HRESULT dvCodecStatus = S_OK;

HRESULT fakeSystemObject(REFCLSID clsid, REFIID iid, void** out) {
  *out = nullptr;
  if (clsid == CLSID_DVVideoCodec)
    return FAILED(dvCodecStatus) ? dvCodecStatus : dvCodec->QueryInterface(iid, out);
  if (clsid != CLSID_SystemDeviceEnum)
    return CoCreateInstance(clsid, nullptr, CLSCTX_ALL, iid, out);
  if (FAILED(enumeratorStatus)) return enumeratorStatus;
  return currentEnumerator->QueryInterface(iid, out);
}

class FilterTest : public Test {
 protected:
  FilterTest() { currentEnumerator = &devEnum_, enumeratorStatus = dvCodecStatus = S_OK; }

  // The video input category lists these devices, in this order, in a new enumerator each time.
  void present(std::vector<Device*> devices) {
    std::vector<IMoniker*> monikers;
    for (Device* d : devices) monikers.push_back(d->moniker.self());
    ON_CALL(devEnum_, CreateClassEnumerator(Eq(CLSID_VideoInputDeviceCategory), _, 0))
        .WillByDefault([this, monikers](REFCLSID, IEnumMoniker** out, DWORD) {
          return HandOut<0>(monikers_.emplace_back(monikers).self())(out);
        });
  }
  static std::vector<std::string> names(const std::vector<Filter*>& list) {
    std::vector<std::string> result;
    for (const Filter* f : list) result.push_back(f->getName());
    return result;
  }

  ComScope com_;
  std::deque<ListEnumMoniker> monikers_;
  NiceMock<MockCreateDevEnum> devEnum_;
  ScopedValue<replaceable::ObjectFactory> hook_{replaceable::createObject, &fakeSystemObject};
};

TEST_F(FilterTest, ListsUsableDevicesInOrderAndReleasesTheOldEntriesAtReset) {
  Device first(L"First"), unnamed, noStorage(L"No Storage"), numbered;
  EXPECT_CALL(noStorage.moniker, BindToStorage).WillRepeatedly(Return(E_ACCESSDENIED));
  numbered.bag.set(L"FriendlyName", 7);  // a name that is no text
  // The unsupported name matches exactly and is never bound.
  Device dalsa(L"DALSA Imaging Video Source"), longer(L"DALSA Imaging Video Source 2");
  present({&first, &unnamed, &noStorage, &numbered, &dalsa, &longer});
  FilterEnums enums;
  const std::vector<Filter*>& devices = enums.getVideoDevices();
  EXPECT_EQ(names(devices), (std::vector<std::string>{"First", "DALSA Imaging Video Source 2"}));
  ASSERT_FALSE(devices.empty());
  EXPECT_EQ(devices[0]->getInterface().p, first.filter.self());
  EXPECT_NE(dynamic_cast<const VideoCaptureFilter*>(devices[0]), nullptr);
  EXPECT_TRUE(first.contexts.size() == 1 && first.contexts[0]);  // bound once, with a context
  EXPECT_EQ(unnamed.contexts.size() + numbered.contexts.size() + dalsa.contexts.size(), 0u);
  // Each entry keeps its moniker for a fresh bind when copied.
  EXPECT_EQ(first.moniker.refs(), 1);
  EXPECT_EQ(first.filter.refs(), 1);
  EXPECT_EQ(first.bag.refs(), 0);
  EXPECT_EQ(monikers_.back().refs(), 0);
  EXPECT_EQ(devEnum_.refs(), 0);

  present({&longer});
  enums.reset();
  EXPECT_EQ(names(enums.getVideoDevices()),
            std::vector<std::string>{"DALSA Imaging Video Source 2"});
  EXPECT_EQ(first.moniker.refs() + first.filter.refs(), 0);
  enumeratorStatus = REGDB_E_CLASSNOTREG;  // no enumerator: an empty list
  enums.reset();
  EXPECT_TRUE(enums.getVideoDevices().empty());
  EXPECT_EQ(longer.filter.refs(), 0);
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
    EXPECT_EQ(first.refs() + second.refs(), 2);
    EXPECT_STREQ(copy.getName(), "Camera");
    EXPECT_EQ(device.contexts, std::vector<IBindCtx*>{context.p});
    EXPECT_EQ(device.moniker.refs(), 2);
    VideoCaptureFilter shared(original);  // a failed bind shares the source's object
    EXPECT_EQ(shared.getInterface().p, first.self());
    EXPECT_EQ(first.refs(), 2);
  }
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

// The device path reaches the host in UTF-8 and its bag is released; no storage, no path.
TEST_F(FilterTest, UniqueStringIsTheDevicePathInUtf8AndEmptyWithoutStorage) {
  NiceMock<MockBaseFilter> object;
  Device device, noStorage;
  device.bag.set(L"DevicePath", L"\\\\?\\usb#caf\u00e9");
  EXPECT_STREQ(Filter("Camera", object.self(), device.moniker.self(), nullptr).getUniqueString(),
               "\\\\?\\usb#caf\xc3\xa9");
  EXPECT_EQ(device.bag.refs(), 0);
  EXPECT_CALL(noStorage.moniker, BindToStorage).WillOnce(Return(E_FAIL));
  EXPECT_STREQ(Filter("Camera", object.self(), noStorage.moniker.self(), nullptr).getUniqueString(),
               "");
  EXPECT_STREQ(Filter(nullptr, nullptr, nullptr, nullptr).getName(), "");
}

class FakeDVDec : public ComFake<IIPDVDec> {
 public:
  HRESULT STDMETHODCALLTYPE get_IPDisplay(int*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_IPDisplay(int) override { return E_NOTIMPL; }
};

// Wine has no DV decoder: here one exists; without IIPDVDec, or not created, it is refused.
TEST_F(FilterTest, DVDecoderHoldsTheDecoderInterfaceOrRefusesWithTheStatus) {
  FakeDVDec decoder;
  NiceMock<MockBaseFilter> filter;
  filter.answer(IID_IIPDVDec, &decoder);
  dvCodec = filter.self();
  {
    DVDecoder dv;
    EXPECT_EQ(dv.getInterface(), static_cast<IBaseFilter*>(&filter));
    EXPECT_EQ(dv.getDecoder(), static_cast<IIPDVDec*>(&decoder));
    EXPECT_EQ(decoder.refs(), 1);
  }
  EXPECT_EQ(decoder.refs(), 0);
  filter.refuse(IID_IIPDVDec, E_NOINTERFACE);
  for (HRESULT status : {S_OK, E_OUTOFMEMORY}) {
    dvCodecStatus = status;
    try {
      DVDecoder dv;
      ADD_FAILURE() << "accepted";
    } catch (const FilterCreationException& e) {
      EXPECT_STREQ(e.getMessage(),
                   FilterCreationException(FAILED(status) ? status : E_NOINTERFACE).getMessage());
    }
    EXPECT_EQ(filter.refs(), 0);
  }
}

}  // namespace
}  // namespace kivo::test
