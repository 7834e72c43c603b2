// The file command: reads the frames and audio of a media file through a
// FileCaptureGraph.

#include "common/utf8.h"
#include "core/files.h"
#include "core/hresult_text.h"
#include "core/wav.h"
#include "probe.h"
#include "sampling.h"

#include <cstdio>
#include <memory>
#include <string>

#include <kivo/duration_unsupported_exception.h>
#include <kivo/dx_media_info.h>
#include <kivo/file_capture_graph.h>
#include <kivo/position_unsupported_exception.h>

namespace kivo::probe {


namespace {

// Samples of audio waiting to be written; audio blocks are small.
const size_t kAudioQueue = 64;
const size_t kVideoQueue = 8;
// A graph that delivers nothing and never completes for this long is given up.
const double kStallTimeout = 20.0;

// Resets the graph before the callbacks it holds are disposed of.
struct GraphReset {
  FileCaptureGraph& graph;
  ~GraphReset() { graph.reset(); }
};

std::string videoInfoText(const DXMediaInfo& info) {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, "%s %dx%d, %d bits per pixel, %.3f fps",
                info.getFormatName().c_str(), info.getVideoWidth(), info.getVideoHeight(),
                info.getVideoBitDepth(), info.getAverageFrameRate());
  return buffer;
}

std::string audioInfoText(const DXMediaInfo& info) {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, "%s %d Hz, %d bits, %d channels, buffer %d bytes",
                info.getFormatName().c_str(), info.getAudioSampleRate(), info.getAudioBitDepth(),
                info.getAudioNumChannels(), info.getAudioBufferSize());
  return buffer;
}

template <class Query>
std::string durationText(Query query) {
  try {
    return query();
  } catch (const DurationUnsupportedException&) {
    return "unsupported";
  }
}

template <class Query>
std::string positionText(Query query) {
  try {
    return query();
  } catch (const PositionUnsupportedException&) {
    return "unsupported";
  }
}

void printDurationsAndPosition(FileCaptureGraph& graph) {
  out("duration: " + durationText([&] { return std::to_string(graph.getDurationInFrames()); }) +
      " frames, " + durationText([&] { return std::to_string(graph.getDurationInSamples()); }) +
      " samples, " + durationText([&] { return formatSeconds(graph.getDurationInSeconds()); }));
  out("position: frame " +
      positionText([&] { return std::to_string(graph.getPositionInFrames()); }) + ", " +
      positionText([&] { return formatSeconds(graph.getPositionInSeconds()); }));
}

// The WAV format of the connected audio, when it can be written.
bool wavFormatOf(const DXMediaInfo& info, WavFormat* format, std::string* error) {
  const std::string& name = info.getFormatName();
  format->formatTag = name == "PCM" ? 1 : name == "IEEE_FLOAT" ? 3 : 0;
  format->channels = static_cast<uint16_t>(info.getAudioNumChannels());
  format->samplesPerSecond = static_cast<uint32_t>(info.getAudioSampleRate());
  format->bitsPerSample = static_cast<uint16_t>(info.getAudioBitDepth());
  format->blockAlign = static_cast<uint16_t>(format->channels * format->bitsPerSample / 8);
  format->averageBytesPerSecond = format->samplesPerSecond * format->blockAlign;
  if (format->formatTag == 0) {
    *error = "audio in " + name + " cannot be written as WAV";
    return false;
  }
  return isWritableWavFormat(*format, error);
}

}  // namespace

