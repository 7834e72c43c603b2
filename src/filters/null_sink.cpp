#include <kivo/null_sink.h>

namespace kivo {

NullSink::NullSink() : RendererDataSink("KIVO Null Renderer", CLSID_NullRenderer) {}

NullSink::~NullSink() = default;

}  // namespace kivo
