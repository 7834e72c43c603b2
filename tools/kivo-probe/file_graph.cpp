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
// A frame format other than the two named ones: the decoder's own output.
const auto kNativeVideo = static_cast<FileCaptureGraph::VideoFrameFormat>(2);

std::string videoInfoText(const DXMediaInfo& info) {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, "%s %dx%d, %d bits per pixel, %.3f fps",
                info.getFormatName().c_str(), info.getVideoWidth(), info.getVideoHeight(),
                info.getVideoBitDepth(), info.getAverageFrameRate());
  return buffer;
}

// An extensible format is named by its sub-format, with what the extension
// adds: "PCM (extensible: 24 valid bits, channel mask 0x3F) 48000 Hz, ...".
std::string audioInfoText(const DXMediaInfo& info) {
  std::string name = info.getAudioSubFormatName();
  if (name != info.getFormatName() || info.getAudioChannelMask() != 0) {
    char extension[96];
    std::snprintf(extension, sizeof extension, " (extensible: %d valid bits, channel mask 0x%X)",
                  info.getAudioValidBitsPerSample(), info.getAudioChannelMask());
    name += extension;
  }
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, "%s %d Hz, %d bits, %d channels, buffer %d bytes",
                name.c_str(), info.getAudioSampleRate(), info.getAudioBitDepth(),
                info.getAudioNumChannels(), info.getAudioBufferSize());
  return buffer;
}

// What `query` says, or "unsupported" when the file cannot say it.
template <class Unsupported, class Query>
std::string orUnsupported(Query query) {
  try {
    return query();
  } catch (const Unsupported&) {
    return "unsupported";
  }
}

void printDurationsAndPosition(FileCaptureGraph& graph) {
  out("duration: " + orUnsupported<DurationUnsupportedException>([&] {
        return std::to_string(graph.getDurationInFrames());
      }) +
      " frames, " + orUnsupported<DurationUnsupportedException>([&] {
        return std::to_string(graph.getDurationInSamples());
      }) +
      " samples, " + orUnsupported<DurationUnsupportedException>([&] {
        return formatSeconds(graph.getDurationInSeconds());
      }));
  out("position: frame " + orUnsupported<PositionUnsupportedException>([&] {
        return std::to_string(graph.getPositionInFrames());
      }) +
      ", " + orUnsupported<PositionUnsupportedException>([&] {
        return formatSeconds(graph.getPositionInSeconds());
      }));
}

// The WAV format of the connected audio, when it can be written. Audio that
// came extensible, or has more than two channels or 16 bits, is written
// extensible, keeping its valid bits and speaker positions.
bool wavFormatOf(const DXMediaInfo& info, WavFormat* format, std::string* error) {
  const std::string& name = info.getAudioSubFormatName();
  format->formatTag = name == "PCM" ? 1 : name == "IEEE_FLOAT" ? 3 : 0;
  format->channels = static_cast<uint16_t>(info.getAudioNumChannels());
  format->samplesPerSecond = static_cast<uint32_t>(info.getAudioSampleRate());
  format->bitsPerSample = static_cast<uint16_t>(info.getAudioBitDepth());
  format->blockAlign = static_cast<uint16_t>(format->channels * format->bitsPerSample / 8);
  format->averageBytesPerSecond = format->samplesPerSecond * format->blockAlign;
  format->extensible = name != info.getFormatName() || info.getAudioChannelMask() != 0 ||
                       format->channels > 2 || format->bitsPerSample > 16;
  format->validBitsPerSample = static_cast<uint16_t>(info.getAudioValidBitsPerSample());
  format->channelMask = info.getAudioChannelMask();
  if (format->formatTag == 0) {
    *error = "audio in " + name + " cannot be written as WAV";
    return false;
  }
  return isWritableWavFormat(*format, error);
}

// A media file read through a FileCaptureGraph, step by step: open, seek,
// prepare the sinks (frame files, the WAV file), pump the samples into
// them, stop and report. The callbacks are the host's: they are disposed
// of after the graph is reset, which the destructor does once it has
// closed the queues, so that a streaming thread waiting in one is
// released.
class FileReading {
 public:
  explicit FileReading(const Invocation& invocation)
      : path_(invocation.arguments[0]),
        folder_(invocation.text("--out")),
        videoFormat_(invocation.text("--video", "rgb24")),
        frameLimit_(static_cast<uint64_t>(invocation.integer("--frames", 0))),
        readVideo_(videoFormat_ != "none"),
        readAudio_(invocation.has("--audio")),
        registerGraph_(invocation.has("--register-graph")),
        video_(kVideoQueue, frameLimit_, !folder_.empty() && readVideo_),
        audio_(std::make_shared<StreamState>(kAudioQueue)),
        videoCallback_(new SampleCollector(video_.state())),
        graph_(new FileCaptureGraph(tools::widen(path_))) {
    audio_->keepBytes = !folder_.empty() && readAudio_;
  }
  ~FileReading() {
    audio_->queue.close();
    video_.state()->queue.close();
    graph_->reset();
  }

