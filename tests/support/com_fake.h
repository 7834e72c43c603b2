#pragma once

// Counted COM fakes: a fake starts with no reference and is owned by the test; one destroyed
// with references left, or released more often than referenced, fails the test.

#include <kivo/platform.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <tuple>

// The specifiers of a mocked COM method: MOCK_METHOD(HRESULT, Stop, (), COM_OVERRIDE).
#define COM_OVERRIDE (Calltype(STDMETHODCALLTYPE), override)

namespace kivo::test {

struct GuidLess {
  bool operator()(const GUID& a, const GUID& b) const { return memcmp(&a, &b, sizeof(GUID)) < 0; }
};

template <class... Interfaces>
class ComFake : public Interfaces... {
 public:
  using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;

  ComFake() = default;
  ComFake(const ComFake&) = delete;
  ComFake& operator=(const ComFake&) = delete;

  virtual ~ComFake() {
    EXPECT_EQ(refs_, 0) << "a fake " << typeid(*this).name() << " still has references";
    EXPECT_FALSE(overReleased_) << "a fake " << typeid(*this).name()
                                << " was released more often than referenced";
  }

  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }

  ULONG STDMETHODCALLTYPE Release() override {
    if (refs_ == 0) {
      overReleased_ = true;
      return 0;
    }
    return static_cast<ULONG>(--refs_);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (auto refused = refused_.find(iid); refused != refused_.end()) return refused->second;
    if (auto other = others_.find(iid); other != others_.end()) {
      other->second->AddRef();
      return *out = other->second, S_OK;
    }
    void* self = findOwn(iid);
    if (!self) return E_NOINTERFACE;
    AddRef();
    return *out = self, S_OK;
  }

  // QueryInterface for iid answers status (a failure) from now on.
  void refuse(REFIID iid, HRESULT status = E_NOINTERFACE) { refused_[iid] = status; }
  // QueryInterface for iid hands out another object (an aggregate's part).
  void answer(REFIID iid, IUnknown* other) { others_[iid] = other; }

  long refs() const { return refs_; }
  First* self() { return static_cast<First*>(this); }

 private:
  void* findOwn(REFIID iid) {
    if (iid == IID_IUnknown) return static_cast<IUnknown*>(static_cast<First*>(this));
    void* found = nullptr;
    ((found = (found || iid != __uuidof(Interfaces)) ? found : static_cast<Interfaces*>(this)),
     ...);
    return found;
  }

  long refs_ = 0;
  bool overReleased_ = false;
  std::map<GUID, HRESULT, GuidLess> refused_;
  std::map<GUID, IUnknown*, GuidLess> others_;
};

// gmock action: hands out `object`, one reference added, through out-parameter N; returns status.
template <size_t N, class T>
auto HandOut(T* object, HRESULT status = S_OK) {
  return [object, status](auto&&... args) -> HRESULT {
    auto out = std::get<N>(std::forward_as_tuple(args...));
    if (object) object->AddRef();
    *out = object;
    return status;
  };
}

}  // namespace kivo::test
