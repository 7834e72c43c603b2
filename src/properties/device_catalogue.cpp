#include "properties/device_catalogue.h"

#include <kivo/analog_video_decoder_property.h>
#include <kivo/tmode_property.h>
#include <kivo/trange_property.h>
#include <kivo/video_control_property.h>

namespace kivo {
namespace properties {

namespace {

// A setting of a device interface, by the name kivo gives it.
struct Setting {
  const char* name;
  long id;
};

const Setting kCameraControls[] = {
    {"Pan", CameraControl_Pan},           {"Tilt", CameraControl_Tilt},
    {"Roll", CameraControl_Roll},         {"Zoom", CameraControl_Zoom},
    {"Exposure", CameraControl_Exposure}, {"Iris", CameraControl_Iris},
    {"Focus", CameraControl_Focus},
};

const Setting kProcAmpRanges[] = {
    {"Brightness", VideoProcAmp_Brightness},
    {"Contrast", VideoProcAmp_Contrast},
    {"Hue", VideoProcAmp_Hue},
    {"Saturation", VideoProcAmp_Saturation},
    {"Sharpness", VideoProcAmp_Sharpness},
    {"Gamma", VideoProcAmp_Gamma},
    {"WhiteBalance", VideoProcAmp_WhiteBalance},
    {"Gain", VideoProcAmp_Gain},
};

const Setting kProcAmpSwitches[] = {
    {"ColorEnable", VideoProcAmp_ColorEnable},
    {"BacklightCompensation", VideoProcAmp_BacklightCompensation},
};

const Setting kFlips[] = {
    {"HorizontalFlip", VideoControlFlag_FlipHorizontal},
    {"VerticalFlip", VideoControlFlag_FlipVertical},
};

const char* const kDecoderSettings[] = {"OutputEnable", "VCRHorizontalLocking", "HorizontalLocked",
                                        "AnalogVideoFormat"};

}  // namespace

std::vector<std::unique_ptr<BaseProperty>> createDeviceProperties(
    const CComPtr<IBaseFilter>& device, const CComPtr<IPin>& capturePin) {
  std::vector<std::unique_ptr<BaseProperty>> created;
  for (const Setting& setting : kCameraControls)
    created.push_back(
        std::make_unique<TRangeProperty<IAMCameraControl>>(setting.name, setting.id, device));
  for (const Setting& setting : kProcAmpRanges)
    created.push_back(
        std::make_unique<TRangeProperty<IAMVideoProcAmp>>(setting.name, setting.id, device));
  for (const Setting& setting : kProcAmpSwitches)
    created.push_back(
        std::make_unique<TModeProperty<IAMVideoProcAmp>>(setting.name, setting.id, device));
  // The flip switches belong to the capture pin.
  if (capturePin) {
    for (const Setting& flip : kFlips)
      created.push_back(
          std::make_unique<VideoControlProperty>(flip.name, flip.id, device, capturePin));
  }
  for (const char* name : kDecoderSettings)
    created.push_back(std::make_unique<AnalogVideoDecoderProperty>(name, device));
  return created;
}

}  // namespace properties
}  // namespace kivo
