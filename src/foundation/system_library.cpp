#include "foundation/system_library.h"

namespace kivo {

FARPROC systemFunction(const wchar_t* library, const char* name) {
  // Never freed: the functions handed out stay callable for the life of the
  // process. Callers keep what they get, so each DLL is counted once per
  // function.
  HMODULE module = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  return module ? GetProcAddress(module, name) : nullptr;
}

}  // namespace kivo
