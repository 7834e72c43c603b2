// kivo-soak: runs kivo's graphs through many life cycles and watches what the
// process holds.
//
//   kivo-soak --file FILE [--cycles N] [--report-every N] [--warm-up N]
//             [--renew N] [--handles H] [--threads T] [--memory-kib K]
//             [--heap-kib K] [--all-formats]
//
// Each cycle renders, starts, stops and resets three graphs at once: two
// FileCaptureGraphs on FILE, each read to its end, and one VideoCaptureGraph,
// on even cycles on "KIVO Test Camera" with the next of its formats, on odd
// cycles on "KIVO Test Camera (Analog)" with the next of its crossbar inputs.
// A cycle fails when a graph fails a step or delivers no frame, or a file
// graph delivers another number of frames than on the first cycle. Every
// `renew` cycles (default 100) the graph objects are destroyed and made
// anew, so that construction and destruction are soaked too.
//
// The USB camera's formats that need a decoder in front of the grabber
// (MJPG) are left out unless --all-formats is given: Wine 8's decoder keeps
// about 33 handles for good per graph it joined, which would hide anything
// kivo keeps.
//
// The process's handles, threads, private memory and heap bytes in use are
// printed (stdout) at the start, after the warm-up (default 10 cycles),
// every `report-every` cycles (default cycles / 10) and at the end. Exit
// status: 0; 1 when a cycle failed; 3 when, at the end, a figure grew beyond
// its tolerance over the value after the warm-up (defaults: 32 handles, 4
// threads, 4096 KiB private memory, 256 KiB heap); 2 for a bad command line.
//
// What the platform itself keeps is not kivo's: Wine 8 keeps one handle and
// 48 heap bytes for every filter graph manager released and about 34
// handles and 740 heap bytes for every file graph it rendered, whoever built
// them. Before the warm-up, the same work done by hand (two file graphs
// built with plain COM and read to their end, and the two filter graph
// managers a device graph's cycle creates: one at render, one at the
// rebuild of start) is measured over cycles / 50 cycles (5 to 200); the
// handles, heap bytes and private memory it keeps per cycle are allowed per
// cycle on top of the tolerance. Private memory follows the heap, and Wine
// keeps a few bytes of bookkeeping in the process for every handle it
// keeps.

#include <kivo/file_capture_graph.h>
#include <kivo/filter_enums.h>
#include <kivo/video_capability.h>
#include <kivo/video_capture_filter.h>
#include <kivo/video_capture_graph.h>
#include <kivo/video_caps.h>
#include <kivo/video_inputs.h>

#include "common/com_apartment.h"
#include "common/find_device.h"
#include "common/frame_counter.h"
#include "common/hand_built_graph.h"
#include "common/options.h"
#include "common/process_usage.h"
#include "common/utf8.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using kivo::tools::CountingCallback;
using kivo::tools::FrameCounter;
using kivo::tools::kFrameWait;
using kivo::tools::ProcessUsage;
using kivo::tools::ValueKind;
using Clock = std::chrono::steady_clock;

