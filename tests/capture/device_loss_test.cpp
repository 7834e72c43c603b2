// VideoCaptureGraph::isDeviceLost against a fake event queue: which events
// count as the loss of the device, that every event read is freed and never
// waited for, and how long the answer is kept.

#include <kivo/platform.h>

#if defined(__MINGW32__) && !defined(_MSC_VER)
// MinGW's control.h declares the interface without binding its identifier
// to the type, which the counted fakes look up through __uuidof.
__CRT_UUID_DECL(IMediaEvent, 0x56a868b6, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
                0x70)
#endif

#include "fake_capture_device.h"

#include <deque>

namespace kivo::test {
namespace {

// The filter graph manager's event queue. GetEvent hands out the queued
// events in order and answers E_ABORT when the queue is empty, as
// DirectShow does after the time-out.
class FakeMediaEvent : public ComFake<IMediaEvent> {
 public:
  struct Event {
    long code;
    LONG_PTR param1;
    LONG_PTR param2;
  };

  void post(long code, LONG_PTR param1, LONG_PTR param2) {
    queue.push_back({code, param1, param2});
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetEventHandle(OAEVENT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetEvent(long* code, LONG_PTR* param1, LONG_PTR* param2,
                                     long timeout) override {
    timeouts.push_back(timeout);
    if (queue.empty()) return E_ABORT;
    *code = queue.front().code;
    *param1 = queue.front().param1;
    *param2 = queue.front().param2;
    queue.pop_front();
    ++handedOut;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE WaitForCompletion(long, long*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CancelDefaultHandling(long) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RestoreDefaultHandling(long) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FreeEventParams(long, LONG_PTR, LONG_PTR) override {
    ++freed;
    return S_OK;
  }

  std::deque<Event> queue;
  std::vector<long> timeouts;
  int handedOut = 0;
  int freed = 0;
};

class DeviceLossTest : public VideoGraphTest {
 protected:
  DeviceLossTest() {
    fake_.graph.answer(IID_IMediaEvent, &events_);
    fake_.formats.push_back(format(MEDIASUBTYPE_YUY2, 320, 240));
  }
  ~DeviceLossTest() override { EXPECT_EQ(events_.handedOut, events_.freed); }

  // Declared after the fakes of the base class and before any graph.
  FakeMediaEvent events_;
};

TEST_F(DeviceLossTest, RemovalIsKeptUntilTheGraphIsBuiltAgain) {
  auto graph = makeGraph();
  EXPECT_FALSE(graph->isDeviceLost());  // not rendered: nothing is asked
  EXPECT_TRUE(events_.timeouts.empty());

  ASSERT_EQ(graph->start(false), S_OK);
  events_.post(EC_PAUSED, 0, 0);
  EXPECT_FALSE(graph->isDeviceLost());
  events_.post(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(&fake_.device), 0);
  events_.post(EC_PAUSED, 0, 0);
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

TEST_F(DeviceLossTest, OnlyEventsThatEndTheStreamCount) {
  struct Case {
    long code;
    LONG_PTR param2;
    bool lost;
  };
  const Case cases[] = {
      {EC_DEVICE_LOST, 0, true},
      {EC_DEVICE_LOST, 1, false},
      {EC_ERRORABORT, 0, true},
      {EC_ERRORABORTEX, 0, true},
      {EC_STREAM_ERROR_STOPPED, 0, true},
      {EC_USERABORT, 0, false},
      {EC_COMPLETE, 0, false},
      {EC_STREAM_ERROR_STILLPLAYING, 0, false},
  };
  auto graph = makeGraph();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    ASSERT_EQ(graph->start(false), S_OK);
    events_.post(c.code, 0, c.param2);
    EXPECT_EQ(graph->isDeviceLost(), c.lost);
    EXPECT_EQ(graph->stop(), S_OK);
  }
}

TEST_F(DeviceLossTest, OnePollReadsABoundedNumberOfEvents) {
  auto graph = makeGraph();
  ASSERT_EQ(graph->start(false), S_OK);
  for (int i = 0; i < 1000; ++i) events_.post(EC_PAUSED, 0, 0);
  events_.post(EC_DEVICE_LOST, 0, 0);
  EXPECT_FALSE(graph->isDeviceLost());  // returns although the queue is not empty
  EXPECT_FALSE(events_.queue.empty());
  bool lost = false;
  for (int poll = 0; poll < 10 && !lost; ++poll) lost = graph->isDeviceLost();
  EXPECT_TRUE(lost);
}

TEST_F(DeviceLossTest, AGraphWithoutEventsIsNeverLost) {
  fake_.graph.refuse(IID_IMediaEvent);
  auto graph = makeGraph();
  ASSERT_EQ(graph->start(false), S_OK);
  EXPECT_FALSE(graph->isDeviceLost());
}

}  // namespace
}  // namespace kivo::test
