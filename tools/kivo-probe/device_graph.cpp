// The commands that open a device in a VideoCaptureGraph: formats,
// properties, set, inputs and capture.

#include "core/files.h"
#include "core/hresult_text.h"
#include "probe.h"
#include "sampling.h"

#include <kivo/filter_enums.h>
#include <kivo/video_capture_filter.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <kivo/base_property.h>
#include <kivo/enum_property.h>
#include <kivo/mediatype.h>
#include <kivo/range_mode_property.h>
#include <kivo/range_property.h>
#include <kivo/video_capability.h>
#include <kivo/video_capture_graph.h>
#include <kivo/video_caps.h>
#include <kivo/video_inputs.h>
#include <kivo/video_subtype.h>

namespace kivo::probe {

namespace {

// The renderer at the end of the stream: a null renderer, so that nothing
// is shown and a device that needs extra filters can still be rendered.
const int kNullRenderer = 0;

// How long a started device may take to deliver its first frame.
const double kFirstFrameTimeout = 10.0;

// The device named on the command line, opened in a graph. The graph
// copies the device, so the enumeration can go once the graph exists.
class DeviceGraph {
 public:
  explicit DeviceGraph(const std::string& wanted) {
    FilterEnums enums;
    std::vector<std::string> names;
    for (const Filter* device : enums.getVideoDevices()) names.push_back(device->getName());
    size_t index = 0;
    std::string error;
    if (!selectDevice(names, wanted, &index, &error)) throw Failure(error);
    auto* device = dynamic_cast<VideoCaptureFilter*>(enums.getVideoDevices()[index]);
    if (!device) throw Failure("\"" + names[index] + "\" is not a video capture filter");
    name_ = names[index];
    graph_.reset(new VideoCaptureGraph(device, kNullRenderer));
  }
  ~DeviceGraph() {
    // Stop and tear down before anything else goes; a graph whose threads
    // outlive the program can crash its exit.
    if (graph_) graph_->reset();
  }

  VideoCaptureGraph& operator*() { return *graph_; }
  VideoCaptureGraph* operator->() { return graph_.get(); }
  const std::string& name() const { return name_; }

  void render(bool registerGraph) {
    check(graph_->render(registerGraph), "cannot render a graph for \"" + name_ + "\"");
  }

