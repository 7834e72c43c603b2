#include "graph/recording_graph.h"
#include "support/fake_graph_objects.h"
#include "support/mocks/icapturegraphbuilder2.h"
#include "support/mocks/igraphbuilder.h"
#include "support/wait.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kivo::test {
namespace {

using namespace ::testing;

// Graph surgery over a rendered graph whose strict filter graph manager
// takes only the Disconnect and RemoveFilter calls a test expects. The fakes
// check at destruction that every reference was given back.
class GraphSurgeryTest : public Test {
 protected:
  void SetUp() override { ASSERT_EQ(g.render(false), S_OK); }
  void TearDown() override { g.reset(); }

  // getNextFilter's three outputs, released after checking.
  HRESULT next(FakeFilter& filter, PIN_DIRECTION direction, IPin* pin, IPin* connected,
               IBaseFilter* owner) {
    IPin *outPin = sentinel, *outConnected = sentinel;
    IBaseFilter* outOwner = reinterpret_cast<IBaseFilter*>(0x10);
    const HRESULT hr = g.getNextFilter(&filter, direction, &outPin, &outConnected, &outOwner);
    EXPECT_EQ(outPin, pin);
    EXPECT_EQ(outConnected, connected);
    EXPECT_EQ(outOwner, owner);
    EXPECT_EQ(pin ? pin->Release() : 0u, 0u);
    EXPECT_EQ(connected ? connected->Release() : 0u, 0u);
    EXPECT_EQ(owner ? owner->Release() : 0u, 0u);
    return hr;
  }

