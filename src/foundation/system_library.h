#pragma once

// Functions of the platform's DLLs that only a few calls need, reached on
// first use instead of linked at load time: a host that never asks for an
// error text, a message box or the DirectX version does not pay for loading
// their DLLs when it starts.

#include <kivo/platform.h>

namespace kivo {

// The address of `name` in the DLL `library` of the system folder, which is
// loaded on the first call and stays loaded; null when either is missing.
// Only the system folder is searched, so a DLL of the same name placed
// beside the host can never answer.
FARPROC systemFunction(const wchar_t* library, const char* name);

// The same, as the function's own type.
template <class Function>
Function systemFunctionOf(const wchar_t* library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(systemFunction(library, name)));
}

}  // namespace kivo
