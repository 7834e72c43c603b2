// kivo-load-probe: how long LoadLibraryW(L"kivo.dll") takes in a fresh
// process that has loaded nothing else yet, and which modules it brings in,
// for kivo-bench's "open" section. It does not import kivo.dll (nor COM):
// before the call the process holds only what every program holds.
//
// Prints one line: "main=Q before=Q after=Q modules_before=a,b loaded=c,d"
// (Q: QueryPerformanceCounter at the top of main, before and after the
// call); exit status 0, 1 when kivo.dll did not load.

#include <windows.h>

#include "open_host.h"

#include <algorithm>
#include <cstdio>

int wmain() {
  const long long mainCounter = kivo::bench::counterNow();
  const std::vector<std::string> before = kivo::bench::loadedModules();
  const long long callCounter = kivo::bench::counterNow();
  HMODULE kivo = LoadLibraryW(L"kivo.dll");
  const long long returnCounter = kivo::bench::counterNow();
  if (!kivo) {
    std::printf("error=load:%lu\n", GetLastError());
    return 1;
  }
  std::vector<std::string> loaded;
  for (const std::string& name : kivo::bench::loadedModules()) {
    if (std::find(before.begin(), before.end(), name) == before.end()) loaded.push_back(name);
  }
  std::printf("main=%lld before=%lld after=%lld modules_before=%s loaded=%s\n", mainCounter,
              callCounter, returnCounter, kivo::bench::joined(before).c_str(),
              kivo::bench::joined(loaded).c_str());
  FreeLibrary(kivo);
  return 0;
}
