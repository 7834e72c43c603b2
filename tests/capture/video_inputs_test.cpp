#include <kivo/filter.h>
#include <kivo/video_inputs.h>

#include "capture/input_router.h"
#include "support/com_fake.h"
#include "support/mocks/iamcrossbar.h"
#include "support/mocks/ibasefilter.h"
#include "support/mocks/ienumpins.h"
#include "support/mocks/ikspropertyset.h"
#include "support/mocks/ipin.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kivo {

template <>
struct TestAccess<CInputRouter> {
  static const CRouting* records(const CInputRouter& router, size_t path) {
    return (*router.paths)[path].get();
  }
};

namespace {

using test::HandOut;
using test::MockAMCrossbar;
using test::MockBaseFilter;
using test::MockEnumPins;
using test::MockKsPropertySet;
using test::MockPin;
using test::ReportPinInfo;
using ::testing::_;
using ::testing::InSequence;
using ::testing::NiceMock;
using ::testing::Return;
using Inputs = std::map<std::string, long>;
using RouterAccess = TestAccess<CInputRouter>;

using Pin = NiceMock<MockPin>;

// A filter whose EnumPins hands out a fresh enumerator over its pins on
// every call, as a real filter does.
struct FakeFilter {
  NiceMock<MockBaseFilter> filter;
  std::vector<std::unique_ptr<Pin>> pins;
  std::deque<std::unique_ptr<NiceMock<MockEnumPins>>> enumerators;

  FakeFilter() {
    ON_CALL(filter, EnumPins).WillByDefault([this](IEnumPins** out) {
      enumerators.push_back(std::make_unique<NiceMock<MockEnumPins>>());
      std::vector<IPin*> list;
      for (auto& pin : pins) list.push_back(pin->self());
      enumerators.back()->walk(list);
      return HandOut<0>(enumerators.back()->self())(out);
    });
  }

  Pin& addPin(PIN_DIRECTION direction) {
    pins.push_back(std::make_unique<Pin>());
    ON_CALL(*pins.back(), QueryPinInfo).WillByDefault(ReportPinInfo(filter.self(), direction));
    return *pins.back();
  }
};

// Makes two pins report each other as their connection.
void connect(Pin& output, Pin& input) {
  ON_CALL(output, ConnectedTo).WillByDefault(HandOut<0>(input.self()));
  ON_CALL(input, ConnectedTo).WillByDefault(HandOut<0>(output.self()));
}

struct PinSpec {
  long type;
  long related = -1;
};
using Specs = std::vector<PinSpec>;

// A crossbar filter: its input pins first, then its output pins.
struct FakeCrossbar : FakeFilter {
  NiceMock<MockAMCrossbar> crossbar;
  std::vector<PinSpec> inputSpecs;
  std::vector<PinSpec> outputSpecs;

  FakeCrossbar(std::vector<PinSpec> inputs, std::vector<PinSpec> outputs = {{1}})
      : inputSpecs(std::move(inputs)), outputSpecs(std::move(outputs)) {
    filter.answer(IID_IAMCrossbar, crossbar.self());
    crossbar.answer(IID_IBaseFilter, filter.self());
    for (size_t i = 0; i < inputSpecs.size(); ++i) addPin(PINDIR_INPUT);
    for (size_t i = 0; i < outputSpecs.size(); ++i) addPin(PINDIR_OUTPUT);
    ON_CALL(crossbar, get_PinCounts).WillByDefault([this](LONG* outputs, LONG* inputs) {
      *outputs = static_cast<LONG>(outputSpecs.size());
      *inputs = static_cast<LONG>(inputSpecs.size());
      return S_OK;
    });
    ON_CALL(crossbar, get_CrossbarPinInfo)
        .WillByDefault([this](BOOL isInput, LONG index, LONG* related, LONG* type) {
          const auto& specs = isInput ? inputSpecs : outputSpecs;
          if (index < 0 || index >= static_cast<LONG>(specs.size())) return E_INVALIDARG;
          *related = specs[index].related;
          *type = specs[index].type;
          return S_OK;
        });
    ON_CALL(crossbar, CanRoute).WillByDefault(Return(S_OK));
    ON_CALL(crossbar, Route).WillByDefault(Return(S_OK));
    for (size_t i = 0; i < inputSpecs.size(); ++i)
      ON_CALL(input(i), ConnectedTo).WillByDefault(Return(VFW_E_NOT_CONNECTED));
  }

