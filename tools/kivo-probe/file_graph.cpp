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
#include <optional>
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

// Audio that came as WAVE_FORMAT_EXTENSIBLE: a sub-format, or speaker
// positions.
bool isExtensible(const DXMediaInfo& info) {
  return info.getAudioSubFormatName() != info.getFormatName() || info.getAudioChannelMask() != 0;
}

// An extensible format is named by its sub-format, with what the extension
// adds: "PCM (extensible: 24 valid bits, channel mask 0x3F) 48000 Hz, ...".
std::string audioInfoText(const DXMediaInfo& info) {
  std::string name = info.getAudioSubFormatName();
  if (isExtensible(info)) {
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

// What `query` says, or nothing when the file cannot say it.
template <class Unsupported, class Query>
auto unlessUnsupported(Query query) -> std::optional<decltype(query())> {
  try {
    return query();
  } catch (const Unsupported&) {
    return std::nullopt;
  }
}

// The length of a file in each unit, or the position in two; each absent
// when the file cannot say it.
struct Duration {
  std::optional<long long> frames;
  std::optional<long long> samples;
  std::optional<double> seconds;
};
struct Position {
  std::optional<long long> frame;
  std::optional<double> seconds;
};

Duration durationOf(FileCaptureGraph& graph) {
  using Unsupported = DurationUnsupportedException;
  return {unlessUnsupported<Unsupported>([&] { return graph.getDurationInFrames(); }),
          unlessUnsupported<Unsupported>([&] { return graph.getDurationInSamples(); }),
          unlessUnsupported<Unsupported>([&] { return graph.getDurationInSeconds(); })};
}

Position positionOf(FileCaptureGraph& graph) {
  using Unsupported = PositionUnsupportedException;
  return {unlessUnsupported<Unsupported>([&] { return graph.getPositionInFrames(); }),
          unlessUnsupported<Unsupported>([&] { return graph.getPositionInSeconds(); })};
}

std::string countText(const std::optional<long long>& count) {
  return count ? std::to_string(*count) : "unsupported";
}

std::string secondsText(const std::optional<double>& seconds) {
  return seconds ? formatSeconds(*seconds) : "unsupported";
}

void printDurationAndPosition(const Duration& duration, const Position& position) {
  out("duration: " + countText(duration.frames) + " frames, " + countText(duration.samples) +
      " samples, " + secondsText(duration.seconds));
  out("position: frame " + countText(position.frame) + ", " + secondsText(position.seconds));
}

// The --json counterparts of the lines above, as the keys that
// command_line.cpp documents.

JsonWriter& integerOrNull(JsonWriter& document, const std::optional<long long>& value) {
  return value ? document.integer(*value) : document.null();
}

JsonWriter& numberOrNull(JsonWriter& document, const std::optional<double>& value) {
  return value ? document.number(*value) : document.null();
}

void writeDurationJson(const Duration& duration, JsonWriter& document) {
  document.beginObject(JsonWriter::OneLine);
  integerOrNull(document.key("frames"), duration.frames);
  integerOrNull(document.key("samples"), duration.samples);
  numberOrNull(document.key("seconds"), duration.seconds);
  document.endObject();
}

void writePositionJson(const Position& position, JsonWriter& document) {
  document.beginObject(JsonWriter::OneLine);
  integerOrNull(document.key("frame"), position.frame);
  numberOrNull(document.key("seconds"), position.seconds);
  document.endObject();
}

void writeVideoJson(const DXMediaInfo* info, JsonWriter& document) {
  if (!info) {
    document.null();
    return;
  }
  document.beginObject().key("format").string(info->getFormatName());
  document.key("width").integer(info->getVideoWidth());
  document.key("height").integer(info->getVideoHeight());
  document.key("bit_depth").integer(info->getVideoBitDepth());
  document.key("fps").number(info->getAverageFrameRate()).endObject();
}

void writeAudioJson(const DXMediaInfo* info, JsonWriter& document) {
  if (!info) {
    document.null();
    return;
  }
  document.beginObject().key("format").string(info->getFormatName());
  document.key("sub_format").string(info->getAudioSubFormatName());
  document.key("extensible").boolean(isExtensible(*info));
  document.key("sample_rate").integer(info->getAudioSampleRate());
  document.key("bit_depth").integer(info->getAudioBitDepth());
  document.key("valid_bits").integer(info->getAudioValidBitsPerSample());
  document.key("channels").integer(info->getAudioNumChannels());
  document.key("channel_mask").integer(info->getAudioChannelMask());
  document.key("buffer_size").integer(info->getAudioBufferSize()).endObject();
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
    duration_ = durationOf(*graph_);
    openedAt_ = positionOf(*graph_);
    printDurationAndPosition(duration_, openedAt_);
  }

  void seek(const Invocation& invocation) {
    if (invocation.has("--seek")) {
      const double seconds = invocation.number("--seek");
      try {
        graph_->setPositionInSeconds(seconds);
      } catch (const PositionUnsupportedException& exception) {
        throw Failure("cannot seek to " + formatSeconds(seconds) + ": " + exception.getMessage());
      }
      seekSeconds_ = seconds;
      out("seeked to " + formatSeconds(seconds));
    } else if (invocation.has("--seek-frame")) {
      const long long frame = invocation.integer("--seek-frame");
      try {
        graph_->setPositionInFrames(frame);
      } catch (const PositionUnsupportedException& exception) {
        throw Failure("cannot seek to frame " + std::to_string(frame) + ": " +
                      exception.getMessage());
      }
      seekFrame_ = frame;
      out("seeked to frame " + std::to_string(frame));
    }
  }

  // The render failed with `failed`. A file without a video stream is read
  // for its audio; any other failure is reported in the platform's words
  // and, when the diagnosis named it, with the decoder the file needs.
  void readAudioInstead(long failed) {
    const std::string codec = graph_->getMissingCodecName();
    if (codec != FileCaptureGraph::unknownCodec) {
      Failure failure("cannot open \"" + path_ + "\" (missing codec: " + codec + ")", failed);
      failure.missingCodec = codec;
      throw failure;
    }
    const Failure cannotOpen("cannot open \"" + path_ + "\"", failed);
    if (!readVideo_ || hasVideoStream()) throw cannotOpen;
    readVideo_ = false;
    readAudio_ = true;
    readForAudio_ = true;
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
      stoppedBy_ = "end_of_stream";
      out("end of stream reached");
    } else if (interrupted()) {
      stoppedBy_ = "request";
      out("stopped on request");
    } else {
      stoppedBy_ = "frame_limit";
      out("stopped after " + std::to_string(frameLimit_) + " frames");
    }
    endedAt_ = positionOf(*graph_);
    out("position: " + secondsText(endedAt_.seconds));
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

  // The facts of open, seek and report as one document.
  void printJson() const {
    JsonWriter document;
    document.beginObject().key("path").string(path_);
    document.key("read_for_audio").boolean(readForAudio_);
    writeVideoJson(readVideo_ ? graph_->getVideoInfo() : nullptr, document.key("video"));
    writeAudioJson(readAudio_ ? graph_->getAudioInfo() : nullptr, document.key("audio"));
    writeDurationJson(duration_, document.key("duration"));
    writePositionJson(openedAt_, document.key("position_at_open"));
    writePositionJson(endedAt_, document.key("position_at_end"));
    writeSeekJson(document.key("seek"));
    writeReadJson(document);
    writeWrittenJson(document);
    document.endObject();
    printDocument(document);
  }

 private:
  void writeSeekJson(JsonWriter& document) const {
    if (seekSeconds_) {
      document.beginObject(JsonWriter::OneLine).key("seconds").number(*seekSeconds_).endObject();
    } else if (seekFrame_) {
      document.beginObject(JsonWriter::OneLine).key("frame").integer(*seekFrame_).endObject();
    } else {
      document.null();
    }
  }

  // How the reading ended and what it read.
  void writeReadJson(JsonWriter& document) const {
    document.key("stopped_by").string(stoppedBy_);
    document.key("frames_read").integer(static_cast<long long>(video_.state()->delivered.load()));
    document.key("audio_read");
    if (readAudio_) {
      const auto blocks = static_cast<long long>(audio_->delivered.load());
      const auto bytes = static_cast<long long>(audio_->bytes.load());
      document.beginObject(JsonWriter::OneLine).key("blocks").integer(blocks);
      document.key("bytes").integer(bytes).endObject();
    } else {
      document.null();
    }
  }

  // What was written with --out.
  void writeWrittenJson(JsonWriter& document) const {
    const std::optional<uint64_t> framesWritten = video_.framesWritten();
    document.key("frames_written");
    if (framesWritten) {
      document.integer(static_cast<long long>(*framesWritten));
    } else {
      document.null();
    }
    document.key("audio_written");
    if (writingSound_) {
      document.beginObject(JsonWriter::OneLine).key("path").string(soundPath_);
      document.key("bytes").integer(static_cast<long long>(sound_.dataBytes())).endObject();
    } else {
      document.null();
    }
  }

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
  bool readForAudio_ = false;  // no video stream: read for the audio instead
  Duration duration_;
  Position openedAt_;
  Position endedAt_;
  std::optional<double> seekSeconds_;
  std::optional<long long> seekFrame_;
  std::string stoppedBy_;
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
  if (invocation.has("--json")) reading.printJson();
  return kExitOk;
}

}  // namespace kivo::probe
