#pragma once

#include <kivo/platform.h>

struct IDxDiagProvider;

namespace kivo {
namespace detail {

// The platform services the DirectX version query reads. The defaults are
// the real ones; unit tests put fakes in their place to drive every rule.
struct DxVersionSources {
  // GetSystemDirectoryA's contract: the length written, 0 on failure, more
  // than `capacity` when the buffer is too small.
  UINT(WINAPI* systemDirectory)(LPSTR buffer, UINT capacity);
  // The fixed file version of `path` (a.b in `mostSignificant`, c.d in
  // `leastSignificant`); false when the file is missing or has no version
  // information.
  bool (*fileVersion)(const char* path, DWORD* mostSignificant, DWORD* leastSignificant);
  // Creates the DxDiag provider.
  HRESULT (*createDxDiagProvider)(IDxDiagProvider** provider);
};

extern DxVersionSources dxVersionSources;

}  // namespace detail
}  // namespace kivo
