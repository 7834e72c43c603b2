// kivo-bench: measures kivo against the platform and against itself.
//
//   kivo-bench [--file FILE] [--device NAME] [--runs N] [--seconds S]
//              [--cycles N] [--calls N] [--no-device]
//
// Prints ONE JSON object on stdout (pretty, parseable as a whole) and, as
// the measurements go, a readable table on stderr. Sections:
//
// - "file" (only with --file): the frames per second read from FILE through
//   kivo::FileCaptureGraph and through the same DirectShow graph built by
//   hand with plain COM (filter graph, capture graph builder, sample grabber
//   taking RGB24, null renderer, no reference clock). N runs of each (default
//   10), alternating, each going first every other time; every run is timed
//   from start to the last frame's arrival, so how the end is noticed does
//   not count. "ratio" is kivo / hand-built.
// - "device" (the KIVO Test Camera unless --device names another): per
//   format and frame rate, render() and start() times, render->first frame,
//   start->first frame, and the frames delivered per second over S seconds
//   (default 3) against the rate set.
// - "callback_cost": what kivo adds per frame between the sample grabber and
//   the host. A real sample is taken from a capture; then the grabber's call
//   (ISampleGrabberCB::SampleCB through the interface pointer, which is what
//   the grabber holds) and a direct call of the host's processSample are
//   each made N times (default 2000000) in alternating blocks with the same
//   handler; the fastest block of each gives ns per call, and their
//   difference is the cost kivo's IMediaCB adds.
// - "life_cycle": render-start-(first frame)-stop-reset cycles per second of
//   a VideoCaptureGraph on the device and of a FileCaptureGraph on FILE, and
//   the process's handles, threads, private memory and heap bytes in use
//   before and after N cycles of each (default 500), after 5 warm-up cycles.
//   The same cycles on the hand-built file graph show what the platform
//   itself keeps.
//
// Exit status 0 when every section measured, 1 when one failed, 2 for a bad
// command line. The file is made by the caller, for example:
//   ffmpeg -f lavfi -i testsrc=size=320x240:rate=25 -frames:v 500
//          -c:v rawvideo -pix_fmt bgr24 x.avi  (one line)

#include <kivo/file_capture_graph.h>
#include <kivo/filter_enums.h>
#include <kivo/media_cb.h>
#include <kivo/video_capture_filter.h>
#include <kivo/video_capture_graph.h>

#include "common/com_apartment.h"
#include "common/find_device.h"
#include "common/frame_counter.h"
#include "common/hand_built_graph.h"
#include "common/options.h"
#include "common/process_usage.h"
#include "common/utf8.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

using kivo::tools::CountingCallback;
using kivo::tools::FrameCounter;
using kivo::tools::HandBuiltGraph;
using kivo::tools::kFrameWait;
using kivo::tools::PlainCallback;
using kivo::tools::ProcessUsage;
using kivo::tools::ValueKind;
using Clock = std::chrono::steady_clock;

namespace {

// In the order the usage line lists them.
// clang-format off
const std::vector<kivo::tools::Option> kOptions = {
    {"--file", ValueKind::Text, "FILE"},
    {"--device", ValueKind::Text, "NAME"},
    {"--runs", ValueKind::PositiveInteger, "N"},
    {"--seconds", ValueKind::PositiveNumber, "S"},
    {"--cycles", ValueKind::PositiveInteger, "N"},
    {"--calls", ValueKind::PositiveInteger, "N"},
    {"--no-device", ValueKind::Flag},
};
// clang-format on

double milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The JSON text being built, appended to with printf formats.
std::string json;

void out(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  json += buffer;
}

std::string quoted(const std::string& text) {
  std::string result = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') result += '\\';
    result += c;
  }
  return result + "\"";
}

void usageJson(const char* name, const ProcessUsage& usage) {
  out("\"%s\": {\"handles\": %ld, \"threads\": %ld, \"private_bytes\": %lld, \"heap_bytes\": %lld}",
      name, usage.handles, usage.threads, usage.privateBytes, usage.heapBytes);
}

// --- file reading --------------------------------------------------------

struct Reading {
  long frames = 0;
  double seconds = 0.0;
};

