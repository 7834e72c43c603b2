#include <kivo/util.h>

#include "foundation/replaceable.h"
#include "support/mocks/ibasefilter.h"
#include "support/mocks/ienumfilters.h"
#include "support/mocks/igraphbuilder.h"
#include "support/scoped_value.h"

#include <string>
#include <vector>

namespace kivo::test {
namespace {

using namespace ::testing;

// Each box shown, as text|caption|style.
std::vector<std::string> shownBoxes;

int WINAPI recordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  shownBoxes.push_back(std::string(owner ? "owned " : "") + text + "|" + caption + "|" +
                       std::to_string(style));
  return IDOK;
}

// One box per filter in order, named in the system code page, up to a null filter.
TEST(DisplayGraphFilters, ShowsOneBoxPerFilterInEnumeratorOrder) {
  ScopedValue<replaceable::MessageBoxFunction> hook{replaceable::messageBox, &recordBox};
  NiceMock<MockGraphBuilder> graph;
  NiceMock<MockBaseFilter> source, broken;
  // Like a filter in a graph, it hands out a graph reference the caller must release.
  ON_CALL(source, QueryFilterInfo).WillByDefault([&graph](FILTER_INFO* info) {
    lstrcpynW(info->achName, L"Cam\u00e9ra", MAX_FILTER_NAME);
    return HandOut<0>(static_cast<IFilterGraph*>(graph.self()))(&info->pGraph);
  });
  EXPECT_CALL(broken, QueryFilterInfo).WillOnce(Return(E_FAIL));
  ListEnumFilters filters({&source, &broken, nullptr, &source});
  EXPECT_CALL(graph, EnumFilters).WillOnce(Return(E_OUTOFMEMORY)).WillOnce(HandOut<0>(&filters));
  CComPtr<IGraphBuilder> held;
  util::displayGraphFilters(held);
  held = graph.self();
  util::displayGraphFilters(held);
  util::displayGraphFilters(held);
  char name[16] = {};
  WideCharToMultiByte(CP_ACP, 0, L"Cam\u00e9ra", -1, name, sizeof(name), nullptr, nullptr);
  EXPECT_EQ(shownBoxes, (std::vector<std::string>{std::string(name) + "|Filter Name|0",
                                                  "Could not get the filter info|Error|16"}));
  EXPECT_EQ(filters.refs(), 0);
  held = nullptr;
  EXPECT_EQ(graph.refs(), 0);
}

}  // namespace
}  // namespace kivo::test
