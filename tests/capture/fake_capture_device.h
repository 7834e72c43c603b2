#pragma once

// A capture device made of counted COM fakes, wired as a real one behaves
// in a graph, plus fake graph objects; for the unit tests of
// VideoCaptureGraph. The graph's own sample grabber and renderer are the
// platform's real filters.

#include <kivo/media_cb.h>
#include <kivo/mediatype.h>
#include <kivo/video_capture_filter.h>
#include <kivo/video_capture_graph.h>

#include "support/com_fake.h"
#include "support/fake_graph_objects.h"
#include "support/mocks/iamanalogvideodecoder.h"
#include "support/mocks/iamcameracontrol.h"
#include "support/mocks/iamstreamconfig.h"
#include "support/mocks/iamvideocontrol.h"
#include "support/mocks/iamvideoprocamp.h"
#include "support/mocks/ibasefilter.h"
#include "support/mocks/icapturegraphbuilder2.h"
#include "support/mocks/ienumpins.h"
#include "support/mocks/igraphbuilder.h"
#include "support/mocks/imediacontrol.h"
#include "support/mocks/ipin.h"
#include "support/wait.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <dvdmedia.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <map>
#include <memory>
#include <vector>

namespace kivo {

// The graph's private operations, for the unit tests.
template <>
struct TestAccess<VideoCaptureGraph> {
  static HRESULT shuffleFiltersAndReRender(VideoCaptureGraph& graph) {
    return graph.shuffleFiltersAndReRender();
  }
  static void addProperty(VideoCaptureGraph& graph, BaseProperty* property) {
    graph.addProperty(property);
  }
};

namespace test {

using ::testing::NiceMock;

// A VIDEOINFOHEADER (or VIDEOINFOHEADER2) video type of the given subtype,
// size and frame interval.
inline CMediaType videoType(const GUID& subtype, LONG width, LONG height, LONGLONG interval,
                            bool vih2 = false) {
  CMediaType type(&MEDIATYPE_Video);
  type.SetSubtype(&subtype);
  BITMAPINFOHEADER* bmi;
  if (vih2) {
    type.SetFormatType(&FORMAT_VideoInfo2);
    auto* header =
        reinterpret_cast<VIDEOINFOHEADER2*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER2)));
    header->AvgTimePerFrame = interval;
    bmi = &header->bmiHeader;
  } else {
    type.SetFormatType(&FORMAT_VideoInfo);
    auto* header =
        reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    header->AvgTimePerFrame = interval;
    bmi = &header->bmiHeader;
  }
  bmi->biSize = sizeof(BITMAPINFOHEADER);
  bmi->biWidth = width;
  bmi->biHeight = height;
  bmi->biPlanes = 1;
  bmi->biBitCount = 16;
  const GUID fourccBase = {0, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
  const bool fourcc = std::memcmp(&subtype.Data2, &fourccBase.Data2, 12) == 0;
  bmi->biCompression = fourcc ? subtype.Data1 : BI_RGB;
  return type;
}

inline const VIDEOINFOHEADER* videoHeader(const AM_MEDIA_TYPE& type) {
  if (type.formattype != FORMAT_VideoInfo || type.cbFormat < sizeof(VIDEOINFOHEADER))
    return nullptr;
  return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
}

