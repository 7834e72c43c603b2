#pragma once

#include <kivo/comptr.h>
#include <kivo/export.h>
#include <kivo/platform.h>

#include <string>

namespace kivo {

// One DirectShow filter: a display name plus the COM objects that identify
// and embody it. A filter that came from a device moniker is copied by
// binding the moniker again, so every copy owns its own device object.
class KIVO_API Filter {
 public:
  Filter(const char* name, CComPtr<IBaseFilter> filter, CComPtr<IMoniker> moniker,
         CComPtr<IBindCtx> bindCtx);
  Filter& operator=(const Filter& other);
  virtual ~Filter();

  const CComPtr<IBaseFilter>& getInterface() const;
  const char* getName() const;
  // The device path (UTF-8) from the moniker's property bag; "" when the
  // filter has no moniker or no path. Valid until the next call or the
  // object's destruction.
  const char* getUniqueString() const;
  virtual bool isVFW() const;

 protected:
  // Creates the filter from its class identifier; throws
  // FilterCreationException with the creation status when that fails.
  Filter(const char* name, const GUID& clsid);
  Filter(const Filter& other);

 private:
  void copy(const Filter& other);
  void setName(const char* name);
  void setInterface(const CComPtr<IBaseFilter>& filter);

  CComPtr<IMoniker> moniker;
  CComPtr<IBaseFilter> filter;
  CComPtr<IBindCtx> bindCtx;
  std::string name;
  mutable std::string uniqueString;
};

}  // namespace kivo