Reading readWithKivo(const std::wstring& file) {
  Reading reading;
  FrameCounter counter;
  CountingCallback callback(&counter);
  kivo::FileCaptureGraph graph(file);
  graph.setVideoCallback(&callback, kivo::FileCaptureGraph::FRAME_RGB24);
  if (FAILED(graph.render(false))) return reading;
  const Clock::time_point begin = Clock::now();
  if (FAILED(graph.start(false))) return reading;
  // A host polls for the end; between polls it leaves the processor to the
  // streaming thread.
  while (!graph.isStreamFinished()) Sleep(20);
  reading.seconds = seconds(counter.last() - begin);
  graph.stop();
  reading.frames = counter.frames();
  return reading;
}

Reading readByHand(const std::wstring& file) {
  Reading reading;
  FrameCounter counter;
  PlainCallback callback(&counter);
  HandBuiltGraph hand;
  if (FAILED(hand.build(file, &callback))) return reading;
  const Clock::time_point begin = Clock::now();
  if (!hand.runToEnd(std::chrono::seconds(60))) return reading;
  reading.seconds = seconds(counter.last() - begin);
  reading.frames = counter.frames();
  return reading;
}

double framesPerSecond(const std::vector<Reading>& readings) {
  long frames = 0;
  double total = 0.0;
  for (const Reading& reading : readings) {
    frames += reading.frames;
    total += reading.seconds;
  }
  return total > 0.0 ? frames / total : 0.0;
}

bool benchFile(const std::wstring& file, int runs) {
  std::vector<Reading> kivoRuns, handRuns;
  // Alternate, so that both see the same machine state and file cache, and
  // each goes first every other time: what a graph leaves running as it is
  // released then weighs on both alike.
  for (int i = 0; i < runs; ++i) {
    if (i % 2 == 0) {
      handRuns.push_back(readByHand(file));
      kivoRuns.push_back(readWithKivo(file));
    } else {
      kivoRuns.push_back(readWithKivo(file));
      handRuns.push_back(readByHand(file));
    }
  }
  const double kivoFps = framesPerSecond(kivoRuns);
  const double handFps = framesPerSecond(handRuns);
  const double ratio = handFps > 0 ? kivoFps / handFps : 0.0;
  const long frames = kivoRuns.empty() ? 0 : kivoRuns.front().frames;
  std::fprintf(stderr, "file %s: %ld frames per run, %d runs each\n",
               kivo::tools::narrow(file).c_str(), frames, runs);
  std::fprintf(stderr, "  kivo %9.1f fps | hand-built %9.1f fps | ratio %.3f\n\n", kivoFps, handFps,
               ratio);
  json += "  \"file\": {\"path\": " + quoted(kivo::tools::narrow(file));
  out(", \"frames_per_run\": %ld, \"runs\": %d, \"kivo_fps\": %.1f, \"hand_built_fps\": %.1f, "
      "\"ratio\": %.3f},\n",
      frames, runs, kivoFps, handFps, ratio);
  return kivoFps > 0 && handFps > 0;
}

// --- device --------------------------------------------------------------

struct Rate {
  const char* format;
  LONGLONG interval;
};

// When each step of a timed start happened.
struct StartTimes {
  Clock::time_point renderCall, rendered, startCall, started, first;
};

// Renders the graph with the rate's format and interval chosen, starts it
// and waits for its first frame, noting the time of each step; the error for
// the JSON entry when a step failed, else null.
const char* timedStart(kivo::VideoCaptureGraph& graph, const Rate& rate, FrameCounter& counter,
                       StartTimes* times) {
  times->renderCall = Clock::now();
  if (FAILED(graph.render(false))) return "render failed";
  times->rendered = Clock::now();
  graph.setSelectedCapID(graph.lookupCapIDByName(rate.format));
  graph.setFrameRate(rate.interval, true);
  times->startCall = Clock::now();
  if (FAILED(graph.start(false))) return "start failed";
  times->started = Clock::now();
  if (!counter.waitFor(1, kFrameWait)) {
    std::fprintf(stderr, "%-16s no frame within 10 s\n", rate.format);
    return "no frame";
  }
  times->first = counter.first();
  return nullptr;
}

// The frames per second delivered over `window` seconds from now.
double deliveredRate(const FrameCounter& counter, double window) {
  const long atStart = counter.frames();
  const Clock::time_point start = Clock::now();
  Sleep(static_cast<DWORD>(window * 1000));
  return (counter.frames() - atStart) / seconds(Clock::now() - start);
}

