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

#include "common/frame_counter.h"
#include "common/hand_built_graph.h"
#include "common/process_usage.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using kivo::tools::CountingCallback;
using kivo::tools::FrameCounter;
using kivo::tools::HandBuiltGraph;
using kivo::tools::PlainCallback;
using kivo::tools::ProcessUsage;
using Clock = std::chrono::steady_clock;

namespace {

const std::chrono::milliseconds kFrameWait(10000);

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

std::string utf8(const std::wstring& text) {
  const int needed =
      WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::vector<char> buffer(static_cast<size_t>(needed));
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, buffer.data(), needed, nullptr, nullptr);
  return buffer.data();
}

void usageJson(const char* name, const ProcessUsage& usage) {
  json += std::string("\"") + name + "\": ";
  char buffer[160];
  std::snprintf(buffer, sizeof(buffer),
                "{\"handles\": %ld, \"threads\": %ld, \"private_bytes\": %lld, "
                "\"heap_bytes\": %lld}",
                usage.handles, usage.threads, usage.privateBytes, usage.heapBytes);
  json += buffer;
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
  if (!hand.build(file, &callback)) return reading;
  const Clock::time_point begin = Clock::now();
  if (FAILED(hand.control->Run())) return reading;
  long code = 0;
  const bool completed =
      SUCCEEDED(hand.events->WaitForCompletion(60000, &code)) && code == EC_COMPLETE;
  reading.seconds = seconds(counter.last() - begin);
  hand.stop();
  reading.frames = completed ? counter.frames() : 0;
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
  std::fprintf(stderr, "file %s: %ld frames per run, %d runs each\n", utf8(file).c_str(), frames,
               runs);
  std::fprintf(stderr, "  kivo %9.1f fps | hand-built %9.1f fps | ratio %.3f\n\n", kivoFps, handFps,
               ratio);
  json += "  \"file\": {\"path\": " + quoted(utf8(file));
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

bool measureRate(kivo::VideoCaptureFilter* device, const Rate& rate, double window,
                 bool* firstEntry) {
  const double setFps = kivo::VideoCaptureGraph::convertToFramesPerSecond(rate.interval);
  out("%s    {\"format\": \"%s\", \"set_fps\": %.3f", *firstEntry ? "" : ",\n", rate.format,
      setFps);
  *firstEntry = false;
  FrameCounter counter;
  kivo::VideoCaptureGraph graph(device, 0);
  graph.setMediaCB(new CountingCallback(&counter));

  // The format list exists after the first render; the measured render is
  // a later one, with the format and rate chosen.
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

  const Clock::time_point renderCall = Clock::now();
  if (FAILED(graph.render(false))) return false;
  const Clock::time_point rendered = Clock::now();
  graph.setSelectedCapID(graph.lookupCapIDByName(rate.format));
  graph.setFrameRate(rate.interval, true);
  const Clock::time_point startCall = Clock::now();
  if (FAILED(graph.start(false))) {
    out(", \"error\": \"start failed\"}");
    return false;
  }
  const Clock::time_point started = Clock::now();
  if (!counter.waitFor(1, kFrameWait)) {
    std::fprintf(stderr, "%-16s no frame within 10 s\n", rate.format);
    out(", \"error\": \"no frame\"}");
    graph.reset();
    return false;
  }
  const Clock::time_point first = counter.first();
  // Frames per second over a window that starts after the first frame.
  const long atWindowStart = counter.frames();
  const Clock::time_point windowStart = Clock::now();
  Sleep(static_cast<DWORD>(window * 1000));
  const long atWindowEnd = counter.frames();
  const double measured = (atWindowEnd - atWindowStart) / seconds(Clock::now() - windowStart);
  graph.stop();
  graph.reset();

  std::fprintf(stderr, "%-16s %7.3f | %7.1f | %7.1f | %7.1f | %7.1f | %7.3f (%5.1f%%)\n",
               rate.format, setFps, milliseconds(rendered - renderCall),
               milliseconds(started - startCall), milliseconds(first - renderCall),
               milliseconds(first - startCall), measured, 100.0 * measured / setFps);
  out(", \"offered\": true, \"render_ms\": %.1f, \"start_ms\": %.1f, "
      "\"render_to_first_frame_ms\": %.1f, \"start_to_first_frame_ms\": %.1f, "
      "\"delivered_fps\": %.3f, \"delivered_percent\": %.1f}",
      milliseconds(rendered - renderCall), milliseconds(started - startCall),
      milliseconds(first - renderCall), milliseconds(first - startCall), measured,
      100.0 * measured / setFps);
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
  explicit KeepingCallback(FrameCounter* counter, IMediaSample** kept)
      : counter_(counter), kept_(kept) {}
  long processSample(double, IMediaSample* sample) override {
    if (counter_->frames() == 0) {
      sample->AddRef();
      *kept_ = sample;
    }
    counter_->add();
    return S_OK;
  }

 private:
  FrameCounter* counter_;
  IMediaSample** kept_;
};

bool benchCallbackCost(kivo::VideoCaptureFilter* device, long calls) {
  FrameCounter counter;
  IMediaSample* sample = nullptr;
  kivo::VideoCaptureGraph graph(device, 0);
  graph.setMediaCB(new KeepingCallback(&counter, &sample));
  if (FAILED(graph.render(false)) || FAILED(graph.start(false)) ||
      !counter.waitFor(1, kFrameWait) || !sample) {
    graph.reset();
    out("  \"callback_cost\": {\"error\": \"no sample\"},\n");
    return false;
  }
  // The graph is stopped but still rendered while the sample is used.
  graph.stop();

  TouchingCallback* handler = new TouchingCallback;
  // Read through volatile pointers, so that the compiler cannot see which
  // object is called and must make the virtual calls as the grabber does.
  ISampleGrabberCB* volatile asGrabberSees = handler;
  kivo::IMediaCB* volatile asHostSees = handler;
  const int blocks = 20;
  const long perBlock = std::max(1L, calls / blocks);
  double viaGrabber = 1e30, direct = 1e30;
  for (int block = 0; block < blocks; ++block) {
    ISampleGrabberCB* grabberSide = asGrabberSees;
    Clock::time_point begin = Clock::now();
    for (long i = 0; i < perBlock; ++i) grabberSide->SampleCB(0.0, sample);
    viaGrabber = std::min(viaGrabber, seconds(Clock::now() - begin) * 1e9 / perBlock);
    kivo::IMediaCB* hostSide = asHostSees;
    begin = Clock::now();
    for (long i = 0; i < perBlock; ++i) hostSide->processSample(0.0, sample);
    direct = std::min(direct, seconds(Clock::now() - begin) * 1e9 / perBlock);
  }
  handler->destroy();
  sample->Release();
  graph.reset();
  std::fprintf(stderr,
               "callback cost (%ld calls each): SampleCB->processSample %.1f ns, processSample "
               "alone %.1f ns: kivo adds %.1f ns per frame\n\n",
               perBlock * blocks, viaGrabber, direct, viaGrabber - direct);
  out("  \"callback_cost\": {\"calls\": %ld, \"sample_cb_ns\": %.2f, \"process_sample_ns\": %.2f, "
      "\"added_ns_per_frame\": %.2f},\n",
      perBlock * blocks, viaGrabber, direct, viaGrabber - direct);
  return true;
}

// --- life cycle ----------------------------------------------------------

// One render-start-stop-reset cycle that waits for a first frame between
// start and stop, so that every cycle did stream.
bool deviceCycle(kivo::VideoCaptureGraph& graph, FrameCounter& counter) {
  counter.clear();
  graph.setMediaCB(new CountingCallback(&counter));  // the reset destroys it
  const bool ok = SUCCEEDED(graph.render(false)) && SUCCEEDED(graph.start(false)) &&
                  counter.waitFor(1, kFrameWait) && SUCCEEDED(graph.stop());
  graph.reset();
  return ok;
}

bool fileCycle(kivo::FileCaptureGraph& graph, FrameCounter& counter) {
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
  const bool ok = hand.build(file, &callback) && SUCCEEDED(hand.control->Run()) &&
                  counter.waitFor(1, kFrameWait);
  if (hand.control) hand.stop();
  return ok;
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
  for (; done < cycles; ++done) {
    if (!cycle()) break;
  }
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
  json += ", ";
  usageJson("after", after);
  json += ", ";
  usageJson("growth", growth);
  json += "}";
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
  if (device) {
    FrameCounter counter;
    kivo::VideoCaptureGraph graph(device, 0);
    ok = benchCycles(
             "device", cycles, [&] { return deviceCycle(graph, counter); }, &firstEntry) &&
         ok;
  }
  if (!file.empty()) {
    FrameCounter counter;
    CountingCallback callback(&counter);
    kivo::FileCaptureGraph graph(file);
    graph.setVideoCallback(&callback, kivo::FileCaptureGraph::FRAME_RGB24);
    ok = benchCycles(
             "file", cycles, [&] { return fileCycle(graph, counter); }, &firstEntry) &&
         ok;
    ok = benchCycles(
             "file_hand_built", cycles, [&] { return handBuiltCycle(file, counter); },
             &firstEntry) &&
         ok;
  }
  out("\n  }\n");
  return ok;
}

int usage() {
  std::fprintf(stderr,
               "usage: kivo-bench [--file FILE] [--device NAME] [--runs N] [--seconds S]\n"
               "                  [--cycles N] [--calls N] [--no-device]\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring file;
  std::string deviceName = "KIVO Test Camera";
  int runs = 10;
  double window = 3.0;
  int cycles = 500;
  long calls = 2000000;
  bool useDevice = true;
  for (int i = 1; i < argc; ++i) {
    const std::wstring option = argv[i];
    const bool hasValue = i + 1 < argc;
    if (option == L"--no-device") {
      useDevice = false;
    } else if (!hasValue) {
      return usage();
    } else if (option == L"--file") {
      file = argv[++i];
    } else if (option == L"--device") {
      deviceName = utf8(argv[++i]);
    } else if (option == L"--runs") {
      runs = _wtoi(argv[++i]);
    } else if (option == L"--seconds") {
      window = _wtof(argv[++i]);
    } else if (option == L"--cycles") {
      cycles = _wtoi(argv[++i]);
    } else if (option == L"--calls") {
      calls = _wtol(argv[++i]);
    } else {
      return usage();
    }
  }
  if (runs < 1 || window <= 0 || cycles < 1 || calls < 1) return usage();
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
  bool ok = true;
  json = "{\n";
  {
    kivo::FilterEnums devices;
    kivo::VideoCaptureFilter* device = nullptr;
    if (useDevice) {
      for (kivo::Filter* filter : devices.getVideoDevices()) {
        if (deviceName == filter->getName())
          device = static_cast<kivo::VideoCaptureFilter*>(filter);
      }
      if (!device) {
        std::fprintf(stderr, "no device named \"%s\"\n", deviceName.c_str());
        out("  \"device\": {\"name\": %s, \"error\": \"not found\"},\n",
            quoted(deviceName).c_str());
        ok = false;
      }
    }
    if (!file.empty()) ok = benchFile(file, runs) && ok;
    if (device) {
      ok = benchDevice(device, window) && ok;
      ok = benchCallbackCost(device, calls) && ok;
    }
    ok = benchLifeCycle(device, file, cycles) && ok;
  }
  json += "}\n";
  std::fputs(json.c_str(), stdout);
  CoUninitialize();
  return ok ? 0 : 1;
}
