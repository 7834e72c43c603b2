#pragma once

// A small counted IBaseFilter for the foundation and filter tests: it
// answers QueryFilterInfo with a name (or a failure) and nothing else.

#include "support/com_fake.h"

#include <string>

namespace kivo::test {

class StubFilter : public ComFake<IBaseFilter> {
 public:
  explicit StubFilter(std::wstring name = L"") : name_(std::move(name)) {}

  // QueryFilterInfo fails with `status` from now on.
  void failInfo(HRESULT status) { infoStatus_ = status; }
  // QueryFilterInfo reports this graph (with a reference, as filters do).
  void joinGraph(IFilterGraph* graph) { graph_ = graph; }

  HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override {
    if (!info) return E_POINTER;
    if (FAILED(infoStatus_)) return infoStatus_;
    lstrcpynW(info->achName, name_.c_str(), MAX_FILTER_NAME);
    info->pGraph = graph_;
    if (graph_) graph_->AddRef();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stop() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Pause() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR, IPin**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph*, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

 private:
  std::wstring name_;
  HRESULT infoStatus_ = S_OK;
  IFilterGraph* graph_ = nullptr;
};

}  // namespace kivo::test
