#include <kivo/filter_enums.h>
#include <kivo/video_capture_filter.h>

#include "filters/device_enumerator.h"
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

namespace kivo {

template <>
struct TestAccess<FilterEnums> {
  static void init(FilterEnums& e, std::vector<Filter*>& list, int category) {
    e.init(list, category);
  }
};

namespace {

using namespace ::testing;
using test::HandOut;

// A device as the system device enumerator hands it out: a moniker with a
// property bag, binding to a stub filter.
struct Device {
  explicit Device(const std::wstring& name, bool named = true) {
    if (named) bag.set(L"FriendlyName", name);
    ON_CALL(moniker, BindToStorage(IsNull(), IsNull(), Eq(IID_IPropertyBag), _))
        .WillByDefault(HandOut<3>(bag.self()));
    ON_CALL(moniker, BindToObject(NotNull(), IsNull(), Eq(IID_IBaseFilter), _))
        .WillByDefault([this](IBindCtx*, IMoniker*, REFIID, void** out) -> HRESULT {
          ++binds;
          *out = nullptr;
          if (FAILED(bindStatus)) return bindStatus;
          filter.AddRef();
          *out = filter.self();
          return S_OK;
        });
  }
  NiceMock<test::MockMoniker> moniker;
  test::TextPropertyBag bag;
  NiceMock<test::MockBaseFilter> filter;
  HRESULT bindStatus = S_OK;
  int binds = 0;
};

ICreateDevEnum* currentEnumerator = nullptr;
HRESULT enumeratorStatus = S_OK;

HRESULT fakeDeviceEnumerator(ICreateDevEnum** out) {
  *out = nullptr;
  if (FAILED(enumeratorStatus)) return enumeratorStatus;
  *out = currentEnumerator;
  if (*out) (*out)->AddRef();
  return S_OK;
}

class FilterEnumsTest : public Test {
 protected:
  FilterEnumsTest() {
    currentEnumerator = &devEnum_;
    enumeratorStatus = S_OK;
  }
  ~FilterEnumsTest() override { currentEnumerator = nullptr; }

  // The video input category lists these devices, in this order.
  void present(std::vector<Device*> devices) {
    std::vector<IMoniker*> monikers;
    for (Device* d : devices) monikers.push_back(d->moniker.self());
    monikers_ = std::make_unique<test::ListEnumMoniker>(monikers);
    ON_CALL(devEnum_, CreateClassEnumerator(Eq(CLSID_VideoInputDeviceCategory), _, 0))
        .WillByDefault(HandOut<1>(monikers_->self()));
  }

  static std::vector<std::string> names(const std::vector<Filter*>& list) {
    std::vector<std::string> result;
    for (const Filter* f : list) result.push_back(f->getName());
    return result;
  }

