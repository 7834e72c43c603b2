// The C interface's devices and device graphs: VideoDeviceList,
// VideoCaptureGraph and what the graph holds (formats, frame rates, inputs,
// properties).

#include "capi/c_boundary.h"
#include "capi/host_callback.h"

#include <kivo/base_property.h>
#include <kivo/mediatype.h>
#include <kivo/enum_property.h>
#include <kivo/range_mode_property.h>
#include <kivo/range_property.h>
#include <kivo/tmode_property.h>
#include <kivo/video_capability.h>
#include <kivo/video_capture_filter.h>
#include <kivo/video_capture_graph.h>
#include <kivo/video_caps.h>
#include <kivo/video_device_list.h>
#include <kivo/video_inputs.h>

#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kivo {
namespace capi {
namespace {

// The handle owns the callback beside the graph; the graph goes first, so
// nothing streams into a callback that is gone.
struct DeviceGraph {
  HostCallback callback;
  std::unique_ptr<VideoCaptureGraph> graph;
  FrameLayout connectedLayout;
};

VideoDeviceList& deviceList(kivo_device_list* handle) {
  return lookUp<VideoDeviceList>(HandleKind::DeviceList, handle);
}

DeviceGraph& deviceGraph(kivo_device_graph* handle) {
  return lookUp<DeviceGraph>(HandleKind::DeviceGraph, handle);
}

// The graph forgets its callback at reset; every build hands it back.
void attachCallback(DeviceGraph& handle) {
  if (handle.graph->getMediaCB() != &handle.callback) handle.graph->setMediaCB(&handle.callback);
}

FrameLayout connectedLayout(const VideoCaptureGraph& graph) {
  CMediaType connected;
  if (FAILED(graph.getSampleGrabberMediaType(connected))) return FrameLayout();
  return videoLayout(videoShape(connected));
}

// Releases the frames held while start built the graph anew, with the
// layout the new graph connected; with an empty one when it cannot be read.
void releaseHeldFrames(DeviceGraph& handle) noexcept {
  try {
    handle.callback.publish(connectedLayout(*handle.graph));
  } catch (...) {
    handle.callback.publish(FrameLayout());
  }
}

VideoCaps& formats(DeviceGraph& handle) {
  VideoCaps* caps = handle.graph->getVideoCapabilities();
  if (!caps) throw CallFailure{KIVO_E_WRONG_STATE, "no formats before the first render"};
  return *caps;
}

VideoInputs& inputs(DeviceGraph& handle) {
  VideoInputs* inputs = handle.graph->getVideoInputs();
  if (!inputs) throw CallFailure{KIVO_E_WRONG_STATE, "no inputs before the first render"};
  return *inputs;
}

template <class Map>
typename Map::const_iterator entryAt(const Map& map, size_t index) {
  requireIndex(index, map.size());
  return std::next(map.begin(), static_cast<std::ptrdiff_t>(index));
}

// The properties come with the formats, at the first render.
std::map<std::string, BaseProperty*> properties(DeviceGraph& handle) {
  formats(handle);
  return handle.graph->getPropertyContainer();
}

BaseProperty& property(DeviceGraph& handle, const char* name) {
  requirePointers(name);
  const auto properties = capi::properties(handle);
  auto found = properties.find(name);
  if (found == properties.end() || !found->second)
    throw CallFailure{KIVO_E_NOT_FOUND, std::string("no property \"") + name + "\""};
  return *found->second;
}

int propertyKind(const BaseProperty& property) {
  if (dynamic_cast<const IRangeModeProperty*>(&property)) return KIVO_PROPERTY_MODE;
  if (dynamic_cast<const IRangeProperty*>(&property)) return KIVO_PROPERTY_RANGE;
  return KIVO_PROPERTY_ENUM;
}

// The device's range, from the two families that read one.
bool readRange(const BaseProperty& property, kivo_property_info& info) {
  long minimum = 0, maximum = 0, step = 0, defaultValue = 0, flags = 0;
  if (auto* range = dynamic_cast<const IRangeProperty*>(&property))
    range->getRange(minimum, maximum, step, defaultValue, flags);
  else if (auto* onOff = dynamic_cast<const TModeProperty<IAMVideoProcAmp>*>(&property))
    onOff->getRange(minimum, maximum, step, defaultValue, flags);
  else
    return false;
  info.minimum = minimum;
  info.maximum = maximum;
  info.step = step;
  info.default_value = defaultValue;
  info.caps_flags = flags;
  return true;
}

void describeProperty(const BaseProperty& property, kivo_property_info& info) {
  info = kivo_property_info{};
  info.name = property.getName();
  info.kind = propertyKind(property);
  info.is_supported = property.isSupported() ? 1 : 0;
  info.is_settable = property.isSettable() ? 1 : 0;
  info.has_range = readRange(property, info) ? 1 : 0;
  if (auto* named = dynamic_cast<const IEnumProperty*>(&property))
    info.value_count = named->getConstraints().size();
  if (const BaseProperty* mode = property.getDependentProperty()) info.mode = mode->getName();
  if (auto* mode = dynamic_cast<const IRangeModeProperty*>(&property))
    if (const BaseProperty* controlled = mode->getRangeProperty())
      info.controls = controlled->getName();
}

void describeFormat(const VideoCapability& format, kivo_format_info& info) {
  info = kivo_format_info{};
  info.name = format.getFullName();
  info.width = format.getMaxWidth();
  info.height = format.getMaxHeight();
  info.min_width = format.getMinWidth();
  info.min_height = format.getMinHeight();
  info.subtype = format.getSubtype().getName();
  info.colorspace = format.getSubtype().getColorspaceType();
  info.is_compressed = format.getSubtype().isCompressed() ? 1 : 0;
}

}  // namespace
}  // namespace capi
}  // namespace kivo