  void open() {
    requestStreams();
    const long rendered = graph_->render(registerGraph_);
    if (FAILED(rendered)) readAudioInstead(rendered);
    out("file: " + path_);
    const DXMediaInfo* videoInfo = graph_->getVideoInfo();
    const DXMediaInfo* audioInfo = graph_->getAudioInfo();
    if (readVideo_) {
      out("video: " + (videoInfo ? videoInfoText(*videoInfo) : std::string("(none)")));
    }
    if (readAudio_) {
      out("audio: " + (audioInfo ? audioInfoText(*audioInfo) : std::string("(none)")));
    }
    printDurationsAndPosition(*graph_);
  }

  void seek(const Invocation& invocation) {
    if (invocation.has("--seek")) {
      const double seconds = invocation.number("--seek");
      try {
        graph_->setPositionInSeconds(seconds);
      } catch (const PositionUnsupportedException& exception) {
        throw Failure("cannot seek to " + formatSeconds(seconds) + ": " + exception.getMessage());
      }
      out("seeked to " + formatSeconds(seconds));
    } else if (invocation.has("--seek-frame")) {
      const long long frame = invocation.integer("--seek-frame");
      try {
        graph_->setPositionInFrames(frame);
      } catch (const PositionUnsupportedException& exception) {
        throw Failure("cannot seek to frame " + std::to_string(frame) + ": " +
                      exception.getMessage());
      }
      out("seeked to frame " + std::to_string(frame));
    }
  }

  // The render failed with `failed`. A file without a video stream is read
  // for its audio; any other failure is reported in the platform's words
  // and, when the diagnosis named it, with the decoder the file needs.
  void readAudioInstead(long failed) {
    const std::string codec = graph_->getMissingCodecName();
    if (codec != FileCaptureGraph::unknownCodec) {
      throw Failure("cannot open \"" + path_ + "\" (missing codec: " + codec + ")", failed);
    }
    const Failure cannotOpen("cannot open \"" + path_ + "\"", failed);
    if (!readVideo_ || hasVideoStream()) throw cannotOpen;
    readVideo_ = false;
    readAudio_ = true;
    audio_->keepBytes = !folder_.empty();
    graph_.reset(new FileCaptureGraph(tools::widen(path_)));
    requestStreams();
    if (FAILED(graph_->render(registerGraph_))) throw cannotOpen;
    out("\"" + path_ + "\" has no video stream: reading its audio");
  }

  // Whether the file has a video stream at all: video in the decoder's own
  // format connects whenever there is one, even one that cannot be decoded.
  bool hasVideoStream() const {
    FileCaptureGraph anyVideo(tools::widen(path_));
    anyVideo.setVideoCallback(nullptr, kNativeVideo);
    return SUCCEEDED(anyVideo.render(false));
  }

  void requestStreams() {
    if (readVideo_) {
      // A value other than the two named formats imposes no subtype: the
      // decoder's own output arrives.
      const auto frameFormat = videoFormat_ == "rgb24"  ? FileCaptureGraph::FRAME_RGB24
                               : videoFormat_ == "yuy2" ? FileCaptureGraph::FRAME_YUY2
                                                        : kNativeVideo;
      graph_->setVideoCallback(videoCallback_.get(), frameFormat);
    }
    if (readAudio_) {
      if (!audioCallback_) audioCallback_.reset(new SampleCollector(audio_));
      graph_->setAudioCallback(audioCallback_.get(), FileCaptureGraph::SAMPLE_PCM);
    }
  }

  void prepareSinks() {
    prepareFrameFiles();
    prepareSoundFile();
  }

  // Reads until the end, the frame limit or the user's request; true at the
  // end of the stream.
  bool pump() {
    started_ = now();
    check(graph_->start(registerGraph_), "cannot start reading \"" + path_ + "\"");
    if (registerGraph_) out("the graph is registered for graph inspection tools");
    double lastActivity = now();
    uint64_t lastCount = 0;
    for (;;) {
      const bool busy = writeQueuedSound();
      video_.writeNext(std::chrono::milliseconds(busy ? 0 : 20));
      progress_.show(progressText());
      const uint64_t count = video_.state()->delivered.load() + audio_->delivered.load();
      if (count != lastCount) {
        lastCount = count;
        lastActivity = now();
      }
      if (video_.reachedLimit()) return false;
      if (graph_->isStreamFinished() && video_.state()->queue.size() == 0 &&
          audio_->queue.size() == 0) {
        return true;
      }
      if (interrupted()) return false;
      if (now() - lastActivity >= kStallTimeout) {
        progress_.finish();
        throw Failure("nothing arrived from \"" + path_ + "\" for " + formatSeconds(kStallTimeout));
      }
    }
  }