  test::ComScope com_;
  NiceMock<test::MockCreateDevEnum> devEnum_;
  std::unique_ptr<test::ListEnumMoniker> monikers_;
  test::ScopedValue<detail::DeviceEnumeratorFactory> hook_{detail::createDeviceEnumerator,
                                                            &fakeDeviceEnumerator};
};

TEST_F(FilterEnumsTest, ListsUsableDevicesInOrderAndSkipsTheOthers) {
  Device first(L"Cam\u00e9ra \u2603");
  Device unnamed(L"", false);
  Device noStorage(L"No Storage");
  EXPECT_CALL(noStorage.moniker, BindToStorage).WillRepeatedly(Return(E_ACCESSDENIED));
  Device unbindable(L"Busy Camera");
  unbindable.bindStatus = HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
  Device numbered(L"", false);
  NiceMock<test::MockPropertyBag> numberBag;
  EXPECT_CALL(numbered.moniker, BindToStorage).WillRepeatedly(HandOut<3>(numberBag.self()));
  EXPECT_CALL(numberBag, Read).WillRepeatedly([](LPCOLESTR, VARIANT* value, IErrorLog*) {
    value->vt = VT_I4;
    value->lVal = 7;
    return S_OK;
  });
  // Unsupported names match exactly and are never bound.
  Device dalsa(L"DALSA Imaging Video Source");
  Device coreco(L"Coreco Imaging Video Source");
  Device mightex(L"Mightex_SSClassicSource Filter");
  Device longer(L"DALSA Imaging Video Source 2");
  Device lower(L"dalsa imaging video source");
  present({&first, &unnamed, &noStorage, &unbindable, &numbered, &dalsa, &coreco, &mightex,
           &longer, &lower});
  {
    FilterEnums enums;
    const std::vector<Filter*>& devices = enums.getVideoDevices();
    EXPECT_EQ(names(devices), (std::vector<std::string>{"Cam\xc3\xa9ra \xe2\x98\x83",
                                                        "DALSA Imaging Video Source 2",
                                                        "dalsa imaging video source"}));
    ASSERT_FALSE(devices.empty());
    EXPECT_EQ(devices[0]->getInterface().p, first.filter.self());
    EXPECT_NE(dynamic_cast<const VideoCaptureFilter*>(devices[0]), nullptr);
    EXPECT_EQ(unbindable.binds, 1);
    EXPECT_EQ(unnamed.binds + numbered.binds + dalsa.binds + coreco.binds + mightex.binds, 0);
    // Each entry keeps its moniker, so it can be copied into a fresh bind.
    EXPECT_EQ(first.moniker.refs(), 1);
    EXPECT_EQ(first.filter.refs(), 1);
    EXPECT_EQ(first.bag.refs(), 0);
    EXPECT_EQ(unbindable.moniker.refs(), 0);
    EXPECT_EQ(monikers_->refs(), 0);
    EXPECT_EQ(devEnum_.refs(), 0);
  }
  EXPECT_EQ(first.moniker.refs(), 0);
  EXPECT_EQ(first.filter.refs(), 0);
}

TEST_F(FilterEnumsTest, EmptyCategoryOrMissingEnumeratorIsAnEmptyList) {
  EXPECT_CALL(devEnum_, CreateClassEnumerator).WillOnce(HandOut<1>(
      static_cast<IEnumMoniker*>(nullptr), S_FALSE));
  {
    FilterEnums enums;
    EXPECT_TRUE(enums.getVideoDevices().empty());
  }
  enumeratorStatus = REGDB_E_CLASSNOTREG;
  FilterEnums enums;
  enums.reset();
  EXPECT_TRUE(enums.getVideoDevices().empty());
}

TEST_F(FilterEnumsTest, ResetBuildsNewEntriesAndReleasesTheOldOnes) {
  Device first(L"First");
  Device second(L"Second");
  present({&first, &second});
  FilterEnums enums;
  enums.reset();
  EXPECT_EQ(names(enums.getVideoDevices()), (std::vector<std::string>{"First", "Second"}));
  EXPECT_EQ(first.binds, 2);
  EXPECT_EQ(first.filter.refs(), 1);
  EXPECT_EQ(first.moniker.refs(), 1);
  EXPECT_EQ(monikers_->resets(), 2);
  // A device that vanished meanwhile is gone from the new list.
  present({&second});
  enums.reset();
  EXPECT_EQ(names(enums.getVideoDevices()), std::vector<std::string>{"Second"});
  EXPECT_EQ(first.moniker.refs(), 0);
}

TEST_F(FilterEnumsTest, OtherCategoriesUseTheirGuidsAndFlagsAndGivePlainFilters) {
  Device codec(L"Codec");
  FilterEnums enums;
  const struct {
    int category;
    const GUID* guid;
    DWORD flags;
  } cases[] = {{0, &CLSID_AudioCompressorCategory, CDEF_DEVMON_CMGR_DEVICE},
               {7, &CLSID_VideoInputDeviceCategory, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.category);
    test::ListEnumMoniker monikers({codec.moniker.self()});
    EXPECT_CALL(devEnum_, CreateClassEnumerator(Eq(*c.guid), _, c.flags))
        .WillOnce(HandOut<1>(monikers.self()));
    std::vector<Filter*> list;
    TestAccess<FilterEnums>::init(enums, list, c.category);
    ASSERT_EQ(names(list), std::vector<std::string>{"Codec"});
    EXPECT_EQ(dynamic_cast<VideoCaptureFilter*>(list[0]), nullptr);
    delete list[0];
  }
}

}  // namespace
}  // namespace kivo
