#include <kivo/util.h>

#include "foundation/replaceable.h"

#include <cstring>

namespace kivo {
namespace util {

namespace {

// FILTER_INFO's name field holds 128 wide characters; its narrow form gets
// as many bytes.
const int kNameLength = MAX_FILTER_NAME;

void showFilterName(IBaseFilter* filter) {
  FILTER_INFO info;
  std::memset(&info, 0, sizeof(info));
  if (FAILED(filter->QueryFilterInfo(&info))) {
    replaceable::messageBox(nullptr, "Could not get the filter info", "Error", MB_OK | MB_ICONERROR);
    return;
  }
  char name[kNameLength];
  std::memset(name, 0, sizeof(name));
  const int written = WideCharToMultiByte(CP_ACP, 0, info.achName, kNameLength, name, kNameLength,
                                          nullptr, nullptr);
  name[kNameLength - 1] = '\0';
  if (written > 0) replaceable::messageBox(nullptr, name, "Filter Name", MB_OK);
  // The information carries a reference to the graph the filter is in.
  if (info.pGraph) info.pGraph->Release();
}

}  // namespace

void displayGraphFilters(CComPtr<IGraphBuilder>& graph) {
  if (!graph) return;
  CComPtr<IEnumFilters> filters;
  if (FAILED(graph->EnumFilters(&filters)) || !filters) return;
  for (;;) {
    CComPtr<IBaseFilter> filter;
    // An enumerator that claims a filter but hands out none is broken:
    // stop rather than ask it again forever.
    if (filters->Next(1, &filter, nullptr) != S_OK || !filter) break;
    showFilterName(filter);
  }
}

}  // namespace util
}  // namespace kivo
