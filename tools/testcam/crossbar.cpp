// The crossbar of the analog device: three video and two audio connectors,
// routed to a video decoder output (wired to the device's analog video
// input) and an audio decoder output.

#include <cstring>
#include <cwchar>

#include "testcam.h"

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

#define TESTCAM_FAULT(name) \
  if (faults_.fails(name)) return E_FAIL

class Crossbar::Pin : public IPin {
 public:
  Pin(Crossbar* owner, long position)
      : owner_(owner), layout_(kPins[position]), position_(position) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
    if (!result) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPin) {
      *result = static_cast<IPin*>(this);
      AddRef();
      return S_OK;
    }
    *result = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return owner_->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return owner_->Release(); }

  bool isWired() const { return position_ == kInputs; }

  STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE*) override {
    if (!receivePin) return E_POINTER;
    if (layout_.input) return E_UNEXPECTED;
    std::lock_guard<std::mutex> guard(owner_->lock_);
    if (isWired() && owner_->decoderInput_) return VFW_E_ALREADY_CONNECTED;
    return VFW_E_NO_ACCEPTABLE_TYPES;
  }
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override {
    if (!connector || !type) return E_POINTER;
    // A physical connector takes no connection from a graph.
    return layout_.input ? VFW_E_TYPE_NOT_ACCEPTED : E_UNEXPECTED;
  }
  STDMETHODIMP Disconnect() override {
    // The decoder link is wired inside the device and stays.
    return S_FALSE;
  }
  STDMETHODIMP ConnectedTo(IPin** pin) override {
    if (!pin) return E_POINTER;
    std::lock_guard<std::mutex> guard(owner_->lock_);
    *pin = isWired() ? owner_->decoderInput_ : nullptr;
    if (!*pin) return VFW_E_NOT_CONNECTED;
    (*pin)->AddRef();
    return S_OK;
  }
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override {
    if (!type) return E_POINTER;
    std::lock_guard<std::mutex> guard(owner_->lock_);
    if (!isWired() || !owner_->decoderInput_) {
      std::memset(type, 0, sizeof(*type));
      return VFW_E_NOT_CONNECTED;
    }
    const CMediaType analog = connectorType(layout_.type);
    return kivo::CopyMediaType(type, &analog);
  }
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override {
    if (!info) return E_POINTER;
    std::memset(info, 0, sizeof(*info));
    info->pFilter = static_cast<IBaseFilter*>(owner_);
    info->pFilter->AddRef();
    info->dir = layout_.input ? PINDIR_INPUT : PINDIR_OUTPUT;
    std::wcsncpy(info->achName, layout_.name, MAX_PIN_NAME - 1);
    return S_OK;
  }
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override {
    if (!direction) return E_POINTER;
    *direction = layout_.input ? PINDIR_INPUT : PINDIR_OUTPUT;
    return S_OK;
  }
  STDMETHODIMP QueryId(LPWSTR* id) override { return copyWideString(layout_.name, id); }
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override {
    if (!type) return E_POINTER;
    return type->majortype == connectorType(layout_.type).majortype ? S_OK : S_FALSE;
  }
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** result) override {
    return createMediaTypeEnum({connectorType(layout_.type)}, result);
  }
  STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP EndOfStream() override { return layout_.input ? S_OK : E_UNEXPECTED; }
  STDMETHODIMP BeginFlush() override { return layout_.input ? S_OK : E_UNEXPECTED; }
  STDMETHODIMP EndFlush() override { return layout_.input ? S_OK : E_UNEXPECTED; }
  STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override {
    return layout_.input ? S_OK : E_UNEXPECTED;
  }

 private:
  Crossbar* owner_;
  const PinLayout& layout_;
  long position_;
};

HRESULT createCrossbar(const Faults& faults, Crossbar** result) {
  *result = new (std::nothrow) Crossbar(faults);
  return *result ? S_OK : E_OUTOFMEMORY;
}

Crossbar::Crossbar(const Faults& faults) : faults_(faults) {
  moduleAddRef();
  for (long i = 0; i < kInputs + kOutputs; ++i) pins_.emplace_back(new Pin(this, i));
  routes_[0] = 0;  // the tuner feeds the video decoder
  routes_[1] = 3;  // and the tuner's sound the audio decoder
}

Crossbar::~Crossbar() { moduleRelease(); }

STDMETHODIMP Crossbar::QueryInterface(REFIID iid, void** result) {
  if (!result) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter ||
      iid == IID_IBaseFilter) {
    *result = static_cast<IBaseFilter*>(this);
  } else if (iid == IID_IAMCrossbar) {
    *result = static_cast<IAMCrossbar*>(this);
  } else {
    *result = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) Crossbar::AddRef() { return ++refs_; }

STDMETHODIMP_(ULONG) Crossbar::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

void Crossbar::wire(IPin* decoderInput) {
  std::lock_guard<std::mutex> guard(lock_);
  decoderInput_ = decoderInput;
}