  Pin& input(size_t index) { return *pins[index]; }
  Pin& output(size_t index) { return *pins[inputSpecs.size() + index]; }
};

// A capture filter with a capture output and an analog video input.
struct FakeCaptureDevice : FakeFilter {
  NiceMock<MockKsPropertySet> analogCategory;
  Pin* capture;
  Pin* analogIn;

  FakeCaptureDevice() {
    capture = &addPin(PINDIR_OUTPUT);
    analogIn = &addPin(PINDIR_INPUT);
    analogCategory.reportCategory(PIN_CATEGORY_ANALOGVIDEOIN);
    analogIn->answer(IID_IKsPropertySet, analogCategory.self());
    ON_CALL(*analogIn, ConnectedTo).WillByDefault(Return(VFW_E_NOT_CONNECTED));
  }
};

constexpr long kTuner = PhysConn_Video_Tuner;
constexpr long kComposite = PhysConn_Video_Composite;
constexpr long kSVideo = PhysConn_Video_SVideo;
constexpr long kDecoder = PhysConn_Video_VideoDecoder;

TEST(VideoInputs, OneCrossbarListsItsVideoConnectorsByName) {
  FakeCaptureDevice device;
  FakeCrossbar crossbar(
      Specs{{kTuner}, {kComposite}, {kSVideo}, {PhysConn_Audio_Tuner}, {PhysConn_Audio_Line}},
      {{kDecoder}});
  connect(crossbar.output(0), *device.analogIn);
  // Audio inputs are never asked whether they can be routed.
  EXPECT_CALL(crossbar.crossbar, CanRoute(0, 3)).Times(0);
  EXPECT_CALL(crossbar.crossbar, CanRoute(0, 4)).Times(0);
  EXPECT_CALL(crossbar.crossbar, CanRoute(0, ::testing::Lt(3))).Times(3);
  {
    Filter filter("device", device.filter.self(), nullptr, nullptr);
    VideoInputs inputs(&filter);
    EXPECT_EQ(inputs.getInputs(), (Inputs{{"composite", 1}, {"svideo", 2}, {"tuner", 0}}));
    EXPECT_EQ(inputs.getNumberOfInputs(), 3u);
    EXPECT_EQ(inputs.getSelectedInput(), 0);
    // One reference per stored path, until the inputs are destroyed.
    EXPECT_EQ(crossbar.crossbar.refs(), 3);

    EXPECT_CALL(crossbar.crossbar, Route(0, 2)).WillOnce(Return(S_FALSE));
    EXPECT_EQ(inputs.setSelectedInput(2), S_FALSE);
    EXPECT_EQ(inputs.getSelectedInput(), 2);
  }
  EXPECT_EQ(crossbar.crossbar.refs(), 0);
  EXPECT_EQ(crossbar.filter.refs(), 0);
}

TEST(VideoInputs, EqualConnectorNamesAreNumberedInIndexOrder) {
  FakeCaptureDevice device;
  FakeCrossbar crossbar(Specs{{kComposite}, {kSVideo}, {kComposite}});
  connect(crossbar.output(0), *device.analogIn);
  Filter filter("device", device.filter.self(), nullptr, nullptr);
  VideoInputs inputs(&filter);
  EXPECT_EQ(inputs.getInputs(), (Inputs{{"composite1", 0}, {"composite2", 2}, {"svideo", 1}}));
}

TEST(VideoInputs, RoutesTheWholeChainFromTheConnectorDown) {
  FakeCaptureDevice device;
  FakeCrossbar main(Specs{{kDecoder}, {kSVideo}});
  FakeCrossbar tunerSide(Specs{{kTuner}, {kComposite}});
  connect(main.output(0), *device.analogIn);
  connect(tunerSide.output(0), main.input(0));

  {
    Filter filter("device", device.filter.self(), nullptr, nullptr);
    VideoInputs inputs(&filter);
    // Depth first: the tuner-side crossbar's inputs come before main's input 1.
    EXPECT_EQ(inputs.getInputs(), (Inputs{{"composite", 1}, {"svideo", 2}, {"tuner", 0}}));
    EXPECT_EQ(tunerSide.crossbar.refs(), 2);
    EXPECT_EQ(main.crossbar.refs(), 3);

    {
      InSequence order;
      EXPECT_CALL(tunerSide.crossbar, Route(0, 1)).WillOnce(Return(E_FAIL));
      EXPECT_CALL(main.crossbar, Route(0, 0)).WillOnce(Return(S_OK));
    }
    // Only the route next to the capture filter reports.
    EXPECT_EQ(inputs.setSelectedInput(1), S_OK);

    EXPECT_CALL(tunerSide.crossbar, Route).Times(0);
    EXPECT_CALL(main.crossbar, Route(0, 1)).WillOnce(Return(E_FAIL));
    EXPECT_EQ(inputs.setSelectedInput(2), E_FAIL);
    EXPECT_EQ(inputs.getSelectedInput(), 2);
  }
  EXPECT_EQ(tunerSide.crossbar.refs(), 0);
  EXPECT_EQ(main.crossbar.refs(), 0);
}

TEST(CInputRouter, StoresLinkedRecordsFromTheConnectorToTheCaptureFilter) {
  FakeCaptureDevice device;
  FakeCrossbar main(Specs{{kDecoder}}, {{kDecoder, 7}});
  FakeCrossbar tunerSide(Specs{{kTuner, 3}}, {{kDecoder}});
  connect(main.output(0), *device.analogIn);
  connect(tunerSide.output(0), main.input(0));
  HRESULT status = E_UNEXPECTED;
  CInputRouter router(device.analogIn, &status);
  EXPECT_EQ(status, S_OK);
  long count = 0;
  ASSERT_EQ(router.getPathCount(&count), S_OK);
  ASSERT_EQ(count, 1);
  const CRouting* records = RouterAccess::records(router, 0);
  EXPECT_EQ(records[0].depth, 1);
  EXPECT_EQ(records[1].depth, 0);
  EXPECT_EQ(records[0].crossbar, tunerSide.crossbar.self());
  EXPECT_EQ(records[1].crossbar, main.crossbar.self());
  EXPECT_EQ(records[0].upstream, nullptr);
  EXPECT_EQ(records[0].downstream, &records[1]);
  EXPECT_EQ(records[1].upstream, &records[0]);
  EXPECT_EQ(records[1].downstream, nullptr);
  EXPECT_EQ(records[0].inputPhysicalType, kTuner);
  EXPECT_EQ(records[0].relatedInputIndex, 3);
  EXPECT_EQ(records[0].relatedOutputIndex, -1);
  EXPECT_EQ(records[1].relatedOutputIndex, 7);
  EXPECT_EQ(records[1].outputPhysicalType, kDecoder);
  char name[16];
  EXPECT_EQ(router.getPathName(0, name, sizeof(name)), S_OK);
  EXPECT_STREQ(name, "tuner");
}

TEST(VideoInputs, RelatedPinsAreRoutedOnlyWhenBothAreReported) {
  FakeCaptureDevice device;
  FakeCrossbar crossbar(Specs{{kComposite, 5}, {kSVideo, -1}}, {{kDecoder, 6}});
  connect(crossbar.output(0), *device.analogIn);
  Filter filter("device", device.filter.self(), nullptr, nullptr);
  VideoInputs inputs(&filter);
  {
    InSequence order;
    EXPECT_CALL(crossbar.crossbar, Route(0, 0)).WillOnce(Return(S_OK));
    EXPECT_CALL(crossbar.crossbar, Route(6, 5)).WillOnce(Return(E_FAIL));
    EXPECT_CALL(crossbar.crossbar, Route(0, 1)).WillOnce(Return(S_OK));
  }
  EXPECT_EQ(inputs.setSelectedInput(0), S_OK);
  EXPECT_EQ(inputs.setSelectedInput(1), S_OK);
}

TEST(VideoInputs, RefusedInputsGiveNoPathAndBadIndexesRouteNothing) {
  FakeCaptureDevice device;
  FakeCrossbar crossbar(Specs{{kComposite}, {kSVideo}, {kTuner}});
  connect(crossbar.output(0), *device.analogIn);
  EXPECT_CALL(crossbar.crossbar, CanRoute(0, 1)).WillOnce(Return(S_FALSE));
  EXPECT_CALL(crossbar.crossbar, CanRoute(0, 0));
  EXPECT_CALL(crossbar.crossbar, CanRoute(0, 2));
  Filter filter("device", device.filter.self(), nullptr, nullptr);
  VideoInputs inputs(&filter);
  EXPECT_EQ(inputs.getInputs(), (Inputs{{"composite", 0}, {"tuner", 1}}));

  EXPECT_CALL(crossbar.crossbar, Route(0, 2)).WillOnce(Return(E_FAIL));
  EXPECT_EQ(inputs.setSelectedInput(1), E_FAIL);
  EXPECT_EQ(inputs.getSelectedInput(), 1);
  EXPECT_EQ(inputs.setSelectedInput(2), E_FAIL);
  EXPECT_EQ(inputs.setSelectedInput(-1), E_FAIL);
  EXPECT_EQ(inputs.getSelectedInput(), 1);
}

TEST(VideoInputs, ADeviceWithoutAnAnalogInputHasNoRouter) {
  FakeFilter device;
  Pin& capture = device.addPin(PINDIR_OUTPUT);
  Pin& otherInput = device.addPin(PINDIR_INPUT);  // no IKsPropertySet
  NiceMock<MockKsPropertySet> captureCategory;
  captureCategory.reportCategory(PIN_CATEGORY_CAPTURE);
  Pin& categorised = device.addPin(PINDIR_INPUT);
  categorised.answer(IID_IKsPropertySet, captureCategory.self());
  capture.answer(IID_IKsPropertySet, captureCategory.self());
  EXPECT_CALL(capture, ConnectedTo).Times(0);
  EXPECT_CALL(otherInput, ConnectedTo).Times(0);
  EXPECT_CALL(categorised, ConnectedTo).Times(0);
  // An output pin is not asked for its category.
  EXPECT_CALL(captureCategory, Get).Times(1);

  Filter filter("device", device.filter.self(), nullptr, nullptr);
  VideoInputs inputs(&filter);
  EXPECT_EQ(inputs.getNumberOfInputs(), 0u);
  EXPECT_EQ(inputs.getSelectedInput(), -1);
  EXPECT_EQ(inputs.setSelectedInput(0), E_POINTER);
  EXPECT_EQ(device.enumerators.size(), 1u);
}

TEST(VideoInputs, OnlyTheFirstAnalogInputIsFollowed) {
  FakeFilter device;
  NiceMock<MockKsPropertySet> category;
  category.reportCategory(PIN_CATEGORY_ANALOGVIDEOIN);
  Pin& badInfo = device.addPin(PINDIR_INPUT);
  badInfo.answer(IID_IKsPropertySet, category.self());
  EXPECT_CALL(badInfo, QueryPinInfo).WillOnce(Return(E_FAIL));
  EXPECT_CALL(badInfo, ConnectedTo).Times(0);
  Pin& first = device.addPin(PINDIR_INPUT);
  first.answer(IID_IKsPropertySet, category.self());
  EXPECT_CALL(first, ConnectedTo).WillOnce(Return(VFW_E_NOT_CONNECTED));
  Pin& second = device.addPin(PINDIR_INPUT);
  second.answer(IID_IKsPropertySet, category.self());
  EXPECT_CALL(second, QueryPinInfo).Times(0);

  Filter filter("device", device.filter.self(), nullptr, nullptr);
  VideoInputs inputs(&filter);
  // The analog input is not fed by a crossbar: a router without paths.
  EXPECT_EQ(inputs.getNumberOfInputs(), 0u);
  EXPECT_EQ(inputs.getSelectedInput(), 0);
  EXPECT_EQ(inputs.setSelectedInput(0), E_FAIL);
}

TEST(VideoInputs, AnAnalogInputFedByAnotherFilterHasNoPaths) {
  FakeCaptureDevice device;
  FakeFilter decoder;  // no IAMCrossbar
  Pin& out = decoder.addPin(PINDIR_OUTPUT);
  connect(out, *device.analogIn);
  HRESULT status = S_OK;
  CInputRouter router(device.analogIn, &status);
  EXPECT_EQ(status, E_FAIL);
  long count = -1;
  EXPECT_EQ(router.getPathCount(&count), S_OK);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(router.routePath(0), E_FAIL);
  EXPECT_EQ(decoder.filter.refs(), 0);
}

TEST(VideoInputs, UnusableFiltersGiveNoInputs) {
  VideoInputs none(nullptr);
  EXPECT_EQ(none.getSelectedInput(), -1);
  Filter empty("empty", nullptr, nullptr, nullptr);
  EXPECT_EQ(VideoInputs(&empty).getNumberOfInputs(), 0u);
  NiceMock<MockBaseFilter> refusing;
  EXPECT_CALL(refusing, EnumPins).WillOnce(Return(E_FAIL));
  Filter filter("device", refusing.self(), nullptr, nullptr);
  VideoInputs inputs(&filter);
  EXPECT_EQ(inputs.getSelectedInput(), -1);
  EXPECT_EQ(inputs.setSelectedInput(0), E_POINTER);
}

TEST(CInputRouter, ACrossbarThatDoesNotListTheConnectedPinRoutesNothing) {
  FakeCaptureDevice device;
  FakeCrossbar crossbar(Specs{{kComposite}});
  Pin stray;  // reports the crossbar as its filter, but is not among its pins
  ON_CALL(stray, QueryPinInfo).WillByDefault(ReportPinInfo(crossbar.filter.self(), PINDIR_OUTPUT));
  connect(stray, *device.analogIn);
  EXPECT_CALL(crossbar.crossbar, CanRoute).Times(0);
  HRESULT status = E_FAIL;
  CInputRouter router(device.analogIn, &status);
  EXPECT_EQ(status, S_OK);
  long count = -1;
  router.getPathCount(&count);
  EXPECT_EQ(count, 0);
}

TEST(CInputRouter, ACrossbarFeedingItselfIsNotFollowedTwice) {
  FakeCaptureDevice device;
  FakeCrossbar crossbar(Specs{{kSVideo}, {kComposite}}, Specs{{kDecoder}, {kDecoder}});
  connect(crossbar.output(0), *device.analogIn);
  connect(crossbar.output(1), crossbar.input(0));
  // Only the way in through output 0 is ever tried.
  EXPECT_CALL(crossbar.crossbar, CanRoute(1, _)).Times(0);
  EXPECT_CALL(crossbar.crossbar, CanRoute(0, _)).Times(2);
  {
    HRESULT status = E_FAIL;
    CInputRouter router(device.analogIn, &status);
    EXPECT_EQ(status, S_OK);
    long count = 0;
    ASSERT_EQ(router.getPathCount(&count), S_OK);
    ASSERT_EQ(count, 1);
    char name[16];
    router.getPathName(0, name, sizeof(name));
    EXPECT_STREQ(name, "composite");
    EXPECT_EQ(crossbar.crossbar.refs(), 1);
  }
  EXPECT_EQ(crossbar.crossbar.refs(), 0);
}

TEST(CInputRouter, NamesEveryVideoConnectorType) {
  const std::map<long, std::string> names = {
      {1, "tuner"},         {2, "composite"},       {3, "svideo"},   {4, "rgb"},    {5, "yryby"},
      {6, "serialDigital"}, {7, "parallelDigital"}, {8, "scsi"},     {9, "aux"},    {10, "1394"},
      {11, "usb"},          {12, "decoder"},        {13, "encoder"}, {14, "scart"}, {0, "Unknown"},
      {99, "Unknown"}};
  std::vector<PinSpec> specs;
  for (const auto& entry : names) specs.push_back({entry.first});
  FakeCaptureDevice device;
  FakeCrossbar crossbar(specs);
  connect(crossbar.output(0), *device.analogIn);
  HRESULT status = E_FAIL;
  CInputRouter router(device.analogIn, &status);
  long count = 0;
  ASSERT_EQ(router.getPathCount(&count), S_OK);
  ASSERT_EQ(count, static_cast<long>(names.size()));
  long index = 0;
  for (const auto& entry : names) {
    char buffer[32] = "";
    EXPECT_EQ(router.getPathName(index++, buffer, sizeof(buffer)), S_OK);
    EXPECT_EQ(std::string(buffer), entry.second) << entry.first;
  }
}

TEST(CInputRouter, RefusesBadArgumentsSafely) {
  FakeCaptureDevice device;
  FakeCrossbar crossbar(Specs{{kComposite}});
  connect(crossbar.output(0), *device.analogIn);
  CInputRouter router(device.analogIn, nullptr);
  char buffer[8] = "x";
  EXPECT_EQ(router.getPathName(1, buffer, sizeof(buffer)), E_FAIL);
  EXPECT_EQ(router.getPathName(-1, buffer, sizeof(buffer)), E_FAIL);
  EXPECT_EQ(router.getPathName(0, nullptr, 8), E_FAIL);
  EXPECT_EQ(router.getPathName(0, buffer, 0), E_FAIL);
  EXPECT_EQ(router.getPathName(0, buffer, -3), E_FAIL);
  EXPECT_STREQ(buffer, "x");
  EXPECT_EQ(router.getPathName(0, buffer, 5), S_OK);
  EXPECT_STREQ(buffer, "comp");
  EXPECT_EQ(router.getPathCount(nullptr), E_POINTER);
  EXPECT_EQ(router.getCurrentPath(nullptr), E_POINTER);
  long current = -1;
  EXPECT_EQ(router.getCurrentPath(&current), S_OK);
  EXPECT_EQ(current, 0);
}

TEST(CInputRouter, ANullStartingPinFindsNothing) {
  HRESULT status = S_OK;
  CInputRouter router(nullptr, &status);
  EXPECT_EQ(status, E_POINTER);
  long count = -1;
  EXPECT_EQ(router.getPathCount(&count), S_OK);
  EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace kivo
