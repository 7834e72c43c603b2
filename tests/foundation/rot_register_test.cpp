#include <kivo/rot_register.h>

#include "foundation/replaceable.h"
#include "support/mocks/igraphbuilder.h"
#include "support/mocks/irunningobjecttable.h"
#include "support/scoped_value.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace kivo {

template <>
struct TestAccess<ROTRegister> {
  static std::wstring itemName(const void* graph, DWORD processId) {
    return ROTRegister::itemName(graph, processId);
  }
};

namespace {

using namespace ::testing;
using test::MockGraphBuilder;
using test::MockRunningObjectTable;

IRunningObjectTable* currentTable = nullptr;
HRESULT tableStatus = S_OK;
int tableRequests = 0;

HRESULT WINAPI fakeTable(DWORD reserved, IRunningObjectTable** table) {
  ++tableRequests;
  EXPECT_EQ(reserved, 0u);
  *table = nullptr;
  if (FAILED(tableStatus)) return tableStatus;
  *table = currentTable;
  if (currentTable) currentTable->AddRef();
  return tableStatus;
}

// Registering on the platform's table is checked on Wine; here, names and failures.
TEST(ROTRegister, NameAndFailuresLeaveItUnregisteredAndRevokeHappensOnce) {
  const void* address = reinterpret_cast<const void*>(static_cast<uintptr_t>(0x7ff8abcdef78ull));
  EXPECT_EQ(TestAccess<ROTRegister>::itemName(address, 0xFFFFFFFF),
            L"FilterGraph abcdef78 pid ffffffff");
  NiceMock<MockGraphBuilder> graphObject;
  StrictMock<MockRunningObjectTable> table;
  test::ScopedValue<replaceable::RunningObjectTableFunction> hook{replaceable::runningObjectTable,
                                                             &fakeTable};
  CComPtr<IGraphBuilder> empty;
  EXPECT_EQ(ROTRegister(empty).addgraph(), E_POINTER);
  EXPECT_EQ(tableRequests, 0);

  CComPtr<IGraphBuilder> graph(&graphObject);
  ROTRegister rot(graph);
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
}

}  // namespace
}  // namespace kivo