IPin* Crossbar::videoDecoderOutput() { return pins_[kInputs].get(); }

long Crossbar::routedVideoType() const {
  std::lock_guard<std::mutex> guard(lock_);
  return routes_[0] < 0 ? 0 : kPins[routes_[0]].type;
}

STDMETHODIMP Crossbar::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = kCrossbarClsid;
  return S_OK;
}

STDMETHODIMP Crossbar::Stop() {
  std::lock_guard<std::mutex> guard(lock_);
  state_ = State_Stopped;
  return S_OK;
}

STDMETHODIMP Crossbar::Pause() {
  std::lock_guard<std::mutex> guard(lock_);
  state_ = State_Paused;
  return S_OK;
}

STDMETHODIMP Crossbar::Run(REFERENCE_TIME) {
  std::lock_guard<std::mutex> guard(lock_);
  state_ = State_Running;
  return S_OK;
}

STDMETHODIMP Crossbar::GetState(DWORD, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  std::lock_guard<std::mutex> guard(lock_);
  *state = state_;
  return S_OK;
}

STDMETHODIMP Crossbar::SetSyncSource(IReferenceClock*) { return S_OK; }

STDMETHODIMP Crossbar::GetSyncSource(IReferenceClock** clock) {
  if (!clock) return E_POINTER;
  *clock = nullptr;
  return S_OK;
}

STDMETHODIMP Crossbar::EnumPins(IEnumPins** result) {
  std::vector<IPin*> pins;
  for (const auto& pin : pins_) pins.push_back(pin.get());
  return createPinEnum(pins, static_cast<IBaseFilter*>(this), result);
}

STDMETHODIMP Crossbar::FindPin(LPCWSTR id, IPin** pin) {
  if (!id || !pin) return E_POINTER;
  for (long i = 0; i < kInputs + kOutputs; ++i) {
    if (std::wcscmp(id, kPins[i].name) == 0) {
      *pin = pins_[i].get();
      (*pin)->AddRef();
      return S_OK;
    }
  }
  *pin = nullptr;
  return VFW_E_NOT_FOUND;
}

STDMETHODIMP Crossbar::QueryFilterInfo(FILTER_INFO* info) {
  if (!info) return E_POINTER;
  std::lock_guard<std::mutex> guard(lock_);
  std::memset(info, 0, sizeof(*info));
  std::wcsncpy(info->achName, name_.c_str(), MAX_FILTER_NAME - 1);
  info->pGraph = graph_;
  if (graph_) graph_->AddRef();
  return S_OK;
}

STDMETHODIMP Crossbar::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  std::lock_guard<std::mutex> guard(lock_);
  graph_ = graph;
  name_ = name ? name : L"";
  return S_OK;
}

STDMETHODIMP Crossbar::QueryVendorInfo(LPWSTR* info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP Crossbar::get_PinCounts(LONG* outputs, LONG* inputs) {
  TESTCAM_FAULT("IAMCrossbar.get_PinCounts");
  if (!outputs || !inputs) return E_POINTER;
  *outputs = kOutputs;
  *inputs = kInputs;
  return S_OK;
}

STDMETHODIMP Crossbar::CanRoute(LONG output, LONG input) {
  TESTCAM_FAULT("IAMCrossbar.CanRoute");
  if (output < 0 || output >= kOutputs || input < 0 || input >= kInputs) return E_INVALIDARG;
  return isAudio(kPins[kInputs + output].type) == isAudio(kPins[input].type) ? S_OK : S_FALSE;
}

STDMETHODIMP Crossbar::Route(LONG output, LONG input) {
  TESTCAM_FAULT("IAMCrossbar.Route");
  if (output < 0 || output >= kOutputs || input < -1 || input >= kInputs) return E_INVALIDARG;
  if (input >= 0 && isAudio(kPins[kInputs + output].type) != isAudio(kPins[input].type)) {
    return E_INVALIDARG;
  }
  std::lock_guard<std::mutex> guard(lock_);
  routes_[output] = input;  // -1 leaves the output unrouted
  return S_OK;
}

STDMETHODIMP Crossbar::get_IsRoutedTo(LONG output, LONG* input) {
  TESTCAM_FAULT("IAMCrossbar.get_IsRoutedTo");
  if (!input) return E_POINTER;
  if (output < 0 || output >= kOutputs) return E_INVALIDARG;
  std::lock_guard<std::mutex> guard(lock_);
  *input = routes_[output];
  return S_OK;
}

STDMETHODIMP Crossbar::get_CrossbarPinInfo(BOOL isInput, LONG index, LONG* related, LONG* type) {
  TESTCAM_FAULT("IAMCrossbar.get_CrossbarPinInfo");
  if (!related || !type) return E_POINTER;
  const long count = isInput ? kInputs : kOutputs;
  if (index < 0 || index >= count) return E_INVALIDARG;
  const PinLayout& layout = kPins[isInput ? index : kInputs + index];
  *related = layout.related;
  *type = layout.type;
  return S_OK;
}

}  // namespace testcam
