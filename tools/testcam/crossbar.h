#pragma once

// The crossbar of the analog device and the device's analog video input,
// wired to each other for the device's whole life. The crossbar has three
// video and two audio connectors, routed to a video decoder output (which
// feeds the analog video input) and an audio decoder output. It exists only
// inside its device and is never in a graph; nothing streams through it.

#include <memory>
#include <mutex>
#include <vector>

#include "faults.h"
#include "filter_base.h"
#include "pin_base.h"

namespace testcam {

class CaptureFilter;
class CrossbarPin;

// The analog video input pin of the TV card's capture filter.
class AnalogInputPin final : public CategorizedPin<> {
 public:
  explicit AnalogInputPin(CaptureFilter* device);

 protected:
  std::vector<CMediaType> offeredTypes() override;
  CComPtr<IPin> peer() override;

 private:
  CaptureFilter* device_;
};

class Crossbar final : public FilterBase<IAMCrossbar> {
 public:
  explicit Crossbar(const Faults& faults);

  // IAMCrossbar
  STDMETHODIMP get_PinCounts(LONG* outputs, LONG* inputs) override;
  STDMETHODIMP CanRoute(LONG output, LONG input) override;
  STDMETHODIMP Route(LONG output, LONG input) override;
  STDMETHODIMP get_IsRoutedTo(LONG output, LONG* input) override;
  STDMETHODIMP get_CrossbarPinInfo(BOOL isInput, LONG index, LONG* related, LONG* type) override;

  // The device's analog input, which the video decoder output feeds; null
  // once the device is gone.
  void wire(IPin* decoderInput);
  CComPtr<IPin> decoderInput();
  IPin* videoDecoderOutput();
  // The physical type routed to the video decoder output, 0 when none.
  long routedVideoType() const;

 protected:
  std::vector<IPin*> pins() override;

 private:
  ~Crossbar() override;

  Faults faults_;
  mutable std::mutex wiringLock_;                   // the routes and the decoder input
  std::vector<std::unique_ptr<CrossbarPin>> pins_;  // inputs first, then outputs
  long routes_[2];                                  // input routed to each output, -1 none
  IPin* decoderInput_ = nullptr;                    // weak
};

}  // namespace testcam