using namespace kivo;
using namespace kivo::capi;

extern "C" {

kivo_status KIVO_CALL kivo_device_list_create(kivo_device_list** list) {
  return boundary(__func__, [&] {
    requirePointers(list);
    *list = nullptr;
    handOut(HandleKind::DeviceList, new VideoDeviceList, list);
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_list_destroy(kivo_device_list* list) {
  return boundary(__func__, [&] {
    destroyHandle<VideoDeviceList>(HandleKind::DeviceList, list);
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_list_count(kivo_device_list* list, size_t* count) {
  return boundary(__func__, [&] {
    VideoDeviceList& devices = deviceList(list);
    requirePointers(count);
    *count = devices.getDevices().size();
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_list_get(kivo_device_list* list, size_t index,
                                           kivo_device_info* info) {
  return boundary(__func__, [&] {
    VideoDeviceList& devices = deviceList(list);
    requirePointers(info);
    requireIndex(index, devices.getDevices().size());
    const VideoDeviceList::Device& device = devices.getDevices()[index];
    info->name = device.name.c_str();
    info->path = device.path.c_str();
    info->is_vfw = device.vfw ? 1 : 0;
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_graph_open(kivo_device_list* list, size_t index,
                                             int renderer_mode, kivo_device_graph** graph) {
  return boundary(__func__, [&]() -> kivo_status {
    VideoDeviceList& devices = deviceList(list);
    requirePointers(graph);
    *graph = nullptr;
    requireIndex(index, devices.getDevices().size());
    if (renderer_mode != KIVO_RENDER_NULL && renderer_mode != KIVO_RENDER_VIDEO)
      throw CallFailure{KIVO_E_INVALIDARG,
                        "renderer_mode is KIVO_RENDER_NULL or KIVO_RENDER_VIDEO"};
    std::unique_ptr<VideoCaptureFilter> device;
    const HRESULT hr = devices.open(index, device);
    if (FAILED(hr)) return hr;
    auto created = std::make_unique<DeviceGraph>();
    created->graph = std::make_unique<VideoCaptureGraph>(device.get(), renderer_mode);
    attachCallback(*created);
    handOut(HandleKind::DeviceGraph, created.release(), graph);
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_graph_destroy(kivo_device_graph* graph) {
  return boundary(__func__, [&] {
    destroyHandle<DeviceGraph>(HandleKind::DeviceGraph, graph);
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_graph_set_callback(kivo_device_graph* graph,
                                                     kivo_frame_callback callback, void* context) {
  return boundary(__func__, [&] {
    DeviceGraph& handle = deviceGraph(graph);
    handle.callback.setFunction(callback, context);
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_graph_render(kivo_device_graph* graph, int register_graph) {
  return boundary(__func__, [&]() -> kivo_status {
    DeviceGraph& handle = deviceGraph(graph);
    attachCallback(handle);
    const HRESULT hr = handle.graph->render(register_graph != 0);
    if (SUCCEEDED(hr)) handle.callback.publish(connectedLayout(*handle.graph));
    return hr;
  });
}

kivo_status KIVO_CALL kivo_device_graph_start(kivo_device_graph* graph, int register_graph) {
  return boundary(__func__, [&]() -> kivo_status {
    DeviceGraph& handle = deviceGraph(graph);
    attachCallback(handle);
    // The graph is built anew before it runs: its frames wait for the new
    // layout, which is released whatever start does.
    struct Release {
      DeviceGraph& handle;
      ~Release() { releaseHeldFrames(handle); }
    } release{handle};
    handle.callback.holdFrames();
    return handle.graph->start(register_graph != 0);
  });
}

kivo_status KIVO_CALL kivo_device_graph_stop(kivo_device_graph* graph) {
  return boundary(__func__, [&] { return deviceGraph(graph).graph->stop(); });
}

kivo_status KIVO_CALL kivo_device_graph_reset(kivo_device_graph* graph) {
  return boundary(__func__, [&] {
    deviceGraph(graph).graph->reset();
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_graph_is_running(kivo_device_graph* graph, int* running) {
  return boundary(__func__, [&] {
    DeviceGraph& handle = deviceGraph(graph);
    requirePointers(running);
    *running = handle.graph->isRunning() ? 1 : 0;
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_graph_is_device_lost(kivo_device_graph* graph, int* lost) {
  return boundary(__func__, [&] {
    DeviceGraph& handle = deviceGraph(graph);
    requirePointers(lost);
    *lost = handle.graph->isDeviceLost() ? 1 : 0;
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_graph_frame_format(kivo_device_graph* graph, kivo_frame* format) {
  return boundary(__func__, [&] {
    DeviceGraph& handle = deviceGraph(graph);
    requirePointers(format);
    if (!handle.graph->isRendered())
      throw CallFailure{KIVO_E_WRONG_STATE, "the graph is not rendered"};
    handle.connectedLayout = connectedLayout(*handle.graph);
    describeFrame(handle.connectedLayout, *format);
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_graph_format_count(kivo_device_graph* graph, size_t* count) {
  return boundary(__func__, [&] {
    DeviceGraph& handle = deviceGraph(graph);
    requirePointers(count);
    *count = formats(handle).getCapabilityList().size();
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_graph_format(kivo_device_graph* graph, size_t index,
                                               kivo_format_info* info) {
  return boundary(__func__, [&] {
    DeviceGraph& handle = deviceGraph(graph);
    requirePointers(info);
    const auto& list = formats(handle).getCapabilityList();
    requireIndex(index, list.size());
    describeFormat(list[index], *info);
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_graph_select_format(kivo_device_graph* graph, size_t index) {
  return boundary(__func__, [&] {
    DeviceGraph& handle = deviceGraph(graph);
    requireIndex(index, formats(handle).getCapabilityList().size());
    handle.graph->setSelectedCapID(static_cast<int>(index));
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_graph_select_format_by_name(kivo_device_graph* graph,
                                                              const char* name) {
  return boundary(__func__, [&] {
    DeviceGraph& handle = deviceGraph(graph);
    requirePointers(name);
    const auto& list = formats(handle).getCapabilityList();
    // The lookup answers 0 for an unknown name as for the first format.
    const int position = handle.graph->lookupCapIDByName(name);
    if (position < 0 || static_cast<size_t>(position) >= list.size() ||
        std::strcmp(list[position].getFullName(), name) != 0)
      throw CallFailure{KIVO_E_NOT_FOUND, std::string("no format \"") + name + "\""};
    handle.graph->setSelectedCapID(position);
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_graph_frame_rate_count(kivo_device_graph* graph, size_t* count) {
  return boundary(__func__, [&] {
    DeviceGraph& handle = deviceGraph(graph);
    requirePointers(count);
    *count = handle.graph->getFrameRates().size();
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_graph_frame_rate(kivo_device_graph* graph, size_t index,
                                                   double* frames_per_second, int64_t* interval) {
  return boundary(__func__, [&] {
    DeviceGraph& handle = deviceGraph(graph);
    requirePointers(frames_per_second, interval);
    auto rate = entryAt(handle.graph->getFrameRates(), index);
    *frames_per_second = rate->first;
    *interval = rate->second;
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_graph_set_frame_rate(kivo_device_graph* graph, int64_t interval,
                                                       int validate) {
  return boundary(__func__, [&]() -> kivo_status {
    return deviceGraph(graph).graph->setFrameRate(interval, validate != 0);
  });
}

kivo_status KIVO_CALL kivo_device_graph_input_count(kivo_device_graph* graph, size_t* count) {
  return boundary(__func__, [&] {
    DeviceGraph& handle = deviceGraph(graph);
    requirePointers(count);
    *count = inputs(handle).getInputs().size();
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_graph_input(kivo_device_graph* graph, size_t index,
                                              const char** name, int32_t* input_index) {
  return boundary(__func__, [&] {
    DeviceGraph& handle = deviceGraph(graph);
    requirePointers(name, input_index);
    auto input = entryAt(inputs(handle).getInputs(), index);
    *name = input->first.c_str();
    *input_index = input->second;
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_graph_select_input(kivo_device_graph* graph,
                                                     int32_t input_index) {
  return boundary(__func__, [&]() -> kivo_status {
    return inputs(deviceGraph(graph)).setSelectedInput(input_index);
  });
}

kivo_status KIVO_CALL kivo_device_graph_selected_input(kivo_device_graph* graph,
                                                       int32_t* input_index) {
  return boundary(__func__, [&] {
    DeviceGraph& handle = deviceGraph(graph);
    requirePointers(input_index);
    *input_index = inputs(handle).getSelectedInput();
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_graph_property_count(kivo_device_graph* graph, size_t* count) {
  return boundary(__func__, [&] {
    DeviceGraph& handle = deviceGraph(graph);
    requirePointers(count);
    *count = properties(handle).size();
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_graph_property(kivo_device_graph* graph, size_t index,
                                                 kivo_property_info* info) {
  return boundary(__func__, [&] {
    DeviceGraph& handle = deviceGraph(graph);
    requirePointers(info);
    const auto all = properties(handle);
    auto entry = entryAt(all, index);
    if (!entry->second) throw CallFailure{E_UNEXPECTED, "an empty property entry"};
    describeProperty(*entry->second, *info);
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_graph_property_value(kivo_device_graph* graph,
                                                       const char* property, size_t index,
                                                       const char** name, int32_t* value) {
  return boundary(__func__, [&] {
    DeviceGraph& handle = deviceGraph(graph);
    requirePointers(name, value);
    auto* named = dynamic_cast<IEnumProperty*>(&capi::property(handle, property));
    if (!named) throw CallFailure{KIVO_E_NOINTERFACE, "the property has no named values"};
    auto entry = entryAt(named->getConstraints(), index);
    *name = entry->first.c_str();
    *value = entry->second;
    return KIVO_OK;
  });
}

kivo_status KIVO_CALL kivo_device_graph_get_property(kivo_device_graph* graph, const char* property,
                                                     int32_t* value) {
  return boundary(__func__, [&]() -> kivo_status {
    DeviceGraph& handle = deviceGraph(graph);
    requirePointers(value);
    long read = 0;
    const HRESULT hr = capi::property(handle, property).getValue(&read);
    if (SUCCEEDED(hr)) *value = read;
    return hr;
  });
}

kivo_status KIVO_CALL kivo_device_graph_set_property(kivo_device_graph* graph, const char* property,
                                                     int32_t value) {
  return boundary(__func__, [&]() -> kivo_status {
    DeviceGraph& handle = deviceGraph(graph);
    long written = value;
    return capi::property(handle, property).setValue(&written);
  });
}

}  // extern "C"
