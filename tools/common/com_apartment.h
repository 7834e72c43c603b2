#pragma once

// COM for a tool's one thread, for its whole run: the multithreaded
// apartment, which kivo's graphs and their streaming threads share.

#include <windows.h>
#include <objbase.h>

namespace kivo::tools {

class ComApartment {
 public:
  ComApartment() : status_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(status_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

  HRESULT status() const { return status_; }

 private:
  HRESULT status_;
};

}  // namespace kivo::tools
