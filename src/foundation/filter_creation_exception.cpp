#include <kivo/filter_creation_exception.h>

namespace kivo {

FilterCreationException::FilterCreationException(long hr)
    : HRException(hr, "kivo:filtercreationfailed") {}

FilterCreationException::~FilterCreationException() = default;

}  // namespace kivo