void reportRate(const Rate& rate, double setFps, const StartTimes& times, double delivered) {
  const double renderMs = milliseconds(times.rendered - times.renderCall);
  const double startMs = milliseconds(times.started - times.startCall);
  const double renderToFirstMs = milliseconds(times.first - times.renderCall);
  const double startToFirstMs = milliseconds(times.first - times.startCall);
  const double percent = 100.0 * delivered / setFps;
  std::fprintf(stderr, "%-16s %7.3f | %7.1f | %7.1f | %7.1f | %7.1f | %7.3f (%5.1f%%)\n",
               rate.format, setFps, renderMs, startMs, renderToFirstMs, startToFirstMs, delivered,
               percent);
  out(", \"offered\": true, \"render_ms\": %.1f, \"start_ms\": %.1f, "
      "\"render_to_first_frame_ms\": %.1f, \"start_to_first_frame_ms\": %.1f, "
      "\"delivered_fps\": %.3f, \"delivered_percent\": %.1f}",
      renderMs, startMs, renderToFirstMs, startToFirstMs, delivered, percent);
}

bool measureRate(kivo::VideoCaptureFilter* device, const Rate& rate, double window,
                 bool* firstEntry) {
  const double setFps = kivo::VideoCaptureGraph::convertToFramesPerSecond(rate.interval);
  out("%s    {\"format\": \"%s\", \"set_fps\": %.3f", *firstEntry ? "" : ",\n", rate.format,
      setFps);
  *firstEntry = false;
  FrameCounter counter;
  kivo::VideoCaptureGraph graph(device, 0);
  graph.setMediaCB(new CountingCallback(&counter));
  // The format list exists after the first render; the timed render is a
  // later one, with the format and rate chosen.
  if (FAILED(graph.render(false))) {
    out(", \"error\": \"render failed\"}");
    return false;
  }
  graph.setSelectedCapID(graph.lookupCapIDByName(rate.format));
  if (FAILED(graph.setFrameRate(rate.interval, true))) {
    std::fprintf(stderr, "%-16s %7.3f fps: not offered\n", rate.format, setFps);
    out(", \"offered\": false}");
    return true;
  }
  graph.reset();  // destroys the callback too
  graph.setMediaCB(new CountingCallback(&counter));
  StartTimes times;
  if (const char* error = timedStart(graph, rate, counter, &times)) {
    out(", \"error\": \"%s\"}", error);
    graph.reset();
    return false;
  }
  const double delivered = deliveredRate(counter, window);
  graph.stop();
  graph.reset();
  reportRate(rate, setFps, times, delivered);
  return true;
}

bool benchDevice(kivo::VideoCaptureFilter* device, double window) {
  // 333333 = 30 fps, 666666 = 15 fps, 2000000 = 5 fps. The Test Camera's
  // MJPG format offers 15 and 5 fps only: its 30 fps entry shows that.
  const Rate rates[] = {{"YUY2_640x480", 333333},  {"YUY2_320x240", 333333},
                        {"RGB24_640x480", 333333}, {"RGB32_320x240", 333333},
                        {"I420_320x240", 333333},  {"MJPG_1280x720", 333333},
                        {"MJPG_1280x720", 666666}, {"YUY2_320x240", 2000000}};
  std::fprintf(stderr, "device \"%s\", %.1f s per rate (times in ms)\n", device->getName(), window);
  std::fprintf(stderr, "%-16s %7s | %7s | %7s | %7s | %7s | %s\n", "format", "set fps", "render",
               "start", "r->1st", "s->1st", "delivered fps");
  out("  \"device\": {\"name\": %s, \"seconds_per_rate\": %.1f, \"rates\": [\n",
      quoted(device->getName()).c_str(), window);
  bool ok = true;
  bool firstEntry = true;
  for (const Rate& rate : rates) ok = measureRate(device, rate, window, &firstEntry) && ok;
  out("\n  ]},\n");
  std::fprintf(stderr, "\n");
  return ok;
}

// --- callback cost ------------------------------------------------------

// A host handler doing the least a host does: looks at the sample.
class TouchingCallback : public kivo::IMediaCB {
 public:
  ~TouchingCallback() override = default;
  long processSample(double, IMediaSample* sample) override {
    bytes += sample->GetActualDataLength();
    return S_OK;
  }
  long long bytes = 0;
};

