// kivo's ready-made filters as a host creates them on this platform.

#include <kivo/dv_decoder.h>
#include <kivo/dx_sample_grabber.h>
#include <kivo/filter_creation_exception.h>
#include <kivo/null_sink.h>
#include <kivo/video_sink.h>

#include "support/wait.h"

#include <gtest/gtest.h>

namespace kivo::test {
namespace {

TEST(ReadyMadeFilters, NullSinkAndGrabberCarryTheirFixedNames) {
  ComScope com;
  NullSink sink;
  EXPECT_STREQ(sink.getName(), "KIVO Null Renderer");
  EXPECT_STREQ(sink.getUniqueString(), "");
  EXPECT_FALSE(sink.isVFW());
  ASSERT_NE(sink.getInterface(), nullptr);
  CLSID clsid = GUID_NULL;
  ASSERT_EQ(sink.getInterface()->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_NullRenderer));
  DXSampleGrabber grabber;
  EXPECT_STREQ(grabber.getName(), "KIVO Sample Grabber");
  EXPECT_NE(grabber.getInterface(), nullptr);
}

TEST(ReadyMadeFilters, VideoSinkIsCreatedWithADisplay) {
  ComScope com;
  VideoSink sink;
  EXPECT_STREQ(sink.getName(), "KIVO Video Renderer");
  ASSERT_NE(sink.getInterface(), nullptr);
  CLSID clsid = GUID_NULL;
  ASSERT_EQ(sink.getInterface()->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_VideoRenderer));
}

// This platform has no DV decoder registered.
TEST(ReadyMadeFilters, DVDecoderIsRefusedWhereThePlatformLacksIt) {
  ComScope com;
  try {
    DVDecoder decoder;
    FAIL() << "a DV decoder was created";
  } catch (const FilterCreationException& e) {
    EXPECT_STREQ(e.getID(), "kivo:filtercreationfailed");
    EXPECT_STREQ(e.getMessage(), FilterCreationException(REGDB_E_CLASSNOTREG).getMessage());
  }
}

}  // namespace
}  // namespace kivo::test
