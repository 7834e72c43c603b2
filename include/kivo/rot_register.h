#pragma once

#include <kivo/comptr.h>
#include <kivo/export.h>
#include <kivo/platform.h>

#include <string>

namespace kivo {

// Enters a filter graph in the Running Object Table under the name
// "FilterGraph %08x pid %08x", so that an outside graph inspection tool can
// attach to it; destruction revokes the entry.
class KIVO_API ROTRegister {
 public:
  explicit ROTRegister(CComPtr<IGraphBuilder>& graph);
  ~ROTRegister();
  ROTRegister(const ROTRegister&) = delete;
  ROTRegister& operator=(const ROTRegister&) = delete;

  // Enters the graph; S_OK when it already is. E_POINTER without a graph,
  // E_FAIL without a table, otherwise the table's status.
  long addgraph();
  // Revokes the entry, if there is one.
  void removegraph();

 private:
  KIVO_TEST_ACCESS;
  // The table's item name for a graph object in a process.
  static std::wstring itemName(const void* graph, DWORD processId);

  DWORD registrationKey;
  bool registered;
  CComPtr<IGraphBuilder> graph;
};

}  // namespace kivo
