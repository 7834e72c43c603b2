#pragma once

#include "support/com_fake.h"

#include <vector>

namespace kivo::test {

// An enumerator over a fixed list (of filters, pins, monikers...), handed out one AddRef'd
// reference at a time; S_FALSE after the last. walk() gives it a new list from the start.
template <class Enum, class Item>
class ListEnum : public ComFake<Enum> {
 public:
  explicit ListEnum(std::vector<Item*> items = {}) : items_(std::move(items)) {}
  void walk(std::vector<Item*> items) { items_ = std::move(items), next_ = 0; }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, Item** out, ULONG* fetched) override {
    if (count != 1 || !out) return E_INVALIDARG;
    if (fetched) *fetched = 0;
    *out = nullptr;
    if (next_ >= items_.size()) return S_FALSE;
    *out = items_[next_++];
    if (*out) (*out)->AddRef();
    if (fetched) *fetched = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reset() override { return next_ = 0, S_OK; }
  HRESULT STDMETHODCALLTYPE Clone(Enum**) override { return E_NOTIMPL; }

 private:
  std::vector<Item*> items_;
  size_t next_ = 0;
};

using ListEnumFilters = ListEnum<IEnumFilters, IBaseFilter>;

}  // namespace kivo::test
