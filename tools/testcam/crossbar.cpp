#include "crossbar.h"

#include "capture_filter.h"
#include "testcam_ids.h"

namespace testcam {

namespace {

struct PinLayout {
  const wchar_t* name;
  bool input;
  long type;     // PhysConn_*
  long related;  // index of the related pin on the same side
};

// Inputs first, then outputs, as the crossbar enumerates them.
const PinLayout kPins[] = {
    {L"Video Tuner In", true, PhysConn_Video_Tuner, 3},
    {L"Video Composite In", true, PhysConn_Video_Composite, 4},
    {L"Video SVideo In", true, PhysConn_Video_SVideo, 4},
    {L"Audio Tuner In", true, PhysConn_Audio_Tuner, 0},
    {L"Audio Line In", true, PhysConn_Audio_Line, 1},
    {L"Video Decoder Out", false, PhysConn_Video_VideoDecoder, 1},
    {L"Audio Decoder Out", false, PhysConn_Audio_AudioDecoder, 0},
};
constexpr long kInputs = 5;
constexpr long kOutputs = 2;
// The video decoder output, wired to the device's analog video input.
constexpr long kWiredPin = kInputs;

bool isAudio(long type) { return type >= PhysConn_Audio_Tuner; }

CMediaType connectorType(long physicalType) {
  CMediaType type;
  if (isAudio(physicalType)) {
    type.SetType(&MEDIATYPE_AnalogAudio);
    type.SetSubtype(&GUID_NULL);
  } else {
    type.SetType(&MEDIATYPE_AnalogVideo);
    type.SetSubtype(&MEDIASUBTYPE_AnalogVideo_NTSC_M);
  }
  return type;
}

}  // namespace

AnalogInputPin::AnalogInputPin(CaptureFilter* device)
    : CategorizedPin(device, L"Analog Video In", PINDIR_INPUT, PIN_CATEGORY_ANALOGVIDEOIN),
      device_(device) {}

// The type of the video decoder output that feeds it.
std::vector<CMediaType> AnalogInputPin::offeredTypes() {
  return {connectorType(PhysConn_Video_VideoDecoder)};
}

CComPtr<IPin> AnalogInputPin::peer() {
  Crossbar* crossbar = device_->crossbar();
  return crossbar ? crossbar->videoDecoderOutput() : nullptr;
}

// A connector of the crossbar: a physical input, or a decoder output.
class CrossbarPin final : public PinBase<> {
 public:
  CrossbarPin(Crossbar* crossbar, long position)
      : PinBase(crossbar, kPins[position].name,
                kPins[position].input ? PINDIR_INPUT : PINDIR_OUTPUT),
        crossbar_(crossbar),
        type_(kPins[position].type),
        wired_(position == kWiredPin) {}

 protected:
  std::vector<CMediaType> offeredTypes() override { return {connectorType(type_)}; }
  CComPtr<IPin> peer() override { return wired_ ? crossbar_->decoderInput() : nullptr; }

 private:
  Crossbar* const crossbar_;
  const long type_;
  const bool wired_;
};

Crossbar::Crossbar(const Faults& faults) : FilterBase(kCrossbarClsid), faults_(faults) {
  for (long i = 0; i < kInputs + kOutputs; ++i) pins_.emplace_back(new CrossbarPin(this, i));
  routes_[0] = 0;  // the tuner feeds the video decoder
  routes_[1] = 3;  // and the tuner's sound the audio decoder
}

Crossbar::~Crossbar() = default;

std::vector<IPin*> Crossbar::pins() {
  std::vector<IPin*> pins;
  for (const auto& pin : pins_) pins.push_back(pin.get());
  return pins;
}

void Crossbar::wire(IPin* decoderInput) {
  std::lock_guard<std::mutex> guard(wiringLock_);
  decoderInput_ = decoderInput;
}

CComPtr<IPin> Crossbar::decoderInput() {
  std::lock_guard<std::mutex> guard(wiringLock_);
  return decoderInput_;
}

IPin* Crossbar::videoDecoderOutput() { return pins_[kWiredPin].get(); }

long Crossbar::routedVideoType() const {
  std::lock_guard<std::mutex> guard(wiringLock_);
  return routes_[0] < 0 ? 0 : kPins[routes_[0]].type;
}

STDMETHODIMP Crossbar::get_PinCounts(LONG* outputs, LONG* inputs) {
  if (faults_.fails("IAMCrossbar.get_PinCounts")) return E_FAIL;
  if (!outputs || !inputs) return E_POINTER;
  *outputs = kOutputs;
  *inputs = kInputs;
  return S_OK;
}

STDMETHODIMP Crossbar::CanRoute(LONG output, LONG input) {
  if (faults_.fails("IAMCrossbar.CanRoute")) return E_FAIL;
  if (output < 0 || output >= kOutputs || input < 0 || input >= kInputs) return E_INVALIDARG;
  return isAudio(kPins[kInputs + output].type) == isAudio(kPins[input].type) ? S_OK : S_FALSE;
}

STDMETHODIMP Crossbar::Route(LONG output, LONG input) {
  if (faults_.fails("IAMCrossbar.Route")) return E_FAIL;
  if (output < 0 || output >= kOutputs || input < -1 || input >= kInputs) return E_INVALIDARG;
  if (input >= 0 && isAudio(kPins[kInputs + output].type) != isAudio(kPins[input].type)) {
    return E_INVALIDARG;
  }
  std::lock_guard<std::mutex> guard(wiringLock_);
  routes_[output] = input;  // -1 leaves the output unrouted
  return S_OK;
}

STDMETHODIMP Crossbar::get_IsRoutedTo(LONG output, LONG* input) {
  if (faults_.fails("IAMCrossbar.get_IsRoutedTo")) return E_FAIL;
  if (!input) return E_POINTER;
  if (output < 0 || output >= kOutputs) return E_INVALIDARG;
  std::lock_guard<std::mutex> guard(wiringLock_);
  *input = routes_[output];
  return S_OK;
}

STDMETHODIMP Crossbar::get_CrossbarPinInfo(BOOL isInput, LONG index, LONG* related, LONG* type) {
  if (faults_.fails("IAMCrossbar.get_CrossbarPinInfo")) return E_FAIL;
  if (!related || !type) return E_POINTER;
  const long count = isInput ? kInputs : kOutputs;
  if (index < 0 || index >= count) return E_INVALIDARG;
  const PinLayout& layout = kPins[isInput ? index : kInputs + index];
  *related = layout.related;
  *type = layout.type;
  return S_OK;
}

}  // namespace testcam
