#pragma once

#include <kivo/comptr.h>

#include <string>
#include <vector>

namespace kivo::test {

// The display names of every entry in the Running Object Table.
inline std::vector<std::wstring> runningObjectNames() {
  std::vector<std::wstring> names;
  CComPtr<IRunningObjectTable> table;
  CComPtr<IEnumMoniker> monikers;
  CComPtr<IBindCtx> context;
  if (FAILED(GetRunningObjectTable(0, &table)) || FAILED(table->EnumRunning(&monikers)) ||
      !monikers || FAILED(CreateBindCtx(0, &context)))
    return names;
  CComPtr<IMoniker> moniker;
  while (monikers->Next(1, &moniker, nullptr) == S_OK) {
    LPOLESTR display = nullptr;
    if (SUCCEEDED(moniker->GetDisplayName(context, nullptr, &display)) && display) {
      names.push_back(display);
      CoTaskMemFree(display);
    }
    moniker.Release();
  }
  return names;
}

}  // namespace kivo::test
