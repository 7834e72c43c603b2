#pragma once

// The IUnknown of the Test Camera's COM objects, written once, as the
// platform's base classes write it (CUnknown): an object lists the
// interfaces it implements, and QueryInterface answers from that list.

#include <kivo/comptr.h>
#include <kivo/platform.h>

#include <atomic>

namespace testcam {

using kivo::CComPtr;

// Count of live objects and server locks: the DLL can unload at zero.
void moduleAddRef();
void moduleRelease();
long moduleCount();

// QueryInterface over the interfaces a class derives from; IUnknown is the
// first one's. A class that offers more (a base interface, a part of
// itself) or offers one only for some devices overrides interfaceFor.
// AddRef and Release are the derived class's.
template <class First, class... Rest>
class Implements : public First, public Rest... {
 public:
  virtual ~Implements() = default;

  STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
    if (!result) return E_POINTER;
    *result = iid == IID_IUnknown ? static_cast<First*>(this) : interfaceFor(iid);
    if (!*result) return E_NOINTERFACE;
    static_cast<First*>(this)->AddRef();
    return S_OK;
  }

 protected:
  // The interface `iid` names, or null.
  virtual void* interfaceFor(REFIID iid) { return listed<First, Rest...>(iid); }

 private:
  template <class Interface, class... More>
  void* listed(REFIID iid) {
    if (iid == __uuidof(Interface)) return static_cast<Interface*>(this);
    if constexpr (sizeof...(More) > 0) {
      return listed<More...>(iid);
    } else {
      return nullptr;
    }
  }
};

// An object that lives by its own reference count, from 1 when it is made,
// and keeps the DLL loaded while it lives.
template <class... Interfaces>
class RefCounted : public Implements<Interfaces...> {
 public:
  RefCounted() { moduleAddRef(); }
  RefCounted(const RefCounted&) = delete;
  RefCounted& operator=(const RefCounted&) = delete;

  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ~RefCounted() override { moduleRelease(); }

 private:
  std::atomic<ULONG> refs_{1};
};

}  // namespace testcam