// Keeps the first sample a capture delivers.
class KeepingCallback : public kivo::IMediaCB {
 public:
  KeepingCallback(FrameCounter* counter, kivo::CComPtr<IMediaSample>& kept)
      : counter_(counter), kept_(kept) {}
  long processSample(double, IMediaSample* sample) override {
    if (counter_->frames() == 0) kept_ = sample;
    counter_->add();
    return S_OK;
  }

 private:
  FrameCounter* counter_;
  kivo::CComPtr<IMediaSample>& kept_;
};

// Nanoseconds per call of the grabber's call into kivo and of the host's
// handler called directly, each the fastest of 20 alternating blocks.
struct CallCosts {
  long calls = 0;  // of each
  double viaGrabber = 1e30;
  double direct = 1e30;
};

CallCosts timeCallbacks(IMediaSample* sample, long calls) {
  TouchingCallback* handler = new TouchingCallback;
  // Read through volatile pointers, so that the compiler cannot see which
  // object is called and must make the virtual calls as the grabber does.
  ISampleGrabberCB* volatile asGrabberSees = handler;
  kivo::IMediaCB* volatile asHostSees = handler;
  const int blocks = 20;
  const long perBlock = std::max(1L, calls / blocks);
  CallCosts costs;
  costs.calls = perBlock * blocks;
  for (int block = 0; block < blocks; ++block) {
    ISampleGrabberCB* grabberSide = asGrabberSees;
    Clock::time_point begin = Clock::now();
    for (long i = 0; i < perBlock; ++i) grabberSide->SampleCB(0.0, sample);
    costs.viaGrabber = std::min(costs.viaGrabber, seconds(Clock::now() - begin) * 1e9 / perBlock);
    kivo::IMediaCB* hostSide = asHostSees;
    begin = Clock::now();
    for (long i = 0; i < perBlock; ++i) hostSide->processSample(0.0, sample);
    costs.direct = std::min(costs.direct, seconds(Clock::now() - begin) * 1e9 / perBlock);
  }
  handler->destroy();
  return costs;
}

bool benchCallbackCost(kivo::VideoCaptureFilter* device, long calls) {
  FrameCounter counter;
  kivo::CComPtr<IMediaSample> sample;
  kivo::VideoCaptureGraph graph(device, 0);
  graph.setMediaCB(new KeepingCallback(&counter, sample));
  if (FAILED(graph.render(false)) || FAILED(graph.start(false)) ||
      !counter.waitFor(1, kFrameWait) || !sample) {
    graph.reset();
    out("  \"callback_cost\": {\"error\": \"no sample\"},\n");
    return false;
  }
  // The graph is stopped but still rendered while the sample is used.
  graph.stop();
  const CallCosts costs = timeCallbacks(sample, calls);
  sample = nullptr;
  graph.reset();
  const double added = costs.viaGrabber - costs.direct;
  std::fprintf(stderr,
               "callback cost (%ld calls each): SampleCB->processSample %.1f ns, processSample "
               "alone %.1f ns: kivo adds %.1f ns per frame\n\n",
               costs.calls, costs.viaGrabber, costs.direct, added);
  out("  \"callback_cost\": {\"calls\": %ld, \"sample_cb_ns\": %.2f, \"process_sample_ns\": %.2f, "
      "\"added_ns_per_frame\": %.2f},\n",
      costs.calls, costs.viaGrabber, costs.direct, added);
  return true;
}

// --- life cycle ----------------------------------------------------------

// One render-start-stop-reset cycle of a kivo graph that waits for a first
// frame between start and stop, so that every cycle did stream.
template <class Graph>
bool streamCycle(Graph& graph, FrameCounter& counter) {
  counter.clear();
  const bool ok = SUCCEEDED(graph.render(false)) && SUCCEEDED(graph.start(false)) &&
                  counter.waitFor(1, kFrameWait) && SUCCEEDED(graph.stop());
  graph.reset();
  return ok;
}

// The same cycle on the graph built by hand: what the platform itself
// holds on to, for comparison.
bool handBuiltCycle(const std::wstring& file, FrameCounter& counter) {
  counter.clear();
  PlainCallback callback(&counter);
  HandBuiltGraph hand;
  return SUCCEEDED(hand.build(file, &callback)) && SUCCEEDED(hand.run()) &&
         counter.waitFor(1, kFrameWait);
}

