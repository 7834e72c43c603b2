#pragma once

#include <kivo/export.h>
#include <kivo/renderer_data_sink.h>

namespace kivo {

// The platform's null renderer ("KIVO Null Renderer"): it discards every
// sample it receives.
class KIVO_API NullSink : public RendererDataSink {
 public:
  // Throws FilterCreationException when the renderer cannot be created.
  NullSink();
  virtual ~NullSink();
};

}  // namespace kivo
