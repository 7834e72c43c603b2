#pragma once

#include "support/com_fake.h"

#include <vector>

namespace kivo::test {

// An enumerator over a fixed list of monikers, handed out one AddRef'd
// reference at a time; S_FALSE after the last.
class ListEnumMoniker : public ComFake<IEnumMoniker> {
 public:
  explicit ListEnumMoniker(std::vector<IMoniker*> monikers) : monikers_(std::move(monikers)) {}
  int resets() const { return resets_; }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, IMoniker** out, ULONG* fetched) override {
    if (count != 1 || !out) return E_INVALIDARG;
    if (fetched) *fetched = 0;
    *out = nullptr;
    if (next_ >= monikers_.size()) return S_FALSE;
    *out = monikers_[next_++];
    (*out)->AddRef();
    if (fetched) *fetched = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reset() override {
    ++resets_;
    next_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumMoniker**) override { return E_NOTIMPL; }

 private:
  std::vector<IMoniker*> monikers_;
  size_t next_ = 0;
  int resets_ = 0;
};

}  // namespace kivo::test
