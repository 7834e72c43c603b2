// A graph entered with ROTRegister is visible in the Running Object Table
// under its conventional name, as an outside graph inspection tool would
// look for it, and is gone once the registration is destroyed.

#include <kivo/rot_register.h>

#include "support/wait.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

namespace kivo {
namespace {

std::vector<std::wstring> runningNames() {
  std::vector<std::wstring> names;
  CComPtr<IRunningObjectTable> table;
  if (FAILED(GetRunningObjectTable(0, &table))) return names;
  CComPtr<IEnumMoniker> monikers;
  if (FAILED(table->EnumRunning(&monikers)) || !monikers) return names;
  CComPtr<IBindCtx> context;
  if (FAILED(CreateBindCtx(0, &context))) return names;
  CComPtr<IMoniker> moniker;
  while (monikers->Next(1, &moniker, nullptr) == S_OK) {
    LPOLESTR name = nullptr;
    if (SUCCEEDED(moniker->GetDisplayName(context, nullptr, &name)) && name) {
      names.push_back(name);
      CoTaskMemFree(name);
    }
    moniker.Release();
  }
  return names;
}

size_t countOf(const std::vector<std::wstring>& names, const std::wstring& name) {
  size_t count = 0;
  for (const std::wstring& n : names)
    if (n == name) ++count;
  return count;
}

std::wstring entryName(IGraphBuilder* graph) {
  wchar_t name[64];
  std::swprintf(name, 64, L"!FilterGraph %08x pid %08x",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(graph) & 0xffffffffu),
                static_cast<unsigned>(GetCurrentProcessId()));
  return name;
}

class ROTOnWine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(com_.status()));
    ASSERT_EQ(graph_.CoCreateInstance(CLSID_FilterGraph), S_OK);
  }

  test::ComScope com_;
  CComPtr<IGraphBuilder> graph_;
};

TEST_F(ROTOnWine, GraphIsListedUnderItsNameWhileRegistered) {
  const std::wstring name = entryName(graph_);
  {
    ROTRegister rot(graph_);
    ASSERT_EQ(rot.addgraph(), S_OK);
    EXPECT_EQ(rot.addgraph(), S_OK);  // nothing new
    const std::vector<std::wstring> names = runningNames();
    EXPECT_EQ(countOf(names, name), 1u) << "not found among " << names.size() << " entries";

    // The table hands out the graph itself under that name.
    CComPtr<IRunningObjectTable> table;
    ASSERT_EQ(GetRunningObjectTable(0, &table), S_OK);
    CComPtr<IMoniker> item;
    ASSERT_EQ(CreateItemMoniker(L"!", name.c_str() + 1, &item), S_OK);
    EXPECT_EQ(table->IsRunning(item), S_OK);
    CComPtr<IUnknown> object;
    ASSERT_EQ(table->GetObject(item, &object), S_OK);
    EXPECT_TRUE(graph_.IsEqualObject(object));
  }
  EXPECT_EQ(countOf(runningNames(), name), 0u);
}

TEST_F(ROTOnWine, RemovegraphTakesItOutAndItCanBeEnteredAgain) {
  const std::wstring name = entryName(graph_);
  ROTRegister rot(graph_);
  ASSERT_EQ(rot.addgraph(), S_OK);
  rot.removegraph();
  EXPECT_EQ(countOf(runningNames(), name), 0u);
  rot.removegraph();
  ASSERT_EQ(rot.addgraph(), S_OK);
  EXPECT_EQ(countOf(runningNames(), name), 1u);
}

TEST_F(ROTOnWine, TwoGraphsGetTwoEntries) {
  CComPtr<IGraphBuilder> other;
  ASSERT_EQ(other.CoCreateInstance(CLSID_FilterGraph), S_OK);
  ROTRegister first(graph_);
  ROTRegister second(other);
  ASSERT_EQ(first.addgraph(), S_OK);
  ASSERT_EQ(second.addgraph(), S_OK);
  const std::vector<std::wstring> names = runningNames();
  EXPECT_EQ(countOf(names, entryName(graph_)), 1u);
  EXPECT_EQ(countOf(names, entryName(other)), 1u);
}

TEST_F(ROTOnWine, EmptyGraphIsRefused) {
  CComPtr<IGraphBuilder> empty;
  ROTRegister rot(empty);
  EXPECT_EQ(rot.addgraph(), E_POINTER);
}

TEST_F(ROTOnWine, RegistrationKeepsTheGraphAliveUntilRevoked) {
  IGraphBuilder* raw = graph_.p;
  raw->AddRef();
  {
    ROTRegister rot(graph_);
    ASSERT_EQ(rot.addgraph(), S_OK);
    graph_.Release();
    // Ours, the registration's and the table's references remain.
    const ULONG withTable = raw->AddRef() - 1;
    raw->Release();
    EXPECT_GE(withTable, 3u);
  }
  EXPECT_EQ(raw->Release(), 0u);
}

}  // namespace
}  // namespace kivo
