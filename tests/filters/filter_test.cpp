#include <kivo/filter.h>
#include <kivo/video_capture_filter.h>

#include "support/mocks/ibasefilter.h"
#include "support/mocks/imoniker.h"
#include "support/mocks/ipropertybag.h"
#include "support/wait.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace kivo {
namespace {

using namespace ::testing;
using test::HandOut;
using test::MockBaseFilter;

class Dialogs : public test::ComFake<IPersist> {
 public:
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
};

// A device: a moniker with a property bag that binds to the next of
// `objects` each time.
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
  NiceMock<test::MockMoniker> moniker;
  test::TextPropertyBag bag;
  std::vector<MockBaseFilter*> objects;
  std::vector<IBindCtx*> contexts;
  size_t next = 0;
};

class FilterTest : public Test {
 protected:
  test::ComScope com_;
};

TEST_F(FilterTest, CopyOfADeviceBindsTheMonikerAgainWithTheSharedContext) {
  NiceMock<MockBaseFilter> first, second;
  Device device({&second});
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
  EXPECT_EQ(second.refs(), 0);
  EXPECT_EQ(device.moniker.refs(), 1);
  Filter unnamed(nullptr, nullptr, nullptr, nullptr);
  EXPECT_STREQ(unnamed.getName(), "");
}

TEST_F(FilterTest, AssignmentReleasesTheTargetsPreviousFilter) {
  NiceMock<MockBaseFilter> plain, previous, deviceObject, rebound;
  Device device({&rebound});
  VideoCaptureFilter target("Old", previous.self(), nullptr, nullptr);
  VideoCaptureFilter source("New", deviceObject.self(), device.moniker.self(), nullptr);
  target = source;
  EXPECT_EQ(previous.refs(), 0);
  EXPECT_EQ(target.getInterface().p, rebound.self());
  EXPECT_STREQ(target.getName(), "New");
  EXPECT_EQ(deviceObject.refs(), 1);
  VideoCaptureFilter& alias = target;
  target = alias;  // binds nothing
  EXPECT_EQ(device.contexts.size(), 1u);
  // Assigning a filter without moniker drops the moniker too.
  VideoCaptureFilter other("Plain", plain.self(), nullptr, nullptr);
  target = other;
  EXPECT_EQ(rebound.refs(), 0);
  EXPECT_EQ(device.moniker.refs(), 1);
  EXPECT_EQ(target.getInterface().p, plain.self());
  EXPECT_STREQ(target.getUniqueString(), "");
}

TEST_F(FilterTest, UniqueStringIsTheDevicePathInUtf8OrEmpty) {
  NiceMock<MockBaseFilter> object;
  Device device;
  device.bag.set(L"DevicePath", L"\\\\?\\usb#vid_046d&pid_0825#caf\u00e9\u2603");
  Filter filter("Camera", object.self(), device.moniker.self(), nullptr);
  EXPECT_STREQ(filter.getUniqueString(), "\\\\?\\usb#vid_046d&pid_0825#caf\xc3\xa9\xe2\x98\x83");
  EXPECT_EQ(device.bag.refs(), 0);

  Device withoutPath;
  Filter noPath("Camera", object.self(), withoutPath.moniker.self(), nullptr);
  EXPECT_STREQ(noPath.getUniqueString(), "");
  Device noStorage;
  EXPECT_CALL(noStorage.moniker, BindToStorage).WillOnce(Return(E_FAIL));
  Filter unbound("Camera", object.self(), noStorage.moniker.self(), nullptr);
  EXPECT_STREQ(unbound.getUniqueString(), "");
}

TEST_F(FilterTest, IsVFWAsksForTheVfwDialogsAndReleasesThemAtOnce) {
  NiceMock<MockBaseFilter> vfwObject, wdmObject;
  Dialogs dialogs;
  vfwObject.answer(IID_IAMVfwCaptureDialogs, &dialogs);
  EXPECT_TRUE(VideoCaptureFilter("VFW", vfwObject.self(), nullptr, nullptr).isVFW());
  EXPECT_EQ(dialogs.addRefs(), 1);
  EXPECT_FALSE(VideoCaptureFilter("WDM", wdmObject.self(), nullptr, nullptr).isVFW());
  EXPECT_FALSE(VideoCaptureFilter("None", nullptr, nullptr, nullptr).isVFW());
  // A plain Filter is never VFW, whatever its object offers.
  EXPECT_FALSE(Filter("Plain", vfwObject.self(), nullptr, nullptr).isVFW());
  EXPECT_EQ(dialogs.addRefs(), 1);
}

}  // namespace
}  // namespace kivo
