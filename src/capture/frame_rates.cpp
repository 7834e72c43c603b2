// The frame rates of the selected format, and setting one of them.

#include <kivo/video_capability.h>
#include <kivo/video_capture_filter.h>
#include <kivo/video_capture_graph.h>
#include <kivo/util.h>
#include <kivo/video_caps.h>

namespace kivo {

double VideoCaptureGraph::convertToFramesPerSecond(LONGLONG interval) {
  if (interval == 0) return 0.0;
  return static_cast<double>(util::kUnitsPerSecond) / static_cast<double>(interval);
}

const VideoCaptureGraph::FrameRateMap& VideoCaptureGraph::getFrameRates() const {
  return frameRates;
}

const VideoCaptureGraph::FrameRateMap& VideoCaptureGraph::queryFrameRates() {
  frameRates.clear();
  if (!videoCaps || !filter) return frameRates;

  CComPtr<IAMVideoControl> control;
  if (FAILED(filter->getInterface().QueryInterface(&control)) || !control) return frameRates;
  const VideoCapability* capability = selectedCapability();
  if (!capability) return frameRates;

  // The capture pin is found through the graph's builder, which exists
  // while the graph is built.
  CComPtr<ICaptureGraphBuilder2> builder = getGraphBuilder2();
  if (!builder) return frameRates;
  CComPtr<IPin> pin;
  if (FAILED(builder->FindPin(filter->getInterface(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE,
                              &MEDIATYPE_Video, FALSE, 0, &pin)) ||
      !pin)
    return frameRates;

  SIZE size;
  size.cx = capability->getMaxWidth();
  size.cy = capability->getMaxHeight();
  LONG count = 0;
  LONGLONG* intervals = nullptr;
  const HRESULT hr =
      control->GetFrameRateList(pin, capability->getCapabilityID(), size, &count, &intervals);
  if (SUCCEEDED(hr)) {
    if (intervals) {
      for (LONG i = 0; i < count; ++i)
        frameRates[convertToFramesPerSecond(intervals[i])] = intervals[i];
    }
    CoTaskMemFree(intervals);
  }
  return frameRates;
}

long VideoCaptureGraph::setFrameRate(LONGLONG interval, bool validate) {
  if (validate && (frameRates.empty() ||
                   frameRates.find(convertToFramesPerSecond(interval)) == frameRates.end()))
    return E_FAIL;

  VideoCapability* capability = selectedCapability();
  if (!capability) return E_FAIL;
  VIDEOINFOHEADER* header = capability->header();
  if (!header) return E_FAIL;
  header->AvgTimePerFrame = interval;
  AM_MEDIA_TYPE* mediaType = const_cast<AM_MEDIA_TYPE*>(capability->getMediaType());

  if (!isRunning()) return S_OK;

  // A running graph takes the new interval at once, without being rebuilt.
  stop();
  if (streamConfig) streamConfig->SetFormat(mediaType);
  return startWithoutRendering();
}

}  // namespace kivo
