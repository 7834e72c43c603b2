#include <kivo/video_inputs.h>

#include "capture/input_router.h"

#include <iterator>
#include <new>

namespace kivo {

namespace {

// Whether a pin is an analog video input, by the category it reports.
bool isAnalogVideoInput(const CComPtr<IPin>& pin) {
  CComPtr<IKsPropertySet> properties;
  if (pin.QueryInterface(&properties) != S_OK || !properties) return false;
  GUID category = GUID_NULL;
  DWORD returned = 0;
  const HRESULT hr = properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0,
                                     &category, sizeof(category), &returned);
  return hr == S_OK && IsEqualGUID(category, PIN_CATEGORY_ANALOGVIDEOIN);
}

}  // namespace

VideoInputs::VideoInputs(Filter* captureFilter) : router(nullptr) { init(captureFilter); }

VideoInputs::~VideoInputs() { destroy(); }

void VideoInputs::destroy() {
  delete router;
  router = nullptr;
}

void VideoInputs::init(Filter* captureFilter) {
  if (!captureFilter || !captureFilter->getInterface()) return;
  CComPtr<IEnumPins> pins;
  if (FAILED(captureFilter->getInterface()->EnumPins(&pins)) || !pins) return;
  for (;;) {
    CComPtr<IPin> pin;
    ULONG fetched = 0;
    if (pins->Next(1, &pin, &fetched) != S_OK || !pin) break;

    PIN_INFO info = {};
    const HRESULT infoStatus = pin->QueryPinInfo(&info);
    CComPtr<IBaseFilter> owner;
    if (SUCCEEDED(infoStatus)) owner.Attach(info.pFilter);
    if (infoStatus != S_OK) continue;
    if (info.dir != PINDIR_INPUT || !isAnalogVideoInput(pin)) continue;

    // The first analog video input is the one the crossbars feed.
    HRESULT status = S_OK;
    router = new (std::nothrow) CInputRouter(pin, &status);
    if (router && SUCCEEDED(status)) initNames();
    break;
  }
}

void VideoInputs::initNames() {
  long count = 0;
  if (!router || FAILED(router->getPathCount(&count))) return;
  // Equal names keep their ascending index order.
  std::multimap<std::string, long> names;
  for (long index = 0; index < count; ++index) {
    char buffer[256];
    if (SUCCEEDED(router->getPathName(index, buffer, sizeof(buffer)))) names.emplace(buffer, index);
  }
  for (auto group = names.begin(); group != names.end();) {
    const auto end = names.upper_bound(group->first);
    if (std::next(group) == end) {
      inputs.emplace(group->first, group->second);
    } else {
      int number = 1;
      for (auto entry = group; entry != end; ++entry)
        inputs.emplace(entry->first + std::to_string(number++), entry->second);
    }
    group = end;
  }
}

const std::map<std::string, long>& VideoInputs::getInputs() const { return inputs; }

size_t VideoInputs::getNumberOfInputs() const { return inputs.size(); }

int VideoInputs::getSelectedInput() const {
  long current = -1;
  if (!router || FAILED(router->getCurrentPath(&current))) return -1;
  return static_cast<int>(current);
}

long VideoInputs::setSelectedInput(int index) {
  if (!router) return E_POINTER;
  return router->routePath(index);
}

}  // namespace kivo
