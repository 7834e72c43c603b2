#pragma once

// Everything kivo exports, in one include.

#include <kivo/export.h>
#include <kivo/platform.h>

#include <kivo/comptr.h>
#include <kivo/mediatype.h>

#include <kivo/duration_unsupported_exception.h>
#include <kivo/filter_creation_exception.h>
#include <kivo/hr_exception.h>
#include <kivo/no_vi_devices_exception.h>
#include <kivo/position_unsupported_exception.h>
#include <kivo/vi_device_access_exception.h>

#include <kivo/rot_register.h>
#include <kivo/util.h>

#include <kivo/filter.h>
#include <kivo/filter_enums.h>
#include <kivo/video_capture_filter.h>

#include <kivo/base_property.h>
#include <kivo/enum_property.h>
#include <kivo/range_mode_property.h>
#include <kivo/range_property.h>
