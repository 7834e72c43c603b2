// The file graph's position model: duration and position in frames, samples
// and seconds through the graph's IMediaSeeking, each query in its own time
// format, and the end of the stream.

#include <kivo/duration_unsupported_exception.h>
#include <kivo/file_capture_graph.h>
#include <kivo/position_unsupported_exception.h>
#include <kivo/util.h>

#include "file/scoped_time_format.h"

namespace kivo {

long long FileCaptureGraph::getDuration(const GUID& format) {
  TScopedTimeFormat<DurationUnsupportedException> scope(mediaSeeking, format);
  LONGLONG duration = 0;
  if (FAILED(mediaSeeking->GetDuration(&duration))) throw DurationUnsupportedException();
  return duration;
}

long long FileCaptureGraph::getPosition(const GUID& format) {
  TScopedTimeFormat<PositionUnsupportedException> scope(mediaSeeking, format);
  LONGLONG position = 0;
  if (FAILED(mediaSeeking->GetCurrentPosition(&position))) throw PositionUnsupportedException();
  return position;
}

void FileCaptureGraph::setPosition(long long position, const GUID& format) {
  TScopedTimeFormat<PositionUnsupportedException> scope(mediaSeeking, format);
  LONGLONG current = position;
  if (FAILED(mediaSeeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, nullptr,
                                        AM_SEEKING_NoPositioning)))
    throw PositionUnsupportedException();
}

bool FileCaptureGraph::saveResumePosition() {
  try {
    resumePosition = util::referenceTimeToSeconds(getPosition(TIME_FORMAT_MEDIA_TIME));
    return true;
  } catch (const PositionUnsupportedException&) {
    return false;
  }
}

long long FileCaptureGraph::getDurationInFrames() { return getDuration(TIME_FORMAT_FRAME); }

long long FileCaptureGraph::getDurationInSamples() { return getDuration(TIME_FORMAT_SAMPLE); }

double FileCaptureGraph::getDurationInSeconds() {
  return util::referenceTimeToSeconds(getDuration(TIME_FORMAT_MEDIA_TIME));
}

long long FileCaptureGraph::getPositionInFrames() { return getPosition(TIME_FORMAT_FRAME); }

double FileCaptureGraph::getPositionInSeconds() {
  return util::referenceTimeToSeconds(getPosition(TIME_FORMAT_MEDIA_TIME));
}

void FileCaptureGraph::setPositionInFrames(long long frame) {
  setPosition(frame, TIME_FORMAT_FRAME);
}

void FileCaptureGraph::setPositionInSeconds(double seconds) {
  setPosition(util::secondsToReferenceTime(seconds), TIME_FORMAT_MEDIA_TIME);
}

bool FileCaptureGraph::isStreamFinished() {
  if (!isRunning()) return false;
  CComPtr<IGraphBuilder> graph = getGraphBuilder();
  if (!graph) return false;
  CComPtr<IMediaEvent> events;
  if (FAILED(graph.QueryInterface(&events))) return false;
  long code = 0;
  const HRESULT hr = events->WaitForCompletion(1, &code);
  return hr == VFW_E_WRONG_STATE || (SUCCEEDED(hr) && code == EC_COMPLETE);
}

}  // namespace kivo
