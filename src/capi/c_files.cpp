// The C interface's media files: FileCaptureGraph, its callbacks, media
// info, duration and position.

#include "capi/c_boundary.h"
#include "capi/host_callback.h"
#include "foundation/text.h"

#include <kivo/dx_media_info.h>
#include <kivo/file_capture_graph.h>

#include <memory>
#include <string>

namespace kivo {
namespace capi {
namespace {

// The callbacks outlive the graph that calls them: the graph is declared
// last, so it goes first.
struct FileGraph {
  HostCallback video;
  HostCallback audio;
  std::unique_ptr<FileCaptureGraph> graph;
  std::string missingCodec;
  int videoFormat = KIVO_VIDEO_ANY;
};

// The file graph tells the connected video type through its media info;
// the requested format says how its rows are laid out. Frames in the
// decoder's own format have a layout kivo does not know.
VideoShape requestedShape(const DXMediaInfo& video, int format) {
  VideoShape shape;
  shape.width = video.getVideoWidth();
  shape.height = video.getVideoHeight();
  shape.bitCount = video.getVideoBitDepth();
  shape.subtype = video.getFormatName();
  shape.dib = format == KIVO_VIDEO_RGB24;
  if (format == KIVO_VIDEO_RGB24) shape.type = colorspace::TYPE_RGB24;
  if (format == KIVO_VIDEO_YUY2) shape.type = colorspace::TYPE_YUY2;
  return shape;
}

FileGraph& fileGraph(kivo_file_graph* handle) {
  return lookUp<FileGraph>(HandleKind::FileGraph, handle);
}

FileCaptureGraph& renderedGraph(kivo_file_graph* handle) {
  FileGraph& file = fileGraph(handle);
  if (!file.graph->isRendered()) throw CallFailure{KIVO_E_WRONG_STATE, "the graph is not rendered"};
  return *file.graph;
}

FileCaptureGraph::VideoFrameFormat videoFormat(int format) {
  switch (format) {
    case KIVO_VIDEO_RGB24:
      return FileCaptureGraph::FRAME_RGB24;
    case KIVO_VIDEO_YUY2:
      return FileCaptureGraph::FRAME_YUY2;
    case KIVO_VIDEO_ANY:
      return static_cast<FileCaptureGraph::VideoFrameFormat>(KIVO_VIDEO_ANY);
  }
  throw CallFailure{KIVO_E_INVALIDARG, "format is KIVO_VIDEO_RGB24, _YUY2 or _ANY"};
}

FileCaptureGraph::AudioSampleFormat audioFormat(int format) {
  switch (format) {
    case KIVO_AUDIO_PCM:
      return FileCaptureGraph::SAMPLE_PCM;
    case KIVO_AUDIO_ANY:
      return static_cast<FileCaptureGraph::AudioSampleFormat>(KIVO_AUDIO_ANY);
  }
  throw CallFailure{KIVO_E_INVALIDARG, "format is KIVO_AUDIO_PCM or KIVO_AUDIO_ANY"};
}

void describeMedia(const DXMediaInfo& media, kivo_media_info& info) {
  info = kivo_media_info{};
  info.width = media.getVideoWidth();
  info.height = media.getVideoHeight();
  info.bit_depth = media.getVideoBitDepth();
  info.frame_rate = media.getAverageFrameRate();
  info.color_channels = media.getNumColorChannels();
  info.sample_rate = media.getAudioSampleRate();
  info.bits_per_sample = media.getAudioBitDepth();
  info.valid_bits_per_sample = media.getAudioValidBitsPerSample();
  info.channels = media.getAudioNumChannels();
  info.channel_mask = media.getAudioChannelMask();
  info.buffer_size = media.getAudioBufferSize();
  info.sub_format = media.getAudioSubFormatName().c_str();
  info.format = media.getFormatName().c_str();
}

kivo_status mediaInfo(kivo_file_graph* graph, kivo_media_info* info, bool video) {
  FileCaptureGraph& file = renderedGraph(graph);
  requirePointers(info);
  const DXMediaInfo* media = video ? file.getVideoInfo() : file.getAudioInfo();
  if (!media) throw CallFailure{KIVO_E_NOT_FOUND, video ? "no video stream" : "no audio stream"};
  describeMedia(*media, *info);
  return KIVO_OK;
}

}  // namespace
}  // namespace capi
}  // namespace kivo

using namespace kivo;
using namespace kivo::capi;

