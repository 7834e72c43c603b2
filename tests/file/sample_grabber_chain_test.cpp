// The grabber and sink a file graph puts behind each stream, against the platform's real sample
// grabber and null renderer: state errors, and the media type each chain asks for.

#include <kivo/filter.h>
#include <kivo/media_cb.h>

#include "file/file_graph_access.h"
#include "support/wait.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

using Access = TestAccess<FileCaptureGraph>;

class Callback : public IMediaCB {
 public:
  long processSample(double, IMediaSample*) override { return S_OK; }
};

// A second init keeps the first filters; after uninit, init builds new ones for the same request.
TEST(SampleGrabberChain, InitBuildsGrabberThenSinkOnceAndUninitLetsThemGo) {
  test::ComScope com;
  Callback callback;
  CMediaType request(&MEDIATYPE_Video);
  request.SetSubtype(&MEDIASUBTYPE_YUY2);
  SampleGrabberChain chain(&callback, request);
  std::vector<Filter*> first, again;
  EXPECT_EQ(chain.getFilters(first), E_UNEXPECTED);
  EXPECT_EQ(chain.initConnectedMediaInfo(), E_UNEXPECTED);
  ASSERT_EQ(chain.init(), S_OK);
  EXPECT_EQ(chain.init(), E_UNEXPECTED);
  ASSERT_EQ(chain.getFilters(first), S_OK);
  ASSERT_EQ(first.size(), 2u);
  EXPECT_STREQ(first[1]->getName(), "KIVO Null Renderer");
  const CComPtr<IBaseFilter> firstGrabber = first[0]->getInterface();
  chain.uninit();
  EXPECT_EQ(chain.getFilters(again), E_UNEXPECTED);
  ASSERT_EQ(chain.init(), S_OK);
  ASSERT_EQ(chain.getFilters(again), S_OK);
  EXPECT_NE(again[0]->getInterface(), firstGrabber);
  EXPECT_EQ(chain.getMediaType()->subtype, MEDIASUBTYPE_YUY2);
}

TEST(SampleGrabberChain, FileGraphChainsAskForTheChosenFormatAndMissingOnesAreNoError) {
  Callback callback;
  FileCaptureGraph graph(L"unused.avi");
  EXPECT_EQ(Access::audioChain(graph), nullptr);
  graph.setVideoCallback(&callback, static_cast<FileCaptureGraph::VideoFrameFormat>(7));
  EXPECT_EQ(Access::videoChain(graph)->getMediaType()->subtype, GUID_NULL);  // any video
  graph.setAudioCallback(&callback, FileCaptureGraph::SAMPLE_PCM);
  EXPECT_EQ(Access::audioChain(graph)->getMediaType()->subtype, MEDIASUBTYPE_PCM);

  Filter* head = nullptr;
  EXPECT_EQ(Access::initAndAddChain(graph, nullptr), S_OK);
  EXPECT_EQ(Access::connectChain(graph, nullptr), S_OK);
  EXPECT_EQ(Access::getChainHead(graph, nullptr, head), S_OK);
  EXPECT_EQ(head, nullptr);
  SampleGrabberChain uninitialised(nullptr, CMediaType(&MEDIATYPE_Video));
  EXPECT_EQ(Access::getChainHead(graph, &uninitialised, head), E_UNEXPECTED);
}

}  // namespace
}  // namespace kivo
