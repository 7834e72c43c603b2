#include <kivo/renderer_data_sink.h>

namespace kivo {

RendererDataSink::RendererDataSink(const char* name, const GUID& clsid) : Filter(name, clsid) {}

RendererDataSink::~RendererDataSink() = default;

}  // namespace kivo
