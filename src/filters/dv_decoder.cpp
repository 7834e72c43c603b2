#include <kivo/dv_decoder.h>
#include <kivo/filter_creation_exception.h>

namespace kivo {

DVDecoder::DVDecoder()
    : Filter("KIVO DV Decoder", CLSID_DVVideoCodec), resolution(RESOLUTION_FULL) {
  // A decoder without its control interface is of no use to the host; the
  // exception unwinds the Filter part and with it the filter reference.
  const HRESULT hr = getInterface().QueryInterface(&decoder);
  if (FAILED(hr)) throw FilterCreationException(hr);
}

DVDecoder::DVDecoder(const DVDecoder& other) : Filter(other), resolution(other.resolution) {
  copy(other);
}

DVDecoder& DVDecoder::operator=(const DVDecoder& other) {
  if (&other != this) {
    Filter::operator=(other);
    destroy();
    copy(other);
  }
  return *this;
}

DVDecoder::~DVDecoder() = default;

CComPtr<IIPDVDec> DVDecoder::getDecoder() { return decoder; }

DVDecoder::Resolution DVDecoder::getResolution() { return resolution; }

void DVDecoder::setResolution(Resolution value) { resolution = value; }

void DVDecoder::copy(const DVDecoder& other) {
  // The decoder has no moniker: the copy shares the filter object and with
  // it the decoder interface.
  decoder = other.decoder;
  resolution = other.resolution;
}

void DVDecoder::destroy() { decoder.Release(); }

}  // namespace kivo
