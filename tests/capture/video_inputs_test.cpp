// The crossbars before a capture device's analog video input, found, named and routed; fakes.

#include <kivo/filter.h>
#include <kivo/video_inputs.h>

#include "capture/input_router.h"
#include "support/mocks/device_settings.h"
#include "support/mocks/ibasefilter.h"
#include "support/mocks/ienumpins.h"
#include "support/mocks/ipin.h"

#include <deque>
#include <memory>

namespace kivo::test {
namespace {

using namespace ::testing;
using Inputs = std::map<std::string, long>;
using Pin = NiceMock<MockPin>;

// A filter whose EnumPins hands out a fresh enumerator on every call.
struct FakeFilter {
  NiceMock<MockBaseFilter> filter;
  std::vector<std::unique_ptr<Pin>> pins;
  std::deque<NiceMock<MockEnumPins>> enumerators;

  FakeFilter() {
    ON_CALL(filter, EnumPins).WillByDefault([this](IEnumPins** out) {
      std::vector<IPin*> list;
      for (auto& pin : pins) list.push_back(pin->self());
      enumerators.emplace_back().walk(list);
      return HandOut<0>(enumerators.back().self())(out);
    });
  }
  Pin& addPin(PIN_DIRECTION direction) {
    pins.push_back(std::make_unique<Pin>());
    ON_CALL(*pins.back(), QueryPinInfo).WillByDefault(ReportPinInfo(filter.self(), direction));
    ON_CALL(*pins.back(), ConnectedTo).WillByDefault(Return(VFW_E_NOT_CONNECTED));
    return *pins.back();
  }
};

void connect(Pin& output, Pin& input) {
  ON_CALL(output, ConnectedTo).WillByDefault(HandOut<0>(input.self()));
  ON_CALL(input, ConnectedTo).WillByDefault(HandOut<0>(output.self()));
}

struct CrossbarPin {
  long type, related = -1;
};
using Specs = std::vector<CrossbarPin>;

// A crossbar filter: its input pins first, then its output pins.
struct FakeCrossbar : FakeFilter {
  NiceMock<MockAMCrossbar> crossbar;
  Specs specs[2];  // outputs, inputs

  explicit FakeCrossbar(Specs inputs, Specs outputs = {{PhysConn_Video_VideoDecoder}})
      : specs{std::move(outputs), std::move(inputs)} {
    filter.answer(IID_IAMCrossbar, crossbar.self());
    crossbar.answer(IID_IBaseFilter, filter.self());
    for (size_t i = 0; i < specs[1].size(); ++i) addPin(PINDIR_INPUT);
    for (size_t i = 0; i < specs[0].size(); ++i) addPin(PINDIR_OUTPUT);
    ON_CALL(crossbar, get_PinCounts).WillByDefault([this](LONG* outputs, LONG* inputs) {
      return *outputs = LONG(specs[0].size()), *inputs = LONG(specs[1].size()), S_OK;
    });
    ON_CALL(crossbar, get_CrossbarPinInfo)
        .WillByDefault([this](BOOL isInput, LONG index, LONG* related, LONG* type) {
          const Specs& side = specs[isInput ? 1 : 0];
          if (index < 0 || index >= LONG(side.size())) return E_INVALIDARG;
          return *related = side[index].related, *type = side[index].type, S_OK;
        });
  }
  Pin& input(size_t index) { return *pins[index]; }
  Pin& output(size_t index) { return *pins[specs[1].size() + index]; }
};

// A capture filter with a capture output and an analog video input.
struct FakeDevice : FakeFilter {
  FakeKsPropertySet analogCategory{PIN_CATEGORY_ANALOGVIDEOIN};
  Pin* analogIn = (addPin(PINDIR_OUTPUT), &addPin(PINDIR_INPUT));

