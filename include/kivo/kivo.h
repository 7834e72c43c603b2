#pragma once

// Everything kivo exports, in one include.

#include <kivo/export.h>
#include <kivo/platform.h>

#include <kivo/comptr.h>
#include <kivo/mediatype.h>

// Exceptions
#include <kivo/duration_unsupported_exception.h>
#include <kivo/filter_creation_exception.h>
#include <kivo/hr_exception.h>
#include <kivo/no_vi_devices_exception.h>
#include <kivo/position_unsupported_exception.h>
#include <kivo/vi_device_access_exception.h>

// Utilities and graph registration
#include <kivo/rot_register.h>
#include <kivo/util.h>

// Devices and filters
#include <kivo/dv_decoder.h>
#include <kivo/dx_sample_grabber.h>
#include <kivo/filter.h>
#include <kivo/filter_enums.h>
#include <kivo/video_device_list.h>
#include <kivo/media_cb.h>
#include <kivo/null_sink.h>
#include <kivo/renderer_data_sink.h>
#include <kivo/video_capture_filter.h>
#include <kivo/video_sink.h>

// Graphs
#include <kivo/capture_graph.h>
#include <kivo/file_capture_graph.h>
#include <kivo/video_capture_graph.h>

// Formats
#include <kivo/colorspace.h>
#include <kivo/dx_media_info.h>
#include <kivo/video_capability.h>
#include <kivo/video_caps.h>
#include <kivo/video_inputs.h>
#include <kivo/video_subtype.h>

// Properties
#include <kivo/analog_video_decoder_property.h>
#include <kivo/base_property.h>
#include <kivo/enum_property.h>
#include <kivo/range_mode_property.h>
#include <kivo/range_property.h>
#include <kivo/tmode_property.h>
#include <kivo/trange_mode_property.h>
#include <kivo/trange_property.h>
#include <kivo/video_control_property.h>