 private:
  std::string name_;
  std::unique_ptr<VideoCaptureGraph> graph_;
};

const char* categoryName(colorspace::type type) {
  switch (VideoSubtype::identifyColorspaceCategory(type)) {
    case colorspace::CATEGORY_MONOCHROME:
      return "monochrome";
    case colorspace::CATEGORY_RGB:
      return "RGB";
    case colorspace::CATEGORY_YUV:
      return "YUV";
    case colorspace::CATEGORY_YUV_SEMIPLANAR:
      return "semi-planar YUV";
    default:
      return "none";
  }
}

std::string rateText(double rate) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.6g", rate);
  return buffer;
}

std::string framesPerSecondList(const VideoCaptureGraph& graph) {
  std::string text;
  for (const auto& entry : graph.getFrameRates()) {
    if (!text.empty()) text += ", ";
    text += rateText(entry.first);
  }
  return text.empty() ? "none listed by the device" : text + " fps";
}

std::vector<std::string> capabilityNames(const VideoCaps& caps) {
  std::vector<std::string> names;
  for (const VideoCapability& capability : caps.getCapabilityList()) {
    names.push_back(capability.getFullName());
  }
  return names;
}

std::string listOf(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text.empty() ? "(none)" : text;
}

// The kind of a property and its allowed values, as text.
std::string describeKind(const BaseProperty& property, const std::map<std::string, long>** names) {
  *names = nullptr;
  if (auto* mode = dynamic_cast<const IRangeModeProperty*>(&property)) {
    *names = &mode->getConstraints();
    return "mode";
  }
  if (auto* enumerated = dynamic_cast<const IEnumProperty*>(&property)) {
    *names = &enumerated->getConstraints();
    return "enumerated";
  }
  if (dynamic_cast<const IRangeProperty*>(&property)) return "range";
  return "other";
}

std::string valueText(long value, const std::map<std::string, long>* names) {
  if (names) {
    for (const auto& entry : *names) {
      if (entry.second == value) return entry.first + " (" + std::to_string(value) + ")";
    }
  }
  return std::to_string(value);
}

std::string describeProperty(const BaseProperty& property) {
  const std::map<std::string, long>* names = nullptr;
  const std::string kind = describeKind(property, &names);
  std::string text = std::string(property.getName()) + "  [" + kind + "]";
  if (auto* range = dynamic_cast<const IRangeProperty*>(&property)) {
    long minimum = 0, maximum = 0, step = 0, defaultValue = 0, caps = 0;
    range->getRange(minimum, maximum, step, defaultValue, caps);
    text += "  range " + std::to_string(minimum) + ".." + std::to_string(maximum) + " step " +
            std::to_string(step) + ", default " + std::to_string(defaultValue);
    std::string control;
    if (caps & 1) control += "auto";
    if (caps & 2) control += control.empty() ? "manual" : "+manual";
    if (!control.empty()) text += ", control " + control;
  } else if (auto* enumerated = dynamic_cast<const IEnumProperty*>(&property)) {
    text += "  values";
    for (const auto& entry : enumerated->getConstraints()) {
      text += " " + entry.first + "=" + std::to_string(entry.second);
    }
    const char* defaultName = enumerated->getDefaultName();
    text += ", default " + (defaultName ? std::string(defaultName)
                                        : std::to_string(enumerated->getDefaultValue()));
  }
  long current = 0;
  const long hr = property.getValue(&current);
  text += SUCCEEDED(hr) ? ", current " + valueText(current, names)
                        : ", current unreadable: " + describeHResult(hr);
  text += property.isSettable() ? ", settable" : ", read-only";
  return text;
}

std::vector<std::string> keysOf(const std::map<std::string, BaseProperty*>& container) {
  std::vector<std::string> names;
  for (const auto& entry : container) names.push_back(entry.first);
  return names;
}

// Applies --format and --rate to a rendered graph; prints what it chose.
void applyFormatAndRate(DeviceGraph& graph, const Invocation& invocation) {
  VideoCaps* caps = graph->getVideoCapabilities();
  if (invocation.has("--format")) {
    const std::string wanted = invocation.text("--format");
    if (!caps || caps->getNumberOfCapabilities() == 0) {
      throw Failure("\"" + graph.name() + "\" lists no format to choose \"" + wanted + "\" from");
    }
    const std::vector<std::string> names = capabilityNames(*caps);
    const int position = matchName(names, wanted);
    if (position < 0) {
      throw Failure("\"" + graph.name() + "\" has no format \"" + wanted +
                    "\"; its formats are: " + listOf(names));
    }
    graph->setSelectedCapID(position);
    out("format: " + names[position]);
  } else if (caps && caps->getNumberOfCapabilities() > 0) {
    out(std::string("format: ") + caps->getCapabilityList()[0].getFullName() + " (the first)");
  }
  if (invocation.has("--rate")) {
    const double wanted = invocation.number("--rate");
    const auto& rates = graph->getFrameRates();
    if (rates.empty()) {
      // Nothing to check against: ask for the interval itself.
      const LONGLONG interval = static_cast<LONGLONG>(std::llround(10000000.0 / wanted));
      check(graph->setFrameRate(interval, false), "cannot set the frame rate " + rateText(wanted));
      out("frame rate: " + rateText(wanted) + " fps (the device lists no rates)");
      return;
    }
    for (const auto& entry : rates) {
      if (std::fabs(entry.first - wanted) <= 0.01 * wanted) {
        check(graph->setFrameRate(entry.second, true),
              "cannot set the frame rate " + rateText(entry.first));
        out("frame rate: " + rateText(entry.first) + " fps");
        return;
      }
    }
    throw Failure("the format offers no frame rate of " + rateText(wanted) + " fps; it offers " +
                  framesPerSecondList(*graph));
  }
}

void applyInput(DeviceGraph& graph, const Invocation& invocation) {
  if (!invocation.has("--input")) return;
  const std::string wanted = invocation.text("--input");
  VideoInputs* inputs = graph->getVideoInputs();
  std::vector<std::string> names;
  if (inputs) {
    for (const auto& entry : inputs->getInputs()) names.push_back(entry.first);
  }
  const int position = matchName(names, wanted);
  if (position < 0) {
    throw Failure("\"" + graph.name() + "\" has no input \"" + wanted +
                  "\"; its inputs are: " + listOf(names));
  }
  const long index = inputs->getInputs().at(names[position]);
  check(inputs->setSelectedInput(static_cast<int>(index)),
        "cannot route the input \"" + names[position] + "\"");
  out("input: " + names[position]);
}

}  // namespace

