#include <kivo/dx_sample_grabber.h>
#include <kivo/file_capture_graph.h>
#include <kivo/filter.h>
#include <kivo/media_cb.h>
#include <kivo/null_sink.h>

#include "file/sample_grabber_chain.h"
#include "support/wait.h"

#include "file/file_graph_access.h"

#include <gtest/gtest.h>

namespace kivo {

namespace {

using Access = TestAccess<FileCaptureGraph>;

class CountingCallback : public IMediaCB {
 public:
  long processSample(double, IMediaSample*) override { return S_OK; }
};

// These run against the platform's real sample grabber and null renderer.
class SampleGrabberChainTest : public ::testing::Test {
 protected:
  test::ComScope com;
  CountingCallback callback;
};

CMediaType videoRequest(const GUID& subtype) {
  CMediaType type(&MEDIATYPE_Video);
  type.SetSubtype(&subtype);
  return type;
}

TEST_F(SampleGrabberChainTest, InitBuildsGrabberThenSinkOnce) {
  SampleGrabberChain chain(&callback, videoRequest(MEDIASUBTYPE_RGB24));
  std::vector<Filter*> filters;
  EXPECT_EQ(chain.getFilters(filters), E_UNEXPECTED);
  EXPECT_TRUE(filters.empty());
  EXPECT_EQ(chain.initConnectedMediaInfo(), E_UNEXPECTED);

  ASSERT_EQ(chain.init(), S_OK);
  filters.push_back(nullptr);
  ASSERT_EQ(chain.getFilters(filters), S_OK);
  ASSERT_EQ(filters.size(), 3u);
  EXPECT_EQ(filters[0], nullptr);
  EXPECT_STREQ(filters[1]->getName(), "KIVO Sample Grabber");
  EXPECT_STREQ(filters[2]->getName(), "KIVO Null Renderer");

  // A second init leaves the first grabber and sink in place.
  EXPECT_EQ(chain.init(), E_UNEXPECTED);
  std::vector<Filter*> again;
  ASSERT_EQ(chain.getFilters(again), S_OK);
  EXPECT_EQ(again[0], filters[1]);
  EXPECT_EQ(again[1], filters[2]);
  EXPECT_EQ(chain.getConnectedMediaInfo(), nullptr);
}

TEST_F(SampleGrabberChainTest, UninitThenInitBuildsNewFiltersWithTheSameRequest) {
  SampleGrabberChain chain(nullptr, videoRequest(MEDIASUBTYPE_YUY2));
  ASSERT_EQ(chain.init(), S_OK);
  std::vector<Filter*> first;
  ASSERT_EQ(chain.getFilters(first), S_OK);
  const CComPtr<IBaseFilter> firstGrabber = first[0]->getInterface();
  chain.uninit();
  std::vector<Filter*> none;
  EXPECT_EQ(chain.getFilters(none), E_UNEXPECTED);

  ASSERT_EQ(chain.init(), S_OK);
  std::vector<Filter*> second;
  ASSERT_EQ(chain.getFilters(second), S_OK);
  EXPECT_NE(second[0]->getInterface(), firstGrabber);
  EXPECT_EQ(chain.getMediaType()->subtype, MEDIASUBTYPE_YUY2);
  EXPECT_EQ(chain.getMediaType()->majortype, MEDIATYPE_Video);
}

TEST_F(SampleGrabberChainTest, FileGraphRequestsFollowTheFormatEnumerations) {
  FileCaptureGraph graph(L"unused.avi");
  graph.setVideoCallback(&callback, FileCaptureGraph::FRAME_YUY2);
  const CMediaType* video = Access::videoChain(graph)->getMediaType();
  EXPECT_EQ(video->majortype, MEDIATYPE_Video);
  EXPECT_EQ(video->subtype, MEDIASUBTYPE_YUY2);
  EXPECT_EQ(video->formattype, GUID_NULL);
  EXPECT_EQ(video->pbFormat, nullptr);
  EXPECT_TRUE(video->bFixedSizeSamples);
  EXPECT_EQ(video->lSampleSize, 1u);

  graph.setVideoCallback(&callback, static_cast<FileCaptureGraph::VideoFrameFormat>(7));
  EXPECT_EQ(Access::videoChain(graph)->getMediaType()->subtype, GUID_NULL);
  graph.setVideoCallback(&callback, FileCaptureGraph::FRAME_RGB24);
  EXPECT_EQ(Access::videoChain(graph)->getMediaType()->subtype, MEDIASUBTYPE_RGB24);

  EXPECT_EQ(Access::audioChain(graph), nullptr);
  graph.setAudioCallback(&callback, FileCaptureGraph::SAMPLE_PCM);
  EXPECT_EQ(Access::audioChain(graph)->getMediaType()->majortype, MEDIATYPE_Audio);
  EXPECT_EQ(Access::audioChain(graph)->getMediaType()->subtype, MEDIASUBTYPE_PCM);
  graph.setAudioCallback(&callback, static_cast<FileCaptureGraph::AudioSampleFormat>(3));
  EXPECT_EQ(Access::audioChain(graph)->getMediaType()->subtype, GUID_NULL);
}

TEST_F(SampleGrabberChainTest, MissingChainsAreNotAnError) {
  FileCaptureGraph graph(L"unused.avi");
  Filter* head = reinterpret_cast<Filter*>(0x1);
  EXPECT_EQ(Access::initAndAddChain(graph, nullptr), S_OK);
  EXPECT_EQ(Access::connectChain(graph, nullptr), S_OK);
  EXPECT_EQ(Access::getChainHead(graph, nullptr, head), S_OK);
  EXPECT_EQ(head, reinterpret_cast<Filter*>(0x1));

  SampleGrabberChain uninitialised(nullptr, videoRequest(MEDIASUBTYPE_RGB24));
  EXPECT_EQ(Access::getChainHead(graph, &uninitialised, head), E_UNEXPECTED);
}

}  // namespace
}  // namespace kivo
