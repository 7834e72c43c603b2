// The commands that open a device in a VideoCaptureGraph: formats,
// properties, set, inputs and capture.

#include "core/files.h"
#include "core/hresult_text.h"
#include "probe.h"
#include "sampling.h"

#include <kivo/video_capture_filter.h>
#include <kivo/video_device_list.h>

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
#include <kivo/util.h>
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

// The device named on the command line, opened in a graph. Only that
// device is bound; the graph copies it, so the list can go once the graph
// exists.
class DeviceGraph {
 public:
  explicit DeviceGraph(const std::string& wanted) {
    const VideoDeviceList list;
    std::vector<std::string> names;
    for (const auto& device : list.getDevices()) names.push_back(device.name);
    size_t index = 0;
    std::string error;
    if (!selectDevice(names, wanted, &index, &error)) throw Failure(error);
    name_ = names[index];
    std::unique_ptr<VideoCaptureFilter> device;
    check(list.open(index, device), "cannot open \"" + name_ + "\"");
    graph_.reset(new VideoCaptureGraph(device.get(), kNullRenderer));
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

// The first of `names` that carries `value`; empty when none does.
std::string nameOf(long value, const std::map<std::string, long>* names) {
  if (names) {
    for (const auto& entry : *names) {
      if (entry.second == value) return entry.first;
    }
  }
  return std::string();
}

std::string valueText(long value, const std::map<std::string, long>* names) {
  const std::string name = nameOf(value, names);
  return name.empty() ? std::to_string(value) : name + " (" + std::to_string(value) + ")";
}

// "  range 0..255 step 1, default 128, control auto+manual"
std::string rangeText(const IRangeProperty& range) {
  long minimum = 0, maximum = 0, step = 0, defaultValue = 0, caps = 0;
  range.getRange(minimum, maximum, step, defaultValue, caps);
  std::string text = "  range " + std::to_string(minimum) + ".." + std::to_string(maximum) +
                     " step " + std::to_string(step) + ", default " + std::to_string(defaultValue);
  std::string control;
  if (caps & 1) control += "auto";
  if (caps & 2) control += control.empty() ? "manual" : "+manual";
  return control.empty() ? text : text + ", control " + control;
}

// "  values NTSC=1 PAL=16, default NTSC"
std::string valuesText(const IEnumProperty& enumerated) {
  std::string text = "  values";
  for (const auto& entry : enumerated.getConstraints()) {
    text += " " + entry.first + "=" + std::to_string(entry.second);
  }
  const char* defaultName = enumerated.getDefaultName();
  return text + ", default " +
         (defaultName ? std::string(defaultName) : std::to_string(enumerated.getDefaultValue()));
}

std::string describeProperty(const BaseProperty& property) {
  const std::map<std::string, long>* names = nullptr;
  const std::string kind = describeKind(property, &names);
  std::string text = std::string(property.getName()) + "  [" + kind + "]";
  if (auto* range = dynamic_cast<const IRangeProperty*>(&property)) {
    text += rangeText(*range);
  } else if (auto* enumerated = dynamic_cast<const IEnumProperty*>(&property)) {
    text += valuesText(*enumerated);
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

// The position of `wanted` among the device's `names` of a kind ("format",
// with "formats" for the list); a Failure listing them when it has none.
size_t chooseNamed(const DeviceGraph& graph, const std::vector<std::string>& names,
                   const std::string& wanted, const char* kind, const char* kinds) {
  const int position = matchName(names, wanted);
  if (position < 0) {
    throw Failure("\"" + graph.name() + "\" has no " + kind + " \"" + wanted + "\"; its " + kinds +
                  " are: " + listOf(names));
  }
  return static_cast<size_t>(position);
}

// Applies --format to a rendered graph; prints the format it captures in.
void applyFormat(DeviceGraph& graph, const Invocation& invocation) {
  VideoCaps* caps = graph->getVideoCapabilities();
  const bool listed = caps && caps->getNumberOfCapabilities() > 0;
  if (!invocation.has("--format")) {
    if (listed) {
      out(std::string("format: ") + caps->getCapabilityList()[0].getFullName() + " (the first)");
    }
    return;
  }
  const std::string wanted = invocation.text("--format");
  if (!listed) {
    throw Failure("\"" + graph.name() + "\" lists no format to choose \"" + wanted + "\" from");
  }
  const std::vector<std::string> names = capabilityNames(*caps);
  const size_t position = chooseNamed(graph, names, wanted, "format", "formats");
  graph->setSelectedCapID(static_cast<int>(position));
  out("format: " + names[position]);
}

// Applies --rate, one of the rates the format lists (within 1 %) or, when it
// lists none, the rate asked for; prints the rate set.
void applyRate(DeviceGraph& graph, const Invocation& invocation) {
  if (!invocation.has("--rate")) return;
  const double wanted = invocation.number("--rate");
  const auto& rates = graph->getFrameRates();
  if (rates.empty()) {
    // Nothing to check against: ask for the interval itself.
    const LONGLONG interval = static_cast<LONGLONG>(std::llround(util::kUnitsPerSecond / wanted));
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

void applyInput(DeviceGraph& graph, const Invocation& invocation) {
  if (!invocation.has("--input")) return;
  VideoInputs* inputs = graph->getVideoInputs();
  std::vector<std::string> names;
  if (inputs) {
    for (const auto& entry : inputs->getInputs()) names.push_back(entry.first);
  }
  const std::string& name =
      names[chooseNamed(graph, names, invocation.text("--input"), "input", "inputs")];
  check(inputs->setSelectedInput(static_cast<int>(inputs->getInputs().at(name))),
        "cannot route the input \"" + name + "\"");
  out("input: " + name);
}

// Sets one property from a NAME=VALUE argument and prints it as read back.
void setProperty(const DeviceGraph& graph, const std::map<std::string, BaseProperty*>& container,
                 const std::string& assignment) {
  std::string wanted, text, error;
  parseAssignment(assignment, &wanted, &text, &error);
  const std::vector<std::string> names = keysOf(container);
  const std::string& name = names[chooseNamed(graph, names, wanted, "property", "properties")];
  BaseProperty* property = container.at(name);
  if (!property->isSettable()) throw Failure(name + " is read-only");
  const std::map<std::string, long>* valueNames = nullptr;
  describeKind(*property, &valueNames);
  long value = 0;
  if (!resolveValue(text, valueNames ? *valueNames : std::map<std::string, long>(), &value,
                    &error)) {
    throw Failure(name + ": " + error);
  }
  long before = 0;
  const bool hadBefore = SUCCEEDED(property->getValue(&before));
  check(property->setValue(&value), "cannot set " + name + " to " + text);
  long after = 0;
  const long readBack = property->getValue(&after);
  std::string line = name + " = " +
                     (SUCCEEDED(readBack) ? valueText(after, valueNames)
                                          : "(unreadable: " + describeHResult(readBack) + ")");
  if (hadBefore) line += ", was " + valueText(before, valueNames);
  out(line);
}

// "2: YUY2_320x240" and its size, subtype, colour space and frame rates.
void describeFormat(DeviceGraph& graph, size_t index, const VideoCapability& capability) {
  const VideoSubtype& subtype = capability.getSubtype();
  graph->setSelectedCapID(static_cast<int>(index));
  std::string size =
      std::to_string(capability.getMaxWidth()) + "x" + std::to_string(capability.getMaxHeight());
  if (capability.getMinWidth() != capability.getMaxWidth() ||
      capability.getMinHeight() != capability.getMaxHeight()) {
    size = std::to_string(capability.getMinWidth()) + "x" +
           std::to_string(capability.getMinHeight()) + " to " + size;
  }
  out(std::to_string(index) + ": " + capability.getFullName());
  out("   size " + size + ", subtype " + subtype.getName() + ", colour space " +
      categoryName(subtype.getColorspaceType()) +
      (subtype.isCompressed() ? ", compressed" : ", uncompressed"));
  out("   frame rates: " + framesPerSecondList(*graph));
}

// The --json counterparts of describeFormat and describeProperty: the same
// facts, as the keys that command_line.cpp documents.

void writeFormatJson(DeviceGraph& graph, size_t index, const VideoCapability& capability,
                     JsonWriter& document) {
  const VideoSubtype& subtype = capability.getSubtype();
  graph->setSelectedCapID(static_cast<int>(index));
  document.beginObject();
  document.key("index").integer(static_cast<long long>(index));
  document.key("name").string(capability.getFullName());
  document.key("width").integer(capability.getMaxWidth());
  document.key("height").integer(capability.getMaxHeight());
  document.key("min_width").integer(capability.getMinWidth());
  document.key("min_height").integer(capability.getMinHeight());
  document.key("subtype").string(subtype.getName());
  document.key("colour_space").string(categoryName(subtype.getColorspaceType()));
  document.key("compressed").boolean(subtype.isCompressed());
  document.key("frame_rates").beginArray();
  for (const auto& entry : graph->getFrameRates()) {
    document.beginObject(JsonWriter::OneLine).key("fps").number(entry.first);
    document.key("interval").integer(entry.second).endObject();
  }
  document.endArray().endObject();
}

void writeRangeJson(const IRangeProperty* range, JsonWriter& document) {
  if (!range) {
    document.null();
    return;
  }
  long minimum = 0, maximum = 0, step = 0, defaultValue = 0, caps = 0;
  range->getRange(minimum, maximum, step, defaultValue, caps);
  document.beginObject().key("minimum").integer(minimum).key("maximum").integer(maximum);
  document.key("step").integer(step).key("default_value").integer(defaultValue);
  document.key("caps_flags").integer(caps).key("control").beginArray(JsonWriter::OneLine);
  if (caps & 1) document.string("auto");
  if (caps & 2) document.string("manual");
  document.endArray().endObject();
}

void writeEnumerationJson(const IEnumProperty* enumerated, JsonWriter& document) {
  if (!enumerated) {
    document.null();
    return;
  }
  document.beginObject().key("values").beginArray();
  for (const auto& entry : enumerated->getConstraints()) {
    document.beginObject(JsonWriter::OneLine).key("name").string(entry.first);
    document.key("value").integer(entry.second).endObject();
  }
  const char* defaultName = enumerated->getDefaultName();
  document.endArray().key("default_value").integer(enumerated->getDefaultValue());
  document.key("default_name").stringOrNull(defaultName ? defaultName : "").endObject();
}

void writePropertyJson(const BaseProperty& property, JsonWriter& document) {
  const std::map<std::string, long>* names = nullptr;
  document.beginObject().key("name").string(property.getName());
  document.key("kind").string(describeKind(property, &names));
  document.key("supported").boolean(property.isSupported());
  document.key("settable").boolean(property.isSettable());
  writeRangeJson(dynamic_cast<const IRangeProperty*>(&property), document.key("range"));
  writeEnumerationJson(dynamic_cast<const IEnumProperty*>(&property), document.key("enumeration"));
  const BaseProperty* mode = property.getDependentProperty();
  document.key("mode").stringOrNull(mode ? mode->getName() : "");
  const auto* modeOf = dynamic_cast<const IRangeModeProperty*>(&property);
  const BaseProperty* controlled = modeOf ? modeOf->getRangeProperty() : nullptr;
  document.key("controls").stringOrNull(controlled ? controlled->getName() : "");
  long current = 0;
  const long hr = property.getValue(&current);
  if (SUCCEEDED(hr)) {
    document.key("current").integer(current);
  } else {
    document.key("current").null();
  }
  document.key("current_name").stringOrNull(SUCCEEDED(hr) ? nameOf(current, names) : "");
  document.key("current_error").stringOrNull(FAILED(hr) ? describeHResult(hr) : "");
  document.endObject();
}

// A capture from a device, step by step: open the device with the format,
// rate and input asked for, start it, prepare the frame files, pump the
// frames into them, stop and report.
class Capture {
 public:
  explicit Capture(const Invocation& invocation)
      : registerGraph_(invocation.has("--register-graph")),
        folder_(invocation.text("--out")),
        frameLimit_(static_cast<uint64_t>(invocation.integer("--frames", 0))),
        secondsLimit_(frameLimit_ ? 0.0 : invocation.number("--seconds", 5.0)),
        graph_(invocation.arguments[0]),
        frames_(8, frameLimit_, !folder_.empty()) {}

  void open(const Invocation& invocation) {
    graph_.render(registerGraph_);
    applyFormat(graph_, invocation);
    applyRate(graph_, invocation);
    applyInput(graph_, invocation);
    // The graph disposes of its callback when it is reset.
    graph_->setMediaCB(new SampleCollector(frames_.state()));
    started_ = now();
    check(graph_->start(registerGraph_), "cannot start capturing from \"" + graph_.name() + "\"");
    if (registerGraph_) out("the graph is registered for graph inspection tools");
  }

  void prepareFrameFiles() {
    if (!folder_.empty()) {
      CMediaType connected;
      const long hr = graph_->getSampleGrabberMediaType(connected);
      FrameLayout layout;
      std::string subtypeName;
      if (FAILED(hr)) {
        out("frames are not written: the connected format is unknown (" + describeHResult(hr) +
            ")");
      } else if (!layoutFromMediaType(connected, &layout, &subtypeName)) {
        out("frames are not written: " + subtypeName + " cannot be converted to a picture");
      } else {
        out("writing " + subtypeName + " frames of " + std::to_string(layout.width) + "x" +
            std::to_string(std::abs(layout.height)) + " into " + folder_);
        frames_.writeInto(layout, folder_);
        return;
      }
    }
    frames_.writeNothing();
  }

  void pump() {
    for (;;) {
      frames_.writeNext(std::chrono::milliseconds(50));
      progress_.show(progressText());
      const double elapsed = now() - started_;
      if (frames_.reachedLimit()) return;
      if (secondsLimit_ > 0 && elapsed >= secondsLimit_) return;
      if (interrupted()) return;
      if (frames_.state()->delivered.load() == 0 && elapsed >= kFirstFrameTimeout) {
        progress_.finish();
        frames_.state()->queue.close();
        graph_->stop();
        throw Failure("no frame arrived from \"" + graph_.name() + "\" within " +
                      formatSeconds(kFirstFrameTimeout));
      }
    }
  }

  void stop() {
    frames_.state()->queue.close();
    const long stopped = graph_->stop();
    frames_.writeQueued();
    progress_.show(progressText(), true);
    progress_.finish();
    check(stopped, "cannot stop the capture");
  }

  void report() const {
    frames_.reportWritten(folder_);
    frames_.throwIfWriteFailed();
  }

 private:
  std::string progressText() const {
    const StreamState& state = *frames_.state();
    return "frames " + std::to_string(state.delivered.load()) + "  rate " +
           formatRate(state.measuredRate()) + "  elapsed " + formatSeconds(now() - started_);
  }

  const bool registerGraph_;
  const std::string folder_;
  const uint64_t frameLimit_;  // 0: none
  const double secondsLimit_;  // 0: none
  DeviceGraph graph_;
  FrameStream frames_;  // after the graph: its queue closes before the graph stops
  ProgressLine progress_;
  double started_ = 0.0;
};

}  // namespace

// {"device": NAME, KEY: [...]} with the array's elements written by `write`.
template <class WriteElements>
void printDeviceJson(const DeviceGraph& graph, const char* key, WriteElements write) {
  JsonWriter document;
  document.beginObject().key("device").string(graph.name());
  document.key(key).beginArray();
  write(document);
  document.endArray().endObject();
  printDocument(document);
}

int runFormats(const Invocation& invocation) {
  DeviceGraph graph(invocation.arguments[0]);
  graph.render(false);
  VideoCaps* caps = graph->getVideoCapabilities();
  if (invocation.has("--json")) {
    printDeviceJson(graph, "formats", [&](JsonWriter& document) {
      if (!caps) return;
      const std::vector<VideoCapability>& list = caps->getCapabilityList();
      for (size_t i = 0; i < list.size(); ++i) writeFormatJson(graph, i, list[i], document);
    });
    return kExitOk;
  }
  if (!caps || caps->getNumberOfCapabilities() == 0) {
    out("\"" + graph.name() + "\" lists no format");
    return kExitOk;
  }
  out("formats of \"" + graph.name() + "\":");
  const std::vector<VideoCapability>& list = caps->getCapabilityList();
  for (size_t i = 0; i < list.size(); ++i) describeFormat(graph, i, list[i]);
  return kExitOk;
}

int runProperties(const Invocation& invocation) {
  DeviceGraph graph(invocation.arguments[0]);
  graph.render(false);
  const auto container = graph->getPropertyContainer();
  if (invocation.has("--json")) {
    printDeviceJson(graph, "properties", [&](JsonWriter& document) {
      for (const auto& entry : container) {
        if (entry.second) writePropertyJson(*entry.second, document);
      }
    });
    return kExitOk;
  }
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
  for (size_t i = 1; i < invocation.arguments.size(); ++i) {
    setProperty(graph, container, invocation.arguments[i]);
  }
  return kExitOk;
}

int runInputs(const Invocation& invocation) {
  DeviceGraph graph(invocation.arguments[0]);
  graph.render(false);
  VideoInputs* inputs = graph->getVideoInputs();
  if (invocation.has("--json")) {
    printDeviceJson(graph, "inputs", [&](JsonWriter& document) {
      if (!inputs) return;
      const int selected = inputs->getSelectedInput();
      for (const auto& entry : inputs->getInputs()) {
        document.beginObject(JsonWriter::OneLine).key("name").string(entry.first);
        document.key("index").integer(entry.second);
        document.key("selected").boolean(entry.second == selected).endObject();
      }
    });
    return kExitOk;
  }
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
  const std::string folder = invocation.text("--out");
  std::string error;
  if (!folder.empty() && !makeFolders(folder, &error)) throw Failure(error);
  Capture capture(invocation);
  capture.open(invocation);
  capture.prepareFrameFiles();
  capture.pump();
  capture.stop();
  capture.report();
  return kExitOk;
}

}  // namespace kivo::probe
