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
  static bool isUnsupportedDevice(const char* name) {
    return FilterEnums::isUnsupportedDevice(name);
  }
  static const char* const* unsupportedDevices() { return FilterEnums::UNSUPPORTED_DEVICE_ARRAY; }
  static void init(FilterEnums& e, std::vector<Filter*>& list, int category) {
    e.init(list, category);
  }
  static void clear(FilterEnums& e) { e.clear(); }
  static std::vector<Filter*>& audioDevices(FilterEnums& e) { return e.audioDevices; }
  static std::vector<Filter*>& videoCodecs(FilterEnums& e) { return e.videoCodecs; }
  static std::vector<Filter*>& audioCodecs(FilterEnums& e) { return e.audioCodecs; }
  static constexpr int audioCodecClass = FilterEnums::AUDIO_CODEC_CLASS;
  static constexpr int videoCodecClass = FilterEnums::VIDEO_CODEC_CLASS;
  static constexpr int audioInputClass = FilterEnums::AUDIO_INPUT_CLASS;
  static constexpr int videoInputClass = FilterEnums::VIDEO_INPUT_CLASS;
};

namespace {

using Access = TestAccess<FilterEnums>;
using test::HandOut;
using test::ListEnumMoniker;
using test::MockBaseFilter;
using test::MockCreateDevEnum;
using test::MockMoniker;
using test::ScopedValue;
using test::TextPropertyBag;
using ::testing::_;
using ::testing::Eq;
using ::testing::IsNull;
using ::testing::NiceMock;
using ::testing::NotNull;
using ::testing::Return;

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

  NiceMock<MockMoniker> moniker;
  TextPropertyBag bag;
  NiceMock<MockBaseFilter> filter;
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

class FilterEnumsTest : public ::testing::Test {
 protected:
  FilterEnumsTest() : hook_(detail::createDeviceEnumerator, &fakeDeviceEnumerator) {
    currentEnumerator = &devEnum_;
    enumeratorStatus = S_OK;
  }
  ~FilterEnumsTest() override { currentEnumerator = nullptr; }

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

  test::ComScope com_;
  NiceMock<MockCreateDevEnum> devEnum_;
  std::unique_ptr<ListEnumMoniker> monikers_;

