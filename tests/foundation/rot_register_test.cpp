// ROTRegister where the table fails (the table itself: on Wine): unregistered, revoked once.

#include <kivo/rot_register.h>

#include "foundation/replaceable.h"
#include "support/mocks/igraphbuilder.h"
#include "support/mocks/system_objects.h"
#include "support/scoped_value.h"

namespace kivo::test {
namespace {

using namespace ::testing;

IRunningObjectTable* currentTable = nullptr;
HRESULT tableStatus = S_OK;

HRESULT WINAPI fakeTable(DWORD reserved, IRunningObjectTable** table) {
  EXPECT_EQ(reserved, 0u);
  *table = FAILED(tableStatus) ? nullptr : currentTable;
  if (*table) (*table)->AddRef();
  return tableStatus;
}

TEST(ROTRegister, FailuresLeaveItUnregisteredAndRevokeHappensOnce) {
  NiceMock<MockGraphBuilder> graph;
  StrictMock<MockRunningObjectTable> table;
  ScopedValue<replaceable::RunningObjectTableFunction> hook{replaceable::runningObjectTable,
                                                            &fakeTable};
  CComPtr<IGraphBuilder> held(graph.self());
  ROTRegister rot(held);
  tableStatus = CO_E_NOTINITIALIZED;
  EXPECT_EQ(rot.addgraph(), E_FAIL);
  tableStatus = S_OK;  // success but no table
  EXPECT_EQ(rot.addgraph(), E_FAIL);
  currentTable = &table;
  EXPECT_CALL(table, Register)
      .WillOnce(Return(E_OUTOFMEMORY))
      .WillOnce(DoAll(SetArgPointee<3>(5), Return(S_OK)));
  EXPECT_EQ(rot.addgraph(), E_OUTOFMEMORY);
  EXPECT_EQ(rot.addgraph(), S_OK);
  tableStatus = E_FAIL;
  rot.removegraph();  // cannot revoke: still registered
  EXPECT_EQ(rot.addgraph(), S_OK);
  tableStatus = S_OK;
  EXPECT_CALL(table, Revoke(5u)).Times(1);
  rot.removegraph();
  rot.removegraph();
  CComPtr<IGraphBuilder> empty;
  EXPECT_EQ(ROTRegister(empty).addgraph(), E_POINTER);
}

}  // namespace
}  // namespace kivo::test
