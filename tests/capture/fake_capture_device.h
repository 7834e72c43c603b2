#pragma once

// A capture device of counted fakes, wired as a real one behaves in a graph, and its graph objects.

#include <kivo/mediatype.h>
#include <kivo/video_capability.h>
#include <kivo/video_capture_filter.h>
#include <kivo/video_capture_graph.h>
#include <kivo/video_caps.h>

#include "foundation/fourcc.h"
#include "support/fake_graph_objects.h"
#include "support/mocks/device_settings.h"
#include "support/mocks/ibasefilter.h"
#include "support/mocks/icapturegraphbuilder2.h"
#include "support/mocks/ienumpins.h"
#include "support/mocks/igraphbuilder.h"
#include "support/mocks/imediacontrol.h"
#include "support/mocks/ipin.h"
#include "support/wait.h"

#include <dvdmedia.h>

#include <cstring>
#include <memory>
#include <vector>

namespace kivo {

template <>
struct TestAccess<VideoCapability> {
  static VideoCapability make(const AM_MEDIA_TYPE* type, int id,
                              const VIDEO_STREAM_CONFIG_CAPS* caps) {
    return VideoCapability(type, id, caps);
  }
  static const AM_MEDIA_TYPE* mediaType(const VideoCapability& c) { return c.getMediaType(); }
};

template <>
struct TestAccess<VideoCaps> {
  static std::unique_ptr<VideoCaps> make() { return std::unique_ptr<VideoCaps>(new VideoCaps()); }
  static void initialize(VideoCaps& caps, IPin* pin) { caps.initialize(CComPtr<IPin>(pin)); }
};

namespace test {

using CapAccess = TestAccess<VideoCapability>;
using CapsAccess = TestAccess<VideoCaps>;
using namespace ::testing;

inline VIDEO_STREAM_CONFIG_CAPS capsOf(LONG maxW, LONG maxH, LONG minW, LONG minH) {
  VIDEO_STREAM_CONFIG_CAPS caps = {};
  caps.guid = FORMAT_VideoInfo, caps.MaxOutputSize = {maxW, maxH},
  caps.MinOutputSize = {minW, minH};
  return caps;
}

// A video type with a VIDEOINFOHEADER block.
inline CMediaType videoType(const GUID& subtype, LONG width, LONG height) {
  CMediaType type(&MEDIATYPE_Video);
  type.SetSubtype(&subtype);
  type.SetFormatType(&FORMAT_VideoInfo);
  auto& header =
      *reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
  header.AvgTimePerFrame = 333333;
  const DWORD compression = isFourccSubtype(subtype) ? subtype.Data1 : BI_RGB;
  header.bmiHeader = {
      sizeof(BITMAPINFOHEADER), width, height, 1, 16, compression, 1234, 0, 0, 0, 0};
  type.SetSampleSize(1234);
  return type;
}

// A capture pin whose IAMStreamConfig reports `formats`; RenderStream "connects" it downstream.
class FakeCaptureDevice {
 public:
  FakeCaptureDevice() {
    devicePins.walk({&capturePin});
    ON_CALL(device, EnumPins).WillByDefault([this](IEnumPins** out) {
      return devicePins.Reset(), HandOut<0>(&devicePins)(out);
    });
    ON_CALL(device, QueryFilterInfo).WillByDefault(Return(E_NOTIMPL));
    ON_CALL(capturePin, QueryDirection).WillByDefault(ReportDirection(PINDIR_OUTPUT));
    ON_CALL(capturePin, QueryPinInfo).WillByDefault(ReportPinInfo(&device, PINDIR_OUTPUT));
    ON_CALL(capturePin, ConnectedTo).WillByDefault([this](IPin** out) -> HRESULT {
      *out = nullptr;
      return connected ? HandOut<0>(&downstreamPin)(out) : VFW_E_NOT_CONNECTED;
    });
    ON_CALL(capturePin, EnumMediaTypes).WillByDefault(Return(E_NOTIMPL));
    capturePin.answer(IID_IAMStreamConfig, &config);
    ON_CALL(downstreamPin, QueryDirection).WillByDefault(ReportDirection(PINDIR_INPUT));
    ON_CALL(downstreamPin, QueryPinInfo).WillByDefault(ReportPinInfo(&downstream, PINDIR_INPUT));
    ON_CALL(downstreamPin, ConnectedTo).WillByDefault(HandOut<0>(&capturePin));
    ON_CALL(downstream, EnumPins).WillByDefault(Return(E_NOTIMPL));

    ON_CALL(config, GetNumberOfCapabilities).WillByDefault([this](int* count, int* size) {
      return *count = int(formats.size()), *size = sizeof(VIDEO_STREAM_CONFIG_CAPS), S_OK;
    });
    ON_CALL(config, GetStreamCaps).WillByDefault([this](int i, AM_MEDIA_TYPE** type, BYTE* caps) {
      if (i < 0 || i >= int(formats.size())) return E_INVALIDARG;
      *type = CreateMediaType(&formats[i]);
      const auto& bitmap = reinterpret_cast<const VIDEOINFOHEADER*>(formats[i].pbFormat)->bmiHeader;
      const auto reported =
          capsOf(bitmap.biWidth, bitmap.biHeight, bitmap.biWidth, bitmap.biHeight);
      return std::memcpy(caps, &reported, sizeof(reported)), S_OK;
    });
    ON_CALL(config, GetFormat).WillByDefault(Return(E_NOTIMPL));

    ON_CALL(graph, Disconnect).WillByDefault([this](IPin* pin) {
      return connected = connected && pin != &capturePin, S_OK;
    });
    graph.answer(IID_IMediaControl, &control);
    ON_CALL(builder, FindInterface)
        .WillByDefault([this](const GUID*, const GUID* type, IBaseFilter*, REFIID iid, void** out) {
          *out = nullptr;
          if (iid != IID_IAMStreamConfig || !type || *type != MEDIATYPE_Video) return E_NOINTERFACE;
          return HandOut<0>(static_cast<IAMStreamConfig*>(&config))(
              reinterpret_cast<IAMStreamConfig**>(out));
        });
    ON_CALL(builder, RenderStream).WillByDefault([this](auto&&...) {
      return connected = true, S_OK;
    });
    ON_CALL(builder, FindPin).WillByDefault(Return(E_FAIL));
  }

  NiceMock<MockBaseFilter> device, downstream;
  NiceMock<MockPin> capturePin, downstreamPin;
  NiceMock<MockEnumPins> devicePins;
  NiceMock<MockAMStreamConfig> config;
  NiceMock<MockMediaControl> control;
  NiceMock<MockGraphBuilder> graph;
  NiceMock<MockCaptureGraphBuilder2> builder;

  std::vector<CMediaType> formats;  // what the device reports
  bool connected = false;
};

}  // namespace test
}  // namespace kivo
