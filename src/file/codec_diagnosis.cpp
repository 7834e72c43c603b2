// The file graph's diagnosis of a file it cannot connect: the name of the
// decoder the file needs, read from what the source filter and the AVI
// splitter say about the stream, else from the file's own headers.

#include <kivo/file_capture_graph.h>

#include <kivo/filter.h>
#include <kivo/mediatype.h>
#include <kivo/video_subtype.h>

#include "file/riff_structure.h"
#include "foundation/fourcc.h"
#include "foundation/replaceable.h"

namespace kivo {

namespace {

const char* const kAviSplitterName = "KVO Avi Splitter";

// More output pins than an AVI splitter offers for the streams of a file.
const int kMaxSplitterOutputs = 16;

// Subtypes of the MPEG-2 streams whose decoder is named "MPEG-2".
bool isMpeg2Stream(const GUID& subtype) {
  return subtype == MEDIASUBTYPE_MPEG2_PROGRAM || subtype == MEDIASUBTYPE_MPEG2_TRANSPORT ||
         subtype == MEDIASUBTYPE_MPEG2_TRANSPORT_STRIDE || subtype == MEDIASUBTYPE_MPEG2_VIDEO;
}

// What the source filter says the file is; Unknown when it says nothing
// or names another type.
FileContainer containerReportedBy(const CComPtr<IBaseFilter>& source) {
  CComPtr<IFileSourceFilter> fileSource;
  if (FAILED(source.QueryInterface(&fileSource))) return FileContainer::Unknown;
  LPOLESTR name = nullptr;
  CMediaType type;
  fileSource->GetCurFile(&name, &type);
  if (!name) return FileContainer::Unknown;
  CoTaskMemFree(name);
  if (type.majortype != MEDIATYPE_Stream) return FileContainer::Unknown;
  if (type.subtype == MEDIASUBTYPE_Avi) return FileContainer::Avi;
  return isMpeg2Stream(type.subtype) ? FileContainer::Mpeg2 : FileContainer::Unknown;
}

// The name a compression goes by ("DivX", "Xvid"...); none for GUID_NULL.
std::string nameOfVideoSubtype(const GUID& subtype) {
  if (subtype == GUID_NULL) return FileCaptureGraph::unknownCodec;
  return VideoSubtype(nullptr, subtype, 480).getName();
}

}  // namespace

std::string FileCaptureGraph::findMissingCodecName() {
  if (!source) return unknownCodec;
  const FileContainer reported = containerReportedBy(source->getInterface());
  if (reported == FileContainer::Mpeg2) return "MPEG-2";
  if (reported == FileContainer::Avi) {
    const std::string name = findMissingAviCodecName();
    if (name != unknownCodec) return name;
  }
  // Platform releases differ in what their source filters and splitters
  // tell of a file (some say nothing at all); the file's own first bytes and
  // headers give the same answer on every release.
  switch (readFileContainer(fileName)) {
    case FileContainer::Avi:
      return nameOfVideoSubtype(videoSubtypeFromFileHeader());
    case FileContainer::Mpeg2:
      return "MPEG-2";
    default:
      return unknownCodec;
  }
}

std::string FileCaptureGraph::findMissingAviCodecName() {
  // Split the file without decoding it and read the video stream's
  // compression from the splitter's output.
  CComPtr<IBaseFilter> splitter;
  if (FAILED(replaceable::createObject(CLSID_AviSplitter, IID_PPV_ARGS(&splitter))))
    return unknownCodec;
  Filter wrapper(kAviSplitterName, splitter, CComPtr<IMoniker>(), CComPtr<IBindCtx>());
  if (FAILED(addToGraph(&wrapper))) return unknownCodec;
  CComPtr<ICaptureGraphBuilder2> builder = getGraphBuilder2();
  if (!builder ||
      FAILED(builder->RenderStream(nullptr, nullptr, source->getInterface(), nullptr, splitter)))
    return unknownCodec;
  GUID subtype = findSplitterVideoSubtype(builder, splitter);
  if (subtype == GUID_NULL) subtype = videoSubtypeFromFileHeader();
  return nameOfVideoSubtype(subtype);
}

GUID FileCaptureGraph::findSplitterVideoSubtype(ICaptureGraphBuilder2* builder,
                                                IBaseFilter* splitter) {
  CComPtr<IPin> pin;
  if (SUCCEEDED(
          builder->FindPin(splitter, PINDIR_OUTPUT, nullptr, &MEDIATYPE_Video, FALSE, 0, &pin)))
    return videoSubtypeOfPin(pin);
  // Builders that match a pin's type only on connected pins find nothing
  // by type here: the splitter's outputs are then asked one by one.
  for (int index = 0; index < kMaxSplitterOutputs; ++index) {
    CComPtr<IPin> output;
    if (FAILED(builder->FindPin(splitter, PINDIR_OUTPUT, nullptr, nullptr, FALSE, index, &output)))
      break;
    const GUID subtype = videoSubtypeOfPin(output);
    if (subtype != GUID_NULL) return subtype;
  }
  return GUID_NULL;
}

GUID FileCaptureGraph::videoSubtypeFromFileHeader() const {
  // Some splitters list no type on their outputs until they are connected;
  // the file's own header names the compression as well.
  const DWORD compression = readAviVideoCompression(fileName);
  if (compression == 0 || compression == BI_RGB || compression == BI_BITFIELDS) return GUID_NULL;
  return fourccSubtype(compression);
}

GUID FileCaptureGraph::videoSubtypeOfPin(IPin* pin) {
  if (!pin) return GUID_NULL;
  CComPtr<IEnumMediaTypes> types;
  if (SUCCEEDED(pin->EnumMediaTypes(&types)) && types) {
    const GUID subtype = getMediaSubTypeFromMajorType(types, MEDIATYPE_Video);
    if (subtype != GUID_NULL) return subtype;
  }
  return videoSubtypeByConnecting(pin);
}

GUID FileCaptureGraph::getMediaSubTypeFromMajorType(CComPtr<IEnumMediaTypes>& types,
                                                    const GUID& majorType) const {
  if (FAILED(types->Reset())) return GUID_NULL;
  for (;;) {
    MediaTypePtr type;
    if (types->Next(1, &type, nullptr) != S_OK) return GUID_NULL;
    // A matching type that leaves its subtype open names nothing.
    if (type && type->majortype == majorType && type->subtype != GUID_NULL) return type->subtype;
  }
}

GUID FileCaptureGraph::videoSubtypeByConnecting(IPin* pin) {
  // A splitter that cannot list its output types still connects: a sample
  // grabber that takes any video reveals the type the stream carries.
  CComPtr<IGraphBuilder> graph = getGraphBuilder();
  CComPtr<IBaseFilter> probe;
  CComPtr<ISampleGrabber> grabber;
  if (!graph || FAILED(replaceable::createObject(CLSID_SampleGrabber, IID_PPV_ARGS(&probe))) ||
      FAILED(probe.QueryInterface(&grabber)))
    return GUID_NULL;
  CMediaType anyVideo(&MEDIATYPE_Video);
  if (FAILED(grabber->SetMediaType(&anyVideo)) ||
      FAILED(graph->AddFilter(probe, L"KIVO Codec Probe")))
    return GUID_NULL;
  GUID subtype = GUID_NULL;
  CComPtr<IEnumPins> pins;
  CComPtr<IPin> input;
  if (SUCCEEDED(probe->EnumPins(&pins)) && pins && pins->Next(1, &input, nullptr) == S_OK &&
      SUCCEEDED(graph->ConnectDirect(pin, input, nullptr))) {
    CMediaType connected;
    if (SUCCEEDED(pin->ConnectionMediaType(&connected)) && connected.majortype == MEDIATYPE_Video)
      subtype = connected.subtype;
  }
  graph->RemoveFilter(probe);
  return subtype;
}

}  // namespace kivo
