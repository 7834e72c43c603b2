#include <kivo/rot_register.h>

#include "foundation/replaceable.h"

#include <cwchar>

namespace kivo {

ROTRegister::ROTRegister(CComPtr<IGraphBuilder>& graph)
    : registrationKey(0), registered(false), graph(graph) {}

ROTRegister::~ROTRegister() { removegraph(); }

std::wstring ROTRegister::itemName(const void* graph, DWORD processId) {
  // Only the low half of a 64-bit address fits the conventional name.
  const DWORD lowAddress = static_cast<DWORD>(reinterpret_cast<DWORD_PTR>(graph));
  // "FilterGraph " + 8 digits + " pid " + 8 digits + NUL fits easily.
  WCHAR name[64] = {};
  std::swprintf(name, 64, L"FilterGraph %08x pid %08x", static_cast<unsigned>(lowAddress),
                static_cast<unsigned>(processId));
  return name;
}

long ROTRegister::addgraph() {
  if (registered) return S_OK;
  if (!graph) return E_POINTER;
  CComPtr<IRunningObjectTable> table;
  if (FAILED(replaceable::runningObjectTable(0, &table)) || !table) return E_FAIL;
  const std::wstring name = itemName(graph.p, GetCurrentProcessId());
  CComPtr<IMoniker> moniker;
  HRESULT hr = CreateItemMoniker(L"!", name.c_str(), &moniker);
  if (FAILED(hr)) return hr;
  if (!moniker) return E_FAIL;
  DWORD key = 0;
  hr = table->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, graph, moniker, &key);
  if (SUCCEEDED(hr)) {
    registrationKey = key;
    registered = true;
  }
  return hr;
}

void ROTRegister::removegraph() {
  if (!registered) return;
  CComPtr<IRunningObjectTable> table;
  // Without the table the entry cannot be revoked; it stays registered so
  // that a later call can try again.
  if (FAILED(replaceable::runningObjectTable(0, &table)) || !table) return;
  table->Revoke(registrationKey);
  registered = false;
}

}  // namespace kivo
