#pragma once

#include <kivo/export.h>
#include <kivo/filter.h>

namespace kivo {

// The common base of the renderers that end a streaming path. It adds
// nothing to Filter but a name for the family.
class KIVO_API RendererDataSink : public Filter {
 public:
  virtual ~RendererDataSink();

 protected:
  // Creates the renderer from its class identifier; throws
  // FilterCreationException when the platform cannot create it.
  RendererDataSink(const char* name, const GUID& clsid);
};

}  // namespace kivo
