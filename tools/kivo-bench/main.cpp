// kivo-bench: measures kivo against the platform and against itself.
//
//   kivo-bench [--file FILE] [--device NAME] [--runs N] [--seconds S]
//              [--cycles N] [--calls N] [--open-runs N] [--cpu-seconds S]
//              [--no-device]
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
// - "device" (the KIVO Test Camera unless --device names another): for
//   every format the device lists, at its fastest rate (plus MJPG_1280x720
//   at 30 fps, which the Test Camera refuses, and YUY2_320x240 at 5 fps),
//   render() and start() times, render->first frame, start->first frame,
//   and the frames delivered per second over S seconds (default 3) against
//   the rate set.
// - "callback_cost": what kivo adds per frame between the sample grabber and
//   the host. A real sample is taken from a capture; then the grabber's call
//   (ISampleGrabberCB::SampleCB through the interface pointer, which is what
//   the grabber holds) and a direct call of the host's processSample are
//   each made N times (default 2000000) in alternating blocks with the same
//   handler; the fastest block of each gives ns per call, and their
//   difference is the cost kivo's IMediaCB adds.
// - "open": the device opened as RGB24 640x480 at 30 fps in fresh
//   processes, from process creation to the first frame: kivo-open-host
//   (VideoDeviceList, open by name, VideoCaptureGraph with the null
//   renderer, render, select the format, start) against hand-open-host (the
//   same capture built with plain COM, tools/common/hand_built_capture.h,
//   without kivo.dll). N runs of each (default 7), alternating, each going
//   first every other time; QueryPerformanceCounter, which is the machine's,
//   is read here just before CreateProcessW and by the host at the top of
//   main, after each step and at the first frame: the median, min and max
//   from creation to first frame, their ratio kivo / hand-built, the median
//   of each step and the modules either host has loaded and the other not.
//   Then: LoadLibraryW(L"kivo.dll") timed in N fresh processes that hold
//   nothing else yet (kivo-load-probe) and the modules it loads; the
//   in-process time of kivo::FilterEnums (binds every device) and
//   kivo::VideoDeviceList (binds none) per device listed, next to the walk
//   over the platform's monikers alone (median of N, alternating, after one
//   warm-up each); and the processor time per frame of all the host
//   process's threads over S seconds (default 10) after the first frame, for
//   kivo and the hand-built host each with a callback that only looks at the
//   sample and with one that copies the frame, two runs of each (the second
//   round in the reverse order) added up. The clock is GetProcessTimes,
//   whose step is measured and reported (10 ms under Wine, where
//   QueryProcessCycleTime is not implemented or answers 0, and
//   GetThreadTimes has the same step per thread and, under Wine 10, reads 0
//   for a thread that ended): S must be long enough for it.
//   render/start/first frame per format are in "device".
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
#include <kivo/video_capability.h>
#include <kivo/video_capture_graph.h>
#include <kivo/video_caps.h>
#include <kivo/video_device_list.h>

#include "common/json.h"
#include "common/child_runs.h"
#include "common/com_apartment.h"
#include "common/find_device.h"
#include "common/frame_counter.h"
#include "common/hand_built_capture.h"
#include "common/hand_built_graph.h"
#include "common/options.h"
#include "common/process_usage.h"
#include "common/utf8.h"
#include "open_host.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
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
    {"--open-runs", ValueKind::PositiveInteger, "N"},
    {"--cpu-seconds", ValueKind::PositiveNumber, "S"},
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
  json += "  \"file\": {\"path\": " + kivo::tools::jsonString(kivo::tools::narrow(file));
  out(", \"frames_per_run\": %ld, \"runs\": %d, \"kivo_fps\": %.1f, \"hand_built_fps\": %.1f, "
      "\"ratio\": %.3f},\n",
      frames, runs, kivoFps, handFps, ratio);
  return kivoFps > 0 && handFps > 0;
}

// --- device --------------------------------------------------------------

