#include <kivo/rot_register.h>

namespace kivo {

ROTRegister::ROTRegister(CComPtr<IGraphBuilder>& graph)
    : registrationKey(0), registered(false), graph(graph) {}

ROTRegister::~ROTRegister() { removegraph(); }

std::wstring ROTRegister::itemName(const void* graph, DWORD processId) {
  // Only the low half of a 64-bit address fits the conventional name.
  const DWORD lowAddress = static_cast<DWORD>(reinterpret_cast<DWORD_PTR>(graph));
  WCHAR name[64];
  wsprintfW(name, L"FilterGraph %08x pid %08x", lowAddress, processId);
  return name;
}

long ROTRegister::addgraph() {
  if (registered) return S_OK;
  if (!graph) return E_POINTER;
  CComPtr<IRunningObjectTable> table;
  if (FAILED(GetRunningObjectTable(0, &table)) || !table) return E_FAIL;
  CComPtr<IMoniker> moniker;
  const std::wstring name = itemName(graph.p, GetCurrentProcessId());
  HRESULT hr = CreateItemMoniker(L"!", name.c_str(), &moniker);
  if (FAILED(hr)) return hr;
  hr = table->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, graph, moniker, &registrationKey);
  if (SUCCEEDED(hr)) registered = true;
  return hr;
}

void ROTRegister::removegraph() {
  if (!registered) return;
  CComPtr<IRunningObjectTable> table;
  if (FAILED(GetRunningObjectTable(0, &table)) || !table) return;
  table->Revoke(registrationKey);
  registered = false;
}

}  // namespace kivo
