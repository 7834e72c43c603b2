// The device properties a capture graph offers: every camera-control,
// proc-amp, flip and analog-decoder setting the device supports.

#include <kivo/analog_video_decoder_property.h>
#include <kivo/base_property.h>
#include <kivo/tmode_property.h>
#include <kivo/trange_property.h>
#include <kivo/video_capture_filter.h>
#include <kivo/video_capture_graph.h>
#include <kivo/video_control_property.h>

namespace kivo {

namespace {

struct Row {
  const char* name;
  long id;
};

const Row kCameraControlRows[] = {
    {"Pan", CameraControl_Pan},           {"Tilt", CameraControl_Tilt},
    {"Roll", CameraControl_Roll},         {"Zoom", CameraControl_Zoom},
    {"Exposure", CameraControl_Exposure}, {"Iris", CameraControl_Iris},
    {"Focus", CameraControl_Focus},
};

const Row kProcAmpRangeRows[] = {
    {"Brightness", VideoProcAmp_Brightness},
    {"Contrast", VideoProcAmp_Contrast},
    {"Hue", VideoProcAmp_Hue},
    {"Saturation", VideoProcAmp_Saturation},
    {"Sharpness", VideoProcAmp_Sharpness},
    {"Gamma", VideoProcAmp_Gamma},
    {"WhiteBalance", VideoProcAmp_WhiteBalance},
    {"Gain", VideoProcAmp_Gain},
};

const Row kProcAmpSwitchRows[] = {
    {"ColorEnable", VideoProcAmp_ColorEnable},
    {"BacklightCompensation", VideoProcAmp_BacklightCompensation},
};

const char* const kDecoderRows[] = {"OutputEnable", "VCRHorizontalLocking", "HorizontalLocked",
                                    "AnalogVideoFormat"};

}  // namespace

void VideoCaptureGraph::initProperties() {
  if (!filter) return;
  const CComPtr<IBaseFilter>& device = filter->getInterface();

  for (const Row& row : kCameraControlRows)
    addProperty(new TRangeProperty<IAMCameraControl>(row.name, row.id, device));
  for (const Row& row : kProcAmpRangeRows)
    addProperty(new TRangeProperty<IAMVideoProcAmp>(row.name, row.id, device));
  for (const Row& row : kProcAmpSwitchRows)
    addProperty(new TModeProperty<IAMVideoProcAmp>(row.name, row.id, device));

  // The flip switches belong to the capture pin.
  CComPtr<IPin> pin;
  CComPtr<ICaptureGraphBuilder2> builder = getGraphBuilder2();
  const HRESULT hr = builder ? builder->FindPin(device, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE,
                                                &MEDIATYPE_Video, FALSE, 0, &pin)
                             : E_UNEXPECTED;
  if (SUCCEEDED(hr) && pin) {
    addProperty(
        new VideoControlProperty("HorizontalFlip", VideoControlFlag_FlipHorizontal, device, pin));
    addProperty(
        new VideoControlProperty("VerticalFlip", VideoControlFlag_FlipVertical, device, pin));
  }

  for (const char* name : kDecoderRows) addProperty(new AnalogVideoDecoderProperty(name, device));
}

void VideoCaptureGraph::addProperty(BaseProperty* property) {
  if (!property) return;
  BaseProperty* dependent = property->getDependentProperty();
  if (!property->isSupported()) {
    // A companion is not owned by its property: it goes with it here.
    delete dependent;
    delete property;
    return;
  }
  addDirectXProperty(property);
  if (dependent) addDirectXProperty(dependent);
}

}  // namespace kivo
