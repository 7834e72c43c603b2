#include <kivo/capture_graph.h>

#include "graph/recording_graph.h"
#include "support/fake_graph_objects.h"
#include "support/mocks/icapturegraphbuilder2.h"
#include "support/mocks/igraphbuilder.h"
#include "support/wait.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kivo::test {
namespace {

using ::testing::_;
using ::testing::InSequence;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::StrictMock;

// Graph surgery over a rendered graph whose filter graph manager records
// every Disconnect and RemoveFilter.
class GraphSurgeryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(g.render(false), S_OK); }
  void TearDown() override { g.reset(); }

  // Every fake filter and pin got back all its references.
  static void expectReleased(std::initializer_list<FakeFilter*> filters) {
    for (FakeFilter* filter : filters) {
      EXPECT_EQ(filter->refs(), 0) << filter->label;
      EXPECT_EQ(filter->enumerator().refs(), 0) << filter->label;
    }
  }

  ComScope com;
  StrictMock<MockGraphBuilder> graph;
  NiceMock<MockCaptureGraphBuilder2> builder;
  FakeGraphObjects objects{&graph, &builder};
  RecordingGraph g;
};

TEST_F(GraphSurgeryTest, GetNextFilterWithANullArgumentTouchesNothing) {
  FakeFilter filter("filter");
  IPin* const sentinel = reinterpret_cast<IPin*>(0x10);
  IBaseFilter* const next = reinterpret_cast<IBaseFilter*>(0x20);
  IPin* pin = sentinel;
  IPin* connected = sentinel;
  IBaseFilter* nextFilter = next;
  EXPECT_EQ(g.getNextFilter(&filter, PINDIR_OUTPUT, nullptr, &connected, &nextFilter), E_POINTER);
  EXPECT_EQ(g.getNextFilter(&filter, PINDIR_OUTPUT, &pin, nullptr, &nextFilter), E_POINTER);
  EXPECT_EQ(g.getNextFilter(&filter, PINDIR_OUTPUT, &pin, &connected, nullptr), E_POINTER);
  EXPECT_EQ(g.getNextFilter(nullptr, PINDIR_OUTPUT, &pin, &connected, &nextFilter), E_POINTER);
  EXPECT_EQ(pin, sentinel);
  EXPECT_EQ(connected, sentinel);
  EXPECT_EQ(nextFilter, next);
  EXPECT_EQ(filter.enumerations, 0);
}

TEST_F(GraphSurgeryTest, GetNextFilterFindsTheFirstConnectedPinOfTheDirection) {
  FakeFilter source("source");
  FakeFilter other("other");
  FakeFilter target("target");
  FakePin& in = source.addPin(PINDIR_INPUT, L"In");
  FakePin& idle = source.addPin(PINDIR_OUTPUT, L"Idle");
  FakePin& out = source.addPin(PINDIR_OUTPUT, L"Out");
  FakePin& second = source.addPin(PINDIR_OUTPUT, L"Second");
  FakePin& feeding = other.addPin(PINDIR_OUTPUT, L"Feeding");
  FakePin& targetIn = target.addPin(PINDIR_INPUT, L"TargetIn");
  FakePin& otherIn = other.addPin(PINDIR_INPUT, L"OtherIn");
  FakePin::connect(feeding, in);
  FakePin::connect(out, targetIn);
  FakePin::connect(second, otherIn);
  (void)idle;

  IPin* pin = nullptr;
  IPin* connected = nullptr;
  IBaseFilter* next = nullptr;
  ASSERT_EQ(g.getNextFilter(&source, PINDIR_OUTPUT, &pin, &connected, &next), S_OK);
  EXPECT_EQ(pin, static_cast<IPin*>(&out));
  EXPECT_EQ(connected, static_cast<IPin*>(&targetIn));
  EXPECT_EQ(next, static_cast<IBaseFilter*>(&target));
  // One reference on each output, none left elsewhere.
  EXPECT_EQ(out.refs(), 1);
  EXPECT_EQ(targetIn.refs(), 1);
  EXPECT_EQ(target.refs(), 1);
  EXPECT_EQ(source.refs(), 0);
  EXPECT_EQ(source.enumerator().refs(), 0);
  pin->Release();
  connected->Release();
  next->Release();

  ASSERT_EQ(g.getNextFilter(&source, PINDIR_INPUT, &pin, &connected, &next), S_OK);
  EXPECT_EQ(pin, static_cast<IPin*>(&in));
  EXPECT_EQ(connected, static_cast<IPin*>(&feeding));
  EXPECT_EQ(next, static_cast<IBaseFilter*>(&other));
  pin->Release();
  connected->Release();
  next->Release();
  expectReleased({&source, &other, &target});
}