namespace {

const char kUsbCamera[] = "KIVO Test Camera";
const char kAnalogCamera[] = "KIVO Test Camera (Analog)";

// In the order the usage line lists them; only --file is required.
const std::vector<kivo::tools::Option> kOptions = {
    {"--file", ValueKind::Text, "FILE", nullptr, nullptr, true},
    {"--cycles", ValueKind::PositiveInteger, "N"},
    {"--report-every", ValueKind::Integer, "N"},
    {"--warm-up", ValueKind::NonNegativeInteger, "N"},
    {"--renew", ValueKind::PositiveInteger, "N"},
    {"--handles", ValueKind::Integer, "H"},
    {"--threads", ValueKind::Integer, "T"},
    {"--memory-kib", ValueKind::Integer, "K"},
    {"--heap-kib", ValueKind::Integer, "K"},
    {"--all-formats", ValueKind::Flag},
};

// What the command line asks for.
struct Settings {
  std::wstring file;
  long cycles = 0;
  long reportEvery = 0;
  long warmUp = 0;
  long renewEvery = 0;
  bool allFormats = false;
  // The growth allowed since the warm-up beside what the platform keeps.
  ProcessUsage tolerance;
};

Settings settingsFrom(const kivo::tools::ParsedOptions& options) {
  Settings settings;
  settings.file = kivo::tools::widen(options.text("--file"));
  // Either separator is accepted; the platform's file source gets its own.
  std::replace(settings.file.begin(), settings.file.end(), L'/', L'\\');
  settings.cycles = static_cast<long>(options.integer("--cycles", 10000));
  settings.reportEvery = static_cast<long>(options.integer("--report-every", 0));
  if (settings.reportEvery <= 0) settings.reportEvery = std::max(1L, settings.cycles / 10);
  settings.warmUp = static_cast<long>(options.integer("--warm-up", 10));
  settings.renewEvery = static_cast<long>(options.integer("--renew", 100));
  settings.allFormats = options.has("--all-formats");
  settings.tolerance.handles = static_cast<long>(options.integer("--handles", 32));
  settings.tolerance.threads = static_cast<long>(options.integer("--threads", 4));
  settings.tolerance.privateBytes = options.integer("--memory-kib", 4096) * 1024;
  settings.tolerance.heapBytes = options.integer("--heap-kib", 256) * 1024;
  return settings;
}

// One file graph with its own callback.
struct FileReader {
  explicit FileReader(const std::wstring& file) : callback(&counter), graph(file) {
    graph.setVideoCallback(&callback, kivo::FileCaptureGraph::FRAME_RGB24);
  }
  FrameCounter counter;
  CountingCallback callback;
  kivo::FileCaptureGraph graph;
};

struct Graphs {
  Graphs(const std::wstring& file, kivo::VideoCaptureFilter* usb, kivo::VideoCaptureFilter* analog)
      : first(file), second(file), usbGraph(usb, 0), analogGraph(analog, 0) {}
  FileReader first;
  FileReader second;
  kivo::VideoCaptureGraph usbGraph;
  kivo::VideoCaptureGraph analogGraph;
  FrameCounter deviceFrames;
};

class Soak {
 public:
  Soak(const Settings& settings, kivo::VideoCaptureFilter* usb, kivo::VideoCaptureFilter* analog)
      : settings_(settings), usb_(usb), analog_(analog) {
    renew();
  }

  void renew() {
    graphs_.reset();
    graphs_.reset(new Graphs(settings_.file, usb_, analog_));
  }

  // Cycle `number`; prints what failed.
  bool cycle(long number) {
    number_ = number;
    Graphs& g = *graphs_;
    const bool usb = number % 2 == 0;
    kivo::VideoCaptureGraph& device = usb ? g.usbGraph : g.analogGraph;
    g.deviceFrames.clear();
    g.first.counter.clear();
    g.second.counter.clear();
    device.setMediaCB(new CountingCallback(&g.deviceFrames));  // the reset destroys it

    bool ok = step("render device", device.render(false)) && choose(device, usb, number / 2) &&
              step("render file 1", g.first.graph.render(false)) &&
              step("render file 2", g.second.graph.render(false)) &&
              step("start device", device.start(false)) &&
              step("start file 1", g.first.graph.start(false)) &&
              step("start file 2", g.second.graph.start(false));
    if (ok && !g.deviceFrames.waitFor(1, kFrameWait)) ok = fail("no device frame");
    ok = ok && readToEnd(g.first) && readToEnd(g.second);
    ok = ok && step("stop device", device.stop()) && step("stop file 1", g.first.graph.stop()) &&
         step("stop file 2", g.second.graph.stop());
    device.reset();
    g.first.graph.reset();
    g.second.graph.reset();
    return ok;
  }

 private:
  bool step(const char* what, HRESULT status) {
    if (SUCCEEDED(status)) return true;
    std::printf("cycle %ld: %s failed, 0x%08lx (%s)\n", number_, what,
                static_cast<unsigned long>(status), lastChoice_.c_str());
    return false;
  }

  bool fail(const char* what) {
    std::printf("cycle %ld: %s (%s)\n", number_, what, lastChoice_.c_str());
    return false;
  }

  // Selects the n-th format of the USB camera or the n-th input of the
  // analog one, both applied by the render that start performs.
  bool choose(kivo::VideoCaptureGraph& device, bool usb, long n) {
    return usb ? chooseFormat(device, n) : chooseInput(device, n);
  }

