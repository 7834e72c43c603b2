#include <kivo/platform.h>

// kivo starts no thread and keeps no per-thread state, so the loader need
// not call in for every thread the host or DirectShow starts.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(module);
  return TRUE;
}
