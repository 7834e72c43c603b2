#pragma once

// IBaseFilter written once for the Test Camera's filters, as the platform's
// base classes write it (CBaseFilter): each filter fills in only what
// differs.

#include <kivo/comptr.h>
#include <kivo/platform.h>

#include <cstring>
#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

#include "com_object.h"
#include "enumerators.h"

namespace testcam {

// A filter with the interfaces IBaseFilter and `Extra`. A filter names its
// pins; by default it only keeps its state and its clock, and one that
// streams overrides Stop, Pause, Run and GetState.
template <class... Extra>
class FilterBase : public RefCounted<IBaseFilter, Extra...> {
 public:
  STDMETHODIMP GetClassID(CLSID* clsid) override {
    if (!clsid) return E_POINTER;
    *clsid = clsid_;
    return S_OK;
  }
  STDMETHODIMP Stop() override { return enter(State_Stopped); }
  STDMETHODIMP Pause() override { return enter(State_Paused); }
  STDMETHODIMP Run(REFERENCE_TIME) override { return enter(State_Running); }
  STDMETHODIMP GetState(DWORD, FILTER_STATE* state) override {
    if (!state) return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    *state = state_;
    return S_OK;
  }
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    clock_ = clock;
    return S_OK;
  }
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override {
    if (!clock) return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return clock_.CopyTo(clock);
  }
  STDMETHODIMP EnumPins(IEnumPins** result) override { return createPinEnum(pins(), result); }
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override {
    if (!id || !pin) return E_POINTER;
    *pin = nullptr;
    for (IPin* candidate : pins()) {
      LPWSTR candidateId = nullptr;
      const bool found =
          SUCCEEDED(candidate->QueryId(&candidateId)) && !std::wcscmp(candidateId, id);
      CoTaskMemFree(candidateId);
      if (found) {
        *pin = candidate;
        candidate->AddRef();
        return S_OK;
      }
    }
    return VFW_E_NOT_FOUND;
  }
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override {
    if (!info) return E_POINTER;
    std::lock_guard<std::mutex> guard(graphLock_);
    std::memset(info, 0, sizeof(*info));
    std::wcsncpy(info->achName, name_.c_str(), MAX_FILTER_NAME - 1);
    info->pGraph = graph_;
    if (graph_) graph_->AddRef();
    return S_OK;
  }
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override {
    std::lock_guard<std::mutex> guard(graphLock_);
    // The graph holds the filter; the filter only points back at it.
    graph_ = graph;
    name_ = name ? name : L"";
    return S_OK;
  }
  STDMETHODIMP QueryVendorInfo(LPWSTR* info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }

 protected:
  explicit FilterBase(const CLSID& clsid) : clsid_(clsid) {}

  // The filter's pins, in the order EnumPins lists them.
  virtual std::vector<IPin*> pins() = 0;

  void* interfaceFor(REFIID iid) override {
    // IBaseFilter derives from IMediaFilter, which derives from IPersist.
    if (iid == IID_IPersist || iid == IID_IMediaFilter) return static_cast<IBaseFilter*>(this);
    return RefCounted<IBaseFilter, Extra...>::interfaceFor(iid);
  }

  std::recursive_mutex lock_;  // the state, the clock and what a filter adds
  FILTER_STATE state_ = State_Stopped;
  CComPtr<IReferenceClock> clock_;
  std::mutex graphLock_;
  IFilterGraph* graph_ = nullptr;  // weak: the graph owns its filters

 private:
  HRESULT enter(FILTER_STATE state) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    state_ = state;
    return S_OK;
  }

  const CLSID clsid_;
  std::wstring name_;
};

}  // namespace testcam
