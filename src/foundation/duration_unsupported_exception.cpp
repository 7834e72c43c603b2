#include <kivo/duration_unsupported_exception.h>

namespace kivo {

DurationUnsupportedException::DurationUnsupportedException() : HRException(E_FAIL, "") {
  message = "The duration of this media file cannot be determined.";
}

DurationUnsupportedException::~DurationUnsupportedException() = default;

}  // namespace kivo
