// A graph entered with ROTRegister is in the Running Object Table under the
// name graph inspection tools look for, and is gone once it is removed.

#include <kivo/rot_register.h>

#include "support/wait.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace kivo {
namespace {

// How many entries of the table are named `name`.
size_t countRunning(const std::wstring& name) {
  size_t count = 0;
  CComPtr<IRunningObjectTable> table;
  CComPtr<IEnumMoniker> monikers;
  CComPtr<IBindCtx> context;
  if (FAILED(GetRunningObjectTable(0, &table)) || FAILED(table->EnumRunning(&monikers)) ||
      !monikers || FAILED(CreateBindCtx(0, &context)))
    return 0;
  CComPtr<IMoniker> moniker;
  while (monikers->Next(1, &moniker, nullptr) == S_OK) {
    LPOLESTR display = nullptr;
    if (SUCCEEDED(moniker->GetDisplayName(context, nullptr, &display)) && display) {
      if (name == display) ++count;
      CoTaskMemFree(display);
    }
    moniker.Release();
  }
  return count;
}

std::wstring entryName(IGraphBuilder* graph) {
  wchar_t name[64];
  std::swprintf(name, 64, L"!FilterGraph %08x pid %08x",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(graph) & 0xffffffffu),
                static_cast<unsigned>(GetCurrentProcessId()));
  return name;
}

TEST(ROTOnWine, GraphIsListedWhileRegisteredAndCanBeEnteredAgain) {
  test::ComScope com;
  CComPtr<IGraphBuilder> graph;
  ASSERT_EQ(graph.CoCreateInstance(CLSID_FilterGraph), S_OK);
  const std::wstring name = entryName(graph);
  {
    ROTRegister rot(graph);
    ASSERT_EQ(rot.addgraph(), S_OK);
    EXPECT_EQ(rot.addgraph(), S_OK);  // nothing new
    EXPECT_EQ(countRunning(name), 1u);
    rot.removegraph();
    EXPECT_EQ(countRunning(name), 0u);
    rot.removegraph();
    ASSERT_EQ(rot.addgraph(), S_OK);
    EXPECT_EQ(countRunning(name), 1u);
  }
  EXPECT_EQ(countRunning(name), 0u);  // destruction removes it

  // The registration holds the graph until it is revoked.
  IGraphBuilder* raw = graph.p;
  raw->AddRef();
  {
    ROTRegister rot(graph);
    ASSERT_EQ(rot.addgraph(), S_OK);
    graph.Release();
    const ULONG held = raw->AddRef() - 1;  // ours, the registration's, the table's
    raw->Release();
    EXPECT_GE(held, 3u);
  }
  EXPECT_EQ(raw->Release(), 0u);

  CComPtr<IGraphBuilder> empty;
  EXPECT_EQ(ROTRegister(empty).addgraph(), E_POINTER);
}

}  // namespace
}  // namespace kivo
