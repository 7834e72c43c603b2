#include <kivo/util.h>

#include "foundation/graph_diagnostic.h"
#include "support/mocks/ibasefilter.h"
#include "support/mocks/ienumfilters.h"
#include "support/mocks/igraphbuilder.h"
#include "support/scoped_value.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kivo {
namespace {

using namespace ::testing;
using test::HandOut;
using test::ListEnumFilters;
using test::MockBaseFilter;
using test::MockGraphBuilder;

using StubGraph = NiceMock<MockGraphBuilder>;

// A filter that answers QueryFilterInfo with its name and, like a filter in
// a graph, a reference to that graph which the caller must release.
class StubFilter : public NiceMock<MockBaseFilter> {
 public:
  explicit StubFilter(const wchar_t* name, IFilterGraph* graph = nullptr) {
    ON_CALL(*this, QueryFilterInfo).WillByDefault([name, graph](FILTER_INFO* info) {
      lstrcpynW(info->achName, name, MAX_FILTER_NAME);
      info->pGraph = graph;
      if (graph) graph->AddRef();
      return S_OK;
    });
  }
};

// Each box shown: owner, text, caption and style.
struct Box {
  HWND owner;
  std::string text, caption;
  UINT style;
};
std::vector<Box> shownBoxes;

int WINAPI recordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  shownBoxes.push_back({owner, text, caption, style});
  return IDOK;
}

class DisplayGraphFilters : public Test {
 protected:
  DisplayGraphFilters() { shownBoxes.clear(); }
  test::ScopedValue<detail::MessageBoxFunction> hook_{detail::showMessageBox, &recordBox};
};

TEST_F(DisplayGraphFilters, ShowsOneBoxPerFilterInEnumeratorOrder) {
  StubGraph graph;
  // Filters report the graph they are in, with a reference the caller owns.
  StubFilter source(L"Cam\u00e9ra", &graph);
  StubFilter grabber(L"KIVO Sample Grabber", &graph);
  StubFilter broken(L"Broken");
  EXPECT_CALL(broken, QueryFilterInfo).WillOnce(Return(E_FAIL));
  ListEnumFilters filters({&source, &broken, &grabber});
  EXPECT_CALL(graph, EnumFilters).WillOnce(HandOut<0>(&filters));

  CComPtr<IGraphBuilder> held(&graph);
  util::displayGraphFilters(held);

  ASSERT_EQ(shownBoxes.size(), 3u);
  EXPECT_EQ(shownBoxes[0].owner, nullptr);
  char expected[16] = {};  // the name in the system code page
  WideCharToMultiByte(CP_ACP, 0, L"Cam\u00e9ra", -1, expected, sizeof(expected), nullptr, nullptr);
  EXPECT_EQ(shownBoxes[0].text, expected);
  EXPECT_EQ(shownBoxes[0].caption, "Filter Name");
  EXPECT_EQ(shownBoxes[0].style, static_cast<UINT>(MB_OK));
  EXPECT_EQ(shownBoxes[1].text, "Could not get the filter info");
  EXPECT_EQ(shownBoxes[1].caption, "Error");
  EXPECT_EQ(shownBoxes[1].style, 0x10u);
  EXPECT_EQ(shownBoxes[2].text, "KIVO Sample Grabber");
  // The graph references in the filter information were released too.
  EXPECT_EQ(filters.refs(), 0);
  EXPECT_EQ(graph.refs(), 1);
}

// No graph, a failed enumeration, no filters, or an enumerator handing out a
// null filter: nothing is shown.
TEST_F(DisplayGraphFilters, GraphsWithoutFiltersShowNothing) {
  CComPtr<IGraphBuilder> held;
  util::displayGraphFilters(held);
  StubGraph graph;
  StubFilter after(L"After");
  ListEnumFilters none({});
  ListEnumFilters broken({nullptr, &after});
  EXPECT_CALL(graph, EnumFilters)
      .WillOnce(Return(E_OUTOFMEMORY))
      .WillOnce(HandOut<0>(&none))
      .WillOnce(HandOut<0>(&broken));
  held = &graph;
  for (int i = 0; i < 3; ++i) util::displayGraphFilters(held);
  EXPECT_TRUE(shownBoxes.empty());
  held = nullptr;
}

}  // namespace
}  // namespace kivo