  void stop() {
    video_.state()->queue.close();
    audio_->queue.close();
    const long stopped = graph_->stop();
    video_.writeQueued();
    writeQueuedSound();
    progress_.show(progressText(), true);
    progress_.finish();
    check(stopped, "cannot stop reading");
  }

  void report(bool finished) {
    if (finished) {
      out("end of stream reached");
    } else if (interrupted()) {
      out("stopped on request");
    } else {
      out("stopped after " + std::to_string(frameLimit_) + " frames");
    }
    out("position: " + orUnsupported<PositionUnsupportedException>(
                           [&] { return formatSeconds(graph_->getPositionInSeconds()); }));
    if (readAudio_) {
      out("audio read: " + std::to_string(audio_->delivered.load()) + " blocks, " +
          std::to_string(audio_->bytes.load()) + " bytes");
    }
    video_.reportWritten(folder_);
    if (writingSound_) {
      if (soundError_.empty()) sound_.finish(&soundError_);
      if (!soundError_.empty()) throw Failure("the audio file is incomplete: " + soundError_);
      out(std::to_string(sound_.dataBytes()) + " bytes of audio written to " + soundPath_);
    }
    video_.throwIfWriteFailed();
  }

 private:
  void prepareFrameFiles() {
    if (readVideo_ && video_.state()->keepBytes) {
      const DXMediaInfo* info = graph_->getVideoInfo();
      FrameLayout layout;
      if (info && pixelFormatFromName(info->getFormatName(), &layout.format)) {
        layout.width = info->getVideoWidth();
        layout.height = info->getVideoHeight();
        video_.writeInto(layout, folder_);
        return;
      }
      out("frames are not written: " +
          (info ? info->getFormatName() + " cannot be converted to a picture"
                : std::string("the file has no video stream")));
    }
    video_.writeNothing();
  }

  void prepareSoundFile() {
    writingSound_ = audio_->keepBytes && openSoundFile();
    if (writingSound_) return;
    audio_->keepBytes = false;
    audio_->queue.close();
  }

  bool openSoundFile() {
    const DXMediaInfo* info = graph_->getAudioInfo();
    if (!info) {
      out("audio is not written: the file has no audio stream");
      return false;
    }
    soundPath_ = joinPath(folder_, "audio.wav");
    std::string error;
    WavFormat format;
    if (!wavFormatOf(*info, &format, &error) || !sound_.open(soundPath_, format, &error)) {
      out("audio is not written: " + error);
      return false;
    }
    out("writing the audio to " + soundPath_);
    return true;
  }

  // Appends the queued audio to the WAV file; whether there was any.
  bool writeQueuedSound() {
    bool any = false;
    CapturedSample sample;
    while (audio_->queue.pop(&sample, std::chrono::milliseconds(0))) {
      if (writingSound_ && soundError_.empty()) {
        sound_.append(sample.bytes.data(), sample.bytes.size(), &soundError_);
      }
      any = true;
    }
    return any;
  }

  std::string progressText() const {
    std::string text;
    if (readVideo_) {
      text = "frames " + std::to_string(video_.state()->delivered.load()) + "  rate " +
             formatRate(video_.state()->measuredRate()) + "  ";
    }
    if (readAudio_) {
      text += "audio blocks " + std::to_string(audio_->delivered.load()) + "  ";
    }
    return text + "elapsed " + formatSeconds(now() - started_);
  }

  const std::string path_;
  const std::string folder_;       // empty: nothing is written
  const std::string videoFormat_;  // rgb24, yuy2, native or none
  const uint64_t frameLimit_;      // 0: none
  bool readVideo_;
  bool readAudio_;
  const bool registerGraph_;
  FrameStream video_;
  std::shared_ptr<StreamState> audio_;
  CallbackHolder videoCallback_;
  CallbackHolder audioCallback_;
  std::unique_ptr<FileCaptureGraph> graph_;
  WavWriter sound_;
  std::string soundPath_;
  bool writingSound_ = false;
  std::string soundError_;
  ProgressLine progress_;
  double started_ = 0.0;
};

}  // namespace

int runFile(const Invocation& invocation) {
  const std::string folder = invocation.text("--out");
  std::string error;
  if (!folder.empty() && !makeFolders(folder, &error)) throw Failure(error);
  FileReading reading(invocation);
  reading.open();
  reading.seek(invocation);
  reading.prepareSinks();
  const bool finished = reading.pump();
  reading.stop();
  reading.report(finished);
  return kExitOk;
}

}  // namespace kivo::probe
