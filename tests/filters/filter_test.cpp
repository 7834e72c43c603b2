#include <kivo/filter.h>
#include <kivo/filter_creation_exception.h>
#include <kivo/video_capture_filter.h>

#include "support/mocks/ibasefilter.h"
#include "support/mocks/imoniker.h"
#include "support/mocks/ipropertybag.h"
#include "support/wait.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kivo {
namespace {

using test::ComFake;
using test::HandOut;
using test::MockBaseFilter;
using test::MockMoniker;
using test::TextPropertyBag;
using ::testing::_;
using ::testing::Eq;
using ::testing::IsNull;
using ::testing::NiceMock;
using ::testing::Return;

// Reaches Filter's protected constructors the way the library's own
// subclasses do.
class TestFilter : public Filter {
 public:
  TestFilter(const char* name, const GUID& clsid) : Filter(name, clsid) {}
  TestFilter(const TestFilter& other) : Filter(other) {}
  using Filter::operator=;
};

// Something a filter can hand out for an interface it offers.
class OtherInterface : public ComFake<IPersist> {
 public:
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
};

// A device: a moniker whose storage holds a property bag and which binds to
// a new filter object each time (taken in turn from `objects`).
struct Device {
  explicit Device(std::vector<MockBaseFilter*> objects = {}) : objects(std::move(objects)) {
    ON_CALL(moniker, BindToStorage(IsNull(), IsNull(), Eq(IID_IPropertyBag), _))
        .WillByDefault(HandOut<3>(bag.self()));
    ON_CALL(moniker, BindToObject(_, IsNull(), Eq(IID_IBaseFilter), _))
        .WillByDefault([this](IBindCtx* context, IMoniker*, REFIID, void** out) -> HRESULT {
          contexts.push_back(context);
          *out = nullptr;
          if (next >= this->objects.size()) return E_FAIL;
          IBaseFilter* object = this->objects[next++]->self();
          object->AddRef();
          *out = object;
          return S_OK;
        });
  }

