// VideoCaptureGraph::isDeviceLost against a fake event queue: which events mean the device is
// lost, every event read freed and never waited for, and how long the answer is kept.

#include "fake_capture_device.h"

#include <array>
#include <deque>
#include <memory>

namespace kivo::test {
namespace {

// The graph's event queue; GetEvent answers E_ABORT when empty, as DirectShow does.
class FakeMediaEvent : public ComFake<IMediaEvent> {
 public:
  void post(long code, LONG_PTR param1 = 0, LONG_PTR param2 = 0) {
    queue.push_back({code, param1, param2});
  }
  HRESULT STDMETHODCALLTYPE GetEvent(long* code, LONG_PTR* param1, LONG_PTR* param2,
                                     long timeout) override {
    timeouts.push_back(timeout);
    if (queue.empty()) return E_ABORT;
    *code = static_cast<long>(queue.front()[0]);
    *param1 = queue.front()[1];
    *param2 = queue.front()[2];
    queue.pop_front();
    ++handedOut;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE FreeEventParams(long, LONG_PTR, LONG_PTR) override {
    return ++freed, S_OK;
  }
  // Never asked for (strict).
  MOCK_METHOD(HRESULT, GetTypeInfoCount, (UINT*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetTypeInfo, (UINT, LCID, ITypeInfo**), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetIDsOfNames, (REFIID, LPOLESTR*, UINT, LCID, DISPID*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Invoke,
              (DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetEventHandle, (OAEVENT*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, WaitForCompletion, (long, long*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, CancelDefaultHandling, (long), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, RestoreDefaultHandling, (long), COM_OVERRIDE);

  std::deque<std::array<LONG_PTR, 3>> queue;
  std::vector<long> timeouts;
  int handedOut = 0, freed = 0;
};

// Members go in reverse order: the fakes, which check their references, last.
class DeviceLossTest : public ::testing::Test {
 protected:
  DeviceLossTest() : objects_(&fake_.graph, &fake_.builder) {
    fake_.graph.answer(IID_IMediaEvent, &events_);
    fake_.formats.push_back(videoType(MEDIASUBTYPE_YUY2, 320, 240));
  }
  ~DeviceLossTest() override { EXPECT_EQ(events_.handedOut, events_.freed); }
  std::unique_ptr<VideoCaptureGraph> makeGraph() {
    return std::make_unique<VideoCaptureGraph>(&source_, 0);
  }

  ComScope com_;
  FakeCaptureDevice fake_;
  ::testing::StrictMock<FakeMediaEvent> events_;
  FakeGraphObjects objects_;
  VideoCaptureFilter source_{"Fake Camera", CComPtr<IBaseFilter>(&fake_.device), nullptr, nullptr};
};

TEST_F(DeviceLossTest, RemovalIsKeptUntilTheGraphIsBuiltAgain) {
  auto graph = makeGraph();
  EXPECT_FALSE(graph->isDeviceLost());  // not rendered: nothing is asked
  EXPECT_TRUE(events_.timeouts.empty());

  ASSERT_EQ(graph->start(false), S_OK);
  events_.post(EC_PAUSED);
  EXPECT_FALSE(graph->isDeviceLost());
  events_.post(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(&fake_.device), 0);
  events_.post(EC_PAUSED);
  EXPECT_TRUE(graph->isDeviceLost());
  EXPECT_TRUE(events_.queue.empty());  // the poll read what was queued
  for (long timeout : events_.timeouts) EXPECT_EQ(timeout, 0);

  // Kept without asking again, also once stopped.
  const size_t asked = events_.timeouts.size();
  EXPECT_TRUE(graph->isDeviceLost());
  EXPECT_EQ(graph->stop(), S_OK);
  EXPECT_TRUE(graph->isDeviceLost());
  EXPECT_EQ(events_.timeouts.size(), asked);

  // A start builds a new graph, whose device has not been lost.
  ASSERT_EQ(graph->start(false), S_OK);
  EXPECT_FALSE(graph->isDeviceLost());
  events_.post(EC_ERRORABORT, E_FAIL, 0);
  EXPECT_TRUE(graph->isDeviceLost());
  graph->reset();
  EXPECT_FALSE(graph->isDeviceLost());
}

TEST_F(DeviceLossTest, OnlyEventsThatEndTheStreamCountAndOnePollReadsABoundedNumber) {
  auto graph = makeGraph();
  auto lostAfter = [&](long code, LONG_PTR param2) {
    EXPECT_EQ(graph->start(false), S_OK);
    events_.post(code, 0, param2);
    const bool lost = graph->isDeviceLost();
    EXPECT_EQ(graph->stop(), S_OK);
    return lost;
  };
  for (long code : {EC_ERRORABORTEX, EC_STREAM_ERROR_STOPPED})
    EXPECT_TRUE(lostAfter(code, 0)) << code;
  for (long code : {EC_USERABORT, EC_COMPLETE, EC_STREAM_ERROR_STILLPLAYING})
    EXPECT_FALSE(lostAfter(code, 0)) << code;
  EXPECT_FALSE(lostAfter(EC_DEVICE_LOST, 1));  // the device came back

  ASSERT_EQ(graph->start(false), S_OK);
  for (int i = 0; i < 1000; ++i) events_.post(EC_PAUSED);
  events_.post(EC_DEVICE_LOST);
  EXPECT_FALSE(graph->isDeviceLost());  // returns although the queue is not empty
  EXPECT_FALSE(events_.queue.empty());
  bool lost = false;
  for (int poll = 0; poll < 10 && !lost; ++poll) lost = graph->isDeviceLost();
  EXPECT_TRUE(lost);
  EXPECT_EQ(graph->stop(), S_OK);
  fake_.graph.refuse(IID_IMediaEvent);
  EXPECT_FALSE(lostAfter(EC_DEVICE_LOST, 0));  // a graph without events is never lost
}

}  // namespace
}  // namespace kivo::test