extern "C" {

kivo_status KIVO_CALL kivo_file_graph_open(const char* file_name, kivo_file_graph** graph) {
  return boundary(__func__, [&] {
    requirePointers(file_name, graph);
    *graph = nullptr;
    const std::wstring wideName = fromUtf8(file_name);
    if (wideName.empty()) throw CallFailure{KIVO_E_INVALIDARG, "an empty file name"};
    auto created = std::make_unique<FileGraph>();
    created->graph = std::make_unique<FileCaptureGraph>(wideName);
    handOut(HandleKind::FileGraph, created.release(), graph);
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_file_graph_destroy(kivo_file_graph* graph) {
  return boundary(__func__, [&] {
    destroyHandle<FileGraph>(HandleKind::FileGraph, graph);
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_file_graph_set_video_callback(kivo_file_graph* graph,
                                                         kivo_frame_callback callback,
                                                         void* context, int format) {
  return boundary(__func__, [&] {
    FileGraph& file = fileGraph(graph);
    requireCallback(callback);
    // The graph drops the old stream first: the old function is not called
    // once the new one is set.
    file.graph->setVideoCallback(&file.video, videoFormat(format));
    file.videoFormat = format;
    file.video.setFunction(callback, context);
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_file_graph_set_audio_callback(kivo_file_graph* graph,
                                                         kivo_frame_callback callback,
                                                         void* context, int format) {
  return boundary(__func__, [&] {
    FileGraph& file = fileGraph(graph);
    requireCallback(callback);
    file.graph->setAudioCallback(&file.audio, audioFormat(format));
    file.audio.setFunction(callback, context);
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_file_graph_render(kivo_file_graph* graph, int register_graph) {
  return boundary(__func__, [&]() -> kivo_status {
    FileGraph& file = fileGraph(graph);
    const HRESULT hr = file.graph->render(register_graph != 0);
    if (FAILED(hr)) return hr;
    // Nothing streams before start: the layouts are known before any frame.
    if (const DXMediaInfo* video = file.graph->getVideoInfo())
      file.video.publish(videoLayout(requestedShape(*video, file.videoFormat)));
    if (const DXMediaInfo* audio = file.graph->getAudioInfo())
      file.audio.publish(audioLayout(*audio));
    return hr;
  });
}

kivo_status KIVO_CALL kivo_file_graph_start(kivo_file_graph* graph, int register_graph) {
  return boundary(__func__, [&]() -> kivo_status {
    return fileGraph(graph).graph->start(register_graph != 0);
  });
}

kivo_status KIVO_CALL kivo_file_graph_stop(kivo_file_graph* graph) {
  return boundary(__func__, [&]() -> kivo_status { return fileGraph(graph).graph->stop(); });
}

kivo_status KIVO_CALL kivo_file_graph_reset(kivo_file_graph* graph) {
  return boundary(__func__, [&] {
    fileGraph(graph).graph->reset();
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_file_graph_is_finished(kivo_file_graph* graph, int* finished) {
  return boundary(__func__, [&] {
    FileGraph& file = fileGraph(graph);
    requirePointers(finished);
    *finished = file.graph->isStreamFinished() ? 1 : 0;
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_file_graph_missing_codec(kivo_file_graph* graph, const char** codec) {
  return boundary(__func__, [&] {
    FileGraph& file = fileGraph(graph);
    requirePointers(codec);
    file.missingCodec = file.graph->getMissingCodecName();
    *codec = file.missingCodec.c_str();
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_file_graph_video_info(kivo_file_graph* graph, kivo_media_info* info) {
  return boundary(__func__, [&] { return mediaInfo(graph, info, true); });
}

kivo_status KIVO_CALL kivo_file_graph_audio_info(kivo_file_graph* graph, kivo_media_info* info) {
  return boundary(__func__, [&] { return mediaInfo(graph, info, false); });
}

kivo_status KIVO_CALL kivo_file_graph_duration_frames(kivo_file_graph* graph, int64_t* frames) {
  return boundary(__func__, [&] {
    FileCaptureGraph& file = renderedGraph(graph);
    requirePointers(frames);
    *frames = file.getDurationInFrames();
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_file_graph_duration_samples(kivo_file_graph* graph, int64_t* samples) {
  return boundary(__func__, [&] {
    FileCaptureGraph& file = renderedGraph(graph);
    requirePointers(samples);
    *samples = file.getDurationInSamples();
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_file_graph_duration_seconds(kivo_file_graph* graph, double* seconds) {
  return boundary(__func__, [&] {
    FileCaptureGraph& file = renderedGraph(graph);
    requirePointers(seconds);
    *seconds = file.getDurationInSeconds();
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_file_graph_position_frames(kivo_file_graph* graph, int64_t* frame) {
  return boundary(__func__, [&] {
    FileCaptureGraph& file = renderedGraph(graph);
    requirePointers(frame);
    *frame = file.getPositionInFrames();
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_file_graph_position_seconds(kivo_file_graph* graph, double* seconds) {
  return boundary(__func__, [&] {
    FileCaptureGraph& file = renderedGraph(graph);
    requirePointers(seconds);
    *seconds = file.getPositionInSeconds();
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_file_graph_seek_frames(kivo_file_graph* graph, int64_t frame) {
  return boundary(__func__, [&] {
    renderedGraph(graph).setPositionInFrames(frame);
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_file_graph_seek_seconds(kivo_file_graph* graph, double seconds) {
  return boundary(__func__, [&] {
    renderedGraph(graph).setPositionInSeconds(seconds);
    return KIVO_OK;
  });
}

}  // extern "C"