  FakeDevice() { analogIn->answer(IID_IKsPropertySet, analogCategory.self()); }
};

enum : long { kTuner = PhysConn_Video_Tuner, kComposite = PhysConn_Video_Composite };
enum : long { kSVideo = PhysConn_Video_SVideo, kDecoder = PhysConn_Video_VideoDecoder };

TEST(VideoInputs, OneCrossbarNamesRoutesAndRefusesItsVideoConnectors) {
  FakeDevice device;
  const long audio = PhysConn_Audio_Tuner, line = PhysConn_Audio_Line;
  FakeCrossbar crossbar(
      Specs{{kTuner}, {kComposite, 5}, {kSVideo}, {kComposite}, {99}, {audio}, {line}},
      Specs{{kDecoder, 6}});
  connect(crossbar.output(0), *device.analogIn);
  // Audio inputs are never asked whether they can be routed; a refused one gives no path.
  EXPECT_CALL(crossbar.crossbar, CanRoute(0, Ge(5))).Times(0);
  EXPECT_CALL(crossbar.crossbar, CanRoute(0, Lt(5))).Times(4);  // 0, 1, 3, 4
  EXPECT_CALL(crossbar.crossbar, CanRoute(0, 2)).WillOnce(Return(S_FALSE));
  Filter filter("device", device.filter.self(), nullptr, nullptr);
  VideoInputs inputs(&filter);
  // Equal names are numbered in index order.
  EXPECT_EQ(inputs.getInputs(),
            (Inputs{{"composite1", 1}, {"composite2", 2}, {"tuner", 0}, {"Unknown", 3}}));
  EXPECT_EQ(inputs.getSelectedInput(), 0);
  EXPECT_EQ(crossbar.crossbar.refs(), 4);  // one per stored path
  {
    InSequence order;  // related pins are routed only when both are reported
    EXPECT_CALL(crossbar.crossbar, Route(0, 1)).WillOnce(Return(S_FALSE));
    EXPECT_CALL(crossbar.crossbar, Route(6, 5)).WillOnce(Return(E_FAIL));
    EXPECT_CALL(crossbar.crossbar, Route(0, 3)).WillOnce(Return(E_FAIL));
  }
  EXPECT_EQ(inputs.setSelectedInput(1), S_FALSE);  // the related route's status is not reported
  EXPECT_EQ(inputs.setSelectedInput(2), E_FAIL);
  EXPECT_EQ(inputs.getSelectedInput(), 2);
  EXPECT_EQ(inputs.setSelectedInput(4), E_FAIL);
  EXPECT_EQ(inputs.setSelectedInput(-1), E_FAIL);
  EXPECT_EQ(inputs.getSelectedInput(), 2);
}

TEST(VideoInputs, TwoCrossbarsAreRoutedFromTheConnectorDown) {
  FakeDevice device;
  FakeCrossbar main(Specs{{kDecoder}, {kSVideo}});
  FakeCrossbar tunerSide(Specs{{kTuner}, {kComposite}});
  connect(main.output(0), *device.analogIn);
  connect(tunerSide.output(0), main.input(0));
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

TEST(CInputRouter, ACrossbarFeedingItselfIsFollowedOnceAndNamesAreCopiedSafely) {
  FakeDevice device;
  FakeCrossbar crossbar(Specs{{kSVideo}, {kComposite}}, Specs{{kDecoder}, {kDecoder}});
  connect(crossbar.output(0), *device.analogIn);
  connect(crossbar.output(1), crossbar.input(0));
  EXPECT_CALL(crossbar.crossbar, CanRoute(1, _)).Times(0);  // only the way in through output 0
  EXPECT_CALL(crossbar.crossbar, CanRoute(0, _)).Times(2);
  HRESULT status = E_FAIL;
  CInputRouter router(device.analogIn, &status);
  EXPECT_EQ(status, S_OK);
  long count = 0;
  ASSERT_EQ(router.getPathCount(&count), S_OK);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(crossbar.crossbar.refs(), 1);
  char buffer[8] = "x";
  EXPECT_EQ(router.getPathName(1, buffer, 8), E_FAIL);
  EXPECT_EQ(router.getPathName(0, buffer, 0), E_FAIL);
  EXPECT_STREQ(buffer, "x");
  EXPECT_EQ(router.getPathName(0, buffer, 5), S_OK);
  EXPECT_STREQ(buffer, "comp");
}

}  // namespace
}  // namespace kivo::test