template <typename Cycle>
bool benchCycles(const char* name, int cycles, Cycle cycle, bool* firstEntry) {
  const int warmUp = 5;
  for (int i = 0; i < warmUp; ++i) {
    if (!cycle()) {
      std::fprintf(stderr, "%s: warm-up cycle %d failed\n", name, i);
      return false;
    }
  }
  const ProcessUsage before = ProcessUsage::now();
  const Clock::time_point begin = Clock::now();
  int done = 0;
  while (done < cycles && cycle()) ++done;
  const double rate = done / seconds(Clock::now() - begin);
  const ProcessUsage after = ProcessUsage::now();
  const ProcessUsage growth = after.since(before);
  std::fprintf(stderr, "%-15s %5d cycles %7.1f/s | before: ", name, done, rate);
  before.printText(stderr);
  std::fprintf(stderr, "\n%28s after: ", "");
  after.printText(stderr);
  std::fprintf(stderr, "\n%27s growth: ", "");
  growth.printText(stderr);
  std::fprintf(stderr, "%s\n", done < cycles ? " (a cycle FAILED)" : "");
  out("%s    \"%s\": {\"cycles\": %d, \"failed_cycle\": %s, \"cycles_per_second\": %.2f, ",
      *firstEntry ? "" : ",\n", name, done, done < cycles ? "true" : "false", rate);
  *firstEntry = false;
  usageJson("before", before);
  out(", ");
  usageJson("after", after);
  out(", ");
  usageJson("growth", growth);
  out("}");
  return done == cycles;
}

bool benchLifeCycle(kivo::VideoCaptureFilter* device, const std::wstring& file, int cycles) {
  std::fprintf(stderr, "life cycle: render-start-first frame-stop-reset, after 5 warm-up cycles\n");
  const ProcessUsage sources = ProcessUsage::now();
  out("  \"life_cycle\": {\"warm_up_cycles\": 5, \"handles_source\": \"%s\", "
      "\"private_source\": \"%s\",\n",
      sources.handlesSource, sources.privateSource);
  bool ok = true;
  bool firstEntry = true;
  FrameCounter counter;
  if (device) {
    kivo::VideoCaptureGraph graph(device, 0);
    auto cycle = [&] {
      graph.setMediaCB(new CountingCallback(&counter));  // the reset destroys it
      return streamCycle(graph, counter);
    };
    ok = benchCycles("device", cycles, cycle, &firstEntry) && ok;
  }
  if (!file.empty()) {
    CountingCallback callback(&counter);
    kivo::FileCaptureGraph graph(file);
    graph.setVideoCallback(&callback, kivo::FileCaptureGraph::FRAME_RGB24);
    auto cycle = [&] { return streamCycle(graph, counter); };
    ok = benchCycles("file", cycles, cycle, &firstEntry) && ok;
    auto handCycle = [&] { return handBuiltCycle(file, counter); };
    ok = benchCycles("file_hand_built", cycles, handCycle, &firstEntry) && ok;
  }
  out("\n  }\n");
  return ok;
}

// Every section the options ask for; false when one failed.
bool benchAll(const kivo::tools::ParsedOptions& options) {
  const std::wstring file = kivo::tools::widen(options.text("--file"));
  bool ok = true;
  kivo::FilterEnums devices;
  kivo::VideoCaptureFilter* device = nullptr;
  if (!options.has("--no-device")) {
    const std::string name = options.text("--device", "KIVO Test Camera");
    device = kivo::tools::findVideoDevice(devices, name);
    if (!device) {
      std::fprintf(stderr, "no device named \"%s\"\n", name.c_str());
      out("  \"device\": {\"name\": %s, \"error\": \"not found\"},\n", quoted(name).c_str());
      ok = false;
    }
  }
  if (!file.empty()) {
    ok = benchFile(file, static_cast<int>(options.integer("--runs", 10))) && ok;
  }
  if (device) {
    ok = benchDevice(device, options.number("--seconds", 3.0)) && ok;
    ok = benchCallbackCost(device, static_cast<long>(options.integer("--calls", 2000000))) && ok;
  }
  return benchLifeCycle(device, file, static_cast<int>(options.integer("--cycles", 500))) && ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  kivo::tools::ParsedOptions options;
  if (!kivo::tools::parseProgramOptions("kivo-bench", kOptions, argc, argv, &options)) return 2;
  kivo::tools::ComApartment com;
  if (FAILED(com.status())) return 1;
  json = "{\n";
  const bool ok = benchAll(options);
  json += "}\n";
  std::fputs(json.c_str(), stdout);
  return ok ? 0 : 1;
}
