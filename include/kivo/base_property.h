#pragma once

#include <kivo/comptr.h>
#include <kivo/export.h>
#include <kivo/platform.h>

#include <string>

namespace kivo {

// One device setting. Values are exchanged as one `long` through an untyped
// pointer, for every family of property; the meaning of the number depends
// on the family (a range value, a mode flag, a TV standard bit, on/off).
class KIVO_API BaseProperty {
 public:
  BaseProperty(const char* name, const CComPtr<IBaseFilter>& filter);
  BaseProperty(const BaseProperty& other);
  virtual ~BaseProperty();

  // `value` points to a long that receives the device's current value.
  virtual long getValue(void* value) const = 0;
  // `value` points to a long holding the value to write.
  virtual long setValue(void* value) = 0;
  // The "Mode" companion of a ranged or on/off setting, or null.
  virtual BaseProperty* getDependentProperty() const = 0;

  const char* getName() const;
  const CComPtr<IBaseFilter>& getFilter() const;
  bool isSupported() const;
  bool isSettable() const;

 protected:
  void setSupported(bool supported);
  void setSettable(bool settable);

 private:
  BaseProperty& operator=(const BaseProperty&) = delete;

  std::string name;
  CComPtr<IBaseFilter> filter;
  bool supported;
  bool settable;
};

}  // namespace kivo
