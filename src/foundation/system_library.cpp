#include "foundation/system_library.h"

#include <string>

namespace kivo {

FARPROC systemFunction(const wchar_t* library, const char* name) {
  // Never freed: the functions handed out stay callable for the life of the
  // process. Callers keep what they get, so each DLL is counted once per
  // function.
  HMODULE module = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Windows 7 without its loader update refuses the search flag: the DLL is
  // then named by its full path in the system folder, which is as safe.
  if (!module && GetLastError() == ERROR_INVALID_PARAMETER) {
    std::wstring path(MAX_PATH, L'\0');
    const UINT length = GetSystemDirectoryW(&path[0], MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      path.resize(length);
      path += L'\\';
      path += library;
      module = LoadLibraryW(path.c_str());
    }
  }
  return module ? GetProcAddress(module, name) : nullptr;
}

}  // namespace kivo
