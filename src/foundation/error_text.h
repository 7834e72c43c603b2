#pragma once

#include <kivo/platform.h>

namespace kivo {
namespace detail {

// The platform's error-text lookup the exceptions take their message from:
// AMGetErrorTextA unless a unit test puts another in its place.
using ErrorTextFunction = DWORD(WINAPI*)(HRESULT hr, LPSTR buffer, DWORD capacity);
extern ErrorTextFunction errorText;

}  // namespace detail
}  // namespace kivo
