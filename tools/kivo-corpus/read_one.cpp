#include "read_one.h"

#include "common/hand_built_graph.h"

#include <kivo/file_capture_graph.h>
#include <kivo/hr_exception.h>
#include <kivo/media_cb.h>

#include "core/hresult_text.h"

#include <atomic>
#include <cstdio>

namespace kivo::corpus {

namespace {

using Clock = std::chrono::steady_clock;

// Samples and bytes delivered to one stream's callback; written on the
// streaming thread, read once the graph has stopped.
struct Tally {
  std::atomic<long> samples{0};
  std::atomic<long long> bytes{0};

  void add(IMediaSample* sample) {
    ++samples;
    if (sample) bytes += sample->GetActualDataLength();
  }
};

// kivo's host callback for one stream. A FileCaptureGraph leaves its
// callbacks to their owner: this one lives on the stack of the read.
class TallyCallback : public kivo::IMediaCB {
 public:
  explicit TallyCallback(Tally* tally) : tally_(tally) {}
  ~TallyCallback() override = default;
  long processSample(double, IMediaSample* sample) override {
    tally_->add(sample);
    return S_OK;
  }

 private:
  Tally* tally_;
};

// The hand-built graph's callback: the platform's own interface only.
class PlainTallyCallback : public ISampleGrabberCB {
 public:
  explicit PlainTallyCallback(Tally* tally) : tally_(tally) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    *object = iid == IID_IUnknown || iid == IID_ISampleGrabberCB ? this : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP SampleCB(double, IMediaSample* sample) override {
    tally_->add(sample);
    return S_OK;
  }
  STDMETHODIMP BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }

 private:
  Tally* tally_;
};

// Which streams one attempt asks for. A file is read as a host reads it:
// both streams, and when that cannot be rendered, each stream alone.
struct Streams {
  bool video, audio;
  const char* name;
};
const Streams kAttempts[] = {
    {true, true, "video+audio"}, {true, false, "video"}, {false, true, "audio"}};

// What one read came to.
struct Result {
  HRESULT renderStatus = E_FAIL;
  std::string codec;  // kivo's diagnosis after a failed render
  Tally video, audio;
  bool reachedEnd = false;
};

void printRead(const Result& result, const Streams& streams) {
  std::printf("read video=%ld audio=%ld bytes=%lld end=%s streams=%s\n",
              result.video.samples.load(), result.audio.samples.load(),
              result.video.bytes.load() + result.audio.bytes.load(),
              result.reachedEnd ? "yes" : "no", streams.name);
}

// The first failed attempt tells the refusal: it asked for the whole file.
void printRefused(const Result& firstFailure) {
  std::string message = kivo::probe::describeHResult(firstFailure.renderStatus);
  for (char& c : message) {
    if (c == '"') c = '\'';
  }
  std::printf("refused hr=0x%08lX message=\"%s\"",
              static_cast<unsigned long>(firstFailure.renderStatus), message.c_str());
  if (!firstFailure.codec.empty()) std::printf(" codec=\"%s\"", firstFailure.codec.c_str());
  std::printf("\n");
}

// Runs kivo's rendered graph until it reports the end, at most `bound`.
// isStreamFinished is polled as a host polls it, leaving the processor to
// the streaming threads between polls.
bool runKivoToEnd(FileCaptureGraph& graph, std::chrono::milliseconds bound) {
  if (FAILED(graph.start(false))) return false;
  const Clock::time_point deadline = Clock::now() + bound;
  bool finished = false;
  while (!(finished = graph.isStreamFinished()) && Clock::now() < deadline) Sleep(5);
  graph.stop();
  return finished;
}

void readWithKivo(const std::wstring& file, const Streams& streams,
                  std::chrono::milliseconds runBound, Result* result) {
  TallyCallback video(&result->video), audio(&result->audio);
  FileCaptureGraph graph(file);
  if (streams.video) graph.setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
  if (streams.audio) graph.setAudioCallback(&audio, FileCaptureGraph::SAMPLE_PCM);
  try {
    result->renderStatus = graph.render(false);
    if (FAILED(result->renderStatus)) {
      result->codec = graph.getMissingCodecName();
      return;
    }
    result->reachedEnd = runKivoToEnd(graph, runBound);
    graph.reset();
  } catch (const HRException& e) {
    // The graph is Empty again when one of its exceptions leaves.
    std::fprintf(stderr, "kivo threw %s: %s\n", e.getID(), e.getMessage());
    if (SUCCEEDED(result->renderStatus)) result->renderStatus = E_FAIL;
  }
}

void readByHand(const std::wstring& file, const Streams& streams,
                std::chrono::milliseconds runBound, Result* result) {
  PlainTallyCallback video(&result->video), audio(&result->audio);
  kivo::tools::HandBuiltGraph hand;
  result->renderStatus =
      hand.build(file, streams.video ? &video : nullptr, streams.audio ? &audio : nullptr);
  if (SUCCEEDED(result->renderStatus)) result->reachedEnd = hand.runToEnd(runBound);
}

}  // namespace

int readOne(Reader reader, const std::wstring& file, std::chrono::milliseconds runBound) {
  Result firstFailure;
  for (const Streams& streams : kAttempts) {
    Result result;
    if (reader == Reader::Kivo) {
      readWithKivo(file, streams, runBound, &result);
    } else {
      readByHand(file, streams, runBound, &result);
    }
    if (SUCCEEDED(result.renderStatus)) {
      printRead(result, streams);
      std::fflush(stdout);
      return 0;
    }
    if (&streams == &kAttempts[0]) {
      firstFailure.renderStatus = result.renderStatus;
      firstFailure.codec = result.codec;
    }
  }
  printRefused(firstFailure);
  std::fflush(stdout);
  return 0;
}

}  // namespace kivo::corpus