int runFormats(const Invocation& invocation) {
  DeviceGraph graph(invocation.arguments[0]);
  graph.render(false);
  VideoCaps* caps = graph->getVideoCapabilities();
  if (!caps || caps->getNumberOfCapabilities() == 0) {
    out("\"" + graph.name() + "\" lists no format");
    return kExitOk;
  }
  out("formats of \"" + graph.name() + "\":");
  const std::vector<VideoCapability>& list = caps->getCapabilityList();
  for (size_t i = 0; i < list.size(); ++i) {
    const VideoCapability& capability = list[i];
    const VideoSubtype& subtype = capability.getSubtype();
    graph->setSelectedCapID(static_cast<int>(i));
    std::string size =
        std::to_string(capability.getMaxWidth()) + "x" + std::to_string(capability.getMaxHeight());
    if (capability.getMinWidth() != capability.getMaxWidth() ||
        capability.getMinHeight() != capability.getMaxHeight()) {
      size = std::to_string(capability.getMinWidth()) + "x" +
             std::to_string(capability.getMinHeight()) + " to " + size;
    }
    out(std::to_string(i) + ": " + capability.getFullName());
    out("   size " + size + ", subtype " + subtype.getName() + ", colour space " +
        categoryName(subtype.getColorspaceType()) +
        (subtype.isCompressed() ? ", compressed" : ", uncompressed"));
    out("   frame rates: " + framesPerSecondList(*graph));
  }
  return kExitOk;
}

int runProperties(const Invocation& invocation) {
  DeviceGraph graph(invocation.arguments[0]);
  graph.render(false);
  const auto container = graph->getPropertyContainer();
  if (container.empty()) {
    out("\"" + graph.name() + "\" has no property");
    return kExitOk;
  }
  out("properties of \"" + graph.name() + "\":");
  for (const auto& entry : container) {
    if (entry.second) out("  " + describeProperty(*entry.second));
  }
  return kExitOk;
}

int runSet(const Invocation& invocation) {
  DeviceGraph graph(invocation.arguments[0]);
  graph.render(false);
  const auto container = graph->getPropertyContainer();
  const std::vector<std::string> names = keysOf(container);
  for (size_t i = 1; i < invocation.arguments.size(); ++i) {
    std::string name, text, error;
    parseAssignment(invocation.arguments[i], &name, &text, &error);
    const int position = matchName(names, name);
    if (position < 0) {
      throw Failure("\"" + graph.name() + "\" has no property \"" + name +
                    "\"; its properties are: " + listOf(names));
    }
    BaseProperty* property = container.at(names[position]);
    if (!property->isSettable()) throw Failure(names[position] + " is read-only");
    const std::map<std::string, long>* valueNames = nullptr;
    describeKind(*property, &valueNames);
    long value = 0;
    if (!resolveValue(text, valueNames ? *valueNames : std::map<std::string, long>(), &value,
                      &error)) {
      throw Failure(names[position] + ": " + error);
    }
    long before = 0;
    const bool hadBefore = SUCCEEDED(property->getValue(&before));
    check(property->setValue(&value), "cannot set " + names[position] + " to " + text);
    long after = 0;
    const long readBack = property->getValue(&after);
    std::string line = names[position] + " = " +
                       (SUCCEEDED(readBack) ? valueText(after, valueNames)
                                            : "(unreadable: " + describeHResult(readBack) + ")");
    if (hadBefore) line += ", was " + valueText(before, valueNames);
    out(line);
  }
  return kExitOk;
}

