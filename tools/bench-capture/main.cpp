// kivo-bench-capture: opens "KIVO Test Camera" (or the device named on the
// command line) and, for a few formats and frame rates, measures
//   - the time from render() to the first frame (render, start, first SampleCB),
//   - the time from start() to the first frame,
//   - the frames delivered per second over a few seconds, against the rate set.
// Run it under Wine inside a session: build/wine-run.sh build/bin/kivo-bench-capture.exe

#include <kivo/filter_enums.h>
#include <kivo/media_cb.h>
#include <kivo/video_capture_filter.h>
#include <kivo/video_capture_graph.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

struct Counter {
  std::mutex mutex;
  std::condition_variable arrived;
  long frames = 0;
  Clock::time_point first;
};

class CountingCallback : public kivo::IMediaCB {
 public:
  explicit CountingCallback(Counter* counter) : counter_(counter) {}
  long processSample(double, IMediaSample*) override {
    {
      std::lock_guard<std::mutex> lock(counter_->mutex);
      if (counter_->frames++ == 0) counter_->first = Clock::now();
    }
    counter_->arrived.notify_all();
    return S_OK;
  }

 private:
  Counter* counter_;
};

double milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

struct Run {
  const char* format;
  LONGLONG interval;
};

bool measure(kivo::VideoCaptureFilter* device, const Run& run, double seconds) {
  Counter counter;
  kivo::VideoCaptureGraph graph(device, 0);
  graph.setMediaCB(new CountingCallback(&counter));

  // The format list exists after the first render; the measured render is
  // the one start() performs with the format and rate chosen.
  if (FAILED(graph.render(false))) return false;
  graph.setSelectedCapID(graph.lookupCapIDByName(run.format));
  if (FAILED(graph.setFrameRate(run.interval, true))) {
    std::printf("%-16s %8.3f fps: not offered\n", run.format,
                kivo::VideoCaptureGraph::convertToFramesPerSecond(run.interval));
    return false;
  }
  graph.reset();  // discards the callback too
  counter.frames = 0;
  graph.setMediaCB(new CountingCallback(&counter));

  const Clock::time_point renderStart = Clock::now();
  if (FAILED(graph.render(false))) return false;
  const Clock::time_point rendered = Clock::now();
  graph.setSelectedCapID(graph.lookupCapIDByName(run.format));
  graph.setFrameRate(run.interval, true);
  const Clock::time_point startCall = Clock::now();
  if (FAILED(graph.start(false))) return false;
  const Clock::time_point started = Clock::now();

  Clock::time_point first;
  {
    std::unique_lock<std::mutex> lock(counter.mutex);
    if (!counter.arrived.wait_for(lock, std::chrono::seconds(10),
                                  [&] { return counter.frames > 0; })) {
      std::printf("%-16s no frame within 10 s\n", run.format);
      return false;
    }
    first = counter.first;
  }
  // Frames per second over a window that starts at the first frame.
  long atWindowStart;
  {
    std::lock_guard<std::mutex> lock(counter.mutex);
    atWindowStart = counter.frames;
  }
  const Clock::time_point windowStart = Clock::now();
  {
    std::unique_lock<std::mutex> lock(counter.mutex);
    counter.arrived.wait_for(lock, std::chrono::duration<double>(seconds), [] { return false; });
  }
  long atWindowEnd;
  {
    std::lock_guard<std::mutex> lock(counter.mutex);
    atWindowEnd = counter.frames;
  }
  const double window = std::chrono::duration<double>(Clock::now() - windowStart).count();
  graph.stop();

  const double target = kivo::VideoCaptureGraph::convertToFramesPerSecond(run.interval);
  const double measured = (atWindowEnd - atWindowStart) / window;
  std::printf(
      "%-16s set %7.3f fps | render() %6.1f ms | start() %6.1f ms | render->first frame "
      "%6.1f ms | start->first frame %6.1f ms | delivered %7.3f fps (%.1f%%)\n",
      run.format, target, milliseconds(rendered - renderStart), milliseconds(started - startCall),
      milliseconds(first - renderStart), milliseconds(first - startCall), measured,
      100.0 * measured / target);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const char* name = argc > 1 ? argv[1] : "KIVO Test Camera";
  double seconds = 3.0;
  if (argc > 2) seconds = std::atof(argv[2]);
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 2;
  int status = 0;
  {
    kivo::FilterEnums devices;
    kivo::VideoCaptureFilter* device = nullptr;
    for (kivo::Filter* filter : devices.getVideoDevices()) {
      if (std::strcmp(filter->getName(), name) == 0)
        device = static_cast<kivo::VideoCaptureFilter*>(filter);
    }
    if (!device) {
      std::printf("no device named \"%s\"\n", name);
      status = 1;
    } else {
      const Run runs[] = {{"YUY2_640x480", 333333},  {"YUY2_640x480", 666666},
                          {"YUY2_320x240", 333333},  {"YUY2_320x240", 2000000},
                          {"RGB24_640x480", 333333}, {"RGB32_320x240", 333333},
                          {"I420_320x240", 333333},  {"MJPG_1280x720", 666666}};
      std::printf("device \"%s\", %.1f s per run\n", name, seconds);
      for (const Run& run : runs) {
        if (!measure(device, run, seconds)) status = 1;
      }
    }
  }
  CoUninitialize();
  return status;
}