  IPin* const sentinel = reinterpret_cast<IPin*>(0x10);
  ComScope com;
  StrictMock<MockGraphBuilder> graph;
  NiceMock<MockCaptureGraphBuilder2> builder;
  FakeGraphObjects objects{&graph, &builder};
  RecordingGraph g;
};

TEST_F(GraphSurgeryTest, GetNextFilterFindsTheFirstConnectedPinOfTheDirection) {
  FakeFilter source, other, target;
  FakePin& in = source.addPin(PINDIR_INPUT);
  source.addPin(PINDIR_OUTPUT);  // idle
  FakePin& out = source.addPin(PINDIR_OUTPUT);
  FakePin& second = source.addPin(PINDIR_OUTPUT);
  FakePin& feeding = other.addPin(PINDIR_OUTPUT);
  FakePin& targetIn = target.addPin(PINDIR_INPUT);
  FakePin::connect(feeding, in);
  FakePin::connect(out, targetIn);
  FakePin::connect(second, other.addPin(PINDIR_INPUT));
  // One reference on each output, none left elsewhere.
  EXPECT_EQ(next(source, PINDIR_OUTPUT, &out, &targetIn, &target), S_OK);
  EXPECT_EQ(next(source, PINDIR_INPUT, &in, &feeding, &other), S_OK);

  IPin *pin = sentinel, *connected = sentinel;
  IBaseFilter* owner = nullptr;
  EXPECT_CALL(source, EnumPins).Times(0);
  EXPECT_EQ(g.getNextFilter(&source, PINDIR_OUTPUT, nullptr, &connected, &owner), E_POINTER);
  EXPECT_EQ(g.getNextFilter(&source, PINDIR_OUTPUT, &pin, &connected, nullptr), E_POINTER);
  EXPECT_EQ(g.getNextFilter(nullptr, PINDIR_OUTPUT, &pin, &connected, &owner), E_POINTER);
  EXPECT_EQ(pin, sentinel);
  EXPECT_EQ(connected, sentinel);
}

TEST_F(GraphSurgeryTest, GetNextFilterFailuresLeaveNoReference) {
  FakeFilter filter, peer;
  filter.addPin(PINDIR_OUTPUT);
  FakePin& in = filter.addPin(PINDIR_INPUT);
  FakePin& peerOut = peer.addPin(PINDIR_OUTPUT);
  FakePin::connect(peerOut, in);
  EXPECT_EQ(next(filter, PINDIR_OUTPUT, nullptr, nullptr, nullptr), E_FAIL);
  // The peer tells no information, or no owner: unexpected.
  ON_CALL(peerOut, QueryPinInfo).WillByDefault(Return(E_FAIL));
  EXPECT_EQ(next(filter, PINDIR_INPUT, nullptr, nullptr, nullptr), E_UNEXPECTED);
  ON_CALL(peerOut, QueryPinInfo).WillByDefault(ReportPinInfo(nullptr, PINDIR_OUTPUT));
  EXPECT_EQ(next(filter, PINDIR_INPUT, nullptr, nullptr, nullptr), E_UNEXPECTED);
  // A failing direction query ends the search; the enumeration's failure
  // passes through.
  ON_CALL(in, QueryDirection).WillByDefault(Return(E_UNEXPECTED));
  EXPECT_EQ(next(filter, PINDIR_INPUT, nullptr, nullptr, nullptr), E_FAIL);
  filter.enumStatus = E_OUTOFMEMORY;
  EXPECT_EQ(next(filter, PINDIR_INPUT, nullptr, nullptr, nullptr), E_OUTOFMEMORY);
}

// source -> a -> b, and a -> c on a second output of a: removed depth first.
TEST_F(GraphSurgeryTest, NukeDownstreamRemovesDepthFirstInOrder) {
  FakeFilter source, a, b, c;
  FakePin& sourceOut = source.addPin(PINDIR_OUTPUT);
  FakePin& aIn = a.addPin(PINDIR_INPUT);
  FakePin& aOut = a.addPin(PINDIR_OUTPUT);
  FakePin& aPreview = a.addPin(PINDIR_OUTPUT);
  FakePin& bIn = b.addPin(PINDIR_INPUT);
  FakePin& cIn = c.addPin(PINDIR_INPUT);
  FakePin::connect(sourceOut, aIn);
  FakePin::connect(aOut, bIn);
  FakePin::connect(aPreview, cIn);
  EXPECT_CALL(source.enumerator, Reset).Times(1);
  InSequence order;
  for (IPin* pin : std::initializer_list<IPin*>{&bIn, &aOut}) EXPECT_CALL(graph, Disconnect(pin));
  EXPECT_CALL(graph, RemoveFilter(&b));
  for (IPin* pin : std::initializer_list<IPin*>{&cIn, &aPreview}) EXPECT_CALL(graph, Disconnect(pin));
  EXPECT_CALL(graph, RemoveFilter(&c));
  for (IPin* pin : std::initializer_list<IPin*>{&aIn, &sourceOut}) EXPECT_CALL(graph, Disconnect(pin));
  EXPECT_CALL(graph, RemoveFilter(&a));
  g.nukeDownstream(&source);
}

// The walk skips input pins, and ends at the first unconnected pin, at a peer
// without information, or at an enumeration answering S_FALSE.
TEST_F(GraphSurgeryTest, NukeDownstreamStopsAtTheFirstUnconnectedPin) {
  FakeFilter upstream, middle, down, never, lonely, odd, oddSink;
  FakePin& middleIn = middle.addPin(PINDIR_INPUT);
  FakePin::connect(upstream.addPin(PINDIR_OUTPUT), middleIn);
  FakePin& middleOut = middle.addPin(PINDIR_OUTPUT);
  middle.addPin(PINDIR_OUTPUT);  // unconnected
  FakePin& downIn = down.addPin(PINDIR_INPUT);
  FakePin::connect(middleOut, downIn);
  FakePin::connect(middle.addPin(PINDIR_OUTPUT), never.addPin(PINDIR_INPUT));
  lonely.addPin(PINDIR_OUTPUT);
  FakePin::connect(lonely.addPin(PINDIR_OUTPUT), never.addPin(PINDIR_INPUT));
  FakePin& oddIn = oddSink.addPin(PINDIR_INPUT);
  FakePin::connect(odd.addPin(PINDIR_OUTPUT), oddIn);
  {
    InSequence order;
    EXPECT_CALL(graph, Disconnect(&downIn));
    EXPECT_CALL(graph, Disconnect(&middleOut));
    EXPECT_CALL(graph, RemoveFilter(&down));
  }
  g.nukeDownstream(&middle);
  g.nukeDownstream(&lonely);
  g.nukeDownstream(nullptr);
  ON_CALL(oddIn, QueryPinInfo).WillByDefault(Return(E_FAIL));
  g.nukeDownstream(&odd);
  odd.enumStatus = S_FALSE;
  EXPECT_CALL(odd.enumerator, Reset).Times(1);
  g.nukeDownstream(&odd);
}

}  // namespace
}  // namespace kivo::test
