#include "enumerators.h"

#include <kivo/comptr.h>

#include <new>

#include "com_object.h"

namespace testcam {

namespace {

// Hands out one item: a counted reference to a pin, or a copy of a type.
bool handOut(const kivo::CComPtr<IPin>& pin, IPin** out) {
  pin.CopyTo(out);
  return true;
}

bool handOut(const kivo::CMediaType& type, AM_MEDIA_TYPE** out) {
  *out = kivo::CreateMediaType(&type);
  return *out != nullptr;
}

// IEnumPins or IEnumMediaTypes over a snapshot of `Item`s, handed out as
// `Out`s; a clone continues from the same position.
template <class Interface, class Item, class Out>
class SnapshotEnum final : public RefCounted<Interface> {
 public:
  SnapshotEnum(std::vector<Item> items, size_t position)
      : items_(std::move(items)), position_(position) {}

  STDMETHODIMP Next(ULONG count, Out* items, ULONG* fetched) override {
    if (!items) return E_POINTER;
    if (count > 1 && !fetched) return E_INVALIDARG;
    ULONG n = 0;
    while (n < count && position_ < items_.size() && handOut(items_[position_], &items[n])) {
      ++position_;
      ++n;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    if (position_ + count > items_.size()) {
      position_ = items_.size();
      return S_FALSE;
    }
    position_ += count;
    return S_OK;
  }
  STDMETHODIMP Reset() override {
    position_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(Interface** result) override {
    if (!result) return E_POINTER;
    *result = new (std::nothrow) SnapshotEnum(items_, position_);
    return *result ? S_OK : E_OUTOFMEMORY;
  }

 private:
  std::vector<Item> items_;
  size_t position_;
};

using PinEnum = SnapshotEnum<IEnumPins, kivo::CComPtr<IPin>, IPin*>;
using MediaTypeEnum = SnapshotEnum<IEnumMediaTypes, kivo::CMediaType, AM_MEDIA_TYPE*>;

}  // namespace

HRESULT createPinEnum(const std::vector<IPin*>& pins, IEnumPins** result) {
  if (!result) return E_POINTER;
  *result =
      new (std::nothrow) PinEnum(std::vector<kivo::CComPtr<IPin>>(pins.begin(), pins.end()), 0);
  return *result ? S_OK : E_OUTOFMEMORY;
}

HRESULT createMediaTypeEnum(const std::vector<kivo::CMediaType>& types, IEnumMediaTypes** result) {
  if (!result) return E_POINTER;
  *result = new (std::nothrow) MediaTypeEnum(types, 0);
  return *result ? S_OK : E_OUTOFMEMORY;
}

}  // namespace testcam