struct Rate {
  std::string format;
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
  graph.setSelectedCapID(graph.lookupCapIDByName(rate.format.c_str()));
  graph.setFrameRate(rate.interval, true);
  times->startCall = Clock::now();
  if (FAILED(graph.start(false))) return "start failed";
  times->started = Clock::now();
  if (!counter.waitFor(1, kFrameWait)) {
    std::fprintf(stderr, "%-16s no frame within 10 s\n", rate.format.c_str());
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
               rate.format.c_str(), setFps, renderMs, startMs, renderToFirstMs, startToFirstMs,
               delivered, percent);
  out(", \"offered\": true, \"render_ms\": %.1f, \"start_ms\": %.1f, "
      "\"render_to_first_frame_ms\": %.1f, \"start_to_first_frame_ms\": %.1f, "
      "\"delivered_fps\": %.3f, \"delivered_percent\": %.1f}",
      renderMs, startMs, renderToFirstMs, startToFirstMs, delivered, percent);
}

bool measureRate(kivo::VideoCaptureFilter* device, const Rate& rate, double window,
                 bool* firstEntry) {
  const double setFps = kivo::VideoCaptureGraph::convertToFramesPerSecond(rate.interval);
  out("%s    {\"format\": \"%s\", \"set_fps\": %.3f", *firstEntry ? "" : ",\n", rate.format.c_str(),
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
  graph.setSelectedCapID(graph.lookupCapIDByName(rate.format.c_str()));
  if (FAILED(graph.setFrameRate(rate.interval, true))) {
    std::fprintf(stderr, "%-16s %7.3f fps: not offered\n", rate.format.c_str(), setFps);
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

// Every format the device lists (once per name: a host selects by name, and
// the first of that name is the one selected), each at its fastest rate;
// then, when the device lists them, MJPG_1280x720 at 30 fps, which the
// Test Camera does not offer (15 and 5 fps only), to show the refusal, and
// YUY2_320x240 at 5 fps, a slow rate. 333333 = 30 fps, 2000000 = 5 fps.
std::vector<Rate> ratesToMeasure(kivo::VideoCaptureFilter* device) {
  std::vector<Rate> rates;
  kivo::VideoCaptureGraph graph(device, 0);
  if (FAILED(graph.render(false)) || !graph.getVideoCapabilities()) return rates;
  const std::vector<kivo::VideoCapability>& list =
      graph.getVideoCapabilities()->getCapabilityList();
  auto listed = [&](const std::string& name) {
    return std::any_of(rates.begin(), rates.end(), [&](const Rate& r) { return r.format == name; });
  };
  for (size_t i = 0; i < list.size(); ++i) {
    const std::string name = list[i].getFullName();
    if (listed(name)) continue;
    graph.setSelectedCapID(static_cast<int>(i));
    const kivo::VideoCaptureGraph::FrameRateMap& frameRates = graph.getFrameRates();
    rates.push_back({name, frameRates.empty() ? 333333 : frameRates.begin()->second});
  }
  graph.reset();
  const Rate extras[] = {{"MJPG_1280x720", 333333}, {"YUY2_320x240", 2000000}};
  for (const Rate& extra : extras) {
    if (listed(extra.format)) rates.push_back(extra);
  }
  return rates;
}

bool benchDevice(kivo::VideoCaptureFilter* device, double window) {
  const std::vector<Rate> rates = ratesToMeasure(device);
  std::fprintf(stderr, "device \"%s\", %.1f s per rate (times in ms)\n", device->getName(), window);
  std::fprintf(stderr, "%-16s %7s | %7s | %7s | %7s | %7s | %s\n", "format", "set fps", "render",
               "start", "r->1st", "s->1st", "delivered fps");
  out("  \"device\": {\"name\": %s, \"seconds_per_rate\": %.1f, \"rates\": [\n",
      kivo::tools::jsonString(device->getName()).c_str(), window);
  bool ok = !rates.empty();
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

// --- open in a fresh process ---------------------------------------------

// The format the open hosts capture, at 30 fps.
const char* const kOpenFormat = "RGB24_640x480";
const LONGLONG kOpenInterval = 333333;
// How long a host may take to show its first frame, beyond any CPU window.
constexpr std::chrono::milliseconds kHostBound(60000);

struct Spread {
  double median = 0.0, min = 0.0, max = 0.0;
};

Spread spreadOf(std::vector<double> values) {
  Spread spread;
  if (values.empty()) return spread;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  spread.median = values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
  spread.min = values.front();
  spread.max = values.back();
  return spread;
}

void spreadJson(const char* name, const Spread& spread) {
  out("\"%s\": {\"median\": %.1f, \"min\": %.1f, \"max\": %.1f}", name, spread.median, spread.min,
      spread.max);
}

// Milliseconds between two QueryPerformanceCounter readings, of this process
// or of another: the counter is the machine's.
double counterMilliseconds(long long from, long long to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to - from) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::vector<std::string> splitList(const std::string& text) {
  std::vector<std::string> items;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find(',', begin);
    if (end == std::string::npos) end = text.size();
    items.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return items;
}

// ["a", "b"], appended to the JSON text.
void listJson(const std::vector<std::string>& items) {
  json += "[";
  for (size_t i = 0; i < items.size(); ++i)
    json += (i ? ", " : "") + kivo::tools::jsonString(items[i]);
  json += "]";
}

// The folder of this program, where the hosts are built beside it.
std::wstring programFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

// One child's report: the "key=value" pairs of its line, and the counter
// noted before it was created.
struct HostRun {
  bool ok = false;
  long long created = 0;
  std::map<std::string, std::string> values;

  long long counter(const std::string& key) const {
    if (key == "created") return created;
    auto found = values.find(key);
    return found == values.end() ? 0 : std::strtoll(found->second.c_str(), nullptr, 10);
  }
  double milliseconds(const std::string& from, const std::string& to) const {
    return counterMilliseconds(counter(from), counter(to));
  }
};

std::map<std::string, std::string> parseReport(const std::string& output) {
  std::map<std::string, std::string> values;
  size_t begin = 0;
  while (begin < output.size()) {
    size_t end = output.find_first_of(" \r\n", begin);
    if (end == std::string::npos) end = output.size();
    const std::string pair = output.substr(begin, end - begin);
    const size_t equals = pair.find('=');
    if (equals != std::string::npos) values[pair.substr(0, equals)] = pair.substr(equals + 1);
    begin = end + 1;
  }
  return values;
}

// Runs one child of this program's folder to its end (at most `bound`).
HostRun runHost(const std::wstring& program, const std::wstring& arguments,
                std::chrono::milliseconds bound) {
  HostRun run;
  const std::wstring commandLine = L"\"" + programFolder() + program + L"\" " + arguments;
  kivo::tools::runChildren(
      {commandLine}, 1, bound, [&](size_t, const kivo::tools::ChildRun& child) {
        run.values = parseReport(child.output);
        run.created = child.createdCounter;
        run.ok =
            child.started && !child.timedOut && child.exitCode == 0 && !run.values.count("error");
        if (!run.ok) {
          std::fprintf(stderr, "  %s failed (exit %lu%s): %s\n",
                       kivo::tools::narrow(program).c_str(), child.exitCode,
                       child.timedOut ? ", timed out" : "", child.output.c_str());
        }
      });
  return run;
}

std::wstring hostArguments(const std::string& device, const std::string& extra = "") {
  return L"--device \"" + kivo::tools::widen(device) + L"\" --format " +
         kivo::tools::widen(kOpenFormat) + L" --interval " + std::to_wstring(kOpenInterval) +
         kivo::tools::widen(extra);
}

// The steps of an open, each between two counters of the host's report;
// "created" is this program's reading just before CreateProcessW. The
// hand-built host binds its device once: its graph_copy is 0.
struct Step {
  const char* name;
  const char* from;
  const char* to;
};
const Step kSteps[] = {{"process_start", "created", "main"}, {"list", "main", "listed"},
                       {"open", "listed", "opened"},         {"graph_copy", "opened", "copied"},
                       {"render", "copied", "rendered"},     {"start", "rendered", "started"},
                       {"first_frame", "started", "first"}};

Spread stepSpread(const std::vector<HostRun>& runs, const char* from, const char* to) {
  std::vector<double> values;
  for (const HostRun& run : runs) values.push_back(run.milliseconds(from, to));
  return spreadOf(values);
}

struct OpenRuns {
  std::vector<HostRun> kivo, hand;
};

// N runs of each host, alternating, each going first every other time.
bool runOpenHosts(const std::string& device, int runs, OpenRuns* result) {
  bool ok = true;
  for (int i = 0; i < runs; ++i) {
    for (int turn = 0; turn < 2; ++turn) {
      const bool kivoTurn = (turn == 0) == (i % 2 == 1);
      HostRun run = runHost(kivoTurn ? L"kivo-open-host.exe" : L"hand-open-host.exe",
                            hostArguments(device), kHostBound);
      ok = run.ok && ok;
      if (run.ok) (kivoTurn ? result->kivo : result->hand).push_back(run);
    }
  }
  return ok && !result->kivo.empty() && !result->hand.empty();
}

void printStepRow(const char* name, const std::vector<HostRun>& runs, const Spread& total) {
  std::fprintf(stderr, "  %-10s %7.1f %7.1f %7.1f |", name, total.median, total.min, total.max);
  for (const Step& step : kSteps)
    std::fprintf(stderr, " %7.1f", stepSpread(runs, step.from, step.to).median);
  std::fprintf(stderr, "\n");
}

void stepsJson(const char* name, const std::vector<HostRun>& runs) {
  out("\"%s\": {", name);
  bool first = true;
  for (const Step& step : kSteps) {
    out("%s\"%s\": %.1f", first ? "" : ", ", step.name,
        stepSpread(runs, step.from, step.to).median);
    first = false;
  }
  out("}");
}

// Every run's time from creation to first frame, in the order run.
void eachJson(const std::vector<HostRun>& runs) {
  json += "[";
  for (size_t i = 0; i < runs.size(); ++i)
    out("%s%.1f", i ? ", " : "", runs[i].milliseconds("created", "first"));
  json += "]";
}

// The modules one host had at its first frame and the other had not.
std::vector<std::string> modulesOnlyIn(const HostRun& one, const HostRun& other) {
  const std::vector<std::string> theirs = splitList(other.values.at("modules"));
  std::vector<std::string> only;
  for (const std::string& name : splitList(one.values.at("modules"))) {
    if (std::find(theirs.begin(), theirs.end(), name) == theirs.end()) only.push_back(name);
  }
  return only;
}

void reportOpenTimes(const OpenRuns& runs) {
  const Spread kivoTotal = stepSpread(runs.kivo, "created", "first");
  const Spread handTotal = stepSpread(runs.hand, "created", "first");
  const double ratio = handTotal.median > 0 ? kivoTotal.median / handTotal.median : 0.0;
  std::fprintf(stderr, "  %-10s %7s %7s %7s | medians:", "created->1st", "median", "min", "max");
  for (const Step& step : kSteps) std::fprintf(stderr, " %s", step.name);
  std::fprintf(stderr, "\n");
  printStepRow("kivo", runs.kivo, kivoTotal);
  printStepRow("hand-built", runs.hand, handTotal);
  std::fprintf(stderr, "  ratio kivo / hand-built %.3f\n", ratio);
  out("    \"creation_to_first_frame_ms\": {");
  spreadJson("kivo", kivoTotal);
  out(", ");
  spreadJson("hand_built", handTotal);
  out(", \"ratio\": %.3f, \"each_kivo\": ", ratio);
  eachJson(runs.kivo);
  out(", \"each_hand_built\": ");
  eachJson(runs.hand);
  out("},\n    \"steps_median_ms\": {");
  stepsJson("kivo", runs.kivo);
  out(", ");
  stepsJson("hand_built", runs.hand);
  out("},\n");
  const std::vector<std::string> onlyKivo = modulesOnlyIn(runs.kivo.back(), runs.hand.back());
  const std::vector<std::string> onlyHand = modulesOnlyIn(runs.hand.back(), runs.kivo.back());
  std::fprintf(stderr, "  modules at the first frame: kivo host %zu, hand-built %zu; only kivo's: ",
               splitList(runs.kivo.back().values.at("modules")).size(),
               splitList(runs.hand.back().values.at("modules")).size());
  for (const std::string& name : onlyKivo) std::fprintf(stderr, "%s ", name.c_str());
  std::fprintf(stderr, "; only the hand-built's: ");
  for (const std::string& name : onlyHand) std::fprintf(stderr, "%s ", name.c_str());
  std::fprintf(stderr, "\n");
  out("    \"modules_at_first_frame\": {\"kivo\": %zu, \"hand_built\": %zu, \"only_kivo\": ",
      splitList(runs.kivo.back().values.at("modules")).size(),
      splitList(runs.hand.back().values.at("modules")).size());
  listJson(onlyKivo);
  out(", \"only_hand_built\": ");
  listJson(onlyHand);
  out("},\n");
}

// LoadLibraryW(L"kivo.dll") in N fresh processes that hold nothing else.
bool benchKivoLoad(int runs) {
  std::vector<double> loads, starts;
  HostRun last;
  for (int i = 0; i < runs; ++i) {
    HostRun run = runHost(L"kivo-load-probe.exe", L"", kHostBound);
    if (!run.ok) continue;
    loads.push_back(run.milliseconds("before", "after"));
    starts.push_back(run.milliseconds("created", "main"));
    last = run;
  }
  if (loads.empty()) {
    out("    \"kivo_dll_load\": {\"error\": \"no run\"},\n");
    return false;
  }
  const Spread load = spreadOf(loads);
  const Spread start = spreadOf(starts);
  const std::vector<std::string> loaded = splitList(last.values["loaded"]);
  std::fprintf(stderr,
               "kivo.dll load (LoadLibraryW in a fresh process holding only %zu modules, %zu "
               "runs): median %.1f ms (%.1f to %.1f); that process started in %.1f ms\n  it loads "
               "%zu modules:",
               splitList(last.values["modules_before"]).size(), loads.size(), load.median, load.min,
               load.max, start.median, loaded.size());
  for (const std::string& name : loaded) std::fprintf(stderr, " %s", name.c_str());
  std::fprintf(stderr, "\n");
  out("    \"kivo_dll_load\": {\"runs\": %zu, ", loads.size());
  spreadJson("load_ms", load);
  out(", ");
  spreadJson("bare_process_start_ms", start);
  out(", \"modules_before\": ");
  listJson(splitList(last.values["modules_before"]));
  out(", \"loaded\": ");
  listJson(loaded);
  out("},\n");
  return loads.size() == static_cast<size_t>(runs);
}

// The platform's own part of a listing: the category's monikers, walked.
struct MonikerWalk {
  size_t count = kivo::tools::countVideoDeviceMonikers();
};

size_t deviceCount(const kivo::FilterEnums& list) { return list.getVideoDevices().size(); }
size_t deviceCount(const kivo::VideoDeviceList& list) { return list.getDevices().size(); }
size_t deviceCount(const MonikerWalk& walk) { return walk.count; }

// Milliseconds to build the list; its devices in *count. The list is
// destroyed after the timing.
template <class List>
double timeList(size_t* count) {
  const Clock::time_point begin = Clock::now();
  List list;
  const double elapsed = milliseconds(Clock::now() - begin);
  *count = deviceCount(list);
  return elapsed;
}

// How long one kind of list takes, median of its runs, and per device.
struct ListTiming {
  ListTiming(const char* key, const char* label) : key(key), label(label) {}
  const char* key;    // in the JSON
  const char* label;  // in the table
  size_t devices = 0;
  std::vector<double> times;
};

template <class List>
void timeOnce(ListTiming& timing) {
  timing.times.push_back(timeList<List>(&timing.devices));
}

void reportList(const ListTiming& timing, bool last) {
  const Spread spread = spreadOf(timing.times);
  const double each = timing.devices ? spread.median / timing.devices : 0.0;
  std::fprintf(stderr, "  %-44s %7.2f ms (min %.2f) for %zu devices: %.3f ms each\n", timing.label,
               spread.median, spread.min, timing.devices, each);
  out("\"%s\": {\"devices\": %zu, ", timing.key, timing.devices);
  spreadJson("ms", spread);
  out(", \"ms_per_device\": %.3f}%s", each, last ? "" : ", ");
}

// kivo::FilterEnums binds every device it lists, VideoDeviceList none; the
// walk over the platform's monikers alone is what any listing costs.
// Alternating, after one warm-up of each.
bool benchDeviceLists(int runs) {
  ListTiming binding("binding_each", "FilterEnums (binds each)");
  ListTiming registrations("binding_none", "VideoDeviceList (binds none)");
  ListTiming walk("platform_walk", "the platform's monikers alone (nothing read)");
  timeOnce<kivo::FilterEnums>(binding);
  timeOnce<kivo::VideoDeviceList>(registrations);
  timeOnce<MonikerWalk>(walk);
  for (ListTiming* timing : {&binding, &registrations, &walk}) timing->times.clear();
  for (int i = 0; i < runs; ++i) {
    if (i % 2 == 0) timeOnce<kivo::FilterEnums>(binding);
    timeOnce<kivo::VideoDeviceList>(registrations);
    timeOnce<MonikerWalk>(walk);
    if (i % 2 == 1) timeOnce<kivo::FilterEnums>(binding);
  }
  std::fprintf(stderr, "device list (in this process, %d runs each after a warm-up):\n", runs);
  out("    \"device_list\": {\"runs\": %d, ", runs);
  reportList(binding, false);
  reportList(registrations, false);
  reportList(walk, true);
  out("},\n");
  return binding.devices > 0 && registrations.devices > 0;
}

// The smallest step GetProcessTimes moves by while this thread spins (at
// most 0.3 s): its resolution on this platform.
double processTimeStepMs() {
  long long last = kivo::bench::processTime();
  long long step = 0;
  int changes = 0;
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(300);
  while (Clock::now() < end && changes < 4) {
    const long long now = kivo::bench::processTime();
    if (now == last) continue;
    step = step == 0 ? now - last : std::min(step, now - last);
    last = now;
    ++changes;
  }
  return step / 1e4;
}

// A host measured for processor time per frame, and what its runs added up.
struct CpuHost {
  const char* name;
  const wchar_t* program;
  const char* extra;
  long frames = 0;
  double cpuMs = 0.0, window = 0.0;
  bool failed = false;
};

void runCpuHost(CpuHost& host, const std::string& device, double seconds) {
  char cpuSeconds[32];
  std::snprintf(cpuSeconds, sizeof cpuSeconds, " --cpu-seconds %.3f", seconds);
  const auto bound = kHostBound + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
  HostRun run =
      runHost(host.program, hostArguments(device, std::string(cpuSeconds) + host.extra), bound);
  const long frames = static_cast<long>(run.counter("cpu_frames"));
  if (!run.ok || frames <= 0) {
    host.failed = true;
    return;
  }
  host.frames += frames;
  host.cpuMs += run.counter("cpu_time") / 1e4;
  host.window += std::strtod(run.values["cpu_window"].c_str(), nullptr);
}

void reportCpuHost(const CpuHost& host) {
  if (host.failed) {
    out(", \"%s\": {\"error\": \"no run\"}", host.name);
    return;
  }
  const double perFrame = host.cpuMs / host.frames;
  const double fps = host.frames / host.window;
  const double core = host.cpuMs / 10.0 / host.window;
  std::fprintf(stderr,
               "  %-22s %6ld frames (%5.2f fps) %8.1f ms: %6.3f ms per frame, %5.1f%% of a core\n",
               host.name, host.frames, fps, host.cpuMs, perFrame, core);
  out(", \"%s\": {\"frames\": %ld, \"fps\": %.2f, \"cpu_ms\": %.1f, \"cpu_ms_per_frame\": %.3f, "
      "\"core_percent\": %.1f}",
      host.name, host.frames, fps, host.cpuMs, perFrame, core);
}

// Processor time per delivered frame, all threads of the host process,
// over S seconds after the first frame (and half a second of settling), in
// two rounds, the second in the reverse order, so that no host is always
// the first or the last; the rounds' times and frames are added up.
bool benchCpu(const std::string& device, double seconds) {
  // Wine 8 does not implement the cycle clock; Wine 10 answers TRUE and 0
  // cycles. A process that has run has used cycles: only a count above 0
  // would be a clock.
  ULONG64 cycles = 0;
  const bool cycleClock = QueryProcessCycleTime(GetCurrentProcess(), &cycles) && cycles > 0;
  const double step = processTimeStepMs();
  std::fprintf(stderr,
               "processor time per frame, 2 runs of %.1f s each (GetProcessTimes: kernel + user "
               "of all threads, step %.1f ms; QueryProcessCycleTime %s)\n",
               seconds, step, cycleClock ? "available" : "not available");
  out("    \"cpu\": {\"clock\": \"GetProcessTimes, kernel + user, all threads\", "
      "\"clock_step_ms\": %.1f, \"cycle_time_available\": %s, \"runs\": 2, "
      "\"seconds_per_run\": %.1f",
      step, cycleClock ? "true" : "false", seconds);
  CpuHost hosts[] = {{"kivo_zero_copy", L"kivo-open-host.exe", ""},
                     {"kivo_one_copy", L"kivo-open-host.exe", " --copy"},
                     {"hand_built_zero_copy", L"hand-open-host.exe", ""},
                     {"hand_built_one_copy", L"hand-open-host.exe", " --copy"}};
  for (CpuHost& host : hosts) runCpuHost(host, device, seconds);
  for (size_t i = std::size(hosts); i-- > 0;) runCpuHost(hosts[i], device, seconds);
  bool ok = true;
  for (const CpuHost& host : hosts) {
    reportCpuHost(host);
    ok = !host.failed && ok;
  }
  out("},\n");
  return ok;
}

bool benchOpen(const std::string& device, int runs, double cpuSeconds) {
  std::fprintf(stderr,
               "open: \"%s\" %s at 30 fps, from process creation to the first frame, %d fresh "
               "processes of each host, alternating (times in ms)\n",
               device.c_str(), kOpenFormat, runs);
  json += "  \"open\": {\"device\": " + kivo::tools::jsonString(device);
  out(", \"format\": \"%s\", \"set_fps\": %.3f, \"runs\": %d,\n", kOpenFormat,
      kivo::VideoCaptureGraph::convertToFramesPerSecond(kOpenInterval), runs);
  OpenRuns opens;
  bool ok = runOpenHosts(device, runs, &opens);
  if (!opens.kivo.empty() && !opens.hand.empty()) reportOpenTimes(opens);
  ok = benchKivoLoad(runs) && ok;
  ok = benchDeviceLists(runs) && ok;
  ok = benchCpu(device, cpuSeconds) && ok;
  std::fprintf(stderr, "render, start and first frame of every format: the device section\n\n");
  out("    \"per_format\": \"render, start and first frame of every format: the device "
      "section\"\n  },\n");
  return ok;
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
      out("  \"device\": {\"name\": %s, \"error\": \"not found\"},\n",
          kivo::tools::jsonString(name).c_str());
      ok = false;
    }
  }
  if (!file.empty()) {
    ok = benchFile(file, static_cast<int>(options.integer("--runs", 10))) && ok;
  }
  if (device) {
    ok = benchDevice(device, options.number("--seconds", 3.0)) && ok;
    ok = benchCallbackCost(device, static_cast<long>(options.integer("--calls", 2000000))) && ok;
    ok = benchOpen(device->getName(), static_cast<int>(options.integer("--open-runs", 7)),
                   options.number("--cpu-seconds", 10.0)) &&
         ok;
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