// The FOURCC subtype GUID of a four-character code.
inline GUID fourccSubtype(const char code[5]) {
  GUID guid = {0, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
  std::memcpy(&guid.Data1, code, 4);
  return guid;
}

struct FakeFormat {
  CMediaType type;
  VIDEO_STREAM_CONFIG_CAPS caps;
};

inline FakeFormat format(const GUID& subtype, LONG width, LONG height, bool vih2 = false) {
  FakeFormat result{videoType(subtype, width, height, 333333, vih2), {}};
  result.caps.guid = vih2 ? FORMAT_VideoInfo2 : FORMAT_VideoInfo;
  result.caps.MaxOutputSize = {width, height};
  result.caps.MinOutputSize = {width, height};
  result.caps.MinFrameInterval = 333333;
  result.caps.MaxFrameInterval = 2000000;
  return result;
}

// What a ranged device setting reports to GetRange.
struct FakeRange {
  LONG minimum, maximum, step, defaultValue, capsFlags;
};

// gmock actions of the device's settings.
inline auto rangeAction(std::map<LONG, FakeRange>* ranges) {
  return [ranges](LONG property, LONG* minimum, LONG* maximum, LONG* step, LONG* defaultValue,
                  LONG* capsFlags) -> HRESULT {
    auto found = ranges->find(property);
    if (found == ranges->end()) return E_PROP_ID_UNSUPPORTED;
    *minimum = found->second.minimum;
    *maximum = found->second.maximum;
    *step = found->second.step;
    *defaultValue = found->second.defaultValue;
    *capsFlags = found->second.capsFlags;
    return S_OK;
  };
}

inline auto reportLong(LONG value) {
  return [value](LONG* out) {
    *out = value;
    return S_OK;
  };
}

// The host's callback: counts its destruction.
class CountingCallback : public IMediaCB {
 public:
  explicit CountingCallback(int* destroyed) : destroyed_(destroyed) {}
  long processSample(double, IMediaSample*) override { return S_OK; }

 protected:
  ~CountingCallback() override { ++*destroyed_; }

 private:
  int* destroyed_;
};

// The device: one capture output pin with IAMStreamConfig; camera control,
// proc-amp, video control and analog decoder on the filter once a test
// offers them (before that, the filter answers E_NOINTERFACE). RenderStream
// "connects" the capture pin to a downstream pin.
class FakeCaptureDevice {
 public:
  FakeCaptureDevice() {
    using ::testing::_;
    using ::testing::Return;

    devicePins.walk({&capturePin});
    ON_CALL(device, EnumPins).WillByDefault([this](IEnumPins** out) -> HRESULT {
      devicePins.Reset();
      devicePins.AddRef();
      *out = &devicePins;
      return S_OK;
    });
    ON_CALL(device, FindPin).WillByDefault(Return(E_NOTIMPL));
    ON_CALL(device, QueryFilterInfo).WillByDefault(Return(E_NOTIMPL));

    ON_CALL(capturePin, QueryDirection).WillByDefault(ReportDirection(PINDIR_OUTPUT));
    ON_CALL(capturePin, QueryPinInfo).WillByDefault(ReportPinInfo(&device, PINDIR_OUTPUT));
    ON_CALL(capturePin, ConnectedTo).WillByDefault([this](IPin** out) -> HRESULT {
      *out = nullptr;
      if (!connected) return VFW_E_NOT_CONNECTED;
      downstreamPin.AddRef();
      *out = &downstreamPin;
      return S_OK;
    });
    ON_CALL(capturePin, EnumMediaTypes).WillByDefault(Return(E_NOTIMPL));
    capturePin.answer(IID_IAMStreamConfig, &config);

    ON_CALL(downstreamPin, QueryDirection).WillByDefault(ReportDirection(PINDIR_INPUT));
    ON_CALL(downstreamPin, QueryPinInfo).WillByDefault(ReportPinInfo(&downstream, PINDIR_INPUT));
    ON_CALL(downstreamPin, ConnectedTo).WillByDefault(HandOut<0>(&capturePin));
    ON_CALL(downstream, EnumPins).WillByDefault(Return(E_NOTIMPL));

    ON_CALL(config, GetNumberOfCapabilities).WillByDefault([this](int* count, int* size) {
      *count = static_cast<int>(formats.size());
      *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
      return S_OK;
    });
    ON_CALL(config, GetStreamCaps)
        .WillByDefault([this](int index, AM_MEDIA_TYPE** type, BYTE* caps) -> HRESULT {
          if (index < 0 || index >= static_cast<int>(formats.size())) return E_INVALIDARG;
          *type = CreateMediaType(&formats[index].type);
          std::memcpy(caps, &formats[index].caps, sizeof(VIDEO_STREAM_CONFIG_CAPS));
          return S_OK;
        });
    ON_CALL(config, GetFormat).WillByDefault(Return(E_NOTIMPL));
    ON_CALL(config, SetFormat).WillByDefault([this](AM_MEDIA_TYPE* type) {
      formatsSet.push_back(CMediaType(*type));
      return S_OK;
    });

    ON_CALL(videoControl, GetFrameRateList)
        .WillByDefault([this](IPin*, LONG, SIZE, LONG* count, LONGLONG** list) -> HRESULT {
          if (FAILED(frameRateStatus)) return frameRateStatus;
          *count = static_cast<LONG>(frameIntervals.size());
          *list = static_cast<LONGLONG*>(CoTaskMemAlloc(sizeof(LONGLONG) * (*count + 1)));
          for (size_t i = 0; i < frameIntervals.size(); ++i) (*list)[i] = frameIntervals[i];
          return S_OK;
        });
    ON_CALL(videoControl, GetCaps).WillByDefault([](IPin*, LONG* flags) {
      *flags = VideoControlFlag_FlipHorizontal | VideoControlFlag_FlipVertical;
      return S_OK;
    });
    ON_CALL(videoControl, GetMode).WillByDefault(Return(E_NOTIMPL));

    ON_CALL(camera, GetRange).WillByDefault(rangeAction(&cameraRanges));
    ON_CALL(camera, Get).WillByDefault(Return(E_NOTIMPL));
    ON_CALL(procAmp, GetRange).WillByDefault(rangeAction(&procAmpRanges));
    ON_CALL(procAmp, Get).WillByDefault(Return(E_NOTIMPL));

    ON_CALL(decoder, get_OutputEnable).WillByDefault(reportLong(1));
    ON_CALL(decoder, get_VCRHorizontalLocking).WillByDefault(reportLong(0));
    ON_CALL(decoder, get_HorizontalLocked).WillByDefault(reportLong(1));
    ON_CALL(decoder, get_TVFormat).WillByDefault(reportLong(AnalogVideo_NTSC_M));
    ON_CALL(decoder, get_AvailableTVFormats)
        .WillByDefault(reportLong(AnalogVideo_NTSC_M | AnalogVideo_PAL_B));
    ON_CALL(decoder, get_NumberOfLines).WillByDefault(Return(E_NOTIMPL));

    ON_CALL(graph, AddFilter).WillByDefault([this](IBaseFilter* filter, LPCWSTR name) {
      filtersAdded.push_back(name ? name : L"");
      if (name && std::wcscmp(name, L"KIVO Sample Grabber") == 0) grabber = filter;
      return S_OK;
    });
    ON_CALL(graph, RemoveFilter).WillByDefault(Return(S_OK));
    ON_CALL(graph, Disconnect).WillByDefault([this](IPin* pin) {
      if (pin == &capturePin) connected = false;
      return S_OK;
    });
    graph.answer(IID_IMediaControl, &control);
    ON_CALL(control, Run).WillByDefault(Return(S_OK));
    ON_CALL(control, Stop).WillByDefault(Return(S_OK));

    ON_CALL(builder, SetFiltergraph).WillByDefault(Return(S_OK));
    ON_CALL(builder, FindInterface)
        .WillByDefault([this](const GUID*, const GUID* type, IBaseFilter*, REFIID iid,
                              void** object) -> HRESULT {
          *object = nullptr;
          if (iid != IID_IAMStreamConfig || !type || *type != MEDIATYPE_Video) return E_NOINTERFACE;
          config.AddRef();
          *object = static_cast<IAMStreamConfig*>(&config);
          return S_OK;
        });
    ON_CALL(builder, RenderStream)
        .WillByDefault([this](const GUID*, const GUID*, IUnknown*, IBaseFilter*,
                              IBaseFilter* sink) -> HRESULT {
          sinkAccepts.push_back(accepted(sink));
          HRESULT status = S_OK;
          if (!renderStatus.empty()) {
            status = renderStatus.front();
            renderStatus.erase(renderStatus.begin());
          }
          if (FAILED(status)) return status;
          connected = true;
          return S_OK;
        });
    ON_CALL(builder, FindPin)
        .WillByDefault([this](IUnknown*, PIN_DIRECTION, const GUID*, const GUID*, BOOL, int,
                              IPin** pin) -> HRESULT {
          *pin = nullptr;
          if (!captureCategory) return E_FAIL;
          capturePin.AddRef();
          *pin = &capturePin;
          return S_OK;
        });
  }

  void offerCameraControl() { device.answer(IID_IAMCameraControl, &camera); }
  void offerProcAmp() { device.answer(IID_IAMVideoProcAmp, &procAmp); }
  void offerVideoControl() { device.answer(IID_IAMVideoControl, &videoControl); }
  void offerDecoder() { device.answer(IID_IAMAnalogVideoDecoder, &decoder); }

  // Which of the probe subtypes the sink's input pin accepts at the moment
  // RenderStream is called (the grabber's accepted type).
  std::map<GUID, bool, GuidLess> accepted(IBaseFilter* sink) {
    std::map<GUID, bool, GuidLess> result;
    if (!sink) return result;
    CComPtr<IEnumPins> pins;
    if (FAILED(sink->EnumPins(&pins)) || !pins) return result;
    CComPtr<IPin> pin;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
      PIN_DIRECTION direction;
      if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_INPUT) {
        for (const GUID& subtype : probeSubtypes) {
          CMediaType probe = videoType(subtype, 320, 240, 333333);
          result[subtype] = pin->QueryAccept(&probe) == S_OK;
        }
        break;
      }
      pin.Release();
    }
    return result;
  }

  // Fakes; declared before anything that may hold references on them.
  NiceMock<MockBaseFilter> device;
  NiceMock<MockPin> capturePin;
  NiceMock<MockPin> downstreamPin;
  NiceMock<MockBaseFilter> downstream;
  NiceMock<MockEnumPins> devicePins;
  NiceMock<MockAMStreamConfig> config;
  NiceMock<MockAMVideoControl> videoControl;
  NiceMock<MockAMCameraControl> camera;
  NiceMock<MockAMVideoProcAmp> procAmp;
  NiceMock<MockAMAnalogVideoDecoder> decoder;
  NiceMock<MockMediaControl> control;
  NiceMock<MockGraphBuilder> graph;
  NiceMock<MockCaptureGraphBuilder2> builder;

  // The device's behaviour.
  std::vector<FakeFormat> formats;
  std::vector<LONGLONG> frameIntervals;
  HRESULT frameRateStatus = S_OK;
  std::map<LONG, FakeRange> cameraRanges;
  std::map<LONG, FakeRange> procAmpRanges;
  bool captureCategory = true;        // FindPin finds the capture pin
  std::vector<HRESULT> renderStatus;  // results of the next RenderStream calls
  std::vector<GUID> probeSubtypes = {MEDIASUBTYPE_YUY2, MEDIASUBTYPE_RGB24, MEDIASUBTYPE_MJPG};

  // What happened.
  bool connected = false;
  std::vector<CMediaType> formatsSet;
  std::vector<std::wstring> filtersAdded;
  std::vector<std::map<GUID, bool, GuidLess>> sinkAccepts;
  IBaseFilter* grabber = nullptr;  // not counted: valid while the graph is built
};