  bool chooseFormat(kivo::VideoCaptureGraph& device, long n) {
    const kivo::VideoCaps* caps = device.getVideoCapabilities();
    if (!caps) return fail("no formats");
    const std::vector<kivo::VideoCapability>& list = caps->getCapabilityList();
    std::vector<int> positions;
    for (size_t i = 0; i < list.size(); ++i) {
      if (settings_.allFormats || std::strncmp(list[i].getFullName(), "MJPG", 4) != 0)
        positions.push_back(static_cast<int>(i));
    }
    if (positions.empty()) return fail("no formats");
    const int position = positions[n % static_cast<long>(positions.size())];
    device.setSelectedCapID(position);
    lastChoice_ = std::string(kUsbCamera) + " " + list[position].getFullName();
    return true;
  }

  bool chooseInput(kivo::VideoCaptureGraph& device, long n) {
    kivo::VideoInputs* inputs = device.getVideoInputs();
    if (!inputs || inputs->getNumberOfInputs() == 0) return fail("no inputs");
    auto input = inputs->getInputs().begin();
    std::advance(input, n % static_cast<long>(inputs->getNumberOfInputs()));
    lastChoice_ = std::string(kAnalogCamera) + " " + input->first;
    return step("select input", inputs->setSelectedInput(input->second));
  }

  bool readToEnd(FileReader& reader) {
    // The end is polled, as a host does; every poll is bounded.
    const Clock::time_point bound = Clock::now() + kFrameWait;
    while (!reader.graph.isStreamFinished()) {
      if (Clock::now() > bound) return fail("file not finished within 10 s");
      Sleep(2);
    }
    const long frames = reader.counter.frames();
    if (frames == 0) return fail("no file frame");
    if (fileFrames_ == 0) fileFrames_ = frames;
    if (frames != fileFrames_) {
      std::printf("cycle %ld: %ld file frames, %ld on the first cycle\n", number_, frames,
                  fileFrames_);
      return false;
    }
    return true;
  }

