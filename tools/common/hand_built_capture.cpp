#include "common/hand_built_capture.h"

#include <cstdlib>

namespace kivo::tools {

namespace {

// Frees what IAMStreamConfig::GetStreamCaps allocated (the platform's
// DeleteMediaType lives in the base classes, which a plain host lacks).
void deleteMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return;
  CoTaskMemFree(type->pbFormat);
  if (type->pUnk) type->pUnk->Release();
  CoTaskMemFree(type);
}

// The subtype named as kivo names it: the RGB types by name, every other
// one by its FOURCC, whose GUID is the FOURCC followed by the fixed tail.
bool subtypeNamed(const std::string& name, GUID* subtype) {
  static const struct {
    const char* name;
    const GUID* subtype;
  } kRgb[] = {{"RGB24", &MEDIASUBTYPE_RGB24},
              {"RGB32", &MEDIASUBTYPE_RGB32},
              {"RGB565", &MEDIASUBTYPE_RGB565},
              {"RGB555", &MEDIASUBTYPE_RGB555}};
  for (const auto& entry : kRgb) {
    if (name == entry.name) {
      *subtype = *entry.subtype;
      return true;
    }
  }
  if (name.size() != 4) return false;
  *subtype = MEDIASUBTYPE_YUY2;
  subtype->Data1 = static_cast<DWORD>(static_cast<unsigned char>(name[0])) |
                   static_cast<DWORD>(static_cast<unsigned char>(name[1])) << 8 |
                   static_cast<DWORD>(static_cast<unsigned char>(name[2])) << 16 |
                   static_cast<DWORD>(static_cast<unsigned char>(name[3])) << 24;
  return true;
}

// "RGB24_640x480" into its subtype, width and height.
bool parseFormatName(const std::string& name, GUID* subtype, long* width, long* height) {
  const size_t underscore = name.rfind('_');
  if (underscore == std::string::npos || !subtypeNamed(name.substr(0, underscore), subtype))
    return false;
  char* end = nullptr;
  *width = std::strtol(name.c_str() + underscore + 1, &end, 10);
  if (*end != 'x') return false;
  *height = std::strtol(end + 1, &end, 10);
  return *end == '\0' && *width > 0 && *height > 0;
}

bool isFormat(const AM_MEDIA_TYPE& type, const GUID& subtype, long width, long height) {
  if (type.subtype != subtype || type.formattype != FORMAT_VideoInfo || !type.pbFormat ||
      type.cbFormat < sizeof(VIDEOINFOHEADER))
    return false;
  const BITMAPINFOHEADER& bitmap = reinterpret_cast<VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
  return bitmap.biWidth == width && std::labs(bitmap.biHeight) == height;
}

// The system device enumerator's monikers of the video input category; S_FALSE
// (and none) for an empty category.
HRESULT enumerateVideoDevices(kivo::CComPtr<IEnumMoniker>& found) {
  kivo::CComPtr<ICreateDevEnum> enumerator;
  HRESULT hr = enumerator.CoCreateInstance(CLSID_SystemDeviceEnum);
  if (SUCCEEDED(hr))
    hr = enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &found, 0);
  return hr;
}

}  // namespace

size_t countVideoDeviceMonikers() {
  kivo::CComPtr<IEnumMoniker> found;
  if (enumerateVideoDevices(found) != S_OK) return 0;
  size_t count = 0;
  for (;;) {
    kivo::CComPtr<IMoniker> moniker;
    if (found->Next(1, &moniker, nullptr) != S_OK) return count;
    ++count;
  }
}

HRESULT findDeviceMoniker(const std::wstring& name, kivo::CComPtr<IMoniker>& moniker) {
  kivo::CComPtr<IEnumMoniker> found;
  const HRESULT hr = enumerateVideoDevices(found);
  if (hr != S_OK) return hr;
  for (;;) {
    kivo::CComPtr<IMoniker> candidate;
    if (found->Next(1, &candidate, nullptr) != S_OK) return S_FALSE;
    kivo::CComPtr<IPropertyBag> bag;
    if (FAILED(candidate->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag)))) continue;
    VARIANT value;
    VariantInit(&value);
    const bool matches = SUCCEEDED(bag->Read(L"FriendlyName", &value, nullptr)) &&
                         value.vt == VT_BSTR && name == value.bstrVal;
    VariantClear(&value);
    if (matches) {
      moniker = candidate;
      return S_OK;
    }
  }
}

HandBuiltCapture::~HandBuiltCapture() {
  if (control_) control_->Stop();
  if (grabber_) grabber_->SetCallback(nullptr, 0);
}

