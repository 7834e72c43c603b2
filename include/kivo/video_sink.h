#pragma once

#include <kivo/export.h>
#include <kivo/renderer_data_sink.h>

namespace kivo {

// The platform's video renderer ("KIVO Video Renderer"), which shows the
// stream in a window of its own.
class KIVO_API VideoSink : public RendererDataSink {
 public:
  // Throws FilterCreationException when the renderer cannot be created (for
  // example on a system without a display).
  VideoSink();
  virtual ~VideoSink();
};

}  // namespace kivo
