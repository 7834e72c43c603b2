#pragma once

#include <kivo/platform.h>

#include <cassert>
#include <memory>

namespace kivo {

// A counted reference to a COM interface: it adds a reference when it takes
// a pointer and releases it when it lets go, with the operations of ATL's
// class of the same name that kivo uses. It lives in namespace kivo so that
// it never clashes with ATL in a host that has it.
template <class T>
class CComPtr {
 public:
  T* p;

  CComPtr() noexcept : p(nullptr) {}
  CComPtr(decltype(nullptr)) noexcept : p(nullptr) {}
  CComPtr(T* other) noexcept : p(other) {
    if (p) p->AddRef();
  }
  CComPtr(const CComPtr& other) noexcept : CComPtr(other.p) {}
  CComPtr(CComPtr&& other) noexcept : p(other.p) { other.p = nullptr; }
  ~CComPtr() {
    if (p) p->Release();
  }

  CComPtr& operator=(T* other) noexcept {
    if (other != p) {
      // Add before releasing: the old pointer may hold the last reference
      // to the new one.
      if (other) other->AddRef();
      T* old = p;
      p = other;
      if (old) old->Release();
    }
    return *this;
  }
  CComPtr& operator=(const CComPtr& other) noexcept { return *this = other.p; }
  CComPtr& operator=(CComPtr&& other) noexcept {
    // operator& is overloaded for out-parameters: take addresses plainly.
    if (this != std::addressof(other)) {
      T* old = p;
      p = other.p;
      other.p = nullptr;
      if (old) old->Release();
    }
    return *this;
  }
  CComPtr& operator=(decltype(nullptr)) noexcept {
    Release();
    return *this;
  }

  operator T*() const noexcept { return p; }
  T& operator*() const noexcept { return *p; }
  T* operator->() const noexcept { return p; }
  bool operator!() const noexcept { return p == nullptr; }
  bool operator==(decltype(nullptr)) const noexcept { return p == nullptr; }
  bool operator!=(decltype(nullptr)) const noexcept { return p != nullptr; }
  bool operator==(T* other) const noexcept { return p == other; }
  bool operator!=(T* other) const noexcept { return p != other; }

  // The address of the raw pointer, for out-parameters. The reference must
  // be empty: the callee overwrites the pointer, and whatever it held would
  // leak. Debug builds stop here, as ATL's class does.
  T** operator&() noexcept {
    assert(p == nullptr && "CComPtr: out-parameter on a pointer that holds a reference");
    return &p;
  }

  // Drops the reference held (if any).
  void Release() noexcept {
    T* old = p;
    if (old) {
      p = nullptr;
      old->Release();
    }
  }

  // Takes over a pointer whose reference the caller already owns.
  void Attach(T* other) noexcept {
    if (p) p->Release();
    p = other;
  }

  // Hands the reference held to the caller without releasing it.
  T* Detach() noexcept {
    T* result = p;
    p = nullptr;
    return result;
  }

  // Gives the caller its own reference.
  HRESULT CopyTo(T** target) const noexcept {
    if (!target) return E_POINTER;
    *target = p;
    if (p) p->AddRef();
    return S_OK;
  }

  // A typed query: the interface asked for is the type of `target`.
  template <class Q>
  HRESULT QueryInterface(Q** target) const noexcept {
    if (!target) return E_POINTER;
    if (!p) {
      *target = nullptr;
      return E_POINTER;
    }
    return p->QueryInterface(IID_PPV_ARGS(target));
  }

  HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer = nullptr,
                           DWORD context = CLSCTX_ALL) noexcept {
    Release();
    return ::CoCreateInstance(clsid, outer, context, IID_PPV_ARGS(&p));
  }

  // Whether both point at the same COM object (compared by IUnknown).
  bool IsEqualObject(IUnknown* other) const noexcept {
    if (!p && !other) return true;
    if (!p || !other) return false;
    IUnknown* mine = nullptr;
    IUnknown* theirs = nullptr;
    p->QueryInterface(IID_PPV_ARGS(&mine));
    other->QueryInterface(IID_PPV_ARGS(&theirs));
    const bool same = mine == theirs;
    if (mine) mine->Release();
    if (theirs) theirs->Release();
    return same;
  }
};

}  // namespace kivo
