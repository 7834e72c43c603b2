// VideoCaptureGraph against a fake device and fake graph objects: the order
// of its DirectShow calls, what survives a rebuild, format selection and
// reset.

#include <kivo/video_capability.h>
#include <kivo/video_caps.h>
#include <kivo/video_inputs.h>

#include "fake_capture_device.h"

namespace kivo::test {
namespace {

using ::testing::_;
using ::testing::AnyNumber;
using ::testing::ElementsAre;
using ::testing::Eq;
using ::testing::InSequence;
using ::testing::Pointee;
using ::testing::Return;
using ::testing::StrEq;

std::vector<std::string> names(const VideoCaptureGraph& graph) {
  std::vector<std::string> result;
  if (const VideoCaps* caps = graph.getVideoCapabilities()) {
    for (const VideoCapability& capability : caps->getCapabilityList())
      result.push_back(capability.getFullName());
  }
  return result;
}

LONG widthOf(const AM_MEDIA_TYPE& type) {
  const VIDEOINFOHEADER* header = videoHeader(type);
  return header ? header->bmiHeader.biWidth : -1;
}

using VideoCaptureGraphTest = VideoGraphTest;

TEST_F(VideoCaptureGraphTest, NewGraphHoldsOnlyItsDeviceCopy) {
  threeFormats();
  const long queriesBefore = fake_.device.queries();
  auto graph = makeGraph();
  EXPECT_EQ(fake_.device.queries(), queriesBefore);  // no DirectShow call
  EXPECT_EQ(objects_.graphsCreated(), 0);
  EXPECT_EQ(fake_.device.refs(), 2);  // the host's device and the graph's copy

  EXPECT_EQ(graph->getVideoCapabilities(), nullptr);
  EXPECT_EQ(graph->getVideoInputs(), nullptr);
  EXPECT_EQ(graph->getMediaCB(), nullptr);
  EXPECT_TRUE(graph->getFrameRates().empty());
  CMediaType type;
  EXPECT_EQ(graph->getSampleGrabberMediaType(type), E_FAIL);
  EXPECT_EQ(graph->lookupCapIDByName("YUY2_640x480"), 0);
  graph->setSelectedCapID(0);  // nothing to select from: ignored
  EXPECT_TRUE(graph->getFrameRates().empty());

  graph.reset();
  EXPECT_EQ(fake_.device.refs(), 1);
}

TEST_F(VideoCaptureGraphTest, FirstRenderBuildsThePathThenReadsTheDevice) {
  threeFormats();
  fake_.offerVideoControl();
  fake_.frameIntervals = {333333, 666666};
  auto graph = makeGraph();
  {
    InSequence order;
    EXPECT_CALL(fake_.graph, AddFilter(Eq(&fake_.device), StrEq(L"Fake Camera")));
    EXPECT_CALL(fake_.graph, AddFilter(_, StrEq(L"KIVO Null Renderer")));
    EXPECT_CALL(fake_.builder,
                FindInterface(Pointee(Eq(PIN_CATEGORY_CAPTURE)), Pointee(Eq(MEDIATYPE_Interleaved)),
                              Eq(&fake_.device), _, _));
    EXPECT_CALL(fake_.builder,
                FindInterface(Pointee(Eq(PIN_CATEGORY_CAPTURE)), Pointee(Eq(MEDIATYPE_Video)),
                              Eq(&fake_.device), _, _));
    EXPECT_CALL(fake_.graph, AddFilter(_, StrEq(L"KIVO Sample Grabber")));
    EXPECT_CALL(fake_.builder,
                RenderStream(Pointee(Eq(PIN_CATEGORY_CAPTURE)), Pointee(Eq(MEDIATYPE_Video)),
                             Eq(static_cast<IUnknown*>(&fake_.device)), nullptr, _));
    EXPECT_CALL(fake_.config, GetNumberOfCapabilities(_, _));
  }
  // Nothing is selected yet: the device keeps its format on the first build.
  EXPECT_CALL(fake_.config, SetFormat(_)).Times(0);

  ASSERT_EQ(graph->render(false), S_OK);
  EXPECT_TRUE(graph->isRendered());
  EXPECT_EQ(names(*graph),
            (std::vector<std::string>{"YUY2_640x480", "YUY2_320x240", "RGB24_160x120"}));
  EXPECT_EQ(graph->getVideoCapabilities()->getCapabilityList()[1].getCapabilityID(), 2);
  EXPECT_EQ(graph->getFrameRates().size(), 2u);  // those of position 0
  ASSERT_NE(graph->getVideoInputs(), nullptr);
  EXPECT_EQ(graph->getVideoInputs()->getSelectedInput(), -1);  // no analog input
}

TEST_F(VideoCaptureGraphTest, RebuildAppliesTheSelectionWithoutReadingTheDeviceAgain) {
  threeFormats();
  fake_.offerCameraControl();
  fake_.cameraRanges[CameraControl_Zoom] = {100, 400, 10, 100, 2};
  int destroyed = 0;
  auto graph = makeGraph();
  graph->setMediaCB(new CountingCallback(&destroyed));
  ASSERT_EQ(graph->render(false), S_OK);
  EXPECT_TRUE(fake_.formatsSet.empty());
  BaseProperty* zoom = graph->getPropertyContainer().at("Zoom");

  EXPECT_CALL(fake_.config, GetNumberOfCapabilities(_, _)).Times(0);
  EXPECT_CALL(fake_.camera, GetRange(_, _, _, _, _, _)).Times(0);
  graph->setSelectedCapID(graph->lookupCapIDByName("YUY2_320x240"));
  ASSERT_EQ(graph->start(false), S_OK);  // every start builds the graph anew
  EXPECT_TRUE(graph->isRunning());
  EXPECT_EQ(objects_.graphsCreated(), 2);

  ASSERT_EQ(fake_.formatsSet.size(), 1u);
  EXPECT_EQ(fake_.formatsSet[0].subtype, MEDIASUBTYPE_YUY2);
  EXPECT_EQ(widthOf(fake_.formatsSet[0]), 320);
  // The grabber was restricted to the selected type before connecting.
  ASSERT_EQ(fake_.sinkAccepts.size(), 2u);
  EXPECT_TRUE(fake_.sinkAccepts[1][MEDIASUBTYPE_YUY2]);
  EXPECT_FALSE(fake_.sinkAccepts[1][MEDIASUBTYPE_RGB24]);

  // Formats, properties and callback are the same objects as before.
  EXPECT_EQ(names(*graph).size(), 3u);
  EXPECT_EQ(graph->getPropertyContainer().at("Zoom"), zoom);
  EXPECT_NE(graph->getMediaCB(), nullptr);
  EXPECT_EQ(graph->stop(), S_OK);
  EXPECT_EQ(destroyed, 0);
}

TEST_F(VideoCaptureGraphTest, CompressedFormatGivesTheHostRgb24) {
  fake_.formats.push_back(format(MEDIASUBTYPE_YUY2, 640, 480));
  fake_.formats.push_back(format(MEDIASUBTYPE_MJPG, 1280, 720));
  auto graph = makeGraph();
  ASSERT_EQ(graph->render(false), S_OK);
  graph->setSelectedCapID(graph->lookupCapIDByName("MJPG_1280x720"));
  ASSERT_EQ(graph->start(false), S_OK);

  // The device is set to the compressed format, the grabber wants RGB24.
  ASSERT_EQ(fake_.formatsSet.size(), 1u);
  EXPECT_EQ(fake_.formatsSet[0].subtype, MEDIASUBTYPE_MJPG);
  const auto& accepts = fake_.sinkAccepts.back();
  EXPECT_TRUE(accepts.at(MEDIASUBTYPE_RGB24));
  EXPECT_FALSE(accepts.at(MEDIASUBTYPE_MJPG));
  EXPECT_FALSE(accepts.at(MEDIASUBTYPE_YUY2));
}

TEST_F(VideoCaptureGraphTest, ZeroFourccFormatIsSetAsRgb24AndKeepsIt) {
  const GUID zero = fourccSubtype("\0\0\0\0");
  fake_.formats.push_back(format(MEDIASUBTYPE_YUY2, 640, 480));
  fake_.formats.push_back(format(zero, 320, 240));
  auto graph = makeGraph();
  ASSERT_EQ(graph->render(false), S_OK);
  EXPECT_EQ(names(*graph)[1], "RGB24_320x240");
  graph->setSelectedCapID(1);
  ASSERT_EQ(graph->start(false), S_OK);
  ASSERT_EQ(graph->stop(), S_OK);
  ASSERT_EQ(graph->start(false), S_OK);

  ASSERT_EQ(fake_.formatsSet.size(), 2u);
  for (const CMediaType& set : fake_.formatsSet) EXPECT_EQ(set.subtype, MEDIASUBTYPE_RGB24);
  EXPECT_TRUE(fake_.sinkAccepts.back().at(MEDIASUBTYPE_RGB24));
}

TEST_F(VideoCaptureGraphTest, RefusedConnectionIsRetriedForAnyVideo) {
  threeFormats();
  auto graph = makeGraph();
  ASSERT_EQ(graph->render(false), S_OK);
  graph->setSelectedCapID(1);

  fake_.renderStatus = {VFW_E_CANNOT_CONNECT, S_OK};
  ASSERT_EQ(graph->start(false), S_OK);
  ASSERT_EQ(fake_.sinkAccepts.size(), 3u);
  EXPECT_FALSE(fake_.sinkAccepts[1].at(MEDIASUBTYPE_RGB24));  // first try: YUY2 only
  EXPECT_TRUE(fake_.sinkAccepts[2].at(MEDIASUBTYPE_RGB24));   // retry: any video
  EXPECT_TRUE(fake_.sinkAccepts[2].at(MEDIASUBTYPE_YUY2));
  EXPECT_EQ(graph->stop(), S_OK);

  // When the retry fails as well, so does the render, and nothing is left.
  fake_.renderStatus = {VFW_E_CANNOT_CONNECT, VFW_E_NO_ACCEPTABLE_TYPES};
  EXPECT_EQ(graph->start(false), VFW_E_NO_ACCEPTABLE_TYPES);
  EXPECT_FALSE(graph->isRendered());
  EXPECT_FALSE(graph->isRunning());
  EXPECT_EQ(names(*graph).size(), 3u);  // the formats outlive the failed build
}

TEST_F(VideoCaptureGraphTest, FailuresWhileBuildingAreReturnedAndLeaveNothing) {
  threeFormats();
  EXPECT_CALL(fake_.graph, AddFilter(_, _)).Times(AnyNumber());
  EXPECT_CALL(fake_.builder, FindInterface(_, _, _, _, _)).Times(AnyNumber());
  {
    auto graph = makeGraph();
    EXPECT_CALL(fake_.graph, AddFilter(Eq(&fake_.device), _))
        .WillOnce(Return(E_OUTOFMEMORY))
        .RetiresOnSaturation();
    EXPECT_EQ(graph->render(false), E_OUTOFMEMORY);
    EXPECT_FALSE(graph->isRendered());
    EXPECT_EQ(graph->getVideoInputs(), nullptr);
  }
  {
    auto graph = makeGraph();
    EXPECT_CALL(fake_.builder, FindInterface(_, _, _, _, _))
        .WillOnce(Return(E_NOINTERFACE))
        .WillOnce(Return(E_FAIL))
        .RetiresOnSaturation();
    EXPECT_EQ(graph->render(false), E_FAIL);
    EXPECT_FALSE(graph->isRendered());
    EXPECT_EQ(graph->getVideoCapabilities(), nullptr);
  }
}

TEST_F(VideoCaptureGraphTest, LookupMatchesWholeNamesExactly) {
  fake_.formats.push_back(format(MEDIASUBTYPE_YUY2, 640, 480));
  fake_.formats.push_back(format(MEDIASUBTYPE_RGB24, 320, 240));
  fake_.formats.push_back(format(MEDIASUBTYPE_RGB24, 320, 240));  // same name again
  fake_.formats.push_back(format(MEDIASUBTYPE_YUY2, 64, 48));
  auto graph = makeGraph();
  ASSERT_EQ(graph->render(false), S_OK);
  EXPECT_EQ(graph->lookupCapIDByName("RGB24_320x240"), 1);  // the earlier one wins
  EXPECT_EQ(graph->lookupCapIDByName("YUY2_64x48"), 3);
  EXPECT_EQ(graph->lookupCapIDByName("yuy2_64x48"), 0);
  EXPECT_EQ(graph->lookupCapIDByName("YUY2_64x4"), 0);
  EXPECT_EQ(graph->lookupCapIDByName(""), 0);
  EXPECT_EQ(graph->lookupCapIDByName(nullptr), 0);
}

TEST_F(VideoCaptureGraphTest, PositionsOutsideTheListAreRefused) {
  threeFormats();
  fake_.offerVideoControl();
  fake_.frameIntervals = {333333};
  auto graph = makeGraph();
  ASSERT_EQ(graph->render(false), S_OK);
  graph->setSelectedCapID(2);
  graph->setSelectedCapID(3);  // one past the end
  graph->setSelectedCapID(-2);
  graph->setSelectedCapID(1 << 30);
  ASSERT_EQ(graph->start(false), S_OK);
  ASSERT_EQ(fake_.formatsSet.size(), 1u);
  EXPECT_EQ(fake_.formatsSet[0].subtype, MEDIASUBTYPE_RGB24);  // position 2 still
  EXPECT_EQ(graph->getFrameRates().size(), 1u);

  // -1 clears the selection: the next build leaves the device's format.
  graph->setSelectedCapID(-1);
  EXPECT_TRUE(graph->getFrameRates().empty());
  ASSERT_EQ(graph->stop(), S_OK);
  ASSERT_EQ(graph->start(false), S_OK);
  EXPECT_EQ(fake_.formatsSet.size(), 1u);
  EXPECT_TRUE(fake_.sinkAccepts.back().at(MEDIASUBTYPE_MJPG));  // grabber left open
}

TEST_F(VideoCaptureGraphTest, ResetDiscardsEverythingTheDeviceGaveAndTheCallback) {
  threeFormats();
  fake_.offerVideoControl();
  fake_.offerCameraControl();
  fake_.cameraRanges[CameraControl_Focus] = {0, 250, 5, 125, 3};
  fake_.frameIntervals = {333333};
  int destroyed = 0;
  auto graph = makeGraph();
  graph->setMediaCB(new CountingCallback(&destroyed));
  ASSERT_EQ(graph->start(false), S_OK);
  EXPECT_EQ(graph->getPropertyContainer().size(), 4u);  // Focus, FocusMode, two flips

  graph->reset();
  EXPECT_FALSE(graph->isRendered());
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(graph->getMediaCB(), nullptr);
  EXPECT_EQ(graph->getVideoCapabilities(), nullptr);
  EXPECT_EQ(graph->getVideoInputs(), nullptr);
  EXPECT_TRUE(graph->getFrameRates().empty());
  EXPECT_TRUE(graph->getPropertyContainer().empty());
  EXPECT_EQ(fake_.camera.refs(), 0);
  EXPECT_EQ(fake_.capturePin.refs(), 0);
  EXPECT_EQ(fake_.device.refs(), 2);

  // The next render starts over; destruction does not destroy the callback
  // again.
  ASSERT_EQ(graph->render(false), S_OK);
  EXPECT_EQ(names(*graph).size(), 3u);
  EXPECT_EQ(graph->getPropertyContainer().size(), 4u);
  graph.reset();
  EXPECT_EQ(destroyed, 1);
}

TEST_F(VideoCaptureGraphTest, RendererModeChoosesTheSinkAndTheFallback) {
  threeFormats();
  for (int mode : {0, 1, 2}) {
    SCOPED_TRACE(mode);
    fake_.filtersAdded.clear();
    auto graph = makeGraph(mode);
    ASSERT_EQ(graph->render(false), S_OK);
    EXPECT_THAT(
        fake_.filtersAdded,
        ElementsAre(L"Fake Camera", mode == 1 ? L"KIVO Video Renderer" : L"KIVO Null Renderer",
                    L"KIVO Sample Grabber"));
    if (mode != 0) {
      EXPECT_EQ(TestAccess<VideoCaptureGraph>::shuffleFiltersAndReRender(*graph), E_FAIL);
    }
  }
}

TEST_F(VideoCaptureGraphTest, UnreadableFormatsWithoutTheFallbackFailTheRender) {
  // The pin reports no format, and the grabber's input is not connected
  // (the fake builder connects nothing real): nothing can be read.
  auto graph = makeGraph(2);
  EXPECT_EQ(graph->render(false), E_FAIL);
  EXPECT_FALSE(graph->isRendered());
  EXPECT_TRUE(graph->getPropertyContainer().empty());
  EXPECT_TRUE(graph->getFrameRates().empty());
}

}  // namespace
}  // namespace kivo::test