int runInputs(const Invocation& invocation) {
  DeviceGraph graph(invocation.arguments[0]);
  graph.render(false);
  VideoInputs* inputs = graph->getVideoInputs();
  if (!inputs || inputs->getNumberOfInputs() == 0) {
    out("\"" + graph.name() + "\" has no connector input to choose");
    return kExitOk;
  }
  out("inputs of \"" + graph.name() + "\":");
  const int selected = inputs->getSelectedInput();
  for (const auto& entry : inputs->getInputs()) {
    out(std::string(entry.second == selected ? "* " : "  ") + entry.first + " (" +
        std::to_string(entry.second) + ")");
  }
  return kExitOk;
}

int runCapture(const Invocation& invocation) {
  const bool registerGraph = invocation.has("--register-graph");
  const std::string folder = invocation.text("--out");
  const uint64_t frameLimit = static_cast<uint64_t>(invocation.integer("--frames", 0));
  const double secondsLimit = frameLimit ? 0.0 : invocation.number("--seconds", 5.0);
  std::string error;
  if (!folder.empty() && !makeFolders(folder, &error)) throw Failure(error);

  DeviceGraph graph(invocation.arguments[0]);
  graph.render(registerGraph);
  applyFormatAndRate(graph, invocation);
  applyInput(graph, invocation);

  auto state = std::make_shared<StreamState>(8);
  QueueCloser closeQueue{*state};
  state->keepBytes = !folder.empty();
  state->keepLimit = frameLimit;
  // The graph disposes of its callback when it is reset.
  graph->setMediaCB(new SampleCollector(state));

  const double started = now();
  check(graph->start(registerGraph), "cannot start capturing from \"" + graph.name() + "\"");
  if (registerGraph) out("the graph is registered for graph inspection tools");

  std::unique_ptr<FrameWriter> writer;
  if (!folder.empty()) {
    CMediaType connected;
    const long hr = graph->getSampleGrabberMediaType(connected);
    FrameLayout layout;
    std::string subtypeName;
    if (FAILED(hr)) {
      out("frames are not written: the connected format is unknown (" + describeHResult(hr) + ")");
    } else if (!layoutFromMediaType(connected, &layout, &subtypeName)) {
      out("frames are not written: " + subtypeName + " cannot be converted to a picture");
    } else {
      out("writing " + subtypeName + " frames of " + std::to_string(layout.width) + "x" +
          std::to_string(std::abs(layout.height)) + " into " + folder);
      writer.reset(new FrameWriter(layout, folder));
    }
  }
  if (!writer) {
    state->keepBytes = false;
    state->queue.close();
  }

  ProgressLine progress;
  auto progressText = [&] {
    return "frames " + std::to_string(state->delivered.load()) + "  rate " +
           formatRate(state->measuredRate()) + "  elapsed " + formatSeconds(now() - started);
  };
  CapturedSample sample;
  for (;;) {
    if (state->queue.pop(&sample, std::chrono::milliseconds(50)) && writer) {
      writer->write(sample, nullptr);
    }
    progress.show(progressText());
    const uint64_t delivered = state->delivered.load();
    const double elapsed = now() - started;
    if (frameLimit && delivered >= frameLimit &&
        (!writer || writer->written() + writer->failed() >= frameLimit)) {
      break;
    }
    if (secondsLimit > 0 && elapsed >= secondsLimit) break;
    if (interrupted()) break;
    if (delivered == 0 && elapsed >= kFirstFrameTimeout) {
      progress.finish();
      state->queue.close();
      graph->stop();
      throw Failure("no frame arrived from \"" + graph.name() + "\" within " +
                    formatSeconds(kFirstFrameTimeout));
    }
  }
  state->queue.close();
  const long stopped = graph->stop();
  while (writer && state->queue.pop(&sample, std::chrono::milliseconds(0))) {
    writer->write(sample, nullptr);
  }
  progress.show(progressText(), true);
  progress.finish();
  check(stopped, "cannot stop the capture");
  if (writer) {
    out(std::to_string(writer->written()) + " frames written to " + folder);
    if (writer->failed()) {
      throw Failure(std::to_string(writer->failed()) +
                    " frames could not be written; the first: " + writer->firstError());
    }
  }
  return kExitOk;
}


}  // namespace kivo::probe
