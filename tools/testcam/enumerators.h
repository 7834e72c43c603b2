#pragma once

// Enumerators over a snapshot of a filter's pins or of a pin's media types,
// as IBaseFilter::EnumPins and IPin::EnumMediaTypes hand them out.

#include <kivo/mediatype.h>
#include <kivo/platform.h>

#include <vector>

namespace testcam {

// The enumerator holds a reference on each pin, and so on the pins' filter.
HRESULT createPinEnum(const std::vector<IPin*>& pins, IEnumPins** result);
// Each type handed out is a copy the caller deletes.
HRESULT createMediaTypeEnum(const std::vector<kivo::CMediaType>& types, IEnumMediaTypes** result);

}  // namespace testcam
