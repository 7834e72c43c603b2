/* load_module PATH EXPORT: loads the DLL at PATH and looks EXPORT up in it.
   Exit 0 when both worked, 1 otherwise. */
#include <windows.h>

#include <stdio.h>

int wmain(int argc, wchar_t** argv) {
  HMODULE module;
  char name[128];
  if (argc != 3) return 2;
  module = LoadLibraryW(argv[1]);
  if (!module) {
    fprintf(stderr, "cannot load %ls: error %lu\n", argv[1], GetLastError());
    return 1;
  }
  WideCharToMultiByte(CP_ACP, 0, argv[2], -1, name, sizeof name, NULL, NULL);
  if (!GetProcAddress(module, name)) {
    fprintf(stderr, "%ls has no export %s\n", argv[1], name);
    return 1;
  }
  printf("loaded %ls, found %s\n", argv[1], name);
  FreeLibrary(module);
  return 0;
}
