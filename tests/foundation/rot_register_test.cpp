#include <kivo/rot_register.h>

#include "foundation/running_object_table.h"
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

class ROTRegisterTest : public Test {
 protected:
  ROTRegisterTest() {
    currentTable = &table_;
    tableStatus = S_OK;
    tableRequests = 0;
  }
  ~ROTRegisterTest() override { currentTable = nullptr; }

  NiceMock<MockGraphBuilder> graphObject_;
  StrictMock<MockRunningObjectTable> table_;
  test::ScopedValue<detail::RunningObjectTableFunction> hook_{detail::getRunningObjectTable,
                                                               &fakeTable};
};

TEST(ROTRegisterName, EightLowerCaseHexDigitsEach) {
  using Access = TestAccess<ROTRegister>;
  EXPECT_EQ(Access::itemName(reinterpret_cast<const void*>(0x12345678), 28),
            L"FilterGraph 12345678 pid 0000001c");
  // Only the low half of a 64-bit address counts.
  EXPECT_EQ(
      Access::itemName(reinterpret_cast<const void*>(static_cast<uintptr_t>(0x7ff812345678ull)),
                       0xFFFFFFFF),
      L"FilterGraph 12345678 pid ffffffff");
}

// Registration under its name and its revocation on the platform's table
// are checked by the integration tests; here, the failure paths.
TEST_F(ROTRegisterTest, FailuresLeaveItUnregisteredAndRevokeHappensOnce) {
  CComPtr<IGraphBuilder> empty;
  EXPECT_EQ(ROTRegister(empty).addgraph(), E_POINTER);
  EXPECT_EQ(tableRequests, 0);

  CComPtr<IGraphBuilder> graph(&graphObject_);
  ROTRegister rot(graph);
  tableStatus = CO_E_NOTINITIALIZED;
  EXPECT_EQ(rot.addgraph(), E_FAIL);
  tableStatus = S_OK;
  currentTable = nullptr;  // success but no table
  EXPECT_EQ(rot.addgraph(), E_FAIL);
  currentTable = &table_;
  EXPECT_CALL(table_, Register)
      .WillOnce(Return(E_OUTOFMEMORY))
      .WillOnce(DoAll(SetArgPointee<3>(5), Return(S_OK)));
  EXPECT_EQ(rot.addgraph(), E_OUTOFMEMORY);
  EXPECT_EQ(rot.addgraph(), S_OK);
  tableStatus = E_FAIL;
  rot.removegraph();  // cannot revoke: still registered
  EXPECT_EQ(rot.addgraph(), S_OK);
  tableStatus = S_OK;
  EXPECT_CALL(table_, Revoke(5u)).Times(1);
  rot.removegraph();
  rot.removegraph();
}

}  // namespace
}  // namespace kivo