HRESULT HandBuiltCapture::open(IMoniker* moniker) {
  kivo::CComPtr<IBindCtx> context;
  HRESULT hr = CreateBindCtx(0, &context);
  if (SUCCEEDED(hr)) hr = moniker->BindToObject(context, nullptr, IID_PPV_ARGS(&device_));
  return hr;
}

HRESULT HandBuiltCapture::createGraph() {
  HRESULT hr = graph_.CoCreateInstance(CLSID_FilterGraph);
  if (SUCCEEDED(hr)) hr = builder_.CoCreateInstance(CLSID_CaptureGraphBuilder2);
  if (SUCCEEDED(hr)) hr = builder_->SetFiltergraph(graph_);
  if (SUCCEEDED(hr)) hr = graph_->AddFilter(device_, L"Device");
  if (SUCCEEDED(hr))
    hr = builder_->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, device_,
                                 IID_PPV_ARGS(&streamConfig_));
  return hr;
}

// The pin's capability of that subtype and size, set to the interval and
// applied to the pin before it connects; the caller frees *chosen.
HRESULT HandBuiltCapture::selectFormat(const CaptureFormat& format, AM_MEDIA_TYPE** chosen) {
  GUID subtype;
  long width = 0, height = 0;
  if (!parseFormatName(format.name, &subtype, &width, &height)) return E_INVALIDARG;
  int count = 0, size = 0;
  HRESULT hr = streamConfig_->GetNumberOfCapabilities(&count, &size);
  if (FAILED(hr)) return hr;
  VIDEO_STREAM_CONFIG_CAPS caps;
  if (size > static_cast<int>(sizeof(caps))) return E_UNEXPECTED;
  for (int i = 0; i < count; ++i) {
    AM_MEDIA_TYPE* type = nullptr;
    if (FAILED(streamConfig_->GetStreamCaps(i, &type, reinterpret_cast<BYTE*>(&caps)))) continue;
    if (isFormat(*type, subtype, width, height)) {
      reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat)->AvgTimePerFrame = format.interval;
      *chosen = type;
      return streamConfig_->SetFormat(type);
    }
    deleteMediaType(type);
  }
  return VFW_E_TYPE_NOT_ACCEPTED;
}

// The grabber takes the pin's format itself; a compressed one (MJPG) is
// decoded in front of it to RGB24, as kivo does.
HRESULT HandBuiltCapture::addGrabber(const AM_MEDIA_TYPE& type, ISampleGrabberCB* callback) {
  HRESULT hr = grabberFilter_.CoCreateInstance(CLSID_SampleGrabber);
  if (SUCCEEDED(hr)) hr = grabberFilter_.QueryInterface(&grabber_);
  if (FAILED(hr)) return hr;
  AM_MEDIA_TYPE rgb = {};
  rgb.majortype = MEDIATYPE_Video;
  rgb.subtype = MEDIASUBTYPE_RGB24;
  const bool compressed = type.subtype == MEDIASUBTYPE_MJPG;
  hr = grabber_->SetMediaType(compressed ? &rgb : const_cast<AM_MEDIA_TYPE*>(&type));
  if (SUCCEEDED(hr)) hr = grabber_->SetCallback(callback, 0);
  if (SUCCEEDED(hr)) hr = grabber_->SetOneShot(FALSE);
  if (SUCCEEDED(hr)) hr = grabber_->SetBufferSamples(FALSE);
  if (SUCCEEDED(hr)) hr = graph_->AddFilter(grabberFilter_, L"Grabber");
  return hr;
}

HRESULT HandBuiltCapture::build(const CaptureFormat& format, ISampleGrabberCB* callback) {
  if (!device_) return E_UNEXPECTED;
  HRESULT hr = createGraph();
  AM_MEDIA_TYPE* chosen = nullptr;
  if (SUCCEEDED(hr)) hr = selectFormat(format, &chosen);
  if (SUCCEEDED(hr)) hr = addGrabber(*chosen, callback);
  deleteMediaType(chosen);
  if (SUCCEEDED(hr)) hr = sink_.CoCreateInstance(CLSID_NullRenderer);
  if (SUCCEEDED(hr)) hr = graph_->AddFilter(sink_, L"Sink");
  if (SUCCEEDED(hr))
    hr = builder_->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, device_, grabberFilter_,
                                sink_);
  if (SUCCEEDED(hr)) hr = graph_.QueryInterface(&control_);
  return hr;
}

HRESULT HandBuiltCapture::run() { return control_ ? control_->Run() : E_UNEXPECTED; }

}  // namespace kivo::tools
