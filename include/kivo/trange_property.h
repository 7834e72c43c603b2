#pragma once

#include <kivo/comptr.h>
#include <kivo/export.h>
#include <kivo/platform.h>
#include <kivo/range_property.h>

namespace kivo {

// A numeric device setting read and written through IAMCameraControl or
// IAMVideoProcAmp (the two interfaces share GetRange, Get and Set). The
// range is read once, when the property is built; the value is read from
// the device every time.
//
// The library instantiates the template for IAMCameraControl and
// IAMVideoProcAmp only; both instantiations live in kivo.dll.
template <class I>
class TRangeProperty : public IRangeProperty {
 public:
  // Asks the filter for I and the device for the range of `propertyId`;
  // without either the property stays unsupported. A device offering both
  // automatic and manual control also gets a "Mode" companion, named after
  // this property, that the caller owns (see getDependentProperty).
  TRangeProperty(const char* name, long propertyId, const CComPtr<IBaseFilter>& filter);
  TRangeProperty(const TRangeProperty&) = delete;
  TRangeProperty& operator=(const TRangeProperty&) = delete;
  // Does not destroy the companion: whoever owns the properties does.
  virtual ~TRangeProperty();

  // `value` points to a long that receives the current value.
  long getValue(void* value) const override;
  // `value` points to the long to write; the device's current control flags
  // are kept.
  long setValue(void* value) override;
  // The "Mode" companion, or null. Not owned by this property.
  BaseProperty* getDependentProperty() const override;
  void getRange(long& minimum, long& maximum, long& steppingDelta, long& defaultValue,
                long& capsFlags) const override;

  long getPropertyId() const;

 private:
  void createDependentProperty();

  CComPtr<I> deviceInterface;
  BaseProperty* dependent = nullptr;
  long propertyId;
  long minimum = 0;
  long maximum = 0;
  long steppingDelta = 0;
  long deviceDefault = 0;
  long capsFlags = 0;
};

// kivo.dll instantiates and exports the two forms in its own sources; a host
// imports them instead of instantiating its own.
#if !defined(KIVO_BUILDING_DLL)
extern template class KIVO_API TRangeProperty<IAMCameraControl>;
extern template class KIVO_API TRangeProperty<IAMVideoProcAmp>;
#endif

}  // namespace kivo
