#pragma once

#include <kivo/comptr.h>
#include <kivo/export.h>
#include <kivo/platform.h>
#include <kivo/range_mode_property.h>

namespace kivo {

template <class I>
class TRangeProperty;
template <class I>
class TModeProperty;

// The automatic/manual control of a camera-control or proc-amp setting:
// "auto" 1, "manual" 2. Only the setting it belongs to creates it, when the
// device offers both kinds of control; it is named after that setting with
// "Mode" appended.
//
// The library instantiates the template for IAMCameraControl and
// IAMVideoProcAmp only; both instantiations live in kivo.dll.
template <class I>
class TRangeModeProperty : public IRangeModeProperty {
 public:
  TRangeModeProperty(const TRangeModeProperty&) = delete;
  TRangeModeProperty& operator=(const TRangeModeProperty&) = delete;
  virtual ~TRangeModeProperty();

  // `value` points to a long that receives the current control flags.
  long getValue(void* value) const override;
  // `value` points to the control flags to write; the device's current
  // value of the setting is kept.
  long setValue(void* value) override;
  // The setting this mode belongs to. Not owned.
  BaseProperty* getRangeProperty() const override;

  long getPropertyId() const;

 protected:
  TRangeModeProperty(const char* name, long propertyId, const CComPtr<IBaseFilter>& filter,
                     const CComPtr<I>& deviceInterface, BaseProperty* rangeProperty);

 private:
  friend class TRangeProperty<I>;
  friend class TModeProperty<I>;

  // The companion of `owner` when the device offers both automatic and
  // manual control (both bits of capsFlags), named after it with "Mode"
  // appended; null otherwise.
  static TRangeModeProperty* createFor(BaseProperty* owner, long propertyId, long capsFlags,
                                       const CComPtr<I>& deviceInterface);

  CComPtr<I> deviceInterface;
  long propertyId;
  BaseProperty* rangeProperty;
};

// kivo.dll instantiates and exports the two forms in its own sources; a host
// imports them instead of instantiating its own.
#if !defined(KIVO_BUILDING_DLL)
extern template class KIVO_API TRangeModeProperty<IAMCameraControl>;
extern template class KIVO_API TRangeModeProperty<IAMVideoProcAmp>;
#endif

}  // namespace kivo
