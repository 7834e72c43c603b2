// A host's view of the format classes: subtype names, media descriptions
// and connector inputs are reached through kivo.dll alone, and real
// DirectShow filters and pins that have no formats or crossbars to offer
// give empty results and get back every reference kivo took.

#include <kivo/comptr.h>
#include <kivo/dx_media_info.h>
#include <kivo/filter.h>
#include <kivo/mediatype.h>
#include <kivo/video_caps.h>
#include <kivo/video_inputs.h>
#include <kivo/video_subtype.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/wait.h"

namespace kivo {

// The format list's reading operations are private to the device graph; a
// host-side test reaches them the way the unit tests do.
template <>
struct TestAccess<VideoCaps> {
  static int readPin(IPin* pin) {
    std::unique_ptr<VideoCaps> caps(new VideoCaps());
    caps->initialize(CComPtr<IPin>(pin));
    return caps->getNumberOfCapabilities();
  }
};

namespace {

ULONG countReferences(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

TEST(FormatDescription, HostNamesSubtypesAndMediaTypesThroughTheDll) {
  VideoSubtype yuy2(nullptr, MEDIASUBTYPE_YUY2, 480);
  EXPECT_STREQ(yuy2.getName(), "YUY2");
  EXPECT_TRUE(yuy2.isYUV());
  VideoSubtype copy(yuy2);
  EXPECT_EQ(copy.getColorspaceType(), colorspace::TYPE_YUY2);
  EXPECT_EQ(VideoSubtype::identifyColorspaceCategory(copy.getColorspaceType()),
            colorspace::CATEGORY_YUV);

  CMediaType type(&MEDIATYPE_Video);
  type.SetSubtype(&MEDIASUBTYPE_RGB24);
  type.SetFormatType(&FORMAT_VideoInfo);
  auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
  vih->bmiHeader.biWidth = 320;
  vih->bmiHeader.biHeight = 240;
  vih->bmiHeader.biBitCount = 24;
  vih->AvgTimePerFrame = 400000;
  DXMediaInfo info(type);
  DXMediaInfo kept(info);
  EXPECT_TRUE(kept.containsVideo());
  EXPECT_EQ(kept.getFormatName(), "RGB24");
  EXPECT_EQ(kept.getVideoWidth(), 320);
  EXPECT_DOUBLE_EQ(kept.getAverageFrameRate(), 25.0);

  std::string name;
  util::audioFormatTagName(WAVE_FORMAT_PCM, name);
  EXPECT_EQ(name, "PCM");
  util::videoFormatName(FORMAT_MPEG2Video, "YUY2", name);
  EXPECT_EQ(name, "MPEG2");
}

TEST(FormatDescription, RealFiltersWithoutCrossbarsHaveNoInputs) {
  test::ComScope com;
  ASSERT_TRUE(SUCCEEDED(com.status()));
  for (const CLSID& clsid : {CLSID_NullRenderer, CLSID_SampleGrabber}) {
    CComPtr<IBaseFilter> object;
    ASSERT_EQ(object.CoCreateInstance(clsid), S_OK);
    const ULONG before = countReferences(object);
    {
      Filter filter("real", object, nullptr, nullptr);
      VideoInputs inputs(&filter);
      EXPECT_EQ(inputs.getNumberOfInputs(), 0u);
      EXPECT_EQ(inputs.getSelectedInput(), -1);
      EXPECT_EQ(inputs.setSelectedInput(0), E_POINTER);
    }
    EXPECT_EQ(countReferences(object), before);
  }
}

TEST(FormatDescription, RealPinsWithoutStreamConfigListOnlyVideoInfoTypes) {
  test::ComScope com;
  ASSERT_TRUE(SUCCEEDED(com.status()));
  for (const CLSID& clsid : {CLSID_NullRenderer, CLSID_SampleGrabber}) {
    CComPtr<IBaseFilter> object;
    ASSERT_EQ(object.CoCreateInstance(clsid), S_OK);
    CComPtr<IEnumPins> pins;
    ASSERT_EQ(object->EnumPins(&pins), S_OK);
    for (;;) {
      CComPtr<IPin> pin;
      if (pins->Next(1, &pin, nullptr) != S_OK) break;
      const ULONG before = countReferences(pin);
      // Unconnected pins of these filters offer no VIDEOINFOHEADER format.
      EXPECT_EQ(TestAccess<VideoCaps>::readPin(pin), 0);
      EXPECT_EQ(countReferences(pin), before);
    }
  }
}

}  // namespace
}  // namespace kivo
