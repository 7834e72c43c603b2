#include <kivo/analog_video_decoder_property.h>

#include <cstring>

namespace kivo {

namespace {

struct TVFormatName {
  long format;
  const char* name;
};

// The named TV standards, in the order in which available ones are offered.
// PAL_G (0x40) has no name of its own and is never offered.
const TVFormatName kTVFormats[] = {
    {AnalogVideo_None, "none"},         {AnalogVideo_NTSC_M, "ntsc_m"},
    {AnalogVideo_NTSC_M_J, "ntsc_m_j"}, {AnalogVideo_NTSC_433, "ntsc_433"},
    {AnalogVideo_PAL_B, "pal_b"},       {AnalogVideo_PAL_D, "pal_d"},
    {AnalogVideo_PAL_H, "pal_h"},       {AnalogVideo_PAL_I, "pal_i"},
    {AnalogVideo_PAL_M, "pal_m"},       {AnalogVideo_PAL_N, "pal_n"},
    {AnalogVideo_PAL_60, "pal_60"},     {AnalogVideo_SECAM_B, "secam_b"},
    {AnalogVideo_SECAM_D, "secam_d"},   {AnalogVideo_SECAM_G, "secam_g"},
    {AnalogVideo_SECAM_H, "secam_h"},   {AnalogVideo_SECAM_K, "secam_k"},
    {AnalogVideo_SECAM_K1, "secam_k1"}, {AnalogVideo_SECAM_L, "secam_l"},
    {AnalogVideo_SECAM_L1, "secam_l1"}, {AnalogVideo_PAL_N_COMBO, "pal_n_combo"},
};

const char kUnknownFormat[] = "unknown";

}  // namespace

AnalogVideoDecoderProperty::AnalogVideoDecoderProperty(const char* name,
                                                       const CComPtr<IBaseFilter>& filter)
    : IEnumProperty(name, filter), getter(nullptr), setter(nullptr) {
  if (FAILED(filter.QueryInterface(&decoder)) || !decoder) {
    decoder.Release();
    return;
  }
  const char* ownName = getName();
  if (std::strcmp(ownName, "OutputEnable") == 0) {
    getter = &AnalogVideoDecoderProperty::getOutputEnable;
    setter = &AnalogVideoDecoderProperty::setOutputEnable;
  } else if (std::strcmp(ownName, "HorizontalLocked") == 0) {
    getter = &AnalogVideoDecoderProperty::getHorizontalLocked;
    setter = &AnalogVideoDecoderProperty::setHorizontalLocked;
  } else if (std::strcmp(ownName, "VCRHorizontalLocking") == 0) {
    getter = &AnalogVideoDecoderProperty::getVCRHorizontalLocking;
    setter = &AnalogVideoDecoderProperty::setVCRHorizontalLocking;
  } else if (std::strcmp(ownName, "AnalogVideoFormat") == 0) {
    getter = &AnalogVideoDecoderProperty::getTVFormat;
    setter = &AnalogVideoDecoderProperty::setTVFormat;
  } else {
    return;
  }
  // The device's current setting is what the property reports as default.
  if (FAILED((this->*getter)(defaultValue))) return;
  addDxEnums();
  setSupported(!constraints.empty());
}

AnalogVideoDecoderProperty::~AnalogVideoDecoderProperty() = default;

long AnalogVideoDecoderProperty::getValue(void* value) const {
  if (!value) return E_POINTER;
  if (!getter) return E_UNEXPECTED;
  return (this->*getter)(*static_cast<long*>(value));
}

long AnalogVideoDecoderProperty::setValue(void* value) {
  if (!value) return E_POINTER;
  if (!setter) return E_UNEXPECTED;
  return (this->*setter)(*static_cast<long*>(value));
}

void AnalogVideoDecoderProperty::addDxEnums() {
  const char* ownName = getName();
  if (std::strcmp(ownName, "OutputEnable") == 0) {
    addEnumPair("off", 0);
    addEnumPair("on", 1);
  } else if (std::strcmp(ownName, "HorizontalLocked") == 0) {
    addEnumPair("off", 0);
    addEnumPair("on", 1);
    // An indicator of the decoder's state: it cannot be written.
    setSettable(false);
  } else if (std::strcmp(ownName, "VCRHorizontalLocking") == 0) {
    addEnumPair("broadcast", 0);
    addEnumPair("tape", 1);
  } else if (std::strcmp(ownName, "AnalogVideoFormat") == 0) {
    long available = 0;
    if (FAILED(decoder->get_AvailableTVFormats(&available))) return;
    // The current standard comes first, so that its name (even "unknown")
    // is always offered with its own value.
    addEnumPair(getTVFormatName(defaultValue), defaultValue);
    for (const TVFormatName& entry : kTVFormats) addTVFormat(available, entry.format);
  }
}

void AnalogVideoDecoderProperty::addTVFormat(long available, long format) {
  if (format != defaultValue && (format & available) != 0) {
    addEnumPair(getTVFormatName(format), format);
  }
}

const char* AnalogVideoDecoderProperty::getTVFormatName(long format) const {
  for (const TVFormatName& entry : kTVFormats) {
    if (entry.format == format) return entry.name;
  }
  return kUnknownFormat;
}

long AnalogVideoDecoderProperty::getOutputEnable(long& value) const {
  return decoder->get_OutputEnable(&value);
}

long AnalogVideoDecoderProperty::setOutputEnable(long& value) const {
  return decoder->put_OutputEnable(value);
}

long AnalogVideoDecoderProperty::getVCRHorizontalLocking(long& value) const {
  return decoder->get_VCRHorizontalLocking(&value);
}

long AnalogVideoDecoderProperty::setVCRHorizontalLocking(long& value) const {
  return decoder->put_VCRHorizontalLocking(value);
}

long AnalogVideoDecoderProperty::getHorizontalLocked(long& value) const {
  return decoder->get_HorizontalLocked(&value);
}

long AnalogVideoDecoderProperty::setHorizontalLocked(long& /*value*/) const {
  // The lock state is the decoder's to report, not the host's to choose.
  return E_FAIL;
}

long AnalogVideoDecoderProperty::getTVFormat(long& value) const {
  return decoder->get_TVFormat(&value);
}

long AnalogVideoDecoderProperty::setTVFormat(long& value) const {
  return decoder->put_TVFormat(value);
}

}  // namespace kivo
