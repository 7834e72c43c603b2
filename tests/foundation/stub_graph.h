#pragma once

// A counted IGraphBuilder for the foundation tests; only EnumFilters is
// scriptable, everything else is refused.

#include "support/com_fake.h"

#include <vector>

namespace kivo::test {

class StubGraph : public ComFake<IGraphBuilder> {
 public:
  MOCK_METHOD(HRESULT, EnumFilters, (IEnumFilters**), (Calltype(STDMETHODCALLTYPE), override));

  HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter*, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Reconnect(IPin*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Disconnect(IPin*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Connect(IPin*, IPin*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Render(IPin*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RenderFile(LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AddSourceFilter(LPCWSTR, LPCWSTR, IBaseFilter**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetLogFile(DWORD_PTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Abort() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ShouldOperationContinue() override { return E_NOTIMPL; }
};

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