  const Settings& settings_;
  kivo::VideoCaptureFilter* usb_;
  kivo::VideoCaptureFilter* analog_;
  std::unique_ptr<Graphs> graphs_;
  long number_ = 0;  // of the cycle running
  std::string lastChoice_;
  long fileFrames_ = 0;
};

// The bytes (or handles) kept per cycle, rounded up; what the platform
// frees again counts as nothing.
long long perCycle(long long growth, int cycles) {
  return growth > 0 ? (growth + cycles - 1) / cycles : 0;
}

// What the platform keeps per cycle for the same work done by hand (see the
// header); handles -1 when that work failed.
ProcessUsage platformKeepsPerCycle(const std::wstring& file, int cycles) {
  ProcessUsage kept;
  FrameCounter counter;
  auto cycle = [&] {
    for (int graph = 0; graph < 2; ++graph) {
      kivo::CComPtr<IGraphBuilder> manager;
      if (FAILED(manager.CoCreateInstance(CLSID_FilterGraph))) return false;
    }
    return kivo::tools::readByHandToEnd(file, counter, kFrameWait) &&
           kivo::tools::readByHandToEnd(file, counter, kFrameWait);
  };
  if (!cycle()) return kept;  // the first one also loads what stays loaded
  const ProcessUsage before = ProcessUsage::now();
  for (int i = 0; i < cycles; ++i) {
    if (!cycle()) return kept;
  }
  const ProcessUsage growth = ProcessUsage::now().since(before);
  kept.handles = static_cast<long>(perCycle(growth.handles, cycles));
  kept.heapBytes = perCycle(growth.heapBytes, cycles);
  kept.privateBytes = perCycle(growth.privateBytes, cycles);
  return kept;
}

// The platform's share, measured before the soak and printed; nothing when
// the work by hand failed, which fails the soak.
ProcessUsage measurePlatform(const Settings& settings, int* status) {
  // Private memory grows by whole pages: a long run measures the platform's
  // share over more cycles, so that it is not lost in the rounding.
  const int cycles = static_cast<int>(std::min(200L, std::max(5L, settings.cycles / 50)));
  ProcessUsage platform = platformKeepsPerCycle(settings.file, cycles);
  if (platform.handles < 0) {
    std::printf("the hand-built graphs failed on %ls\n", settings.file.c_str());
    *status = 1;
    platform.handles = 0;
    platform.heapBytes = 0;
    platform.privateBytes = 0;
  }
  std::printf(
      "the platform keeps %ld handles, %lld heap bytes and %lld private bytes per cycle of "
      "the same work done by hand (%d cycles)\n",
      platform.handles, platform.heapBytes, platform.privateBytes, cycles);
  return platform;
}

void report(const char* when, long cycles, const ProcessUsage& usage, const ProcessUsage* base,
            Clock::time_point begin) {
  const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
  std::printf("%-10s cycle %6ld  %8.1f s  ", when, cycles, elapsed);
  usage.printText(stdout);
  if (base) {
    const ProcessUsage growth = usage.since(*base);
    std::printf("  | since warm-up: %+ld handles, %+ld threads, %+lld KiB, %+lld heap bytes",
                growth.handles, growth.threads, growth.privateBytes / 1024, growth.heapBytes);
  }
  std::printf("\n");
  std::fflush(stdout);
}

// Whether the growth since the warm-up stays within the tolerance plus what
// the platform keeps over the cycles run since; prints both.
bool withinTolerance(const Settings& settings, const ProcessUsage& growth,
                     const ProcessUsage& platform, long cycles) {
  const ProcessUsage& tolerance = settings.tolerance;
  ProcessUsage allowed = tolerance;
  allowed.handles += platform.handles * cycles;
  allowed.heapBytes += platform.heapBytes * cycles;
  allowed.privateBytes += platform.privateBytes * cycles;
  std::printf(
      "since warm-up: handles %+ld, %ld allowed; heap %+lld bytes, %lld allowed; "
      "private %+lld KiB, %lld allowed\n",
      growth.handles, allowed.handles, growth.heapBytes, allowed.heapBytes,
      growth.privateBytes / 1024, allowed.privateBytes / 1024);
  if (growth.handles <= allowed.handles && growth.heapBytes <= allowed.heapBytes &&
      growth.threads <= allowed.threads && growth.privateBytes <= allowed.privateBytes) {
    return true;
  }
  std::printf(
      "GROWTH beyond tolerance (%ld handles, %ld threads, %lld KiB private, "
      "%lld KiB heap, beside what the platform keeps)\n",
      tolerance.handles, tolerance.threads, tolerance.privateBytes / 1024,
      tolerance.heapBytes / 1024);
  return false;
}

// The soak itself, once the devices are found: 0, 1 when a cycle (or the
// work by hand) failed, 3 when a figure grew beyond its tolerance.
int soak(const Settings& settings, kivo::VideoCaptureFilter* usb, kivo::VideoCaptureFilter* analog,
         Clock::time_point begin) {
  int status = 0;
  const ProcessUsage platform = measurePlatform(settings, &status);
  Soak soak(settings, usb, analog);
  ProcessUsage base;
  long done = 0;
  for (; done < settings.cycles; ++done) {
    if (done > 0 && done % settings.renewEvery == 0) soak.renew();
    if (done == settings.warmUp) {
      base = ProcessUsage::now();
      report("warmed up", done, base, nullptr, begin);
    } else if (done > settings.warmUp && done % settings.reportEvery == 0) {
      report("running", done, ProcessUsage::now(), &base, begin);
    }
    if (!soak.cycle(done)) {
      status = 1;
      break;
    }
  }
  // The figures at the end are read with the graph objects of the last
  // stretch still alive, as at every other report.
  const ProcessUsage end = ProcessUsage::now();
  const bool warmedUp = done > settings.warmUp;
  report("end", done, end, warmedUp ? &base : nullptr, begin);
  if (!warmedUp) return status;
  const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
  std::printf("%ld cycles in %.1f s (%.2f cycles/s)\n", done, elapsed, done / elapsed);
  if (!withinTolerance(settings, end.since(base), platform, done - settings.warmUp) &&
      status == 0) {
    status = 3;
  }
  return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  kivo::tools::ParsedOptions options;
  if (!kivo::tools::parseProgramOptions("kivo-soak", kOptions, argc, argv, &options)) return 2;
  const Settings settings = settingsFrom(options);
  if (settings.warmUp >= settings.cycles) {
    kivo::tools::printUsage("kivo-soak", kOptions);
    return 2;
  }
  kivo::tools::ComApartment com;
  if (FAILED(com.status())) return 1;
  const Clock::time_point begin = Clock::now();
  report("start", 0, ProcessUsage::now(), nullptr, begin);
  kivo::FilterEnums devices;
  kivo::VideoCaptureFilter* usb = kivo::tools::findVideoDevice(devices, kUsbCamera);
  kivo::VideoCaptureFilter* analog = kivo::tools::findVideoDevice(devices, kAnalogCamera);
  if (!usb || !analog) {
    std::printf("the KIVO Test Camera devices are not registered\n");
    return 1;
  }
  return soak(settings, usb, analog, begin);
}
