// isDeviceLost over event queues Wine cannot fill: which events mean a loss; reads freed, bounded.

#include "fake_capture_device.h"

#include <array>
#include <deque>
#include <tuple>

namespace kivo::test {
namespace {

// The graph's event queue; GetEvent answers E_ABORT when empty, as DirectShow does.
class FakeMediaEvent : public ComFake<IMediaEvent> {
 public:
  void post(long code, LONG_PTR param2 = 0) { queue.push_back({code, 0, param2}); }
  HRESULT STDMETHODCALLTYPE GetEvent(long* code, LONG_PTR* p1, LONG_PTR* p2, long t) override {
    timeouts.push_back(t);
    if (queue.empty()) return E_ABORT;
    *code = long(queue.front()[0]), *p1 = queue.front()[1], *p2 = queue.front()[2];
    return queue.pop_front(), ++handedOut, S_OK;
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
  ~DeviceLossTest() override {
    EXPECT_EQ(events_.handedOut, events_.freed);
    for (long timeout : events_.timeouts) EXPECT_EQ(timeout, 0);
  }

  ComScope com_;
  FakeCaptureDevice fake_;
  ::testing::StrictMock<FakeMediaEvent> events_;
  FakeGraphObjects objects_;
  VideoCaptureFilter source_{"Fake Camera", CComPtr<IBaseFilter>(&fake_.device), nullptr, nullptr};
  VideoCaptureGraph graph_{&source_, 0};
};

TEST_F(DeviceLossTest, OnlyEventsThatEndTheStreamCountAndTheAnswerIsKeptUntilARebuild) {
  EXPECT_FALSE(graph_.isDeviceLost());  // not rendered: nothing is asked
  EXPECT_TRUE(events_.timeouts.empty());
  // The code, its second parameter (EC_DEVICE_LOST's 1: the device came back), lost.
  const std::tuple<long, LONG_PTR, bool> events[] = {
      {EC_DEVICE_LOST, 0, true},  {EC_ERRORABORT, E_FAIL, true},
      {EC_ERRORABORTEX, 0, true}, {EC_STREAM_ERROR_STOPPED, 0, true},
      {EC_DEVICE_LOST, 1, false}, {EC_STREAM_ERROR_STILLPLAYING, 0, false}};
  for (const auto& [code, param2, lost] : events) {
    SCOPED_TRACE(code);
    ASSERT_EQ(graph_.start(false), S_OK);  // a start builds a new graph, not lost
    EXPECT_FALSE(graph_.isDeviceLost());
    events_.post(EC_PAUSED);
    events_.post(code, param2);
    events_.post(EC_PAUSED);
    EXPECT_EQ(graph_.isDeviceLost(), lost);
    EXPECT_TRUE(events_.queue.empty());
    // Kept without asking again, also once stopped.
    const size_t asked = events_.timeouts.size();
    EXPECT_EQ(graph_.stop(), S_OK);
    EXPECT_EQ(graph_.isDeviceLost(), lost);
    EXPECT_TRUE(!lost || events_.timeouts.size() == asked);
  }
  graph_.reset();
  EXPECT_FALSE(graph_.isDeviceLost());
}

TEST_F(DeviceLossTest, OnePollReadsABoundedNumberAndAGraphWithoutEventsIsNeverLost) {
  ASSERT_EQ(graph_.start(false), S_OK);
  for (int i = 0; i < 1000; ++i) events_.post(EC_PAUSED);
  events_.post(EC_DEVICE_LOST);
  EXPECT_FALSE(graph_.isDeviceLost());  // returns although the queue is not empty
  EXPECT_FALSE(events_.queue.empty());
  bool lost = false;
  for (int poll = 0; poll < 10 && !lost; ++poll) lost = graph_.isDeviceLost();
  EXPECT_TRUE(lost);
  EXPECT_EQ(graph_.stop(), S_OK);
  fake_.graph.refuse(IID_IMediaEvent);
  ASSERT_EQ(graph_.start(false), S_OK);
  events_.post(EC_DEVICE_LOST);
  EXPECT_FALSE(graph_.isDeviceLost());
  events_.queue.clear();
}

}  // namespace
}  // namespace kivo::test