  NiceMock<MockMoniker> moniker;
  TextPropertyBag bag;
  std::vector<MockBaseFilter*> objects;
  std::vector<IBindCtx*> contexts;
  size_t next = 0;
};

class FilterTest : public ::testing::Test {
 protected:
  test::ComScope com_;
};

TEST_F(FilterTest, TakesAReferenceOfEachObjectAndKeepsTheName) {
  NiceMock<MockBaseFilter> object;
  Device device;
  CComPtr<IBindCtx> context;
  ASSERT_EQ(CreateBindCtx(0, &context), S_OK);
  {
    Filter filter("Camera", object.self(), device.moniker.self(), context);
    EXPECT_STREQ(filter.getName(), "Camera");
    EXPECT_EQ(filter.getInterface().p, object.self());
    EXPECT_EQ(object.refs(), 1);
    EXPECT_EQ(device.moniker.refs(), 1);
  }
  EXPECT_EQ(object.refs(), 0);
  EXPECT_EQ(device.moniker.refs(), 0);
}

TEST_F(FilterTest, NullNameIsEmpty) {
  NiceMock<MockBaseFilter> object;
  Filter filter(nullptr, object.self(), nullptr, nullptr);
  ASSERT_NE(filter.getName(), nullptr);
  EXPECT_STREQ(filter.getName(), "");
  Filter empty(nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(empty.getInterface(), nullptr);
  EXPECT_FALSE(empty.isVFW());
  EXPECT_STREQ(empty.getUniqueString(), "");
}

TEST_F(FilterTest, CopyWithoutMonikerSharesTheFilterObject) {
  NiceMock<MockBaseFilter> object;
  VideoCaptureFilter original("Sink", object.self(), nullptr, nullptr);
  VideoCaptureFilter copy(original);
  EXPECT_EQ(copy.getInterface().p, object.self());
  EXPECT_EQ(object.refs(), 2);
  EXPECT_STREQ(copy.getName(), "Sink");
}

TEST_F(FilterTest, CopyOfADeviceBindsTheMonikerAgain) {
  NiceMock<MockBaseFilter> first;
  NiceMock<MockBaseFilter> second;
  Device device({&second});
  CComPtr<IBindCtx> context;
  ASSERT_EQ(CreateBindCtx(0, &context), S_OK);
  VideoCaptureFilter original("Camera", first.self(), device.moniker.self(), context);
  {
    VideoCaptureFilter copy(original);
    EXPECT_EQ(copy.getInterface().p, second.self());
    EXPECT_EQ(first.refs(), 1);  // the original's only
    EXPECT_EQ(second.refs(), 1);
    EXPECT_STREQ(copy.getName(), "Camera");
    ASSERT_EQ(device.contexts.size(), 1u);
    EXPECT_EQ(device.contexts[0], context.p);  // bound with the shared bind context
    EXPECT_EQ(device.moniker.refs(), 2);
  }
  EXPECT_EQ(second.refs(), 0);
  EXPECT_EQ(device.moniker.refs(), 1);
}

TEST_F(FilterTest, FailedBindSharesTheSourcesFilterObject) {
  NiceMock<MockBaseFilter> first;
  Device device;  // binds nothing
  VideoCaptureFilter original("Camera", first.self(), device.moniker.self(), nullptr);
  VideoCaptureFilter copy(original);
  EXPECT_EQ(copy.getInterface().p, first.self());
  EXPECT_EQ(first.refs(), 2);
  EXPECT_EQ(device.contexts.size(), 1u);
}

TEST_F(FilterTest, AssignmentReleasesTheTargetsPreviousFilter) {
  NiceMock<MockBaseFilter> plain;
  NiceMock<MockBaseFilter> previous;
  NiceMock<MockBaseFilter> deviceObject;
  NiceMock<MockBaseFilter> rebound;
  Device device({&rebound});
  VideoCaptureFilter target("Old", previous.self(), nullptr, nullptr);
  VideoCaptureFilter source("New", deviceObject.self(), device.moniker.self(), nullptr);
  EXPECT_EQ(previous.refs(), 1);
  target = source;
  EXPECT_EQ(previous.refs(), 0);
  EXPECT_EQ(target.getInterface().p, rebound.self());
  EXPECT_STREQ(target.getName(), "New");
  EXPECT_EQ(deviceObject.refs(), 1);

  // Assigning a filter without moniker drops the moniker too.
  VideoCaptureFilter other("Plain", plain.self(), nullptr, nullptr);
  target = other;
  EXPECT_EQ(rebound.refs(), 0);
  EXPECT_EQ(device.moniker.refs(), 1);
  EXPECT_EQ(target.getInterface().p, plain.self());
  EXPECT_STREQ(target.getUniqueString(), "");
}

TEST_F(FilterTest, SelfAssignmentBindsNothing) {
  NiceMock<MockBaseFilter> object;
  NiceMock<MockBaseFilter> unused;
  Device device({&unused});
  VideoCaptureFilter filter("Camera", object.self(), device.moniker.self(), nullptr);
  VideoCaptureFilter& alias = filter;
  filter = alias;
  EXPECT_TRUE(device.contexts.empty());
  EXPECT_EQ(filter.getInterface().p, object.self());
  EXPECT_STREQ(filter.getName(), "Camera");
}

TEST_F(FilterTest, ProtectedCopyOfAPlainFilterBehavesAlike) {
  NiceMock<MockBaseFilter> first;
  NiceMock<MockBaseFilter> second;
  Device device({&second});
  Filter original("Device", first.self(), device.moniker.self(), nullptr);
  TestFilter target(nullptr, CLSID_NullRenderer);  // a real object, replaced below
  target = original;
  EXPECT_EQ(target.getInterface().p, second.self());
  EXPECT_STREQ(target.getName(), "Device");
}

TEST_F(FilterTest, UniqueStringIsTheDevicePathInUtf8) {
  NiceMock<MockBaseFilter> object;
  Device device;
  device.bag.set(L"DevicePath", L"\\\\?\\usb#vid_046d&pid_0825#caf\u00e9\u2603");
  Filter filter("Camera", object.self(), device.moniker.self(), nullptr);
  EXPECT_STREQ(filter.getUniqueString(), "\\\\?\\usb#vid_046d&pid_0825#caf\xc3\xa9\xe2\x98\x83");
  EXPECT_EQ(device.bag.refs(), 0);  // the bag is released after reading
}

TEST_F(FilterTest, UniqueStringIsEmptyWithoutMonikerStorageOrPath) {
  NiceMock<MockBaseFilter> object;
  Filter noMoniker("Sink", object.self(), nullptr, nullptr);
  EXPECT_STREQ(noMoniker.getUniqueString(), "");

  Device withoutPath;
  withoutPath.bag.set(L"FriendlyName", L"Camera");
  Filter noPath("Camera", object.self(), withoutPath.moniker.self(), nullptr);
  EXPECT_STREQ(noPath.getUniqueString(), "");
  EXPECT_EQ(withoutPath.bag.reads(), 1);

  Device noStorage;
  EXPECT_CALL(noStorage.moniker, BindToStorage).WillOnce(Return(E_FAIL));
  Filter unbound("Camera", object.self(), noStorage.moniker.self(), nullptr);
  EXPECT_STREQ(unbound.getUniqueString(), "");
}

TEST_F(FilterTest, UniqueStringOfAFilterFromAClassIdentifierIsEmpty) {
  TestFilter renderer("Renderer", CLSID_NullRenderer);
  EXPECT_STREQ(renderer.getUniqueString(), "");
  EXPECT_STREQ(renderer.getName(), "Renderer");
  EXPECT_NE(renderer.getInterface(), nullptr);
}

TEST_F(FilterTest, UnregisteredClassThrowsFilterCreationException) {
  // A class identifier nobody registers.
  const GUID unknown = {
      0x6b1d0b7e, 0x3c8f, 0x4d2a, {0x9e, 0x11, 0x52, 0x7a, 0x0c, 0x44, 0x8d, 0x01}};
  try {
    TestFilter filter("Nothing", unknown);
    FAIL() << "no exception";
  } catch (const FilterCreationException& e) {
    EXPECT_STREQ(e.getID(), "kivo:filtercreationfailed");
  }
}

TEST_F(FilterTest, IsVFWAsksForTheVfwDialogsAndReleasesThemAtOnce) {
  NiceMock<MockBaseFilter> vfwObject;
  OtherInterface dialogs;
  vfwObject.answer(IID_IAMVfwCaptureDialogs, &dialogs);
  VideoCaptureFilter vfw("VFW", vfwObject.self(), nullptr, nullptr);
  EXPECT_TRUE(vfw.isVFW());
  EXPECT_EQ(dialogs.refs(), 0);
  EXPECT_EQ(dialogs.addRefs(), 1);

  NiceMock<MockBaseFilter> wdmObject;
  VideoCaptureFilter wdm("WDM", wdmObject.self(), nullptr, nullptr);
  EXPECT_FALSE(wdm.isVFW());

  VideoCaptureFilter none("None", nullptr, nullptr, nullptr);
  EXPECT_FALSE(none.isVFW());

  // A plain Filter is never VFW, whatever its object offers.
  Filter plain("Plain", vfwObject.self(), nullptr, nullptr);
  EXPECT_FALSE(plain.isVFW());
  EXPECT_EQ(dialogs.addRefs(), 1);
}

}  // namespace
}  // namespace kivo
