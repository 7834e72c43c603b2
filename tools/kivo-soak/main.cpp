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

#include "common/frame_counter.h"
#include "common/hand_built_graph.h"
#include "common/process_usage.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using kivo::tools::CountingCallback;
using kivo::tools::FrameCounter;
using kivo::tools::ProcessUsage;
using Clock = std::chrono::steady_clock;

namespace {

const std::chrono::milliseconds kFrameWait(10000);
const char kUsbCamera[] = "KIVO Test Camera";
const char kAnalogCamera[] = "KIVO Test Camera (Analog)";

kivo::VideoCaptureFilter* findDevice(const kivo::FilterEnums& devices, const char* name) {
  for (kivo::Filter* device : devices.getVideoDevices()) {
    if (std::strcmp(device->getName(), name) == 0)
      return static_cast<kivo::VideoCaptureFilter*>(device);
  }
  return nullptr;
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
  Soak(const std::wstring& file, kivo::VideoCaptureFilter* usb, kivo::VideoCaptureFilter* analog,
       bool allFormats)
      : file_(file), usb_(usb), analog_(analog), allFormats_(allFormats) {
    renew();
  }

  void renew() {
    graphs_.reset();
    graphs_.reset(new Graphs(file_, usb_, analog_));
  }

  // One cycle; prints what failed.
  bool cycle(long number) {
    Graphs& g = *graphs_;
    const bool usb = number % 2 == 0;
    kivo::VideoCaptureGraph& device = usb ? g.usbGraph : g.analogGraph;
    g.deviceFrames.clear();
    g.first.counter.clear();
    g.second.counter.clear();
    device.setMediaCB(new CountingCallback(&g.deviceFrames));  // the reset destroys it

    bool ok = step(number, "render device", device.render(false)) &&
              choose(number, device, usb, number / 2) &&
              step(number, "render file 1", g.first.graph.render(false)) &&
              step(number, "render file 2", g.second.graph.render(false)) &&
              step(number, "start device", device.start(false)) &&
              step(number, "start file 1", g.first.graph.start(false)) &&
              step(number, "start file 2", g.second.graph.start(false));
    if (ok && !g.deviceFrames.waitFor(1, kFrameWait)) ok = fail(number, "no device frame");
    ok = ok && readToEnd(number, g.first) && readToEnd(number, g.second);
    ok = ok && step(number, "stop device", device.stop()) &&
         step(number, "stop file 1", g.first.graph.stop()) &&
         step(number, "stop file 2", g.second.graph.stop());
    device.reset();
    g.first.graph.reset();
    g.second.graph.reset();
    return ok;
  }

  std::string lastChoice;

 private:
  bool step(long number, const char* what, HRESULT status) {
    if (SUCCEEDED(status)) return true;
    std::printf("cycle %ld: %s failed, 0x%08lx (%s)\n", number, what,
                static_cast<unsigned long>(status), lastChoice.c_str());
    return false;
  }

  bool fail(long number, const char* what) {
    std::printf("cycle %ld: %s (%s)\n", number, what, lastChoice.c_str());
    return false;
  }

  // Selects the n-th format of the USB camera or the n-th input of the
  // analog one, both applied by the render that start performs.
  bool choose(long number, kivo::VideoCaptureGraph& device, bool usb, long n) {
    if (usb) {
      const kivo::VideoCaps* caps = device.getVideoCapabilities();
      if (!caps || caps->getCapabilityList().empty()) return fail(number, "no formats");
      const std::vector<kivo::VideoCapability>& list = caps->getCapabilityList();
      std::vector<int> positions;
      for (size_t i = 0; i < list.size(); ++i) {
        if (allFormats_ || std::strncmp(list[i].getFullName(), "MJPG", 4) != 0)
          positions.push_back(static_cast<int>(i));
      }
      if (positions.empty()) return fail(number, "no formats");
      const int position = positions[n % static_cast<long>(positions.size())];
      device.setSelectedCapID(position);
      lastChoice = std::string(kUsbCamera) + " " + list[position].getFullName();
      return true;
    }
    kivo::VideoInputs* inputs = device.getVideoInputs();
    if (!inputs || inputs->getNumberOfInputs() == 0) return fail(number, "no inputs");
    auto input = inputs->getInputs().begin();
    std::advance(input, n % static_cast<long>(inputs->getNumberOfInputs()));
    lastChoice = std::string(kAnalogCamera) + " " + input->first;
    return step(number, "select input", inputs->setSelectedInput(input->second));
  }

  bool readToEnd(long number, FileReader& reader) {
    // The end is polled, as a host does; every poll is bounded.
    const Clock::time_point bound = Clock::now() + kFrameWait;
    while (!reader.graph.isStreamFinished()) {
      if (Clock::now() > bound) return fail(number, "file not finished within 10 s");
      Sleep(2);
    }
    const long frames = reader.counter.frames();
    if (frames == 0) return fail(number, "no file frame");
    if (fileFrames_ == 0) fileFrames_ = frames;
    if (frames != fileFrames_) {
      std::printf("cycle %ld: %ld file frames, %ld on the first cycle\n", number, frames,
                  fileFrames_);
      return false;
    }
    return true;
  }

  std::wstring file_;
  kivo::VideoCaptureFilter* usb_;
  kivo::VideoCaptureFilter* analog_;
  bool allFormats_;
  std::unique_ptr<Graphs> graphs_;
  long fileFrames_ = 0;
};

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
  // Rounded up; what the platform frees again counts as nothing.
  kept.handles = growth.handles > 0 ? (growth.handles + cycles - 1) / cycles : 0;
  kept.heapBytes = growth.heapBytes > 0 ? (growth.heapBytes + cycles - 1) / cycles : 0;
  kept.privateBytes = growth.privateBytes > 0 ? (growth.privateBytes + cycles - 1) / cycles : 0;
  return kept;
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

int usage() {
  std::fprintf(stderr,
               "usage: kivo-soak --file FILE [--cycles N] [--report-every N] [--warm-up N]\n"
               "                 [--renew N] [--handles H] [--threads T] [--memory-kib K]\n"
               "                 [--heap-kib K] [--all-formats]\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring file;
  long cycles = 10000, every = 0, warmUp = 10, renewEvery = 100;
  long handleTolerance = 32, threadTolerance = 4, memoryToleranceKib = 4096, heapToleranceKib = 256;
  bool allFormats = false;
  for (int i = 1; i < argc; ++i) {
    const std::wstring option = argv[i];
    if (option == L"--all-formats") {
      allFormats = true;
      continue;
    }
    if (i + 1 >= argc) return usage();
    const wchar_t* value = argv[++i];
    if (option == L"--file") {
      file = value;
    } else if (option == L"--cycles") {
      cycles = _wtol(value);
    } else if (option == L"--report-every") {
      every = _wtol(value);
    } else if (option == L"--warm-up") {
      warmUp = _wtol(value);
    } else if (option == L"--renew") {
      renewEvery = _wtol(value);
    } else if (option == L"--handles") {
      handleTolerance = _wtol(value);
    } else if (option == L"--threads") {
      threadTolerance = _wtol(value);
    } else if (option == L"--memory-kib") {
      memoryToleranceKib = _wtol(value);
    } else if (option == L"--heap-kib") {
      heapToleranceKib = _wtol(value);
    } else {
      return usage();
    }
  }
  if (file.empty() || cycles < 1 || warmUp < 0 || warmUp >= cycles || renewEvery < 1)
    return usage();
  // Either separator is accepted; the platform's file source gets its own.
  for (wchar_t& c : file) {
    if (c == L'/') c = L'\\';
  }
  if (every <= 0) every = cycles >= 10 ? cycles / 10 : 1;

  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
  const Clock::time_point begin = Clock::now();
  report("start", 0, ProcessUsage::now(), nullptr, begin);
  int status = 0;
  {
    kivo::FilterEnums devices;
    kivo::VideoCaptureFilter* usb = findDevice(devices, kUsbCamera);
    kivo::VideoCaptureFilter* analog = findDevice(devices, kAnalogCamera);
    if (!usb || !analog) {
      std::printf("the KIVO Test Camera devices are not registered\n");
      status = 1;
    } else {
      // Private memory grows by whole pages: a long run measures the
      // platform's share over more cycles, so that it is not lost in the
      // rounding.
      const int baselineCycles = static_cast<int>(std::min(200L, std::max(5L, cycles / 50)));
      ProcessUsage platform = platformKeepsPerCycle(file, baselineCycles);
      if (platform.handles < 0) {
        std::printf("the hand-built graphs failed on %ls\n", file.c_str());
        status = 1;
        platform.handles = 0;
        platform.heapBytes = 0;
        platform.privateBytes = 0;
      }
      std::printf(
          "the platform keeps %ld handles, %lld heap bytes and %lld private bytes per cycle of "
          "the same work done by hand (%d cycles)\n",
          platform.handles, platform.heapBytes, platform.privateBytes, baselineCycles);
      Soak soak(file, usb, analog, allFormats);
      ProcessUsage base;
      long done = 0;
      for (; done < cycles; ++done) {
        if (done > 0 && done % renewEvery == 0) soak.renew();
        if (done == warmUp) {
          base = ProcessUsage::now();
          report("warmed up", done, base, nullptr, begin);
        } else if (done > warmUp && done % every == 0) {
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
      report("end", done, end, done > warmUp ? &base : nullptr, begin);
      if (done > warmUp) {
        const ProcessUsage growth = end.since(base);
        const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
        std::printf("%ld cycles in %.1f s (%.2f cycles/s)\n", done, elapsed, done / elapsed);
        const long allowedHandles = handleTolerance + platform.handles * (done - warmUp);
        const long long allowedHeap =
            heapToleranceKib * 1024LL + platform.heapBytes * (done - warmUp);
        const long long allowedPrivate =
            memoryToleranceKib * 1024LL + platform.privateBytes * (done - warmUp);
        std::printf(
            "since warm-up: handles %+ld, %ld allowed; heap %+lld bytes, %lld allowed; "
            "private %+lld KiB, %lld allowed\n",
            growth.handles, allowedHandles, growth.heapBytes, allowedHeap,
            growth.privateBytes / 1024, allowedPrivate / 1024);
        if (growth.handles > allowedHandles || growth.heapBytes > allowedHeap ||
            growth.threads > threadTolerance || growth.privateBytes > allowedPrivate) {
          std::printf(
              "GROWTH beyond tolerance (%ld handles, %ld threads, %ld KiB private, "
              "%ld KiB heap, beside what the platform keeps)\n",
              handleTolerance, threadTolerance, memoryToleranceKib, heapToleranceKib);
          if (status == 0) status = 3;
        }
      }
    }
  }
  CoUninitialize();
  return status;
}
