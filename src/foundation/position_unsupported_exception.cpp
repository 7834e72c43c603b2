#include <kivo/position_unsupported_exception.h>

namespace kivo {

PositionUnsupportedException::PositionUnsupportedException() : HRException(E_FAIL, "") {
  message = "The position of this media file cannot be determined.";
}

PositionUnsupportedException::~PositionUnsupportedException() = default;

}  // namespace kivo
