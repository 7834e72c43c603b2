#pragma once

#include "support/com_fake.h"

#include <kivo/platform.h>

#include <vector>

namespace kivo::test {

// Hands out a fixed list of filters, one AddRef'd reference at a time;
// S_FALSE after the last.
class ListEnumFilters : public ComFake<IEnumFilters> {
 public:
  explicit ListEnumFilters(std::vector<IBaseFilter*> filters) : filters_(std::move(filters)) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG count, IBaseFilter** out, ULONG* fetched) override {
    if (count != 1 || !out) return E_INVALIDARG;
    if (fetched) *fetched = 0;
    *out = nullptr;
    if (next_ >= filters_.size()) return S_FALSE;
    *out = filters_[next_++];
    if (*out) (*out)->AddRef();
    if (fetched) *fetched = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reset() override {
    next_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumFilters**) override { return E_NOTIMPL; }

 private:
  std::vector<IBaseFilter*> filters_;
  size_t next_ = 0;
};

}  // namespace kivo::test