TEST_F(GraphSurgeryTest, GetNextFilterWithoutAConnectedPinFails) {
  FakeFilter filter("filter");
  FakeFilter peer("peer");
  filter.addPin(PINDIR_OUTPUT, L"Out");
  FakePin& in = filter.addPin(PINDIR_INPUT, L"In");
  FakePin::connect(peer.addPin(PINDIR_OUTPUT, L"PeerOut"), in);

  IPin* pin = reinterpret_cast<IPin*>(0x10);
  IPin* connected = reinterpret_cast<IPin*>(0x10);
  IBaseFilter* next = reinterpret_cast<IBaseFilter*>(0x10);
  EXPECT_EQ(g.getNextFilter(&filter, PINDIR_OUTPUT, &pin, &connected, &next), E_FAIL);
  EXPECT_EQ(pin, nullptr);
  EXPECT_EQ(connected, nullptr);
  EXPECT_EQ(next, nullptr);

  // A failing direction query also ends the search with E_FAIL.
  in.failDirection(E_UNEXPECTED);
  EXPECT_EQ(g.getNextFilter(&filter, PINDIR_INPUT, &pin, &connected, &next), E_FAIL);
  EXPECT_EQ(connected, nullptr);

  // The enumeration's own failure passes through.
  filter.enumStatus = E_OUTOFMEMORY;
  EXPECT_EQ(g.getNextFilter(&filter, PINDIR_INPUT, &pin, &connected, &next), E_OUTOFMEMORY);
  expectReleased({&filter, &peer});
}

TEST_F(GraphSurgeryTest, GetNextFilterOnAPeerWithoutInformationIsUnexpected) {
  FakeFilter filter("filter");
  FakeFilter peer("peer");
  FakePin& out = filter.addPin(PINDIR_OUTPUT, L"Out");
  FakePin& peerIn = peer.addPin(PINDIR_INPUT, L"In");
  FakePin::connect(out, peerIn);

  IPin* pin = nullptr;
  IPin* connected = nullptr;
  IBaseFilter* next = nullptr;
  peerIn.failInfo(E_FAIL);
  EXPECT_EQ(g.getNextFilter(&filter, PINDIR_OUTPUT, &pin, &connected, &next), E_UNEXPECTED);
  EXPECT_EQ(pin, nullptr);
  EXPECT_EQ(connected, nullptr);
  EXPECT_EQ(next, nullptr);

  peerIn.failInfo(S_OK);
  peerIn.withoutOwner();
  EXPECT_EQ(g.getNextFilter(&filter, PINDIR_OUTPUT, &pin, &connected, &next), E_UNEXPECTED);
  EXPECT_EQ(connected, nullptr);
  EXPECT_EQ(out.refs(), 0);
  EXPECT_EQ(peerIn.refs(), 0);
  expectReleased({&filter, &peer});
}

