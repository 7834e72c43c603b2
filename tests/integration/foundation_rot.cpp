// A graph entered with ROTRegister is in the Running Object Table under the
// name graph inspection tools look for, and is gone once it is removed.

#include <kivo/rot_register.h>

#include "support/running_objects.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>

namespace kivo {
namespace {

// How many entries of the table are named `name`.
size_t countRunning(const std::wstring& name) {
  const std::vector<std::wstring> names = test::runningObjectNames();
  return static_cast<size_t>(std::count(names.begin(), names.end(), name));
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