 private:
  ScopedValue<detail::DeviceEnumeratorFactory> hook_;
};

TEST_F(FilterEnumsTest, ListsEveryUsableDeviceInEnumeratorOrder) {
  Device first(L"USB Camera");
  Device second(L"Cam\u00e9ra \u2603");
  present({&first, &second});
  EXPECT_CALL(devEnum_, CreateClassEnumerator(Eq(CLSID_VideoInputDeviceCategory), _, 0)).Times(1);
  {
    FilterEnums enums;
    const std::vector<Filter*>& devices = enums.getVideoDevices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(names(devices),
              (std::vector<std::string>{"USB Camera", "Cam\xc3\xa9ra \xe2\x98\x83"}));
    EXPECT_EQ(devices[0]->getInterface().p, first.filter.self());
    EXPECT_EQ(devices[1]->getInterface().p, second.filter.self());
    for (const Filter* f : devices) EXPECT_NE(dynamic_cast<const VideoCaptureFilter*>(f), nullptr);
    EXPECT_EQ(monikers_->resets(), 1);
    // Each entry keeps its moniker, so it can be copied into a fresh bind.
    EXPECT_EQ(first.moniker.refs(), 1);
    EXPECT_EQ(first.filter.refs(), 1);
    EXPECT_EQ(first.bag.refs(), 0);
    EXPECT_EQ(monikers_->refs(), 0);
    EXPECT_EQ(devEnum_.refs(), 0);
    EXPECT_TRUE(Access::audioDevices(enums).empty());
    EXPECT_TRUE(Access::videoCodecs(enums).empty());
    EXPECT_TRUE(Access::audioCodecs(enums).empty());
  }
  EXPECT_EQ(first.moniker.refs(), 0);
  EXPECT_EQ(second.filter.refs(), 0);
}

TEST_F(FilterEnumsTest, EntriesAnswerIsVFWFromTheirDevice) {
  Device vfw(L"Microsoft WDM Image Capture");
  Device wdm(L"USB Camera");
  NiceMock<MockBaseFilter> dialogs;
  vfw.filter.answer(IID_IAMVfwCaptureDialogs, dialogs.self());
  present({&vfw, &wdm});
  FilterEnums enums;
  ASSERT_EQ(enums.getVideoDevices().size(), 2u);
  EXPECT_TRUE(enums.getVideoDevices()[0]->isVFW());
  EXPECT_FALSE(enums.getVideoDevices()[1]->isVFW());
}

TEST_F(FilterEnumsTest, UnsupportedNamesAreMatchedExactly) {
  Device coreco(L"Coreco Imaging Video Source");
  Device dalsa(L"DALSA Imaging Video Source");
  Device mightex(L"Mightex_SSClassicSource Filter");
  Device longer(L"DALSA Imaging Video Source 2");
  Device shorter(L"DALSA Imaging Video Sourc");
  Device lower(L"dalsa imaging video source");
  present({&coreco, &dalsa, &longer, &mightex, &shorter, &lower});
  FilterEnums enums;
  EXPECT_EQ(names(enums.getVideoDevices()),
            (std::vector<std::string>{"DALSA Imaging Video Source 2", "DALSA Imaging Video Sourc",
                                      "dalsa imaging video source"}));
  // An unsupported device is never even bound.
  EXPECT_EQ(dalsa.binds, 0);
  EXPECT_EQ(coreco.binds, 0);
  EXPECT_EQ(mightex.binds, 0);
}

TEST_F(FilterEnumsTest, UnsupportedListIsTheThreeNamesAndAClosingNull) {
  const char* const* list = Access::unsupportedDevices();
  EXPECT_STREQ(list[0], "Coreco Imaging Video Source");
  EXPECT_STREQ(list[1], "DALSA Imaging Video Source");
  EXPECT_STREQ(list[2], "Mightex_SSClassicSource Filter");
  EXPECT_EQ(list[3], nullptr);
  EXPECT_TRUE(Access::isUnsupportedDevice("Mightex_SSClassicSource Filter"));
  EXPECT_FALSE(Access::isUnsupportedDevice("Mightex_SSClassicSource Filter "));
  EXPECT_FALSE(Access::isUnsupportedDevice(""));
  EXPECT_FALSE(Access::isUnsupportedDevice(nullptr));
}

TEST_F(FilterEnumsTest, DevicesWithoutNameStorageOrFilterAreSkippedAndLaterOnesListed) {
  Device unnamed(L"", false);
  Device noStorage(L"No Storage");
  EXPECT_CALL(noStorage.moniker, BindToStorage).WillRepeatedly(Return(E_ACCESSDENIED));
  Device unbindable(L"Busy Camera");
  unbindable.bindStatus = HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
  Device good(L"Good Camera");
  present({&unnamed, &noStorage, &unbindable, &good});
  FilterEnums enums;
  EXPECT_EQ(names(enums.getVideoDevices()), std::vector<std::string>{"Good Camera"});
  EXPECT_EQ(unnamed.binds, 0);
  EXPECT_EQ(unbindable.binds, 1);
  EXPECT_EQ(unnamed.bag.refs(), 0);
  EXPECT_EQ(unbindable.moniker.refs(), 0);
}

TEST_F(FilterEnumsTest, FriendlyNameThatIsNoTextSkipsTheDevice) {
  Device numbered(L"", false);
  ::testing::NiceMock<test::MockPropertyBag> bag;
  EXPECT_CALL(numbered.moniker, BindToStorage).WillRepeatedly(HandOut<3>(bag.self()));
  EXPECT_CALL(bag, Read).WillRepeatedly([](LPCOLESTR, VARIANT* value, IErrorLog*) {
    value->vt = VT_I4;
    value->lVal = 7;
    return S_OK;
  });
  Device good(L"Good Camera");
  present({&numbered, &good});
  FilterEnums enums;
  EXPECT_EQ(names(enums.getVideoDevices()), std::vector<std::string>{"Good Camera"});
  EXPECT_EQ(numbered.binds, 0);
}

TEST_F(FilterEnumsTest, EmptyCategoryOrMissingEnumeratorIsAnEmptyList) {
  EXPECT_CALL(devEnum_, CreateClassEnumerator).WillOnce([](REFCLSID, IEnumMoniker** out, DWORD) {
    *out = nullptr;
    return S_FALSE;
  });
  {
    FilterEnums enums;
    EXPECT_TRUE(enums.getVideoDevices().empty());
  }
  enumeratorStatus = REGDB_E_CLASSNOTREG;
  FilterEnums enums;
  EXPECT_TRUE(enums.getVideoDevices().empty());
  enums.reset();
  EXPECT_TRUE(enums.getVideoDevices().empty());
}

TEST_F(FilterEnumsTest, ResetBuildsNewEntriesAndReleasesTheOldOnes) {
  Device first(L"First");
  Device second(L"Second");
  present({&first, &second});
  FilterEnums enums;
  ASSERT_EQ(enums.getVideoDevices().size(), 2u);
  EXPECT_EQ(first.binds, 1);

  enums.reset();
  ASSERT_EQ(enums.getVideoDevices().size(), 2u);
  EXPECT_EQ(names(enums.getVideoDevices()), (std::vector<std::string>{"First", "Second"}));
  // Every device was bound again; the earlier entries were destroyed.
  EXPECT_EQ(first.binds, 2);
  EXPECT_EQ(second.binds, 2);
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
  FilterEnums enums;  // no video devices present
  struct Case {
    int category;
    const GUID* guid;
    DWORD flags;
  };
  const Case cases[] = {
      {Access::audioCodecClass, &CLSID_AudioCompressorCategory, CDEF_DEVMON_CMGR_DEVICE},
      {Access::videoCodecClass, &CLSID_VideoCompressorCategory, CDEF_DEVMON_CMGR_DEVICE},
      {Access::audioInputClass, &CLSID_AudioInputDeviceCategory, 0},
      {7, &CLSID_VideoInputDeviceCategory, 0},
  };
  for (const Case& c : cases) {
    ListEnumMoniker monikers({codec.moniker.self()});
    EXPECT_CALL(devEnum_, CreateClassEnumerator(Eq(*c.guid), _, c.flags))
        .WillOnce(HandOut<1>(monikers.self()));
    std::vector<Filter*> list;
    Access::init(enums, list, c.category);
    ASSERT_EQ(list.size(), 1u) << c.category;
    EXPECT_STREQ(list[0]->getName(), "Codec");
    EXPECT_EQ(dynamic_cast<VideoCaptureFilter*>(list[0]), nullptr) << c.category;
    delete list[0];
  }
  EXPECT_EQ(Access::videoInputClass, 3);
}

TEST_F(FilterEnumsTest, ClearDestroysEveryListAndCanBeRepeated) {
  Device camera(L"Camera");
  Device codec(L"Codec");
  present({&camera});
  FilterEnums enums;
  // Fill the private lists the way a category enumeration would.
  Access::audioCodecs(enums).push_back(new Filter("a", codec.filter.self(), nullptr, nullptr));
  Access::videoCodecs(enums).push_back(nullptr);  // null entries are skipped
  Access::audioDevices(enums).push_back(new Filter("b", codec.filter.self(), nullptr, nullptr));
  EXPECT_EQ(codec.filter.refs(), 2);
  Access::clear(enums);
  EXPECT_TRUE(enums.getVideoDevices().empty());
  EXPECT_TRUE(Access::audioCodecs(enums).empty());
  EXPECT_TRUE(Access::videoCodecs(enums).empty());
  EXPECT_TRUE(Access::audioDevices(enums).empty());
  EXPECT_EQ(codec.filter.refs(), 0);
  EXPECT_EQ(camera.filter.refs(), 0);
  Access::clear(enums);
}

}  // namespace
}  // namespace kivo