int runFile(const Invocation& invocation) {
  const std::string path = invocation.arguments[0];
  const bool registerGraph = invocation.has("--register-graph");
  const std::string folder = invocation.text("--out");
  const uint64_t frameLimit = static_cast<uint64_t>(invocation.integer("--frames", 0));
  const std::string video = invocation.text("--video", "rgb24");
  const bool readVideo = video != "none";
  std::string error;
  if (!folder.empty() && !makeFolders(folder, &error)) throw Failure(error);

  auto videoState = std::make_shared<StreamState>(kVideoQueue);
  auto audioState = std::make_shared<StreamState>(kAudioQueue);
  videoState->keepBytes = !folder.empty() && readVideo;
  videoState->keepLimit = frameLimit;
  audioState->keepBytes = !folder.empty() && invocation.has("--audio");
  // The callbacks are the host's: they are disposed of after the graph
  // is reset (declared first, destroyed last).
  CallbackHolder videoCallback(new SampleCollector(videoState));
  CallbackHolder audioCallback;

  FileCaptureGraph graph(tools::widen(path));
  GraphReset resetAtEnd{graph};
  QueueCloser closeVideo{*videoState};
  QueueCloser closeAudio{*audioState};
  if (readVideo) {
    // A value other than the two named formats imposes no subtype: the
    // decoder's own output arrives.
    const int frameFormat = video == "rgb24" ? 0 : video == "yuy2" ? 1 : 2;
    graph.setVideoCallback(videoCallback.get(),
                           static_cast<FileCaptureGraph::VideoFrameFormat>(frameFormat));
  }
  if (invocation.has("--audio")) {
    audioCallback.reset(new SampleCollector(audioState));
    graph.setAudioCallback(audioCallback.get(), FileCaptureGraph::SAMPLE_PCM);
  }

  const long rendered = graph.render(registerGraph);
  if (FAILED(rendered)) {
    throw Failure(
        "cannot open \"" + path + "\" (missing codec: " + graph.getMissingCodecName() + ")",
        rendered);
  }
  const DXMediaInfo* videoInfo = graph.getVideoInfo();
  const DXMediaInfo* audioInfo = graph.getAudioInfo();
  out("file: " + path);
  if (readVideo) {
    out("video: " + (videoInfo ? videoInfoText(*videoInfo) : std::string("(none)")));
  }
  if (invocation.has("--audio")) {
    out("audio: " + (audioInfo ? audioInfoText(*audioInfo) : std::string("(none)")));
  }
  printDurationsAndPosition(graph);

  if (invocation.has("--seek")) {
    const double seconds = invocation.number("--seek");
    try {
      graph.setPositionInSeconds(seconds);
    } catch (const PositionUnsupportedException& exception) {
      throw Failure("cannot seek to " + formatSeconds(seconds) + ": " + exception.getMessage());
    }
    out("seeked to " + formatSeconds(seconds));
  } else if (invocation.has("--seek-frame")) {
    const long long frame = invocation.integer("--seek-frame");
    try {
      graph.setPositionInFrames(frame);
    } catch (const PositionUnsupportedException& exception) {
      throw Failure("cannot seek to frame " + std::to_string(frame) + ": " +
                    exception.getMessage());
    }
    out("seeked to frame " + std::to_string(frame));
  }

  // Where frames and sound go.
  std::unique_ptr<FrameWriter> frames;
  if (videoState->keepBytes) {
    FrameLayout layout;
    PixelFormat format;
    if (videoInfo && pixelFormatFromName(videoInfo->getFormatName(), &format)) {
      layout.format = format;
      layout.width = videoInfo->getVideoWidth();
      layout.height = videoInfo->getVideoHeight();
      frames.reset(new FrameWriter(layout, folder));
    } else {
      out("frames are not written: " +
          (videoInfo ? videoInfo->getFormatName() + " cannot be converted to a picture"
                     : std::string("the file has no video stream")));
    }
  }
  if (!frames) {
    videoState->keepBytes = false;
    videoState->queue.close();
  }
  WavWriter sound;
  const std::string soundPath = joinPath(folder, "audio.wav");
  bool writingSound = false;
  if (audioState->keepBytes) {
    WavFormat format;
    if (!audioInfo) {
      out("audio is not written: the file has no audio stream");
    } else if (!wavFormatOf(*audioInfo, &format, &error) ||
               !sound.open(soundPath, format, &error)) {
      out("audio is not written: " + error);
    } else {
      out("writing the audio to " + soundPath);
      writingSound = true;
    }
  }
  if (!writingSound) {
    audioState->keepBytes = false;
    audioState->queue.close();
  }

  const double started = now();
  check(graph.start(registerGraph), "cannot start reading \"" + path + "\"");
  if (registerGraph) out("the graph is registered for graph inspection tools");

  ProgressLine progress;
  auto progressText = [&] {
    std::string text;
    if (readVideo) {
      text = "frames " + std::to_string(videoState->delivered.load()) + "  rate " +
             formatRate(videoState->measuredRate()) + "  ";
    }
    if (invocation.has("--audio")) {
      text += "audio blocks " + std::to_string(audioState->delivered.load()) + "  ";
    }
    return text + "elapsed " + formatSeconds(now() - started);
  };
  CapturedSample sample;
  std::string soundError;
  bool finished = false;
  double lastActivity = now();
  uint64_t lastCount = 0;
  for (;;) {
    bool busy = false;
    while (audioState->queue.pop(&sample, std::chrono::milliseconds(0))) {
      if (writingSound && soundError.empty()) {
        sound.append(sample.bytes.data(), sample.bytes.size(), &soundError);
      }
      busy = true;
    }
    if (videoState->queue.pop(&sample, std::chrono::milliseconds(busy ? 0 : 20)) && frames) {
      frames->write(sample, nullptr);
    }
    progress.show(progressText());
    const uint64_t delivered = videoState->delivered.load();
    const uint64_t count = delivered + audioState->delivered.load();
    if (count != lastCount) {
      lastCount = count;
      lastActivity = now();
    }
    if (frameLimit && delivered >= frameLimit &&
        (!frames || frames->written() + frames->failed() >= frameLimit)) {
      break;
    }
    if (graph.isStreamFinished() && videoState->queue.size() == 0 &&
        audioState->queue.size() == 0) {
      finished = true;
      break;
    }
    if (interrupted()) break;
    if (now() - lastActivity >= kStallTimeout) {
      progress.finish();
      throw Failure("nothing arrived from \"" + path + "\" for " + formatSeconds(kStallTimeout));
    }
  }
  videoState->queue.close();
  audioState->queue.close();
  const long stopped = graph.stop();
  while (frames && videoState->queue.pop(&sample, std::chrono::milliseconds(0))) {
    frames->write(sample, nullptr);
  }
  while (audioState->queue.pop(&sample, std::chrono::milliseconds(0))) {
    if (writingSound && soundError.empty()) {
      sound.append(sample.bytes.data(), sample.bytes.size(), &soundError);
    }
  }
  progress.show(progressText(), true);
  progress.finish();
  check(stopped, "cannot stop reading");
  if (finished) {
    out("end of stream reached");
  } else if (interrupted()) {
    out("stopped on request");
  } else {
    out("stopped after " + std::to_string(frameLimit) + " frames");
  }
  try {
    out("position: " + formatSeconds(graph.getPositionInSeconds()));
  } catch (const PositionUnsupportedException&) {
    out("position: unsupported");
  }
  if (frames) out(std::to_string(frames->written()) + " frames written to " + folder);
  if (writingSound) {
    if (soundError.empty()) sound.finish(&soundError);
    if (!soundError.empty()) throw Failure("the audio file is incomplete: " + soundError);
    out(std::to_string(sound.dataBytes()) + " bytes of audio written to " + soundPath);
  }
  if (frames && frames->failed()) {
    throw Failure(std::to_string(frames->failed()) +
                  " frames could not be written; the first: " + frames->firstError());
  }
  return kExitOk;
}


}  // namespace kivo::probe