// source -> a -> b, and a -> c on a second output of a.
TEST_F(GraphSurgeryTest, NukeDownstreamRemovesDepthFirstInOrder) {
  FakeFilter source("source");
  FakeFilter a("a");
  FakeFilter b("b");
  FakeFilter c("c");
  FakePin& sourceOut = source.addPin(PINDIR_OUTPUT, L"Out");
  FakePin& aIn = a.addPin(PINDIR_INPUT, L"In");
  FakePin& aOut = a.addPin(PINDIR_OUTPUT, L"Out");
  FakePin& aPreview = a.addPin(PINDIR_OUTPUT, L"Preview");
  FakePin& bIn = b.addPin(PINDIR_INPUT, L"In");
  FakePin& cIn = c.addPin(PINDIR_INPUT, L"In");
  FakePin::connect(sourceOut, aIn);
  FakePin::connect(aOut, bIn);
  FakePin::connect(aPreview, cIn);
  {
    InSequence order;
    EXPECT_CALL(graph, Disconnect(&bIn));
    EXPECT_CALL(graph, Disconnect(&aOut));
    EXPECT_CALL(graph, RemoveFilter(&b));
    EXPECT_CALL(graph, Disconnect(&cIn));
    EXPECT_CALL(graph, Disconnect(&aPreview));
    EXPECT_CALL(graph, RemoveFilter(&c));
    EXPECT_CALL(graph, Disconnect(&aIn));
    EXPECT_CALL(graph, Disconnect(&sourceOut));
    EXPECT_CALL(graph, RemoveFilter(&a));
  }
  g.nukeDownstream(&source);
  EXPECT_EQ(source.enumerator().resets, 1);
  expectReleased({&source, &a, &b, &c});
}

TEST_F(GraphSurgeryTest, NukeDownstreamSkipsUpstreamPeersAndStopsAtTheFirstUnconnectedPin) {
  FakeFilter upstream("upstream");
  FakeFilter middle("middle");
  FakeFilter down("down");
  FakeFilter never("never");
  FakePin& upOut = upstream.addPin(PINDIR_OUTPUT, L"Out");
  FakePin& middleIn = middle.addPin(PINDIR_INPUT, L"In");
  FakePin& middleOut = middle.addPin(PINDIR_OUTPUT, L"Out");
  middle.addPin(PINDIR_OUTPUT, L"Unconnected");
  FakePin& middleLate = middle.addPin(PINDIR_OUTPUT, L"Late");
  FakePin& downIn = down.addPin(PINDIR_INPUT, L"In");
  FakePin& neverIn = never.addPin(PINDIR_INPUT, L"In");
  FakePin::connect(upOut, middleIn);
  FakePin::connect(middleOut, downIn);
  FakePin::connect(middleLate, neverIn);
  {
    // The input pin's peer is an output upstream: nothing happens there.
    InSequence order;
    EXPECT_CALL(graph, Disconnect(&downIn));
    EXPECT_CALL(graph, Disconnect(&middleOut));
    EXPECT_CALL(graph, RemoveFilter(&down));
  }
  g.nukeDownstream(&middle);
  expectReleased({&upstream, &middle, &down, &never});
}

TEST_F(GraphSurgeryTest, NukeDownstreamFromASourceWhoseFirstPinIsUnconnectedRemovesNothing) {
  FakeFilter source("source");
  FakeFilter sink("sink");
  source.addPin(PINDIR_OUTPUT, L"Unconnected");
  FakePin& out = source.addPin(PINDIR_OUTPUT, L"Out");
  FakePin::connect(out, sink.addPin(PINDIR_INPUT, L"In"));
  g.nukeDownstream(&source);  // the strict graph takes no call
  g.nukeDownstream(nullptr);

  // A peer without information ends the walk too.
  FakeFilter other("other");
  FakePin& otherOut = other.addPin(PINDIR_OUTPUT, L"Out");
  FakePin& sinkIn2 = sink.addPin(PINDIR_INPUT, L"In2");
  FakePin::connect(otherOut, sinkIn2);
  sinkIn2.failInfo(E_FAIL);
  g.nukeDownstream(&other);

  // An enumeration that answers S_FALSE is reset but not walked.
  FakeFilter odd("odd");
  FakePin& oddOut = odd.addPin(PINDIR_OUTPUT, L"Out");
  FakeFilter oddSink("oddSink");
  FakePin::connect(oddOut, oddSink.addPin(PINDIR_INPUT, L"In"));
  odd.enumStatus = S_FALSE;
  g.nukeDownstream(&odd);
  EXPECT_EQ(odd.enumerator().resets, 1);
  expectReleased({&source, &sink, &other, &odd, &oddSink});
}

}  // namespace
}  // namespace kivo::test
