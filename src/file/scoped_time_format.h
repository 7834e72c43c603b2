#pragma once

#include <kivo/comptr.h>
#include <kivo/platform.h>

namespace kivo {

// Switches a graph's seeking interface to one time format for the lifetime
// of the object and back to the format it had afterwards, on every path.
// Whatever cannot be switched is reported by throwing E.
template <class E>
class TScopedTimeFormat {
 public:
  TScopedTimeFormat(CComPtr<IMediaSeeking>& seeking, const GUID& format)
      : seeking(seeking), savedFormat(GUID_NULL) {
    if (!this->seeking) throw E();
    if (FAILED(this->seeking->GetTimeFormat(&savedFormat))) throw E();
    if (FAILED(this->seeking->SetTimeFormat(&format))) throw E();
  }

  virtual ~TScopedTimeFormat() {
    if (seeking) seeking->SetTimeFormat(&savedFormat);
  }

  TScopedTimeFormat(const TScopedTimeFormat&) = delete;
  TScopedTimeFormat& operator=(const TScopedTimeFormat&) = delete;

 private:
  CComPtr<IMediaSeeking> seeking;
  GUID savedFormat;
};

}  // namespace kivo