// COM, the fake device and graph objects, and the device as a host hands it
// to a graph. Members are destroyed in reverse order: graphs a test makes
// go first, the fakes (which check their references) last.
class VideoGraphTest : public ::testing::Test {
 protected:
  VideoGraphTest() : objects_(&fake_.graph, &fake_.builder) {}

  std::unique_ptr<VideoCaptureGraph> makeGraph(int rendererMode = 0) {
    return std::unique_ptr<VideoCaptureGraph>(new VideoCaptureGraph(&source_, rendererMode));
  }

  // Three plain formats, the second one reported twice (as VIDEOINFOHEADER2
  // first, which is not listed).
  void threeFormats() {
    fake_.formats.push_back(format(MEDIASUBTYPE_YUY2, 640, 480));
    fake_.formats.push_back(format(MEDIASUBTYPE_YUY2, 640, 480, true));
    fake_.formats.push_back(format(MEDIASUBTYPE_YUY2, 320, 240));
    fake_.formats.push_back(format(MEDIASUBTYPE_RGB24, 160, 120));
  }

  ComScope com_;
  FakeCaptureDevice fake_;
  FakeGraphObjects objects_;
  VideoCaptureFilter source_{"Fake Camera", CComPtr<IBaseFilter>(&fake_.device), nullptr, nullptr};
};

}  // namespace test
}  // namespace kivo
