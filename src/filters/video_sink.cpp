#include <kivo/video_sink.h>

namespace kivo {

VideoSink::VideoSink() : RendererDataSink("KIVO Video Renderer", CLSID_VideoRenderer) {}

VideoSink::~VideoSink() = default;

}  // namespace kivo
